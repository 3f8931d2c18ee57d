#include "tools/addin-host/cli_args.h"

#include <cerrno>
#include <cstdlib>

namespace host {

namespace {
constexpr int kMaxPort = 65535;

bool AllDigits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}
}  // namespace

bool ParseAddress(const std::string& text, Address& address, std::string& error) {
    const std::string quoted = "malformed address \"" + text + "\": ";
    size_t colon = text.find(':');
    std::string hostPart = text.substr(0, colon);
    if (hostPart.empty()) {
        error = quoted + "the host name is missing";
        return false;
    }
    for (char c : hostPart) {
        if (c == ' ' || c == '/' || c == '\t') {
            error = quoted + "the host name contains '" + std::string(1, c) + "'";
            return false;
        }
    }
    int port = kDefaultPort;
    if (colon != std::string::npos) {
        std::string portPart = text.substr(colon + 1);
        // At most five digits, so atoi cannot overflow before the range check.
        bool digits = AllDigits(portPart) && portPart.size() <= 5;
        port = digits ? std::atoi(portPart.c_str()) : 0;
        if (port < 1 || port > kMaxPort) {
            error = quoted + "the port must be a number from 1 to 65535";
            return false;
        }
    }
    address.host = hostPart;
    address.port = port;
    return true;
}

bool ParseInt32(const std::string& text, int32_t& value) {
    constexpr long long kMin = -2147483648LL;
    constexpr long long kMax = 4294967295LL;
    bool negative = !text.empty() && text[0] == '-';
    std::string digits = negative ? text.substr(1) : text;
    // Eleven digits already exceed the range; the limit keeps strtoll in bounds.
    if (!AllDigits(digits) || digits.size() > 11) return false;
    long long number = std::strtoll(digits.c_str(), nullptr, 10);
    if (negative) number = -number;
    if (number < kMin || number > kMax) return false;
    value = static_cast<int32_t>(static_cast<uint32_t>(number));
    return true;
}

bool SplitCommandLine(const std::vector<std::string>& args,
                      const std::set<std::string>& valueOptions,
                      const std::set<std::string>& flagOptions, CommandLine& line,
                      std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool isOption = arg.size() > 2 && arg[0] == '-' && arg[1] == '-';
        if (!isOption) {
            if (line.command.empty())
                line.command = arg;
            else
                line.positional.push_back(arg);
            continue;
        }
        size_t equals = arg.find('=');
        std::string name = arg.substr(0, equals);
        if (flagOptions.count(name) != 0 && equals == std::string::npos) {
            line.flags.insert(name);
        } else if (valueOptions.count(name) == 0) {
            error = "unknown option " + name;
            return false;
        } else if (equals != std::string::npos) {
            line.options[name] = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            line.options[name] = args[++i];
        } else {
            error = "option " + name + " needs a value";
            return false;
        }
    }
    return true;
}

}  // namespace host

#include "tools/addin-host/cli_args.h"

#include <cerrno>
#include <cstdlib>

#include "tools/console/language.h"

namespace host {

namespace {
using console::Say;
constexpr int kMaxPort = 65535;

bool AllDigits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}
}  // namespace

bool ParseAddress(const std::string& text, Address& address, std::string& error) {
    const std::string quoted = Say("malformed address \"", "неверный адрес \"") + text + "\": ";
    size_t colon = text.find(':');
    std::string hostPart = text.substr(0, colon);
    if (hostPart.empty()) {
        error = quoted + Say("the host name is missing", "не указано имя узла");
        return false;
    }
    for (char c : hostPart) {
        if (c == ' ' || c == '/' || c == '\t') {
            error = quoted + Say("the host name contains '", "в имени узла есть '") +
                    std::string(1, c) + "'";
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
            error = quoted + Say("the port must be a number from 1 to 65535",
                                 "порт должен быть числом от 1 до 65535");
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

std::vector<std::string> CommandLine::All(const std::string& option) const {
    std::vector<std::string> values;
    for (auto& entry : given)
        if (entry.first == option) values.push_back(entry.second);
    return values;
}

bool SplitCommandLine(const std::vector<std::string>& args,
                      const std::set<std::string>& valueOptions,
                      const std::set<std::string>& flagOptions, CommandLine& line,
                      std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i] == "-h" ? std::string("--help") : args[i];
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
            error = Say("unknown option ", "неизвестный параметр ") + name;
            return false;
        } else if (equals != std::string::npos || i + 1 < args.size()) {
            std::string value = equals != std::string::npos ? arg.substr(equals + 1) : args[++i];
            line.options[name] = value;
            line.given.emplace_back(name, value);
        } else {
            error = Say("option ", "параметру ") + name + Say(" needs a value", " нужно значение");
            return false;
        }
    }
    return true;
}

}  // namespace host

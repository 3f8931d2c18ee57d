// Command-line parsing: the command, its positional arguments and its
// --options, plus the checks on addresses and numbers.  Nothing here touches
// the add-in, so every usage error is found before the library is loaded.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace host {

// Where the scales listen when no --address is given.
constexpr char kDefaultHost[] = "127.0.0.1";
constexpr int kDefaultPort = 5001;

struct Address {
    std::string host = kDefaultHost;
    int port = kDefaultPort;
};

// HOST or HOST:PORT with a port of 1 to 65535 written in decimal digits.
bool ParseAddress(const std::string& text, Address& address, std::string& error);

// A whole number that fits in the 32 bits the add-in reads: -2147483648 to
// 4294967295 (values above 2147483647 travel as their unsigned bit pattern).
bool ParseInt32(const std::string& text, int32_t& value);

struct CommandLine {
    std::string command;
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;  // "--name" -> the last value given
    std::set<std::string> flags;                 // "--whole", ...
    // Every value of every option in the order given, for options that
    // may be repeated (--address).
    std::vector<std::pair<std::string, std::string>> given;
    bool Has(const std::string& option) const { return options.count(option) != 0; }
    std::vector<std::string> All(const std::string& option) const;
};

// Splits the arguments (without the program name).  Options that take a
// value and flags without one are named by the caller; any other "--x" is an
// error.  "--opt=value" and "--opt value" are both accepted; "-h" is
// "--help".
bool SplitCommandLine(const std::vector<std::string>& args,
                      const std::set<std::string>& valueOptions,
                      const std::set<std::string>& flagOptions, CommandLine& line,
                      std::string& error);

}  // namespace host

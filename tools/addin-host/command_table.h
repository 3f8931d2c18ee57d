// The commands and their options in one table: what each command accepts is
// checked against it before the library is loaded, and the help of every
// command is written from it, in English or Russian.
#pragma once

#include <string>

#include "tools/addin-host/cli_args.h"

namespace host {

// The general usage: every command with one line.
std::string GeneralHelp();
// The help of one command: its synopsis, what it does and its options.
// Empty for a name that is no command.
std::string CommandHelp(const std::string& command);

// Splits the arguments and checks the command's options and argument count;
// false with a one-line reason otherwise.
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& line, std::string& error);
// Whether the command drives scales (and so takes --address and --scales).
bool IsDeviceCommand(const std::string& command);
// " (addin-host COMMAND --help)": where to read about the command.
std::string HelpHint(const std::string& command);

}  // namespace host

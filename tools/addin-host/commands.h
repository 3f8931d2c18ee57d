// The addin-host commands.  Each loads the add-in, drives it through its
// exported interface as the platform does, prints what came back and returns
// the process exit code.
#pragma once

#include <string>
#include <vector>

namespace host {

enum ExitCode {
    kExitOk = 0,
    kExitFailed = 1,     // the add-in or the scales reported a failure
    kExitUsage = 2,      // bad arguments, malformed address, unreadable file
    kExitNoLibrary = 3,  // the library does not load or is not an add-in
    kExitMemory = 4,     // the memory manager caught a leak or a bad free
};

// Prints "addin-host: <message>" as one line on standard error; returns `code`.
int Fail(int code, const std::string& message);

// Runs one command line (without the program name).
int RunCommandLine(const std::vector<std::string>& args);

}  // namespace host

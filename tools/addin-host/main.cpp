// addin-host: loads the add-in library and drives it from the command line
// the way the platform does.  See README.md for the commands.
#include <cstdio>
#include <exception>

#include "tools/addin-host/commands.h"
#include "tools/addin-host/host_os.h"

int main(int argc, char** argv) {
    try {
        host::PrepareConsole();
        std::vector<std::string> args = host::Utf8Arguments(argc, argv);
        if (!args.empty()) args.erase(args.begin());
        return host::RunCommandLine(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "addin-host: %s\n", e.what());
        return host::kExitFailed;
    }
}

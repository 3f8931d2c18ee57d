// addin-host: loads the add-in library and drives it from the command line
// the way the platform does.  See README.md for the commands.
#include <exception>

#include "tools/addin-host/commands.h"
#include "tools/console/console.h"

int main(int argc, char** argv) {
    try {
        std::vector<std::string> args = console::Arguments(argc, argv);
        if (!args.empty()) args.erase(args.begin());
        return host::RunCommandLine(args);
    } catch (const std::exception& e) {
        console::PrintError("addin-host: %s\n", e.what());
        return host::kExitFailed;
    }
}

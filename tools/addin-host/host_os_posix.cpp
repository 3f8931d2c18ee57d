#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "tools/addin-host/host_os.h"

namespace host {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void PrepareConsole() {}

bool StdoutIsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

bool ReadWholeFile(const std::string& utf8Path, std::string& bytes) {
    FILE* file = std::fopen(utf8Path.c_str(), "rb");
    if (file == nullptr) return false;
    bytes.clear();
    char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0) bytes.append(chunk, got);
    bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

bool FileExists(const std::string& utf8Path) {
    struct stat info;
    return stat(utf8Path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace host

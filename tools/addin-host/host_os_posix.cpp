#include <sys/stat.h>

#include <cstdio>

#include "tools/addin-host/host_os.h"

namespace host {

std::FILE* OpenForReading(const std::string& utf8Path) {
    return std::fopen(utf8Path.c_str(), "rb");
}

bool FileExists(const std::string& utf8Path) {
    struct stat info;
    return stat(utf8Path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace host

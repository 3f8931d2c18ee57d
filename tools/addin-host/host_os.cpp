// The part of file reading that is the same on every system; only opening the
// file by its UTF-8 name differs (host_os_posix.cpp / host_os_win32.cpp).
#include "tools/addin-host/host_os.h"

namespace host {

bool ReadWholeFile(const std::string& utf8Path, std::string& bytes) {
    std::FILE* file = OpenForReading(utf8Path);
    if (file == nullptr) return false;
    bytes.clear();
    char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0) bytes.append(chunk, got);
    bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

}  // namespace host

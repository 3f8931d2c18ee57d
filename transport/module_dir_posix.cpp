#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "text/codepage.h"
#include "transport/module_dir.h"

namespace transport {
namespace {

// Any address inside this library's own code identifies the file it was
// loaded from, whatever the host's working directory.
void AnchorInThisModule() {}

std::string ExecutablePath() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

}  // namespace

char16_t PathSeparator() {
    return u'/';
}

std::u16string SystemLibraryPath() {
    Dl_info info{};
    std::string path;
    if (dladdr(reinterpret_cast<void*>(&AnchorInThisModule), &info) != 0 &&
        info.dli_fname != nullptr) {
        path = info.dli_fname;
    }
    // Linked into a program rather than a shared library, the loader may only
    // know the name the program was started by.
    if (path.find('/') == std::string::npos) path = ExecutablePath();
    // A library loaded by a relative name stays tied to the directory it was
    // found in, even if the host changes its working directory later.
    if (char* absolute = realpath(path.c_str(), nullptr)) {
        path = absolute;
        free(absolute);
    }
    return text::Utf8ToUtf16(path);
}

}  // namespace transport

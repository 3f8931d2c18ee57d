#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include "tools/addin-host/library_loader.h"

namespace host {

SharedLibrary::~SharedLibrary() {
    Unload();
}

bool SharedLibrary::Load(const std::string& path, std::string& error) {
    Unload();
    // RTLD_LOCAL keeps the add-in's symbols to itself, as a host loading
    // several add-ins needs; RTLD_NOW reports missing symbols here, not later.
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "dlopen failed";
        return false;
    }
    return true;
}

void* SharedLibrary::Symbol(const char* name) const {
    return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

void SharedLibrary::Unload() {
    if (handle_ != nullptr) dlclose(handle_);
    handle_ = nullptr;
}

std::string ExecutableDirectory() {
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length <= 0) return std::string();
    std::string path(buffer, static_cast<size_t>(length));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string DefaultLibraryFileName() {
    return "NativeAPITaviZavRLS1000Lin64.so";
}

}  // namespace host

// Loading the add-in library the way the platform does: dlopen on POSIX,
// LoadLibraryW on Windows.  Paths are UTF-8 text on every platform; the
// Windows side widens them so that Cyrillic folder names load too.
#pragma once

#include <string>

namespace host {

class SharedLibrary {
  public:
    SharedLibrary() = default;
    ~SharedLibrary();  // unloads
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // False with a one-line reason naming the path when the library does not load.
    bool Load(const std::string& path, std::string& error);
    // The address of an exported function, null when the library lacks it.
    void* Symbol(const char* name) const;
    void Unload();

  private:
    void* handle_ = nullptr;
};

// The folder of the running addin-host executable, without a trailing
// separator; empty when the OS does not tell.
std::string ExecutableDirectory();
// The file name of the add-in library built for this OS and bitness.
std::string DefaultLibraryFileName();

}  // namespace host

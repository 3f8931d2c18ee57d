#include <windows.h>

#include "tools/addin-host/host_text.h"
#include "tools/addin-host/library_loader.h"

namespace host {

namespace {
std::string LastErrorText(const char* what) {
    return std::string(what) + " failed with Windows error " + std::to_string(GetLastError());
}
}  // namespace

SharedLibrary::~SharedLibrary() {
    Unload();
}

bool SharedLibrary::Load(const std::string& path, std::string& error) {
    Unload();
    std::u16string wide = Utf8ToUtf16(path);
    HMODULE module = LoadLibraryW(reinterpret_cast<const wchar_t*>(wide.c_str()));
    if (module == nullptr) {
        error = path + ": " + LastErrorText("LoadLibraryW");
        return false;
    }
    handle_ = module;
    return true;
}

void* SharedLibrary::Symbol(const char* name) const {
    if (handle_ == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void SharedLibrary::Unload() {
    if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
}

std::string ExecutableDirectory() {
    // Long enough for any path the loader accepts without the \\?\ prefix.
    constexpr DWORD kMaxPath = 32768;
    std::u16string buffer(kMaxPath, u'\0');
    DWORD length = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(&buffer[0]), kMaxPath);
    if (length == 0 || length >= kMaxPath) return std::string();
    buffer.resize(length);
    size_t separator = buffer.find_last_of(u"\\/");
    if (separator == std::u16string::npos) return std::string();
    return Utf16ToUtf8(buffer.substr(0, separator));
}

std::string DefaultLibraryFileName() {
    return sizeof(void*) == 8 ? "NativeAPITaviZavRLS1000Win64.dll"
                              : "NativeAPITaviZavRLS1000Win32.dll";
}

}  // namespace host

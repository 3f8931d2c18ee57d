// windows.h first: shellapi.h relies on its types.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>

#include "tools/addin-host/host_os.h"
#include "tools/addin-host/host_text.h"

namespace host {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> result;
    for (int i = 0; i < count; ++i)
        result.push_back(Utf16ToUtf8(reinterpret_cast<const char16_t*>(wide[i])));
    LocalFree(wide);
    return result;
}

std::FILE* OpenForReading(const std::string& utf8Path) {
    std::u16string wide = Utf8ToUtf16(utf8Path);
    return _wfopen(reinterpret_cast<const wchar_t*>(wide.c_str()), L"rb");
}

bool FileExists(const std::string& utf8Path) {
    std::u16string wide = Utf8ToUtf16(utf8Path);
    DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t*>(wide.c_str()));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace host

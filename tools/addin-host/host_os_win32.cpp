#include <windows.h>

#include <cstdio>

#include "tools/addin-host/host_os.h"
#include "tools/addin-host/host_text.h"

namespace host {

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

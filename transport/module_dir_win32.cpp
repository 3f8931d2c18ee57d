#include <windows.h>

#include <string>

#include "transport/module_dir.h"

namespace transport {
namespace {

// Any address inside this library's own code identifies its module, whether
// it is the add-in DLL or a test program linked with this code.
void AnchorInThisModule() {}

constexpr DWORD kFirstRoom = 260;
constexpr DWORD kMostRoom = 32768;

}  // namespace

char16_t PathSeparator() {
    return u'\\';
}

std::u16string SystemLibraryPath() {
    HMODULE module = nullptr;
    DWORD flags =
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(&AnchorInThisModule), &module)) {
        return std::u16string();
    }
    // A path longer than the classic limit is taken whole rather than cut.
    for (DWORD room = kFirstRoom; room <= kMostRoom; room *= 2) {
        std::wstring path(room, L'\0');
        DWORD n = GetModuleFileNameW(module, &path[0], room);
        if (n == 0) return std::u16string();
        if (n < room) return std::u16string(path.begin(), path.begin() + n);
    }
    return std::u16string();
}

}  // namespace transport

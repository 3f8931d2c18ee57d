#include <windows.h>

#include "text/file_access.h"
#include "text/file_kind_os.h"

namespace text::os {

namespace {

// The errors that mean "nothing there" rather than "cannot tell".
bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_NOT_READY || error == ERROR_BAD_NETPATH;
}

// A reparse point is a symbolic link only when its tag says so; junctions and
// the rest are reported as "another kind".
int ReparseKind(const wchar_t* path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path, &found);
    if (search == INVALID_HANDLE_VALUE) return ClsFileAccess::kUnknown;
    FindClose(search);
    return found.dwReserved0 == IO_REPARSE_TAG_SYMLINK ? ClsFileAccess::kSymlink
                                                       : ClsFileAccess::kOther;
}

}  // namespace

int PathKind(const XString& path) {
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(path.wideText());
    DWORD attributes = GetFileAttributesW(wide);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return IsMissing(GetLastError()) ? ClsFileAccess::kNothing : ClsFileAccess::kUnknown;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return ReparseKind(wide);
    if (attributes & (FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_SPARSE_FILE))
        return ClsFileAccess::kOther;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ClsFileAccess::kDirectory;
    return ClsFileAccess::kFile;
}

}  // namespace text::os

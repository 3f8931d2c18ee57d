// What the operating system says one path names, without following a final
// symbolic link.  Implemented in file_access_posix.cpp / file_access_win32.cpp;
// the path goes to the system as UTF-8 on POSIX and through the wide API on
// Windows, so folder names in any script test correctly.
#pragma once

#include "text/xstring.h"

namespace text::os {
// One of ClsFileAccess::Kind except kShortcut.
int PathKind(const XString& path);
}  // namespace text::os

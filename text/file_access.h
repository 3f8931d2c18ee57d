// The kind of file-system object a path names.  The path is handed to the
// operating system in the form it understands (UTF-8 on POSIX, the wide API on
// Windows), so non-ASCII folder names test correctly.
#pragma once

#include "text/xstring.h"

class ClsFileAccess {
  public:
    enum Kind {
        kUnknown = -1,
        kNothing = 0,
        kFile = 1,
        kDirectory = 2,
        kSymlink = 3,
        kShortcut = 4,
        kOther = 99,
    };
    static int FileType(const XString& path);
};

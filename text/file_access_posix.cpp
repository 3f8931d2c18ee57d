#include <sys/stat.h>

#include <cerrno>

#include "text/file_access.h"
#include "text/file_kind_os.h"

namespace text::os {

int PathKind(const XString& path) {
    struct stat info;
    if (lstat(path.utf8Text(), &info) != 0) {
        // The path, or a folder on the way to it, is not there.
        bool missing = errno == ENOENT || errno == ENOTDIR;
        return missing ? ClsFileAccess::kNothing : ClsFileAccess::kUnknown;
    }
    if (S_ISLNK(info.st_mode)) return ClsFileAccess::kSymlink;
    if (S_ISDIR(info.st_mode)) return ClsFileAccess::kDirectory;
    if (S_ISREG(info.st_mode)) return ClsFileAccess::kFile;
    return ClsFileAccess::kOther;  // device, pipe, socket
}

}  // namespace text::os

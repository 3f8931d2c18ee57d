// The directory test the add-in makes on the folder path it is given.  Only a
// result of kDirectory counts as a usable folder.
#include "text/file_access.h"

#include <cctype>
#include <string>

#include "text/file_kind_os.h"

namespace {

constexpr const char* kShortcutSuffix = ".lnk";

bool EndsWithShortcutSuffix(const std::string& path) {
    std::string suffix(kShortcutSuffix);
    if (path.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[path.size() - suffix.size() + i]);
        if (std::tolower(c) != suffix[i]) return false;
    }
    return true;
}

}  // namespace

int ClsFileAccess::FileType(const XString& path) {
    if (path.charCount() == 0) return kNothing;
    int kind = text::os::PathKind(path);
    // A Windows shell shortcut is an ordinary file named "*.lnk"; callers may
    // name it with or without that suffix.
    if (kind == kFile && EndsWithShortcutSuffix(path.utf8Text())) return kShortcut;
    if (kind == kNothing) {
        XString withSuffix(path);
        withSuffix.appendUtf8(kShortcutSuffix);
        if (text::os::PathKind(withSuffix) == kFile) return kShortcut;
    }
    return kind;
}

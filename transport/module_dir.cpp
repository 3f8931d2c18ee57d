#include "transport/module_dir.h"

#include <mutex>

namespace transport {
namespace {

struct Override {
    std::mutex lock;
    bool active = false;
    std::u16string directory;
};

Override& TestOverride() {
    static Override instance;
    return instance;
}

}  // namespace

std::u16string LibraryDirectory() {
    Override& o = TestOverride();
    {
        std::lock_guard<std::mutex> hold(o.lock);
        if (o.active) return o.directory;
    }
    // The directory is the path cut back to its last separator, which is
    // dropped too; a path without one gives an empty directory.
    std::u16string path = SystemLibraryPath();
    size_t cut = path.rfind(PathSeparator());
    return cut == std::u16string::npos ? std::u16string() : path.substr(0, cut);
}

void SetLibraryDirectoryForTesting(const std::u16string& directory) {
    Override& o = TestOverride();
    std::lock_guard<std::mutex> hold(o.lock);
    o.active = true;
    o.directory = directory;
}

void ClearLibraryDirectoryForTesting() {
    Override& o = TestOverride();
    std::lock_guard<std::mutex> hold(o.lock);
    o.active = false;
    o.directory.clear();
}

}  // namespace transport

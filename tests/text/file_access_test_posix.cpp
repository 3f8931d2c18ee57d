#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "text/file_access.h"

namespace {

namespace fs = std::filesystem;

int TypeOf(const std::string& path) {
    XString text;
    text.setFromUtf8(path.c_str());
    return ClsFileAccess::FileType(text);
}

TEST(FileTypePosix, LinksDevicesAndUnreadablePaths) {
    fs::path root = fs::temp_directory_path() / ("rls-text-posix-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "real");
    fs::create_directory_symlink(root / "real", root / "link");
    ASSERT_EQ(mkfifo((root / "fifo").c_str(), 0600), 0);

    // A folder reached through a link is not reported as a folder.
    EXPECT_EQ(TypeOf((root / "link").string()), ClsFileAccess::kSymlink);
    EXPECT_EQ(TypeOf((root / "fifo").string()), ClsFileAccess::kOther);
    EXPECT_EQ(TypeOf("/dev/null"), ClsFileAccess::kOther);
    // A name longer than any file system allows: the kind cannot be told.
    EXPECT_EQ(TypeOf((root / std::string(300, 'n')).string()), ClsFileAccess::kUnknown);
    fs::remove_all(root);
}

}  // namespace

#include "text/file_access.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// A scratch folder with a Cyrillic name, as Russian users' folders have.
class FileTypeTest : public ::testing::Test {
  protected:
    // Named after the test as well as the run's seed: CTest runs these cases
    // as separate processes at once, and they must not share a folder.
    void SetUp() override {
        const auto* unit = ::testing::UnitTest::GetInstance();
        root_ = fs::temp_directory_path() /
                fs::u8path("rls-text-\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0-" +
                           std::string(unit->current_test_info()->name()) + "-" +
                           std::to_string(unit->random_seed()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    static int TypeOf(const fs::path& path) {
        XString text;
        text.setFromUtf8(path.u8string().c_str());
        return ClsFileAccess::FileType(text);
    }
    void Touch(const fs::path& path) { std::ofstream(path) << "x"; }

    fs::path root_;
};

TEST_F(FileTypeTest, CyrillicFolderIsADirectory) {
    EXPECT_EQ(TypeOf(root_), ClsFileAccess::kDirectory);
    fs::path inner = root_ / fs::u8path("\xD0\x94\xD1\x80\xD0\xB0\xD0\xB9\xD0\xB2\xD0\xB5\xD1\x80");
    fs::create_directory(inner);
    EXPECT_EQ(TypeOf(inner), ClsFileAccess::kDirectory);
}

TEST_F(FileTypeTest, FilesAndMissingPaths) {
    Touch(root_ / "log.txt");
    EXPECT_EQ(TypeOf(root_ / "log.txt"), ClsFileAccess::kFile);
    EXPECT_EQ(TypeOf(root_ / "absent"), ClsFileAccess::kNothing);
    EXPECT_EQ(TypeOf(root_ / "absent" / "deeper"), ClsFileAccess::kNothing);
    EXPECT_EQ(ClsFileAccess::FileType(XString()), ClsFileAccess::kNothing);
}

TEST_F(FileTypeTest, ShortcutsWithOrWithoutTheirSuffix) {
    Touch(root_ / "drivers.lnk");
    EXPECT_EQ(TypeOf(root_ / "drivers.lnk"), ClsFileAccess::kShortcut);
    EXPECT_EQ(TypeOf(root_ / "drivers"), ClsFileAccess::kShortcut);
    Touch(root_ / "UPPER.LNK");
    EXPECT_EQ(TypeOf(root_ / "UPPER.LNK"), ClsFileAccess::kShortcut);
}

}  // namespace

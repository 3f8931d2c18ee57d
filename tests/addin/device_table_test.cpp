// The device table through the driver methods: last-error texts, the 100
// slots, registration and release, and the folder check.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "scales/error_table.h"
#include "tests/addin/addin_support.h"
#include "text/codepage.h"

namespace addin_test {
namespace {

namespace fs = std::filesystem;

class DeviceTableTest : public DriverTest {
  protected:
    CDeviceTable& Table() { return driver_.Devices(); }
    // A registration whose connection test fails at once: the serial line
    // without a device name.  The object stays registered all the same.
    int32_t RegisterSerial(const std::string& id) {
        return Table().ConnectDevice("", 0, scales::ConnectionKind::kSerial, id.c_str());
    }
};

TEST_F(DeviceTableTest, ErrorTextsForEveryCode) {
    std::u16string text;
    EXPECT_EQ(LastError(&text), 0u);
    EXPECT_EQ(text, u"OK");
    const struct {
        int32_t code;
        std::u16string text;
    } cases[] = {
        {1,
         u"Ошибка_1: Не возможно установить соединение. Убедитесь в правильности имени "
         u"\u0421\u041E\u041C порта, возможно, он занят другим приложением."},
        {3, u"Ошибка_3: Нет ответа от весов."},
        {7, u"Ошибка_7: Ответ от весов получен негативный: FAIL."},
        {8, u"Ошибка_8: DeviceID не найден."},
        {9, u"UnknownError"},
        {131, u"UnknownError"},
        {1099, u"UnknownError"},
    };
    for (const auto& c : cases) {
        Table().SetLastError(c.code);
        EXPECT_EQ(LastError(&text), static_cast<uint32_t>(c.code));
        EXPECT_EQ(text, c.text) << c.code;
    }
    Table().SetFolderPath(u"C:\\1C\\");
    Table().SetLastError(130);
    EXPECT_EQ(LastError(&text), 130u);
    EXPECT_EQ(text, u"Ошибка_130: Путь к папке компоненты указан НЕправильный: 'C:\\1C\\'");
}

TEST_F(DeviceTableTest, HundredSlotsThenTableFull) {
    for (int i = 0; i < CDeviceTable::kSlotCount; ++i) {
        EXPECT_EQ(RegisterSerial("ID" + std::to_string(i)), 1) << i;
    }
    EXPECT_EQ(Table().RegisteredCount(), 100);
    EXPECT_EQ(RegisterSerial("ONE-TOO-MANY"), 1099);
    EXPECT_EQ(Table().LastError(), 1099);
    EXPECT_EQ(Table().FindDevice("ONE-TOO-MANY"), nullptr);
    std::u16string text;
    EXPECT_EQ(LastError(&text), 1099u);
    EXPECT_EQ(text, u"UnknownError");
    // Re-registering a DeviceID already there replaces it, even when full.
    EXPECT_EQ(RegisterSerial("ID42"), 1);
    EXPECT_EQ(Table().SlotOf("ID42"), 42);
}

TEST_F(DeviceTableTest, CloseFreesTheSlotForTheNextRegistration) {
    RegisterSerial("A");
    RegisterSerial("B");
    RegisterSerial("C");
    EXPECT_EQ(Table().SlotOf("B"), 1);
    const std::u16string b = u"B";
    EXPECT_TRUE(Run(kClose, {Wide(b)}));
    EXPECT_EQ(LastError(), 0u);
    EXPECT_EQ(Table().SlotOf("B"), -1);
    RegisterSerial("D");
    EXPECT_EQ(Table().SlotOf("D"), 1);
    // Same DeviceID again: one object, in the lowest free slot.
    RegisterSerial("A");
    EXPECT_EQ(Table().RegisteredCount(), 3);
    EXPECT_EQ(Table().SlotOf("A"), 0);
    const std::u16string never = u"NEVER";
    EXPECT_TRUE(Run(kClose, {Wide(never)}));
    EXPECT_EQ(LastError(), 0u);
}

TEST_F(DeviceTableTest, OpenMakesHexDeviceIdsAndKeepsFailuresInTheLastError) {
    const std::u16string etikdep = u"etikdep";
    std::vector<tVariant> first = {Empty()}, second = {Empty()};
    ASSERT_TRUE(Run(kSetParameter, {Wide(etikdep), I4(41)}));
    ASSERT_TRUE(Call(kOpen, first));
    EXPECT_TRUE(result_.bVal);
    EXPECT_EQ(LastError(), 1u);  // serial line, no device name
    ASSERT_TRUE(Run(kSetParameter, {Wide(etikdep), I4(42)}));
    ASSERT_TRUE(Call(kOpen, second));
    const std::u16string a = StringOf(first[0]), b = StringOf(second[0]);
    EXPECT_NE(a, b);
    for (const std::u16string& id : {a, b}) {
        EXPECT_EQ(id.size(), 20u);
        EXPECT_EQ(id.find_first_not_of(u"0123456789ABCDEF"), std::u16string::npos) << id.size();
    }
    EXPECT_EQ(Table().SlotOf(text::Utf16ToUtf8(a).c_str()), 0);
    EXPECT_EQ(Table().SlotOf(text::Utf16ToUtf8(b).c_str()), 1);
    // Each scales object took the table's settings at its registration and
    // kept them.
    IScalesObject* older = Table().FindDevice(text::Utf16ToUtf8(a).c_str());
    IScalesObject* newer = Table().FindDevice(text::Utf16ToUtf8(b).c_str());
    ASSERT_NE(older, nullptr);
    ASSERT_NE(newer, nullptr);
    EXPECT_EQ(older->Labels().department, 41);
    EXPECT_EQ(newer->Labels().department, 42);
    EXPECT_EQ(older->KeepOpen(), 1);
}

TEST_F(DeviceTableTest, OverlongDeviceIdOrHostIsRefused) {
    constexpr auto kEthernet = scales::ConnectionKind::kEthernet;
    const std::string longId(254, 'A');
    EXPECT_EQ(RegisterSerial(longId), 1);
    EXPECT_EQ(Table().RegisteredCount(), 0);
    const std::string longest(253, 'A');
    RegisterSerial(longest);
    EXPECT_EQ(Table().SlotOf(longest.c_str()), 0);
    const std::string longHost(254, 'h');
    EXPECT_EQ(Table().ConnectDevice(longHost.c_str(), 5001, kEthernet, "X"), 1);
    EXPECT_EQ(Table().FindDevice("X"), nullptr);
    EXPECT_EQ(Table().ConnectDevice(nullptr, 5001, kEthernet, "X"), 1);
}

TEST_F(DeviceTableTest, DeviceMethodsWithUnknownIdGiveCodeEight) {
    const std::u16string id = u"NOBODY", name = u"Товар", message = u"Текст";
    EXPECT_FALSE(Run(kClearGoods, {Wide(id)}));
    std::u16string text;
    EXPECT_EQ(LastError(&text), 8u);
    EXPECT_EQ(text, u"Ошибка_8: DeviceID не найден.");
    Table().SetLastError(0);
    EXPECT_FALSE(Run(kAddHotKey, {Wide(id), I4(1), I4(1)}));
    EXPECT_EQ(LastError(), 8u);
    Table().SetLastError(0);
    EXPECT_FALSE(Run(kSendMessageV1, {Wide(id), I4(1), Wide(message), I4(20)}));
    EXPECT_EQ(LastError(), 8u);
    std::vector<tVariant> good = {Wide(id), Wide(name)};
    for (int i = 0; i < 13; ++i) good.push_back(I4(i));
    Table().SetLastError(0);
    EXPECT_FALSE(Run(kSendGoodToScalesV1, good));
    EXPECT_EQ(LastError(), 8u);
}

class FolderTest : public DeviceTableTest {
  protected:
    void SetUp() override {
        DeviceTableTest::SetUp();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::temp_directory_path() / (std::string("rls_addin_") + info->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    bool SetFolder(const std::u16string& path) { return Run(kSetPathDllFolder, {Wide(path)}); }

    fs::path root_;
};

TEST_F(FolderTest, ExistingDirectoryIsStoredWithBackslash) {
    const std::u16string path = root_.u16string();
    EXPECT_TRUE(SetFolder(path));
    EXPECT_EQ(LastError(), 0u);
    EXPECT_EQ(Table().FolderPath(), path + u"\\");
    const std::u16string withSlash = path + u"\\";
    Table().SetLastError(7);
    // A trailing backslash is kept, not doubled.
    SetFolder(withSlash);
    EXPECT_EQ(Table().FolderPath(), withSlash);
}

TEST_F(FolderTest, FileOrMissingPathGivesCode130WithThePath) {
    const fs::path file = root_ / "library.so";
    std::ofstream(file) << "not a folder";
    const std::u16string path = file.u16string();
    EXPECT_FALSE(SetFolder(path));
    std::u16string text;
    EXPECT_EQ(LastError(&text), 130u);
    EXPECT_EQ(text, u"Ошибка_130: Путь к папке компоненты указан НЕправильный: '" + path + u"\\'");
    EXPECT_EQ(Table().FolderPath(), path + u"\\");  // stored in either case
    const std::u16string missing = (root_ / "missing").u16string();
    EXPECT_FALSE(SetFolder(missing));
    EXPECT_EQ(LastError(), 130u);
}

TEST_F(FolderTest, CyrillicFolderIsADirectory) {
    const fs::path folder = root_ / fs::path(u"Компонента весов");
    fs::create_directories(folder);
    EXPECT_TRUE(SetFolder(folder.u16string()));
    EXPECT_EQ(LastError(), 0u);
}

}  // namespace
}  // namespace addin_test

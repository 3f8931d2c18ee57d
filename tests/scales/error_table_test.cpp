// The texts the host reads for each result code.
#include <gtest/gtest.h>

#include "scales/error_table.h"

using scales::ErrorText;
using scales::LongestErrorText;

TEST(ErrorTableTest, FixedTexts) {
    EXPECT_EQ(ErrorText(0, u""), u"OK");
    EXPECT_EQ(ErrorText(3, u""), u"Ошибка_3: Нет ответа от весов.");
    EXPECT_EQ(ErrorText(7, u""), u"Ошибка_7: Ответ от весов получен негативный: FAIL.");
    EXPECT_EQ(ErrorText(8, u""), u"Ошибка_8: DeviceID не найден.");
    EXPECT_EQ(ErrorText(2, u""), u"Ошибка_2: Ошибка \u0421\u041E\u041C-порта.");
    EXPECT_EQ(ErrorText(4, u""), u"Ошибка_4: Ошибка в формате цены.");
    EXPECT_EQ(ErrorText(5, u""), u"Ошибка_5: Текущий тип весов не поддерживает этой команды.");
}

TEST(ErrorTableTest, ComIsSpeltInCyrillic) {
    const std::u16string text = ErrorText(1, u"");
    EXPECT_EQ(text.rfind(u"Ошибка_1: Не возможно установить соединение.", 0), 0u);
    EXPECT_NE(text.find(u"имени \u0421\u041E\u041C порта, возможно, он занят другим приложением."),
              std::u16string::npos);
    EXPECT_EQ(text.find(u"COM"), std::u16string::npos);
}

TEST(ErrorTableTest, FolderPathAndUnknownCodes) {
    EXPECT_EQ(ErrorText(130, u"C:\\Папка"),
              u"Ошибка_130: Путь к папке компоненты указан НЕправильный: 'C:\\Папка'");
    for (int code : {6, 9, 131, 1099, -1}) EXPECT_EQ(ErrorText(code, u"x"), u"UnknownError");
}

// DeviceTest reserves host memory for the longest text before it does anything.
TEST(ErrorTableTest, LongestTextBoundsEveryText) {
    for (const std::u16string& folder : {std::u16string(), std::u16string(300, u'п')}) {
        const size_t longest = LongestErrorText(folder);
        bool reached = false;
        for (int32_t code = -1; code <= 1100; ++code) {
            const size_t length = ErrorText(code, folder).size();
            EXPECT_LE(length, longest) << code;
            reached = reached || length == longest;
        }
        EXPECT_TRUE(reached);
    }
}

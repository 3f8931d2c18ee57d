// The Russian guide (docs/ru) and the 1C example module, held to the built
// library: the method table and the settings document as the host learns them
// through the library's own interface, and the texts of the error table.  A
// renamed method, a new setting or a new error text fails here until the guide
// and the example follow.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "scales/error_table.h"
#include "tests/docs/module_reader.h"
#include "tests/host_abi/host_fixture.h"
#include "text/codepage.h"
#include "tools/addin-host/command_table.h"
#include "tools/console/language.h"

namespace {

using rawhost::Variant;

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string GuideFile(const char* name) {
    return ReadFile(std::string(GUIDE_DIR) + "/" + name);
}

std::string Trim(const std::string& cell) {
    const char* kBlank = " \t`";
    const size_t first = cell.find_first_not_of(kBlank);
    if (first == std::string::npos) return "";
    return cell.substr(first, cell.find_last_not_of(kBlank) - first + 1);
}

// The cells of every Markdown table row, trimmed of blanks and backticks.
using Row = std::vector<std::string>;
std::vector<Row> TableRows(const std::string& markdown) {
    std::vector<Row> rows;
    std::istringstream lines(markdown);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] != '|') continue;
        Row row;
        std::istringstream cells(line.substr(1));
        std::string cell;
        while (std::getline(cells, cell, '|')) row.push_back(Trim(cell));
        rows.push_back(row);
    }
    return rows;
}

bool IsAsciiIdentifier(const std::string& text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    for (unsigned char c : text) {
        if (!std::isalnum(c)) return false;
    }
    return true;
}

class GuideTest : public rawhost::HostTest {
  protected:
    // A name the add-in allocated, freed as the host frees it.
    std::string MethodName(long number, long language) {
        const char16_t* name = addin_.GetMethodName(number, language);
        const std::u16string text = rawhost::Text(name);
        if (name != nullptr) memory_.Free(name);
        return text::Utf16ToUtf8(text);
    }
    long FindMethod(const std::string& name) {
        const std::u16string wide = text::Utf8ToUtf16(name);
        return addin_.FindMethod(wide.c_str());
    }
    std::string SettingsDocument() {
        std::vector<Variant> params(1);
        Variant result;
        EXPECT_TRUE(Call(Method(u"GetParameters"), params, result));
        return text::Utf16ToUtf8(Take(params[0]));
    }
    std::string ExtensionName() {
        char16_t* name = nullptr;
        EXPECT_TRUE(addin_.RegisterExtensionAs(&name));
        const std::u16string text = rawhost::Text(name);
        if (name != nullptr) memory_.Free(name);
        return text::Utf16ToUtf8(text);
    }
};

// Each method has the row "| number | Russian | English | parameter count |",
// and every row of that shape names a method of the library under its number.
TEST_F(GuideTest, MethodTableIsTheLibrarys) {
    const std::vector<Row> rows = TableRows(GuideFile("methods.md"));
    const long methods = addin_.GetNMethods();
    for (long number = 0; number < methods; ++number) {
        const std::string english = MethodName(number, 0);
        const std::string russian = MethodName(number, 1);
        const Row expected = {std::to_string(number), russian, english,
                              std::to_string(addin_.GetNParams(number))};
        bool found = false;
        for (const Row& row : rows) {
            if (row.size() >= 4 && row[1] == russian && row[2] == english) {
                found = true;
                EXPECT_EQ(Row(row.begin(), row.begin() + 4), expected);
            }
        }
        EXPECT_TRUE(found) << "methods.md has no row for " << english << " / " << russian;
    }
    for (const Row& row : rows) {
        if (row.size() < 4 || !IsAsciiIdentifier(row[2])) continue;
        EXPECT_EQ(FindMethod(row[2]), std::atol(row[0].c_str())) << row[2] << " is no method";
        EXPECT_EQ(FindMethod(row[1]), std::atol(row[0].c_str())) << row[1] << " is no method";
    }
}

// Each <Parameter> of the settings document has the row
// "| Name | type | DefaultValue | ..." in the guide's settings table.
TEST_F(GuideTest, SettingsTableHasEverySettingOfTheDocument) {
    const std::string document = SettingsDocument();
    const std::vector<Row> rows = TableRows(GuideFile("settings.md"));
    const auto attribute = [](const std::string& tag, const std::string& name) {
        const std::string key = " " + name + "=\"";
        const size_t at = tag.find(key);
        if (at == std::string::npos) return std::string("<none>");
        const size_t from = at + key.size();
        return tag.substr(from, tag.find('"', from) - from);
    };
    int settings = 0;
    for (size_t at = document.find("<Parameter "); at != std::string::npos;
         at = document.find("<Parameter ", at + 1)) {
        const std::string tag = document.substr(at, document.find('>', at) - at);
        const std::string name = attribute(tag, "Name");
        const std::string type = attribute(tag, "TypeValue") == "String" ? "Строка" : "Число";
        const Row expected = {name, type, attribute(tag, "DefaultValue")};
        ++settings;
        bool found = false;
        for (const Row& row : rows) {
            if (row.size() >= 3 && row[0] == name) {
                found = true;
                EXPECT_EQ(Row(row.begin(), row.begin() + 3), expected);
            }
        }
        EXPECT_TRUE(found) << "settings.md has no row for " << name;
    }
    EXPECT_GT(settings, 0) << document;
}

// Each code the error table gives a text for has a row with that code and
// that text.  A text that carries the folder path (130) is held to the part
// that does not depend on it.
TEST_F(GuideTest, ErrorTableHasEveryCodeWithItsText) {
    constexpr int32_t kLargestCodeLookedAt = 99999;
    const std::u16string unknown = scales::ErrorText(-1, u"");
    const std::vector<Row> rows = TableRows(GuideFile("errors.md"));
    int texts = 0;
    for (int32_t code = 0; code <= kLargestCodeLookedAt; ++code) {
        const std::u16string one = scales::ErrorText(code, u"A");
        if (one == unknown) continue;
        const std::u16string other = scales::ErrorText(code, u"B");
        size_t same = 0;
        while (same < one.size() && same < other.size() && one[same] == other[same]) ++same;
        const std::string text = text::Utf16ToUtf8(one.substr(0, same));
        ++texts;
        bool found = false;
        for (const Row& row : rows) {
            if (row.size() >= 2 && row[0] == std::to_string(code)) {
                found = row[1].compare(0, text.size(), text) == 0;
                EXPECT_TRUE(found) << "errors.md: code " << code << " should read " << text;
            }
        }
        EXPECT_TRUE(found) << "errors.md has no row for code " << code;
    }
    EXPECT_GT(texts, 1);
    EXPECT_NE(GuideFile("errors.md").find(text::Utf16ToUtf8(unknown)), std::string::npos);
}

// The example creates the add-in's own class, and every call on that object
// names a method of the library with the library's parameter count.
TEST_F(GuideTest, ExampleModuleCallsOnlyMethodsWithTheirParameterCounts) {
    const std::vector<bsl::Token> tokens = bsl::Tokenize(ReadFile(EXAMPLE_MODULE));
    const bsl::AddInObject object = bsl::FindAddInObject(tokens);
    ASSERT_FALSE(object.variable.empty()) << "no Новый(\"AddIn....\") in the module";
    EXPECT_EQ(object.className, ExtensionName());
    const std::vector<bsl::Call> calls = bsl::CallsOn(tokens, object.variable);
    std::set<std::string> called;
    for (const bsl::Call& call : calls) {
        const long number = FindMethod(call.method);
        ASSERT_GE(number, 0) << "line " << call.line << ": " << call.method << " is no method";
        EXPECT_EQ(call.arguments, addin_.GetNParams(number))
            << "line " << call.line << ": " << call.method;
        called.insert(MethodName(number, 0));
    }
    // Every group: connection, settings, goods, messages, hot keys, test.
    for (const char* method :
         {"Open", "Close", "GetLastError", "SetParameter", "UploadGoods", "ClearGoods",
          "SendMessageV1", "AddHotKey", "SendHotKeys", "DeviceTest"}) {
        EXPECT_EQ(called.count(method), 1u) << "the example never calls " << method;
    }
}

// Every command addin-host's help lists has a row "| `command ...` | ... |"
// in the guide's tools page, and each option its help lists is named there.
TEST(GuideTools, ToolsPageHasEveryCommandOfAddinHostWithItsOptions) {
    console::SetLanguage(console::Language::kEnglish);
    const std::string guide = GuideFile("tools.md");
    std::set<std::string> rowCommands;
    for (const Row& row : TableRows(guide)) {
        if (!row.empty()) rowCommands.insert(row[0].substr(0, row[0].find(' ')));
    }
    // The help's lines that start with two blanks and a word name a command
    // (general help) or an option (a command's help).
    const auto listed = [](const std::string& help, const std::string& prefix) {
        std::vector<std::string> names;
        std::istringstream lines(help);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.compare(0, prefix.size(), prefix) != 0 || line.size() == prefix.size() ||
                line[prefix.size()] == ' ')
                continue;
            names.push_back(line.substr(2, line.find(' ', 2) - 2));
        }
        return names;
    };
    const std::vector<std::string> commands = listed(host::GeneralHelp(), "  ");
    EXPECT_GT(commands.size(), 5u);
    for (const std::string& command : commands) {
        EXPECT_EQ(rowCommands.count(command), 1u) << "tools.md has no row for " << command;
        for (const std::string& option : listed(host::CommandHelp(command), "  --")) {
            EXPECT_NE(guide.find("`" + option), std::string::npos)
                << "tools.md never names " << option << " of " << command;
        }
    }
}

TEST(GuideModule, ExampleModuleBlocksBalance) {
    const std::vector<std::string> faults =
        bsl::BlockFaults(bsl::Tokenize(ReadFile(EXAMPLE_MODULE)));
    for (const std::string& fault : faults) ADD_FAILURE() << fault;
}

// The reader itself: what it must see and what it must refuse.
TEST(GuideModule, ReaderSeesCallsAndFaultyBlocks) {
    struct BlockCase {
        const char* source;
        bool balanced;
    };
    const BlockCase blocks[] = {
        {"Процедура А()\nЕсли Б Тогда\nИначе\nКонецЕсли;\nКонецПроцедуры", true},
        {"Функция А()\nПопытка\nИсключение\nКонецПопытки;\nВозврат 1;\nКонецФункции", true},
        {"Для Каждого Х Из Т Цикл\nКонецЦикла;\nПока Истина Цикл\nКонецЦикла;", true},
        {"// Если\nА = \"Если \"\"Для\"\"\";\nБ.Цикл();", true},
        {"#Область А\nПроцедура Б()\nКонецПроцедуры\n#КонецОбласти", true},
        {"Процедура А()\nЕсли Б Тогда\nКонецПроцедуры", false},
        {"Попытка\nКонецПопытки;", false},
        {"Для Каждого Х Из Т Цикл\nКонецЕсли;", false},
        {"Пока Истина\nКонецЦикла;", false},
        {"Если А Тогда\nИсключение\nКонецЕсли;", false},
        {"Функция А()", false},
        {"КонецФункции", false},
    };
    for (const BlockCase& c : blocks) {
        EXPECT_EQ(bsl::BlockFaults(bsl::Tokenize(c.source)).empty(), c.balanced) << c.source;
    }
    const std::vector<bsl::Token> tokens = bsl::Tokenize(
        "Весы = Новый(\"AddIn.Имя.Класс\");\n"
        "Весы.Подключить(Ид);\nВесы.ВыгрузитьТовары(Ид, Ф(1, 2), \"a,(b\");\n"
        "// Весы.ПолучитьВес(1, 2);\nВесы.ПолучитьНомерВерсии();\nДругой.Отключить(1);");
    const bsl::AddInObject object = bsl::FindAddInObject(tokens);
    EXPECT_EQ(object.variable, "Весы");
    EXPECT_EQ(object.className, "Класс");
    std::vector<std::pair<std::string, int>> seen;
    for (const bsl::Call& call : bsl::CallsOn(tokens, object.variable)) {
        seen.emplace_back(call.method, call.arguments);
    }
    const std::vector<std::pair<std::string, int>> expected = {
        {"Подключить", 1}, {"ВыгрузитьТовары", 3}, {"ПолучитьНомерВерсии", 0}};
    EXPECT_EQ(seen, expected);
}

}  // namespace

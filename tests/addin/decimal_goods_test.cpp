// Numbers written by people, the check of goods documents, and the Ethernet
// address form.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "addin/decimal.h"
#include "addin/ethernet_address.h"
#include "addin/goods_document.h"
#include "addin/goods_numbers.h"
#include "addin/goods_report.h"
#include "text/xml.h"

namespace addin {
namespace {

TEST(ParseDecimal, SeparatorsSignsAndStops) {
    EXPECT_DOUBLE_EQ(ParseDecimal("123,45"), 123.45);
    EXPECT_DOUBLE_EQ(ParseDecimal("123.45"), 123.45);
    EXPECT_DOUBLE_EQ(ParseDecimal("12,3,4"), 12.3);  // a second separator ends the scan
    EXPECT_DOUBLE_EQ(ParseDecimal(" -7"), -7.0);
    EXPECT_DOUBLE_EQ(ParseDecimal("5-"), 5.0);
    EXPECT_DOUBLE_EQ(ParseDecimal("abc"), 0.0);
    EXPECT_DOUBLE_EQ(ParseDecimal(",5"), 0.5);
    EXPECT_DOUBLE_EQ(ParseDecimal("1 2"), 1.0);
    EXPECT_DOUBLE_EQ(ParseDecimal("-0,05"), -0.05);
    EXPECT_DOUBLE_EQ(ParseDecimal(""), 0.0);
    EXPECT_DOUBLE_EQ(ParseDecimal(nullptr), 0.0);
    EXPECT_DOUBLE_EQ(ParseDecimal("9100abc"), 9100.0);
}

TEST(ParseDecimal, LooksAtFiftyBytesOnly) {
    const std::string fifty(50, '1');
    EXPECT_DOUBLE_EQ(ParseDecimal((fifty + "999").c_str()), ParseDecimal(fifty.c_str()));
    EXPECT_DOUBLE_EQ(ParseDecimal((std::string(50, ' ') + "7").c_str()), 0.0);
    EXPECT_DOUBLE_EQ(ParseDecimal((std::string(49, ' ') + "7").c_str()), 7.0);
}

// Every form a price or a whole number may take in a goods document, and the
// forms that are refused rather than guessed at.
TEST(GoodsNumbers, FormsAcceptedAndRefused) {
    constexpr int64_t kRefused = -1;  // no row reads as -1 hundredths
    const struct {
        const char* text;
        int64_t price;  // hundredths
        int64_t whole;
    } cases[] = {
        {"1234.56", 123456, kRefused},  // XML's own form
        {"1 234,56", 123456, kRefused},
        {"1\xC2\xA0"
         "234,56",
         123456, kRefused},  // 1C's Формат: U+00A0
        {"1\xE2\x80\xAF"
         "234,56",
         123456, kRefused},  // U+202F
        {"12\xC2\xA0"
         "345\xC2\xA0"
         "678",
         1234567800, 12345678},
        {" 19.99 ", 1999, kRefused},
        {"\t42\r\n", 4200, 42},
        {"\xC2\xA0"
         "7\xC2\xA0",
         700, 7},
        {"1\xC2\xA0"
         "234\xC2\xA0",
         123400, 1234},
        {"12 345 678,9", 1234567890, kRefused},
        {"1234567890123456", kNumberCeiling, kNumberCeiling},
        {"0,1", 10, kRefused},
        {"1,990", 199, kRefused},
        {"1,900000", 190, kRefused},
        {"007", 700, 7},
        {"+5", 500, 5},
        {"-5", -500, -5},
        {"", 0, 0},
        {"   ", 0, 0},
        {"99999999999999999999", kNumberCeiling, kNumberCeiling},
        {"1,995", kRefused, kRefused},
        {"сорок", kRefused, kRefused},
        {"89.90.1", kRefused, kRefused},
        {"1.234,56", kRefused, kRefused},
        {"12.5", 1250, kRefused},
        {"1O4", kRefused, kRefused},
        {"7x", kRefused, kRefused},
        {"3 дня", kRefused, kRefused},
        {"12 руб.", kRefused, kRefused},
        {"1e3", kRefused, kRefused},
        {"5-", kRefused, kRefused},
        {"- 5", kRefused, kRefused},
        {"+-5", kRefused, kRefused},
        {"1 2", kRefused, kRefused},
        {"1 23,45", kRefused, kRefused},
        {"1\xC2", kRefused, kRefused},
        {"12 34", kRefused, kRefused},
        {"1234 567", kRefused, kRefused},
        {"1  234", kRefused, kRefused},
        {",5", kRefused, kRefused},
        {"5,", kRefused, kRefused},
        {"1 234, 56", kRefused, kRefused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int64_t price = 0, whole = 0;
        EXPECT_EQ(ReadPrice(c.text, price) ? price : kRefused, c.price);
        EXPECT_EQ(ReadWholeNumber(c.text, whole) ? whole : kRefused, c.whole);
    }
}

CheckedGoods Check(const std::u16string& document, CheckScope scope = CheckScope::kEverything,
                   const scales::LabelSettings& labels = {}) {
    ClsXml root;
    EXPECT_TRUE(root.LoadXml(XString(document.c_str())));
    root.GetRoot2();
    return CheckGoods(root, labels, scope);
}

// Attributes are found by their exact names wherever they stand; others,
// nested elements and text are not read.
TEST(GoodsCheck, AttributesByExactName) {
    const CheckedGoods checked = Check(
        u"<Goods><Item ShelfLife=\"30\" Price=\"1 234,56\" plu=\"x\" Extra=\"x\" "
        u"Name=\"Сыр «Российский»\" Code=\"1001\" PLU=\"42\">"
        u"<Nested PLU=\"x\"/>text</Item></Goods>",
        CheckScope::kFirstError);
    ASSERT_TRUE(checked.errors.empty());
    ASSERT_EQ(checked.goods.size(), 1u);
    const GoodsItem& item = checked.goods[0];
    EXPECT_EQ(item.name, "Сыр «Российский»");
    EXPECT_EQ(item.plu, 42);
    EXPECT_EQ(item.code, 1001);
    EXPECT_EQ(item.price, 123456);
    EXPECT_EQ(item.shelfLife, 30);
}

TEST(GoodsCheck, MissingOrEmptyAttributesReadAsZeroOrEmpty) {
    const CheckedGoods checked =
        Check(u"<G><Good Code=\"5\" Name=\"Хлеб\"/><Good PLU=\"\" Price=\" \"/></G>",
              CheckScope::kFirstError);
    ASSERT_TRUE(checked.errors.empty());
    ASSERT_EQ(checked.goods.size(), 2u);
    EXPECT_EQ(checked.goods[0].code, 5);
    EXPECT_EQ(checked.goods[0].name, "Хлеб");
    EXPECT_EQ(checked.goods[0].plu + checked.goods[0].price + checked.goods[0].shelfLife, 0);
    EXPECT_EQ(checked.goods[1].name, "");
    EXPECT_EQ(checked.goods[1].plu + checked.goods[1].price, 0);
}

// Each error names the good by its place, PLU and name as written, the
// attribute and the text found; UploadGoods takes the first, a person's check
// every one.
TEST(GoodsCheck, ErrorsNameTheGoodAndWhatIsAllowed) {
    const std::u16string document =
        u"<Goods>\n"
        u"<Good PLU=\"1\" Name=\"Хлеб\" Price=\"45\"/>\n"
        u"<Good PLU=\"2\" Name=\"Икра\" Price=\"сорок\"/>\n"
        u"<Good Name=\"Чай\" Code=\"1O4\" ShelfLife=\"70000\"/>\n"
        u"<Good PLU=\"4294967297\" Price=\"-5\"/>\n"
        u"</Goods>";
    const CheckedGoods first = Check(document, CheckScope::kFirstError);
    ASSERT_EQ(first.errors.size(), 1u);
    EXPECT_TRUE(first.goods.empty());
    EXPECT_EQ(first.errors[0].code, 4);
    EXPECT_EQ(DescribeProblem(first.errors[0]),
              u"Товар № 2 (строка 3, PLU=\"2\", Name=\"Икра\"): Price=\"сорок\"; допускается: "
              u"число от 0 до 999999,99, не больше двух знаков после запятой или точки, тысячи "
              u"можно отделять пробелом.");

    const struct {
        int position, line;
        int32_t code;
        const char16_t* attribute;
        const char16_t* found;
    } expected[] = {
        {2, 3, 4, u"Price", u"сорок"},       {3, 4, 151, u"Code", u"1O4"},
        {3, 4, 134, u"ShelfLife", u"70000"}, {4, 5, 133, u"PLU", u"4294967297"},
        {4, 5, 4, u"Price", u"-5"},
    };
    const CheckedGoods all = Check(document);
    ASSERT_EQ(all.errors.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const GoodsProblem& problem = all.errors[i];
        EXPECT_EQ(problem.good.position, expected[i].position);
        EXPECT_EQ(problem.good.line, expected[i].line);
        EXPECT_EQ(problem.code, expected[i].code);
        EXPECT_EQ(problem.attribute, expected[i].attribute);
        EXPECT_EQ(problem.found.value_or(u"(none)"), expected[i].found);
    }
    EXPECT_EQ(DescribeProblem(all.errors[1]),
              u"Товар № 3 (строка 4, без PLU, Name=\"Чай\"): Code=\"1O4\"; допускается: целое "
              u"число от 0 до 999999, тысячи можно отделять пробелом.");
}

// A label setting the record cannot hold is the scales' settings' error,
// before any good.
TEST(GoodsCheck, LabelSettingBeyondTheRecordIsTheDocumentsError) {
    scales::LabelSettings labels;
    labels.department = 123;
    const CheckedGoods checked =
        Check(u"<G><Good PLU=\"1\"/></G>", CheckScope::kFirstError, labels);
    ASSERT_EQ(checked.errors.size(), 1u);
    EXPECT_EQ(checked.errors[0].code, 135);
    EXPECT_EQ(DescribeProblem(checked.errors[0]), u"Настройка \"etikdep\" = 123.");
}

// Goods that go through, but probably not as their author meant.
TEST(GoodsCheck, WarningsDoNotStopTheGoods) {
    const std::u16string longName =
        u"Колбаса докторская высшего сорта весовая в натуральной оболочке ГОСТ";
    const CheckedGoods checked = Check(
        u"<G>\n<Good Name=\"Без номера\" Price=\"1\"/>\n<Good PLU=\"0\" Price=\"1\"/>\n"
        u"<Good PLU=\"7\"/>\n<Good PLU=\"7\" Price=\"2\"/>\n<Good PLU=\"8\" Price=\"1\" Name=\"" +
        longName + u"\"/>\n<Good PLU=\"9\" Price=\"1\" Name=\"Кофе ☕ Ā\"/>\n</G>");
    EXPECT_TRUE(checked.errors.empty());
    EXPECT_EQ(checked.goods.size(), 6u);
    const struct {
        int position;
        const char16_t* attribute;
        const char16_t* detail;
    } expected[] = {
        {1, u"PLU", u"PLU не указан, товар будет записан под PLU 0"},
        {2, u"PLU", u"товар будет записан под PLU 0"},
        {3, u"Price", u"цена не указана, товар будет записан с ценой 0,00"},
        {4, u"PLU",
         u"этот PLU уже есть у товара № 3 (строка 4), на весах останется только последний из "
         u"них"},
        {5, u"Name",
         u"название не помещается в запись весов (61 знак windows-1251), на весы попадёт "
         u"\"Колбаса докторская высшего сорта весовая в натуральной оболоч\""},
        {6, u"Name", u"знаков \"☕Ā\" нет в windows-1251, на весы они не попадут"},
    };
    ASSERT_EQ(checked.warnings.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(checked.warnings[i].code, 0);
        EXPECT_EQ(checked.warnings[i].good.position, expected[i].position);
        EXPECT_EQ(checked.warnings[i].attribute, expected[i].attribute);
        EXPECT_EQ(checked.warnings[i].detail, expected[i].detail);
    }
    EXPECT_TRUE(Check(u"<G><Good PLU=\"0\"/></G>", CheckScope::kFirstError).warnings.empty());
}

TEST(EthernetAddressForm, HostAndOptionalPort) {
    const EthernetAddress withPort = ParseEthernetAddress(u"192.168.0.200:9100");
    EXPECT_EQ(withPort.host, u"192.168.0.200");
    EXPECT_EQ(withPort.port, 9100);
    const EthernetAddress bare = ParseEthernetAddress(u"192.168.0.200");
    EXPECT_EQ(bare.host, u"192.168.0.200");
    EXPECT_EQ(bare.port, 5001);
    EXPECT_EQ(ParseEthernetAddress(u"scales.invalid:0").port, 5001);
    EXPECT_EQ(ParseEthernetAddress(u"scales.invalid:-3").port, 5001);
    EXPECT_EQ(ParseEthernetAddress(u"scales.invalid:abc").port, 5001);
    EXPECT_EQ(ParseEthernetAddress(u"scales.invalid:abc").host, u"scales.invalid");
    const EthernetAddress leading = ParseEthernetAddress(u":9100");
    EXPECT_EQ(leading.host, u":9100");
    EXPECT_EQ(leading.port, 5001);
    EXPECT_EQ(ParseEthernetAddress(u"a:1:2").host, u"a");
    EXPECT_EQ(ParseEthernetAddress(u"a:1:2").port, 1);
}

}  // namespace
}  // namespace addin

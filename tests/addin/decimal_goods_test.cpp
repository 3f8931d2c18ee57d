// Numbers written by people, goods elements, and the Ethernet address form.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "addin/decimal.h"
#include "addin/ethernet_address.h"
#include "addin/goods_document.h"
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

TEST(Price, HundredthsFromWrittenPrices) {
    EXPECT_EQ(PriceInHundredths(XString(u"1 234,56")), 123456);
    EXPECT_EQ(PriceInHundredths(XString(u"19.99")), 1999);
    EXPECT_EQ(PriceInHundredths(XString(u"0,1")), 10);
    EXPECT_EQ(PriceInHundredths(XString(u"123.45")), 12345);
    EXPECT_EQ(PriceInHundredths(XString(u"")), 0);
    // Far beyond any price: clamped, never undefined nor wrapped into a price
    // that fits; the price field then refuses it.
    EXPECT_EQ(PriceInHundredths(XString(u"99999999999999999999")), 2147483647);
    EXPECT_EQ(PriceInHundredths(XString(u"-99999999999999999999")), -2147483647 - 1);
}

std::unique_ptr<ClsXml> FirstGood(ClsXml& root, const std::u16string& document) {
    EXPECT_TRUE(root.LoadXml(XString(document.c_str())));
    root.GetRoot2();
    return root.GetChild(0);
}

// The document gives the good; the label fields come from the scales it goes
// to, and nothing else is sent.
TEST(GoodsConversion, AttributesByExactNameLabelsFromTheScales) {
    ClsXml root;
    auto good = FirstGood(root,
                          u"<Goods><Item PLU=\"42\" Code=\"1001\" Name=\"Сыр «Российский»\" "
                          u"Price=\"1 234,56\" ShelfLife=\"30\" plu=\"7\" Extra=\"x\">"
                          u"<Nested PLU=\"9\"/>text</Item></Goods>");
    ASSERT_TRUE(good);
    scales::LabelSettings labels;
    labels.labelNumber = 64;
    labels.department = 12;
    labels.barcodeFormat = 3;
    labels.weightMeasure = 1;
    const GoodsItem item = ConvertGood(*good, labels);
    EXPECT_EQ(item.name, u"Сыр «Российский»");
    const scales::GoodsFields& f = item.fields;
    EXPECT_EQ(f.plu, 42);
    EXPECT_EQ(f.code, 1001);
    EXPECT_EQ(f.price, 123456);
    EXPECT_EQ(f.shelfLife, 30);
    EXPECT_EQ(f.labelNumber, 64);
    EXPECT_EQ(f.department, 12);
    EXPECT_EQ(f.barcodeFormat, 3);
    EXPECT_EQ(f.weightMeasure, 1);
    EXPECT_EQ(f.labelExtra + f.extra1 + f.extra2 + f.extra3 + f.extra4, 0);
}

TEST(GoodsConversion, MissingAttributesReadAsZeroOrEmpty) {
    ClsXml root;
    auto good = FirstGood(root, u"<G><Good Code=\"5\" Name=\"Хлеб\"/></G>");
    ASSERT_TRUE(good);
    const GoodsItem item = ConvertGood(*good, scales::LabelSettings{});
    EXPECT_EQ(item.fields.code, 5);
    EXPECT_EQ(item.name, u"Хлеб");
    EXPECT_EQ(item.fields.plu, 0);
    EXPECT_EQ(item.fields.price, 0);
    EXPECT_EQ(item.fields.shelfLife, 0);
    auto bare = FirstGood(root, u"<G><Good/></G>");
    ASSERT_TRUE(bare);
    EXPECT_EQ(ConvertGood(*bare, scales::LabelSettings{}).name, u"");
}

// Numbers beyond 32 bits are not wrapped into some other number (4294967297
// would be PLU 1): they read as one that no goods field holds.
TEST(GoodsConversion, WholeNumbersAreNeverWrapped) {
    const struct {
        const char16_t* text;
        int32_t value;
    } cases[] = {
        {u"007", 7},
        {u" -5", -5},
        {u"+5", 5},
        {u"12abc", 12},
        {u"abc", 0},
        {u"", 0},
        {u"2147483647", INT32_MAX},
        {u"-2147483648", INT32_MIN},
        {u"2147483648", INT32_MIN},
        {u"-2147483649", INT32_MIN},
        {u"4294967297", INT32_MIN},
        {u"4601234567890", INT32_MIN},
        {u"99999999999999999999999999", INT32_MIN},
    };
    for (const auto& c : cases) {
        ClsXml root;
        auto good = FirstGood(root, u"<G><Good PLU=\"" + std::u16string(c.text) + u"\" Code=\"" +
                                        c.text + u"\" ShelfLife=\"" + c.text + u"\"/></G>");
        ASSERT_TRUE(good);
        const GoodsItem item = ConvertGood(*good, scales::LabelSettings{});
        SCOPED_TRACE(::testing::PrintToString(std::u16string(c.text)));
        EXPECT_EQ(item.fields.plu, c.value);
        EXPECT_EQ(item.fields.code, c.value);
        EXPECT_EQ(item.fields.shelfLife, c.value);
    }
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

// Goods documents through the host's UploadGoods, counted at the emulator:
// a document with one bad good anywhere sends nothing at all, and the error
// text names that good; the number forms 1C writes reach the labels exactly.
#include <string>

#include "tests/host_abi/end_to_end_fixture.h"

namespace rawhost {
namespace {

std::string Utf8(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

class GoodsDocument : public EndToEnd {
  protected:
    void SetUp() override {
        EndToEnd::SetUp();
        PointAtEmulator();
        id_ = Open();
    }
    std::u16string id_;
};

// Three good goods with the bad one put first, in the middle and last: the
// upload fails before the first frame (no clock either), and GetLastError
// gives the code's own text followed by the good's place, PLU and name.
TEST_F(GoodsDocument, OneBadGoodAnywhereSendsNothing) {
    const struct {
        const char16_t* attributes;
        uint32_t code;
        const char16_t* detail;  // after the good's place: what was found
    } cases[] = {
        {u"Price=\"сорок\"", 4, u"Price=\"сорок\"; допускается: число от 0 до 999999,99"},
        {u"Price=\"89.90.1\"", 4, u"Price=\"89.90.1\"; допускается: "},
        {u"Price=\"1,995\"", 4, u"Price=\"1,995\"; допускается: "},
        {u"Price=\"-45\"", 4, u"Price=\"-45\"; допускается: "},
        {u"Price=\"1000000\"", 4, u"Price=\"1000000\"; допускается: "},
        {u"Code=\"1O4\"", 151, u"Code=\"1O4\"; допускается: целое число от 0 до 999999"},
        {u"ShelfLife=\"3 дня\"", 151, u"ShelfLife=\"3 дня\"; допускается: целое число"},
        {u"Code=\"1234567\"", 132, u"Code=\"1234567\"; допускается: целое число от 0 до 999999"},
        {u"ShelfLife=\"65536\"", 134, u"ShelfLife=\"65536\"; допускается: "},
    };
    const std::u16string good = u"<Good PLU=\"7\" Code=\"7\" Name=\"Хлеб\" Price=\"45\"/>\n";
    for (const auto& c : cases) {
        for (int position = 1; position <= 3; ++position) {
            SCOPED_TRACE(Utf8(c.attributes) + " at " + std::to_string(position));
            std::u16string document = u"<Goods>\n";
            for (int i = 1; i <= 3; ++i)
                document += i == position ? u"<Good PLU=\"9\" Name=\"Икра\" " +
                                                std::u16string(c.attributes) + u"/>\n"
                                          : good;
            document += u"</Goods>";
            const uint64_t before = emulator_.FramesReceived();
            EXPECT_FALSE(Upload(id_, document));
            EXPECT_EQ(emulator_.FramesReceived(), before);
            std::u16string text;
            EXPECT_EQ(LastError(&text), c.code);
            const std::u16string place = u"Товар № " + std::u16string(1, u'0' + position) +
                                         u" (строка " + std::u16string(1, u'1' + position) +
                                         u", PLU=\"9\", Name=\"Икра\"): ";
            const size_t at = text.find(place + c.detail);
            EXPECT_NE(at, std::u16string::npos) << Utf8(text);
            const std::string code = "Ошибка_" + std::to_string(c.code) + ": ";
            EXPECT_EQ(Utf8(text).rfind(code, 0), 0u) << Utf8(text);
        }
    }
    EXPECT_TRUE(emulator_.Snapshot().goods.empty());
}

// The code's own text stays word for word at the start.
TEST_F(GoodsDocument, ErrorTextAsTheUserSeesIt) {
    EXPECT_FALSE(Upload(id_,
                        u"<Goods>\n  <Good PLU=\"1\" Name=\"Хлеб\" Price=\"45\"/>\n"
                        u"  <Good PLU=\"2\" Name=\"Икра\" Price=\"сорок\"/>\n</Goods>"));
    std::u16string text;
    EXPECT_EQ(LastError(&text), 4u);
    EXPECT_EQ(text,
              u"Ошибка_4: Ошибка в формате цены. Товар № 2 (строка 3, PLU=\"2\", Name=\"Икра\"): "
              u"Price=\"сорок\"; допускается: число от 0 до 999999,99, не больше двух знаков "
              u"после запятой или точки, тысячи можно отделять пробелом.");
    EXPECT_EQ(emulator_.FramesReceived(), 0u);
}

// A document that is not well-formed sends nothing and says where it breaks.
TEST_F(GoodsDocument, NotWellFormedDocumentSendsNothing) {
    const struct {
        const char16_t* document;
        const char16_t* text;
    } cases[] = {
        {u"<Goods>\n<Good PLU=\"1\" Price=\"45\">\n<Good PLU=\"2\" Price=\"46\"/>\n"
         u"<Good PLU=\"3\" Price=\"47\"/>\n</Goods>\n",
         u"Строка 5, столбец 1: закрывающий тег </Goods> не соответствует открытому элементу "
         u"<Good> (строка 2, столбец 1)."},
        {u"<Goods><Good PLU=\"1\" Price=\"45\"/>",
         u"Строка 1, столбец 34: документ кончился, а "
         u"элемент <Goods> (строка 1, столбец 1) не "
         u"закрыт."},
        {u"<Goods><Good PLU=1 Price=\"45\"/></Goods>",
         u"Строка 1, столбец 18: значение атрибута PLU не заключено в кавычки."},
        {u"<Goods><Good PLU=\"1\"/></Goods>\n<Goods><Good PLU=\"2\"/></Goods>",
         u"Строка 2, столбец 1: элемент <Goods> после конца корневого элемента."},
        {u"<Goods><Good PLU=\"1\"/></Goods>\nPLU=2",
         u"Строка 2, столбец 1: текст после конца корневого элемента."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.document));
        EXPECT_FALSE(Upload(id_, c.document));
        std::u16string text;
        EXPECT_EQ(LastError(&text), 152u);
        EXPECT_EQ(text, u"Ошибка_152: Документ с товарами не является правильным XML. " +
                            std::u16string(c.text));
    }
    EXPECT_EQ(emulator_.FramesReceived(), 0u);
}

// What 1C's Формат writes (no-break spaces between thousands) and XML's own
// plain form both reach the labels as the same price.
TEST_F(GoodsDocument, PricesAsOneCWritesThemReachTheLabels) {
    ASSERT_TRUE(Upload(id_,
                       u"<Goods><Good PLU=\"1\" Price=\"1\u00A0234,56\"/>"
                       u"<Good PLU=\"2\" Price=\"1\u202F234,56\"/>"
                       u"<Good PLU=\"3\" Price=\"1234.56\"/>"
                       u"<Good PLU=\"4\" Price=\" 1 234,560 \"/>"
                       u"<Good PLU=\"5\" Code=\"1\u00A0001\" ShelfLife=\"+5\"/></Goods>"));
    const emu::State state = emulator_.Snapshot();
    for (uint64_t plu = 1; plu <= 4; ++plu) EXPECT_EQ(state.goods.at(plu).price, 123456u) << plu;
    EXPECT_EQ(state.goods.at(5).code, 1001u);
    EXPECT_EQ(state.goods.at(5).shelfLife, 5u);
}

}  // namespace
}  // namespace rawhost

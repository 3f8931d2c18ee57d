// Decoding of every frame kind from hand-written bytes, without any I/O.
#include <gtest/gtest.h>

#include "decoder.h"
#include "frame_bytes.h"
#include "state_format.h"

namespace {

using emu::FrameDecoder;
using emu::FrameKind;
using emu_test::Frame;
using emu_test::Put;
using emu_test::PutText;

emu::ReceivedFrame Feed(FrameDecoder& d, const std::vector<uint8_t>& f, bool accepted = true) {
    return d.Decode(f.data(), f.size(), accepted);
}

FrameKind Kind(const std::string& hex) {
    const auto f = Frame(hex);
    return emu::ClassifyFrame(f.data(), f.size());
}

TEST(ClassifyFrame, TellsEveryKindByItsFirstBytes) {
    EXPECT_EQ(Kind("0E 01 00"), FrameKind::kClock);
    EXPECT_EQ(Kind("0E 04 00 00 04"), FrameKind::kClear);
    EXPECT_EQ(Kind("0E 04 00 00 05"), FrameKind::kUnknown);
    EXPECT_EQ(Kind("0B 00 00"), FrameKind::kGoods);
    EXPECT_EQ(Kind("0B 01 00"), FrameKind::kUnknown);
    EXPECT_EQ(Kind("A2 05 00"), FrameKind::kContinuation);
    EXPECT_EQ(Kind("62 00 00 0B 00 00 00 00 00 00 41 42 FF FF 43 44"), FrameKind::kMessage);
    EXPECT_EQ(Kind("62 00 00 00 00 01 00 00 00 01"), FrameKind::kAnnouncement);
    // Byte 9 = 01 with text behind it is not an announcement.
    EXPECT_EQ(Kind("62 00 00 00 00 00 00 00 00 01 41"), FrameKind::kMessage);
    EXPECT_EQ(Kind("79 00 00"), FrameKind::kMessageData);
    EXPECT_EQ(Kind("02 F8 03"), FrameKind::kHotKeys);
    EXPECT_EQ(Kind("02 FA 03"), FrameKind::kHotKeys);
    EXPECT_EQ(Kind("02 FB 03"), FrameKind::kUnknown);
    EXPECT_EQ(Kind("55"), FrameKind::kUnknown);
    EXPECT_EQ(emu::ClassifyFrame(nullptr, 0), FrameKind::kUnknown);
    const uint8_t clockPrefix[] = {0x0E, 0x01};
    EXPECT_EQ(emu::ClassifyFrame(clockPrefix, 2), FrameKind::kUnknown);
}

TEST(DecodeGoods, WorkedExampleGivesEveryField) {
    FrameDecoder d;
    const auto out = Feed(d, emu_test::BananaFrame());
    EXPECT_EQ(out.kind, FrameKind::kGoods);
    EXPECT_EQ(out.description,
              "goods PLU 10001 code 10001 \"Банан\" price 123.45 shelf life 10 label 0 dept 28 "
              "barcode 7 unit kg");
    const auto& goods = d.GetState().goods;
    ASSERT_EQ(goods.count(10001u), 1u);
    const emu::Good& g = goods.at(10001);
    EXPECT_EQ(g.nameCp1251, "\xC1\xE0\xED\xE0\xED");
    EXPECT_EQ(g.nameUtf8, "Банан");
    EXPECT_EQ(g.code, 10001u);
    EXPECT_EQ(g.price, 12345u);
    EXPECT_EQ(g.shelfLife, 10);
    EXPECT_EQ(g.department, 28);
    EXPECT_EQ(g.barcodeFormat, 7);
    EXPECT_EQ(g.weightMeasure, 4);
}

TEST(DecodeGoods, WideFieldsAndExtras) {
    // PLU 9876543210, code 999999, price 99999999, shelf life 0x1234, label 0x80,
    // label extra 5, dept 99, unit pcs-lb, extras 2C 01 / 123456 / 654321.
    auto f = Frame("0B 00 00");
    PutText(f, 3, std::string(36, 'N'));
    Put(f, 39,
        "99 99 99  80  05  99  01  99 99 99 99  0C  34 12  2C  01  12 34 56  00  65 43 21  "
        "98 76 54 32 10");
    FrameDecoder d;
    const auto out = Feed(d, f);
    const emu::Good& g = d.GetState().goods.at(9876543210ull);
    EXPECT_EQ(g.code, 999999u);
    EXPECT_EQ(g.price, 99999999u);
    EXPECT_EQ(g.shelfLife, 0x1234);
    EXPECT_EQ(g.labelNumber, 0x80);
    EXPECT_EQ(g.labelExtra, 5);
    EXPECT_EQ(g.department, 99);
    EXPECT_EQ(g.weightMeasure, 12);
    EXPECT_EQ(g.extra1, 0x2C);
    EXPECT_EQ(g.extra2, 0x01);
    EXPECT_EQ(g.extra3, 123456u);
    EXPECT_EQ(g.extra4, 654321u);
    EXPECT_EQ(g.nameCp1251, std::string(36, 'N'));
    EXPECT_NE(out.description.find("unit pcs-lb label extra 5 extra 44 1 123456 654321"),
              std::string::npos)
        << out.description;
}

TEST(DecodeGoods, FlagsBadBcdAndShortDatagrams) {
    auto f = emu_test::BananaFrame();
    Put(f, 3 + 43, "00 01 2A 45");  // price with a nibble above 9
    FrameDecoder d;
    EXPECT_NE(Feed(d, f).description.find("(bad BCD: price)"), std::string::npos);

    // A 3-byte goods datagram is decoded as zeros, never read past its end.
    const std::vector<uint8_t> stub = {0x0B, 0x00, 0x00};
    const auto out = d.Decode(stub.data(), stub.size());
    EXPECT_EQ(out.kind, FrameKind::kGoods);
    EXPECT_NE(out.description.find("(3 bytes, not 259)"), std::string::npos);
    EXPECT_EQ(d.Decode(nullptr, 5).kind, FrameKind::kUnknown);
}

TEST(DecodeGoods, SamePluReplacesAndClearEmptiesTable) {
    FrameDecoder d;
    auto f = emu_test::BananaFrame();
    Feed(d, f);
    Put(f, 3 + 43, "00 00 05 00");
    Feed(d, f);
    ASSERT_EQ(d.GetState().goods.size(), 1u);
    EXPECT_EQ(d.GetState().goods.at(10001).price, 500u);

    const auto out = Feed(d, Frame("0E 04 00 00 04"));
    EXPECT_EQ(out.kind, FrameKind::kClear);
    EXPECT_EQ(out.description, "clear goods");
    EXPECT_TRUE(d.GetState().goods.empty());
}

// A good whose windows-1251 name is `name` (the first 36 bytes in the record).
std::vector<uint8_t> GoodsWithName(const std::string& name, const std::string& codeBcd,
                                   const std::string& pluBcd) {
    auto f = Frame("0B 00 00");
    PutText(f, 3, name.substr(0, 36));
    Put(f, 3 + 36, codeBcd);
    Put(f, 3 + 59, pluBcd);
    return f;
}

TEST(DecodeContinuation, JoinsTailToTheGoodWithTheSameCode) {
    const std::string name = std::string(36, 'A') + "\xC1\xFF";  // ..."Бя"
    FrameDecoder d;
    Feed(d, GoodsWithName(name, "00 00 07", "00 00 00 00 42"));
    Feed(d, GoodsWithName("X", "00 00 08", "00 00 00 00 43"));

    auto cont = Frame("A2 05 00  00 00 07  C1 FF");
    auto out = Feed(d, cont);
    EXPECT_EQ(out.kind, FrameKind::kContinuation);
    EXPECT_EQ(d.GetState().goods.at(42).nameCp1251, name);
    EXPECT_EQ(d.GetState().goods.at(42).nameUtf8, std::string(36, 'A') + "Бя");
    EXPECT_EQ(d.GetState().goods.at(43).nameUtf8, "X");
    EXPECT_NE(out.description.find("continuation #5 code 7 \"Бя\" -> PLU 42"), std::string::npos)
        << out.description;

    // A repeated continuation (next sequence number) replaces the tail.
    Put(cont, 1, "06 00");
    Feed(d, cont);
    EXPECT_EQ(d.GetState().goods.at(42).nameCp1251, name);
}

TEST(DecodeContinuation, LongestNameAndUnknownCode) {
    const std::string name = std::string(36, 'a') + std::string(25, 'b');
    FrameDecoder d;
    Feed(d, GoodsWithName(name, "12 34 56", "00 00 00 00 01"));
    auto cont = Frame("A2 00 00  12 34 56");
    PutText(cont, 6, std::string(25, 'b'));
    Feed(d, cont);
    EXPECT_EQ(d.GetState().goods.at(1).nameCp1251, name);

    const auto out = Feed(d, Frame("A2 01 00  99 99 99  41"));
    EXPECT_NE(out.description.find("for no known good"), std::string::npos);
    EXPECT_EQ(d.GetState().goods.at(1).nameCp1251, name);
}

TEST(DecodeClock, BcdDateAndTime) {
    FrameDecoder d;
    const auto out = Feed(d, Frame("0E 01 00 00 00 00 00 24 03 05 09 07 45"));
    EXPECT_EQ(out.description, "clock 2024-03-05 09:07:45");
    const emu::Clock& c = d.GetState().clock;
    EXPECT_TRUE(c.set);
    EXPECT_EQ(c.year, 2024);
    EXPECT_EQ(c.month, 3);
    EXPECT_EQ(c.day, 5);
    EXPECT_EQ(c.hour, 9);
    EXPECT_EQ(c.minute, 7);
    EXPECT_EQ(c.second, 45);
}

std::vector<std::string> MessageLines(const FrameDecoder& d, int number) {
    const auto& messages = d.GetState().messages;
    auto it = messages.find(number);
    return it == messages.end() ? std::vector<std::string>{"<none>"} : it->second;
}

using Lines = std::vector<std::string>;

TEST(DecodeShortMessage, LinesByOffsets) {
    FrameDecoder d;
    // "AB" CR LF "CD", width 0: line 1 at offset 0B.
    auto out = Feed(d, Frame("62 00 00 0B 00 00 00 00 00 00 41 42 FF FF 43 44"));
    EXPECT_EQ(out.description, "message 1, 2 lines: \"AB\" \"CD\"");
    EXPECT_EQ(MessageLines(d, 1), (Lines{"AB", "CD"}));

    // Width 1: four lines, offsets 0A 0D 10.
    Feed(d, Frame("62 01 00 0A 0D 10 00 00 00 00 41 FF FF 42 FF FF 43 FF FF 44"));
    EXPECT_EQ(MessageLines(d, 2), (Lines{"A", "B", "C", "D"}));

    // Empty first line: line 1 at offset 9.
    Feed(d, Frame("62 02 00 09 00 00 00 00 00 00 FF FF 58"));
    EXPECT_EQ(MessageLines(d, 3), (Lines{"", "X"}));

    // Number 0 travels as FF FF; an empty text has no lines.
    Feed(d, Frame("62 FF FF"));
    EXPECT_EQ(MessageLines(d, 0), Lines{});
}

TEST(DecodeShortMessage, LetterYaIsNotASeparator) {
    // windows-1251 FF is "я": line 0 = "яя", line 1 = "AяB" (offset 0B).
    FrameDecoder d;
    Feed(d, Frame("62 00 00 0B 00 00 00 00 00 00 FF FF FF FF 41 FF 42"));
    EXPECT_EQ(MessageLines(d, 1), (Lines{"яя", "AяB"}));
}

TEST(DecodeShortMessage, SixteenLinesUseBothOffsetAreas) {
    // Lines "0".."F" of one letter: line i at offset 7 + 3i.
    auto f = Frame("62 04 00");
    Lines expected;
    for (int i = 0; i < 16; ++i) {
        const size_t pos = 10 + 3 * i;
        const char letter = "0123456789ABCDEF"[i];
        f[pos] = static_cast<uint8_t>(letter);
        if (i < 15) f[pos + 1] = f[pos + 2] = 0xFF;
        if (i >= 1) f[i <= 7 ? 2 + i : 250 + (i - 7)] = static_cast<uint8_t>(pos - 3);
        expected.push_back(std::string(1, letter));
    }
    EXPECT_EQ(f[251], 0x1Fu);  // line 8 at frame byte 34
    FrameDecoder d;
    Feed(d, f);
    EXPECT_EQ(MessageLines(d, 5), expected);
}

TEST(DecodeShortMessage, BrokenOffsetsAreReportedNotFollowed) {
    FrameDecoder d;
    // Line 1 claims to start before line 0 ends; line 2 beyond the text area.
    auto out = Feed(d, Frame("62 00 00 08 F9 00 00 00 00 00 41 42 43"));
    EXPECT_NE(out.description.find("out of place"), std::string::npos) << out.description;
    // Missing FF FF separator.
    out = Feed(d, Frame("62 00 00 0B 00 00 00 00 00 00 41 42 00 00 43"));
    EXPECT_NE(out.description.find("no FF FF after line 0"), std::string::npos) << out.description;
}

std::vector<uint8_t> FirstDataFrame(const std::string& seq, const std::string& text,
                                    size_t length) {
    auto f = Frame("79 " + seq);
    f[3] = static_cast<uint8_t>(length & 0xFF);
    f[4] = static_cast<uint8_t>(length >> 8);
    Put(f, 5, "00 00 06 00");
    PutText(f, 9, text.substr(0, 250));
    return f;
}

std::vector<uint8_t> NextDataFrame(const std::string& seq, const std::string& text) {
    auto f = Frame("79 " + seq);
    PutText(f, 3, text.substr(0, 256));
    return f;
}

TEST(DecodeLongMessage, JoinsDataUpToAnnouncedLength) {
    const std::string text(300, 'Z');
    FrameDecoder d;
    auto out = Feed(d, Frame("62 00 00 00 00 01 00 00 00 01"));
    EXPECT_EQ(out.kind, FrameKind::kAnnouncement);
    // L = 300 = 2C 01.
    const auto first = FirstDataFrame("00 00", text, 300);
    EXPECT_EQ(first[3], 0x2C);
    EXPECT_EQ(first[4], 0x01);
    Feed(d, first);
    EXPECT_EQ(d.GetState().messages.count(1), 0u);
    out = Feed(d, NextDataFrame("01 00", text.substr(250)));
    EXPECT_EQ(MessageLines(d, 1), Lines{text});
    EXPECT_NE(out.description.find("300 of 300 bytes, complete"), std::string::npos);
}

TEST(DecodeLongMessage, SplitsAtCrLfAndSurvivesRetry) {
    // 3 lines: 200 x 'a', 'яя' (FF FF), 300 x 'c' -> 200+2+2+2+300 = 506 bytes.
    const std::string joined = std::string(200, 'a') + "\r\n\xFF\xFF\r\n" + std::string(300, 'c');
    ASSERT_EQ(joined.size(), 506u);
    FrameDecoder d;
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Sequence numbers 7, 8, 9 in both attempts; the first data frame of
        // the first attempt is rejected, so the driver starts again.
        Feed(d, Frame("62 02 00 00 00 03 00 07 00 01"));
        Feed(d, FirstDataFrame("07 00", joined, joined.size()), attempt == 1);
        if (attempt == 0) continue;
        Feed(d, NextDataFrame("08 00", joined.substr(250)));
        Feed(d, NextDataFrame("09 00", joined.substr(506)));
    }
    EXPECT_EQ(MessageLines(d, 3), (Lines{std::string(200, 'a'), "яя", std::string(300, 'c')}));
}

TEST(DecodeLongMessage, WrongSequenceAndDataWithoutAnnouncement) {
    FrameDecoder d;
    auto out = Feed(d, NextDataFrame("00 00", "x"));
    EXPECT_NE(out.description.find("without an announcement"), std::string::npos);
    Feed(d, Frame("62 00 00 00 00 01 00 04 00 01"));
    out = Feed(d, FirstDataFrame("05 00", std::string(260, 'q'), 260));
    EXPECT_NE(out.description.find("expected #4"), std::string::npos) << out.description;
}

TEST(DecodeHotKeys, PagesFillTheirKeys) {
    FrameDecoder d;
    auto page0 = Frame("02 F8 03  12 34 56");
    Put(page0, 3 + 83 * 3, "00 00 84");  // key 84
    auto out = Feed(d, page0);
    EXPECT_EQ(out.description, "hot keys page 0 (keys 1-84): 1=123456, 84=84");
    Feed(d, Frame("02 F9 03  00 00 85"));
    out = Feed(d, Frame("02 FA 03"));
    EXPECT_EQ(out.description, "hot keys page 2 (keys 169-252): all 0");
    const auto& keys = d.GetState().hotKeys;
    ASSERT_EQ(keys.size(), 252u);
    EXPECT_EQ(keys[0], 123456u);
    EXPECT_EQ(keys[83], 84u);
    EXPECT_EQ(keys[84], 85u);
    EXPECT_EQ(keys[1], 0u);
}

TEST(StateJson, CarriesEveryPartOfTheState) {
    FrameDecoder d;
    Feed(d, emu_test::BananaFrame());
    Feed(d, Frame("0E 01 00 00 00 00 00 24 03 05 09 07 45"));
    Feed(d, Frame("62 00 00 0B 00 00 00 00 00 00 22 5C FF FF 43 44"));  // "\ and CD
    Feed(d, Frame("02 F8 03  12 34 56"));
    const std::string json = emu::FormatStateJson(d.GetState());
    for (const char* part :
         {"\"framesReceived\": 4", "\"plu\": 10001", "\"name\": \"Банан\"",
          "\"nameHex\": \"C1E0EDE0ED\"", "\"price\": 12345", "\"priceText\": \"123.45\"",
          "\"unit\": \"kg\"", "\"year\": 2024",
          "{\"number\": 1, \"lines\": [\"\\\"\\\\\", \"CD\"]}", "{\"key\": 1, \"code\": 123456}"}) {
        EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
    }
    EXPECT_EQ(emu::JsonString("a\x01"), "\"a\\u0001\"");
}

TEST(GoodsTable, AlignsCyrillicNames) {
    FrameDecoder d;
    Feed(d, emu_test::BananaFrame());
    Feed(d, GoodsWithName("Kiwi", "00 00 02", "00 00 00 00 02"));
    const std::string table = emu::FormatGoodsTable(d.GetState());
    EXPECT_EQ(table,
              "PLU    Code   Name   Price   Shelf life  Label  Dept  Barcode  Unit\n"
              "2      2      Kiwi   0.00    0           0      0     0        50g\n"
              "10001  10001  Банан  123.45  10          0      28    7        kg\n");
    EXPECT_EQ(emu::FormatGoodsTable(emu::State{}), "(no goods)\n");
}

}  // namespace

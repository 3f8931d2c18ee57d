// Clock, goods, continuation, clear and hot-key frames, byte for byte.
#include <gtest/gtest.h>

#include "scales/frames.h"
#include "tests/scales/frame_hex.h"
#include "text/codepage.h"

using namespace scales;
using scales_test::Hex;
using scales_test::ZeroFrom;

namespace {

std::string Bcd(uint32_t value, int digits) {
    uint8_t out[8] = {};
    PutBcd(out, value, digits);
    return Hex(std::vector<uint8_t>(out, out + digits / 2), 0, digits / 2);
}

GoodsFields Banana() {
    GoodsFields f;
    f.code = 10001;
    f.plu = 10001;
    f.department = 28;
    f.barcodeFormat = 7;
    f.price = 12345;
    f.weightMeasure = 4;
    f.shelfLife = 10;
    return f;
}

}  // namespace

TEST(BcdTest, WidthsAndTruncation) {
    EXPECT_EQ(Bcd(10001, 6), "01 00 01");
    EXPECT_EQ(Bcd(12345, 8), "00 01 23 45");
    EXPECT_EQ(Bcd(0, 2), "00");
    EXPECT_EQ(Bcd(99, 2), "99");
    EXPECT_EQ(Bcd(123, 2), "23");  // only the lowest two digits
    EXPECT_EQ(Bcd(1234567, 6), "23 45 67");
    EXPECT_EQ(Bcd(100000000, 8), "00 00 00 00");  // a price of 1 million units
    EXPECT_EQ(Bcd(4294967295u, 10), "42 94 96 72 95");
    EXPECT_EQ(Bcd(4294967295u, 8), "94 96 72 95");
}

TEST(ClockFrameTest, LocalTimeInBcd) {
    const Frame frame = BuildClockFrame({2024, 3, 5, 9, 7, 45});
    EXPECT_EQ(Hex(frame, 0, 13), "0E 01 00 00 00 00 00 24 03 05 09 07 45");
    EXPECT_TRUE(ZeroFrom(frame, 13));

    EXPECT_EQ(Hex(BuildClockFrame({2000, 12, 31, 23, 59, 59}), 7, 6), "00 12 31 23 59 59");
    EXPECT_EQ(Hex(BuildClockFrame({2099, 1, 1, 0, 0, 0}), 7, 1), "99");
    // The year byte is the low byte of the year plus 48: 2100 -> 0x34 + 48 = 100 -> "00".
    EXPECT_EQ(Hex(BuildClockFrame({2100, 1, 1, 0, 0, 0}), 7, 1), "00");
}

TEST(GoodsFrameTest, BananaExample) {
    const Frame frame = BuildGoodsFrame(text::Utf16ToWindows1251(u"Банан"), Banana());
    EXPECT_EQ(Hex(frame, 0, 8), "0B 00 00 C1 E0 ED E0 ED");
    EXPECT_TRUE(ZeroFrom(std::vector<uint8_t>(frame.begin() + 8, frame.begin() + 39), 0));
    // code, label number, label extra, department, barcode, price, unit,
    // shelf life, extra1, extra2, extra3, zero, extra4, PLU
    EXPECT_EQ(Hex(frame, 39, 28),
              "01 00 01 00 00 28 07 00 01 23 45 04 0A 00 00 00 00 00 00 00 00 00 00 00 00 01 00 "
              "01");
    EXPECT_TRUE(ZeroFrom(frame, 67));
}

TEST(GoodsFrameTest, EveryFieldInPlace) {
    GoodsFields f;
    f.code = 654321;
    f.plu = 1234567890;
    f.labelNumber = 0x180;  // low byte only
    f.labelExtra = 5;
    f.department = 7;
    f.barcodeFormat = 9;
    f.price = 99999999;
    f.weightMeasure = 12;
    f.shelfLife = 0x12345;  // low 16 bits
    f.extra1 = 3;
    f.extra2 = 4;
    f.extra3 = 112233;
    f.extra4 = 445566;
    const Record r = BuildGoodsRecord("AB", f);
    EXPECT_EQ(Hex(r, 0, 3), "41 42 00");
    EXPECT_EQ(Hex(r, 36, 28),
              "65 43 21 80 05 07 09 99 99 99 99 0C 45 23 03 04 11 22 33 00 44 55 66 12 34 56 78 "
              "90");
}

// Departments above 99 never get here: CheckGoodsFields refuses them.
TEST(GoodsFrameTest, DepartmentIsTwoDigits) {
    GoodsFields f;
    f.department = 0;
    EXPECT_EQ(BuildGoodsRecord("", f)[41], 0x00);
    f.department = 7;
    EXPECT_EQ(BuildGoodsRecord("", f)[41], 0x07);
    f.department = 99;
    EXPECT_EQ(BuildGoodsRecord("", f)[41], 0x99);
}

TEST(GoodsFrameTest, Bytes50And51) {
    GoodsFields f;
    f.extra1 = 300;
    f.extra2 = 9;
    EXPECT_EQ(Hex(BuildGoodsRecord("", f), 50, 2), "2C 01");
    f.extra1 = 200;
    EXPECT_EQ(Hex(BuildGoodsRecord("", f), 50, 2), "C8 09");
    f.extra1 = 255;
    EXPECT_EQ(Hex(BuildGoodsRecord("", f), 50, 2), "FF 09");
    f.extra1 = 256;
    EXPECT_EQ(Hex(BuildGoodsRecord("", f), 50, 2), "00 01");
    f.extra1 = -1;  // not above 255 as a signed value
    EXPECT_EQ(Hex(BuildGoodsRecord("", f), 50, 2), "FF 09");
}

TEST(GoodsNameTest, CyrillicAndMissingCharacters) {
    // "Ёж" with a euro sign and a CJK character windows-1251 lacks (the CJK one is dropped).
    const std::string name = text::Utf16ToWindows1251(u"Ёж€\u4E2Dё");
    EXPECT_EQ(Hex(BuildGoodsRecord(name, {}), 0, 6), "A8 E6 88 B8 00 00");
    EXPECT_FALSE(NeedsNameContinuation(name));
}

TEST(GoodsNameTest, ThirtySixThirtySevenAndSeventyBytes) {
    std::string name70;
    for (int i = 0; i < 70; ++i) name70.push_back(static_cast<char>('A' + i % 26));
    const std::string name36 = name70.substr(0, 36);
    const std::string name37 = name70.substr(0, 37);

    EXPECT_FALSE(NeedsNameContinuation(name36));
    EXPECT_EQ(Hex(BuildGoodsRecord(name36, {}), 32, 5), "47 48 49 4A 00");

    ASSERT_TRUE(NeedsNameContinuation(name37));
    EXPECT_EQ(Hex(BuildGoodsRecord(name37, {}), 32, 5), "47 48 49 4A 00");  // byte 37 not here
    const Frame c37 = BuildContinuationFrame(0x0102, name37, 10001);
    EXPECT_EQ(Hex(c37, 0, 7), "A2 02 01 01 00 01 4B");  // counter, code, the 37th byte 'K'
    EXPECT_TRUE(ZeroFrom(c37, 7));

    const Frame c70 = BuildContinuationFrame(0, name70, 5);
    EXPECT_EQ(Hex(c70, 0, 6), "A2 00 00 00 00 05");
    // bytes 37..61 of the name: 'K'..'Z' then 'A'..'I' (25 bytes), the last 9 dropped
    EXPECT_EQ(std::string(c70.begin() + 6, c70.begin() + 31), name70.substr(36, 25));
    EXPECT_TRUE(ZeroFrom(c70, 31));
}

TEST(ClearFrameTest, Bytes) {
    const Frame frame = BuildClearGoodsFrame();
    EXPECT_EQ(Hex(frame, 0, 5), "0E 04 00 00 04");
    EXPECT_TRUE(ZeroFrom(frame, 5));
}

TEST(HotKeyPageTest, PagesCarryKeysOneTo252) {
    std::array<uint32_t, 300> keys{};
    keys[0] = 123456;    // key 1
    keys[83] = 1;        // key 84: last entry of page 0
    keys[84] = 999999;   // key 85: first entry of page 1
    keys[251] = 42;      // key 252: last entry of page 2
    keys[252] = 777777;  // key 253: never sent
    keys[298] = 888888;  // key 299: never sent

    const Frame p0 = BuildHotKeyPage(keys.data(), keys.size(), 0);
    EXPECT_EQ(Hex(p0, 0, 6), "02 F8 03 12 34 56");
    EXPECT_EQ(Hex(p0, 252, 7), "00 00 01 00 00 00 00");
    const Frame p1 = BuildHotKeyPage(keys.data(), keys.size(), 1);
    EXPECT_EQ(Hex(p1, 0, 6), "02 F9 03 99 99 99");
    const Frame p2 = BuildHotKeyPage(keys.data(), keys.size(), 2);
    EXPECT_EQ(Hex(p2, 0, 3), "02 FA 03");
    EXPECT_EQ(Hex(p2, 252, 3), "00 00 42");
    EXPECT_TRUE(ZeroFrom(p2, 255));
    for (const Frame* page : {&p0, &p1, &p2}) {
        EXPECT_TRUE(ZeroFrom(*page, 255));
        for (size_t i = 3; i + 2 < 255; i += 3) {
            EXPECT_NE(Hex(*page, i, 3), "77 77 77");
            EXPECT_NE(Hex(*page, i, 3), "88 88 88");
        }
    }
}

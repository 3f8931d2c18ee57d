#include "text/codepage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "text/base64.h"

namespace {

std::string ReadDataFile(const char* name) {
    std::ifstream in(std::string(TEXT_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string AllBytes() {
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
    return bytes;
}

constexpr char kUnassigned1251 = '\x98';

TEST(Windows1251, EveryByteRoundTripsExceptTheUnassignedOne) {
    std::string bytes = AllBytes();
    std::u16string unicode = text::Windows1251ToUtf16(bytes);
    ASSERT_EQ(unicode.size(), 256u);
    EXPECT_EQ(unicode[0x98], u'\xFFFD');

    std::string expected = bytes;
    expected.erase(expected.find(kUnassigned1251), 1);
    EXPECT_EQ(text::Utf16ToWindows1251(unicode), expected);
}

// The reference files were written by an independent implementation of the
// published mapping (Python's cp1251 codec, 0x98 replaced by U+FFFD).
TEST(Windows1251, MatchesTheReferenceMapping) {
    std::string bytes = ReadDataFile("windows-1251.bin");
    std::string utf8 = ReadDataFile("windows-1251.utf8");
    ASSERT_EQ(bytes, AllBytes());
    ASSERT_FALSE(utf8.empty());
    EXPECT_EQ(text::Windows1251ToUtf16(bytes), text::Utf8ToUtf16(utf8));
    EXPECT_EQ(text::Utf16ToUtf8(text::Windows1251ToUtf16(bytes)), utf8);
}

TEST(Windows1251, SpotChecksAgainstTheCodeTable) {
    EXPECT_EQ(text::Utf16ToWindows1251(u"\u0410\u042F\u0430\u044F"), "\xC0\xDF\xE0\xFF");
    EXPECT_EQ(text::Utf16ToWindows1251(u"\u0401\u0451\u2116\u20AC"), "\xA8\xB8\xB9\x88");
    EXPECT_EQ(text::Utf16ToWindows1251(u"\u0490\u0491\u00A0\u2122"), "\xA5\xB4\xA0\x99");
    EXPECT_EQ(text::Windows1251ToUtf16("\x80\x81\xBF"), u"\u0402\u0403\u0457");
}

TEST(Windows1251, CharactersWithoutACodeAreDropped) {
    // M, u-diaeresis, l, l, e, r
    EXPECT_EQ(text::Utf16ToWindows1251(u"M\u00FCller"), "Mller");
    // a smiley as a surrogate pair, a lone high and a lone low surrogate
    std::u16string input = u"a\U0001F600b";
    input += char16_t(0xD800);
    input += u'c';
    input += char16_t(0xDC00);
    EXPECT_EQ(text::Utf16ToWindows1251(input), "abc");
    EXPECT_EQ(text::Utf16ToWindows1251(u"\u0098"), "");
}

TEST(Utf8, RoundTripsEveryPlane) {
    std::u16string wide = u"A\u00E9\u0416\u20AC\U0001F600\U0010FFFF";
    std::string utf8 = text::Utf16ToUtf8(wide);
    EXPECT_EQ(utf8, "A\xC3\xA9\xD0\x96\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF");
    EXPECT_EQ(text::Utf8ToUtf16(utf8), wide);
}

TEST(Utf8, LoneSurrogatesBecomeReplacementCharacters) {
    std::u16string wide;
    wide += char16_t(0xDC00);  // low half first
    wide += u'x';
    wide += char16_t(0xD83D);  // high half at the end
    EXPECT_EQ(text::Utf16ToUtf8(wide), "\xEF\xBF\xBDx\xEF\xBF\xBD");
}

TEST(Utf8, MalformedSequencesBecomeReplacementCharacters) {
    struct Case {
        const char* bytes;
        std::u16string expected;
    };
    const Case cases[] = {
        {"\xC0\x80", u"\uFFFD\uFFFD"},                      // overlong NUL
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // an encoded surrogate
        {"\xF5\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
        {"\xE2\x82", u"\uFFFD\uFFFD"},                      // cut short at the end
        {"\xE2(x", u"\uFFFD(x"},                            // cut short by ASCII
        {"\x80z", u"\uFFFDz"},                              // a stray continuation byte
        {"\xF0\x9F\x98\x80", u"\U0001F600"},                // and one that is fine
    };
    for (const Case& c : cases) EXPECT_EQ(text::Utf8ToUtf16(c.bytes), c.expected) << c.bytes;
}

TEST(Conversions, SurviveArbitraryInput) {
    std::mt19937 random(12345);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(random() % 64, '\0');
        for (char& b : bytes) b = static_cast<char>(random());
        std::u16string units(random() % 64, u'\0');
        for (char16_t& u : units) u = static_cast<char16_t>(random());

        std::u16string fromUtf8 = text::Utf8ToUtf16(bytes);
        // Whatever came in, what comes out is well-formed and converts back unchanged.
        EXPECT_EQ(text::Utf8ToUtf16(text::Utf16ToUtf8(fromUtf8)), fromUtf8);
        std::string sanitized = text::Utf16ToUtf8(units);
        EXPECT_EQ(text::Utf16ToUtf8(text::Utf8ToUtf16(sanitized)), sanitized);
        EXPECT_LE(text::Utf16ToWindows1251(units).size(), units.size());
        EXPECT_EQ(text::Windows1251ToUtf16(bytes).size(), bytes.size());
        text::Utf16ToSystem(units);
        text::SystemToUtf16(bytes);
    }
}

TEST(Base64, DecodesGroupsAndPartialGroups) {
    EXPECT_EQ(text::DecodeBase64("TWFu"), "Man");
    EXPECT_EQ(text::DecodeBase64("TWE="), "Ma");
    EXPECT_EQ(text::DecodeBase64("TQ=="), "M");
    EXPECT_EQ(text::DecodeBase64("TWE"), "Ma");     // padding may be left out
    EXPECT_EQ(text::DecodeBase64("TWFuT"), "Man");  // a lone last character carries no byte
    EXPECT_EQ(text::DecodeBase64("+/+/"), "\xFB\xFF\xBF");
    EXPECT_EQ(text::DecodeBase64(""), "");
}

TEST(Base64, SkipsForeignCharactersAndStopsAtPadding) {
    EXPECT_EQ(text::DecodeBase64("TW\r\nF u\t*"), "Man");
    EXPECT_EQ(text::DecodeBase64("TQ==TWFu"), "M");
    EXPECT_EQ(text::DecodeBase64("====="), "");
}

}  // namespace

#include "text/xstring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "text/codepage.h"

namespace {

std::string Base64Encode(const std::string& bytes) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = 0;
        size_t n = std::min<size_t>(3, bytes.size() - i);
        for (size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0);
        for (size_t k = 0; k < 4; ++k)
            out.push_back(k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=');
    }
    return out;
}

XString Utf8(const char* text) {
    XString s;
    s.setFromUtf8(text);
    return s;
}

TEST(XString, EmptyStringGivesEmptyTextInEveryForm) {
    XString empty;
    ASSERT_NE(empty.narrowText(), nullptr);
    EXPECT_STREQ(empty.narrowText(), "");
    ASSERT_NE(empty.wideText(), nullptr);
    EXPECT_EQ(empty.wideText()[0], u'\0');
    EXPECT_STREQ(empty.textIn("windows-1251"), "");
    EXPECT_EQ(empty.charCount(), 0);
    EXPECT_EQ(empty.compareTo(XString()), 0);

    XString cleared(u"abc");
    cleared.clear();
    EXPECT_EQ(cleared.charCount(), 0);
    XString nulls;
    nulls.setFromNarrow(nullptr);
    nulls.appendNarrow(nullptr);
    nulls.setFromWide(nullptr);
    EXPECT_STREQ(nulls.utf8Text(), "");
}

TEST(XString, CyrillicComesOutAsOneWindows1251BytePerLetter) {
    XString name(u"\u041C\u043E\u043B\u043E\u043A\u043E 3,2%");  // Молоко 3,2%
    EXPECT_STREQ(name.textIn("windows-1251"), "\xCC\xEE\xEB\xEE\xEA\xEE 3,2%");
    EXPECT_STREQ(name.textIn("WINDOWS-1251"), "\xCC\xEE\xEB\xEE\xEA\xEE 3,2%");
    EXPECT_STREQ(name.utf8Text(), "\xD0\x9C\xD0\xBE\xD0\xBB\xD0\xBE\xD0\xBA\xD0\xBE 3,2%");
    EXPECT_STREQ(name.textIn("UTF-8"), name.utf8Text());
    EXPECT_STREQ(name.textIn("no-such-charset"), name.narrowText());  // the system code page
    EXPECT_EQ(name.charCount(), 11);
}

TEST(XString, CharactersWindows1251LacksAreDroppedFromTextIn) {
    XString name(u"M\u00FCller");
    EXPECT_STREQ(name.textIn("windows-1251"), "Mller");
    std::u16string broken = u"a";
    broken += char16_t(0xD800);  // a lone surrogate from a careless host
    broken += u"\u0416";
    XString withSurrogate;
    withSurrogate.setFromWideN(broken.data(), broken.size());
    EXPECT_STREQ(withSurrogate.textIn("windows-1251"), "a\xC6");
    EXPECT_STREQ(withSurrogate.utf8Text(), "a\xEF\xBF\xBD\xD0\x96");
}

TEST(XString, TextInResultOutlivesLaterChanges) {
    XString s(u"\u0410");
    const char* first = s.textIn("windows-1251");
    s.setFromWide(u"\u0411\u0412");
    EXPECT_STREQ(first, "\xC0");
    EXPECT_STREQ(s.textIn("windows-1251"), "\xC1\xC2");
}

TEST(XString, FormsAreConvertedOnceAndKept) {
    XString s(u"\u0416abc");
    const char* narrow = s.narrowText();
    const char* utf8 = s.utf8Text();
    const char16_t* wide = s.wideText();
    EXPECT_EQ(s.narrowText(), narrow);
    EXPECT_EQ(s.utf8Text(), utf8);
    EXPECT_EQ(s.wideText(), wide);
    EXPECT_EQ(s.toU16(), u"\u0416abc");
}

TEST(XString, WideByteOrderMarkIsSkippedOnlyAtTheStart) {
    XString marked(u"\uFEFFabc");
    EXPECT_EQ(marked.toU16(), u"abc");
    XString swapped(u"\uFFFEabc");
    EXPECT_EQ(swapped.toU16(), u"abc");
    XString inner(u"a\uFEFFb");
    EXPECT_EQ(inner.charCount(), 3);
}

TEST(XString, Utf8ByteOrderMarkIsDroppedOnlyAtTheStart) {
    XString s = Utf8("\xEF\xBB\xBFhead");
    EXPECT_STREQ(s.utf8Text(), "head");
    s.appendUtf8("\xEF\xBB\xBFtail");
    EXPECT_STREQ(s.utf8Text(), "headtail");  // each appended text loses its own leading mark
    XString inner = Utf8("a\xEF\xBB\xBF");
    EXPECT_EQ(inner.charCount(), 2);
}

TEST(XString, NarrowTextIsInTheSystemCodePage) {
    // What the system code page makes of a Cyrillic letter (all of it on
    // Linux and on a Russian Windows).
    std::string system = text::Utf16ToSystem(u"\u0416x");
    std::u16string unicode = text::SystemToUtf16(system);
    XString s;
    s.setFromNarrow(system.c_str());
    EXPECT_EQ(s.toU16(), unicode);
    EXPECT_EQ(s.charCount(), static_cast<int>(unicode.size()));  // UTF-16 units, not bytes
    s.appendNarrowChar('!');
    s.appendNarrowN("12345", 2);
    s.appendNarrowN("ignored", 0);
    EXPECT_EQ(s.toU16(), unicode + u"!12");
    EXPECT_STREQ(s.narrowText(), (system + "!12").c_str());
}

TEST(XString, AppendsKeepEachFormRight) {
    XString wide(u"\u0416");
    XString narrow;
    narrow.setFromNarrow("n");
    XString utf8 = Utf8("\xD0\x96u");

    XString s;
    s.appendString(wide);
    s.appendString(narrow);
    s.appendString(utf8);
    s.appendWide(u"w");
    s.appendNarrow("-");
    EXPECT_EQ(s.toU16(), u"\u0416n\u0416uw-");
    s.appendString(s);
    EXPECT_EQ(s.toU16(), u"\u0416n\u0416uw-\u0416n\u0416uw-");
}

TEST(XString, CopiesAndMovesAreIndependent) {
    XString original(u"abc");
    XString copy(original);
    copy.appendWide(u"d");
    EXPECT_EQ(original.toU16(), u"abc");
    XString assigned;
    assigned = copy;
    XString moved(std::move(copy));
    EXPECT_EQ(moved.toU16(), u"abcd");
    EXPECT_EQ(copy.charCount(), 0);  // a moved-from string is empty and usable
    copy.setFromWide(u"again");
    EXPECT_EQ(copy.toU16(), u"again");
    XString set;
    set.setFromString(assigned);
    EXPECT_EQ(set.compareTo(assigned), 0);
}

TEST(XString, SettingFromItsOwnTextKeepsTheText) {
    XString s(u"\u0416abc");
    s.setFromUtf8(s.utf8Text());
    EXPECT_EQ(s.toU16(), u"\u0416abc");
    s.setFromWide(s.wideText() + 1);
    EXPECT_EQ(s.toU16(), u"abc");
    s.appendWide(s.wideText());
    s.setFromString(s);
    s.appendString(s);
    s.setFromNarrow(s.narrowText());
    s.appendNarrow(s.narrowText());
    EXPECT_EQ(s.toU16(), u"abcabcabcabcabcabcabcabc");
}

TEST(XString, CompareToIsOrdinalAndCaseSensitive) {
    XString lower(u"conntype"), upper(u"ConnType");
    EXPECT_NE(lower.compareTo(upper), 0);
    EXPECT_EQ(lower.compareTo(upper), 1);
    EXPECT_EQ(upper.compareTo(lower), -1);
    EXPECT_EQ(lower.compareTo(XString(u"conntype")), 0);
    EXPECT_EQ(XString(u"conn").compareTo(lower), -1);  // a prefix sorts first
    EXPECT_EQ(lower.compareTo(XString(u"conn")), 1);
}

TEST(XString, SearchesFindWholeTextAndOffsets) {
    XString address(u"192.168.0.200:5001");
    EXPECT_EQ(address.findText(":"), 13);
    EXPECT_EQ(XString(u"192.168.0.200").findText(":"), -1);
    EXPECT_EQ(address.findText(""), 0);
    EXPECT_EQ(address.findText(nullptr), 0);
    EXPECT_EQ(XString(u"\U0001F600:").findText(":"), 2);  // offsets count UTF-16 units

    EXPECT_TRUE(address.containsText("168.0"));
    EXPECT_FALSE(address.containsText("168.1"));
    EXPECT_TRUE(address.containsText(""));

    XString path(u"C:\\1C\\drivers\\");
    EXPECT_TRUE(path.endsWithText("\\"));
    EXPECT_FALSE(XString(u"C:\\1C\\drivers").endsWithText("\\"));
    EXPECT_TRUE(path.endsWithText(nullptr));
    EXPECT_TRUE(path.endsWithText(""));
    EXPECT_FALSE(XString(u"\\").endsWithText("x\\"));
}

TEST(XString, RemoveAllOfDropsEveryOccurrence) {
    XString price(u"1 234 567,56");
    price.removeAllOf(' ');
    EXPECT_EQ(price.toU16(), u"1234567,56");
    XString none(u"abc");
    none.removeAllOf('x');
    EXPECT_EQ(none.toU16(), u"abc");
}

TEST(XString, RandomHexIdentifiers) {
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        XString id;
        id.appendRandomBytes(10, "hex");
        std::string digits = id.narrowText();
        ASSERT_EQ(digits.size(), 20u);
        EXPECT_EQ(digits.find_first_not_of("0123456789ABCDEF"), std::string::npos) << digits;
        EXPECT_TRUE(seen.insert(digits).second) << "repeated " << digits;
    }
    XString lower(u"id:");
    lower.appendRandomBytes(4, "hexlower");
    EXPECT_EQ(std::string(lower.narrowText()).find_first_not_of("id:0123456789abcdef"),
              std::string::npos);
    EXPECT_EQ(lower.charCount(), 11);
    XString unchanged(u"x");
    unchanged.appendRandomBytes(0, "hex");
    unchanged.appendRandomBytes(4, "base32");
    EXPECT_EQ(unchanged.toU16(), u"x");
}

TEST(XString, Base64DecodesIntoUtf8AndDropsItsByteOrderMark) {
    XString s;
    s.appendNarrow(Base64Encode("\xEF\xBB\xBF\xD0\x9F\xD1\x80\xD0\xB8").c_str());
    s.decodeBase64Text("utf-8");
    EXPECT_EQ(s.toU16(), u"\u041F\u0440\u0438");
    EXPECT_EQ(s.charCount(), 3);
}

TEST(XString, Base64DecodesOtherCharsets) {
    XString cp1251;
    cp1251.appendNarrow(Base64Encode("\xC0\xE1").c_str());
    cp1251.decodeBase64Text("windows-1251");
    EXPECT_EQ(cp1251.toU16(), u"\u0410\u0431");

    std::string system = text::Utf16ToSystem(u"sys\u0416");
    XString unknown;
    unknown.appendNarrow(Base64Encode(system).c_str());
    unknown.decodeBase64Text("no-such-charset");
    EXPECT_EQ(unknown.toU16(), text::SystemToUtf16(system));

    XString nothing(u"====");
    nothing.decodeBase64Text("utf-8");
    EXPECT_EQ(nothing.charCount(), 0);
}

// A settings document as the add-in stores it: one base64 line of some 3 kB,
// CR LF line ends, Cyrillic captions.
TEST(XString, Base64SettingsSizedDocument) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Settings>\r\n";
    while (xml.size() < 2200)
        xml +=
            "<Parameter Name=\"ehost\" Caption=\"\xD0\x90\xD0\xB4\xD1\x80\xD0\xB5\xD1\x81\"/>\r\n";
    xml += "</Settings>\r\n";
    XString s;
    s.appendNarrow(Base64Encode(xml).c_str());
    s.decodeBase64Text("utf-8");
    EXPECT_EQ(std::string(s.utf8Text()), xml);
}

}  // namespace

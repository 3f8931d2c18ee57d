// Reading host parameters by their tags and writing results for the host.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "addin/host_values.h"
#include "tests/addin/addin_support.h"

namespace addin {
namespace {

using addin_test::Narrow;
using addin_test::Wide;

tVariant Tagged(TYPEVAR tag) {
    tVariant v{};
    v.vt = tag;
    return v;
}

TEST(NumberParameter, ReadByTag) {
    tVariant v = Tagged(VTYPE_I4);
    v.lVal = -17;
    EXPECT_EQ(ReadNumberValue(v), -17);
    v = Tagged(VTYPE_R8);
    v.dblVal = 12.9;
    EXPECT_EQ(ReadNumberValue(v), 12);
    v.dblVal = -12.9;
    EXPECT_EQ(ReadNumberValue(v), -12);
    v.dblVal = 1e12;
    EXPECT_EQ(ReadNumberValue(v), std::numeric_limits<int32_t>::max());
    v.dblVal = std::nan("");
    EXPECT_EQ(ReadNumberValue(v), 0);
    v = Tagged(VTYPE_R4);
    v.fltVal = 5001.7f;
    EXPECT_EQ(ReadNumberValue(v), 5001);
    v = Tagged(VTYPE_I2);
    v.shortVal = -3;
    EXPECT_EQ(ReadNumberValue(v), -3);
    v = Tagged(VTYPE_UI4);
    v.ulVal = 0xFFFFFFFFu;  // keeps its bits, as the first 32 bits would
    EXPECT_EQ(ReadNumberValue(v), -1);
    v = Tagged(VTYPE_I8);
    v.llVal = -(int64_t{1} << 40);
    EXPECT_EQ(ReadNumberValue(v), std::numeric_limits<int32_t>::min());
    v = Tagged(VTYPE_BOOL);
    v.ui8Val = 0x84;  // any non-zero byte is true, and reading it is defined
    EXPECT_EQ(ReadNumberValue(v), 1);
    v = Tagged(VTYPE_EMPTY);
    v.lVal = 99;
    EXPECT_EQ(ReadNumberValue(v), 0);
    const std::u16string port = u"9100";
    EXPECT_EQ(ReadNumberValue(Wide(port)), 9100);
}

// A number for a frame field is never clamped into a value the field holds:
// PLU 4601234567890 (a barcode) must not go out as PLU 2147483647.
TEST(NumberParameter, FieldValuesBeyond32BitsAreNotClamped) {
    constexpr int32_t kRefused = std::numeric_limits<int32_t>::min();
    constexpr int32_t kLargest = std::numeric_limits<int32_t>::max();
    const std::u16string barcode = u"4601234567890", largest = u"2147483647";
    tVariant i8 = Tagged(VTYPE_I8), ui8 = Tagged(VTYPE_UI8), r4 = Tagged(VTYPE_R4);
    tVariant ui8Top = Tagged(VTYPE_UI8);
    i8.llVal = int64_t{1} << 40;
    ui8.ullVal = uint64_t{1} << 32;
    ui8Top.ullVal = std::numeric_limits<uint64_t>::max();
    r4.fltVal = 1e10f;
    const struct {
        tVariant value;
        int32_t read;
    } cases[] = {
        {addin_test::I4(kLargest), kLargest},
        {addin_test::I4(kRefused), kRefused},
        {addin_test::R8Value(2147483647.0), kLargest},
        {addin_test::R8Value(2147483647.9), kLargest},
        {addin_test::R8Value(-2147483648.0), kRefused},
        {addin_test::R8Value(12.9), 12},
        {addin_test::R8Value(4601234567890.0), kRefused},
        {addin_test::R8Value(-1e12), kRefused},
        {addin_test::R8Value(2147483648.0), kRefused},
        {i8, kRefused},
        {ui8, kRefused},
        {ui8Top, kRefused},
        {r4, kRefused},
        {addin_test::R8Value(std::numeric_limits<double>::infinity()), kRefused},
        {addin_test::R8Value(-std::numeric_limits<double>::infinity()), kRefused},
        {addin_test::R8Value(std::nan("")), 0},
        {Wide(barcode), kRefused},
        {Wide(largest), kLargest},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadFieldValue(c.value), c.read) << c.value.vt << " " << c.value.dblVal;
    }
}

// A host string carries its length and ends with a zero; when the two
// disagree the text ends at whichever comes first and nothing beyond either is
// read.  Each buffer below holds exactly the units shown, so a read past it is
// caught by AddressSanitizer.
TEST(StringParameter, LengthAndTerminatorDisagree) {
    const struct {
        std::u16string units;
        uint32_t length;
        std::u16string text;
    } cases[] = {
        {u"ABCDEF", 0, u""},                       // no length: nothing, whatever follows
        {u"ABCDEF", 3, u"ABC"},                    // too short: the length ends it
        {u"ABCDEF", 6, u"ABCDEF"},                 // exact, and no terminator after it
        {std::u16string(u"AB\0", 3), 100, u"AB"},  // too long: the terminator ends it
        {std::u16string(u"AB\0", 3), UINT32_MAX, u"AB"},
        {std::u16string(u"AB\0CD", 5), 5, u"AB"},  // a terminator inside the length
        {std::u16string(u"\0", 1), 1, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.units) + " " + std::to_string(c.length));
        std::vector<WCHAR_T> wide(c.units.begin(), c.units.end());
        tVariant w = Tagged(VTYPE_PWSTR);
        w.pwstrVal = wide.data();
        w.wstrLen = c.length;
        EXPECT_EQ(ReadStringValue(w), c.text);

        std::vector<char> narrow(c.units.begin(), c.units.end());
        tVariant n = Tagged(VTYPE_PSTR);
        n.pstrVal = narrow.data();
        n.strLen = c.length;
        EXPECT_EQ(ReadStringValue(n), c.text);
    }
}

TEST(StringParameter, NullPointersAndOtherTags) {
    tVariant nullWide = Tagged(VTYPE_PWSTR);
    nullWide.wstrLen = 100;
    EXPECT_EQ(ReadStringValue(nullWide), u"");
    EXPECT_TRUE(IsStringValue(nullWide));
    tVariant nullNarrow = Tagged(VTYPE_PSTR);
    nullNarrow.strLen = 10;
    EXPECT_EQ(ReadStringValue(nullNarrow), u"");
    EXPECT_FALSE(IsStringValue(Tagged(VTYPE_BLOB)));
    EXPECT_EQ(ReadStringValue(Tagged(VTYPE_I4)), u"");
}

// What goes to the host: the record is written only once the host's memory
// is there; a refused allocation leaves the host's record as it was.
TEST(StringResult, WrittenOnlyWithTheHostsMemory) {
    addin_test::TestMemory memory;
    tVariant out = addin_test::I4(5);
    memory.GrantOnly(0);
    EXPECT_FALSE(WriteString(out, u"text", &memory));
    EXPECT_EQ(out.vt, VTYPE_I4);
    EXPECT_EQ(out.lVal, 5);
    EXPECT_FALSE(WriteString(out, u"text", nullptr));
    memory.GrantOnly(-1);
    ASSERT_TRUE(WriteString(out, u"text", &memory));
    EXPECT_EQ(addin_test::StringOf(out), u"text");
    EXPECT_EQ(out.pwstrVal[4], 0);
}

// A block reserved but never handed over goes back to the host; one handed
// over holds the text, cut to the room reserved, and is the host's.
TEST(StringResult, ReservedBlockIsHandedOverOrGivenBack) {
    addin_test::TestMemory memory;
    { HostString unused(&memory, 10); }
    EXPECT_EQ(memory.Live(), 0u);
    tVariant out{};
    {
        HostString reserved(&memory, 3);
        ASSERT_TRUE(reserved.Reserved());
        reserved.HandOver(out, u"ABCDEF");
    }
    EXPECT_EQ(memory.Live(), 1u);
    EXPECT_EQ(addin_test::StringOf(out), u"ABC");
    EXPECT_EQ(out.pwstrVal[3], 0);
    memory.GrantOnly(0);
    HostString refused(&memory, 3);
    EXPECT_FALSE(refused.Reserved());
    tVariant untouched = addin_test::I4(1);
    refused.HandOver(untouched, u"A");
    EXPECT_EQ(untouched.vt, VTYPE_I4);
}

}  // namespace
}  // namespace addin

// Reading host parameters by their tags and writing results for the host.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

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

TEST(StringParameter, NeverPastTheGivenLengthAndStopsAtNul) {
    const std::u16string text = u"ABCDEF";
    tVariant v = Wide(text);
    v.wstrLen = 3;
    EXPECT_EQ(ReadStringValue(v), u"ABC");
    const std::u16string withNul(u"AB\0CD", 5);
    EXPECT_EQ(ReadStringValue(Wide(withNul)), u"AB");
    tVariant nullWide = Tagged(VTYPE_PWSTR);
    nullWide.wstrLen = 100;
    EXPECT_EQ(ReadStringValue(nullWide), u"");
    EXPECT_TRUE(IsStringValue(nullWide));

    const std::string narrow = "hex 0A";
    tVariant n = Narrow(narrow);
    n.strLen = 3;
    EXPECT_EQ(ReadStringValue(n), u"hex");
    tVariant nullNarrow = Tagged(VTYPE_PSTR);
    nullNarrow.strLen = 10;
    EXPECT_EQ(ReadStringValue(nullNarrow), u"");
    EXPECT_FALSE(IsStringValue(Tagged(VTYPE_BLOB)));
    EXPECT_EQ(ReadStringValue(Tagged(VTYPE_I4)), u"");
}

}  // namespace
}  // namespace addin

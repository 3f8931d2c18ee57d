// The range rules' own logic: which field decides, when extra2 counts, and a
// message's number, width and length.  Each goods field's ends are tested
// through the host against the emulator (tests/host_abi/field_ranges_posix.cpp).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "scales/error_table.h"
#include "scales/field_ranges.h"

using namespace scales;

TEST(GoodsFieldRanges, FirstBadFieldInParameterOrderNamesTheError) {
    GoodsFields fields;
    fields.price = -500;
    fields.department = 123;
    fields.extra4 = 1000000;
    EXPECT_EQ(CheckGoodsFields(fields), kErrDepartmentRange);
    fields.department = 12;
    EXPECT_EQ(CheckGoodsFields(fields), kErrPriceFormat);
}

// Above 255, extra1 takes bytes 50 and 51 and extra2 is not sent: then any
// extra2 is harmless.  At 255 or below, extra2 is byte 51.
TEST(GoodsFieldRanges, Extra2CountsOnlyWhenSent) {
    GoodsFields fields;
    fields.extra1 = 256;
    fields.extra2 = 300;
    EXPECT_EQ(CheckGoodsFields(fields), kOk);
    fields.extra2 = -1;
    EXPECT_EQ(CheckGoodsFields(fields), kOk);
    fields.extra1 = 255;
    EXPECT_EQ(CheckGoodsFields(fields), kErrExtra2Range);
    fields.extra1 = 65536;
    EXPECT_EQ(CheckGoodsFields(fields), kErrExtra1Range);
}

TEST(MessageRanges, NumberWidthAndLength) {
    const std::vector<std::string> one{"A"};
    const struct {
        int32_t number;
        int32_t width;
        int32_t expected;
    } cases[] = {
        {0, 0, kOk},  // sent as FF FF, as the scales have always been given it
        {1, 0, kOk},
        {65535, 0, kOk},
        {65536, 0, kErrMessageNumberRange},
        {-1, 0, kErrMessageNumberRange},
        {INT32_MIN, 0, kErrMessageNumberRange},
        {INT32_MAX, 0, kErrMessageNumberRange},
        {1, 1, kOk},
        {1, INT32_MAX, kOk},
        {1, -1, kErrLineWidthRange},
        {1, INT32_MIN, kErrLineWidthRange},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckMessage(c.number, c.width, one), c.expected) << c.number << " " << c.width;
    }
}

// The long message's length field is 16 bits; the CR LF between lines count.
TEST(MessageRanges, JoinedTextFitsSixteenBits) {
    EXPECT_EQ(CheckMessage(1, 0, {std::string(65535, 'x')}), kOk);
    EXPECT_EQ(CheckMessage(1, 0, {std::string(65536, 'x')}), kErrMessageTooLong);
    EXPECT_EQ(CheckMessage(1, 0, {std::string(65533, 'x'), ""}), kOk);
    EXPECT_EQ(CheckMessage(1, 0, {std::string(65532, 'x'), "y"}), kOk);
    EXPECT_EQ(CheckMessage(1, 0, {std::string(65533, 'x'), "y"}), kErrMessageTooLong);
    // Empty lines before the first text leave nothing in the joined text.
    EXPECT_EQ(CheckMessage(1, 0, {"", "", std::string(65535, 'x')}), kOk);
}

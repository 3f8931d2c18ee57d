// What the frame fields hold: the first value past each end is refused with
// the field's own code, the ends themselves pass.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "scales/error_table.h"
#include "scales/field_ranges.h"

using namespace scales;

namespace {

struct GoodsRange {
    const char* name;
    int32_t GoodsFields::*field;
    int32_t largest;
    int32_t error;
    const char16_t* text;
};

const GoodsRange kGoodsRanges[] = {
    {"code", &GoodsFields::code, 999999, 132,
     u"Ошибка_132: Код товара должен быть от 0 до 999999."},
    {"PLU", &GoodsFields::plu, INT32_MAX, 133,
     u"Ошибка_133: Номер PLU должен быть от 0 до 2147483647."},
    {"label number", &GoodsFields::labelNumber, 255, 136,
     u"Ошибка_136: Номер этикетки должен быть от 0 до 255."},
    {"label extra", &GoodsFields::labelExtra, 255, 137,
     u"Ошибка_137: Дополнительный номер этикетки должен быть от 0 до 255."},
    {"department", &GoodsFields::department, 99, 135,
     u"Ошибка_135: Номер отдела должен быть от 0 до 99."},
    {"barcode format", &GoodsFields::barcodeFormat, 255, 138,
     u"Ошибка_138: Номер формата штрих кода должен быть от 0 до 255."},
    {"price", &GoodsFields::price, 99999999, 4, u"Ошибка_4: Ошибка в формате цены."},
    {"weight unit", &GoodsFields::weightMeasure, 255, 139,
     u"Ошибка_139: Единица измерения веса должна быть от 0 до 255."},
    {"shelf life", &GoodsFields::shelfLife, 65535, 134,
     u"Ошибка_134: Срок годности должен быть от 0 до 65535."},
    {"extra1", &GoodsFields::extra1, 65535, 140,
     u"Ошибка_140: Дополнительное число 1 должно быть от 0 до 65535."},
    {"extra2", &GoodsFields::extra2, 255, 141,
     u"Ошибка_141: Дополнительное число 2 должно быть от 0 до 255."},
    {"extra3", &GoodsFields::extra3, 999999, 142,
     u"Ошибка_142: Дополнительное число 3 должно быть от 0 до 999999."},
    {"extra4", &GoodsFields::extra4, 999999, 143,
     u"Ошибка_143: Дополнительное число 4 должно быть от 0 до 999999."},
};

GoodsFields With(int32_t GoodsFields::*field, int32_t value) {
    GoodsFields fields;
    fields.*field = value;
    return fields;
}

}  // namespace

TEST(GoodsFieldRanges, EachFieldHoldsExactlyItsRange) {
    for (const GoodsRange& r : kGoodsRanges) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(CheckGoodsFields(With(r.field, 0)), kOk);
        EXPECT_EQ(CheckGoodsFields(With(r.field, r.largest)), kOk);
        EXPECT_EQ(CheckGoodsFields(With(r.field, -1)), r.error);
        EXPECT_EQ(CheckGoodsFields(With(r.field, INT32_MIN)), r.error);
        if (r.largest < INT32_MAX) {
            EXPECT_EQ(CheckGoodsFields(With(r.field, r.largest + 1)), r.error);
            EXPECT_EQ(CheckGoodsFields(With(r.field, INT32_MAX)), r.error);
        }
        EXPECT_EQ(ErrorText(r.error, u""), r.text);
    }
}

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

TEST(GoodsFieldRanges, ContinuationCodeIsTheGoodsCode) {
    EXPECT_EQ(CheckGoodsCode(0), kOk);
    EXPECT_EQ(CheckGoodsCode(999999), kOk);
    EXPECT_EQ(CheckGoodsCode(1000000), kErrCodeRange);
    EXPECT_EQ(CheckGoodsCode(-1), kErrCodeRange);
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
    EXPECT_EQ(ErrorText(kErrMessageNumberRange, u""),
              u"Ошибка_144: Номер сообщения должен быть от 0 до 65535.");
    EXPECT_EQ(ErrorText(kErrLineWidthRange, u""),
              u"Ошибка_145: Ширина строки сообщения не может быть отрицательной.");
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
    EXPECT_EQ(ErrorText(kErrMessageTooLong, u""),
              u"Ошибка_146: Текст сообщения длиннее 65535 байт.");
}

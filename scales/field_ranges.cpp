#include "scales/field_ranges.h"

#include "scales/error_table.h"
#include "scales/frames.h"

namespace scales {
namespace {

struct FieldRange {
    int32_t GoodsFields::*field;
    int32_t largest;  // every field starts at 0
    int32_t error;
};

// The goods record's fields in the host's parameter order.
const FieldRange kGoodsRanges[] = {
    {&GoodsFields::code, kLargest6Digits, kErrCodeRange},
    {&GoodsFields::plu, kLargestPlu, kErrPluRange},
    {&GoodsFields::labelNumber, kLargestByte, kErrLabelNumberRange},
    {&GoodsFields::labelExtra, kLargestByte, kErrLabelExtraRange},
    {&GoodsFields::department, kLargest2Digits, kErrDepartmentRange},
    {&GoodsFields::barcodeFormat, kLargestByte, kErrBarcodeFormatRange},
    {&GoodsFields::price, kLargest8Digits, kErrPriceFormat},
    {&GoodsFields::weightMeasure, kLargestByte, kErrWeightUnitRange},
    {&GoodsFields::shelfLife, kLargest16Bit, kErrShelfLifeRange},
    // Byte 50, or bytes 50 and 51 as a 16-bit number when above 255.
    {&GoodsFields::extra1, kLargest16Bit, kErrExtra1Range},
    {&GoodsFields::extra2, kLargestByte, kErrExtra2Range},
    {&GoodsFields::extra3, kLargest6Digits, kErrExtra3Range},
    {&GoodsFields::extra4, kLargest6Digits, kErrExtra4Range},
};

bool Fits(int32_t value, int32_t largest) {
    return value >= 0 && value <= largest;
}

// extra2 is not sent at all when extra1 takes bytes 50 and 51.
bool Sent(const GoodsFields& fields, const FieldRange& range) {
    return range.field != &GoodsFields::extra2 || fields.extra1 <= kLargestByte;
}

}  // namespace

int32_t CheckGoodsFields(const GoodsFields& fields) {
    for (const FieldRange& range : kGoodsRanges) {
        if (Sent(fields, range) && !Fits(fields.*range.field, range.largest)) return range.error;
    }
    return kOk;
}

int32_t CheckGoodsCode(int32_t code) {
    return Fits(code, kLargest6Digits) ? kOk : kErrCodeRange;
}

int32_t CheckMessage(int32_t number, int32_t lineWidth, const std::vector<std::string>& lines) {
    if (!Fits(number, kLargest16Bit)) return kErrMessageNumberRange;
    if (lineWidth < 0) return kErrLineWidthRange;
    if (JoinMessageLines(lines).size() > kLongMessageMax) return kErrMessageTooLong;
    return kOk;
}

}  // namespace scales

#include "addin/goods_document.h"

#include <cstdint>
#include <string>

#include "addin/decimal.h"
#include "addin/host_values.h"

namespace addin {
namespace {

constexpr double kHundredths = 100.0;
// Decimal fractions are not exact in binary: 19.99 * 100 is 1998.99...; the
// half hundredth brings it back to 1999 before truncation.
constexpr double kRoundingNudge = 0.005;

// What a number beyond the 32-bit range reads as: no field of a goods record
// holds it, so the good is refused by the scales object's range check.
constexpr int32_t kBeyondRange = INT32_MIN;

// A whole number written as GetAttrValueInt reads it (blanks, a sign, the
// digits up to the first non-digit), but never wrapped: a PLU written as a
// 13-digit barcode must not reach the scales as whatever its low 32 bits are.
int32_t WholeNumber(const std::string& text) {
    size_t at = text.find_first_not_of(" \t");
    if (at == std::string::npos) return 0;
    bool negative = false;
    if (text[at] == '+' || text[at] == '-') negative = text[at++] == '-';
    constexpr int64_t kLargestMagnitude = int64_t{INT32_MAX} + 1;
    int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > kLargestMagnitude) return kBeyondRange;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    return value > INT32_MAX ? kBeyondRange : static_cast<int32_t>(value);
}

int32_t WholeNumberAttribute(ClsXml& element, const char16_t* name) {
    XString text;
    return element.GetAttrValue(name, text) ? WholeNumber(text.utf8Text()) : 0;
}

}  // namespace

int32_t PriceInHundredths(const XString& priceText) {
    XString digits(priceText);
    // People group thousands with spaces: "1 234,56".
    digits.removeAllOf(' ');
    const double units = ParseDecimal(digits.narrowText());
    return TruncateToInt32(units * kHundredths + kRoundingNudge);
}

GoodsItem ConvertGood(ClsXml& element, const scales::LabelSettings& labels) {
    GoodsItem good;
    XString name;
    if (element.GetAttrValue(u"Name", name)) good.name = name.toU16();
    XString priceText;
    const int32_t price =
        element.GetAttrValue(u"Price", priceText) ? PriceInHundredths(priceText) : 0;
    good.fields = scales::LabelledGood(labels, WholeNumberAttribute(element, u"Code"),
                                       WholeNumberAttribute(element, u"PLU"), price,
                                       WholeNumberAttribute(element, u"ShelfLife"));
    return good;
}

}  // namespace addin

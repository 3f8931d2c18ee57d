#include "addin/goods_document.h"

#include "addin/decimal.h"
#include "addin/host_values.h"

namespace addin {
namespace {

constexpr double kHundredths = 100.0;
// Decimal fractions are not exact in binary: 19.99 * 100 is 1998.99...; the
// half hundredth brings it back to 1999 before truncation.
constexpr double kRoundingNudge = 0.005;

}  // namespace

int32_t PriceInHundredths(const XString& priceText) {
    XString digits(priceText);
    // People group thousands with spaces: "1 234,56".
    digits.removeAllOf(' ');
    const double units = ParseDecimal(digits.narrowText());
    return TruncateToInt32(units * kHundredths + kRoundingNudge);
}

GoodsItem ConvertGood(ClsXml& element) {
    GoodsItem good;
    good.plu = element.GetAttrValueInt(u"PLU");
    good.code = element.GetAttrValueInt(u"Code");
    XString name;
    if (element.GetAttrValue(u"Name", name)) good.name = name.toU16();
    XString price;
    if (element.GetAttrValue(u"Price", price)) good.price = PriceInHundredths(price);
    good.shelfLife = element.GetAttrValueInt(u"ShelfLife");
    return good;
}

}  // namespace addin

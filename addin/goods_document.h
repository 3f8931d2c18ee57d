// The goods document UploadGoods receives: each child element of the root is
// one good, described by its attributes "PLU", "Code", "Name", "Price" and
// "ShelfLife", and becomes the goods record the scales take, with the label
// fields of the scales it goes to.  Missing or malformed attributes are not errors: they read as 0
// or an empty name.  A number beyond the 32-bit range reads as one that no
// goods field holds, so that good is refused rather than sent wrapped.
#pragma once

#include <cstdint>
#include <string>

#include "scales/goods_fields.h"
#include "text/xml.h"
#include "text/xstring.h"

namespace addin {

struct GoodsItem {
    std::u16string name;
    scales::GoodsFields fields;
};

// A price as people write it ("1 234,56", "19.99") in hundredths, rounded to
// the nearest hundredth for positive prices; an empty text gives 0.
int32_t PriceInHundredths(const XString& priceText);

// One child element of the goods document as a good for scales with these
// label settings.
GoodsItem ConvertGood(ClsXml& element, const scales::LabelSettings& labels);

}  // namespace addin

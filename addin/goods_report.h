// The words in which a goods document's problems reach a person: the detail
// GetLastError adds after an error code's own text, and the lines of
// addin-host's `check`.  Every text names the good by its place, PLU and name
// as written, so that it can be found in a document of thousands.
#pragma once

#include <cstdint>
#include <string>

#include "addin/goods_document.h"
#include "scales/goods_fields.h"
#include "text/xml.h"

namespace addin {

enum class GoodsWarning {
    kNoPlu,
    kPluZero,
    kNoPrice,
    kRepeatedPlu,
    kNameCut,
    kNameLacksCharacters
};

// What a number attribute may hold: a whole number or a price up to the
// record's `largest` (for a price, in hundredths).
std::u16string AllowedNumberText(bool price, int32_t largest);
// What will happen to a good with this warning; `earlier` is the good that
// had the PLU first, `text` the cut name or the characters dropped.
std::u16string WarningText(GoodsWarning warning, const GoodPlace& earlier = {},
                           const std::u16string& text = {});
// The label setting behind a range error of the label fields, and its value.
void LabelSettingOf(int32_t code, const scales::LabelSettings& labels, std::u16string& setting,
                    std::optional<std::u16string>& value);

// "Товар № 3 (строка 5, PLU="12", Name="Сыр")"; with `total`, "№ 3 из 52".
std::u16string DescribeGood(const GoodPlace& good, int total = 0);
// The good, the attribute with the text found, and what is allowed or what
// will happen.
std::u16string DescribeProblem(const GoodsProblem& problem);
// Where the text stops being a well-formed document, and why.
std::u16string DescribeFault(const XmlFault& fault);
// A good the scales did not take, and how many went before it.
std::u16string DescribeFailedGood(const GoodPlace& good, int total, int programmedBefore);

}  // namespace addin

// The numbers of a goods document, read as people and 1C write them, and
// nothing else.
//
// A price: blanks around it are ignored; between digits a space, a no-break
// space (U+00A0) or a narrow no-break space (U+202F) separates thousands, as
// 1C's Формат writes every price from 1 000 up ("1 234,56"); one decimal
// separator, comma or point ("1234.56" is XML's own form); at most two
// decimals, further ones only when they are zeros ("1,990" is 1.99); an
// optional leading sign.  PLU, Code and ShelfLife: the same without
// decimals.  Any other text ("сорок", "89.90.1", "1O4", "3 дня", "1e3",
// "5-") is malformed: the good must not reach the scales with a number the
// document does not say.  A text with nothing but blanks reads as 0, as a
// missing attribute does.
#pragma once

#include <cstdint>
#include <string_view>

namespace addin {

// Values are kept in 64 bits and stop growing at kNumberCeiling, far beyond
// any goods field, so that no digit string wraps into a number that fits.
constexpr int64_t kNumberCeiling = int64_t{1} << 48;

// False for a malformed text; `value` is then 0.
bool ReadWholeNumber(std::string_view utf8, int64_t& value);
// The price in hundredths; false for a malformed text.
bool ReadPrice(std::string_view utf8, int64_t& hundredths);

}  // namespace addin

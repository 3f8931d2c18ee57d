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

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace addin {

// Values are kept in 64 bits and stop growing at kNumberCeiling, far beyond
// any goods field, so that no digit string wraps into a number that fits.
constexpr int64_t kNumberCeiling = int64_t{1} << 48;

// The readings of every form, one character class at a time.
namespace full {
bool ReadWholeNumber(std::string_view utf8, int64_t& value);
bool ReadPrice(std::string_view utf8, int64_t& hundredths);
}  // namespace full

// The forms nearly every number of a document takes, read in one loop where
// the goods are checked: a document of thousands of goods has four numbers
// in each.  False when the text is anything else, for the full reading.
namespace plain {

constexpr size_t kThousandsGroup = 3;
constexpr size_t kPriceDecimals = 2;
constexpr int64_t kDecimalBase = 10;
constexpr int64_t kHundredthsPerUnit = 100;

inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Bare digits: "1234".
inline bool ReadDigits(std::string_view text, int64_t& value) {
    constexpr size_t kMostDigits = 15;  // below kNumberCeiling's 15 digits
    if (text.empty() || text.size() > kMostDigits) return false;
    int64_t digits = 0;
    for (char c : text) {
        if (!IsDigit(c)) return false;
        digits = digits * kDecimalBase + (c - '0');
    }
    value = digits < kNumberCeiling ? digits : kNumberCeiling;
    return true;
}

// Length of a thousands space a plain price may hold at `i`: a space or
// 1C's no-break space; 0 for anything else.
inline size_t SpaceAt(std::string_view text, size_t i) {
    if (text[i] == ' ') return 1;
    return text[i] == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0' ? 2 : 0;
}

// "89.90", "1234.56" or, by 1C's Формат, "1 234,56": whole digits, perhaps
// grouped by thousands, then one or two decimals; no blanks around, no sign.
inline bool ReadPrice(std::string_view text, int64_t& hundredths) {
    // At most 16 digits: the hundredths cannot overflow before the ceiling.
    constexpr size_t kLongestPlain = 16;
    const size_t size = text.size();
    if (size == 0 || size > kLongestPlain) return false;
    int64_t units = 0;
    size_t group = 0, i = 0;  // digits since the start or the last space
    bool grouped = false;
    for (; i < size; ++i) {
        if (IsDigit(text[i])) {
            units = units * kDecimalBase + (text[i] - '0');
            ++group;
            continue;
        }
        const size_t space = SpaceAt(text, i);
        if (space == 0) break;
        if (group == 0 || group > kThousandsGroup || (grouped && group != kThousandsGroup))
            return false;
        grouped = true;
        group = 0;
        i += space - 1;
    }
    if (group == 0 || (grouped && group != kThousandsGroup)) return false;
    int64_t fraction = 0;
    if (i < size) {
        const size_t decimals = size - i - 1;
        if ((text[i] != ',' && text[i] != '.') || decimals == 0 || decimals > kPriceDecimals)
            return false;
        for (size_t d = 0; d < kPriceDecimals; ++d) {
            const char c = d < decimals ? text[i + 1 + d] : '0';
            if (!IsDigit(c)) return false;
            fraction = fraction * kDecimalBase + (c - '0');
        }
    }
    const int64_t total = units * kHundredthsPerUnit + fraction;
    hundredths = total < kNumberCeiling ? total : kNumberCeiling;
    return true;
}

}  // namespace plain

// False for a malformed text; `value` is then 0.
inline bool ReadWholeNumber(std::string_view utf8, int64_t& value) {
    return plain::ReadDigits(utf8, value) || full::ReadWholeNumber(utf8, value);
}
// The price in hundredths; false for a malformed text.
inline bool ReadPrice(std::string_view utf8, int64_t& hundredths) {
    return plain::ReadPrice(utf8, hundredths) || full::ReadPrice(utf8, hundredths);
}

}  // namespace addin

#include "addin/goods_numbers.h"

#include <algorithm>

namespace addin {
namespace {

constexpr std::string_view kNoBreakSpace = "\xC2\xA0";            // U+00A0
constexpr std::string_view kNarrowNoBreakSpace = "\xE2\x80\xAF";  // U+202F
constexpr size_t kThousandsGroup = 3;
constexpr int kPriceDecimals = 2;
constexpr int64_t kHundredthsPerUnit = 100;
constexpr int64_t kDecimalBase = 10;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Length of the space at the start of `text` (a blank, U+00A0 or U+202F), or 0.
size_t SpaceAt(std::string_view text) {
    if (text.empty()) return 0;
    if (text[0] == ' ' || text[0] == '\t' || text[0] == '\r' || text[0] == '\n') return 1;
    for (std::string_view space : {kNoBreakSpace, kNarrowNoBreakSpace})
        if (text.substr(0, space.size()) == space) return space.size();
    return 0;
}

// Length of the space that ends `text`, or 0.
size_t SpaceBefore(std::string_view text) {
    if (text.empty()) return 0;
    const char last = text.back();
    if (last == ' ' || last == '\t' || last == '\r' || last == '\n') return 1;
    for (std::string_view space : {kNoBreakSpace, kNarrowNoBreakSpace})
        if (text.size() >= space.size() && text.substr(text.size() - space.size()) == space)
            return space.size();
    return 0;
}

std::string_view Trimmed(std::string_view text) {
    for (size_t n = SpaceAt(text); n != 0; n = SpaceAt(text)) text.remove_prefix(n);
    for (size_t n = SpaceBefore(text); n != 0; n = SpaceBefore(text)) text.remove_suffix(n);
    return text;
}

void AddDigit(int64_t& value, char digit) {
    value = std::min(kNumberCeiling, value * kDecimalBase + (digit - '0'));
}

// A run of digits at the front of `text`, consumed; its length.
size_t TakeDigits(std::string_view& text, int64_t& value) {
    size_t count = 0;
    while (count < text.size() && IsDigit(text[count])) AddDigit(value, text[count++]);
    text.remove_prefix(count);
    return count;
}

// Whole digits, grouped by thousands or not: "1234", "1 234", "12 345 678".
// A space may only stand between a group of one to three digits and a group
// of exactly three.
bool TakeGroupedDigits(std::string_view& text, int64_t& value) {
    size_t group = TakeDigits(text, value);
    if (group == 0) return false;
    bool grouped = false;
    for (size_t space = SpaceAt(text); space != 0; space = SpaceAt(text)) {
        if (group > kThousandsGroup && !grouped) return false;
        text.remove_prefix(space);
        group = TakeDigits(text, value);
        if (group != kThousandsGroup) return false;
        grouped = true;
    }
    return true;
}

// An optional leading sign; true for a minus.
bool TakeSign(std::string_view& text) {
    if (text.empty() || (text[0] != '+' && text[0] != '-')) return false;
    const bool minus = text[0] == '-';
    text.remove_prefix(1);
    return minus;
}

// Nothing, or "," or "." then decimals: two are kept as hundredths, any
// after them must be zeros.
bool TakeDecimals(std::string_view& text, int64_t& hundredths) {
    hundredths = 0;
    if (text.empty()) return true;
    if (text[0] != ',' && text[0] != '.') return false;
    text.remove_prefix(1);
    const std::string_view decimals = text;
    int64_t ignored = 0;
    const size_t count = TakeDigits(text, ignored);
    if (count == 0) return false;
    for (size_t i = 0; i < static_cast<size_t>(kPriceDecimals); ++i)
        AddDigit(hundredths, i < count ? decimals[i] : '0');
    for (size_t i = kPriceDecimals; i < count; ++i)
        if (decimals[i] != '0') return false;
    return true;
}

}  // namespace

bool ReadWholeNumber(std::string_view utf8, int64_t& value) {
    value = 0;
    std::string_view text = Trimmed(utf8);
    if (text.empty()) return true;
    const bool minus = TakeSign(text);
    if (!TakeGroupedDigits(text, value) || !text.empty()) {
        value = 0;
        return false;
    }
    if (minus) value = -value;
    return true;
}

bool ReadPrice(std::string_view utf8, int64_t& hundredths) {
    hundredths = 0;
    std::string_view text = Trimmed(utf8);
    if (text.empty()) return true;
    const bool minus = TakeSign(text);
    int64_t units = 0, fraction = 0;
    if (!TakeGroupedDigits(text, units) || !TakeDecimals(text, fraction) || !text.empty())
        return false;
    hundredths = std::min(kNumberCeiling, units * kHundredthsPerUnit + fraction);
    if (minus) hundredths = -hundredths;
    return true;
}

}  // namespace addin

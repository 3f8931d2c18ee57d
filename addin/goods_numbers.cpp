#include "addin/goods_numbers.h"

#include <algorithm>

namespace addin {
namespace {

using plain::IsDigit;
using plain::kDecimalBase;
using plain::kHundredthsPerUnit;
using plain::kPriceDecimals;
using plain::kThousandsGroup;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// One pass over a number's text, left to right.  Every good of a document
// has four numbers, so this is kept to plain index arithmetic.
class NumberScan {
  public:
    explicit NumberScan(std::string_view text) : text_(text), end_(text.size()) {
        for (size_t n = SpaceAt(at_); n != 0; n = SpaceAt(at_)) at_ += n;
        for (size_t n = SpaceEndingAt(end_); n != 0 && end_ > at_; n = SpaceEndingAt(end_))
            end_ -= n;
    }

    bool Empty() const { return at_ >= end_; }
    bool Done() const { return at_ == end_; }

    // An optional leading sign; true for a minus.
    bool TakeSign() {
        if (Empty() || (text_[at_] != '+' && text_[at_] != '-')) return false;
        return text_[at_++] == '-';
    }

    // Whole digits, grouped by thousands or not: "1234", "1 234",
    // "12 345 678".  A space may only stand between a group of one to three
    // digits and a group of exactly three.
    bool TakeGroupedDigits(int64_t& value) {
        size_t group = TakeDigits(value);
        if (group == 0) return false;
        bool grouped = false;
        for (size_t space = SpaceAt(at_); space != 0; space = SpaceAt(at_)) {
            if (group > kThousandsGroup && !grouped) return false;
            at_ += space;
            group = TakeDigits(value);
            if (group != kThousandsGroup) return false;
            grouped = true;
        }
        return true;
    }

    // Nothing, or "," or "." then decimals: two are kept as hundredths, any
    // after them must be zeros.
    bool TakeDecimals(int64_t& hundredths) {
        hundredths = 0;
        if (Done()) return true;
        if (text_[at_] != ',' && text_[at_] != '.') return false;
        const size_t first = ++at_;
        int64_t ignored = 0;
        const size_t count = TakeDigits(ignored);
        if (count == 0) return false;
        for (size_t i = 0; i < kPriceDecimals; ++i)
            hundredths = hundredths * kDecimalBase + (i < count ? text_[first + i] - '0' : 0);
        for (size_t i = kPriceDecimals; i < count; ++i)
            if (text_[first + i] != '0') return false;
        return true;
    }

  private:
    // Appends the digits at the scan's place to `value` (which stops
    // growing at kNumberCeiling); their count.
    size_t TakeDigits(int64_t& value) {
        const size_t first = at_;
        for (; at_ < end_ && IsDigit(text_[at_]); ++at_) {
            value = value * kDecimalBase + (text_[at_] - '0');
            if (value > kNumberCeiling) value = kNumberCeiling;
        }
        return at_ - first;
    }

    // Length of the space at `i` (a blank, U+00A0 or U+202F in UTF-8), or 0.
    size_t SpaceAt(size_t i) const {
        if (i >= end_ || IsDigit(text_[i])) return 0;
        if (IsBlank(text_[i])) return 1;
        const size_t left = end_ - i;
        if (left >= 2 && text_[i] == '\xC2' && text_[i + 1] == '\xA0') return 2;
        if (left >= 3 && text_[i] == '\xE2' && text_[i + 1] == '\x80' && text_[i + 2] == '\xAF')
            return 3;
        return 0;
    }

    // Length of the space that ends just before `end`, or 0.
    size_t SpaceEndingAt(size_t end) const {
        if (end == 0 || IsDigit(text_[end - 1])) return 0;
        if (IsBlank(text_[end - 1])) return 1;
        for (size_t length : {size_t{2}, size_t{3}})
            if (end >= length && SpaceAt(end - length) == length) return length;
        return 0;
    }

    std::string_view text_;
    size_t at_ = 0;
    size_t end_;
};

}  // namespace

namespace full {

bool ReadWholeNumber(std::string_view utf8, int64_t& value) {
    value = 0;
    NumberScan scan(utf8);
    if (scan.Empty()) return true;
    const bool minus = scan.TakeSign();
    int64_t magnitude = 0;
    if (!scan.TakeGroupedDigits(magnitude) || !scan.Done()) return false;
    value = minus ? -magnitude : magnitude;
    return true;
}

bool ReadPrice(std::string_view utf8, int64_t& hundredths) {
    hundredths = 0;
    NumberScan scan(utf8);
    if (scan.Empty()) return true;
    const bool minus = scan.TakeSign();
    int64_t units = 0, fraction = 0;
    if (!scan.TakeGroupedDigits(units) || !scan.TakeDecimals(fraction) || !scan.Done())
        return false;
    const int64_t magnitude = std::min(kNumberCeiling, units * kHundredthsPerUnit + fraction);
    hundredths = minus ? -magnitude : magnitude;
    return true;
}

}  // namespace full

}  // namespace addin

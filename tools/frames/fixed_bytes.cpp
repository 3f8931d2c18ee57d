#include "fixed_bytes.h"

#include <algorithm>

#include "decoder.h"

namespace emu {
namespace {

// Spans up to this long are shown whole; longer ones by their first odd byte.
constexpr size_t kShownSpan = 8;

std::string Where(size_t first, size_t last) {
    return first == last ? "byte " + std::to_string(first)
                         : "bytes " + std::to_string(first) + "-" + std::to_string(last);
}

}  // namespace

std::string FixedBytes::Span(size_t first, size_t last) const {
    return HexList(frame_ + first, last - first + 1);
}

void FixedBytes::Zero(size_t first, size_t last) {
    const uint8_t* begin = frame_ + first;
    const uint8_t* end = frame_ + last + 1;
    const uint8_t* odd = std::find_if(begin, end, [](uint8_t b) { return b != 0; });
    if (odd == end) return;
    if (last - first + 1 <= kShownSpan) {
        issues_.push_back(Where(first, last) + ": " + Span(first, last) + ", not zero");
        return;
    }
    const auto at = static_cast<size_t>(odd - frame_);
    issues_.push_back(Where(first, last) + " not zero: byte " + std::to_string(at) + " is " +
                      HexList(odd, 1));
}

void FixedBytes::Equal(size_t first, std::initializer_list<uint8_t> expected) {
    const size_t last = first + expected.size() - 1;
    if (std::equal(expected.begin(), expected.end(), frame_ + first)) return;
    issues_.push_back(Where(first, last) + ": " + Span(first, last) + ", not " +
                      HexList(expected.begin(), expected.size()));
}

void FixedBytes::ZeroPadded(size_t first, size_t last) {
    const uint8_t* end = frame_ + last + 1;
    const uint8_t* zero = std::find(frame_ + first, end, 0);
    if (zero != end) Zero(static_cast<size_t>(zero - frame_), last);
}

void CheckLayout(FrameKind kind, FixedBytes& check) {
    constexpr size_t kLast = kFrameSize - 1;
    // Goods and continuation frames carry a 64-byte record at bytes 3-66.
    constexpr size_t kRecord = 3, kAfterRecord = kRecord + 64;
    switch (kind) {
        case FrameKind::kClock:
            // 0E 01 00, four zero bytes, then year to second at bytes 7-12
            check.Zero(3, 6);
            check.Zero(13, kLast);
            break;
        case FrameKind::kClear:
            // 0E 04 00 00 04 and nothing else
            check.Zero(5, kLast);
            break;
        case FrameKind::kGoods:
            // name (36 bytes, zero-padded) at record offset 0; offset 55 is
            // always zero
            check.ZeroPadded(kRecord, kRecord + 35);
            check.Zero(kRecord + 55, kRecord + 55);
            check.Zero(kAfterRecord, kLast);
            break;
        case FrameKind::kContinuation:
            // code (3 bytes), then at most 25 name bytes, zero to the record's end
            check.ZeroPadded(kRecord + 3, kRecord + 27);
            check.Zero(kRecord + 28, kLast);
            break;
        case FrameKind::kAnnouncement:
            // 62, message number - 1, 00 00, number, sequence number, 01
            check.Zero(3, 4);
            check.Equal(9, {0x01});
            check.Zero(10, kLast);
            break;
        case FrameKind::kHotKeys:
            // 02 F8+page 03, 84 entries of 3 bytes up to byte 254
            check.Zero(255, kLast);
            break;
        case FrameKind::kMessage:
        case FrameKind::kMessageData:
        case FrameKind::kUnknown:
            break;
    }
}

}  // namespace emu

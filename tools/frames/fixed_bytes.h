// The bytes of a request frame that its layout fixes: areas that are always
// zero and constants such as the first long-message data frame's 00 00 06 00.
// A driver that puts anything else there builds its frames wrongly, whatever
// the scales make of it, so every such byte is reported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "frames.h"

namespace emu {

// Checks over one full frame (259 bytes, zero-padded when fewer came).
// Positions are frame bytes, counted from 0 as the byte tables count them.
class FixedBytes {
  public:
    explicit FixedBytes(const uint8_t* frame) : frame_(frame) {}

    // Bytes first..last are zero.
    void Zero(size_t first, size_t last);
    // The bytes from `first` on are exactly `expected`.
    void Equal(size_t first, std::initializer_list<uint8_t> expected);
    // A text area first..last: after its first zero byte, only zeros.
    void ZeroPadded(size_t first, size_t last);

    // One text per difference, e.g. "bytes 3-6: 00 00 01 00, not zero".
    const std::vector<std::string>& Issues() const { return issues_; }

  private:
    std::string Span(size_t first, size_t last) const;

    const uint8_t* frame_;
    std::vector<std::string> issues_;
};

// The checks that a frame of `kind` gets from its layout alone.  Message and
// message-data frames have more, which depend on their text (the decoder
// adds those).
void CheckLayout(FrameKind kind, FixedBytes& check);

}  // namespace emu

#include "decoder.h"

#include <algorithm>
#include <iterator>

namespace emu {

std::vector<uint8_t> BuildClockFrame(const Clock& clock) {
    constexpr uint8_t kClockCommand[] = {0x0E, 0x01, 0x00};
    constexpr size_t kFirstTimeByte = 7;
    constexpr int kCentury = 100;
    std::vector<uint8_t> frame(kFrameSize, 0);
    std::copy(std::begin(kClockCommand), std::end(kClockCommand), frame.begin());
    const int parts[] = {clock.year % kCentury, clock.month, clock.day, clock.hour,
                         clock.minute,          clock.second};
    for (size_t i = 0; i < std::size(parts); ++i)
        frame[kFirstTimeByte + i] = static_cast<uint8_t>(parts[i] / 10 << 4 | parts[i] % 10);
    return frame;
}

}  // namespace emu

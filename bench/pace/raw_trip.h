// The device's pace with no driver in between: a blocking UDP socket sends a
// frame to 127.0.0.1 and takes the reply, the least any program on the
// system can do (raw_trip_posix.cpp, raw_trip_win32.cpp).
#pragma once

#include <cstdint>
#include <vector>

namespace pace {

// Mean seconds a round trip over `frames` sent in turn `count` times, or a
// negative number when a reply did not come within 2 s.
double RawRoundTrip(uint16_t port, const std::vector<std::vector<uint8_t>>& frames, int count);

}  // namespace pace

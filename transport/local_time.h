// The computer's local date and time, a steady clock and sleeps.
#pragma once

#include <cstdint>

namespace transport {

struct LocalTime {
    int year;    // e.g. 2024
    int month;   // 1..12
    int day;     // 1..31
    int hour;    // 0..23
    int minute;  // 0..59
    int second;  // 0..59
    int millisecond;
};

LocalTime GetLocalTime();
void SleepMs(int milliseconds);
// A sleep of at least `microseconds`; where the system sleeps only in whole
// milliseconds, it rounds up.
void SleepUs(int64_t microseconds);
// Microseconds of a clock that never jumps, from an unspecified start.
int64_t MonotonicUs();

}  // namespace transport

// The computer's local date and time, and a millisecond sleep.
#pragma once

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

}  // namespace transport

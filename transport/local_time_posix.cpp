#include <time.h>

#include "transport/local_time.h"

namespace transport {

LocalTime GetLocalTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    localtime_r(&now.tv_sec, &parts);
    return LocalTime{parts.tm_year + 1900,
                     parts.tm_mon + 1,
                     parts.tm_mday,
                     parts.tm_hour,
                     parts.tm_min,
                     parts.tm_sec,
                     static_cast<int>(now.tv_nsec / 1000000)};
}

void SleepMs(int milliseconds) {
    SleepUs(static_cast<int64_t>(milliseconds) * 1000);
}

void SleepUs(int64_t microseconds) {
    if (microseconds <= 0) return;
    timespec left{static_cast<time_t>(microseconds / 1000000),
                  static_cast<long>(microseconds % 1000000) * 1000L};
    // Signals the host process may receive must not cut the sleep short.
    while (nanosleep(&left, &left) != 0) {
    }
}

int64_t MonotonicUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

}  // namespace transport

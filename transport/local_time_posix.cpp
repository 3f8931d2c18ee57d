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
    if (milliseconds <= 0) return;
    timespec left{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    // Signals the host process may receive must not cut the sleep short.
    while (nanosleep(&left, &left) != 0) {
    }
}

}  // namespace transport

#include <windows.h>

#include "transport/local_time.h"

namespace transport {

LocalTime GetLocalTime() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return LocalTime{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                     now.wMinute, now.wSecond, now.wMilliseconds};
}

void SleepMs(int milliseconds) {
    if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
}

void SleepUs(int64_t microseconds) {
    if (microseconds > 0) Sleep(static_cast<DWORD>((microseconds + 999) / 1000));
}

int64_t MonotonicUs() {
    static const int64_t perSecond = [] {
        LARGE_INTEGER frequency{};
        QueryPerformanceFrequency(&frequency);
        return static_cast<int64_t>(frequency.QuadPart);
    }();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    const int64_t ticks = static_cast<int64_t>(now.QuadPart);
    return ticks / perSecond * 1000000 + ticks % perSecond * 1000000 / perSecond;
}

}  // namespace transport

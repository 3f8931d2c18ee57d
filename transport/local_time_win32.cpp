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

}  // namespace transport

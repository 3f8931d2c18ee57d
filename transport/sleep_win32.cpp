#include "transport/sleep_win32.h"

#include "transport/paced_wait.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace transport {

namespace {

// A high-resolution timer ends its wait within about half a millisecond.
constexpr int64_t kPreciseTimerLateUs = 1000;
constexpr int64_t kUsPerMs = 1000;
constexpr int64_t kHundredNsPerUs = 10;

// The system timer's tick, as the system gives it (100 ns units).
int64_t SystemTickUs() {
    DWORD adjustment = 0;
    DWORD increment = 0;
    BOOL disabled = FALSE;
    if (!GetSystemTimeAdjustment(&adjustment, &increment, &disabled) || increment == 0) {
        return PacedWait::kLongestTickUs;
    }
    return static_cast<int64_t>(increment) / kHundredNsPerUs;
}

}  // namespace

TickSleeper::TickSleeper()
    : timer_(CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                    TIMER_ALL_ACCESS)),
      systemTickUs_(SystemTickUs()) {}

TickSleeper::~TickSleeper() {
    if (timer_ != nullptr) CloseHandle(timer_);
}

int64_t TickSleeper::TickUs() const {
    return timer_ != nullptr ? kPreciseTimerLateUs : systemTickUs_;
}

bool TickSleeper::Sleep(HANDLE wake, int64_t us) {
    if (us <= 0) return false;
    // Far from its end a plain timed wait, one call, ends a tick early at
    // the latest; only the last tick needs the precise timer (three calls:
    // set, wait, cancel), which matters where each call is costly (Wine).
    if (wake != nullptr && us > 2 * systemTickUs_) {
        return WaitForSingleObject(wake, static_cast<DWORD>((us - systemTickUs_) / kUsPerMs)) ==
               WAIT_OBJECT_0;
    }
    LARGE_INTEGER due{};
    due.QuadPart = -us * kHundredNsPerUs;  // negative: relative to now
    if (timer_ != nullptr && SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE)) {
        const HANDLE both[] = {wake, timer_};
        const DWORD count = wake != nullptr ? 2 : 1;
        const DWORD r =
            WaitForMultipleObjects(count, wake != nullptr ? both : both + 1, FALSE, INFINITE);
        if (r == WAIT_OBJECT_0 && wake != nullptr) {
            CancelWaitableTimer(timer_);
            return true;
        }
        return false;
    }
    const DWORD ms = static_cast<DWORD>(us / kUsPerMs);
    if (wake != nullptr) return WaitForSingleObject(wake, ms) == WAIT_OBJECT_0;
    ::Sleep(ms);
    return false;
}

}  // namespace transport

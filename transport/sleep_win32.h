// The sleep under every wait of the Windows transport (paced_wait.h): until a
// time or until a handle is signalled, whichever comes first.  Used only by
// the *_win32.cpp files.
#pragma once

#include <windows.h>

#include <cstdint>

namespace transport {

class TickSleeper {
  public:
    // Makes a high-resolution waitable timer where the system has one
    // (Windows 10 1803 and later); elsewhere sleeps are timed waits that end
    // on the timer's tick.  The host's timer resolution is never changed.
    TickSleeper();
    ~TickSleeper();
    TickSleeper(const TickSleeper&) = delete;
    TickSleeper& operator=(const TickSleeper&) = delete;

    // Sleeps `us` microseconds, or until `wake` (may be null) is signalled.
    // True when `wake` ended it.
    bool Sleep(HANDLE wake, int64_t us);
    // How late a sleep may end: a little with the precise timer, a tick of
    // the system's timer without it.
    int64_t TickUs() const;

  private:
    HANDLE timer_;
    int64_t systemTickUs_;
};

}  // namespace transport

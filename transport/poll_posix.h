// One bounded wait on one descriptor, shared by the socket and the serial
// device on POSIX systems (poll_posix.cpp).
#pragma once

#include <cstdint>

namespace transport {

// Waits up to `timeoutUs` microseconds (a negative limit counts as none,
// never as "forever") for `events` on `fd`.  A signal does not end the wait
// early: it resumes for the time still left.  The events that came (poll's
// revents), or 0 when the time ran out or the wait failed.
int PollForUs(int fd, short events, int64_t timeoutUs);

inline int PollFor(int fd, short events, int timeoutMs) {
    constexpr int64_t kUsPerMs = 1000;
    return PollForUs(fd, events, static_cast<int64_t>(timeoutMs) * kUsPerMs);
}

}  // namespace transport

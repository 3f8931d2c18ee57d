#include "transport/poll_posix.h"

#include <errno.h>
#include <poll.h>
#include <time.h>

namespace transport {

namespace {

constexpr int64_t kNsPerUs = 1000;
constexpr int64_t kNsPerSecond = 1000000000;

int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * kNsPerSecond + now.tv_nsec;
}

}  // namespace

int PollForUs(int fd, short events, int64_t timeoutUs) {
    pollfd p{fd, events, 0};
    const int64_t limitNs = (timeoutUs < 0 ? 0 : timeoutUs) * kNsPerUs;
    const int64_t deadline = MonotonicNs() + limitNs;
    int64_t leftNs = limitNs;
    for (;;) {
        // ppoll takes the limit to the nanosecond; poll would round the
        // sub-millisecond waits of a reply's tail to whole milliseconds.
        const timespec limit{static_cast<time_t>(leftNs / kNsPerSecond),
                             static_cast<long>(leftNs % kNsPerSecond)};
        const int r = ppoll(&p, 1, &limit, nullptr);
        if (r > 0) return p.revents;
        if (r == 0 || errno != EINTR) return 0;
        leftNs = deadline - MonotonicNs();
        if (leftNs < 0) leftNs = 0;
    }
}

}  // namespace transport

#include "transport/poll_posix.h"

#include <errno.h>
#include <poll.h>
#include <time.h>

#include "transport/local_time.h"

namespace transport {

int PollForUs(int fd, short events, int64_t timeoutUs) {
    constexpr int64_t kNsPerUs = 1000;
    constexpr int64_t kUsPerSecond = 1000000;
    pollfd p{fd, events, 0};
    const int64_t deadline = MonotonicUs() + (timeoutUs < 0 ? 0 : timeoutUs);
    for (int64_t leftUs = deadline - MonotonicUs();; leftUs = deadline - MonotonicUs()) {
        if (leftUs < 0) leftUs = 0;
        // ppoll takes the limit to the nanosecond; poll would round the
        // sub-millisecond waits of a reply's tail to whole milliseconds.
        const timespec limit{static_cast<time_t>(leftUs / kUsPerSecond),
                             static_cast<long>(leftUs % kUsPerSecond * kNsPerUs)};
        const int r = ppoll(&p, 1, &limit, nullptr);
        if (r > 0) return p.revents;
        if (r == 0 || errno != EINTR) return 0;
    }
}

}  // namespace transport

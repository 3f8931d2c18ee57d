#include "transport/poll_posix.h"

#include <errno.h>
#include <poll.h>

namespace transport {

int PollFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int limit = timeoutMs < 0 ? 0 : timeoutMs;
    int r;
    do {
        r = poll(&p, 1, limit);
    } while (r < 0 && errno == EINTR);
    return r > 0 ? p.revents : 0;
}

}  // namespace transport

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>

#include "text/random_os.h"

namespace text::os {

namespace {

// For kernels older than getrandom (ENOSYS) or a seccomp filter that forbids it.
bool ReadUrandom(uint8_t* out, size_t count) {
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < count) {
        ssize_t got = read(fd, out + done, count - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    close(fd);
    return done == count;
}

}  // namespace

bool RandomBytes(uint8_t* out, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t got = getrandom(out + done, count - done, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return ReadUrandom(out, count);
        done += static_cast<size_t>(got);
    }
    return true;
}

}  // namespace text::os

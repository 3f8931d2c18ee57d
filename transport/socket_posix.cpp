// BSD sockets.  The socket stays non-blocking from Connect on: every wait is
// an explicit poll() with its own time limit, so nothing here can block the
// host's thread longer than the limits of socket.h.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <new>
#include <string>

#include "transport/networking.h"
#include "transport/poll_posix.h"
#include "transport/port.h"
#include "transport/socket.h"

namespace {

using transport::PollFor;

using Clock = std::chrono::steady_clock;

// The whole of Connect, name look-up included, fits in this limit.
constexpr std::chrono::milliseconds kConnectWait{3000};
constexpr int kSendWaitMs = 1000;
// Incoming data is only looked for, never waited for.
constexpr int kReceivePollMs = 0;

// The host process must never be killed by SIGPIPE when a stream peer has
// gone; macOS and the BSDs lack MSG_NOSIGNAL and use SO_NOSIGPIPE instead.
#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL | MSG_DONTWAIT;
#else
constexpr int kSendFlags = MSG_DONTWAIT;
#endif

// A name look-up handed to the system resolver, kept in one heap block with
// the name and hints it points at.  The resolver works on it in a thread of
// the C library's own; when the look-up can be neither finished nor
// cancelled in time, the block is left to that thread (a small leak) rather
// than freed while it may still write its answer there.
struct Lookup {
    std::string name;
    addrinfo hints{};
    gaicb request{};
};

int LookupStatus(Lookup* lookup, Clock::time_point deadline) {
    const gaicb* list[] = {&lookup->request};
    for (;;) {
        const int status = gai_error(&lookup->request);
        if (status != EAI_INPROGRESS) return status;
        const auto left =
            std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
        if (left.count() <= 0) return EAI_INPROGRESS;
        const timespec limit{static_cast<time_t>(left.count() / 1000000000),
                             static_cast<long>(left.count() % 1000000000)};
        gai_suspend(list, 1, &limit);
    }
}

// Looks up the first IPv4 address of `host`: 0, or the resolver's code
// (EAI_*) for why not.  A dotted address never goes to the resolver; a name
// is given up at `deadline`, as a resolver that never answers would otherwise
// hold the host's thread for its own time-outs (several seconds a server,
// for every server in its list).
int ResolveIpv4(const char* host, in_addr* out, Clock::time_point deadline) {
    if (inet_pton(AF_INET, host, out) == 1) return 0;
    Lookup* lookup = new (std::nothrow) Lookup;
    if (lookup == nullptr) return EAI_MEMORY;
    try {
        lookup->name = host;
    } catch (...) {
        delete lookup;
        return EAI_MEMORY;
    }
    lookup->hints.ai_family = AF_INET;
    lookup->request.ar_name = lookup->name.c_str();
    lookup->request.ar_request = &lookup->hints;
    gaicb* list[] = {&lookup->request};
    const int started = getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr);
    if (started != 0) {
        delete lookup;
        return started;
    }
    int status = LookupStatus(lookup, deadline);
    if (status == EAI_INPROGRESS) {
        const int cancelled = gai_cancel(&lookup->request);
        if (cancelled == EAI_NOTCANCELED) return EAI_INPROGRESS;  // left to the resolver
        status = cancelled == EAI_ALLDONE ? gai_error(&lookup->request) : EAI_CANCELED;
    }
    addrinfo* found = lookup->request.ar_result;
    if (status == 0 && found == nullptr) status = EAI_NONAME;
    if (status == 0) *out = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    if (found != nullptr) freeaddrinfo(found);
    delete lookup;
    return status;
}

bool SetNonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// A refused or failed stream connect also makes the socket writable on POSIX
// systems; only the socket's pending error tells it from a real connection.
// 0 when connected, else the error number.
int ConnectError(int fd, Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    int revents = transport::PollForUs(fd, POLLOUT, left.count());
    if ((revents & POLLOUT) == 0) return ETIMEDOUT;
    int error = 0;
    socklen_t len = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return errno;
    return error;
}

// Size of the datagram at the head of the queue, or -1 when none is there.
ssize_t NextDatagramSize(int fd) {
    uint8_t probe;
    ssize_t n;
    do {
        n = recv(fd, &probe, 1, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n;
}

}  // namespace

CZavSocket::~CZavSocket() {
    if (IsValid()) close(static_cast<int>(sock));
    sock = kInvalidSocket;
}

// ppoll waits to the microsecond: nothing beyond the socket is needed.
struct CZavClientSocket::Waiting {};

CZavClientSocket::~CZavClientSocket() = default;

CZavClientSocket::CZavClientSocket(uint8_t socketKind)
    : datagram_(socketKind == transport::kSocketDatagram) {
    int type = datagram_ ? SOCK_DGRAM : SOCK_STREAM;
    int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
#ifdef SO_NOSIGPIPE
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
    sock = fd;
}

int CZavClientSocket::Connect(const char* host, uint16_t port) {
    const Clock::time_point deadline = Clock::now() + kConnectWait;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    // No host at all is no address: the system would otherwise take an empty
    // name for this computer itself.
    if (host == nullptr || *host == '\0') {
        lastError_ = EAI_NONAME;
        return kConnectUnresolved;
    }
    lastError_ = ResolveIpv4(host, &address.sin_addr, deadline);
    if (lastError_ != 0) return kConnectUnresolved;
    int fd = static_cast<int>(sock);
    if (!IsValid() || !SetNonBlocking(fd)) {
        lastError_ = IsValid() ? errno : EBADF;
        return kConnectFailed;
    }
    // A datagram socket only records the peer's address and connects at once.
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return kConnectOk;
    lastError_ = errno;
    if (errno != EINPROGRESS && errno != EINTR) return kConnectFailed;
    lastError_ = ConnectError(fd, deadline);
    return lastError_ == 0 ? kConnectOk : kConnectFailed;
}

int CZavClientSocket::Send(const uint8_t* frame) {
    if (!IsValid()) {
        lastError_ = EBADF;
        return -1;
    }
    int fd = static_cast<int>(sock);
    int remaining = transport::kFrameSize;
    while (remaining > 0) {
        // A link that cannot take more within the wait ends the send early;
        // that is a short count, not an error.
        if ((PollFor(fd, POLLOUT, kSendWaitMs) & (POLLOUT | POLLERR | POLLHUP)) == 0) break;
        ssize_t sent = send(fd, frame + (transport::kFrameSize - remaining), remaining, kSendFlags);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            lastError_ = errno;
            return -1;
        }
        remaining -= static_cast<int>(sent);
    }
    return transport::kFrameSize - remaining;
}

int CZavClientSocket::Receive(uint8_t* buffer) {
    if (!IsValid()) {
        lastError_ = EBADF;
        return -1;
    }
    int fd = static_cast<int>(sock);
    int room = transport::kReadRoom;
    while (room > 0 && PollFor(fd, POLLIN, kReceivePollMs) != 0) {
        if (datagram_ && room < transport::kReadRoom) {
            // A datagram that does not fit the room left would be cut short
            // and its tail lost; leave it whole for the next Read.
            ssize_t next = NextDatagramSize(fd);
            if (next > room) break;
        }
        ssize_t got = recv(fd, buffer + (transport::kReadRoom - room), room, MSG_DONTWAIT);
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) break;
            lastError_ = errno;
            return -1;
        }
        room -= static_cast<int>(got);
        if (got == 0) {
            // A stream's end: the peer has closed its side for good.  On a
            // datagram socket it is only an empty datagram.
            peerClosed_ = !datagram_;
            break;
        }
    }
    return transport::kReadRoom - room;
}

bool CZavClientSocket::WaitReadableUs(int64_t timeoutUs) {
    if (!IsValid()) return false;
    return transport::PollForUs(static_cast<int>(sock), POLLIN, timeoutUs) != 0;
}

// POSIX sockets need no start.
namespace transport::os {
bool StartSockets() {
    return true;
}
void StopSockets() {}
}  // namespace transport::os

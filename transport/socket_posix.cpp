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

#include <cstring>

#include "transport/networking.h"
#include "transport/poll_posix.h"
#include "transport/port.h"
#include "transport/socket.h"

namespace {

using transport::PollFor;

constexpr int kConnectWaitMs = 3000;
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

bool ResolveIpv4(const char* host, in_addr* out) {
    if (inet_pton(AF_INET, host, out) == 1) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return false;
    *out = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

bool SetNonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// A refused or failed stream connect also makes the socket writable on POSIX
// systems; only the socket's pending error tells it from a real connection.
bool ConnectSucceeded(int fd) {
    int revents = PollFor(fd, POLLOUT, kConnectWaitMs);
    if ((revents & POLLOUT) == 0) return false;
    int error = 0;
    socklen_t len = sizeof error;
    return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
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
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    // No host at all is no address: the system would otherwise take an empty
    // name for this computer itself.
    if (host == nullptr || *host == '\0' || !ResolveIpv4(host, &address.sin_addr)) {
        return kConnectUnresolved;
    }
    int fd = static_cast<int>(sock);
    if (!IsValid() || !SetNonBlocking(fd)) return kConnectFailed;
    // A datagram socket only records the peer's address and connects at once.
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return kConnectOk;
    if (errno != EINPROGRESS && errno != EINTR) return kConnectFailed;
    return ConnectSucceeded(fd) ? kConnectOk : kConnectFailed;
}

int CZavClientSocket::Send(const uint8_t* frame) {
    if (!IsValid()) return -1;
    int fd = static_cast<int>(sock);
    int remaining = transport::kFrameSize;
    while (remaining > 0) {
        // A link that cannot take more within the wait ends the send early;
        // that is a short count, not an error.
        if ((PollFor(fd, POLLOUT, kSendWaitMs) & (POLLOUT | POLLERR | POLLHUP)) == 0) break;
        ssize_t sent = send(fd, frame + (transport::kFrameSize - remaining), remaining, kSendFlags);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            return -1;
        }
        remaining -= static_cast<int>(sent);
    }
    return transport::kFrameSize - remaining;
}

int CZavClientSocket::Receive(uint8_t* buffer) {
    if (!IsValid()) return -1;
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
            return -1;
        }
        room -= static_cast<int>(got);
        // For a stream the peer has closed its side; for datagrams an empty one.
        if (got == 0) break;
    }
    return transport::kReadRoom - room;
}

bool CZavClientSocket::WaitReadable(int timeoutMs) {
    if (!IsValid()) return false;
    return PollFor(static_cast<int>(sock), POLLIN, timeoutMs) != 0;
}

// POSIX sockets need no start.
namespace transport::os {
bool StartSockets() {
    return true;
}
void StopSockets() {}
}  // namespace transport::os

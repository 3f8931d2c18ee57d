// Windows Sockets.  The socket stays non-blocking from Connect on and every
// wait is an explicit select() with its own time limit.  A failed connect
// shows in select's exception set, so "writable" means connected.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "transport/networking.h"
#include "transport/port.h"
#include "transport/socket.h"

namespace {

constexpr long kConnectWaitSeconds = 3;
constexpr long kSendWaitSeconds = 1;
constexpr long kReceivePollMicroseconds = 10;
constexpr WORD kWinsockVersion = MAKEWORD(2, 2);

SOCKET Handle(intptr_t sock) {
    return static_cast<SOCKET>(sock);
}

// select() on one socket, for writing or for reading, with its error set.
bool Ready(SOCKET s, bool forWrite, long microseconds) {
    fd_set wanted;
    fd_set failed;
    FD_ZERO(&wanted);
    FD_ZERO(&failed);
    FD_SET(s, &wanted);
    FD_SET(s, &failed);
    timeval limit{microseconds / 1000000, microseconds % 1000000};
    int r = forWrite ? select(0, nullptr, &wanted, &failed, &limit)
                     : select(0, &wanted, nullptr, &failed, &limit);
    if (r <= 0) return false;
    // Reading reports a failed socket as ready, so that recv reports the error.
    return FD_ISSET(s, &wanted) || (!forWrite && FD_ISSET(s, &failed));
}

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

// Size of the datagram at the head of the queue fits `room`?  A peek into a
// smaller buffer fails with WSAEMSGSIZE and leaves the datagram queued.
bool NextDatagramFits(SOCKET s, char* buffer, int room) {
    int n = recv(s, buffer, room, MSG_PEEK);
    return n >= 0 || WSAGetLastError() != WSAEMSGSIZE;
}

}  // namespace

CZavSocket::~CZavSocket() {
    if (IsValid()) closesocket(Handle(sock));
    sock = kInvalidSocket;
}

CZavClientSocket::CZavClientSocket(uint8_t socketKind)
    : datagram_(socketKind == transport::kSocketDatagram) {
    SOCKET s = socket(AF_INET, datagram_ ? SOCK_DGRAM : SOCK_STREAM, 0);
    if (s != INVALID_SOCKET) sock = static_cast<intptr_t>(s);
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
    if (!IsValid()) return kConnectFailed;
    SOCKET s = Handle(sock);
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return kConnectFailed;
    // A datagram socket only records the peer's address and connects at once.
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return kConnectOk;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return kConnectFailed;
    return Ready(s, true, kConnectWaitSeconds * 1000000) ? kConnectOk : kConnectFailed;
}

int CZavClientSocket::Send(const uint8_t* frame) {
    if (!IsValid()) return -1;
    SOCKET s = Handle(sock);
    int remaining = transport::kFrameSize;
    while (remaining > 0) {
        // A link that cannot take more within the wait ends the send early;
        // that is a short count, not an error.
        if (!Ready(s, true, kSendWaitSeconds * 1000000)) break;
        const char* at = reinterpret_cast<const char*>(frame) + (transport::kFrameSize - remaining);
        int sent = send(s, at, remaining, 0);
        if (sent == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) continue;
            return -1;
        }
        remaining -= sent;
    }
    return transport::kFrameSize - remaining;
}

int CZavClientSocket::Receive(uint8_t* buffer) {
    if (!IsValid()) return -1;
    SOCKET s = Handle(sock);
    int room = transport::kReadRoom;
    while (room > 0 && Ready(s, false, kReceivePollMicroseconds)) {
        char* at = reinterpret_cast<char*>(buffer) + (transport::kReadRoom - room);
        // A datagram that does not fit the room left would be cut short and
        // its tail lost; leave it whole for the next Read.
        if (datagram_ && room < transport::kReadRoom && !NextDatagramFits(s, at, room)) break;
        int got = recv(s, at, room, 0);
        if (got == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) break;
            return -1;
        }
        room -= got;
        // For a stream the peer has closed its side; for datagrams an empty one.
        if (got == 0) break;
    }
    return transport::kReadRoom - room;
}

bool CZavClientSocket::WaitReadable(int timeoutMs) {
    if (!IsValid()) return false;
    long ms = timeoutMs < 0 ? 0 : timeoutMs;
    return Ready(Handle(sock), false, ms * 1000);
}

namespace transport::os {

bool StartSockets() {
    WSADATA data;
    return WSAStartup(kWinsockVersion, &data) == 0;
}

void StopSockets() {
    WSACleanup();
}

}  // namespace transport::os

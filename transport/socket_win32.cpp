// Windows Sockets.  The socket stays non-blocking from Connect on and every
// wait is an explicit select() with its own time limit.  A failed connect
// shows in select's exception set, so "writable" means connected.
//
// Incoming data is only looked for with a zero time limit.  Waiting for it
// sleeps on the socket's event, which wakes at once when data arrives, and
// keeps the last tick of the system's timer for zero-limit looks
// (paced_wait.h): select() with a time limit would end on a tick instead.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>
#include <new>
#include <string>

#include "transport/local_time.h"
#include "transport/networking.h"
#include "transport/paced_wait.h"
#include "transport/port.h"
#include "transport/sleep_win32.h"
#include "transport/socket.h"

// In ws2_32 since Windows 8, but not declared by every SDK's headers.
extern "C" {
DECLSPEC_IMPORT int WSAAPI GetAddrInfoExCancel(LPHANDLE lpHandle);
DECLSPEC_IMPORT int WSAAPI GetAddrInfoExOverlappedResult(LPOVERLAPPED lpOverlapped);
}

namespace {

// The whole of Connect, name look-up included, fits in this limit.
constexpr ULONGLONG kConnectWaitMs = 3000;
// After a cancel the look-up still has to report that it ended before its
// memory may go.
constexpr DWORD kCancelSettleMs = 1000;
constexpr long kSendWaitSeconds = 1;
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

DWORD MsLeft(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

// A name look-up that Windows runs in the background, in one heap block with
// everything it writes to.  When it can be neither finished nor cancelled in
// time, the block and its event are left to it (a small leak) rather than
// freed while it may still write its answer there.
struct Lookup {
    std::wstring name;
    ADDRINFOEXW hints{};
    ADDRINFOEXW* result = nullptr;
    OVERLAPPED overlapped{};
    HANDLE cancelHandle = nullptr;

    ~Lookup() {
        if (result != nullptr) FreeAddrInfoExW(result);
        if (overlapped.hEvent != nullptr) CloseHandle(overlapped.hEvent);
    }
};

// The host name as UTF-16; 8-bit host names are in the system code page.
std::wstring WideName(const char* host) {
    const int count = MultiByteToWideChar(CP_ACP, 0, host, -1, nullptr, 0);
    if (count <= 1) return std::wstring();
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_ACP, 0, host, -1, &wide[0], count);
    wide.resize(static_cast<size_t>(count - 1));
    return wide;
}

// Waits for a pending look-up until `deadline`; on time-out cancels it and
// waits for its end.  False when it is still running: the caller must then
// leave its memory alone.
bool FinishLookup(Lookup* lookup, ULONGLONG deadline) {
    HANDLE done = lookup->overlapped.hEvent;
    if (WaitForSingleObject(done, MsLeft(deadline)) == WAIT_OBJECT_0) return true;
    if (GetAddrInfoExCancel(&lookup->cancelHandle) != NO_ERROR) return false;
    return WaitForSingleObject(done, kCancelSettleMs) == WAIT_OBJECT_0;
}

// Looks up the first IPv4 address of `host`: 0, or the Windows Sockets error
// for why not.  A dotted address never goes to the resolver; a name is given
// up at `deadline`, as a resolver that never answers would otherwise hold the
// host's thread for its own time-outs.
int ResolveIpv4(const char* host, in_addr* out, ULONGLONG deadline) {
    if (inet_pton(AF_INET, host, out) == 1) return 0;
    std::unique_ptr<Lookup> lookup(new (std::nothrow) Lookup);
    if (!lookup) return WSA_NOT_ENOUGH_MEMORY;
    try {
        lookup->name = WideName(host);
    } catch (...) {
        return WSA_NOT_ENOUGH_MEMORY;
    }
    if (lookup->name.empty()) return WSAHOST_NOT_FOUND;
    lookup->hints.ai_family = AF_INET;
    lookup->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (lookup->overlapped.hEvent == nullptr) return static_cast<int>(GetLastError());
    int status = GetAddrInfoExW(lookup->name.c_str(), nullptr, NS_DNS, nullptr, &lookup->hints,
                                &lookup->result, nullptr, &lookup->overlapped, nullptr,
                                &lookup->cancelHandle);
    if (status == WSA_IO_PENDING) {
        if (!FinishLookup(lookup.get(), deadline)) {
            lookup.release();  // still running: left to Windows
            return WSAETIMEDOUT;
        }
        status = GetAddrInfoExOverlappedResult(&lookup->overlapped);
    }
    if (status == NO_ERROR && lookup->result == nullptr) status = WSAHOST_NOT_FOUND;
    if (status != NO_ERROR) return status;
    *out = reinterpret_cast<sockaddr_in*>(lookup->result->ai_addr)->sin_addr;
    return 0;
}

// Why a stream connect that select() did not report writable failed.
int PendingConnectError(SOCKET s) {
    int error = 0;
    int len = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) != 0) {
        return WSAGetLastError();
    }
    return error != 0 ? error : WSAETIMEDOUT;
}

// Whether input waits, in one call.  Under Wine every socket call is a round
// trip to its server, and asking for the bytes queued costs less than a
// select(); a stream's end and a socket's error show only in select(), which
// a stream socket keeps.  A datagram socket's error shows at its next recv.
bool InputReady(SOCKET s, bool datagram) {
    u_long queued = 0;
    if (datagram && ioctlsocket(s, FIONREAD, &queued) == 0) return queued > 0;
    return Ready(s, false, 0);
}

// Size of the datagram at the head of the queue fits `room`?  A peek into a
// smaller buffer fails with WSAEMSGSIZE and leaves the datagram queued.
bool NextDatagramFits(SOCKET s, char* buffer, int room) {
    int n = recv(s, buffer, room, MSG_PEEK);
    return n >= 0 || WSAGetLastError() != WSAEMSGSIZE;
}

}  // namespace

struct CZavClientSocket::Waiting final : transport::WaitSystem {
    Waiting(SOCKET s, bool isDatagram)
        : socket(s), datagram(isDatagram), event(WSACreateEvent()), paced(sleeper.TickUs()) {}
    // The socket is closed after this: it must not set the event once it
    // is gone.
    ~Waiting() override {
        if (event == WSA_INVALID_EVENT) return;
        WSAEventSelect(socket, nullptr, 0);
        WSACloseEvent(event);
    }

    // The event is set when data arrives after the last recv (FD_READ is
    // posted again only once recv has been called) or the stream ends.
    bool Attach() {
        return event != WSA_INVALID_EVENT && WSAEventSelect(socket, event, FD_READ | FD_CLOSE) == 0;
    }
    bool Wait(int64_t limitUs) {
        seen = paced.Wait(*this, limitUs);
        return seen;
    }
    bool TakeSeen() {
        const bool was = seen;
        seen = false;
        return was;
    }

    int64_t NowUs() override { return transport::MonotonicUs(); }
    bool InputWaiting() override { return InputReady(socket, datagram); }
    // An event left set by input that has since been read wakes the sleep
    // with nothing to read: it is cleared then, and the sleep goes on (the
    // look before the next sleep sees input that came meanwhile).  Clearing
    // it only then saves a call a wait.  A wake-up with no bytes queued may
    // also be a datagram socket's error, which FD_READ reports too and only
    // select() shows: the next Read then reports it (and its recv arms
    // FD_READ again).
    bool SleepCoarse(int64_t us) override {
        if (!sleeper.Sleep(event, us)) return false;
        if (InputWaiting() || Ready(socket, false, 0)) return true;
        WSAResetEvent(event);
        return false;
    }

    SOCKET socket;
    bool datagram;
    bool seen = false;  // the last wait ended on input that is not yet read
    WSAEVENT event;
    transport::TickSleeper sleeper;
    transport::PacedWait paced;
};

CZavClientSocket::~CZavClientSocket() = default;

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
    const ULONGLONG deadline = GetTickCount64() + kConnectWaitMs;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    // No host at all is no address: the system would otherwise take an empty
    // name for this computer itself.
    if (host == nullptr || *host == '\0') {
        lastError_ = WSAHOST_NOT_FOUND;
        return kConnectUnresolved;
    }
    lastError_ = ResolveIpv4(host, &address.sin_addr, deadline);
    if (lastError_ != 0) return kConnectUnresolved;
    if (!IsValid()) {
        lastError_ = WSAENOTSOCK;
        return kConnectFailed;
    }
    SOCKET s = Handle(sock);
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        lastError_ = WSAGetLastError();
        return kConnectFailed;
    }
    // A datagram socket only records the peer's address and connects at once.
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return kConnectOk;
    lastError_ = WSAGetLastError();
    if (lastError_ != WSAEWOULDBLOCK) return kConnectFailed;
    constexpr long kUsPerMs = 1000;
    if (Ready(s, true, static_cast<long>(MsLeft(deadline)) * kUsPerMs)) return kConnectOk;
    lastError_ = PendingConnectError(s);
    return kConnectFailed;
}

int CZavClientSocket::Send(const uint8_t* frame) {
    if (!IsValid()) {
        lastError_ = WSAENOTSOCK;
        return -1;
    }
    SOCKET s = Handle(sock);
    int remaining = transport::kFrameSize;
    while (remaining > 0) {
        const char* at = reinterpret_cast<const char*>(frame) + (transport::kFrameSize - remaining);
        int sent = send(s, at, remaining, 0);
        if (sent != SOCKET_ERROR) {
            remaining -= sent;
            continue;
        }
        if (WSAGetLastError() != WSAEWOULDBLOCK) {
            lastError_ = WSAGetLastError();
            return -1;
        }
        // A link that cannot take more within the wait ends the send early;
        // that is a short count, not an error.
        if (!Ready(s, true, kSendWaitSeconds * 1000000)) break;
    }
    return transport::kFrameSize - remaining;
}

int CZavClientSocket::Receive(uint8_t* buffer) {
    if (!IsValid()) {
        lastError_ = WSAENOTSOCK;
        return -1;
    }
    SOCKET s = Handle(sock);
    int room = transport::kReadRoom;
    // A wait that has just seen input spares the first look.
    bool seen = waiting_ && waiting_->TakeSeen();
    while (room > 0 && (seen || InputReady(s, datagram_))) {
        seen = false;
        char* at = reinterpret_cast<char*>(buffer) + (transport::kReadRoom - room);
        // A datagram that does not fit the room left would be cut short and
        // its tail lost; leave it whole for the next Read.
        if (datagram_ && room < transport::kReadRoom && !NextDatagramFits(s, at, room)) break;
        int got = recv(s, at, room, 0);
        if (got == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) break;
            lastError_ = WSAGetLastError();
            return -1;
        }
        room -= got;
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
    const long limitUs = static_cast<long>(timeoutUs < 0 ? 0 : timeoutUs);
    if (!waiting_) {
        // Without an event the wait falls back on select(), which ends its
        // time limit on a tick.
        std::unique_ptr<Waiting> waiting(new (std::nothrow) Waiting(Handle(sock), datagram_));
        if (!waiting || !waiting->Attach()) return Ready(Handle(sock), false, limitUs);
        waiting_ = std::move(waiting);
    }
    return waiting_->Wait(limitUs);
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

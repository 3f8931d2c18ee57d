// The emulator's links on Windows: the UDP server, with the same reply plan
// as on POSIX (a delay, then chunks one gap apart, spinning the last stretch
// before each).  The serial line is a pseudo-terminal with a modelled line
// and exists on POSIX only.
#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h before windows.h, mswsock.h after both.
#include <windows.h>

#include <mswsock.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "reply_queue.h"
#include "server.h"
#include "tools/console/console.h"

namespace emu {
namespace {

constexpr WORD kWinsockVersion = MAKEWORD(2, 2);

// A waitable timer made with this flag (Windows 10 1803 and later; the
// headers here predate it) fires within about half a millisecond of its
// time; a plain one, like every timed wait, only on the next tick of the
// system timer, up to 15.6 ms late.  The thread wakes that much before a
// chunk is due.
constexpr DWORD kHighResolutionTimer = 0x00000002;
constexpr Micros kSpinLeadHighResolution{1000};
constexpr Micros kSpinLeadSystemTick{16000};

// One background thread around one socket: waits for a datagram, for the
// next reply chunk that falls due (a waitable timer) and for the stop event.
// It owns the socket and one start of Winsock (WSAStartup calls are counted).
class UdpServer : public Server {
  public:
    UdpServer(SOCKET socket, FrameHandler handler, SentHandler sent)
        : socket_(socket),
          handler_(std::move(handler)),
          replies_([this](const Chunks& chunks, size_t from, size_t count,
                          const PeerAddress& to) { SendChunks(chunks, from, count, to); },
                   std::move(sent)) {}
    ~UdpServer() override {
        UdpServer::Stop();
        WSACleanup();
    }

    bool Launch() {
        readable_ = WSACreateEvent();
        stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        timer_ = CreateWaitableTimerExW(nullptr, nullptr, kHighResolutionTimer, TIMER_ALL_ACCESS);
        if (timer_ == nullptr) {
            timer_ = CreateWaitableTimerW(nullptr, FALSE, nullptr);
            spinLead_ = kSpinLeadSystemTick;
        }
        if (readable_ == WSA_INVALID_EVENT || stop_ == nullptr || timer_ == nullptr) return false;
        // Also makes the socket non-blocking.
        if (WSAEventSelect(socket_, readable_, FD_READ) != 0) return false;
        thread_ = std::thread([this] { Run(); });
        return true;
    }

    void Stop() override {
        if (thread_.joinable()) {
            SetEvent(stop_);
            thread_.join();
        }
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
        socket_ = INVALID_SOCKET;
        if (readable_ != WSA_INVALID_EVENT) WSACloseEvent(readable_);
        readable_ = WSA_INVALID_EVENT;
        for (HANDLE* handle : {&stop_, &timer_}) {
            if (*handle != nullptr) CloseHandle(*handle);
            *handle = nullptr;
        }
    }

    // Windows has no SCHED_FIFO; the program says so when asked.
    bool SetRealtime(bool) override { return false; }

    bool Idle() const override {
        // Input first: the thread marks itself busy before it reads.
        u_long waiting = 0;
        if (socket_ != INVALID_SOCKET && ioctlsocket(socket_, FIONREAD, &waiting) == 0 &&
            waiting > 0)
            return false;
        return idle_;
    }

  private:
    void ArmTimer(TimePoint wakeAt) {
        constexpr int64_t kNanosPerTick = 100;  // the timer counts 100 ns
        const int64_t ticks =
            std::chrono::duration_cast<Nanos>(wakeAt - SteadyClock::now()).count() / kNanosPerTick;
        LARGE_INTEGER due;
        due.QuadPart = -std::max<int64_t>(1, ticks);  // negative: relative to now
        SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE);
    }

    void Receive() {
        for (;;) {
            sockaddr_in from{};
            int fromLength = sizeof from;
            const int n = recvfrom(socket_, reinterpret_cast<char*>(buffer_.data()),
                                   static_cast<int>(buffer_.size()), 0,
                                   reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n == SOCKET_ERROR) {
                // An ICMP "port unreachable" for an earlier reply (the driver
                // had closed its socket) is reported here; the next datagram
                // may be waiting behind it.
                if (WSAGetLastError() == WSAECONNRESET) continue;
                return;
            }
            // The reply goes back to whichever address the request came from.
            replies_.AnswerDatagram(buffer_.data(), static_cast<size_t>(n), PeerAddress::Of(from),
                                    handler_);
        }
    }

    // Winsock has no sendmmsg: chunks that leave together go out back to
    // back, one sendto each.
    void SendChunks(const Chunks& chunks, size_t from, size_t count, const PeerAddress& to) {
        const sockaddr_in requester = to.As<sockaddr_in>();
        for (size_t i = from; i < from + count; ++i) {
            const std::vector<uint8_t>& chunk = chunks[i];
            sendto(socket_, reinterpret_cast<const char*>(chunk.data()),
                   static_cast<int>(chunk.size()), 0, reinterpret_cast<const sockaddr*>(&requester),
                   sizeof requester);
        }
    }

    void Run() {
        for (;;) {
            std::optional<TimePoint> due = replies_.NextDue();
            idle_ = !due;
            const bool spin = DueWithin(due, spinLead_);
            if (due && !spin) ArmTimer(*due - spinLead_);
            const HANDLE handles[] = {stop_, readable_, timer_};
            const DWORD count = due && !spin ? 3 : 2;
            const DWORD woke = WaitForMultipleObjects(count, handles, FALSE, spin ? 0 : INFINITE);
            if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED) break;
            if (woke == WAIT_OBJECT_0 + 1) {
                idle_ = false;
                WSAResetEvent(readable_);
                Receive();
            }
            if (spin && (due = replies_.NextDue())) SpinUntil(*due);
            replies_.SendDue();
        }
    }

    SOCKET socket_;
    FrameHandler handler_;
    ReplyQueue replies_;
    WSAEVENT readable_ = WSA_INVALID_EVENT;
    HANDLE stop_ = nullptr;
    HANDLE timer_ = nullptr;
    Micros spinLead_ = kSpinLeadHighResolution;
    std::atomic<bool> idle_{true};
    std::thread thread_;
    // Larger than any datagram, so an oversized request is seen whole.
    static constexpr size_t kMaxDatagram = 65536;
    std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kMaxDatagram);
};

}  // namespace

// The rates a Windows COM port takes (the CBR_ values).
bool IsLineSpeed(uint32_t baud) {
    constexpr uint32_t kSpeeds[] = {110,   300,   600,   1200,  2400,   4800,   9600,
                                    14400, 19200, 38400, 57600, 115200, 128000, 256000};
    return std::find(std::begin(kSpeeds), std::end(kSpeeds), baud) != std::end(kSpeeds);
}

std::unique_ptr<Server> StartUdpServer(const std::string& address, uint16_t port,
                                       FrameHandler handler, SentHandler sent, uint16_t* boundPort,
                                       std::string* why) {
    WSADATA winsock;
    const int started = WSAStartup(kWinsockVersion, &winsock);
    if (started != 0) {
        if (why) *why = console::SystemErrorText(static_cast<DWORD>(started));
        return nullptr;
    }
    SOCKET s = INVALID_SOCKET;
    sockaddr_in local{};
    // The reason is read before closesocket and WSACleanup can change it.
    auto fail = [&s, why]() -> std::unique_ptr<Server> {
        if (why) *why = console::SystemErrorText(static_cast<DWORD>(WSAGetLastError()));
        if (s != INVALID_SOCKET) closesocket(s);
        WSACleanup();
        return nullptr;
    };
    const std::optional<uint32_t> loopback = LoopbackAddress(address);
    if (!loopback) {
        WSACleanup();
        if (why) *why = "not a loopback address";
        return nullptr;
    }
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(*loopback);
    s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) return fail();
    // Without this, an ICMP "port unreachable" for one reply fails a later
    // receive (see Receive); it is only a hint here, not relied upon.
    BOOL reportReset = FALSE;
    DWORD returned = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &reportReset, sizeof reportReset, nullptr, 0, &returned, nullptr,
             nullptr);
    int length = sizeof local;
    if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return fail();
    auto server = std::make_unique<UdpServer>(s, std::move(handler), std::move(sent));
    s = INVALID_SOCKET;  // the server owns it now, and Winsock's start with it
    if (!server->Launch()) {
        if (why) *why = console::SystemErrorText(GetLastError());
        return nullptr;
    }
    if (boundPort) *boundPort = ntohs(local.sin_port);
    return server;
}

std::unique_ptr<Server> StartSerialServer(uint32_t, FrameHandler, DropHandler, SentHandler,
                                          std::string*) {
    return nullptr;
}

}  // namespace emu

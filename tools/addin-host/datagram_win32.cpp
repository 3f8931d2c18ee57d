// winsock2.h before windows.h, which would bring in the old winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <chrono>
#include <string>

#include "tools/addin-host/datagram.h"
#include "tools/console/console.h"

namespace host {

namespace {
constexpr size_t kMaxReply = 5120;
constexpr WORD kWinsockVersion = MAKEWORD(2, 2);

class Winsock {
  public:
    Winsock() { started_ = WSAStartup(kWinsockVersion, &data_) == 0; }
    ~Winsock() {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
        if (started_) WSACleanup();
    }
    Winsock(const Winsock&) = delete;
    Winsock& operator=(const Winsock&) = delete;
    bool started_ = false;
    SOCKET socket_ = INVALID_SOCKET;

  private:
    WSADATA data_{};
};
}  // namespace

bool ExchangeDatagram(const std::string& host, int port, const std::vector<uint8_t>& frame,
                      int waitMs, DatagramReply& reply, std::string& error) {
    Winsock winsock;
    if (!winsock.started_) {
        error = console::SystemErrorText(WSAGetLastError());
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    int resolved = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (resolved != 0) {
        error = host + ": " + console::SystemErrorText(resolved);
        return false;
    }
    winsock.socket_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    // Connected, so that only the scales' own datagrams are read.
    bool ready =
        winsock.socket_ != INVALID_SOCKET &&
        connect(winsock.socket_, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0 &&
        send(winsock.socket_, reinterpret_cast<const char*>(frame.data()),
             static_cast<int>(frame.size()), 0) != SOCKET_ERROR;
    freeaddrinfo(found);
    if (!ready) {
        error = console::SystemErrorText(WSAGetLastError());
        return false;
    }
    auto start = std::chrono::steady_clock::now();
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(winsock.socket_, &readable);
    constexpr int kMillisPerSecond = 1000, kMicrosPerMilli = 1000;
    timeval wait{waitMs / kMillisPerSecond, waitMs % kMillisPerSecond * kMicrosPerMilli};
    if (select(0, &readable, nullptr, nullptr, &wait) <= 0) {
        reply.seconds = waitMs / 1000.0;
        return true;
    }
    reply.bytes.resize(kMaxReply);
    int got = recv(winsock.socket_, reinterpret_cast<char*>(reply.bytes.data()),
                   static_cast<int>(reply.bytes.size()), 0);
    reply.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    reply.refused = got == SOCKET_ERROR && WSAGetLastError() == WSAECONNRESET;
    reply.bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return true;
}

emu::Clock LocalClock() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return emu::Clock{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, true};
}

}  // namespace host

// winsock2.h before windows.h, which would bring in the old winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <chrono>
#include <string>

#include "tools/addin-host/datagram.h"

namespace host {

namespace {
constexpr size_t kMaxReply = 5120;
constexpr WORD kWinsockVersion = MAKEWORD(2, 2);

// The system's text for a Winsock error, as UTF-8.
std::string SystemText(int code) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string utf8;
    if (length > 0) {
        int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                       nullptr, nullptr);
        utf8.resize(static_cast<size_t>(size));
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &utf8[0], size, nullptr,
                            nullptr);
    }
    LocalFree(text);
    while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == '.'))
        utf8.pop_back();
    return utf8.empty() ? "error " + std::to_string(code) : utf8;
}

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
        error = SystemText(WSAGetLastError());
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    int resolved = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (resolved != 0) {
        error = host + ": " + SystemText(resolved);
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
        error = SystemText(WSAGetLastError());
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

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>

#include "tests/emulator/udp_probe.h"

namespace emu_test {

namespace {
constexpr size_t kRoom = 65536;
constexpr WORD kWinsockVersion = MAKEWORD(2, 2);
}  // namespace

struct UdpProbe::Socket {
    SOCKET s = INVALID_SOCKET;
    bool winsock = false;
    // Read into once per datagram; only what came is copied out.
    Datagram room = Datagram(kRoom);
};

UdpProbe::UdpProbe(uint16_t serverPort) : socket_(std::make_unique<Socket>()) {
    WSADATA data;
    socket_->winsock = WSAStartup(kWinsockVersion, &data) == 0;
    socket_->s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(serverPort);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    if (socket_->s != INVALID_SOCKET &&
        connect(socket_->s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        closesocket(socket_->s);
        socket_->s = INVALID_SOCKET;
    }
}

UdpProbe::~UdpProbe() {
    if (socket_->s != INVALID_SOCKET) closesocket(socket_->s);
    if (socket_->winsock) WSACleanup();
}

bool UdpProbe::Ok() const {
    return socket_->s != INVALID_SOCKET;
}

bool UdpProbe::Send(const Datagram& datagram) {
    return send(socket_->s, reinterpret_cast<const char*>(datagram.data()),
                static_cast<int>(datagram.size()), 0) == static_cast<int>(datagram.size());
}

Datagram UdpProbe::ReceiveOne(int waitMs) {
    WSAPOLLFD p{socket_->s, POLLRDNORM, 0};
    if (WSAPoll(&p, 1, waitMs) <= 0) return {};
    Datagram& room = socket_->room;
    const int n =
        recv(socket_->s, reinterpret_cast<char*>(room.data()), static_cast<int>(kRoom), 0);
    return Datagram(room.begin(), room.begin() + std::max(n, 0));
}

}  // namespace emu_test

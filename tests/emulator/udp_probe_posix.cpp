#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "tests/emulator/udp_probe.h"

namespace emu_test {

namespace {
constexpr size_t kRoom = 65536;
}

struct UdpProbe::Socket {
    int fd = -1;
    // Read into once per datagram; only what came is copied out.
    Datagram room = Datagram(kRoom);
};

UdpProbe::UdpProbe(uint16_t serverPort) : socket_(std::make_unique<Socket>()) {
    socket_->fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(serverPort);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    if (socket_->fd >= 0 &&
        connect(socket_->fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(socket_->fd);
        socket_->fd = -1;
    }
}

UdpProbe::~UdpProbe() {
    if (socket_->fd >= 0) close(socket_->fd);
}

bool UdpProbe::Ok() const {
    return socket_->fd >= 0;
}

bool UdpProbe::Send(const Datagram& datagram) {
    return send(socket_->fd, datagram.data(), datagram.size(), 0) ==
           static_cast<ssize_t>(datagram.size());
}

Datagram UdpProbe::ReceiveOne(int waitMs) {
    pollfd p{socket_->fd, POLLIN, 0};
    if (poll(&p, 1, waitMs) <= 0) return {};
    Datagram& room = socket_->room;
    const ssize_t n = recv(socket_->fd, room.data(), room.size(), 0);
    return Datagram(room.begin(), room.begin() + std::max<ssize_t>(n, 0));
}

}  // namespace emu_test

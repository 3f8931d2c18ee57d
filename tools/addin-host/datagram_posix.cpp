#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "tools/addin-host/datagram.h"

namespace host {

namespace {
constexpr size_t kMaxReply = 5120;

class Socket {
  public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0) close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

  private:
    int fd_;
};
}  // namespace

bool ExchangeDatagram(const std::string& host, int port, const std::vector<uint8_t>& frame,
                      int waitMs, DatagramReply& reply, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    int resolved = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (resolved != 0) {
        error = host + ": " + gai_strerror(resolved);
        return false;
    }
    Socket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    // Connected, so that only the scales' own datagrams are read.
    bool ready = socket.fd() >= 0 && connect(socket.fd(), found->ai_addr, found->ai_addrlen) == 0 &&
                 send(socket.fd(), frame.data(), frame.size(), 0) >= 0;
    freeaddrinfo(found);
    if (!ready) {
        error = std::strerror(errno);
        return false;
    }
    auto start = std::chrono::steady_clock::now();
    pollfd wait{socket.fd(), POLLIN, 0};
    if (poll(&wait, 1, waitMs) <= 0) {
        reply.seconds = waitMs / 1000.0;
        return true;
    }
    reply.bytes.resize(kMaxReply);
    ssize_t got = recv(socket.fd(), reply.bytes.data(), reply.bytes.size(), 0);
    reply.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    reply.refused = got < 0 && errno == ECONNREFUSED;
    reply.bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return true;
}

emu::Clock LocalClock() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    constexpr int kTmYearBase = 1900;
    return emu::Clock{local.tm_year + kTmYearBase,
                      local.tm_mon + 1,
                      local.tm_mday,
                      local.tm_hour,
                      local.tm_min,
                      local.tm_sec,
                      true};
}

}  // namespace host

// The driver's side of the emulator's links for the tests: a UDP socket
// connected to it and the serial pseudo-terminal's slave device, set up the
// way a driver sets its line.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace emu_test {

using Bytes = std::vector<uint8_t>;
using SteadyClock = std::chrono::steady_clock;

inline long long MsSince(SteadyClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start)
        .count();
}

// Steady-clock microseconds, the unit of the emulator's recorded times.
inline int64_t NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               SteadyClock::now().time_since_epoch())
        .count();
}

// Bytes that arrive on fd within waitMs, one entry per read (a datagram each on UDP).
inline std::vector<Bytes> Collect(int fd, int waitMs) {
    std::vector<Bytes> chunks;
    const auto start = SteadyClock::now();
    for (;;) {
        const long long left = waitMs - MsSince(start);
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
        Bytes buffer(5120);
        const ssize_t n = read(fd, buffer.data(), buffer.size());
        if (n <= 0) break;
        buffer.resize(static_cast<size_t>(n));
        chunks.push_back(buffer);
    }
    return chunks;
}

inline Bytes Joined(const std::vector<Bytes>& chunks) {
    Bytes all;
    for (const Bytes& c : chunks) all.insert(all.end(), c.begin(), c.end());
    return all;
}

// A socket connected to the emulator on 127.0.0.1.
class UdpClient {
  public:
    explicit UdpClient(uint16_t port) {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
        connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    ~UdpClient() { close(fd_); }
    UdpClient(const UdpClient&) = delete;
    UdpClient& operator=(const UdpClient&) = delete;

    bool Send(const Bytes& frame) {
        return send(fd_, frame.data(), frame.size(), 0) == static_cast<ssize_t>(frame.size());
    }
    // Every datagram that arrives within waitMs.
    std::vector<Bytes> Receive(int waitMs) { return Collect(fd_, waitMs); }
    // The first datagram within waitMs ({} when none came).
    Bytes ReceiveOne(int waitMs) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, waitMs) <= 0) return {};
        Bytes reply(5120);
        const ssize_t n = recv(fd_, reply.data(), reply.size(), 0);
        reply.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return reply;
    }

  private:
    int fd_ = -1;
};

// Sets the line raw, at `speed` (a B constant), with the given character
// format bits (CS8, CS7 | PARENB, CS8 | CSTOPB...), as a driver does.
inline bool SetLine(int fd, speed_t speed, tcflag_t format = CS8) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag = (tio.c_cflag & ~(CSIZE | PARENB | PARODD | CSTOPB)) | format;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

// The slave device opened with its line set (-1 on failure).
inline int OpenSerial(const std::string& path, speed_t speed = B4800, tcflag_t format = CS8) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd >= 0 && !SetLine(fd, speed, format)) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace emu_test

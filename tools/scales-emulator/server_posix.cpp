#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <thread>

#include "decoder.h"
#include "server.h"

namespace emu {
namespace {

using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;

void SetNonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// One background thread around one descriptor: waits for input, for the next
// reply chunk that falls due and for the stop signal (a self-pipe).
class PollingServer : public Server {
  public:
    explicit PollingServer(int fd) : fd_(fd) {}
    ~PollingServer() override { PollingServer::Stop(); }

    bool Launch() {
        if (pipe(wake_) != 0) return false;
        SetNonBlocking(fd_);
        thread_ = std::thread([this] { Run(); });
        return true;
    }

    void Stop() override {
        if (thread_.joinable()) {
            stopping_ = true;
            const char byte = 0;
            [[maybe_unused]] ssize_t n = write(wake_[1], &byte, 1);
            thread_.join();
        }
        for (int* fd : {&fd_, &wake_[0], &wake_[1]}) {
            if (*fd >= 0) close(*fd);
            *fd = -1;
        }
    }

  protected:
    // Called when the descriptor is readable.
    virtual void Receive() = 0;
    // Called when nothing arrived for a while (ms since the last input).
    virtual int IdleDeadlineMs() const { return -1; }
    virtual void OnIdle() {}

    struct Outgoing {
        std::vector<uint8_t> bytes;
        sockaddr_in to;
    };
    // Every chunk that has fallen due, in the order planned.
    virtual void SendAll(const std::vector<Outgoing>& due) = 0;

    void Schedule(const PlannedReply& reply, const sockaddr_in& to) {
        const TimePoint now = SteadyClock::now();
        for (size_t k = 0; k < reply.chunks.size(); ++k) {
            const auto at = now + std::chrono::milliseconds(reply.delayMs) +
                            std::chrono::milliseconds(reply.gapMs) * static_cast<int>(k);
            // multimap keeps chunks due at the same moment in the order added
            queue_.emplace(at, Outgoing{reply.chunks[k], to});
        }
    }

    int fd_ = -1;
    TimePoint lastInput_ = SteadyClock::now();

  private:
    int NextTimeoutMs() const {
        int timeout = -1;
        const TimePoint now = SteadyClock::now();
        auto msUntil = [&](TimePoint t) {
            auto ms = std::chrono::ceil<std::chrono::milliseconds>(t - now).count();
            return static_cast<int>(std::max<decltype(ms)>(ms, 0));
        };
        if (!queue_.empty()) timeout = msUntil(queue_.begin()->first);
        const int idle = IdleDeadlineMs();
        if (idle >= 0) {
            const int untilIdle = msUntil(lastInput_ + std::chrono::milliseconds(idle));
            timeout = timeout < 0 ? untilIdle : std::min(timeout, untilIdle);
        }
        return timeout;
    }

    void SendDue() {
        const TimePoint now = SteadyClock::now();
        std::vector<Outgoing> due;
        while (!queue_.empty() && queue_.begin()->first <= now) {
            due.push_back(std::move(queue_.begin()->second));
            queue_.erase(queue_.begin());
        }
        if (!due.empty()) SendAll(due);
    }

    void Run() {
        while (!stopping_) {
            pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            const int ready = poll(fds, 2, NextTimeoutMs());
            if (ready < 0 && errno != EINTR) break;
            if (fds[1].revents) break;
            if (fds[0].revents & POLLIN) {
                lastInput_ = SteadyClock::now();
                Receive();
            }
            const int idle = IdleDeadlineMs();
            if (idle >= 0 && SteadyClock::now() - lastInput_ >= std::chrono::milliseconds(idle))
                OnIdle();
            SendDue();
        }
    }

    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::multimap<TimePoint, Outgoing> queue_;
};

class UdpServer : public PollingServer {
  public:
    UdpServer(int fd, FrameHandler handler) : PollingServer(fd), handler_(std::move(handler)) {}
    // The thread calls Receive and Send: stop it while they still exist.
    ~UdpServer() override { Stop(); }

  private:
    void Receive() override {
        for (;;) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n = recvfrom(fd_, buffer_.data(), buffer_.size(), 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n < 0) return;
            // The reply goes back to whichever address the request came from.
            Schedule(handler_(buffer_.data(), static_cast<size_t>(n)), from);
        }
    }

    // The datagrams of a split reply go out in one system call, as a device
    // that sends them back to back would: the receiver finds them all waiting.
    void SendAll(const std::vector<Outgoing>& due) override {
        std::vector<mmsghdr> messages(due.size());
        std::vector<iovec> parts(due.size());
        for (size_t i = 0; i < due.size(); ++i) {
            parts[i].iov_base = const_cast<uint8_t*>(due[i].bytes.data());
            parts[i].iov_len = due[i].bytes.size();
            messages[i] = mmsghdr{};
            messages[i].msg_hdr.msg_name = const_cast<sockaddr_in*>(&due[i].to);
            messages[i].msg_hdr.msg_namelen = sizeof(sockaddr_in);
            messages[i].msg_hdr.msg_iov = &parts[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        size_t sent = 0;
        while (sent < due.size()) {
            const int n =
                sendmmsg(fd_, messages.data() + sent, static_cast<unsigned>(due.size() - sent), 0);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
    }

    FrameHandler handler_;
    // Larger than any datagram, so an oversized request is seen whole.
    static constexpr size_t kMaxDatagram = 65536;
    std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kMaxDatagram);
};

// The serial line is a byte stream: requests are cut into 259-byte frames.
// A driver writes a frame in one go, so bytes that stay incomplete for a
// while are a broken frame; they are given up so the next frame lines up.
class SerialServer : public PollingServer {
  public:
    SerialServer(int master, int slave, FrameHandler handler, DropHandler dropped)
        : PollingServer(master),
          slave_(slave),
          handler_(std::move(handler)),
          dropped_(std::move(dropped)) {}
    ~SerialServer() override {
        Stop();
        if (slave_ >= 0) close(slave_);
    }

  private:
    static constexpr int kIncompleteFrameMs = 300;

    void Receive() override {
        uint8_t buffer[4096];
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n <= 0) return;
        pending_.insert(pending_.end(), buffer, buffer + n);
        while (pending_.size() >= kFrameSize) {
            Schedule(handler_(pending_.data(), kFrameSize), sockaddr_in{});
            pending_.erase(pending_.begin(), pending_.begin() + kFrameSize);
        }
    }

    int IdleDeadlineMs() const override { return pending_.empty() ? -1 : kIncompleteFrameMs; }

    void OnIdle() override {
        if (pending_.empty()) return;
        dropped_(pending_.data(), pending_.size());
        pending_.clear();
    }

    void SendAll(const std::vector<Outgoing>& due) override {
        // Non-blocking: when the driver does not read, its input queue fills
        // and further reply bytes are lost, as on a real line.
        for (const Outgoing& chunk : due) {
            [[maybe_unused]] ssize_t n = write(fd_, chunk.bytes.data(), chunk.bytes.size());
        }
    }

    // Held open so that the master never sees a hang-up between the
    // driver's sessions.
    int slave_;
    FrameHandler handler_;
    DropHandler dropped_;
    std::vector<uint8_t> pending_;
};

}  // namespace

bool IsLoopbackAddress(const std::string& address) {
    if (address == "localhost") return true;
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
    constexpr uint32_t kLoopbackNet = 127;
    return (ntohl(parsed.s_addr) >> 24) == kLoopbackNet;
}

std::unique_ptr<Server> StartUdpServer(const std::string& address, uint16_t port,
                                       FrameHandler handler, uint16_t* boundPort) {
    if (!IsLoopbackAddress(address)) return nullptr;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    const std::string numeric = address == "localhost" ? "127.0.0.1" : address;
    inet_pton(AF_INET, numeric.c_str(), &local.sin_addr);

    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return nullptr;
    socklen_t length = sizeof local;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        close(fd);
        return nullptr;
    }
    auto server = std::make_unique<UdpServer>(fd, std::move(handler));
    if (!server->Launch()) return nullptr;
    if (boundPort) *boundPort = ntohs(local.sin_port);
    return server;
}

std::unique_ptr<Server> StartSerialServer(FrameHandler handler, DropHandler dropped,
                                          std::string* devicePath) {
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return nullptr;
    // Raw: no echo, no line editing, no CR/LF translation of the frame bytes.
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    auto server =
        std::make_unique<SerialServer>(master, slave, std::move(handler), std::move(dropped));
    if (!server->Launch()) return nullptr;
    if (devicePath) *devicePath = name;
    return server;
}

}  // namespace emu

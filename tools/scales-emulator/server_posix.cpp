#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <optional>
#include <thread>

#include "decoder.h"
#include "reply_queue.h"
#include "server.h"

namespace emu {
namespace {

// A timed wake-up comes late by the timer slack plus the scheduler's latency,
// a few hundred microseconds on a busy machine.
constexpr Micros kSpinLead{400};
// The server thread's own timer slack (the default 50 us would be added to
// every timed wake-up).
constexpr unsigned long kTimerSlackNs = 1000;
// Above every normally scheduled thread, below the system's own real-time ones.
constexpr int kRealtimePriority = 10;

void SetNonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

void CloseOnce(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// One background thread around one descriptor: waits for input, for the
// next event that falls due (a reply chunk, a frame completing on a modelled
// line) and for the stop signal (a self-pipe).  Waits are absolute: a
// monotonic timer armed for the due time, never a sleep of a computed length.
class PollingServer : public Server {
  public:
    PollingServer(int fd, SentHandler sent)
        : fd_(fd),
          replies_([this](const Chunks& chunks, size_t from, size_t count,
                          const PeerAddress& to) { SendChunks(chunks, from, count, to); },
                   std::move(sent)) {}
    ~PollingServer() override { PollingServer::Stop(); }

    bool Launch() {
        if (pipe2(wake_, O_CLOEXEC) != 0) return false;
        timer_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (timer_ < 0) return false;
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
        for (int* fd : {&fd_, &wake_[0], &wake_[1], &timer_}) CloseOnce(*fd);
    }

    bool SetRealtime(bool on) override {
        if (!thread_.joinable()) return false;
        sched_param param{};
        param.sched_priority = on ? kRealtimePriority : 0;
        if (pthread_setschedparam(thread_.native_handle(), on ? SCHED_FIFO : SCHED_OTHER, &param) !=
            0)
            return false;
        int policy = SCHED_OTHER;
        pthread_getschedparam(thread_.native_handle(), &policy, &param);
        return policy == SCHED_FIFO;
    }

    bool Idle() const override {
        // Input first: the thread marks itself busy before it reads, so input
        // that is gone from the descriptor shows in idle_.
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) return false;
        return idle_;
    }

  protected:
    // Called when the descriptor is readable, with the time it was seen so.
    virtual void Receive(TimePoint now) = 0;
    // Events of a modelled line (frames completing, fragments given up).
    virtual std::optional<TimePoint> NextLineEvent() const { return std::nullopt; }
    virtual void HandleLineEvents(TimePoint /*now*/) {}
    virtual void SendChunks(const Chunks& chunks, size_t from, size_t count,
                            const PeerAddress& to) = 0;

    int fd_ = -1;
    ReplyQueue replies_;

  private:
    std::optional<TimePoint> NextDue() const {
        std::optional<TimePoint> next = NextLineEvent();
        const std::optional<TimePoint> reply = replies_.NextDue();
        if (reply && (!next || *reply < *next)) next = reply;
        return next;
    }

    void ArmTimer(std::optional<TimePoint> due) {
        itimerspec wake{};
        if (due) {
            const auto at =
                std::chrono::duration_cast<Nanos>((*due - kSpinLead).time_since_epoch());
            constexpr int64_t kNanosPerSecond = 1000000000;
            // A zero time would disarm the timer; the epoch is long past anyway.
            const int64_t ns = std::max<int64_t>(1, at.count());
            wake.it_value.tv_sec = static_cast<time_t>(ns / kNanosPerSecond);
            wake.it_value.tv_nsec = static_cast<long>(ns % kNanosPerSecond);
        }
        timerfd_settime(timer_, TFD_TIMER_ABSTIME, &wake, nullptr);
    }

    void HandleDue() {
        HandleLineEvents(SteadyClock::now());
        replies_.SendDue();
    }

    void Run() {
        prctl(PR_SET_TIMERSLACK, kTimerSlackNs);
        while (!stopping_) {
            std::optional<TimePoint> due = NextDue();
            idle_ = !due;
            const bool spin = DueWithin(due, kSpinLead);
            if (!spin) ArmTimer(due);
            pollfd fds[3] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}, {timer_, POLLIN, 0}};
            const int ready = poll(fds, 3, spin ? 0 : -1);
            if (ready < 0 && errno != EINTR) break;
            if (fds[1].revents) break;
            if (fds[2].revents & POLLIN) {
                uint64_t expirations = 0;
                [[maybe_unused]] ssize_t n = read(timer_, &expirations, sizeof expirations);
            }
            if (fds[0].revents & POLLIN) {
                idle_ = false;
                Receive(SteadyClock::now());
            }
            if (spin && (due = NextDue())) SpinUntil(*due);
            HandleDue();
        }
    }

    int wake_[2] = {-1, -1};
    int timer_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> idle_{true};
    std::thread thread_;
};

class UdpServer : public PollingServer {
  public:
    UdpServer(int fd, FrameHandler handler, SentHandler sent)
        : PollingServer(fd, std::move(sent)), handler_(std::move(handler)) {}
    // The thread calls Receive and SendChunks: stop it while they still exist.
    ~UdpServer() override { Stop(); }

  private:
    void Receive(TimePoint /*now*/) override {
        for (;;) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n = recvfrom(fd_, buffer_.data(), buffer_.size(), 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n < 0) return;
            // The reply goes back to whichever address the request came from.
            replies_.AnswerDatagram(buffer_.data(), static_cast<size_t>(n), PeerAddress::Of(from),
                                    handler_);
        }
    }

    // Chunks that leave together go out in one system call, as from a device
    // that sends them back to back: the receiver finds them all waiting.
    void SendChunks(const Chunks& chunks, size_t from, size_t count,
                    const PeerAddress& to) override {
        sockaddr_in requester = to.As<sockaddr_in>();
        std::vector<mmsghdr> messages(count);
        std::vector<iovec> parts(count);
        for (size_t i = 0; i < count; ++i) {
            const std::vector<uint8_t>& chunk = chunks[from + i];
            parts[i].iov_base = const_cast<uint8_t*>(chunk.data());
            parts[i].iov_len = chunk.size();
            messages[i] = mmsghdr{};
            messages[i].msg_hdr.msg_name = &requester;
            messages[i].msg_hdr.msg_namelen = sizeof(sockaddr_in);
            messages[i].msg_hdr.msg_iov = &parts[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        size_t sent = 0;
        while (sent < count) {
            const int n =
                sendmmsg(fd_, messages.data() + sent, static_cast<unsigned>(count - sent), 0);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
    }

    FrameHandler handler_;
    // Larger than any datagram, so an oversized request is seen whole.
    static constexpr size_t kMaxDatagram = 65536;
    std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kMaxDatagram);
};

struct SpeedCode {
    uint32_t baud;
    speed_t code;
};

constexpr SpeedCode kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800}, {921600, B921600},
#endif
};

// 0 for a speed code outside the table (B0: the line hung up).
uint32_t BaudOf(speed_t code) {
    for (const SpeedCode& s : kSpeeds) {
        if (s.code == code) return s.baud;
    }
    return 0;
}

// How the driver has set its side of the line, as "9600 8N1".  A Linux
// pseudo-terminal keeps 8 data bits and no parity whatever it is told, so
// there only the speed and the stop bits can differ from the scales'.
struct LineSetting {
    std::string text;
    bool mismatch = false;
};

LineSetting DescribeLine(const termios& tio, uint32_t scalesBaud) {
    constexpr int kScalesDataBits = 8;
    const uint32_t out = BaudOf(cfgetospeed(&tio));
    const uint32_t in = BaudOf(cfgetispeed(&tio));
    int dataBits = 8;
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            dataBits = 5;
            break;
        case CS6:
            dataBits = 6;
            break;
        case CS7:
            dataBits = 7;
            break;
        default:
            break;
    }
    char parity = 'N';
    if (tio.c_cflag & PARENB) parity = (tio.c_cflag & PARODD) ? 'O' : 'E';
#ifdef CMSPAR
    if ((tio.c_cflag & PARENB) && (tio.c_cflag & CMSPAR))
        parity = (tio.c_cflag & PARODD) ? 'M' : 'S';
#endif
    const int stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    LineSetting line;
    line.text = std::to_string(out) + (in != 0 && in != out ? "/" + std::to_string(in) : "") + " " +
                std::to_string(dataBits) + parity + std::to_string(stopBits);
    // An input speed of 0 means "the same as the output speed".
    line.mismatch = out != scalesBaud || (in != 0 && in != scalesBaud) ||
                    dataBits != kScalesDataBits || parity != 'N' || stopBits != 1;
    return line;
}

// The serial line is a byte stream that the scales receive at their own pace:
// one character (start bit, 8 data bits, stop bit) per 10 bit times, and no
// byte before the one ahead of it is complete.  A pseudo-terminal hands over
// the driver's bytes at once, so the line is modelled by bookkeeping: each
// byte gets the time it would be complete on a real line, and a frame is
// taken only when its 259th byte is.  Replies go out the same way, one byte
// per character time.  Bytes that stay incomplete for a while are a broken
// frame; they are given up so the next frame lines up.
class SerialServer : public PollingServer {
  public:
    SerialServer(int master, int slave, uint32_t baud, FrameHandler handler, DropHandler dropped,
                 SentHandler sent)
        : PollingServer(master, std::move(sent)),
          slave_(slave),
          baud_(baud),
          characterTime_(CharacterTime(baud)),
          handler_(std::move(handler)),
          dropped_(std::move(dropped)) {}
    ~SerialServer() override {
        Stop();
        CloseOnce(slave_);
    }

  private:
    static constexpr Millis kIncompleteFrame{300};
    static constexpr int64_t kBitsPerCharacter = 10;

    // Rounded up, so that 259 characters never take less than the line's time.
    static Nanos CharacterTime(uint32_t baud) {
        constexpr int64_t kNanosPerSecond = 1000000000;
        return Nanos((kBitsPerCharacter * kNanosPerSecond + baud - 1) / baud);
    }

    struct LineFrame {
        TimePoint done;
        std::vector<uint8_t> bytes;
        LineSetting line;
    };

    LineSetting DriverLine() const {
        termios tio{};
        if (tcgetattr(slave_, &tio) != 0) return {"unknown", true};
        return DescribeLine(tio, baud_);
    }

    void Receive(TimePoint now) override {
        // The driver sets its line before it writes, so the setting read now
        // is the one the bytes were sent with.
        const LineSetting line = DriverLine();
        uint8_t buffer[4096];
        for (;;) {
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n <= 0) return;
            TimePoint done = std::max(now, receiverFreeAt_);
            // A frame whose bytes came with the wrong setting is noise, even
            // when the setting was put right half-way through it.
            if (!partial_.empty()) {
                partialLine_.text = line.text;
                partialLine_.mismatch = partialLine_.mismatch || line.mismatch;
            }
            for (ssize_t i = 0; i < n; ++i) {
                done += characterTime_;
                if (partial_.empty()) partialLine_ = line;
                partial_.push_back(buffer[i]);
                if (partial_.size() < kFrameSize) continue;
                lineFrames_.push_back(LineFrame{done, std::move(partial_), partialLine_});
                partial_.clear();
            }
            receiverFreeAt_ = done;
        }
    }

    std::optional<TimePoint> NextLineEvent() const override {
        if (!lineFrames_.empty()) return lineFrames_.front().done;
        if (!partial_.empty()) return receiverFreeAt_ + kIncompleteFrame;
        return std::nullopt;
    }

    void HandleLineEvents(TimePoint now) override {
        while (!lineFrames_.empty() && lineFrames_.front().done <= now) {
            const LineFrame frame = std::move(lineFrames_.front());
            lineFrames_.pop_front();
            const ArrivedFrame arrived = Arrived(frame.bytes, frame.done, frame.line);
            ScheduleOnLine(handler_(arrived), frame.done);
        }
        if (lineFrames_.empty() && !partial_.empty() && now >= receiverFreeAt_ + kIncompleteFrame) {
            dropped_(Arrived(partial_, receiverFreeAt_, partialLine_));
            partial_.clear();
            partialLine_ = LineSetting{};
        }
    }

    static ArrivedFrame Arrived(const std::vector<uint8_t>& bytes, TimePoint done,
                                const LineSetting& line) {
        ArrivedFrame arrived;
        arrived.bytes = bytes.data();
        arrived.count = bytes.size();
        arrived.receivedUs = MicrosOf(done);
        arrived.driverLine = line.text;
        arrived.lineMismatch = line.mismatch;
        return arrived;
    }

    // The scales start sending once their delay is over and their previous
    // reply has left; the first byte is complete one character time later.
    void ScheduleOnLine(const PlannedReply& plan, TimePoint frameDone) {
        std::vector<std::vector<uint8_t>> bytes;
        for (const auto& chunk : plan.chunks) {
            for (uint8_t b : chunk) bytes.push_back({b});
        }
        if (bytes.empty()) return;
        const TimePoint start = std::max(frameDone + Millis(plan.delayMs), transmitterFreeAt_);
        const Nanos gap = characterTime_ + Micros(plan.gapUs);
        const TimePoint first = start + characterTime_;
        transmitterFreeAt_ = first + gap * static_cast<int64_t>(bytes.size() - 1);
        replies_.Schedule(std::move(bytes), first, gap, PeerAddress{}, plan.record);
    }

    void SendChunks(const Chunks& chunks, size_t from, size_t count,
                    const PeerAddress& /*to*/) override {
        // Non-blocking: when the driver does not read, its input queue fills
        // and further reply bytes are lost, as on a real line.
        for (size_t i = from; i < from + count; ++i) {
            const std::vector<uint8_t>& chunk = chunks[i];
            [[maybe_unused]] ssize_t n = write(fd_, chunk.data(), chunk.size());
        }
    }

    // Held open so that the master never sees a hang-up between the
    // driver's sessions, and read for the driver's line setting.
    int slave_;
    const uint32_t baud_;
    const Nanos characterTime_;
    FrameHandler handler_;
    DropHandler dropped_;
    TimePoint receiverFreeAt_{};
    TimePoint transmitterFreeAt_{};
    std::vector<uint8_t> partial_;
    LineSetting partialLine_;
    std::deque<LineFrame> lineFrames_;
};

}  // namespace

bool IsLineSpeed(uint32_t baud) {
    return baud != 0 && std::any_of(std::begin(kSpeeds), std::end(kSpeeds),
                                    [baud](const SpeedCode& s) { return s.baud == baud; });
}

std::unique_ptr<Server> StartUdpServer(const std::string& address, uint16_t port,
                                       FrameHandler handler, SentHandler sent, uint16_t* boundPort,
                                       std::string* why) {
    auto fail = [why](const char* reason) -> std::unique_ptr<Server> {
        if (why) *why = reason;
        return nullptr;
    };
    const std::optional<uint32_t> loopback = LoopbackAddress(address);
    if (!loopback) return fail("not a loopback address");
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(*loopback);

    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return fail(std::strerror(errno));
    socklen_t length = sizeof local;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        const int reason = errno;
        close(fd);
        return fail(std::strerror(reason));
    }
    auto server = std::make_unique<UdpServer>(fd, std::move(handler), std::move(sent));
    if (!server->Launch()) return fail(std::strerror(errno));
    if (boundPort) *boundPort = ntohs(local.sin_port);
    return server;
}

std::unique_ptr<Server> StartSerialServer(uint32_t baud, FrameHandler handler, DropHandler dropped,
                                          SentHandler sent, std::string* devicePath) {
    if (!IsLineSpeed(baud)) return nullptr;
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return nullptr;
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    // Raw: no echo, no line editing, no CR/LF translation of the frame bytes.
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    auto server = std::make_unique<SerialServer>(master, slave, baud, std::move(handler),
                                                 std::move(dropped), std::move(sent));
    if (!server->Launch()) return nullptr;
    if (devicePath) *devicePath = name;
    return server;
}

}  // namespace emu

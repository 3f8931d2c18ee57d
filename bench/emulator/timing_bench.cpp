// How closely the scales emulator keeps the times it plans: the gap between
// the datagrams of a split reply, a reply's delay, and the serial line's pace.
// Figures come from the emulator's own records (when each chunk left) and,
// for the serial line, from the driver's side.  Prints the overshoot beyond
// the planned time (it is never early): median, 99th percentile, maximum.
// Usage: bench_emulator_timing [replies] [--realtime]
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/emulator/overshoot.h"
#include "tests/emulator/udp_probe.h"
#include "tools/scales-emulator/emulator.h"

namespace {

constexpr int kDefaultReplies = 200;
constexpr int kSplitGapUs = 300;
constexpr int kDelayMs = 20;
constexpr uint32_t kSerialBaud = 38400;
constexpr int kSerialFrames = 40;
constexpr int64_t kFrameSize = 259;
constexpr int64_t kBitsPerCharacter = 10;
constexpr int kReplyWaitMs = 2000;

int64_t NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::vector<uint8_t> ClockFrame() {
    std::vector<uint8_t> frame(kFrameSize, 0);
    const uint8_t head[] = {0x0E, 0x01, 0x00, 0, 0, 0, 0, 0x24, 0x03, 0x05, 0x09, 0x07, 0x45};
    std::memcpy(frame.data(), head, sizeof head);
    return frame;
}

// Reads datagrams until `count` came or the wait is over; counts the tails
// that were already waiting when the first datagram was read.
void ReceiveReply(emu_test::UdpProbe& probe, int count, int* tailsWaiting) {
    int got = 0;
    while (got < count && !probe.ReceiveOne(kReplyWaitMs).empty()) {
        if (++got == 1 && !probe.ReceiveOne(0).empty()) {
            ++*tailsWaiting;
            ++got;
        }
    }
}

// Sends `replies` clock frames, each once the reply to the one before has
// come (or its wait is over), and returns the emulator's records of them.
std::vector<emu::ReceivedFrame> Exchange(emu::ScalesEmulator& emulator, const emu::Faults& faults,
                                         int replies, int* tailsWaiting) {
    emulator.SetFaults(faults);
    emulator.ClearFrames();
    {
        emu_test::UdpProbe probe(emulator.UdpPort());
        const emu_test::Datagram frame = ClockFrame();
        for (int i = 0; i < replies; ++i) {
            probe.Send(frame);
            ReceiveReply(probe, faults.splitDatagrams, tailsWaiting);
        }
    }
    emulator.WaitUntilIdle(kReplyWaitMs);
    return emulator.Frames();
}

void SplitGaps(emu::ScalesEmulator& emulator, int replies) {
    emu::Faults faults;
    faults.splitDatagrams = 3;
    faults.splitGapUs = kSplitGapUs;
    int tailsWaiting = 0;
    std::vector<int64_t> overshoot;
    for (const emu::ReceivedFrame& f : Exchange(emulator, faults, replies, &tailsWaiting)) {
        for (size_t k = 1; k < f.replySentUs.size(); ++k)
            overshoot.push_back(f.replySentUs[k] - f.replySentUs[k - 1] - kSplitGapUs);
    }
    bench::ReportOvershoot("UDP split gap 300 us", overshoot);
    // Counted by this program's own thread, so it also shows how late the
    // reader woke up: a reader held off for the gap finds the tail waiting.
    std::printf("%-34s %d of %d replies\n", "  tail waiting when the first read", tailsWaiting,
                replies);
}

void Delays(emu::ScalesEmulator& emulator, int replies) {
    emu::Faults faults;
    faults.delayMs = kDelayMs;
    int unused = 0;
    std::vector<int64_t> overshoot;
    for (const emu::ReceivedFrame& f : Exchange(emulator, faults, replies, &unused)) {
        if (!f.replySentUs.empty())
            overshoot.push_back(f.replySentUs[0] - f.receivedUs - kDelayMs * 1000);
    }
    bench::ReportOvershoot("UDP delay 20 ms", overshoot);
}

// The driver's side writes a whole frame at once and waits for the reply's
// byte: the line's time for 259 + 1 characters, and the emulator's lateness.
void SerialPace(emu::ScalesEmulator& emulator) {
    emulator.SetFaults(emu::Faults{});
    const int fd = open(emulator.StartSerial(kSerialBaud).c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        std::printf("serial line did not start\n");
        return;
    }
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B38400);
    cfsetospeed(&tio, B38400);
    tcsetattr(fd, TCSANOW, &tio);
    const int64_t characterUs = kBitsPerCharacter * 1000000 / kSerialBaud;
    const std::vector<uint8_t> frame = ClockFrame();
    std::vector<int64_t> seen;
    for (int i = 0; i < kSerialFrames; ++i) {
        const int64_t start = NowUs();
        if (write(fd, frame.data(), frame.size()) != kFrameSize) break;
        pollfd p{fd, POLLIN, 0};
        uint8_t reply = 0;
        if (poll(&p, 1, kReplyWaitMs) <= 0 || read(fd, &reply, 1) != 1) break;
        seen.push_back(NowUs() - start - (kFrameSize + 1) * characterUs);
    }
    close(fd);
    bench::ReportOvershoot("serial 38400: reply seen by driver", seen);
}

}  // namespace

int main(int argc, char** argv) {
    int replies = kDefaultReplies;
    bool realtime = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--realtime") == 0)
            realtime = true;
        else
            replies = std::max(1, std::atoi(argv[i]));
    }
    emu::ScalesEmulator emulator;
    if (!emulator.StartUdp("127.0.0.1", 0)) {
        std::printf("emulator did not start\n");
        return 1;
    }
    if (realtime) {
        std::printf("real-time scheduling: %s\n",
                    emulator.SetRealtime(true) ? "on (SCHED_FIFO)" : "not granted");
    }
    SplitGaps(emulator, replies);
    Delays(emulator, replies);
    SerialPace(emulator);
    return 0;
}

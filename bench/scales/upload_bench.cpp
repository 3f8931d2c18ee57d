// Goods upload against the in-process scales emulator on 127.0.0.1, as
// UploadGoods does it (clock + goods record per good), in four settings:
//  (a) scales answering after 2, 5 and 20 ms: goods/s as a share of the
//      device's limit, two exchanges a good, each as long as a raw round
//      trip to the same emulator measured here with a plain UDP socket;
//  (b) a scales answering at once while two spinning processes hold both
//      processors;
//  (c) a serial line at 9600 baud: goods/s against the line's own limit,
//      two 259-byte frames and their replies at 10 bits a byte;
//  (d) a scales answering after 2 ms with each reply in two datagrams 0.3 or
//      0.5 ms apart (sent from a real-time thread): how many replies kept
//      their gap, in how many goods the driver's thread was held up past a
//      tail window (it then retries the frame), and whether any verdict of
//      the others went wrong.
// Usage: bench_scales_upload [goods]   (goods for (a), (b) and (d); (c)
// uploads 10)
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "scales/exchange.h"
#include "scales/rongta1000.h"
#include "tests/emulator/udp_probe.h"
#include "tools/scales-emulator/emulator.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultGoods = 100;
constexpr int kLineGoods = 10;  // about half a second each at 9600 baud
constexpr int kLineBaud = 9600;
constexpr int kSpinners = 2;
constexpr double kLoadedTarget = 1000.0;
constexpr double kLineShareTarget = 0.85;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Seconds goods [first, first + count) take, or a negative number when a
// good failed.
double UploadSeconds(CScalesRongta1000& scales, int first, int count) {
    const auto start = Clock::now();
    for (int i = first; i < first + count; ++i) {
        const std::u16string name =
            u"Товар " + std::u16string(1, static_cast<char16_t>(u'А' + i % 32));
        const int32_t result = scales.SendGood(name, i, 100000 + i, 1000 + i, 10);
        if (result != 0) {
            std::printf("  good %d failed with code %d\n", i, result);
            return -1;
        }
    }
    return SecondsSince(start);
}

// Goods per second, or a negative number when a good failed.
double Upload(CScalesRongta1000& scales, int goods) {
    const double seconds = UploadSeconds(scales, 1, goods);
    return seconds < 0 ? seconds : goods / seconds;
}

// Seconds `goods` goods' worth of raw round trips take over a plain UDP
// socket: the device's own pace, with no driver in between.  The frames are
// the upload's own, a clock and a goods record in turn.
double RawRoundTrips(emu_test::UdpProbe& probe, int goods) {
    constexpr int kReplyWaitMs = 2000;
    scales::GoodsFields fields;
    fields.code = fields.plu = 1;
    const scales::Frame clock = scales::BuildClockFrame({2024, 3, 5, 9, 7, 45});
    const scales::Frame record = scales::BuildGoodsFrame("Goods", fields);
    const emu_test::Datagram frames[] = {{clock.begin(), clock.end()},
                                         {record.begin(), record.end()}};
    const auto start = Clock::now();
    for (int i = 0; i < 2 * goods; ++i) {
        probe.Send(frames[i % 2]);
        probe.ReceiveOne(kReplyWaitMs);
    }
    return SecondsSince(start);
}

bool ConnectUdp(CScalesRongta1000& scales, emu::ScalesEmulator& emulator) {
    scales.SetKeepOpen(1);
    return emulator.StartUdp("127.0.0.1", 0) &&
           scales.ConnectByEthernet("127.0.0.1", emulator.UdpPort(), 0) == 0;
}

void ReportTally(const CScalesRongta1000& scales) {
    const scales::ExchangeTally& tally = scales.Tally();
    std::printf(
        "    replies %llu, late replies credited %llu, stale dropped %llu, tail windows "
        "overrun %llu\n",
        static_cast<unsigned long long>(tally.replies),
        static_cast<unsigned long long>(tally.lateCredited),
        static_cast<unsigned long long>(tally.staleDropped),
        static_cast<unsigned long long>(tally.tailsOverrun));
}

// A scales answering after `answerMs`: the upload's share of its limit.
// Raw round trips and the upload take turns, ten goods at a time, so that a
// machine whose load changes during the run weighs on both alike.
bool SlowScales(int goods, int answerMs, double target) {
    constexpr int kTurn = 10;
    emu::ScalesEmulator emulator;
    CScalesRongta1000 scales;
    if (!ConnectUdp(scales, emulator)) return false;
    emu::Faults slow;
    slow.delayMs = answerMs;
    emulator.SetFaults(slow);
    emu_test::UdpProbe probe(emulator.UdpPort());
    double rawSeconds = 0;
    double uploadSeconds = 0;
    for (int first = 1; first <= goods; first += kTurn) {
        const int count = std::min(kTurn, goods - first + 1);
        rawSeconds += RawRoundTrips(probe, count);
        const double seconds = UploadSeconds(scales, first, count);
        if (seconds < 0) return false;
        uploadSeconds += seconds;
    }
    const double trip = rawSeconds / (2 * goods);
    const double limit = 1.0 / (2 * trip);
    const double rate = goods / uploadSeconds;
    std::printf(
        "(a) scales answering after %2d ms: raw round trip %.3f ms, limit %.1f goods/s; "
        "%d goods at %.1f goods/s = %.3f of the limit (target %.2f)\n",
        answerMs, trip * 1000, limit, goods, rate, rate / limit, target);
    ReportTally(scales);
    return true;
}

// Processes that keep a processor busy until they are killed, or until this
// one ends, however it ends.
std::vector<pid_t> StartSpinners(int count) {
    std::vector<pid_t> spinners;
    for (int i = 0; i < count; ++i) {
        const pid_t child = fork();
        if (child == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            for (volatile unsigned long n = 0;; n = n + 1) {
            }
        }
        if (child > 0) spinners.push_back(child);
    }
    return spinners;
}

void StopSpinners(const std::vector<pid_t>& spinners) {
    for (pid_t child : spinners) kill(child, SIGKILL);
    for (pid_t child : spinners) waitpid(child, nullptr, 0);
}

bool BusyMachine(int goods) {
    emu::ScalesEmulator emulator;
    CScalesRongta1000 scales;
    if (!ConnectUdp(scales, emulator)) return false;
    const std::vector<pid_t> spinners = StartSpinners(kSpinners);
    const double rate = Upload(scales, goods);
    StopSpinners(spinners);
    if (rate < 0) return false;
    std::printf(
        "(b) scales answering at once, %d spinning processes: %d goods: %.0f goods/s "
        "(target %.0f)\n",
        kSpinners, goods, rate, kLoadedTarget);
    ReportTally(scales);
    return true;
}

// Two frames a good and a one-byte reply to each, 10 bits a byte.
double LineLimit(uint32_t baud) {
    constexpr size_t kReplyBytes = 1;
    const int64_t goodUs = scales::LineTimeUs(2 * (scales::kFrameSize + kReplyBytes), baud);
    return 1e6 / static_cast<double>(goodUs);
}

bool SerialLine(int goods) {
    emu::ScalesEmulator emulator;
    const std::string device = emulator.StartSerial(kLineBaud);
    // The line's pace is the emulator's to keep; on a busy machine only a
    // real-time thread keeps it.
    const bool realtime = emulator.SetRealtime(true);
    CScalesRongta1000 scales;
    scales.SetKeepOpen(1);
    if (device.empty() || scales.ConnectByRS232(device.c_str(), kLineBaud) != 0) return false;
    const double rate = Upload(scales, goods);
    if (rate < 0) return false;
    const double limit = LineLimit(kLineBaud);
    std::printf("(c) serial line at %d baud%s: limit %.3f goods/s\n", kLineBaud,
                realtime ? " (emulator real-time)" : "", limit);
    std::printf("    %d goods: %.3f goods/s = %.3f of the limit (target %.2f)\n", goods, rate,
                rate / limit, kLineShareTarget);
    ReportTally(scales);
    return true;
}

// True when every reply to frames [from, end) kept the gap give or take
// 0.2 ms: the emulator records each datagram after sending it and sends the
// next no earlier than its plan nor than a gap after that record, so the
// second record less the first one's due moment bounds the real gap.
bool KeptTheGap(const emu::ScalesEmulator& emulator, size_t from, int gapUs) {
    constexpr int64_t kToleranceUs = 200;
    constexpr int64_t kAnswerUs = 2000;
    const std::vector<emu::ReceivedFrame> frames = emulator.Frames();
    for (size_t i = from; i < frames.size(); ++i) {
        const std::vector<int64_t>& sent = frames[i].replySentUs;
        if (sent.size() != 2 || sent[1] - (frames[i].receivedUs + kAnswerUs) > gapUs + kToleranceUs)
            return false;
    }
    return true;
}

// How one good of the split-reply case went.
enum class SplitVerdict { kOffGap, kHeldUp, kRight, kMisjudged };

// One good: its result, its frames, and whether any datagram was taken for
// anything but its own reply or that reply's tail (the last tail is taken
// by the next good's drain).  Not an instance of the case when its replies
// did not keep the gap, or when the driver's thread was held up past a tail
// window (it then retries the frame).
SplitVerdict SplitGood(CScalesRongta1000& scales, emu::ScalesEmulator& emulator, int good,
                       int gapUs) {
    const size_t before = emulator.Frames().size();
    const scales::ExchangeTally tally = scales.Tally();
    const int32_t result = scales.SendGood(u"Товар", good, good, 100, 1);
    emulator.WaitUntilIdle(2000);
    if (!KeptTheGap(emulator, before, gapUs)) return SplitVerdict::kOffGap;
    if (scales.Tally().tailsOverrun != tally.tailsOverrun) return SplitVerdict::kHeldUp;
    const size_t frames = emulator.Frames().size() - before;
    const uint64_t stale = scales.Tally().staleDropped - tally.staleDropped;
    const uint64_t late = scales.Tally().lateCredited - tally.lateCredited;
    if (result == 0 && frames == 2 && stale == 0 && late == 0) return SplitVerdict::kRight;
    std::printf("    good %d misjudged: result %d, %zu frames, %llu stale, %llu late\n", good,
                result, frames, static_cast<unsigned long long>(stale),
                static_cast<unsigned long long>(late));
    return SplitVerdict::kMisjudged;
}

bool SplitReplies(int goods) {
    for (const int gapUs : {300, 500}) {
        emu::ScalesEmulator emulator;
        CScalesRongta1000 scales;
        if (!ConnectUdp(scales, emulator)) return false;
        const bool realtime = emulator.SetRealtime(true);
        emu::Faults split;
        split.delayMs = 2;
        split.splitDatagrams = 2;
        split.splitGapUs = gapUs;
        split.replyLength = 2;
        emulator.SetFaults(split);
        int counts[4] = {};
        for (int i = 1; i <= goods; ++i) {
            ++counts[static_cast<int>(SplitGood(scales, emulator, i, gapUs))];
        }
        std::printf(
            "(d) 2 ms answers, 2 datagrams %d us apart%s: %d goods; %d off their gap, %d with "
            "the driver held up; of the other %d, %d misjudged (target 0)\n",
            gapUs, realtime ? " (real-time sender)" : "", goods, counts[0], counts[1],
            counts[2] + counts[3], counts[3]);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int goods = argc > 1 ? std::atoi(argv[1]) : kDefaultGoods;
    if (goods <= 0) return 2;
    bool ok = true;
    const struct {
        int answerMs;
        double target;
    } slow[] = {{2, 0.90}, {5, 0.95}, {20, 0.97}};
    for (const auto& s : slow) ok = SlowScales(goods, s.answerMs, s.target) && ok;
    ok = BusyMachine(goods) && ok;
    ok = SerialLine(kLineGoods) && ok;
    ok = SplitReplies(goods) && ok;
    return ok ? 0 : 1;
}

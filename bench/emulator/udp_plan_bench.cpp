// How closely the emulator's UDP server keeps a reply plan, on whichever
// system it is built for (the Windows server under Wine too): the gap between
// the datagrams of a split reply and a reply's delay, from the server's own
// send times.  Prints the overshoot beyond the planned time (it is never
// early): median, 99th percentile, maximum.
// Usage: bench_emulator_udp_plan [replies]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "bench/emulator/overshoot.h"
#include "server.h"
#include "tests/emulator/udp_probe.h"

namespace {

constexpr int kDefaultReplies = 200;
constexpr int kSplitGapUs = 300;
constexpr int kSplitChunks = 3;
constexpr int kDelayMs = 20;
constexpr int kReplyWaitMs = 2000;
constexpr size_t kFrameSize = 259;

// Answers every frame with `plan`; keeps when each frame came and each chunk left.
struct Recorder {
    std::mutex mutex;
    std::vector<int64_t> receivedUs;
    std::vector<std::vector<int64_t>> sentUs;  // per frame
};

std::vector<std::vector<int64_t>> Run(const emu::PlannedReply& plan, int replies,
                                      std::vector<int64_t>& receivedUs) {
    Recorder recorder;
    uint16_t port = 0;
    auto server = emu::StartUdpServer(
        "127.0.0.1", 0,
        [&](const emu::ArrivedFrame& frame) {
            std::lock_guard<std::mutex> lock(recorder.mutex);
            recorder.receivedUs.push_back(frame.receivedUs);
            recorder.sentUs.emplace_back();
            emu::PlannedReply reply = plan;
            reply.record = recorder.sentUs.size() - 1;
            return reply;
        },
        [&](uint64_t record, int64_t /*startUs*/, int64_t sentUs) {
            std::lock_guard<std::mutex> lock(recorder.mutex);
            recorder.sentUs[record].push_back(sentUs);
        },
        &port);
    if (!server) {
        std::fprintf(stderr, "cannot start the UDP server\n");
        std::exit(1);
    }
    emu_test::UdpProbe probe(port);
    const emu_test::Datagram frame(kFrameSize, 0);
    for (int i = 0; i < replies; ++i) {
        probe.Send(frame);
        for (size_t k = 0; k < plan.chunks.size(); ++k) probe.ReceiveOne(kReplyWaitMs);
    }
    server->Stop();
    receivedUs = recorder.receivedUs;
    return recorder.sentUs;
}

}  // namespace

int main(int argc, char** argv) {
    const int replies = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultReplies;

    emu::PlannedReply split;
    split.chunks.assign(kSplitChunks, {0x02});
    split.gapUs = kSplitGapUs;
    std::vector<int64_t> received;
    std::vector<int64_t> overshoot;
    for (const std::vector<int64_t>& sent : Run(split, replies, received)) {
        for (size_t k = 1; k < sent.size(); ++k)
            overshoot.push_back(sent[k] - sent[k - 1] - kSplitGapUs);
    }
    bench::ReportOvershoot("UDP split gap 300 us", overshoot);

    emu::PlannedReply late;
    late.chunks = {{0x02}};
    late.delayMs = kDelayMs;
    overshoot.clear();
    const std::vector<std::vector<int64_t>> sent = Run(late, replies, received);
    for (size_t i = 0; i < sent.size(); ++i) {
        if (!sent[i].empty()) overshoot.push_back(sent[i][0] - received[i] - kDelayMs * 1000);
    }
    bench::ReportOvershoot("UDP delay 20 ms", overshoot);
    return 0;
}

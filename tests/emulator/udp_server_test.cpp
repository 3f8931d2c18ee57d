// The UDP server as server.h promises it, on every system (the Windows
// server runs these under Wine): the handler sees each datagram whole, the
// planned reply goes back to the requester after its delay, chunk by chunk
// in order and never closer together than the planned gap; Idle and Stop;
// loopback only.  Times are checked as lower bounds with generous upper
// ones: the machine is shared, and Wine adds latency of its own.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "server.h"
#include "tests/emulator/udp_probe.h"

namespace {

using emu_test::Datagram;
using emu_test::UdpProbe;

constexpr int kReplyWaitMs = 3000;
constexpr size_t kFrameSize = 259;

int64_t NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

Datagram Frame(uint8_t first) {
    Datagram frame(kFrameSize);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(first + i);
    return frame;
}

// A server whose handler answers every datagram with one fixed plan and
// keeps what it was given and when each chunk left.
class PlannedServer {
  public:
    explicit PlannedServer(emu::PlannedReply plan, const std::string& address = "127.0.0.1")
        : plan_(std::move(plan)) {
        server_ = emu::StartUdpServer(
            address, 0, [this](const emu::ArrivedFrame& frame) { return Handle(frame); },
            [this](uint64_t record, int64_t startUs, int64_t sentUs) {
                std::lock_guard<std::mutex> lock(mutex_);
                startUs_.push_back(startUs);
                sentUs_.push_back(sentUs);
                sentRecords_.push_back(record);
            },
            &port_);
    }

    emu::Server* operator->() { return server_.get(); }
    bool Started() const { return server_ != nullptr; }
    uint16_t Port() const { return port_; }
    std::vector<Datagram> Seen() { return Copy(seen_); }
    std::vector<int64_t> ReceivedUs() { return Copy(receivedUs_); }
    std::vector<int64_t> StartUs() { return Copy(startUs_); }
    std::vector<int64_t> SentUs() { return Copy(sentUs_); }
    std::vector<uint64_t> SentRecords() { return Copy(sentRecords_); }

    // Handed to the server with every plan; it must come back with each chunk.
    static constexpr uint64_t kRecord = 7;

  private:
    // The server's thread adds to the logs while the test reads them.
    template <typename Log>
    Log Copy(const Log& log) {
        std::lock_guard<std::mutex> lock(mutex_);
        return log;
    }

    emu::PlannedReply Handle(const emu::ArrivedFrame& frame) {
        std::lock_guard<std::mutex> lock(mutex_);
        seen_.emplace_back(frame.bytes, frame.bytes + frame.count);
        receivedUs_.push_back(frame.receivedUs);
        emu::PlannedReply reply = plan_;
        reply.record = kRecord;
        return reply;
    }

    emu::PlannedReply plan_;
    std::unique_ptr<emu::Server> server_;
    uint16_t port_ = 0;
    std::mutex mutex_;
    std::vector<Datagram> seen_;
    std::vector<int64_t> receivedUs_;
    std::vector<int64_t> startUs_;
    std::vector<int64_t> sentUs_;
    std::vector<uint64_t> sentRecords_;
};

emu::PlannedReply Plan(std::vector<Datagram> chunks, int delayMs = 0, int gapUs = 0) {
    emu::PlannedReply plan;
    plan.chunks = std::move(chunks);
    plan.delayMs = delayMs;
    plan.gapUs = gapUs;
    return plan;
}

TEST(UdpServer, AnswersEachRequesterWithThePlannedBytes) {
    PlannedServer server(Plan({{0x02, 0x00, 0x07}}));
    ASSERT_TRUE(server.Started());
    EXPECT_NE(server.Port(), 0);
    UdpProbe first(server.Port()), second(server.Port());
    ASSERT_TRUE(first.Ok() && second.Ok());
    const int64_t before = NowUs();
    ASSERT_TRUE(first.Send(Frame(0x10)));
    EXPECT_EQ(first.ReceiveOne(kReplyWaitMs), (Datagram{0x02, 0x00, 0x07}));
    ASSERT_TRUE(second.Send(Frame(0x20)));
    EXPECT_EQ(second.ReceiveOne(kReplyWaitMs), (Datagram{0x02, 0x00, 0x07}));
    // Nobody got the other's reply.
    EXPECT_TRUE(first.Receive(100).empty());
    EXPECT_TRUE(second.Receive(100).empty());

    const std::vector<Datagram> seen = server.Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], Frame(0x10));
    EXPECT_EQ(seen[1], Frame(0x20));
    const std::vector<int64_t> received = server.ReceivedUs();
    EXPECT_GE(received[0], before);
    EXPECT_LE(received[1], NowUs());
    EXPECT_EQ(server.SentRecords(),
              (std::vector<uint64_t>{PlannedServer::kRecord, PlannedServer::kRecord}));
}

TEST(UdpServer, ChunksComeInOrderAfterTheDelayAndNeverCloserThanTheGap) {
    struct Case {
        const char* name;
        int delayMs;
        int gapUs;
    };
    const Case cases[] = {
        {"back to back", 0, 0},
        {"late, back to back", 150, 0},
        {"30 ms apart", 0, 30000},
        {"300 us apart (spun, not slept)", 0, 300},
        {"late and 5 ms apart", 100, 5000},
    };
    const std::vector<Datagram> chunks = {{0x02}, {0x00, 0x01}, {0x00}, {0x09, 0x09, 0x09}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlannedServer server(Plan(chunks, c.delayMs, c.gapUs));
        ASSERT_TRUE(server.Started());
        UdpProbe probe(server.Port());
        const int64_t sentAt = NowUs();
        ASSERT_TRUE(probe.Send(Frame(0)));
        const Datagram firstChunk = probe.ReceiveOne(kReplyWaitMs);
        const int64_t firstArrived = NowUs();
        std::vector<Datagram> got = probe.Receive(500);
        got.insert(got.begin(), firstChunk);
        EXPECT_EQ(got, chunks);
        EXPECT_GE(firstArrived - sentAt, c.delayMs * 1000LL);

        // Chunk k left between start[k] and sent[k].
        const std::vector<int64_t> start = server.StartUs();
        const std::vector<int64_t> sent = server.SentUs();
        ASSERT_EQ(start.size(), chunks.size());
        ASSERT_EQ(sent.size(), chunks.size());
        const int64_t received = server.ReceivedUs().at(0);
        EXPECT_GE(start[0] - received, c.delayMs * 1000LL);
        EXPECT_LT(sent[0] - received, c.delayMs * 1000LL + 1000000);
        for (size_t k = 0; k < sent.size(); ++k) EXPECT_LE(start[k], sent[k]) << "chunk " << k;
        for (size_t k = 1; k < sent.size(); ++k) {
            if (c.gapUs == 0) {
                EXPECT_EQ(start[k], start[0]) << "chunk " << k << " did not leave with the others";
                EXPECT_EQ(sent[k], sent[0]) << "chunk " << k << " did not leave with the others";
            } else {
                EXPECT_GE(start[k] - sent[k - 1], c.gapUs) << "chunk " << k;
            }
        }
    }
}

TEST(UdpServer, IdleOnlyOnceTheDelayedReplyHasLeft) {
    constexpr int kDelayMs = 400;
    PlannedServer server(Plan({{0x02}}, kDelayMs));
    ASSERT_TRUE(server.Started());
    EXPECT_TRUE(server->Idle());
    UdpProbe probe(server.Port());
    ASSERT_TRUE(probe.Send(Frame(0)));
    for (int waited = 0; server.Seen().empty() && waited < kReplyWaitMs; waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(server.Seen().size(), 1u);
    EXPECT_FALSE(server->Idle()) << "a reply is still planned";
    EXPECT_EQ(probe.ReceiveOne(kReplyWaitMs), Datagram{0x02});
    for (int waited = 0; !server->Idle() && waited < kReplyWaitMs; waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(server->Idle());
}

// On Windows, a reply to a requester that has gone (ICMP "port unreachable")
// fails a later receive with WSAECONNRESET; the next requester must still be
// answered.
TEST(UdpServer, ARequesterThatLeftBeforeItsReplyDoesNotSilenceTheNext) {
    PlannedServer server(Plan({{0x02}}, 50));
    ASSERT_TRUE(server.Started());
    {
        UdpProbe gone(server.Port());
        ASSERT_TRUE(gone.Send(Frame(1)));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    UdpProbe next(server.Port());
    ASSERT_TRUE(next.Send(Frame(2)));
    EXPECT_EQ(next.ReceiveOne(kReplyWaitMs), Datagram{0x02});
    EXPECT_EQ(server.Seen().size(), 2u);
}

TEST(UdpServer, ListensOnLoopbackOnlyAndIsSilentOnceStopped) {
    for (const char* address : {"0.0.0.0", "10.0.0.1", "no such scales.invalid", ""}) {
        PlannedServer refused(Plan({{0x02}}), address);
        EXPECT_FALSE(refused.Started()) << address;
    }
    for (const char* address : {"localhost", "127.0.0.2"}) {
        PlannedServer server(Plan({{0x02}}), address);
        EXPECT_TRUE(server.Started()) << address;
    }
    PlannedServer server(Plan({{0x02}}));
    ASSERT_TRUE(server.Started());
    server->Stop();
    UdpProbe probe(server.Port());
    probe.Send(Frame(0));
    EXPECT_TRUE(probe.Receive(300).empty());
    EXPECT_TRUE(server.Seen().empty());
}

}  // namespace

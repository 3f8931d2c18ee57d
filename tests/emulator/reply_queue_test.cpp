// The reply plan both UDP servers and the serial line share, without a
// socket: which chunk goes when, to whom, in how many sends, and the address
// check every link makes before it listens.
#include "reply_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

using emu::Chunks;
using emu::Micros;
using emu::MicrosOf;
using emu::Millis;
using emu::PeerAddress;
using emu::ReplyQueue;
using emu::SteadyClock;
using emu::TimePoint;

// Stands in for a socket address: the queue must hand it back unchanged.
struct FakeAddress {
    uint32_t host = 0;
    uint16_t port = 0;
};

struct Send {
    size_t from;
    size_t count;
    uint32_t host;
    uint8_t firstByte;
};

struct Left {
    uint64_t record;
    int64_t startUs;
    int64_t sentUs;
};

// A queue whose sends are kept, and may take a while (a send held up).
class RecordingQueue {
  public:
    explicit RecordingQueue(Millis sendTakes = Millis(0))
        : queue_(
              [this, sendTakes](const Chunks& chunks, size_t from, size_t count,
                                const PeerAddress& to) {
                  sends.push_back(Send{from, count, to.As<FakeAddress>().host, chunks[from][0]});
                  std::this_thread::sleep_for(sendTakes);
              },
              [this](uint64_t record, int64_t startUs, int64_t sentUs) {
                  left.push_back(Left{record, startUs, sentUs});
              }) {}

    ReplyQueue* operator->() { return &queue_; }

    // Runs the queue as a server thread does until every reply has gone.
    void Drain() {
        while (const std::optional<TimePoint> due = queue_.NextDue()) {
            emu::SpinUntil(*due);
            queue_.SendDue();
        }
    }

    std::vector<Send> sends;
    std::vector<Left> left;

  private:
    ReplyQueue queue_;
};

PeerAddress Peer(uint32_t host) {
    FakeAddress address;
    address.host = host;
    address.port = 5001;
    return PeerAddress::Of(address);
}

Chunks Numbered(uint8_t first, size_t count) {
    Chunks chunks;
    for (size_t k = 0; k < count; ++k) chunks.push_back({static_cast<uint8_t>(first + k), 0x00});
    return chunks;
}

TEST(PeerAddress, GivesBackTheBytesItWasMadeFrom) {
    FakeAddress address;
    address.host = 0x7F000002;
    address.port = 40000;
    const FakeAddress back = PeerAddress::Of(address).As<FakeAddress>();
    EXPECT_EQ(back.host, address.host);
    EXPECT_EQ(back.port, address.port);
    // The serial line's empty address, or one of another type, reads as zero.
    EXPECT_EQ(PeerAddress{}.As<FakeAddress>().host, 0u);
    EXPECT_EQ(PeerAddress::Of(uint8_t{7}).As<FakeAddress>().host, 0u);
}

TEST(ReplyQueue, SendsTheEarliestDueFirstAndEachToItsOwnPeer) {
    RecordingQueue queue;
    const TimePoint now = SteadyClock::now();
    const TimePoint later = now + std::chrono::hours(1);
    queue->Schedule(Numbered(0xA0, 1), now - Millis(3), Micros(0), Peer(1), 1);
    queue->Schedule(Numbered(0xB0, 1), now - Millis(5), Micros(0), Peer(2), 2);
    queue->Schedule(Numbered(0xC0, 1), now - Millis(3), Micros(0), Peer(3), 3);
    queue->Schedule(Numbered(0xD0, 1), later, Micros(0), Peer(4), 4);
    queue->Schedule({}, now - Millis(9), Micros(0), Peer(5), 5);

    queue->SendDue();
    ASSERT_EQ(queue.sends.size(), 3u);
    const uint8_t firstBytes[] = {0xB0, 0xA0, 0xC0};
    const uint32_t hosts[] = {2, 1, 3};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(queue.sends[i].firstByte, firstBytes[i]) << i;
        EXPECT_EQ(queue.sends[i].host, hosts[i]) << i;
        EXPECT_EQ(queue.left[i].record, hosts[i]) << i;
    }
    EXPECT_EQ(queue->NextDue(), later)
        << "the one not yet due waits; the empty one was never queued";
}

// Chunk k of a reply never leaves before its plan (first + k gaps) nor
// sooner than a gap after chunk k-1 has left, however late that one was.
TEST(ReplyQueue, ChunksLeaveOneGapApartAfterTheirPlanAndALateOneNeverShortensTheNextGap) {
    struct Case {
        const char* name;
        Millis firstFromNow;
        Micros gap;
        Millis sendTakes;
    };
    const Case cases[] = {
        {"on plan, 2 ms apart", Millis(20), Micros(2000), Millis(0)},
        {"on plan, 300 us apart", Millis(5), Micros(300), Millis(0)},
        // Planned a second ago: every chunk is late, each send takes 3 ms.
        {"late, held up sends", Millis(-1000), Micros(1000), Millis(3)},
    };
    constexpr size_t kChunks = 4;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingQueue queue(c.sendTakes);
        const TimePoint first = SteadyClock::now() + c.firstFromNow;
        queue->Schedule(Numbered(0x10, kChunks), first, c.gap, Peer(1), 9);
        queue.Drain();

        ASSERT_EQ(queue.sends.size(), kChunks) << "one send per chunk";
        ASSERT_EQ(queue.left.size(), kChunks);
        for (size_t k = 0; k < kChunks; ++k) {
            EXPECT_EQ(queue.sends[k].from, k);
            EXPECT_EQ(queue.sends[k].count, 1u);
            EXPECT_EQ(queue.sends[k].firstByte, static_cast<uint8_t>(0x10 + k));
            EXPECT_EQ(queue.left[k].record, 9u);
            EXPECT_GE(queue.left[k].startUs,
                      MicrosOf(first) + static_cast<int64_t>(k) * c.gap.count())
                << "chunk " << k << " before its plan";
            EXPECT_GE(queue.left[k].sentUs - queue.left[k].startUs, c.sendTakes.count() * 1000)
                << "the send's own time lies between the two readings";
            if (k > 0) {
                EXPECT_GE(queue.left[k].startUs - queue.left[k - 1].sentUs, c.gap.count())
                    << "chunk " << k;
            }
        }
    }
}

TEST(ReplyQueue, AReplyWithoutAGapLeavesInOneSend) {
    RecordingQueue queue;
    queue->Schedule(Numbered(0x02, 3), SteadyClock::now(), Micros(0), Peer(1), 4);
    queue.Drain();
    ASSERT_EQ(queue.sends.size(), 1u);
    EXPECT_EQ(queue.sends[0].from, 0u);
    EXPECT_EQ(queue.sends[0].count, 3u);
    ASSERT_EQ(queue.left.size(), 3u) << "one record per chunk";
    for (const Left& l : queue.left) {
        EXPECT_EQ(l.record, 4u);
        EXPECT_EQ(l.startUs, queue.left[0].startUs);
        EXPECT_EQ(l.sentUs, queue.left[0].sentUs);
    }
}

TEST(ReplyQueue, ADatagramReplyIsDueItsDelayAfterTheRequestArrived) {
    RecordingQueue queue;
    const TimePoint arrived = SteadyClock::now() + std::chrono::hours(1);
    emu::PlannedReply plan;
    plan.chunks = Numbered(0x02, 2);
    plan.delayMs = 7;
    plan.gapUs = 300;
    queue->ScheduleDatagrams(plan, arrived, Peer(1));
    EXPECT_EQ(queue->NextDue(), arrived + Millis(7));
    plan.chunks.clear();
    queue->ScheduleDatagrams(plan, arrived - std::chrono::hours(2), Peer(1));
    EXPECT_EQ(queue->NextDue(), arrived + Millis(7)) << "a plan without chunks sends nothing";
}

TEST(DueWithin, OnlyADueMomentInsideTheLeadIsSpunTo) {
    const Micros lead(1000);
    const TimePoint now = SteadyClock::now();
    EXPECT_FALSE(emu::DueWithin(std::nullopt, lead));
    EXPECT_FALSE(emu::DueWithin(now + std::chrono::seconds(10), lead));
    EXPECT_TRUE(emu::DueWithin(now + Micros(100), lead));
    EXPECT_TRUE(emu::DueWithin(now - Millis(5), lead));
}

TEST(LoopbackAddress, ReadsOnlyADottedQuadIn127OrLocalhost) {
    const struct {
        const char* text;
        uint32_t value;  // 0: refused
    } cases[] = {
        {"127.0.0.1", 0x7F000001},
        {"127.0.0.0", 0x7F000000},
        {"127.255.255.255", 0x7FFFFFFF},
        {"127.10.200.3", 0x7F0AC803},
        {"localhost", 0x7F000001},
        {"128.0.0.1", 0},
        {"126.255.255.255", 0},
        {"0.0.0.0", 0},
        {"10.0.0.1", 0},
        {"192.168.0.200", 0},
        {"", 0},
        {"127.0.0", 0},
        {"127.1", 0},
        {"127.0.0.1.", 0},
        {"127.0.0.1.1", 0},
        {".127.0.0.1", 0},
        {"127..0.1", 0},
        {"127.0.0.256", 0},
        {"127.0.0.1000", 0},
        {"127.0.0.01", 0},
        {"0127.0.0.1", 0},
        {"127.0.0.-1", 0},
        {"127.0.0.1 ", 0},
        {" 127.0.0.1", 0},
        {"127.0.0.1:5001", 0},
        {"127.0.0.1a", 0},
        {"LOCALHOST", 0},
        {"localhost.", 0},
        {"::1", 0},
        {"no such scales.invalid", 0},
    };
    for (const auto& c : cases) {
        const std::optional<uint32_t> value = emu::LoopbackAddress(c.text);
        EXPECT_EQ(value.value_or(0), c.value) << '"' << c.text << '"';
        EXPECT_EQ(emu::IsLoopbackAddress(c.text), c.value != 0) << '"' << c.text << '"';
    }
}

}  // namespace

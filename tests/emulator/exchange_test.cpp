// The emulator over UDP on 127.0.0.1, with its fault modes and the times it
// records.  Time limits have wide margins: the machine is shared; the
// emulator's own timing is checked through the times it recorded.
#include <pthread.h>
#include <sched.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "emulator.h"
#include "frame_bytes.h"
#include "links.h"

namespace {

using emu_test::Bytes;
using emu_test::Collect;
using emu_test::MsSince;
using emu_test::NowUs;
using emu_test::UdpClient;
using Clock = emu_test::SteadyClock;

class UdpExchange : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(emulator_.StartUdp("127.0.0.1", 0));
        ASSERT_NE(emulator_.UdpPort(), 0);
        client_ = std::make_unique<UdpClient>(emulator_.UdpPort());
    }
    // The first datagram of the reply to one frame ({} when none came).
    Bytes Exchange(const Bytes& frame, int waitMs = 1000) {
        EXPECT_TRUE(client_->Send(frame));
        return client_->ReceiveOne(waitMs);
    }
    emu::ScalesEmulator emulator_;
    std::unique_ptr<UdpClient> client_;
};

const Bytes kClock = emu_test::Frame("0E 01 00 00 00 00 00 24 03 05 09 07 45");
const Bytes kClear = emu_test::Frame("0E 04 00 00 04");

TEST_F(UdpExchange, PositiveReplyAndRecordedFrames) {
    EXPECT_EQ(Exchange(kClock), Bytes{0x02});
    EXPECT_EQ(Exchange(emu_test::BananaFrame()), Bytes{0x02});
    const auto frames = emulator_.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].kind, emu::FrameKind::kClock);
    EXPECT_EQ(frames[1].kind, emu::FrameKind::kGoods);
    EXPECT_EQ(frames[1].bytes, emu_test::BananaFrame());
    EXPECT_EQ(frames[1].reply, Bytes{0x02});
    const emu::State state = emulator_.Snapshot();
    EXPECT_EQ(state.framesReceived, 2u);
    EXPECT_EQ(state.goods.at(10001).nameUtf8, "Банан");
    EXPECT_EQ(state.clock.year, 2024);
    emulator_.ClearFrames();
    EXPECT_TRUE(emulator_.Frames().empty());
}

TEST_F(UdpExchange, SilentAndNegativeReplies) {
    emu::Faults faults;
    faults.silent = true;
    emulator_.SetFaults(faults);
    EXPECT_EQ(Exchange(emu_test::BananaFrame(), 300), Bytes{});
    EXPECT_TRUE(emulator_.Snapshot().goods.empty());  // not answered, not stored

    faults = emu::Faults{};
    faults.negative = true;
    faults.negativeByte = 0x15;
    faults.replyLength = 3;
    emulator_.SetFaults(faults);
    EXPECT_EQ(Exchange(emu_test::BananaFrame()), (Bytes{0x15, 0x00, 0x00}));
    EXPECT_TRUE(emulator_.Snapshot().goods.empty());
    EXPECT_FALSE(emulator_.Frames().back().accepted);
}

// Each kind waits its own delay (or the global one), counted from the
// frame's arrival; the recorded times show the emulator kept it.
TEST_F(UdpExchange, DelayPerFrameKind) {
    emu::Faults faults;
    faults.delayMs = 50;
    faults.delayMsByKind[emu::FrameKind::kClock] = 300;
    faults.delayMsByKind[emu::FrameKind::kGoods] = 600;
    faults.delayMsByKind[emu::FrameKind::kHotKeys] = 0;
    emulator_.SetFaults(faults);
    struct Case {
        Bytes frame;
        int delayMs;
    };
    const Case cases[] = {{kClock, 300},
                          {emu_test::BananaFrame(), 600},
                          {kClear, 50},
                          {emu_test::Frame("02 F8 03"), 0}};
    for (const Case& c : cases) {
        const int64_t before = NowUs();
        EXPECT_EQ(Exchange(c.frame, 5000), Bytes{0x02}) << c.delayMs;
        const int64_t after = NowUs();
        EXPECT_GE(after - before, c.delayMs * 1000);
        ASSERT_TRUE(emulator_.WaitUntilIdle(5000));
        const emu::ReceivedFrame frame = emulator_.Frames().back();
        EXPECT_GE(frame.receivedUs, before);
        EXPECT_LE(frame.receivedUs, after);
        ASSERT_EQ(frame.replySentUs.size(), 1u);
        const int64_t delayUs = frame.replySentUs[0] - frame.receivedUs;
        EXPECT_GE(delayUs, c.delayMs * 1000);
        // Wide enough for a busy machine, narrow enough to tell the kinds apart.
        EXPECT_LT(delayUs, (c.delayMs + 250) * 1000);
    }
    EXPECT_NE(emulator_.Frames()[1].description.find("[reply after 600 ms]"), std::string::npos);
}

TEST_F(UdpExchange, DelayedRepliesKeepTheirOwnSchedule) {
    // Two frames sent 100 ms apart with a 1000 ms delay: the second reply comes
    // about 100 ms after the first, not 1000 ms (each reply is timed from its
    // own frame, not queued behind the previous wait).
    emu::Faults faults;
    faults.delayMs = 1000;
    emulator_.SetFaults(faults);
    ASSERT_TRUE(client_->Send(kClock));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(client_->Send(kClear));
    ASSERT_EQ(client_->ReceiveOne(5000), Bytes{0x02});
    const auto first = Clock::now();
    ASSERT_EQ(client_->ReceiveOne(5000), Bytes{0x02});
    EXPECT_LT(MsSince(first), 600);
}

TEST_F(UdpExchange, SplitReplyComesAsSeveralDatagrams) {
    emu::Faults faults;
    faults.splitDatagrams = 3;
    faults.replyLength = 6;
    emulator_.SetFaults(faults);
    ASSERT_TRUE(client_->Send(kClock));
    const auto chunks = client_->Receive(500);
    EXPECT_EQ(chunks, (std::vector<Bytes>{{0x02, 0x00}, {0x00, 0x00}, {0x00, 0x00}}));
    // A one-byte reply cannot be split three ways: each datagram gets a byte.
    faults.replyLength = 1;
    emulator_.SetFaults(faults);
    ASSERT_TRUE(client_->Send(kClock));
    EXPECT_EQ(client_->Receive(500), (std::vector<Bytes>{{0x02}, {0x00}, {0x00}}));
}

// The datagrams of a split reply leave one by one, at least the gap apart
// (a reader that takes only what is already waiting finds the first alone);
// gap 0 sends them all in one call.
TEST_F(UdpExchange, SplitDatagramsKeepTheirGap) {
    emu::Faults faults;
    faults.splitDatagrams = 3;
    for (int gapUs : {300, 5000, 0}) {
        faults.splitGapUs = gapUs;
        emulator_.SetFaults(faults);
        ASSERT_TRUE(client_->Send(kClock));
        EXPECT_EQ(client_->Receive(300), (std::vector<Bytes>{{0x02}, {0x00}, {0x00}}));
        ASSERT_TRUE(emulator_.WaitUntilIdle(2000));
        const std::vector<int64_t> sent = emulator_.Frames().back().replySentUs;
        ASSERT_EQ(sent.size(), 3u) << gapUs;
        for (size_t k = 1; k < sent.size(); ++k) {
            EXPECT_GE(sent[k] - sent[k - 1], gapUs) << gapUs;
            if (gapUs == 0) {
                EXPECT_EQ(sent[k], sent[0]);
            }
            constexpr int64_t kBusyMachineUs = 50000;
            EXPECT_LT(sent[k] - sent[k - 1], gapUs + kBusyMachineUs) << gapUs;
        }
    }
}

TEST_F(UdpExchange, FailNthFrame) {
    emu::Faults faults;
    faults.failNth = 2;
    emulator_.SetFaults(faults);
    EXPECT_EQ(Exchange(kClock), Bytes{0x02});
    EXPECT_EQ(Exchange(kClock), Bytes{0x00});
    EXPECT_EQ(Exchange(kClock), Bytes{0x02});
    faults.failNth = 4;
    faults.failReply = "silent";
    emulator_.SetFaults(faults);
    EXPECT_EQ(Exchange(kClock, 300), Bytes{});
}

TEST_F(UdpExchange, FailKindFirstCountOnly) {
    emu::Faults faults;
    faults.failKind = "goods";
    faults.failKindCount = 2;
    emulator_.SetFaults(faults);
    EXPECT_EQ(Exchange(kClock), Bytes{0x02});
    EXPECT_EQ(Exchange(emu_test::BananaFrame()), Bytes{0x00});
    EXPECT_EQ(Exchange(emu_test::BananaFrame()), Bytes{0x00});
    EXPECT_EQ(Exchange(emu_test::BananaFrame()), Bytes{0x02});
    EXPECT_EQ(emulator_.Snapshot().goods.size(), 1u);
}

TEST_F(UdpExchange, GarbageNeverLooksPositive) {
    emu::Faults faults;
    faults.garbage = true;
    emulator_.SetFaults(faults);
    for (int i = 0; i < 20; ++i) {
        const Bytes reply = Exchange(kClock);
        ASSERT_FALSE(reply.empty());
        EXPECT_NE(reply[0], 0x02);
    }
}

// Waiting for the emulator covers the replies it still has to send.
TEST_F(UdpExchange, IdleOnlyOnceEveryReplyHasLeft) {
    emu::Faults faults;
    faults.delayMs = 300;
    emulator_.SetFaults(faults);
    ASSERT_TRUE(client_->Send(kClock));
    EXPECT_FALSE(emulator_.WaitUntilIdle(50));
    EXPECT_TRUE(emulator_.WaitUntilIdle(5000));
    EXPECT_EQ(emulator_.Frames().back().replySentUs.size(), 1u);
    EXPECT_EQ(client_->ReceiveOne(0), Bytes{0x02});
}

// A fixed byte that differs is flagged in the frame's line, its record and
// the state, and the frame is answered and stored as the scales would.
TEST_F(UdpExchange, WrongFixedBytesAreFlaggedAndStillAnswered) {
    Bytes clock = kClock;
    clock[5] = 0x01;
    EXPECT_EQ(Exchange(clock), Bytes{0x02});
    EXPECT_EQ(Exchange(kClock), Bytes{0x02});
    const auto frames = emulator_.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].fixedByteIssues,
              std::vector<std::string>{"bytes 3-6: 00 00 01 00, not zero"});
    EXPECT_NE(frames[0].description.find("[fixed bytes differ: bytes 3-6: 00 00 01 00, not zero]"),
              std::string::npos)
        << frames[0].description;
    EXPECT_TRUE(frames[0].accepted);
    EXPECT_TRUE(frames[1].fixedByteIssues.empty());
    EXPECT_EQ(emulator_.Snapshot().framesWithWrongFixedBytes, 1u);
    EXPECT_NE(emulator_.StateJson().find("\"framesWithWrongFixedBytes\": 1"), std::string::npos);
}

// SCHED_FIFO where this process may have it: the emulator's answer matches
// what a thread of the test gets.
bool ThreadMayRunRealtime() {
    bool granted = false;
    std::thread probe([&granted] {
        sched_param param{};
        param.sched_priority = 1;
        granted = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
    });
    probe.join();
    return granted;
}

TEST_F(UdpExchange, RealtimeWhereGrantedAndRepliesStillFlow) {
    EXPECT_EQ(emulator_.SetRealtime(true), ThreadMayRunRealtime());
    EXPECT_EQ(Exchange(kClock), Bytes{0x02});
    EXPECT_FALSE(emulator_.SetRealtime(false));
    EXPECT_EQ(Exchange(kClock), Bytes{0x02});
    emu::ScalesEmulator idle;
    EXPECT_FALSE(idle.SetRealtime(true));  // no link to run
}

TEST(UdpServer, RefusesNonLoopbackAndRestarts) {
    emu::ScalesEmulator emulator;
    EXPECT_FALSE(emulator.StartUdp("192.0.2.1", 0));
    EXPECT_FALSE(emulator.StartUdp("no such scales.invalid", 0));
    EXPECT_TRUE(emulator.StartUdp("127.0.0.2", 0));
    emulator.Stop();
    EXPECT_EQ(emulator.UdpPort(), 0);
    EXPECT_TRUE(emulator.StartUdp("localhost", 0));
}

}  // namespace

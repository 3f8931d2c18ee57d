// RLS1000 exchanges over a serial line: the emulator serves a pseudo-terminal.
#include "tests/scales/exchange_fixture_posix.h"
#include "tests/scales/frame_hex.h"

using emu::FrameKind;
using scales_test::ElapsedMs;
using scales_test::FramesOf;
using scales_test::Hex;
using scales_test::NegativeFor;
using scales_test::SilentFor;

namespace {

class ScalesOverSerial : public ::testing::Test {
  protected:
    void SetUp() override {
        device = emulator.StartSerial();
        ASSERT_FALSE(device.empty());
        scales.SetTimeSource(scales_test::FixedTime);
        scales.SetKeepOpen(1);
        ASSERT_EQ(scales.ConnectByRS232(device.c_str(), 9600), 0);
    }

    emu::ScalesEmulator emulator;
    std::string device;
    CScalesRongta1000 scales;
};

}  // namespace

TEST_F(ScalesOverSerial, OpensAtTheConfiguredSpeedAndUploads) {
    EXPECT_EQ(scales.GetPortState(), 0);
    EXPECT_EQ(scales.Port().ConnectionType(), transport::kConnectionSerial);
    EXPECT_EQ(scales.Port().BaudRate(), 9600u);
    ASSERT_EQ(scales.SendGood(u"Банан", 10001, 10001, 12345, 10), 0);
    const auto frames = emulator.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(Hex(frames[0].bytes, 0, 13), "0E 01 00 00 00 00 00 24 03 05 09 07 45");
    EXPECT_EQ(Hex(frames[1].bytes, 0, 8), "0B 00 00 C1 E0 ED E0 ED");
    EXPECT_EQ(emulator.Snapshot().goods.at(10001u).nameUtf8, "Банан");
    EXPECT_EQ(scales.OutcomeText(), u"Error:120002");
}

TEST_F(ScalesOverSerial, KeepOpenDecidesWhetherTheTestConnectionStays) {
    scales.SetKeepOpen(0);
    EXPECT_EQ(scales.ConnectByRS232(device.c_str(), 9600), 0);
    EXPECT_EQ(scales.GetPortState(), 2);
    scales.SetKeepOpen(1);
    EXPECT_EQ(scales.ConnectByRS232(device.c_str(), 9600), 0);
    EXPECT_EQ(scales.GetPortState(), 0);
    // Network port 0 selects the serial line named like the host; with no
    // speed stored it runs at the 4800 baud it opened with.
    EXPECT_EQ(scales.ConnectByEthernet(device.c_str(), 0, 0), 0);
    EXPECT_EQ(scales.Port().ConnectionType(), transport::kConnectionSerial);
    EXPECT_EQ(scales.Port().BaudRate(), 4800u);
    EXPECT_EQ(scales.ClearGoods(), 0);
    EXPECT_EQ(FramesOf(emulator, FrameKind::kClear).size(), 1u);
}

TEST_F(ScalesOverSerial, NegativeAndMissingReplies) {
    emulator.SetFaults(NegativeFor("goods"));
    EXPECT_EQ(scales.SendGood(u"A", 1, 1, 1, 1), 7);
    EXPECT_EQ(FramesOf(emulator, FrameKind::kGoods).size(), 3u);
    emulator.SetFaults(SilentFor("clock"));
    long long ms = ElapsedMs([&] { EXPECT_EQ(scales.SyncClock(), 0); });
    EXPECT_GE(ms, 150);
    EXPECT_LE(ms, 1500);
    EXPECT_EQ(scales.SetClock(2024, 1, 1, 1, 1, 1), 3);
}

// Reply bytes trickling in one at a time belong to one reply as long as the
// line is never quiet for 3.5 character times (at 1200 baud 33 ms, far above
// the 2 ms gaps even on a busy machine); the clock command after it, which
// does not drain, must not see a left-over byte.
TEST_F(ScalesOverSerial, TrickledRepliesAreTakenWhole) {
    ASSERT_EQ(scales.ConnectByRS232(device.c_str(), 1200), 0);
    emu::Faults trickle;
    trickle.replyLength = 4;  // 02 00 00 00
    trickle.trickleMs = 2;
    emulator.SetFaults(trickle);
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(scales.ClearGoods(), 0);
        ASSERT_EQ(scales.OutcomeText(), u"Error:120002");
        ASSERT_EQ(scales.SetClock(2024, 1, 1, 0, 0, 0), 0) << "round " << i;
    }
}

TEST(ScalesSerialTest, LongMessageOverSerial) {
    emu::ScalesEmulator emulator;
    const std::string device = emulator.StartSerial();
    ASSERT_FALSE(device.empty());
    CScalesRongta1000 scales;
    scales.SetKeepOpen(1);
    ASSERT_EQ(scales.ConnectByRS232(device.c_str(), 115200), 0);
    ASSERT_EQ(scales.SendMessageV1(4, std::u16string(600, u'z'), 0), 0);
    EXPECT_EQ(FramesOf(emulator, FrameKind::kMessageData).size(), 3u);
    EXPECT_EQ(scales.MessageCounter(), 3);
}

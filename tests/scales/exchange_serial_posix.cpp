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

// The emulator models the line's pace (259 characters of 10 bits per frame):
// at this speed a frame takes 22.5 ms, well inside every reply wait.
constexpr uint32_t kFastLine = 115200;

class ScalesOverSerial : public ::testing::Test {
  protected:
    void SetUp() override {
        device = emulator.StartSerial(kFastLine);
        ASSERT_FALSE(device.empty());
        scales.SetTimeSource(scales_test::FixedTime);
        scales.SetKeepOpen(1);
        ASSERT_EQ(scales.ConnectByRS232(device.c_str(), kFastLine), 0);
    }

    emu::ScalesEmulator emulator;
    std::string device;
    CScalesRongta1000 scales;
};

}  // namespace

TEST_F(ScalesOverSerial, OpensAtTheConfiguredSpeedAndUploads) {
    EXPECT_EQ(scales.GetPortState(), 0);
    EXPECT_EQ(scales.Port().ConnectionType(), transport::kConnectionSerial);
    EXPECT_EQ(scales.Port().BaudRate(), kFastLine);
    ASSERT_EQ(scales.SendGood(u"Банан", 10001, 10001, 12345, 10), 0);
    const auto frames = emulator.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].driverLine, "115200 8N1");
    EXPECT_EQ(Hex(frames[0].bytes, 0, 13), "0E 01 00 00 00 00 00 24 03 05 09 07 45");
    EXPECT_EQ(Hex(frames[1].bytes, 0, 8), "0B 00 00 C1 E0 ED E0 ED");
    EXPECT_EQ(emulator.Snapshot().goods.at(10001u).nameUtf8, "Банан");
    EXPECT_EQ(scales.OutcomeText(), u"Error:120002");
}

TEST_F(ScalesOverSerial, KeepOpenDecidesWhetherTheTestConnectionStays) {
    scales.SetKeepOpen(0);
    EXPECT_EQ(scales.ConnectByRS232(device.c_str(), kFastLine), 0);
    EXPECT_EQ(scales.GetPortState(), 2);
    scales.SetKeepOpen(1);
    EXPECT_EQ(scales.ConnectByRS232(device.c_str(), kFastLine), 0);
    EXPECT_EQ(scales.GetPortState(), 0);
    // Network port 0 selects the serial line named like the host; with no
    // speed stored it runs at the 4800 baud it opened with, which the
    // emulator (at the fast line's speed) sees on the line.
    EXPECT_EQ(scales.ConnectByEthernet(device.c_str(), 0, 0), 0);
    EXPECT_EQ(scales.Port().ConnectionType(), transport::kConnectionSerial);
    EXPECT_EQ(scales.Port().BaudRate(), 4800u);
    EXPECT_EQ(scales.ClearGoods(), 0);
    ASSERT_TRUE(emulator.WaitUntilIdle(5000));
    const auto clears = FramesOf(emulator, FrameKind::kClear);
    ASSERT_EQ(clears.size(), 1u);
    EXPECT_EQ(clears[0].driverLine, "4800 8N1");
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

TEST(ScalesSerialTest, LongMessageOverSerial) {
    emu::ScalesEmulator emulator;
    const std::string device = emulator.StartSerial(kFastLine);
    ASSERT_FALSE(device.empty());
    CScalesRongta1000 scales;
    scales.SetKeepOpen(1);
    ASSERT_EQ(scales.ConnectByRS232(device.c_str(), kFastLine), 0);
    ASSERT_EQ(scales.SendMessageV1(4, std::u16string(600, u'z'), 0), 0);
    EXPECT_EQ(FramesOf(emulator, FrameKind::kMessageData).size(), 3u);
    EXPECT_EQ(scales.MessageCounter(), 3);
}

// The line at the speeds a 1C configuration uses (4800, as the scales leave
// the factory) and the next one up.  A frame takes 540 or 270 ms on the line
// -- longer than the 200 and 500 ms reply waits -- and the emulator answers
// only after the whole frame has come in.  Three goods, the second refused:
// every reply is credited to its own frame, the refusal is reported on the
// second good, and no good is done before its frames could have left the
// line.
class SlowLine : public ::testing::TestWithParam<uint32_t> {};

TEST_P(SlowLine, EveryReplyOnItsOwnFrame) {
    const uint32_t baud = GetParam();
    emu::ScalesEmulator emulator;
    const std::string device = emulator.StartSerial(baud);
    ASSERT_FALSE(device.empty());
    CScalesRongta1000 scales;
    scales.SetKeepOpen(1);
    ASSERT_EQ(scales.ConnectByRS232(device.c_str(), baud), 0);

    const long long lineMs = scales::LineTimeUs(scales::kFrameSize, baud) / 1000;
    const struct {
        bool refused;
        int32_t result;
        size_t frames;  // the clock and one or three goods records
    } goods[] = {{false, 0, 2}, {true, 7, 4}, {false, 0, 2}};
    size_t frames = 0;
    for (int i = 0; i < 3; ++i) {
        emulator.SetFaults(goods[i].refused ? NegativeFor("goods") : emu::Faults{});
        int32_t result = -1;
        const long long ms = ElapsedMs([&] { result = scales.SendGood(u"Товар", i, i, 100, 1); });
        EXPECT_EQ(result, goods[i].result) << "good " << i;
        EXPECT_GE(ms, static_cast<long long>(goods[i].frames) * lineMs) << "good " << i;
        frames += goods[i].frames;
    }
    ASSERT_TRUE(emulator.WaitUntilIdle(5000));
    EXPECT_EQ(emulator.Frames().size(), frames);
    EXPECT_EQ(emulator.Snapshot().framesAtWrongLineSetting, 0u);
    EXPECT_EQ(scales.Tally().replies, frames);
    EXPECT_EQ(scales.Tally().staleDropped, 0u);
    EXPECT_EQ(scales.Tally().lateCredited, 0u);
}

INSTANTIATE_TEST_SUITE_P(Bauds, SlowLine, ::testing::Values(4800u, 9600u));

// RLS1000 exchanges over UDP loopback against the in-process emulator:
// results, attempt counts, outcome texts, counters and waits.
#include <stdexcept>

#include "tests/scales/exchange_fixture_posix.h"
#include "tests/scales/frame_hex.h"
#include "transport/local_time.h"

using emu::FrameKind;
using scales_test::ElapsedMs;
using scales_test::FramesOf;
using scales_test::Hex;
using scales_test::NegativeFor;
using scales_test::ScalesOverUdp;
using scales_test::SilentFor;
using scales_test::ZeroFrom;

namespace {
const std::u16string kLongName = u"Колбаса докторская высшего сорта, весовая, ГОСТ";  // 47 chars
}

TEST_F(ScalesOverUdp, SendGoodWritesClockThenRecord) {
    ASSERT_EQ(scales.SendGood(u"Банан", 10001, 10001, 12345, 10), 0);
    const auto frames = emulator.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(Hex(frames[0].bytes, 0, 13), "0E 01 00 00 00 00 00 24 03 05 09 07 45");
    EXPECT_TRUE(ZeroFrom(frames[0].bytes, 13));
    ASSERT_EQ(frames[1].bytes.size(), 259u);
    EXPECT_EQ(Hex(frames[1].bytes, 0, 8), "0B 00 00 C1 E0 ED E0 ED");
    EXPECT_EQ(Hex(frames[1].bytes, 39, 28),
              "01 00 01 00 00 28 07 00 01 23 45 04 0A 00 00 00 00 00 00 00 00 00 00 00 00 01 00 "
              "01");
    EXPECT_EQ(scales.OutcomeText(), u"Error:120002");
    EXPECT_EQ(scales.GetPortState(), 0);  // kept open after success

    const emu::State state = emulator.Snapshot();
    ASSERT_EQ(state.goods.count(10001u), 1u);
    EXPECT_EQ(state.goods.at(10001u).nameUtf8, "Банан");
    EXPECT_EQ(state.goods.at(10001u).price, 12345u);
    EXPECT_EQ(state.goods.at(10001u).department, 28);
}

TEST_F(ScalesOverUdp, LongNamesNumberTheirContinuations) {
    ASSERT_EQ(scales.SendGood(kLongName, 7, 70, 100, 1), 0);
    ASSERT_EQ(scales.SendGood(kLongName, 8, 80, 100, 1), 0);
    const auto continuations = FramesOf(emulator, FrameKind::kContinuation);
    ASSERT_EQ(continuations.size(), 2u);
    EXPECT_EQ(Hex(continuations[0].bytes, 0, 6), "A2 00 00 00 00 07");
    EXPECT_EQ(Hex(continuations[1].bytes, 0, 6), "A2 01 00 00 00 08");
    EXPECT_EQ(scales.ContinuationCounter(), 2);
    EXPECT_EQ(emulator.Snapshot().goods.at(70u).nameUtf8,
              "Колбаса докторская высшего сорта, весовая, ГОСТ");

    // Clearing the goods restarts both sequences; a new network target only
    // the continuation sequence.
    ASSERT_EQ(scales.StartSendMessages(), 0);
    ASSERT_EQ(scales.SendMessageV1(1, std::u16string(300, u'x'), 0), 0);
    EXPECT_EQ(scales.MessageCounter(), 2);
    EXPECT_EQ(scales.ClearGoods(), 0);
    EXPECT_EQ(scales.MessageCounter(), 0);
    EXPECT_EQ(scales.ContinuationCounter(), 0);
    ASSERT_EQ(scales.SendGood(kLongName, 9, 90, 100, 1), 0);
    ASSERT_EQ(scales.SendMessageV1(1, std::u16string(300, u'x'), 0), 0);
    EXPECT_EQ(scales.ContinuationCounter(), 1);
    EXPECT_EQ(scales.ConnectByEthernet("127.0.0.1", emulator.UdpPort(), 0), 0);
    EXPECT_EQ(scales.ContinuationCounter(), 0);
    EXPECT_EQ(scales.MessageCounter(), 2);
}

TEST_F(ScalesOverUdp, NegativeGoodsReplyAfterThreeAttempts) {
    emulator.SetFaults(NegativeFor("goods"));
    long long ms = ElapsedMs([&] { EXPECT_EQ(scales.SendGood(u"Банан", 1, 1, 1, 1), 7); });
    EXPECT_EQ(FramesOf(emulator, FrameKind::kGoods).size(), 3u);
    EXPECT_EQ(scales.OutcomeText(), u"Error:120000");
    EXPECT_GE(ms, 800);  // three pauses of 300 ms
    EXPECT_LE(ms, 5000);
    EXPECT_EQ(scales.GetPortState(), 0);  // kept open
}

TEST_F(ScalesOverUdp, GoodsFailingTwiceThenAccepted) {
    emulator.SetFaults(NegativeFor("goods", 2));
    long long ms = ElapsedMs([&] { EXPECT_EQ(scales.SendGood(u"Банан", 1, 1, 1, 1), 0); });
    EXPECT_EQ(FramesOf(emulator, FrameKind::kGoods).size(), 3u);
    EXPECT_EQ(FramesOf(emulator, FrameKind::kClock).size(), 1u);
    EXPECT_GE(ms, 550);  // two pauses of 300 ms
    EXPECT_LE(ms, 4000);
    EXPECT_EQ(scales.OutcomeText(), u"Error:120002");
}

TEST_F(ScalesOverUdp, ReplyFirstByteDecides) {
    emu::Faults faults;
    faults.replyLength = 8;  // 02 followed by other bytes is still positive
    emulator.SetFaults(faults);
    EXPECT_EQ(scales.SetClock(2024, 1, 2, 3, 4, 5), 0);
    EXPECT_EQ(Hex(emulator.Frames().back().bytes, 0, 13), "0E 01 00 00 00 00 00 24 01 02 03 04 05");

    faults = NegativeFor("clock");
    faults.negativeByte = 0x15;
    emulator.SetFaults(faults);
    EXPECT_EQ(scales.SetClock(2024, 1, 2, 3, 4, 5), 3);  // a refused clock is 3, not 7
    EXPECT_EQ(scales.SyncClock(), 0);                    // the clock sync ignores the reply
    EXPECT_EQ(scales.SendGood(u"A", 1, 1, 1, 1), 0);
    EXPECT_EQ(scales.OutcomeText(), u"Error:120002");  // clock replies are never recorded

    faults = {};
    faults.garbage = true;
    emulator.SetFaults(faults);
    EXPECT_EQ(scales.ClearGoods(), 0);
    EXPECT_EQ(scales.OutcomeText().rfind(u"Error:120", 0), 0u);
    EXPECT_NE(scales.OutcomeText(), u"Error:120002");
}

TEST_F(ScalesOverUdp, NoReplyToGoodsGives3) {
    emulator.SetFaults(SilentFor("goods"));
    long long ms = ElapsedMs([&] { EXPECT_EQ(scales.SendGood(u"A", 1, 1, 1, 1), 3); });
    EXPECT_EQ(FramesOf(emulator, FrameKind::kGoods).size(), 3u);
    EXPECT_EQ(scales.OutcomeText(), u"OK");
    EXPECT_GE(ms, 2100);  // 3 x (500 + 300)
    EXPECT_LE(ms, 8000);
}

TEST_F(ScalesOverUdp, ContinuationWithoutReplyAfterAcceptedRecord) {
    emulator.SetFaults(SilentFor("continuation"));
    long long ms = ElapsedMs([&] { EXPECT_EQ(scales.SendGood(kLongName, 5, 5, 1, 1), 3); });
    const auto continuations = FramesOf(emulator, FrameKind::kContinuation);
    ASSERT_EQ(continuations.size(), 2u);  // a new sequence number in each attempt
    EXPECT_EQ(Hex(continuations[0].bytes, 0, 3), "A2 00 00");
    EXPECT_EQ(Hex(continuations[1].bytes, 0, 3), "A2 01 00");
    EXPECT_EQ(scales.OutcomeText(), u"OK");
    EXPECT_GE(ms, 3200);  // 2 x (1500 + 300)
    EXPECT_LE(ms, 12000);
}

TEST_F(ScalesOverUdp, ContinuationAcceptsAnyReplyAndWaitsLong) {
    emulator.SetFaults(NegativeFor("continuation"));
    EXPECT_EQ(scales.SendNameContinuation(kLongName, 5), 0);
    EXPECT_EQ(FramesOf(emulator, FrameKind::kContinuation).size(), 1u);
    EXPECT_EQ(scales.OutcomeText(), u"");  // a continuation reply is not recorded

    // A reply 250 ms late is still the continuation's reply (wait 1500 ms).
    emu::Faults late;
    late.delayMs = 250;
    emulator.SetFaults(late);
    emulator.ClearFrames();
    long long ms = ElapsedMs([&] { EXPECT_EQ(scales.SendNameContinuation(kLongName, 5), 0); });
    EXPECT_EQ(FramesOf(emulator, FrameKind::kContinuation).size(), 1u);
    EXPECT_GE(ms, 200);
    EXPECT_LE(ms, 1500);
    // A name of 36 characters needs no continuation: nothing is sent.
    emulator.ClearFrames();
    EXPECT_EQ(scales.SendNameContinuation(std::u16string(36, u'Ж'), 5), 0);
    EXPECT_TRUE(emulator.Frames().empty());
}

TEST_F(ScalesOverUdp, ClearGoodsIgnoresTheReply) {
    emulator.SetFaults(NegativeFor("clear"));
    EXPECT_EQ(scales.ClearGoods(), 0);
    EXPECT_EQ(scales.OutcomeText(), u"Error:120000");
    emulator.SetFaults(SilentFor("clear"));
    long long ms = ElapsedMs([&] { EXPECT_EQ(scales.ClearGoods(), 0); });
    EXPECT_EQ(scales.OutcomeText(), u"OK");
    EXPECT_GE(ms, 150);
    EXPECT_LE(ms, 1500);
    EXPECT_EQ(FramesOf(emulator, FrameKind::kClear).size(), 2u);  // no retry
    EXPECT_EQ(Hex(emulator.Frames().back().bytes, 0, 5), "0E 04 00 00 04");
}

// The late negative reply to the first clear arrives after its 200 ms wait;
// the next command's drain discards it, so the second clear sees its own
// positive reply.
TEST_F(ScalesOverUdp, LateReplyIsDrainedByTheNextCommand) {
    emu::Faults late;
    late.negative = true;
    late.delayMs = 300;
    emulator.SetFaults(late);
    EXPECT_EQ(scales.ClearGoods(), 0);
    EXPECT_EQ(scales.OutcomeText(), u"OK");
    emulator.SetFaults({});
    transport::SleepMs(250);  // the late reply is now waiting in the socket
    EXPECT_EQ(scales.ClearGoods(), 0);
    EXPECT_EQ(scales.OutcomeText(), u"Error:120002");
}

TEST_F(ScalesOverUdp, PromptRepliesAreTakenAtOnce) {
    // The emulator answers at once: 50 goods (clock + record each) take well
    // under the 20 ms-per-poll pace of a fixed-sleep loop (50 x 2 x 20 ms).
    long long ms = ElapsedMs([&] {
        for (int i = 0; i < 50; ++i) ASSERT_EQ(scales.SendGood(u"A", i, i, i, i), 0);
    });
    EXPECT_LE(ms, 2000);
    EXPECT_EQ(emulator.Snapshot().goods.size(), 50u);
}

TEST_F(ScalesOverUdp, ShortAndLongMessages) {
    ASSERT_EQ(scales.StartSendMessages(), 0);
    ASSERT_EQ(scales.SendMessageV1(1, u"AB\r\nCD", 0), 0);
    const auto shortFrames = FramesOf(emulator, FrameKind::kMessage);
    ASSERT_EQ(shortFrames.size(), 1u);
    EXPECT_EQ(Hex(shortFrames[0].bytes, 0, 16), "62 00 00 0B 00 00 00 00 00 00 41 42 FF FF 43 44");
    EXPECT_EQ(scales.MessageCounter(), 0);  // short messages carry no sequence number

    ASSERT_EQ(scales.SendMessageV1(2, std::u16string(300, u'Я'), 0), 0);
    const auto data = FramesOf(emulator, FrameKind::kMessageData);
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(Hex(data[0].bytes, 0, 10), "79 00 00 2C 01 00 00 06 00 DF");
    EXPECT_EQ(Hex(data[1].bytes, 0, 4), "79 01 00 DF");
    EXPECT_EQ(scales.MessageCounter(), 2);
    const emu::State state = emulator.Snapshot();
    ASSERT_EQ(state.messages.count(1), 1u);
    EXPECT_EQ(state.messages.at(1), (std::vector<std::string>{"AB", "CD"}));
    EXPECT_EQ(scales.OutcomeText(), u"Error:120002");
}

// A value that its frame field cannot hold is refused before the port sees
// anything: not even the clock frame that goes before every good.
TEST_F(ScalesOverUdp, RefusedValuesSendNothing) {
    scales::GoodsFields tooLongCode;
    tooLongCode.code = 1234567;
    EXPECT_EQ(scales.SendGoodToScalesV1(u"A", tooLongCode), 132);
    EXPECT_EQ(scales.SendGood(u"A", 1, 1, -500, 1), 4);
    EXPECT_EQ(scales.SendGood(u"A", 1, 1, 100000000, 1), 4);
    EXPECT_EQ(scales.SendGood(kLongName, 1, 1, 1, 70000), 134);
    scales.SetLabelSettings(0, 123, 7, 4);  // etikdep 123
    EXPECT_EQ(scales.SendGood(u"A", 1, 1, 1, 1), 135);
    EXPECT_EQ(scales.SendNameContinuation(kLongName, 1000000), 132);
    EXPECT_EQ(scales.SendNameContinuation(kLongName, -1), 132);
    EXPECT_EQ(scales.SendMessageV1(INT32_MIN, u"A", 0), 144);
    EXPECT_EQ(scales.SendMessageV1(65536, u"A", 0), 144);
    EXPECT_EQ(scales.SendMessageV1(1, u"A", -1), 145);
    EXPECT_EQ(scales.SendMessageV1(1, std::u16string(65536, u'x'), 0), 146);
    EXPECT_EQ(emulator.FramesReceived(), 0u);
    EXPECT_EQ(scales.ContinuationCounter(), 0);
    EXPECT_EQ(scales.MessageCounter(), 0);
    EXPECT_EQ(scales.OutcomeText(), u"");
}

// Number 0 is sent as FF FF, as the scales have always been given it; 65535
// is the largest number the announcement's 16-bit field holds.
TEST_F(ScalesOverUdp, MessageNumbersAtTheEndsOfTheirField) {
    ASSERT_EQ(scales.SendMessageV1(0, u"Ноль", 0), 0);
    ASSERT_EQ(scales.SendMessageV1(65535, std::u16string(300, u'x'), 0), 0);
    EXPECT_EQ(Hex(FramesOf(emulator, FrameKind::kMessage).at(0).bytes, 0, 3), "62 FF FF");
    EXPECT_EQ(Hex(FramesOf(emulator, FrameKind::kAnnouncement).at(0).bytes, 0, 10),
              "62 FE FF 00 00 FF FF 00 00 01");
    const emu::State state = emulator.Snapshot();
    EXPECT_EQ(state.messages.at(0), (std::vector<std::string>{"Ноль"}));
    EXPECT_EQ(state.messages.at(65535), (std::vector<std::string>{std::string(300, 'x')}));
}

// The largest text the 16-bit length holds goes whole, in 1 + 256 data frames.
TEST_F(ScalesOverUdp, LongestMessageGoesWhole) {
    ASSERT_EQ(scales.SendMessageV1(2, std::u16string(65535, u'x'), 0), 0);
    const auto data = FramesOf(emulator, FrameKind::kMessageData);
    ASSERT_EQ(data.size(), 257u);
    EXPECT_EQ(Hex(data[0].bytes, 3, 2), "FF FF");
    EXPECT_EQ(emulator.Snapshot().messages.at(2),
              (std::vector<std::string>{std::string(65535, 'x')}));
}

// Frames 1-3 are the announcement and two data frames; the 3rd is refused,
// so the whole message is sent again with the same sequence numbers.
TEST_F(ScalesOverUdp, RetriedLongMessageRepeatsItsSequenceNumbers) {
    ASSERT_EQ(scales.StartSendMessages(), 0);
    emu::Faults faults;
    faults.failNth = 3;
    emulator.SetFaults(faults);
    long long ms =
        ElapsedMs([&] { EXPECT_EQ(scales.SendMessageV1(1, std::u16string(300, u'q'), 0), 0); });
    const auto frames = emulator.Frames();
    ASSERT_EQ(frames.size(), 6u);
    for (size_t attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(Hex(frames[attempt * 3].bytes, 0, 10), "62 00 00 00 00 01 00 00 00 01");
        EXPECT_EQ(Hex(frames[attempt * 3 + 1].bytes, 0, 3), "79 00 00");
        EXPECT_EQ(Hex(frames[attempt * 3 + 2].bytes, 0, 3), "79 01 00");
    }
    EXPECT_EQ(scales.MessageCounter(), 2);
    EXPECT_GE(ms, 250);
    EXPECT_LE(ms, 3000);
}

TEST_F(ScalesOverUdp, RefusedMessageGives7AndKeepsTheStartingNumber) {
    ASSERT_EQ(scales.StartSendMessages(), 0);
    ASSERT_EQ(scales.SendMessageV1(1, std::u16string(300, u'q'), 0), 0);
    emulator.ClearFrames();
    emulator.SetFaults(NegativeFor("message-data"));
    EXPECT_EQ(scales.SendMessageV1(2, std::u16string(300, u'q'), 0), 7);
    const auto data = FramesOf(emulator, FrameKind::kMessageData);
    ASSERT_EQ(data.size(), 3u);  // one data frame per attempt, all numbered 2
    for (const auto& frame : data) EXPECT_EQ(Hex(frame.bytes, 0, 3), "79 02 00");
    EXPECT_EQ(FramesOf(emulator, FrameKind::kAnnouncement).size(), 3u);
    EXPECT_EQ(scales.MessageCounter(), 3);
}

TEST_F(ScalesOverUdp, UnansweredMessageGives3) {
    emulator.SetFaults(SilentFor("message"));
    long long ms = ElapsedMs([&] { EXPECT_EQ(scales.SendMessageV1(1, u"hi", 0), 3); });
    EXPECT_EQ(FramesOf(emulator, FrameKind::kMessage).size(), 3u);
    EXPECT_EQ(scales.OutcomeText(), u"OK");
    EXPECT_GE(ms, 1200);  // 3 x (200 + 300)
    EXPECT_LE(ms, 6000);
}

TEST_F(ScalesOverUdp, HotKeys) {
    EXPECT_EQ(scales.PrepareSendHotKeys(), 0);
    EXPECT_EQ(scales.AddHotKey(123456, 1), 0);
    EXPECT_EQ(scales.AddHotKey(4711, 85), 0);
    EXPECT_EQ(scales.AddHotKey(999999, 299), 0);
    EXPECT_EQ(scales.AddHotKey(1000000, 2), 131);
    EXPECT_EQ(scales.AddHotKey(1, 0), 131);
    EXPECT_EQ(scales.AddHotKey(1, 300), 131);
    EXPECT_EQ(scales.AddHotKey(0xFFFFFFFFu, 3), 131);
    EXPECT_EQ(scales.HotKeys()[1], 0u);
    EXPECT_EQ(scales.HotKeys()[298], 999999u);

    ASSERT_EQ(scales.SendHotKeys(), 0);
    EXPECT_EQ(FramesOf(emulator, FrameKind::kHotKeys).size(), 3u);
    const emu::State state = emulator.Snapshot();
    ASSERT_EQ(state.hotKeys.size(), 252u);  // keys 253..299 have no page
    EXPECT_EQ(state.hotKeys[0], 123456u);
    EXPECT_EQ(state.hotKeys[84], 4711u);

    // Refused or unanswered pages are not retried and still report success.
    emulator.SetFaults(SilentFor("hot-keys"));
    EXPECT_EQ(scales.SendHotKeys(), 0);
    EXPECT_EQ(FramesOf(emulator, FrameKind::kHotKeys).size(), 6u);
    EXPECT_EQ(scales.OutcomeText(), u"OK");
    emulator.SetFaults(NegativeFor("hot-keys"));
    EXPECT_EQ(scales.PrepareSendHotKeys(), 0);
    EXPECT_EQ(scales.SendHotKeys(), 0);
    const auto zeros = FramesOf(emulator, FrameKind::kHotKeys);
    ASSERT_EQ(zeros.size(), 9u);
    EXPECT_TRUE(ZeroFrom(zeros[6].bytes, 3));
}

TEST_F(ScalesOverUdp, ClosedPortIsReopenedBeforeTheExchange) {
    scales.ClosePort();
    EXPECT_EQ(scales.GetPortState(), 2);
    EXPECT_EQ(scales.ClearGoods(), 0);
    EXPECT_EQ(scales.GetPortState(), 0);
    EXPECT_EQ(FramesOf(emulator, FrameKind::kClear).size(), 1u);
}

// With the emulator gone the network reports the port unreachable and the
// port closes itself; the next exchange opens it again.
TEST_F(ScalesOverUdp, TransportFailureThenReopen) {
    const uint16_t port = emulator.UdpPort();
    emulator.Stop();
    EXPECT_EQ(scales.ClearGoods(), 0);
    EXPECT_EQ(scales.OutcomeText(), u"OK");
    scales.ClearGoods();  // the refusal shows at the latest on this one's reads
    EXPECT_EQ(scales.GetPortState(), 2);

    ASSERT_TRUE(emulator.StartUdp("127.0.0.1", port));
    EXPECT_EQ(scales.ClearGoods(), 0);
    EXPECT_EQ(scales.OutcomeText(), u"Error:120002");
    EXPECT_EQ(scales.GetPortState(), 0);
}

namespace {
// A scales object whose exchanges meet an unexpected failure after the port opened.
class FailingScales : public CScalesRongta1000 {
  public:
    int32_t EnsureOpen() override {
        const int32_t opened = CScalesRongta1000::EnsureOpen();
        if (failNext) throw std::runtime_error("out of memory");
        return opened;
    }
    bool failNext = false;
};
}  // namespace

TEST(ScalesFailureTest, UnexpectedFailureClosesThePortAndGives1) {
    emu::ScalesEmulator emulator;
    ASSERT_TRUE(emulator.StartUdp("127.0.0.1", 0));
    FailingScales scales;
    scales.SetKeepOpen(1);
    ASSERT_EQ(scales.ConnectByEthernet("127.0.0.1", emulator.UdpPort(), 0), 0);
    scales.failNext = true;
    EXPECT_EQ(scales.ClearGoods(), 1);
    EXPECT_EQ(scales.GetPortState(), 2);
    EXPECT_EQ(scales.SendGood(u"A", 1, 1, 1, 1), 1);
    EXPECT_EQ(scales.SendMessageV1(1, u"A", 0), 1);
    EXPECT_EQ(scales.SendHotKeys(), 1);
    EXPECT_EQ(scales.SetClock(2024, 1, 1, 1, 1, 1), 1);
    EXPECT_TRUE(emulator.Frames().empty());
    scales.failNext = false;
    EXPECT_EQ(scales.ClearGoods(), 0);
}

TEST(ScalesConnectTest, UnopenablePortsGive1AndSendNothing) {
    CScalesRongta1000 scales;
    scales.SetKeepOpen(1);
    EXPECT_EQ(scales.ConnectByEthernet("no such scales.invalid", 5001, 0), 1);
    EXPECT_EQ(scales.GetPortState(), 2);
    EXPECT_EQ(scales.SendGood(u"A", 1, 1, 1, 1), 1);
    EXPECT_EQ(scales.Port().ConnectionType(), transport::kConnectionEthernet);

    EXPECT_EQ(scales.ConnectByRS232("/dev/no-such-scales", 9600), 1);
    long long ms = ElapsedMs([&] {
        EXPECT_EQ(scales.SendGood(u"A", 1, 1, 1, 1), 1);
        EXPECT_EQ(scales.ClearGoods(), 1);
        EXPECT_EQ(scales.SendHotKeys(), 1);
        EXPECT_EQ(scales.SendMessageV1(1, u"A", 0), 1);
        EXPECT_EQ(scales.SyncClock(), 1);
        EXPECT_EQ(scales.SendNameContinuation(kLongName, 1), 1);
    });
    EXPECT_LE(ms, 1000);  // no waits, no pauses: nothing was sent
    EXPECT_EQ(scales.GetPortState(), 2);
    EXPECT_EQ(scales.OutcomeText(), u"");
}

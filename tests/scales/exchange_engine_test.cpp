// The exchange engine's rules in simulated time: a scripted scales behind a
// simulated link, so every wait, split and late reply happens exactly when
// the script says and every run gives the same verdicts.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <vector>

#include "scales/exchange.h"
#include "scales/frames.h"

namespace {

using scales::Exchange;
using scales::ExchangeRule;
using scales::Frame;
using scales::LinkKind;
using scales::Reply;

constexpr int64_t kMs = 1000;
constexpr uint8_t kPositive = 0x02;
constexpr uint8_t kRefused = 0x15;

// How the scripted scales answer one frame: `responseUs` after the whole
// frame reached them, `verdict` followed by zeros, in `pieces` datagrams (or
// serial bytes) `gapUs` apart.
struct Answer {
    bool silent = false;
    int64_t responseUs = 1 * kMs;
    uint8_t verdict = kPositive;
    int pieces = 1;
    int64_t gapUs = 0;
};
// The answer to the n-th frame (from 0).
using Script = std::function<Answer(const Frame& frame, int n)>;

// A link whose clock moves only when the engine waits or the test lets time
// pass (SleepUs).  The scales behind it answer each frame its response time
// after the frame reached them, but in order, as one device does: a reply
// never overtakes the one before it, and follows it by a few milliseconds at
// the least.
class SimulatedLink : public scales::ExchangeLink {
  public:
    LinkKind kind = LinkKind::kDatagram;
    uint32_t baud = 0;
    int outputQueued = 0;
    bool oneDatagramPerRead = false;
    // How late this thread gets back from a wait that ran to its end (held
    // up by other work); input arriving meanwhile is then waiting.
    int64_t timerLateUs = 0;
    // A timer that ends waits only on its ticks (input still wakes a wait
    // at once).
    int64_t tickUs = 0;
    Script script = [](const Frame&, int) { return Answer{}; };
    int64_t now = 1000 * kMs;

    // Bytes that reach the driver at `atUs`, whatever was written.
    void Arrive(int64_t atUs, std::vector<uint8_t> bytes) { inbox_.emplace(atUs, bytes); }

    LinkKind Kind() override { return kind; }
    uint32_t BaudRate() override { return baud; }
    int Read(uint8_t* buffer) override {
        int n = 0;
        while (!inbox_.empty() && inbox_.begin()->first <= now) {
            for (uint8_t b : inbox_.begin()->second) buffer[n++] = b;
            inbox_.erase(inbox_.begin());
            if (oneDatagramPerRead) break;
        }
        return n;
    }
    int Write(const uint8_t* bytes) override {
        Frame frame;
        std::copy(bytes, bytes + scales::kFrameSize, frame.begin());
        const Answer answer = script(frame, written_++);
        if (answer.silent) return scales::kFrameSize;
        const int64_t reached = now + scales::LineTimeUs(scales::kFrameSize, baud);
        constexpr int64_t kTurnaroundUs = 2 * kMs;
        int64_t at = std::max(reached + answer.responseUs, lastReply_ + kTurnaroundUs);
        for (int k = 0; k < answer.pieces; ++k) {
            at += k == 0 ? 0 : answer.gapUs;
            // On a serial line each byte arrives once it is off the line.
            at += scales::LineTimeUs(1, baud);
            Arrive(at, {k == 0 ? answer.verdict : uint8_t{0}});
        }
        lastReply_ = at;
        return scales::kFrameSize;
    }
    bool WaitForInput(int64_t limitUs) override {
        const int64_t until = now + std::max<int64_t>(0, limitUs);
        if (!inbox_.empty() && inbox_.begin()->first <= until) {
            now = std::max(now, inbox_.begin()->first);
            return true;
        }
        now = until + (limitUs > 0 ? timerLateUs : 0);
        if (limitUs > 0 && tickUs > 0) now = (now + tickUs - 1) / tickUs * tickUs;
        return !inbox_.empty() && inbox_.begin()->first <= now;
    }
    int OutputQueued() override { return outputQueued; }
    int64_t NowUs() override { return now; }
    // Time passing on the link while the driver does nothing.
    void SleepUs(int64_t us) { now += us; }

  private:
    std::multimap<int64_t, std::vector<uint8_t>> inbox_;
    int written_ = 0;
    int64_t lastReply_ = 0;
};

Frame Goods(int32_t code) {
    scales::GoodsFields fields;
    fields.code = code;
    fields.plu = code;
    return scales::BuildGoodsFrame("A", fields);
}

Frame Clock() {
    return scales::BuildClockFrame({2024, 3, 5, 9, 7, 45});
}

bool IsGoods(const Frame& frame) {
    return frame[0] == 0x0B;
}
bool IsClock(const Frame& frame) {
    return frame[0] == 0x0E && frame[1] == 0x01;
}

// Simulated microseconds `action` takes.
int64_t Took(SimulatedLink& link, const std::function<void()>& action) {
    const int64_t start = link.now;
    action();
    return link.now - start;
}

TEST(ExchangeTiming, LineAndQuietTimes) {
    // 259 bytes of 10 bits: 539.6 ms at 4800 baud, 269.8 ms at 9600.
    EXPECT_EQ(scales::LineTimeUs(259, 4800), 539584);
    EXPECT_EQ(scales::LineTimeUs(259, 9600), 269792);
    EXPECT_EQ(scales::LineTimeUs(259, 0), 0);
    EXPECT_EQ(scales::SerialQuietUs(4800), 8021);
    EXPECT_EQ(scales::SerialQuietUs(9600), 4011);
    EXPECT_EQ(scales::SerialQuietUs(115200), 1000);
}

// A scales answering after 2 ms with its reply in datagrams 0.3 or 0.5 ms
// apart, after 150 ms with datagrams 1 ms apart, or at once (50 us) with
// datagrams 0.1 ms apart or back to back, the later ones starting 00.  Verdicts alternate, so a
// tail taken by the next frame would change that frame's verdict.
struct SplitCase {
    int pieces;
    int64_t gapUs;
    int64_t responseUs = 2 * kMs;
};

class SplitReplies : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitReplies, EveryVerdictLandsOnItsOwnFrame) {
    SimulatedLink link;
    const SplitCase split = GetParam();
    link.script = [split](const Frame&, int n) {
        Answer a;
        a.responseUs = split.responseUs;
        a.pieces = split.pieces;
        a.gapUs = split.gapUs;
        a.verdict = n % 2 == 0 ? kPositive : kRefused;
        return a;
    };
    Exchange exchange(link);
    const ExchangeRule rules[] = {ExchangeRule::Goods(),      ExchangeRule::SetClock(),
                                  ExchangeRule::ClearGoods(), ExchangeRule::HotKeyPage(),
                                  ExchangeRule::Message(),    ExchangeRule::Continuation()};
    int misjudged = 0;
    for (int n = 0; n < 600; ++n) {
        const Reply reply = exchange.Transact(Goods(n), rules[n % 6]);
        if (!reply.arrived || reply.first != (n % 2 == 0 ? kPositive : kRefused)) ++misjudged;
    }
    EXPECT_EQ(misjudged, 0);
    EXPECT_EQ(exchange.Tally().staleDropped, 0u);
    EXPECT_EQ(exchange.Tally().lateCredited, 0u);
    // The exchange is over with the reply's last datagram, once the reply
    // has the length of all the device's replies: no settle time after it.
    const int64_t took = Took(link, [&] { exchange.Transact(Goods(1), ExchangeRule::Goods()); });
    // (This scales answers 2 ms after its last datagram at the soonest.)
    EXPECT_EQ(took, std::max(split.responseUs, 2 * kMs) + (split.pieces - 1) * split.gapUs);
}

INSTANTIATE_TEST_SUITE_P(Gaps, SplitReplies,
                         ::testing::Values(SplitCase{2, 300}, SplitCase{2, 500}, SplitCase{3, 300},
                                           SplitCase{3, 500}, SplitCase{3, 1000, 150 * kMs},
                                           SplitCase{3, 100, 50}, SplitCase{2, 0, 50}));

// One reply's tail comes 1.4 ms after its first datagram, later than the
// tail window the device's 0.3 ms tails have taught, but sooner after the
// next frame than the device ever answers: it is still that reply's tail, and
// no verdict, then or later, is off by one.
TEST(SplitReplies, ATailLaterThanItsWindowIsNoReply) {
    SimulatedLink link;
    link.script = [](const Frame&, int n) {
        Answer a;
        a.responseUs = 2 * kMs;
        a.pieces = 2;
        a.gapUs = n == 20 ? 1400 : 300;
        a.verdict = n % 2 == 0 ? kPositive : kRefused;
        return a;
    };
    Exchange exchange(link);
    int misjudged = 0;
    for (int n = 0; n < 100; ++n) {
        const Reply reply = exchange.Transact(Goods(n), ExchangeRule::Goods());
        misjudged += !reply.arrived || reply.first != (n % 2 == 0 ? kPositive : kRefused);
    }
    EXPECT_EQ(misjudged, 0);
}

// This thread held up 1.8 ms past the end of every wait that runs out, with
// a scales answering in 2 ms in datagrams 0.5 ms apart: the tail window
// after each frame ends too late, when the next reply may already be in.
// With replies of one length, the tail ends each window as soon as it is in,
// so nothing is lost; with replies of 2 and 3 datagrams in turn, what is
// read late is taken as the tail, and its frame goes unanswered -- but no
// verdict is ever a tail's.
TEST(HeldUpThread, NeverTakesATailForAReply) {
    for (const bool oneLength : {true, false}) {
        SimulatedLink link;
        link.timerLateUs = 1800;
        link.script = [oneLength](const Frame&, int n) {
            Answer a;
            a.responseUs = 2 * kMs;
            a.pieces = oneLength || n % 2 == 0 ? 2 : 3;
            a.gapUs = 500;
            a.verdict = n % 2 == 0 ? kPositive : kRefused;
            return a;
        };
        Exchange exchange(link);
        int misjudged = 0;
        int unanswered = 0;
        for (int n = 0; n < 200; ++n) {
            const Reply reply = exchange.Transact(Goods(n), ExchangeRule::HotKeyPage());
            unanswered += !reply.arrived;
            misjudged += reply.arrived && reply.first != (n % 2 == 0 ? kPositive : kRefused);
        }
        EXPECT_EQ(misjudged, 0) << oneLength;
        EXPECT_EQ(static_cast<uint64_t>(unanswered), exchange.Tally().tailsOverrun) << oneLength;
        EXPECT_EQ(unanswered == 0, oneLength);
    }
}

// Every timed wait of the system ending only on a 15.625 ms timer tick: an
// upload still goes at the scales' own pace, since no wait on its way runs
// out -- a reply ends its wait, and so does the last datagram of a split
// reply once the device's reply length is known.  Only the first four
// replies, heard out while the pace is learned, wait for a tick.
TEST(CoarseTimer, UploadKeepsTheScalesPace) {
    constexpr int64_t kTickUs = 15625;
    constexpr int kGoods = 100;
    for (const int pieces : {1, 2}) {
        SimulatedLink link;
        link.tickUs = kTickUs;
        link.script = [pieces](const Frame&, int) {
            Answer a;
            a.responseUs = 2 * kMs;
            a.pieces = pieces;
            a.gapUs = 300;
            return a;
        };
        Exchange exchange(link);
        const int64_t took = Took(link, [&] {
            for (int good = 0; good < kGoods; ++good) {
                EXPECT_TRUE(exchange.Transact(Clock(), ExchangeRule::Clock()).arrived);
                EXPECT_TRUE(exchange.Transact(Goods(good), ExchangeRule::Goods()).arrived);
            }
        });
        // Two answers a good, each 2 ms after its frame (or 2 ms after the
        // last datagram before it), and four ticks at most.
        const int64_t pace = 2 * kGoods * (2 * kMs + (pieces - 1) * 300);
        EXPECT_LE(took, pace + 4 * kTickUs) << pieces;
    }
}

// A scales answering every frame 300 ms after it arrived, refusing goods.
// The clock's reply comes after the clock's 200 ms but within its 300 ms of
// listening on; without that, it would be taken as the goods record's reply
// and the refused good reported written.
TEST(LateReplies, ClockAndGoodsEachKeepTheirOwnReply) {
    SimulatedLink link;
    link.script = [](const Frame& frame, int) {
        Answer a;
        a.responseUs = 300 * kMs;
        a.verdict = IsGoods(frame) ? kRefused : kPositive;
        return a;
    };
    Exchange exchange(link);
    for (int good = 0; good < 3; ++good) {
        const Reply clock = exchange.Transact(Clock(), ExchangeRule::Clock());
        EXPECT_TRUE(clock.arrived);
        EXPECT_EQ(exchange.OwedCount(), 0u);
        const Reply goods = exchange.Transact(Goods(good), ExchangeRule::Goods());
        ASSERT_TRUE(goods.arrived);
        EXPECT_EQ(goods.first, kRefused) << "good " << good;
    }
}

// Hot-key pages wait 200 ms and are not retried; a scales taking 300 ms has
// each page's reply arrive during the next page's wait, and the last one
// during the goods record's wait.  Each is credited to the page that owes it.
TEST(LateReplies, AreCreditedToTheFramesThatOweThem) {
    SimulatedLink link;
    link.script = [](const Frame& frame, int) {
        Answer a;
        a.responseUs = IsGoods(frame) ? 2 * kMs : 300 * kMs;
        a.verdict = IsGoods(frame) ? kRefused : kPositive;
        return a;
    };
    Exchange exchange(link);
    uint32_t keys[scales::kKeysPerPage * scales::kHotKeyPages] = {};
    for (int page = 0; page < scales::kHotKeyPages; ++page) {
        const Frame frame = scales::BuildHotKeyPage(keys, std::size(keys), page);
        EXPECT_FALSE(exchange.Transact(frame, ExchangeRule::HotKeyPage()).arrived) << page;
    }
    EXPECT_EQ(exchange.Tally().lateCredited, 2u);
    const Reply goods = exchange.Transact(Goods(7), ExchangeRule::Goods());
    ASSERT_TRUE(goods.arrived);
    EXPECT_EQ(goods.first, kRefused);
    EXPECT_EQ(exchange.Tally().lateCredited, 3u);
    EXPECT_EQ(exchange.OwedCount(), 0u);
}

// The owed rule's failure direction: a reply that never comes makes the next
// frame's prompt reply be credited to the owed frame, and the next frame is
// judged unanswered -- a retry, never a false success.
TEST(LateReplies, AReplyThatNeverComesCostsTheNextFrameARetryNotAWrongVerdict) {
    SimulatedLink link;
    link.script = [](const Frame& frame, int) {
        Answer a;
        a.silent = !IsGoods(frame);
        return a;
    };
    Exchange exchange(link);
    EXPECT_FALSE(
        exchange.Transact(scales::BuildClearGoodsFrame(), ExchangeRule::ClearGoods()).arrived);
    EXPECT_FALSE(exchange.Transact(Goods(1), ExchangeRule::Goods()).arrived);
    exchange.Pause(ExchangeRule::Goods().retryPauseMs);
    EXPECT_TRUE(exchange.Transact(Goods(1), ExchangeRule::Goods()).arrived);
}

// An unanswered frame is owed its reply for 300 ms after its wait ended;
// after that, a reply belongs to the frame in hand again.
struct GraceCase {
    int64_t idleMs;
    bool goodsHearsItsReply;
};

class OwedGrace : public ::testing::TestWithParam<GraceCase> {};

TEST_P(OwedGrace, EndsThreeHundredMsAfterTheWait) {
    SimulatedLink link;
    link.script = [](const Frame& frame, int) {
        Answer a;
        a.silent = !IsGoods(frame);
        return a;
    };
    Exchange exchange(link);
    exchange.Transact(scales::BuildClearGoodsFrame(), ExchangeRule::ClearGoods());
    EXPECT_EQ(exchange.OwedCount(), 1u);
    link.SleepUs(GetParam().idleMs * kMs);
    const bool heard = GetParam().goodsHearsItsReply;
    EXPECT_EQ(exchange.Transact(Goods(1), ExchangeRule::Goods()).arrived, heard);
    EXPECT_EQ(exchange.Tally().lateCredited, heard ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Idle, OwedGrace,
                         ::testing::Values(GraceCase{0, false}, GraceCase{250, false},
                                           GraceCase{310, true}, GraceCase{1000, true}));

// A goods record as the scales object sends it: up to three attempts, 300 ms
// apart.  True when an attempt's reply arrived and was positive.
bool GoodsWithRetries(Exchange& exchange, int32_t code) {
    const ExchangeRule rule = ExchangeRule::Goods();
    for (int attempt = 0; attempt < rule.attempts; ++attempt) {
        const Reply reply = exchange.Transact(Goods(code), rule);
        if (reply.arrived) return reply.first == kPositive;
        exchange.Pause(rule.retryPauseMs);
    }
    return false;
}

// The clock may go unanswered for good.  The first clock is owed its reply
// like any frame, so the first goods record's prompt reply is credited to it
// and that record is sent again; after that the scales are known not to
// answer clocks: each clock costs 500 ms and owes nothing, and the goods
// record after it keeps its own prompt reply.
TEST(ClockNeverAnswered, EachGoodCostsTheClocksHalfSecondAndStillGoesIn) {
    SimulatedLink link;
    link.script = [](const Frame& frame, int) {
        Answer a;
        a.silent = IsClock(frame);
        a.responseUs = 2 * kMs;
        return a;
    };
    Exchange exchange(link);
    EXPECT_FALSE(exchange.Transact(Clock(), ExchangeRule::Clock()).arrived);
    EXPECT_FALSE(exchange.Transact(Goods(0), ExchangeRule::Goods()).arrived);
    exchange.Pause(ExchangeRule::Goods().retryPauseMs);
    EXPECT_TRUE(exchange.Transact(Goods(0), ExchangeRule::Goods()).arrived);
    for (int good = 1; good <= 3; ++good) {
        Reply clock;
        const int64_t took =
            Took(link, [&] { clock = exchange.Transact(Clock(), ExchangeRule::Clock()); });
        EXPECT_FALSE(clock.arrived);
        EXPECT_EQ(took, 500 * kMs);
        EXPECT_EQ(exchange.OwedCount(), 0u);
        const Reply goods = exchange.Transact(Goods(good), ExchangeRule::Goods());
        EXPECT_TRUE(goods.arrived && goods.first == kPositive) << "good " << good;
    }
    EXPECT_EQ(exchange.Tally().lateCredited, 1u);
}

// Scales answering the clock after its 500 ms, but within its grace, and
// never answering the goods records: the clock's late reply is the clock's,
// so no goods record is ever reported written -- good after good.  Scales
// that do answer the goods record get it credited as ever.
TEST(ClockAnsweredAfterItsListening, ItsReplyNeverPassesForTheGoodsRecords) {
    for (const bool goodsAnswered : {false, true}) {
        SimulatedLink link;
        link.script = [goodsAnswered](const Frame& frame, int) {
            Answer a;
            a.silent = IsGoods(frame) && !goodsAnswered;
            a.responseUs = IsClock(frame) ? 650 * kMs : 2 * kMs;
            return a;
        };
        Exchange exchange(link);
        for (int good = 0; good < 3; ++good) {
            EXPECT_FALSE(exchange.Transact(Clock(), ExchangeRule::Clock()).arrived);
            EXPECT_EQ(GoodsWithRetries(exchange, good), goodsAnswered)
                << "good " << good << (goodsAnswered ? ", answered" : ", silent");
        }
    }
}

// The belief whether the scales answer clocks, moved back and forth.  Each
// phase sets how the scales answer; the goods' results are what the engine
// makes of the replies, and no good the scales never answered may come back
// written.
TEST(ClockBelief, MovesWithTheScalesAndNeverPassesAClockReplyForAGood) {
    enum class Phase { kClockSilent, kClockPrompt, kClockLateGoodsSilent };
    Phase phase = Phase::kClockSilent;
    SimulatedLink link;
    link.script = [&phase](const Frame& frame, int) {
        Answer a;
        a.responseUs = 2 * kMs;
        if (IsClock(frame)) {
            a.silent = phase == Phase::kClockSilent;
            if (phase == Phase::kClockLateGoodsSilent) a.responseUs = 650 * kMs;
        } else {
            a.silent = phase == Phase::kClockLateGoodsSilent;
        }
        return a;
    };
    Exchange exchange(link);
    const auto good = [&](int32_t code) {
        exchange.Transact(Clock(), ExchangeRule::Clock());
        return GoodsWithRetries(exchange, code);
    };
    EXPECT_TRUE(good(1));
    EXPECT_TRUE(good(2));
    EXPECT_EQ(exchange.Belief(), scales::ClockBelief::kSilent);
    phase = Phase::kClockPrompt;
    EXPECT_TRUE(good(3));
    EXPECT_EQ(exchange.Belief(), scales::ClockBelief::kAnswers);
    phase = Phase::kClockLateGoodsSilent;
    for (int32_t code = 4; code <= 6; ++code) EXPECT_FALSE(good(code)) << code;
}

// A clock whose grace ends with nothing credited to it shows that the scales
// do not answer clocks (here the goods record answers only after that grace):
// the next clock owes nothing, so the next good's prompt reply is its own at
// the first attempt.
TEST(ClockBelief, AClockGraceEndingUnansweredShowsClocksGoUnanswered) {
    SimulatedLink link;
    int64_t goodsResponseUs = 400 * kMs;
    link.script = [&goodsResponseUs](const Frame& frame, int) {
        Answer a;
        a.silent = IsClock(frame);
        a.responseUs = goodsResponseUs;
        return a;
    };
    Exchange exchange(link);
    exchange.Transact(Clock(), ExchangeRule::Clock());
    EXPECT_TRUE(exchange.Transact(Goods(1), ExchangeRule::Goods()).arrived);
    EXPECT_EQ(exchange.Belief(), scales::ClockBelief::kSilent);
    goodsResponseUs = 2 * kMs;
    exchange.Transact(Clock(), ExchangeRule::Clock());
    EXPECT_TRUE(exchange.Transact(Goods(2), ExchangeRule::Goods()).arrived);
    EXPECT_EQ(exchange.Tally().lateCredited, 0u);
}

// Clocks answered at 650 ms; the first goods record answered only on its
// third attempt, every later record never.  The first good is written (its
// own reply, after two silent attempts clear the doubt a late clock credit
// raised); the later goods are not, however their clocks' replies fall.
TEST(ClockBelief, AGoodAnsweredOnlyOnItsThirdAttemptLeavesClocksOwed) {
    SimulatedLink link;
    int goodsFrames = 0;
    link.script = [&goodsFrames](const Frame& frame, int) {
        Answer a;
        a.responseUs = IsClock(frame) ? 650 * kMs : 2 * kMs;
        if (IsGoods(frame)) a.silent = goodsFrames++ != 2;
        return a;
    };
    Exchange exchange(link);
    std::vector<bool> written;
    for (int32_t code = 1; code <= 3; ++code) {
        exchange.Transact(Clock(), ExchangeRule::Clock());
        written.push_back(GoodsWithRetries(exchange, code));
    }
    EXPECT_EQ(written, (std::vector<bool>{true, false, false}));
}

// Every first reply byte under every command's rule, the reply in two
// datagrams (the second starting 00): only 0x02 is positive, the verdict is
// the first byte's, and no reply at all gives the rule's own result.
TEST(ReplyVerdicts, EveryFirstByteUnderEveryCommand) {
    const struct {
        const char* command;
        ExchangeRule rule;
        int32_t positive;  // result for 0x02
        int32_t other;     // for any other first byte
        int32_t none;      // for no reply
    } rows[] = {
        {"clock", ExchangeRule::Clock(), 0, 0, 0},
        {"set clock", ExchangeRule::SetClock(), 0, 3, 3},
        {"clear goods", ExchangeRule::ClearGoods(), 0, 0, 0},
        {"goods record", ExchangeRule::Goods(), 0, 7, 3},
        {"name continuation", ExchangeRule::Continuation(), 0, 0, 3},
        {"hot-key page", ExchangeRule::HotKeyPage(), 0, 0, 0},
        {"message frame", ExchangeRule::Message(), 0, 7, 3},
    };
    constexpr int kBytes = 256;
    for (const auto& row : rows) {
        SimulatedLink link;
        link.script = [](const Frame&, int n) {
            Answer a;
            a.silent = n == kBytes;
            a.responseUs = 2 * kMs;
            a.verdict = static_cast<uint8_t>(n);
            a.pieces = 2;
            a.gapUs = 300;
            return a;
        };
        Exchange exchange(link);
        for (int byte = 0; byte < kBytes; ++byte) {
            const Reply reply = exchange.Transact(Goods(byte), row.rule);
            ASSERT_TRUE(reply.arrived) << row.command << " " << byte;
            EXPECT_EQ(reply.first, byte) << row.command;
            EXPECT_EQ(scales::JudgeReply(row.rule.verdict, reply),
                      byte == kPositive ? row.positive : row.other)
                << row.command << " " << byte;
        }
        const Reply none = exchange.Transact(Goods(0), row.rule);
        EXPECT_EQ(scales::JudgeReply(row.rule.verdict, none), row.none) << row.command;
    }
}

// A serial line reopened keeps what it owes: it is the same line, and a
// reply to a frame sent before the reopen may still come down it.  Clearing
// (200 ms wait) answered 480 ms after it reached the scales, then a refused
// goods record after the reopen: the late reply arrives in the record's wait,
// within the clearing's grace, and is credited to the clearing, not taken as
// the record's.
TEST(SerialReopen, AReplyOwedBeforeTheReopenIsCreditedToItsFrame) {
    SimulatedLink link;
    link.kind = LinkKind::kSerial;
    link.baud = 9600;
    link.script = [](const Frame& frame, int) {
        Answer a;
        a.responseUs = IsGoods(frame) ? 20 * kMs : 480 * kMs;
        a.verdict = IsGoods(frame) ? kRefused : kPositive;
        return a;
    };
    Exchange exchange(link);
    EXPECT_FALSE(
        exchange.Transact(scales::BuildClearGoodsFrame(), ExchangeRule::ClearGoods()).arrived);
    exchange.Reopened();
    EXPECT_EQ(exchange.OwedCount(), 1u);
    const Reply goods = exchange.Transact(Goods(1), ExchangeRule::Goods());
    ASSERT_TRUE(goods.arrived);
    EXPECT_EQ(goods.first, kRefused);
    EXPECT_EQ(exchange.Tally().lateCredited, 1u);
}

// On a serial line the wait for a reply starts once the frame can have left
// the line; before that nothing can answer it.
class SerialLineTime : public ::testing::TestWithParam<uint32_t> {};

TEST_P(SerialLineTime, WaitStartsWhenTheFrameHasLeftTheLine) {
    const uint32_t baud = GetParam();
    const int64_t lineUs = scales::LineTimeUs(scales::kFrameSize, baud);
    SimulatedLink link;
    link.kind = LinkKind::kSerial;
    link.baud = baud;
    link.script = [](const Frame&, int n) {
        Answer a;
        a.silent = n == 1;
        a.responseUs = 2 * kMs;
        return a;
    };
    Exchange exchange(link);
    // A prompt reply: the frame's line time, the answer, the reply byte's
    // own line time, then the line is quiet for 3.5 character times.
    const int64_t answered = Took(
        link, [&] { EXPECT_TRUE(exchange.Transact(Goods(1), ExchangeRule::Goods()).arrived); });
    EXPECT_EQ(answered,
              lineUs + 2 * kMs + scales::LineTimeUs(1, baud) + scales::SerialQuietUs(baud));
    // No reply: the full 500 ms, counted after the line time.
    const int64_t unanswered = Took(
        link, [&] { EXPECT_FALSE(exchange.Transact(Goods(2), ExchangeRule::Goods()).arrived); });
    EXPECT_EQ(unanswered, lineUs + 500 * kMs);
}

TEST_P(SerialLineTime, BytesBeforeTheFrameLeftAreStale) {
    SimulatedLink link;
    link.kind = LinkKind::kSerial;
    link.baud = GetParam();
    link.script = [](const Frame&, int) {
        Answer a;
        a.verdict = kRefused;
        return a;
    };
    Exchange exchange(link);
    link.Arrive(link.now + 100 * kMs, {kPositive});
    const Reply reply = exchange.Transact(Goods(1), ExchangeRule::Goods());
    ASSERT_TRUE(reply.arrived);
    EXPECT_EQ(reply.first, kRefused);
    EXPECT_EQ(exchange.Tally().staleDropped, 1u);
}

// Clock and goods record for three goods, the second refused, at line pace:
// every verdict on its own frame, and nothing over before the six frames
// could have left the line.
TEST_P(SerialLineTime, UploadNeverOutrunsTheLine) {
    SimulatedLink link;
    link.kind = LinkKind::kSerial;
    link.baud = GetParam();
    link.script = [](const Frame& frame, int) {
        Answer a;
        a.responseUs = 5 * kMs;
        a.verdict = IsGoods(frame) && frame[41] == 0x02 ? kRefused : kPositive;
        return a;
    };
    Exchange exchange(link);
    std::vector<uint8_t> verdicts;
    const int64_t took = Took(link, [&] {
        for (int good = 1; good <= 3; ++good) {
            verdicts.push_back(exchange.Transact(Clock(), ExchangeRule::Clock()).first);
            verdicts.push_back(exchange.Transact(Goods(good), ExchangeRule::Goods()).first);
        }
    });
    EXPECT_EQ(verdicts, (std::vector<uint8_t>{kPositive, kPositive, kPositive, kRefused, kPositive,
                                              kPositive}));
    EXPECT_GE(took, 6 * scales::LineTimeUs(scales::kFrameSize, GetParam()));
}

// A UART held by flow control never empties its queue: the wait for it ends
// after the frame's line time once more, and the reply wait runs after it.
TEST_P(SerialLineTime, AnOutputQueueThatNeverEmptiesIsWaitedForOnlySoLong) {
    const int64_t lineUs = scales::LineTimeUs(scales::kFrameSize, GetParam());
    for (int queued : {0, 40}) {
        SimulatedLink link;
        link.kind = LinkKind::kSerial;
        link.baud = GetParam();
        link.outputQueued = queued;
        link.script = [](const Frame&, int) { return Answer{true}; };
        Exchange exchange(link);
        const int64_t took = Took(link, [&] {
            exchange.Transact(scales::BuildClearGoodsFrame(), ExchangeRule::ClearGoods());
        });
        EXPECT_EQ(took, (queued == 0 ? lineUs : 2 * lineUs) + 200 * kMs) << queued;
    }
}

INSTANTIATE_TEST_SUITE_P(Bauds, SerialLineTime, ::testing::Values(4800u, 9600u));

// Serial reply bytes come off the line one by one.  Bytes less than 3.5
// character times apart (the line's quiet time: 2 ms at 19200 baud) are one
// reply, taken whole; a byte after a longer silence is not part of it.  Each
// row spaces the four bytes of every reply (02 00 00 00) by a share of the
// quiet time, at least one character time.  Clearing and clock setting
// alternate, so a byte left over would be dropped before the next frame or
// taken as its reply.
TEST(SerialReplies, BytesWithinTheQuietTimeAreOneReply) {
    constexpr uint32_t kBaud = 19200;
    const int64_t quietUs = scales::SerialQuietUs(kBaud);
    const int64_t byteUs = scales::LineTimeUs(1, kBaud);
    const struct {
        int quietTenths;  // the bytes' spacing, in tenths of the quiet time
        bool whole;
    } rows[] = {{0, true}, {5, true}, {9, true}, {12, false}};
    for (const auto& row : rows) {
        SimulatedLink link;
        link.kind = LinkKind::kSerial;
        link.baud = kBaud;
        const int64_t spacingUs = std::max(byteUs, quietUs * row.quietTenths / 10);
        link.script = [&](const Frame&, int) {
            Answer a;
            a.pieces = 4;
            a.gapUs = spacingUs - byteUs;
            return a;
        };
        Exchange exchange(link);
        int positive = 0;
        for (int i = 0; i < 5; ++i) {
            positive +=
                exchange.Transact(scales::BuildClearGoodsFrame(), ExchangeRule::ClearGoods())
                    .first == kPositive;
            positive += exchange.Transact(Clock(), ExchangeRule::SetClock()).first == kPositive;
        }
        EXPECT_EQ(positive, 10) << row.quietTenths;
        EXPECT_EQ(exchange.Tally().staleDropped == 0, row.whole) << row.quietTenths;
    }
}

// Stale datagrams waiting before a frame, more than one Read (and more than
// one reply's worth of reads) takes: none of them may be left to be taken as
// the frame's reply.
TEST(ExchangeEngine, DrainTakesEverythingAlreadyWaiting) {
    SimulatedLink link;
    link.oneDatagramPerRead = true;
    link.script = [](const Frame&, int) {
        Answer a;
        a.verdict = kRefused;
        return a;
    };
    Exchange exchange(link);
    for (int i = 1; i <= 40; ++i) link.Arrive(link.now - i * 10 * kMs, {kPositive});
    const Reply reply = exchange.Transact(Goods(1), ExchangeRule::Goods());
    EXPECT_EQ(reply.first, kRefused);
    EXPECT_GE(exchange.Tally().staleDropped, 1u);
}

}  // namespace

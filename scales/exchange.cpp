#include "scales/exchange.h"

#include <algorithm>
#include <limits>

namespace scales {

namespace {

constexpr int64_t kUsPerMs = 1000;
constexpr int64_t kUsPerSecond = 1000000;
constexpr int64_t kLineBitsPerByte = 10;
// 3.5 characters of 11 bits (start, 8 data, parity slot, stop), in tenths.
constexpr int64_t kQuietBitTenths = 35 * 11;
constexpr int64_t kMinSerialQuietUs = 1000;
// A device answering at once (well under a millisecond) sends the datagrams
// of a split reply back to back; a slower one may leave more time between
// them, in proportion.  0.8 ms is the most a reply stays open: a device that
// answers in 2 ms and leaves 0.5 ms between its datagrams is still heard
// whole, while each exchange with a device answering in 5 ms costs no more
// than a sixth over its bare round trip.
constexpr int64_t kSettleFloorUs = 100;
constexpr int64_t kSettleCapUs = 800;
// A reply ends after this many quiet times past its wait at the latest, and
// a network reply after this many reads: a flooding peer cannot hold the
// exchange.
constexpr int64_t kTailQuietsPastWait = 16;
constexpr int kMaxReplyReads = 16;
constexpr int kMaxDrainedReplies = 64;
// How often a serial driver's output queue is looked at while it empties.
constexpr int64_t kOutputPollUs = 1000;
// The response time of a reply that answers no known frame.
constexpr int64_t kUnknownResponseUs = std::numeric_limits<int64_t>::max();
constexpr int64_t kNoEndUs = std::numeric_limits<int64_t>::max();

}  // namespace

int64_t LineTimeUs(size_t bytes, uint32_t baudRate) {
    if (baudRate == 0) return 0;
    const int64_t bitUs = static_cast<int64_t>(bytes) * kLineBitsPerByte * kUsPerSecond;
    return (bitUs + baudRate - 1) / baudRate;
}

int64_t SerialQuietUs(uint32_t baudRate) {
    if (baudRate == 0) return kMinSerialQuietUs;
    const int64_t us = (kQuietBitTenths * kUsPerSecond / 10 + baudRate - 1) / baudRate;
    return std::max(kMinSerialQuietUs, us);
}

int64_t DatagramSettleUs(int64_t responseUs) {
    return std::min(kSettleCapUs, std::max(kSettleFloorUs, responseUs / 2));
}

Exchange::Exchange(ExchangeLink& link) : link_(link) {}

Reply Exchange::Transact(const Frame& frame, const ExchangeRule& rule) {
    Send(frame);
    return Await(rule);
}

void Exchange::Send(const Frame& frame) {
    Drain();
    writtenUs_ = link_.NowUs();
    link_.Write(frame.data());
}

Reply Exchange::Await(const ExchangeRule& rule) {
    LookAtLink();
    const int64_t waitEnd =
        AwaitLineClear() + static_cast<int64_t>(rule.replyWaitMs + rule.lateListenMs) * kUsPerMs;
    for (int64_t now = link_.NowUs(); now < waitEnd; now = link_.NowUs()) {
        if (!link_.WaitForInput(waitEnd - now)) continue;
        const int64_t seen = link_.NowUs();
        if (link_.Read(buffer_.data()) <= 0) continue;
        if (CreditToOwed(seen, waitEnd, kNoEndUs)) continue;
        const Reply reply{true, buffer_[0]};
        TakeTail(QuietAfter(seen - writtenUs_), waitEnd, kNoEndUs);
        ++tally_.replies;
        LearnFromReply(rule);
        return reply;
    }
    LearnFromSilence();
    const bool whileAnswered = rule.lateReply == LateReply::kOwedWhileAnswered;
    if (!whileAnswered || answersWhileAnswered_) {
        Owe(writtenUs_, waitEnd + kOwedGraceUs, whileAnswered);
    }
    return Reply{};
}

// A reply credited to an owed frame of a LateReply::kOwedWhileAnswered rule
// (the clock) may have been the reply of the frame in hand, from a device
// that does not answer clocks at all: that frame then waits in vain, and its
// next attempt is answered.  A device that answers the clock late and leaves
// the frame in hand unanswered leaves the next attempt unanswered too.  So a
// silence after such a credit makes it doubtful, and an answer right after
// that silence shows that the device does not answer the clock; a second
// silence clears the doubt.  A reply within the clock's own wait shows the
// opposite.
void Exchange::LearnFromReply(const ExchangeRule& rule) {
    if (doubt_ == Doubt::kFrameUnanswered) answersWhileAnswered_ = false;
    if (rule.lateReply == LateReply::kOwedWhileAnswered) answersWhileAnswered_ = true;
    doubt_ = Doubt::kNone;
}

void Exchange::LearnFromSilence() {
    doubt_ = doubt_ == Doubt::kCredited ? Doubt::kFrameUnanswered : Doubt::kNone;
}

void Exchange::Pause(int ms) {
    LookAtLink();
    ListenStale(link_.NowUs() + static_cast<int64_t>(ms) * kUsPerMs);
}

void Exchange::Reopened() {
    if (link_.Kind() != LinkKind::kSerial) owedCount_ = 0;
}

void Exchange::LookAtLink() {
    kind_ = link_.Kind();
    baudRate_ = link_.BaudRate();
}

void Exchange::Drain() {
    LookAtLink();
    for (int replies = 0; replies < kMaxDrainedReplies && link_.WaitForInput(0); ++replies) {
        const int64_t seen = link_.NowUs();
        if (link_.Read(buffer_.data()) > 0) TakeStale(seen, kNoEndUs);
    }
}

// The scales can answer a serial frame only once all of it has reached them.
// A pseudo-terminal has no line speed and reports an empty queue at once, so
// the line time is counted, not only waited for; a real UART may still be
// behind, so its driver's queue is watched too, though never for longer than
// the frame's line time again: flow control can hold it for ever.
int64_t Exchange::AwaitLineClear() {
    if (kind_ != LinkKind::kSerial) return writtenUs_;
    const int64_t lineUs = LineTimeUs(kFrameSize, baudRate_);
    ListenStale(writtenUs_ + lineUs);
    const int64_t giveUp = writtenUs_ + 2 * lineUs;
    for (int64_t now = link_.NowUs(); now < giveUp && link_.OutputQueued() > 0;
         now = link_.NowUs()) {
        ListenStale(std::min(giveUp, now + kOutputPollUs));
    }
    return link_.NowUs();
}

// Bytes seen only after `untilUs` (this thread was held up) may have come
// after it too: at the end of a frame's line time they may be its reply, so
// they are left to what follows.  A stale reply's tail is not taken past
// `untilUs` either.
void Exchange::ListenStale(int64_t untilUs) {
    for (int64_t now = link_.NowUs(); now < untilUs; now = link_.NowUs()) {
        if (!link_.WaitForInput(untilUs - now)) continue;
        const int64_t seen = link_.NowUs();
        if (seen >= untilUs) return;
        if (link_.Read(buffer_.data()) > 0) TakeStale(seen, untilUs);
    }
}

// A reply that cannot answer the frame in hand: it came before that frame was
// written or could have left the line.
void Exchange::TakeStale(int64_t seenUs, int64_t tailEndUs) {
    if (CreditToOwed(seenUs, seenUs, tailEndUs)) return;
    TakeTail(QuietAfter(kUnknownResponseUs), seenUs, tailEndUs);
    ++tally_.staleDropped;
}

bool Exchange::CreditToOwed(int64_t seenUs, int64_t waitEndUs, int64_t tailEndUs) {
    DropExpired(seenUs);
    if (owedCount_ == 0) return false;
    const int64_t writtenUs = owed_[0].writtenUs;
    if (owed_[0].whileAnswered) doubt_ = Doubt::kCredited;
    std::copy(owed_.begin() + 1, owed_.begin() + owedCount_, owed_.begin());
    --owedCount_;
    TakeTail(QuietAfter(seenUs - writtenUs), waitEndUs, tailEndUs);
    ++tally_.lateCredited;
    return true;
}

// Called right after the Read that brought a reply's first bytes.  Each
// quiet time is counted from after the Read that ended it: a Read that
// finds several datagrams waiting may come well after the first arrived,
// and the last of them arrived no later than the Read.  Nothing is taken
// past `tailEndUs`.
void Exchange::TakeTail(int64_t quietUs, int64_t waitEndUs, int64_t tailEndUs) {
    const bool serial = kind_ == LinkKind::kSerial;
    int64_t quietEnd = link_.NowUs() + quietUs;
    const int64_t limit =
        std::min(tailEndUs, std::max(waitEndUs, quietEnd + (kTailQuietsPastWait - 1) * quietUs));
    for (int reads = 1; serial || reads < kMaxReplyReads; ++reads) {
        const int64_t now = link_.NowUs();
        if (now >= limit) return;
        // Past the quiet time (this thread was kept from running), bytes
        // already waiting still came before any next frame was written.
        const int64_t left = std::max<int64_t>(0, std::min(quietEnd, limit) - now);
        if (!link_.WaitForInput(left)) return;
        if (link_.Read(buffer_.data()) > 0) {
            quietEnd = link_.NowUs() + quietUs;
        } else if (link_.Kind() == LinkKind::kClosed) {
            return;
        }
    }
}

int64_t Exchange::QuietAfter(int64_t responseUs) const {
    if (kind_ == LinkKind::kSerial) return SerialQuietUs(baudRate_);
    return DatagramSettleUs(responseUs);
}

void Exchange::Owe(int64_t writtenUs, int64_t graceEndUs, bool whileAnswered) {
    DropExpired(link_.NowUs());
    if (owedCount_ == kMaxOwed) {
        std::copy(owed_.begin() + 1, owed_.end(), owed_.begin());
        --owedCount_;
    }
    owed_[owedCount_++] = Owed{writtenUs, graceEndUs, whileAnswered};
}

// A clock whose grace ends with no reply credited to it went unanswered for
// good: the device does not answer clocks.
void Exchange::DropExpired(int64_t nowUs) {
    const auto open =
        std::remove_if(owed_.begin(), owed_.begin() + owedCount_, [this, nowUs](const Owed& o) {
            if (o.graceEndUs > nowUs) return false;
            if (o.whileAnswered) answersWhileAnswered_ = false;
            return true;
        });
    owedCount_ = static_cast<size_t>(open - owed_.begin());
}

}  // namespace scales

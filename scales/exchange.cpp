#include "scales/exchange.h"

#include <algorithm>
#include <limits>

namespace scales {

namespace {

constexpr int64_t kUsPerMs = 1000;
constexpr int64_t kUsPerSecond = 1000000;
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
constexpr int64_t kLineBitsPerByte = 10;
// 3.5 characters of 11 bits (start, 8 data, parity slot, stop), in tenths.
constexpr int64_t kQuietBitTenths = 35 * 11;
constexpr int64_t kMinSerialQuietUs = 1000;
// A serial reply is over this many quiet times past its wait at the latest,
// however the line keeps chattering.
constexpr int64_t kQuietsPerReply = 16;
// A device's pace is known once it has answered this many frames: the
// first answers of a session may come slower than the device's usual pace.
constexpr int kPaceReplies = 4;
// After the next frame, a reply from a device that splits its replies stays
// open 0.3 ms longer than the longest tail it has sent (from the reply's
// first piece), but no longer than 3/4 of its fastest answer, and at least
// 0.5 ms less than it: that margin covers a device answering somewhat faster
// than it ever has.  A device answering in 2 ms may so leave up to 1.2 ms
// between the first and the last datagram of one reply; one answering
// within 0.5 ms sends them back to back, and they are in before the next
// frame.  The window never reaches the shortest reply wait (200 ms), so a
// frame owed a late reply never meets an open reply.
constexpr int64_t kTailShareNumerator = 3;
constexpr int64_t kTailShareDenominator = 4;
constexpr int64_t kAnswerJitterUs = 500;
constexpr int64_t kTailMarginUs = 300;
constexpr int64_t kMaxTailWindowUs = 50 * kUsPerMs;
// A late or stale network reply stays open until 0.8 ms pass without a
// datagram; a reply while the pace is learned for half its answer time
// (0.5 to 50 ms).
constexpr int64_t kNetworkQuietUs = 800;
// The least of that: a device answering at once may still leave a tenth of
// a millisecond or two between its datagrams, and the wait costs only a
// reply that is not complete.
constexpr int64_t kMinPaceQuietUs = 500;
// The device's replies are of no one length.
constexpr int kLengthVaries = -1;
// Reads a wait makes of what is already waiting once its deadline has
// passed: a flooding peer cannot hold a drain.
constexpr int kMaxReadsPastDeadline = 64;
// How often a serial driver's output queue is looked at while it empties.
constexpr int64_t kOutputPollUs = 1000;

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

// A late reply credited to an owed clock may have been the reply of the
// frame in hand, from a device that does not answer clocks at all: that
// frame then waits in vain, and its next attempt is answered.  A device that
// answers the clock late and leaves the frame in hand unanswered leaves the
// next attempt unanswered too.  So a silence after such a credit makes it
// doubtful, an answer right after that silence shows that the device does
// not answer clocks, and a second silence clears the doubt.  A clock
// answered within its wait shows that it does; a clock whose grace ends
// with nothing shows that it does not.
ClockBelief NextClockBelief(ClockBelief belief, ClockEvidence evidence) {
    switch (evidence) {
        case ClockEvidence::kClockAnswered:
            return ClockBelief::kAnswers;
        case ClockEvidence::kClockGraceEnded:
            return ClockBelief::kSilent;
        case ClockEvidence::kOwedClockCredited:
            return belief == ClockBelief::kSilent ? belief : ClockBelief::kLateCredited;
        case ClockEvidence::kFrameUnanswered:
            if (belief == ClockBelief::kLateCredited) return ClockBelief::kCreditDoubtful;
            if (belief == ClockBelief::kCreditDoubtful) return ClockBelief::kAnswers;
            return belief;
        case ClockEvidence::kFrameAnswered:
            if (belief == ClockBelief::kCreditDoubtful) return ClockBelief::kSilent;
            if (belief == ClockBelief::kLateCredited) return ClockBelief::kAnswers;
            return belief;
    }
    return belief;
}

Exchange::Exchange(ExchangeLink& link) : link_(link), waitStartUs_(kNever) {}

Reply Exchange::Transact(const Frame& frame, const ExchangeRule& rule) {
    LookAtLink();
    Listen(link_.NowUs(), PastDeadline::kRead);
    AwaitReplyEnd();
    writtenUs_ = link_.NowUs();
    link_.Write(frame.data());
    const uint64_t overrunBefore = tally_.tailsOverrun;
    const int64_t start = kind_ == LinkKind::kSerial ? AwaitLineClear() : AwaitTail();
    const Reply reply = AwaitReply(rule, start);
    if (reply.arrived || tally_.tailsOverrun == overrunBefore) Conclude(rule, reply);
    return reply;
}

// The wait for the frame in hand's reply, `start` being when the frame could
// have left the line.
Reply Exchange::AwaitReply(const ExchangeRule& rule, int64_t start) {
    waitStartUs_ = start;
    waitEndUs_ = start + static_cast<int64_t>(rule.replyWaitMs + rule.lateListenMs) * kUsPerMs;
    const Reply reply = Listen(waitEndUs_, PastDeadline::kRead);
    waitStartUs_ = kNever;
    if (reply.arrived) {
        AwaitReplyEnd();
        AwaitRest();
        LearnReplyLength();
    }
    return reply;
}

// What the reply, or its absence, shows of the device, and what a frame left
// unanswered is owed.  (A frame whose tail window overran may have had its
// reply taken for a tail: it shows nothing and owes nothing, and does not
// come here.)
void Exchange::Conclude(const ExchangeRule& rule, const Reply& reply) {
    const bool clock = rule.lateReply == LateReply::kOwedWhileAnswered;
    if (reply.arrived) {
        Learn(clock ? ClockEvidence::kClockAnswered : ClockEvidence::kFrameAnswered);
        return;
    }
    Learn(ClockEvidence::kFrameUnanswered);
    if (!clock || belief_ != ClockBelief::kSilent) Owe(waitEndUs_ + kOwedGraceUs, clock);
}

void Exchange::Pause(int ms) {
    LookAtLink();
    Listen(link_.NowUs() + static_cast<int64_t>(ms) * kUsPerMs, PastDeadline::kLeave);
}

void Exchange::Reopened() {
    pace_ = Pace{};
    followsReply_ = false;
    if (link_.Kind() == LinkKind::kSerial) return;
    owedCount_ = 0;
    open_ = OpenReply{};
}

void Exchange::LookAtLink() {
    kind_ = link_.Kind();
    baudRate_ = link_.BaudRate();
}

// The scales can answer a serial frame only once all of it has reached them.
// A pseudo-terminal has no line speed and reports an empty queue at once, so
// the line time is counted, not only waited for; a real UART may still be
// behind, so its driver's queue is watched too, though never for longer than
// the frame's line time again: flow control can hold it for ever.  Bytes
// seen only after a listen's end may have come after it too, and are left
// to what follows.
int64_t Exchange::AwaitLineClear() {
    const int64_t lineUs = LineTimeUs(kFrameSize, baudRate_);
    Listen(writtenUs_ + lineUs, PastDeadline::kLeave);
    const int64_t giveUp = writtenUs_ + 2 * lineUs;
    for (int64_t now = link_.NowUs(); now < giveUp && link_.OutputQueued() > 0;
         now = link_.NowUs()) {
        Listen(std::min(giveUp, now + kOutputPollUs), PastDeadline::kLeave);
    }
    return link_.NowUs();
}

// The frame in hand's reply from a device whose pace is known stays open
// (rule 4) for a while after the next frame is written, if the device has
// ever split a reply.  Whatever is seen until then is its tail; the wait for
// it ends early once the reply has the length of all the device's replies.
// A piece of a reply not yet complete read only after the window (this
// thread was held up) may have been the tail or the new frame's reply: it is
// taken as the tail, with whatever follows it within the quiet time, and the
// frame in hand keeps waiting (and is retried where its command retries):
// no tail is ever judged as a reply.
int64_t Exchange::AwaitTail() {
    followsReply_ = open_.untilNextFrame;
    if (!followsReply_) return writtenUs_;
    const int64_t window = TailWindowUs();
    open_.closeByUs = writtenUs_ + window;
    if (window > 0 && !ReplyComplete()) {
        Listen(open_.closeByUs, PastDeadline::kRead, Until::kReplyComplete);
    }
    const int64_t last = open_.lastPieceUs;
    if (open_.overrun) {
        const int64_t quiet = QuietUs();
        open_ = OpenReply{last, quiet, last + kQuietsPerReply * quiet};
    } else {
        // Complete early, or the window is over: a piece still within it is
        // a tail all the same (and shows the device's replies are longer).
        open_.untilNextFrame = false;
        open_.quietUs = kMaxTailWindowUs;
    }
    return writtenUs_;
}

// The open reply is heard to its end (rule 4) -- all but the frame in
// hand's reply from a device whose pace is known, which closes only after
// the next frame.  Each piece keeps it open one quiet time more, up to its
// bound.
void Exchange::AwaitReplyEnd() {
    if (open_.untilNextFrame) return;
    const int64_t bound = open_.closeByUs;
    for (int64_t close = OpenCloseUs(); link_.NowUs() < std::min(close, bound);
         close = OpenCloseUs()) {
        Listen(std::min(close, bound), PastDeadline::kRead, Until::kReplyEnds);
    }
}

// A reply from a device whose pace is known, shorter than all its replies
// have been: the rest is awaited at the device's own pace, until the reply
// is complete or its quiet time passes without a datagram.
void Exchange::AwaitRest() {
    if (!open_.untilNextFrame) return;
    for (int64_t close = open_.lastPieceUs + open_.quietUs;
         !ReplyComplete() && pace_.replyBytes > 0 && link_.NowUs() < close;
         close = open_.lastPieceUs + open_.quietUs) {
        Listen(close, PastDeadline::kRead, Until::kReplyComplete);
    }
}

// The one wait-and-read loop under every wait, with one deadline: each piece
// that arrives is taken (Take) with the moment it was seen, until the
// deadline, or until a piece is the reply of the frame in hand, or (as
// `until` says) the open reply is complete.  While a reply is heard to its
// end, every piece is its tail: whatever this thread, held up, finds waiting
// past the quiet time still came before any next frame was written.
Reply Exchange::Listen(int64_t deadlineUs, PastDeadline past, Until until) {
    int readsPast = 0;
    for (;;) {
        const int64_t left = deadlineUs - link_.NowUs();
        if (left <= 0 && (past == PastDeadline::kLeave || ++readsPast > kMaxReadsPastDeadline)) {
            return Reply{};
        }
        if (!link_.WaitForInput(std::max<int64_t>(0, left))) {
            if (link_.NowUs() >= deadlineUs) return Reply{};
            continue;
        }
        const int64_t seen = link_.NowUs();
        if (past == PastDeadline::kLeave && seen >= deadlineUs) return Reply{};
        const int bytes = link_.Read(buffer_.data());
        if (bytes <= 0) continue;
        if (until == Until::kReplyEnds) {
            TakeTail(seen, bytes);
            continue;
        }
        if (Take(seen, bytes)) return Reply{true, buffer_[0]};
        if (until == Until::kReplyComplete && ReplyComplete()) return Reply{};
    }
}

// True when the piece just read starts the frame in hand's reply.
bool Exchange::Take(int64_t seenUs, int bytes) {
    const bool serial = kind_ == LinkKind::kSerial;
    const int64_t quiet = QuietUs();
    switch (Attribute(seenUs)) {
        case Piece::kTail:
            TakeTail(seenUs, bytes);
            return false;
        case Piece::kLate:
            CreditOldestOwed();
            Open(quiet, link_.NowUs() + kQuietsPerReply * quiet, kNever);
            return false;
        case Piece::kStale:
            ++tally_.staleDropped;
            Open(quiet, link_.NowUs() + kQuietsPerReply * quiet, kNever);
            return false;
        case Piece::kReply:
            break;
    }
    ++tally_.replies;
    pace_.fastestUs = std::min(pace_.fastestUs, seenUs - waitStartUs_);
    // A network reply is heard out for half the time it took to answer after
    // each datagram while the pace is learned, and while it is shorter than
    // the device's replies: a slower device may leave more time between the
    // datagrams of a reply.
    const int64_t pieceQuiet =
        serial ? quiet : std::clamp((seenUs - waitStartUs_) / 2, kMinPaceQuietUs, kMaxTailWindowUs);
    if (!serial && ++pace_.replies > kPaceReplies) {
        Open(pieceQuiet, kNever, seenUs);
        open_.untilNextFrame = true;
        open_.bytes = bytes;
        return true;
    }
    Open(pieceQuiet, std::max(waitEndUs_, link_.NowUs() + kQuietsPerReply * pieceQuiet), seenUs);
    open_.bytes = bytes;
    return true;
}

// A tail of the frame in hand's reply, seen in time, shows how far apart the
// device sends the pieces of one reply, and how long its replies are.  One
// read only after the tail window, of a reply not yet complete, may have
// been the new frame's reply (rule 4).
void Exchange::TakeTail(int64_t seenUs, int bytes) {
    const bool frameReply = open_.firstPieceUs != kNever;
    if (frameReply) open_.bytes += bytes;
    if (open_.untilNextFrame && seenUs >= open_.closeByUs) {
        open_.overrun = true;
        ++tally_.tailsOverrun;
    } else if (frameReply) {
        pace_.longestTailUs = std::max(pace_.longestTailUs, seenUs - open_.firstPieceUs);
        if (pace_.replyBytes > 0 && open_.bytes > pace_.replyBytes)
            pace_.replyBytes = kLengthVaries;
    }
    open_.lastPieceUs = link_.NowUs();
}

// The length of the device's replies, from those heard to their end while
// its pace is learned: a reply of that many bytes is complete.
void Exchange::LearnReplyLength() {
    if (open_.firstPieceUs == kNever || open_.untilNextFrame) return;
    const int bytes = open_.bytes;
    if (pace_.replyBytes == 0) {
        pace_.replyBytes = bytes;
    } else if (pace_.replyBytes != bytes) {
        pace_.replyBytes = kLengthVaries;
    }
}

bool Exchange::ReplyComplete() const {
    return open_.untilNextFrame && pace_.replyBytes > 0 && open_.bytes >= pace_.replyBytes;
}

Exchange::Piece Exchange::Attribute(int64_t seenUs) {
    DropExpired(seenUs);
    if (seenUs < OpenCloseUs()) return Piece::kTail;
    if (owedCount_ > 0) return Piece::kLate;
    if (waitStartUs_ == kNever) return Piece::kStale;
    if (followsReply_ && seenUs < waitStartUs_ + EarliestAnswerUs()) return Piece::kTail;
    return Piece::kReply;
}

// Each quiet time is counted from after the Read that ended it: a Read that
// finds several pieces waiting may come well after the first arrived, and
// the last of them arrived no later than the Read.
void Exchange::Open(int64_t quietUs, int64_t closeByUs, int64_t frameReplyUs) {
    open_ = OpenReply{link_.NowUs(), quietUs, closeByUs};
    open_.firstPieceUs = frameReplyUs;
}

int64_t Exchange::OpenCloseUs() const {
    if (open_.untilNextFrame) return kNever;
    return std::min(open_.lastPieceUs + open_.quietUs, open_.closeByUs);
}

int64_t Exchange::TailWindowUs() const {
    if (pace_.longestTailUs == 0 || pace_.fastestUs == kNever) return 0;
    return std::max<int64_t>(0, std::min(AnswerBoundUs(), pace_.longestTailUs + kTailMarginUs));
}

// No piece sooner after a frame than 3/4 of the device's fastest answer, and
// 0.5 ms less than it, can answer it: one that comes then, after a reply, is
// a tail of that reply that came later than its window (rule 3a).  Not so
// before the pace is known, nor for a frame that met no open reply (a
// retry): a device that has become faster shows it there.
int64_t Exchange::EarliestAnswerUs() const {
    if (pace_.replies < kPaceReplies) return 0;
    return std::max<int64_t>(0, AnswerBoundUs());
}

// 3/4 of the device's fastest answer, and at least 0.5 ms less than it.
int64_t Exchange::AnswerBoundUs() const {
    const int64_t share = pace_.fastestUs * kTailShareNumerator / kTailShareDenominator;
    return std::min({share, pace_.fastestUs - kAnswerJitterUs, kMaxTailWindowUs});
}

// How long a reply stays open after each piece where no later frame bounds
// it: 3.5 characters on a serial line, 0.8 ms on a network link.
int64_t Exchange::QuietUs() const {
    return kind_ == LinkKind::kSerial ? SerialQuietUs(baudRate_) : kNetworkQuietUs;
}

void Exchange::Owe(int64_t graceEndUs, bool clock) {
    DropExpired(link_.NowUs());
    if (owedCount_ == kMaxOwed) {
        std::copy(owed_.begin() + 1, owed_.end(), owed_.begin());
        --owedCount_;
    }
    owed_[owedCount_++] = Owed{graceEndUs, clock};
}

void Exchange::CreditOldestOwed() {
    if (owed_[0].clock) Learn(ClockEvidence::kOwedClockCredited);
    std::copy(owed_.begin() + 1, owed_.begin() + owedCount_, owed_.begin());
    --owedCount_;
    ++tally_.lateCredited;
}

void Exchange::DropExpired(int64_t nowUs) {
    size_t kept = 0;
    for (size_t i = 0; i < owedCount_; ++i) {
        if (owed_[i].graceEndUs > nowUs) {
            owed_[kept++] = owed_[i];
        } else if (owed_[i].clock) {
            Learn(ClockEvidence::kClockGraceEnded);
        }
    }
    owedCount_ = kept;
}

void Exchange::Learn(ClockEvidence evidence) {
    belief_ = NextClockBelief(belief_, evidence);
}

}  // namespace scales

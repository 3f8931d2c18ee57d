// The one exchange engine every RLS1000 frame goes through: it owns the link,
// the read buffer, the reply still open, the frames still owed a late reply
// and what it has learned of the device, and credits every piece that
// arrives (a datagram, or serial bytes) to the reply it belongs to.
//
// The rules, each decided in one place (exchange.cpp):
// 1. Drain (Transact): whatever is waiting before a frame is written came
//    before it, and is attributed by rule 3, never taken as its reply.
// 2. Line time (AwaitLineClear): on a serial line the scales answer only
//    after the whole frame has reached them (540 ms for 259 bytes at 4800
//    baud).  The frame's wait starts when it can have left the line: its
//    line time, and the driver's output queue where it can tell.
// 3. Each piece, by the moment it was seen (Attribute), is the first that
//    holds of:
//    a. tail: the last reply is still open (rule 4): the piece is part of
//       it; so is, after a reply, a piece sooner after the next frame than
//       3/4 of the device's fastest answer (and 0.5 ms less than it), which
//       cannot answer that frame;
//    b. late: a frame is owed a late reply (rule 5): the piece starts the
//       reply of the oldest such frame, and the frame in hand keeps waiting;
//    c. reply: the frame in hand is waiting: the piece starts its reply,
//       judged by its first byte, and the wait is over;
//    d. stale: anything else starts a reply no frame is owed, and is dropped.
// 4. A reply stays open (OpenCloseUs) --
//    - on a network link, for the frame in hand's reply from a device whose
//      pace is known (rule 6): until the next frame is written, and after
//      it for a tail window (AwaitTail): a little longer than the longest
//      tail the device has sent, shorter than its fastest answer, so that
//      no piece then can answer the new frame (none at all for a device
//      that has never split a reply).  A reply shorter than every reply the
//      device has sent is awaited to its length first (AwaitRest), at the
//      device's pace: until it is complete, or half its answer time passes
//      without a datagram.  The wait for the tail ends early once the reply
//      has the length every reply of the device has had; a piece
//      of a reply still short, read only after the window (this thread was
//      held up), is taken as its tail, and the frame in hand then owes
//      nothing.  The exchange never waits for a tail before its verdict:
//      it moves on as soon as the reply's first piece is judged;
//    - on a serial line, until the line has been quiet for 3.5 character
//      times;
//    - on a network link, for a reply while the pace is learned, until half
//      the time it took to answer passes without a datagram (0.5 to 50 ms);
//      for a late or stale reply, until 0.8 ms pass without one.
//    The exchange hears these two out (AwaitReplyEnd) before it gives the
//    frame's verdict and before its next frame, so that frame meets a
//    quiet line.
// 5. Owed: a frame whose wait ends without a reply is owed a late one for
//    300 ms, at most four frames at once, oldest first; the clock only
//    while the device is believed to answer clocks (ClockBelief).  A reply
//    later than that cannot be told from the next frame's: the bound of the
//    design.  When in doubt a frame goes unanswered (and is retried where its
//    command retries): a wrong verdict this way is never a false success.
// 6. Pace: the device's fastest answer is the shortest time from the moment
//    a frame could have left the line to the first piece of its own reply,
//    its longest tail the longest time from a reply's first piece to a
//    later one, and its reply length the bytes of each reply if all had the
//    same, over every reply taken since the link opened; the pace is known
//    after four replies (a session's first answers may come slower, and
//    their tails are heard out by the quiet time).
// 7. Reopen: the device (perhaps another one) is learned afresh.  A new
//    network socket never receives replies to frames sent through the one
//    before, so nothing stays owed or open; a serial device is the same
//    line, and what is owed or open stays.
// 8. Waits: every wait (drain, line time, tail window, reply, the rest of a
//    reply, the pause before a retry) is one deadline given to the one
//    wait-and-read loop (Listen).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "scales/exchange_link.h"
#include "scales/exchange_rule.h"
#include "scales/frames.h"
#include "transport/port.h"

namespace scales {

// How long `bytes` take on a serial line at `baudRate`: start, 8 data and
// stop bit a byte.  0 when no speed is known.
int64_t LineTimeUs(size_t bytes, uint32_t baudRate);
// How long a serial line must be quiet before a reply counts as complete:
// 3.5 character times of 11 bits, at least 1 ms.
int64_t SerialQuietUs(uint32_t baudRate);

// Whether the device answers clock frames.  Some scales answer the clock
// late, some never; a late reply credited to an owed clock may in truth have
// been the reply to the frame after it.
enum class ClockBelief {
    kAnswers,         // clocks are answered: an unanswered clock is owed its reply
    kLateCredited,    // a late reply was just credited to an owed clock
    kCreditDoubtful,  // ... and the frame in hand then went unanswered
    kSilent,          // the device does not answer clocks: they owe nothing
};

// What an exchange shows of the device's way with clocks.
enum class ClockEvidence {
    kClockAnswered,      // a clock answered within its wait (listening on included)
    kOwedClockCredited,  // a late reply credited to an owed clock
    kFrameAnswered,      // any other frame answered within its wait
    kFrameUnanswered,    // a wait (the clock's too) ended with no reply
    kClockGraceEnded,    // an owed clock's grace ended with no reply
};

// The one move of the belief (exchange.cpp states why each move is right).
ClockBelief NextClockBelief(ClockBelief belief, ClockEvidence evidence);

struct ExchangeTally {
    uint64_t replies = 0;       // replies credited to the frame in hand
    uint64_t lateCredited = 0;  // late replies credited to owed frames
    uint64_t staleDropped = 0;  // replies no frame was owed
    // Pieces read only after a tail window had ended (this thread was held
    // up): taken as tails, the frame in hand then unanswered.
    uint64_t tailsOverrun = 0;
};

class Exchange {
  public:
    static constexpr size_t kMaxOwed = 4;
    static constexpr int64_t kOwedGraceUs = 300000;

    explicit Exchange(ExchangeLink& link);
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    // Drains, writes `frame` and awaits its reply as `rule` says.
    Reply Transact(const Frame& frame, const ExchangeRule& rule);
    // The pause before a retry, spent taking late replies.
    void Pause(int ms);
    // The link was opened again (rule 7).
    void Reopened();

    size_t OwedCount() const { return owedCount_; }
    ClockBelief Belief() const { return belief_; }
    const ExchangeTally& Tally() const { return tally_; }

  private:
    enum class Piece { kTail, kLate, kReply, kStale };
    // Whether a wait reads what is already waiting once its deadline has
    // passed (this thread was held up, or the wait is a drain).
    enum class PastDeadline { kRead, kLeave };
    // What else ends a wait.
    enum class Until { kDeadline, kReplyComplete, kReplyEnds };
    struct Owed {
        int64_t graceEndUs;
        bool clock;  // owed under LateReply::kOwedWhileAnswered
    };
    // The last reply, open to further pieces until OpenCloseUs().
    struct OpenReply {
        int64_t lastPieceUs = 0;
        int64_t quietUs = 0;          // open this long after each piece
        int64_t closeByUs = 0;        // and no longer than this,
        bool untilNextFrame = false;  // or, instead, until AwaitTail
        // When the frame in hand's reply began (kNever for other replies).
        int64_t firstPieceUs = std::numeric_limits<int64_t>::max();
        int bytes = 0;         // of the frame in hand's reply so far
        bool overrun = false;  // a piece was read only after the tail window
    };

    void LookAtLink();
    int64_t AwaitLineClear();
    int64_t AwaitTail();
    void AwaitReplyEnd();
    void AwaitRest();
    Reply AwaitReply(const ExchangeRule& rule, int64_t start);
    void Conclude(const ExchangeRule& rule, const Reply& reply);
    Reply Listen(int64_t deadlineUs, PastDeadline past, Until until = Until::kDeadline);
    bool Take(int64_t seenUs, int bytes);
    void TakeTail(int64_t seenUs, int bytes);
    void LearnReplyLength();
    bool ReplyComplete() const;
    Piece Attribute(int64_t seenUs);
    void Open(int64_t quietUs, int64_t closeByUs, int64_t frameReplyUs);
    int64_t OpenCloseUs() const;
    int64_t TailWindowUs() const;
    int64_t EarliestAnswerUs() const;
    int64_t AnswerBoundUs() const;
    int64_t QuietUs() const;
    void Owe(int64_t graceEndUs, bool clock);
    void CreditOldestOwed();
    void DropExpired(int64_t nowUs);
    void Learn(ClockEvidence evidence);

    ExchangeLink& link_;
    std::array<uint8_t, transport::kReadRoom> buffer_{};
    LinkKind kind_ = LinkKind::kClosed;
    uint32_t baudRate_ = 0;
    int64_t writtenUs_ = 0;
    // The frame in hand's wait; waitStartUs_ is kNever when no frame waits.
    int64_t waitStartUs_;
    int64_t waitEndUs_ = 0;
    OpenReply open_;
    // What the device has shown of its pace since the link opened (rule 6).
    struct Pace {
        int64_t fastestUs = std::numeric_limits<int64_t>::max();
        int64_t longestTailUs = 0;  // from a reply's first piece to its last
        int replyBytes = 0;         // the length of every reply; 0 unknown, -1 none
        int replies = 0;            // taken by the frames in hand
    };
    Pace pace_;
    bool followsReply_ = false;          // the frame in hand met an open reply
    std::array<Owed, kMaxOwed> owed_{};  // oldest first
    size_t owedCount_ = 0;
    ClockBelief belief_ = ClockBelief::kAnswers;
    ExchangeTally tally_;
};

}  // namespace scales

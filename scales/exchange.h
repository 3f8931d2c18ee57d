// The one exchange engine every RLS1000 frame goes through: it owns the link,
// the read buffer and the record of frames still owed a late reply, and
// credits every reply to the frame it answers, or to none.
//
// The rules, in the order a frame meets them:
// - Drain: whatever is already waiting before a frame is written answers an
//   earlier frame; it is taken whole, credited to an owed frame (below) or
//   dropped.
// - Line time: on a serial line the scales answer only after the whole frame
//   has reached them, which at 4800 baud takes 540 ms for 259 bytes.  The
//   reply wait starts when the frame can have left the line (its line time,
//   and the driver's output queue where it can tell); bytes arriving before
//   that cannot answer it and are stale.
// - Late replies: a frame whose wait ends without a reply stays owed a late
//   one for 300 ms after its wait ended (the same 300 ms the scales get as
//   the pause before a retry).  A reply arriving while an owed frame's grace
//   is open -- in a drain, a pause or a later frame's wait -- is credited to
//   the oldest such frame and dropped, and the later frame keeps waiting for
//   its own reply within its own wait.  If the owed frame's reply never comes
//   and the later frame's reply arrives within the grace, the later frame is
//   judged unanswered (and retried where its command retries): a wrong
//   verdict this way is never a false success.  The clock listens on for
//   its own late reply first, and owes one only while the device is taken
//   to answer clocks (exchange_rule.h): a clock left unanswered even through
//   its grace, or a frame answered only after a doubtful credit to an owed
//   clock (Exchange::LearnFromReply), marks the device as one that does
//   not, until a clock is answered within its wait.
// - Whole replies: the scales may send one reply in pieces (several
//   datagrams, or serial bytes as they come off the line).  After the first
//   piece the reply stays open: on a serial line until the line has been
//   quiet for 3.5 character times; on a network link for a settle time
//   proportionate to the device, half the time it took to answer (from the
//   frame's write to its first datagram), between 0.1 ms and 0.8 ms.  Every
//   further piece restarts the quiet time; the number of pieces is bounded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

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
// How long a network reply stays open after each of its datagrams, for a
// device that took `responseUs` to answer.
int64_t DatagramSettleUs(int64_t responseUs);

struct ExchangeTally {
    uint64_t replies = 0;       // replies credited to the frame just written
    uint64_t lateCredited = 0;  // late replies credited to owed frames
    uint64_t staleDropped = 0;  // replies no frame was owed
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
    // The two halves of Transact.
    void Send(const Frame& frame);
    Reply Await(const ExchangeRule& rule);
    // The pause before a retry, spent taking late replies.
    void Pause(int ms);
    // The link was opened again.  A new network socket never receives the
    // replies to frames sent through the one before, so nothing stays owed;
    // a serial device is the same line, and what was owed stays owed.
    void Reopened();

    size_t OwedCount() const { return owedCount_; }
    const ExchangeTally& Tally() const { return tally_; }

  private:
    struct Owed {
        int64_t writtenUs;
        int64_t graceEndUs;
        bool whileAnswered;  // owed under LateReply::kOwedWhileAnswered
    };

    void LookAtLink();
    void Drain();
    int64_t AwaitLineClear();
    void ListenStale(int64_t untilUs);
    void TakeStale(int64_t seenUs, int64_t tailEndUs);
    bool CreditToOwed(int64_t seenUs, int64_t waitEndUs, int64_t tailEndUs);
    void TakeTail(int64_t quietUs, int64_t waitEndUs, int64_t tailEndUs);
    int64_t QuietAfter(int64_t responseUs) const;
    void Owe(int64_t writtenUs, int64_t graceEndUs, bool whileAnswered);
    void LearnFromReply(const ExchangeRule& rule);
    void LearnFromSilence();
    void DropExpired(int64_t nowUs);

    ExchangeLink& link_;
    std::array<uint8_t, transport::kReadRoom> buffer_{};
    LinkKind kind_ = LinkKind::kClosed;
    uint32_t baudRate_ = 0;
    int64_t writtenUs_ = 0;
    std::array<Owed, kMaxOwed> owed_{};  // oldest first
    size_t owedCount_ = 0;
    // Whether the device answers the frames of LateReply::kOwedWhileAnswered
    // rules (the clock), and how sure a late reply credited to one is.
    enum class Doubt { kNone, kCredited, kFrameUnanswered };
    bool answersWhileAnswered_ = true;
    Doubt doubt_ = Doubt::kNone;
    ExchangeTally tally_;
};

}  // namespace scales

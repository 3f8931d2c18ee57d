// How one RLS1000 command is exchanged: how long to wait for the reply, how
// often to try, how long to pause after a failed try and whether the port
// is closed after the last, whether a frame left without a reply still
// expects a late one, whether the outcome is recorded, and what the reply
// means for the result.  Every command has its rule by name here, and the
// rules are listed side by side in exchange_rule.cpp; the engine
// (exchange.h) and the retry skeleton (rongta1000.cpp) apply them.
#pragma once

#include <cstdint>

namespace scales {

enum class Recording {
    kNone,         // the outcome text is left alone
    kAlways,       // "Error:<120000 + first byte>" after a reply, "OK" after none
    kNoReplyOnly,  // only "OK" after no reply
};

enum class Verdict {
    kIgnore,            // 0 whatever came back
    kPositiveOr3,       // 0 for 0x02; 3 for a negative reply or none
    kPositiveNegative,  // 0 for 0x02, 7 for any other first byte, 3 for none
    kAnyReply,          // 0 for any reply, 3 for none
};

enum class LateReply {
    kOwed,  // always
    // Only while the device is taken to answer this kind of frame: one that
    // has shown it does not (exchange.h) owes nothing for it until it answers
    // one again.  A device starts out taken to answer.
    kOwedWhileAnswered,
};

struct Reply {
    bool arrived = false;
    uint8_t first = 0;  // the verdict byte, when arrived
};

struct ExchangeRule {
    // The wait for a reply, counted from the moment the frame can have left
    // the line.
    int replyWaitMs = 0;
    // Listening on after the wait for a reply that is merely late.
    int lateListenMs = 0;
    // Whether a frame whose wait ended without a reply still expects one for
    // a while (exchange.h), so that a reply arriving then is credited to it.
    LateReply lateReply = LateReply::kOwed;
    int attempts = 1;
    // The pause after each failed attempt (0: none), spent listening.
    int retryPauseMs = 0;
    // Whether the port is closed after the last failed attempt (unless the
    // scales object keeps it open).
    bool closeAfterFailure = false;
    Recording recording = Recording::kNone;
    Verdict verdict = Verdict::kIgnore;

    // 0E 01 00 from SyncClock: the reply does not matter.
    static ExchangeRule Clock();
    // 0E 01 00 from SetClock: only a positive reply is success.
    static ExchangeRule SetClock();
    // 0E 04 00 00 04
    static ExchangeRule ClearGoods();
    // 0B 00 00
    static ExchangeRule Goods();
    // A2: any reply accepts it, as the goods record is already in.
    static ExchangeRule Continuation();
    // 02 F8..FA 03
    static ExchangeRule HotKeyPage();
    // 62 and 79: every frame of a message; the attempts are the whole
    // message's.
    static ExchangeRule Message();
};

// The result code a reply (or its absence) gives under `verdict`.
int32_t JudgeReply(Verdict verdict, const Reply& reply);

}  // namespace scales

// How one RLS1000 command is exchanged: how long to wait for the reply, how
// often to try, whether stale input is drained first, whether the outcome is
// recorded, and what the reply means for the result.
#pragma once

namespace scales {

enum class Recording {
    kNone,         // the outcome text is left alone
    kAlways,       // "Error:<120000 + first byte>" after a reply, "OK" after none
    kNoReplyOnly,  // only "OK" after no reply
};

enum class ReplyRule {
    kIgnore,            // 0 whatever came back
    kPositiveOr3,       // 0 for 0x02; 3 for a negative reply or none
    kPositiveNegative,  // 0 for 0x02, 7 for any other first byte, 3 for none
    kAnyReply,          // 0 for any reply, 3 for none
};

struct ExchangeRule {
    int replyWaitMs;
    int attempts;
    bool drainFirst;
    Recording recording;
    ReplyRule rule;
};

}  // namespace scales

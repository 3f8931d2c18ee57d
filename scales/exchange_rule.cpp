#include "scales/exchange_rule.h"

#include "scales/error_table.h"

namespace scales {

namespace {
constexpr uint8_t kPositiveReply = 0x02;
}

// The scales answer a clock frame within 200 ms; some answer it late or not
// at all.  The clock gets 300 ms more to answer and then owes nothing, so
// that a scales that never answers it still gets the goods record after it,
// and never has the goods record's reply counted against the clock.
ExchangeRule ExchangeRule::Clock() {
    ExchangeRule rule;
    rule.replyWaitMs = 200;
    rule.lateListenMs = 300;
    rule.owesLateReply = false;
    return rule;
}

ExchangeRule ExchangeRule::SetClock() {
    ExchangeRule rule = Clock();
    rule.verdict = Verdict::kPositiveOr3;
    return rule;
}

ExchangeRule ExchangeRule::ClearGoods() {
    ExchangeRule rule;
    rule.replyWaitMs = 200;
    rule.recording = Recording::kAlways;
    return rule;
}

ExchangeRule ExchangeRule::Goods() {
    ExchangeRule rule;
    rule.replyWaitMs = 500;
    rule.attempts = 3;
    rule.recording = Recording::kAlways;
    rule.verdict = Verdict::kPositiveNegative;
    return rule;
}

ExchangeRule ExchangeRule::Continuation() {
    ExchangeRule rule;
    rule.replyWaitMs = 1500;
    rule.attempts = 2;
    rule.recording = Recording::kNoReplyOnly;
    rule.verdict = Verdict::kAnyReply;
    return rule;
}

ExchangeRule ExchangeRule::HotKeyPage() {
    ExchangeRule rule;
    rule.replyWaitMs = 200;
    rule.recording = Recording::kAlways;
    return rule;
}

ExchangeRule ExchangeRule::Message() {
    ExchangeRule rule;
    rule.replyWaitMs = 200;
    rule.attempts = 3;
    rule.recording = Recording::kAlways;
    rule.verdict = Verdict::kPositiveNegative;
    return rule;
}

int32_t JudgeReply(Verdict verdict, const Reply& reply) {
    const bool positive = reply.arrived && reply.first == kPositiveReply;
    switch (verdict) {
        case Verdict::kIgnore:
            return kOk;
        case Verdict::kPositiveOr3:
            return positive ? kOk : kErrNoReply;
        case Verdict::kAnyReply:
            return reply.arrived ? kOk : kErrNoReply;
        case Verdict::kPositiveNegative:
            break;
    }
    if (!reply.arrived) return kErrNoReply;
    return positive ? kOk : kErrNegativeReply;
}

}  // namespace scales

#include "scales/exchange_rule.h"

#include "scales/error_table.h"

namespace scales {

namespace {
constexpr uint8_t kPositiveReply = 0x02;
}

// The scales answer a clock frame within 200 ms; some answer it late or not
// at all.  The clock gets 300 ms more to answer.  After that it is owed its
// reply like any frame, so that a reply later still is never taken for the
// goods record's -- but not by scales that have shown they never answer the
// clock: once a clock has gone unanswered for good, later clocks owe nothing
// (until one is answered), and the goods records of such scales keep their
// own prompt replies.  The first good to such scales costs one retry.
ExchangeRule ExchangeRule::Clock() {
    ExchangeRule rule;
    rule.replyWaitMs = 200;
    rule.lateListenMs = 300;
    rule.lateReply = LateReply::kOwedWhileAnswered;
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

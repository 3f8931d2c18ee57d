#include "scales/exchange_rule.h"

#include "scales/error_table.h"

namespace scales {

namespace {
constexpr uint8_t kPositiveReply = 0x02;
// After a failed attempt the scales get time to finish whatever they were
// doing before the request is repeated.
constexpr int kRetryPauseMs = 300;
}  // namespace

// The rules side by side (wait and listening on in ms; pause after each
// failed attempt; "close": the port is closed after the last failed one
// unless kept open; owed: a late reply is still expected after the wait):
//
//   command             wait  listen  attempts  pause  close  owed           outcome   verdict
//   clock (SyncClock)   200   300     1         -      no     while answered -         ignored
//   clock (SetClock)    200   300     1         -      no     while answered -         0x02 or 3
//   clear goods         200   -       1         -      no     yes            recorded  ignored
//   goods record        500   -       3         300    yes    yes            recorded  0x02, 7, 3
//   name continuation   1500  -       2         300    yes    yes            "OK" only any reply, 3
//   hot-key page        200   -       1         -      no     yes            recorded  ignored
//   message frame       200   -       3 (whole) 300    yes    yes            recorded  0x02, 7, 3
//
// The scales answer a clock frame within 200 ms; some answer it late or not
// at all.  The clock gets 300 ms more to answer.  After that it is owed its
// reply like any frame, so that a reply later still is never taken for the
// goods record's -- but not by scales that have shown they never answer the
// clock (ClockBelief, exchange.h): their goods records keep their own prompt
// replies.  The first good to such scales costs one retry.
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
    rule.retryPauseMs = kRetryPauseMs;
    rule.closeAfterFailure = true;
    rule.recording = Recording::kAlways;
    rule.verdict = Verdict::kPositiveNegative;
    return rule;
}

ExchangeRule ExchangeRule::Continuation() {
    ExchangeRule rule;
    rule.replyWaitMs = 1500;
    rule.attempts = 2;
    rule.retryPauseMs = kRetryPauseMs;
    rule.closeAfterFailure = true;
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
    rule.retryPauseMs = kRetryPauseMs;
    rule.closeAfterFailure = true;
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

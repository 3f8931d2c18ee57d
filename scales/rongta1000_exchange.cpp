// The one request-and-reply skeleton every RLS1000 command runs through.
#include <string>

#include "scales/error_table.h"
#include "scales/scales_object.h"
#include "transport/local_time.h"

namespace {

// After a failed attempt the scales get time to finish whatever they were
// doing before the request is repeated.
constexpr int kRetryPauseMs = 300;

// The outcome of a reply is the first byte offset by 120000, the way the
// host application has always shown scales answers.
std::u16string ReplyOutcome(uint8_t first) {
    constexpr int kOutcomeBase = 120000;
    const std::string text = "Error:" + std::to_string(kOutcomeBase + first);
    return std::u16string(text.begin(), text.end());
}

constexpr char16_t kNoReplyOutcome[] = u"OK";
constexpr uint8_t kPositiveReply = 0x02;

}  // namespace

int32_t CScalesRongta1000::Guarded(const std::function<int32_t()>& operation) {
    try {
        return operation();
    } catch (...) {
        try {
            ClosePort();
        } catch (...) {
            // The port is being dropped anyway; 1 still reports the failure.
        }
        return scales::kErrConnection;
    }
}

int32_t CScalesRongta1000::RunAttempts(int attempts, bool drainFirst,
                                       const std::function<void()>& restart,
                                       const std::function<int32_t()>& attempt) {
    return Guarded([&] {
        int32_t result = scales::kOk;
        for (int i = 0; i < attempts; ++i) {
            if (restart) restart();
            const int32_t opened = EnsureOpen();
            if (opened != scales::kOk) return opened;
            if (drainFirst) scales::DrainInput(devicePort_, readBuffer_);
            result = attempt();
            if (result == scales::kOk) return result;
            if (attempts > 1) transport::SleepMs(kRetryPauseMs);
        }
        if (attempts > 1) CloseUnlessKept();
        return result;
    });
}

int32_t CScalesRongta1000::RunExchange(const scales::ExchangeRule& rule,
                                       const std::function<scales::Frame()>& build) {
    return RunAttempts(rule.attempts, rule.drainFirst, nullptr, [&] {
        const scales::Frame frame = build();
        devicePort_.Write(frame.data());
        const scales::Reply reply =
            scales::AwaitReplyBytes(devicePort_, readBuffer_, rule.replyWaitMs);
        const bool record = rule.recording == scales::Recording::kAlways ||
                            (rule.recording == scales::Recording::kNoReplyOnly && !reply.arrived);
        if (record) RecordOutcome(reply);
        return JudgeReply(rule.rule, reply);
    });
}

void CScalesRongta1000::RecordOutcome(const scales::Reply& reply) {
    if (!reply.arrived) {
        SetOutcomeText(kNoReplyOutcome);
        return;
    }
    SetOutcomeText(ReplyOutcome(reply.first).c_str());
}

int32_t CScalesRongta1000::JudgeReply(scales::ReplyRule rule, const scales::Reply& reply) {
    const bool positive = reply.arrived && reply.first == kPositiveReply;
    switch (rule) {
        case scales::ReplyRule::kIgnore:
            return scales::kOk;
        case scales::ReplyRule::kPositiveOr3:
            return positive ? scales::kOk : scales::kErrNoReply;
        case scales::ReplyRule::kAnyReply:
            return reply.arrived ? scales::kOk : scales::kErrNoReply;
        case scales::ReplyRule::kPositiveNegative:
            break;
    }
    if (!reply.arrived) return scales::kErrNoReply;
    return positive ? scales::kOk : scales::kErrNegativeReply;
}

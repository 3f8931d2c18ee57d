// The one request-and-reply skeleton every RLS1000 command runs through:
// open, exchange each frame through the engine, judge, retry after a pause.
#include <string>

#include "scales/error_table.h"
#include "scales/scales_object.h"

namespace {

// The outcome of a reply is the first byte offset by 120000, the way the
// host application has always shown scales answers.
std::u16string ReplyOutcome(uint8_t first) {
    constexpr int kOutcomeBase = 120000;
    const std::string text = "Error:" + std::to_string(kOutcomeBase + first);
    return std::u16string(text.begin(), text.end());
}

constexpr char16_t kNoReplyOutcome[] = u"OK";

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

int32_t CScalesRongta1000::RunAttempts(const scales::ExchangeRule& rule,
                                       const std::function<void()>& restart,
                                       const std::function<int32_t()>& attempt) {
    return Guarded([&] {
        int32_t result = scales::kOk;
        for (int i = 0; i < rule.attempts; ++i) {
            if (restart) restart();
            const int32_t opened = EnsureOpen();
            if (opened != scales::kOk) return opened;
            result = attempt();
            if (result == scales::kOk) return result;
            if (rule.attempts > 1) exchange_.Pause(rule.retryPauseMs);
        }
        if (rule.attempts > 1) CloseUnlessKept();
        return result;
    });
}

int32_t CScalesRongta1000::RunExchange(const scales::ExchangeRule& rule,
                                       const std::function<scales::Frame()>& build) {
    return RunAttempts(rule, nullptr,
                       [&] { return Conclude(rule, exchange_.Transact(build(), rule)); });
}

int32_t CScalesRongta1000::Conclude(const scales::ExchangeRule& rule, const scales::Reply& reply) {
    const bool record = rule.recording == scales::Recording::kAlways ||
                        (rule.recording == scales::Recording::kNoReplyOnly && !reply.arrived);
    if (record) RecordOutcome(reply);
    return scales::JudgeReply(rule.verdict, reply);
}

void CScalesRongta1000::RecordOutcome(const scales::Reply& reply) {
    if (!reply.arrived) {
        SetOutcomeText(kNoReplyOutcome);
        return;
    }
    SetOutcomeText(ReplyOutcome(reply.first).c_str());
}

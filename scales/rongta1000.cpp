#include "scales/rongta1000.h"

#include <string>

#include "scales/error_table.h"
#include "scales/field_ranges.h"
#include "scales/frames.h"
#include "text/codepage.h"

using scales::ExchangeRule;
using scales::Frame;

namespace {
// Commands whose attempts all start alike.
constexpr auto kNoRestart = [] {};
}  // namespace

CScalesRongta1000::CScalesRongta1000() : timeSource_(transport::GetLocalTime) {}

CScalesRongta1000::~CScalesRongta1000() = default;

// The RLS1000 network link is always UDP, whatever kind the caller asks for.
int32_t CScalesRongta1000::ConnectByEthernet(const char* host, int32_t networkPort,
                                             int32_t /*socketKind*/) {
    continuationCounter_ = 0;
    return IScalesObject::ConnectByEthernet(host, networkPort, transport::kSocketDatagram);
}

// The RLS1000 serial line always runs 8 data bits, no parity, one stop bit.
// Over the network these settings do nothing; refusals show up later as a
// failing exchange.  No speed is stored after a network connect (0): a serial
// line opened then keeps the 4800 baud it opens with, since a speed of 0
// would hang the line up.
int32_t CScalesRongta1000::OpenPort() {
    const int32_t opened = IScalesObject::OpenPort();
    if (baudRate_ > 0) devicePort_.SetBaudRate(static_cast<uint32_t>(baudRate_));
    devicePort_.SetNoParity();
    devicePort_.SetEightDataBits();
    devicePort_.SetOneStopBit();
    exchange_.Reopened();
    return opened;
}

int32_t CScalesRongta1000::Reserved1() {
    return scales::kOk;
}
int32_t CScalesRongta1000::Reserved2() {
    return scales::kOk;
}

void CScalesRongta1000::SetTimeSource(TimeSource source) {
    timeSource_ = source ? source : transport::GetLocalTime;
}

// The one request-and-reply skeleton every command runs: before each attempt
// `restart`, then EnsureOpen (a port that cannot be opened ends the command
// at once, nothing sent), then `attempt`, which exchanges the command's
// frames and gives 0 or the attempt's failure.  The rule says how often to
// try, how long to pause after each failed attempt and whether the port is
// closed (unless kept open) after the last.
template <typename Restart, typename Attempt>
int32_t CScalesRongta1000::RunAttempts(const ExchangeRule& rule, Restart restart, Attempt attempt) {
    int32_t result = scales::kOk;
    for (int i = 0; i < rule.attempts; ++i) {
        restart();
        const int32_t opened = EnsureOpen();
        if (opened != scales::kOk) return opened;
        result = attempt();
        if (result == scales::kOk) return result;
        if (rule.retryPauseMs > 0) exchange_.Pause(rule.retryPauseMs);
    }
    if (rule.closeAfterFailure) CloseUnlessKept();
    return result;
}

int32_t CScalesRongta1000::RunCommand(const ExchangeRule& rule, const Frame& frame) {
    return RunAttempts(rule, kNoRestart, [&] { return ExchangeFrame(rule, frame); });
}

int32_t CScalesRongta1000::ExchangeFrame(const ExchangeRule& rule, const Frame& frame) {
    return Conclude(rule, exchange_.Transact(frame, rule));
}

int32_t CScalesRongta1000::SyncClock() {
    try {
        return SendClock();
    } catch (...) {
        return DropPortAfterFailure();
    }
}

// The time is read after the port is open, right before the frame is built.
int32_t CScalesRongta1000::SendClock() {
    const ExchangeRule rule = ExchangeRule::Clock();
    return RunAttempts(rule, kNoRestart, [&] {
        const transport::LocalTime now = timeSource_();
        return ExchangeFrame(rule, scales::BuildClockFrame({now.year, now.month, now.day, now.hour,
                                                            now.minute, now.second}));
    });
}

int32_t CScalesRongta1000::SetClock(int32_t year, int32_t month, int32_t day, int32_t hour,
                                    int32_t minute, int32_t second) {
    try {
        return RunCommand(ExchangeRule::SetClock(),
                          scales::BuildClockFrame({year, month, day, hour, minute, second}));
    } catch (...) {
        return DropPortAfterFailure();
    }
}

int32_t CScalesRongta1000::ClearGoods() {
    messageCounter_ = 0;
    continuationCounter_ = 0;
    try {
        return RunCommand(ExchangeRule::ClearGoods(), scales::BuildClearGoodsFrame());
    } catch (...) {
        return DropPortAfterFailure();
    }
}

int32_t CScalesRongta1000::SendGood(const std::u16string& name, int32_t code, int32_t plu,
                                    int32_t price, int32_t shelfLife) {
    return SendGoodToScalesV1(name, scales::LabelledGood(labels_, code, plu, price, shelfLife));
}

// Clock first (the scales print the packing date from it), then the goods
// record, then the rest of a long name.
int32_t CScalesRongta1000::SendGoodToScalesV1(const std::u16string& name,
                                              const scales::GoodsFields& fields) {
    try {
        const int32_t fits = scales::CheckGoodsFields(fields);
        if (fits != scales::kOk) return fits;
        const int32_t clock = SendClock();
        if (clock != scales::kOk) return clock;
        const std::string name1251 = text::Utf16ToWindows1251(name);
        const int32_t record =
            RunCommand(ExchangeRule::Goods(), scales::BuildGoodsFrame(name1251, fields));
        if (record != scales::kOk) return record;
        return SendContinuationBytes(name1251, fields.code);
    } catch (...) {
        return DropPortAfterFailure();
    }
}

int32_t CScalesRongta1000::SendNameContinuation(const std::u16string& name, int32_t code) {
    try {
        const int32_t fits = scales::CheckGoodsCode(code);
        if (fits != scales::kOk) return fits;
        return SendContinuationBytes(text::Utf16ToWindows1251(name), code);
    } catch (...) {
        return DropPortAfterFailure();
    }
}

// Every attempt carries a new sequence number, so the scales never take a
// repeated continuation for one they already applied.
int32_t CScalesRongta1000::SendContinuationBytes(const std::string& name1251, int32_t code) {
    if (!scales::NeedsNameContinuation(name1251)) return scales::kOk;
    const ExchangeRule rule = ExchangeRule::Continuation();
    return RunAttempts(rule, kNoRestart, [&] {
        return ExchangeFrame(
            rule, scales::BuildContinuationFrame(continuationCounter_++, name1251, code));
    });
}

int32_t CScalesRongta1000::StartSendMessages() {
    messageCounter_ = 0;
    return scales::kOk;
}

int32_t CScalesRongta1000::SendMessageV1(int32_t number, const std::u16string& text,
                                         int32_t lineWidth) {
    try {
        const uint16_t firstSequence = messageCounter_;
        const std::vector<std::string> lines =
            scales::LayOutMessage(text::Utf16ToWindows1251(text), lineWidth);
        const int32_t fits = scales::CheckMessage(number, lineWidth, lines);
        if (fits != scales::kOk) return fits;
        // A repeated attempt sends the same sequence numbers again.
        const auto restart = [this, firstSequence] { messageCounter_ = firstSequence; };
        return RunAttempts(ExchangeRule::Message(), restart,
                           [&] { return SendMessageFrames(number, lines); });
    } catch (...) {
        return DropPortAfterFailure();
    }
}

int32_t CScalesRongta1000::SendMessageFrames(int32_t number,
                                             const std::vector<std::string>& lines) {
    const ExchangeRule rule = ExchangeRule::Message();
    if (scales::MessageSize(lines) <= scales::kShortMessageRoom) {
        return ExchangeFrame(rule, scales::BuildShortMessageFrame(number, lines));
    }
    const int32_t announced =
        ExchangeFrame(rule, scales::BuildAnnouncementFrame(number, messageCounter_));
    if (announced != scales::kOk) return announced;
    const std::string joined = scales::JoinMessageLines(lines);
    const size_t frames = scales::MessageDataFrameCount(joined.size());
    for (size_t i = 0; i < frames; ++i) {
        const int32_t sent =
            ExchangeFrame(rule, scales::BuildMessageDataFrame(messageCounter_++, joined, i));
        if (sent != scales::kOk) return sent;
    }
    return scales::kOk;
}

int32_t CScalesRongta1000::PrepareSendHotKeys() {
    hotKeys_.fill(0);
    return scales::kOk;
}

int32_t CScalesRongta1000::AddHotKey(uint32_t code, int32_t keyNumber) {
    constexpr int32_t kLastSettableKey = scales::kHotKeyCount - 1;
    constexpr uint32_t kMaxKeyCode = 999999;  // six digits on the scales
    if (keyNumber < 1 || keyNumber > kLastSettableKey || code > kMaxKeyCode) {
        return scales::kErrHotKeyRange;
    }
    hotKeys_[static_cast<size_t>(keyNumber - 1)] = code;
    return scales::kOk;
}

// The scales take three pages of 84 keys; keys 253 and up stay in the table
// but have no page.
int32_t CScalesRongta1000::SendHotKeys() {
    try {
        for (int page = 0; page < scales::kHotKeyPages; ++page) {
            const int32_t sent =
                RunCommand(ExchangeRule::HotKeyPage(),
                           scales::BuildHotKeyPage(hotKeys_.data(), hotKeys_.size(), page));
            if (sent != scales::kOk) return sent;
        }
        return scales::kOk;
    } catch (...) {
        return DropPortAfterFailure();
    }
}

int32_t CScalesRongta1000::Conclude(const ExchangeRule& rule, const scales::Reply& reply) {
    const bool record = rule.recording == scales::Recording::kAlways ||
                        (rule.recording == scales::Recording::kNoReplyOnly && !reply.arrived);
    if (record) RecordOutcome(reply);
    return scales::JudgeReply(rule.verdict, reply);
}

// A reply is shown as its first byte offset by 120000, the way the host
// application has always shown scales answers; no reply as "OK".
void CScalesRongta1000::RecordOutcome(const scales::Reply& reply) {
    if (!reply.arrived) {
        outcomeText_ = u"OK";
        return;
    }
    constexpr int kOutcomeBase = 120000;
    const std::string text = "Error:" + std::to_string(kOutcomeBase + reply.first);
    outcomeText_.assign(text.begin(), text.end());
}

// The port is dropped even when closing it fails too: 1 reports the failure
// either way, and the next command opens the port again.
int32_t CScalesRongta1000::DropPortAfterFailure() noexcept {
    try {
        ClosePort();
    } catch (...) {
    }
    return scales::kErrConnection;
}

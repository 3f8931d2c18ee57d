// CScalesRongta1000: the scales object of a Rongta RLS1000, speaking its
// request-and-reply protocol over the object's port.
//
// Each command is a frame built by the plain functions of frames.h, checked
// against its fields' ranges (field_ranges.h) and exchanged through the one
// engine (exchange.h) under its named rule (exchange_rule.h).  Every public
// operation catches everything once: an unexpected failure closes the port
// and gives 1.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "scales/exchange.h"
#include "scales/exchange_rule.h"
#include "scales/frames.h"
#include "scales/port_link.h"
#include "scales/scales_object.h"
#include "transport/local_time.h"

namespace scales {
constexpr int kHotKeyCount = 300;
}  // namespace scales

class CScalesRongta1000 : public IScalesObject {
  public:
    CScalesRongta1000();
    ~CScalesRongta1000() override;

    int32_t ConnectByEthernet(const char* host, int32_t networkPort, int32_t socketKind) override;
    int32_t OpenPort() override;
    int32_t ClearGoods() override;
    int32_t StartSendMessages() override;
    int32_t PrepareSendHotKeys() override;
    int32_t AddHotKey(uint32_t code, int32_t keyNumber) override;
    int32_t SendHotKeys() override;
    int32_t SendGoodToScalesV1(const std::u16string& name,
                               const scales::GoodsFields& fields) override;
    int32_t SendGood(const std::u16string& name, int32_t code, int32_t plu, int32_t price,
                     int32_t shelfLife) override;
    int32_t SendMessageV1(int32_t number, const std::u16string& text, int32_t lineWidth) override;
    // The RLS1000's own slots.  None is used by the add-in: the goods record
    // sends its clock and continuation itself, and no host method sets a
    // clock of its choosing.
    virtual int32_t Reserved1();
    virtual int32_t Reserved2();
    virtual int32_t SyncClock();
    virtual int32_t SendNameContinuation(const std::u16string& name, int32_t code);
    virtual int32_t SetClock(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                             int32_t second);

    uint16_t MessageCounter() const { return messageCounter_; }
    uint16_t ContinuationCounter() const { return continuationCounter_; }
    const std::array<uint32_t, scales::kHotKeyCount>& HotKeys() const { return hotKeys_; }

    // Where SyncClock takes the local time from (tests fix it); null restores
    // the computer's clock.
    using TimeSource = transport::LocalTime (*)();
    void SetTimeSource(TimeSource source);

    // How replies were credited so far (for tests and benchmarks).
    const scales::ExchangeTally& Tally() const { return exchange_.Tally(); }

  private:
    // The retry skeleton (rongta1000.cpp) and the commands' parts that other
    // commands include; none of these catches anything: the public operation
    // that runs them does, once.
    template <typename Restart, typename Attempt>
    int32_t RunAttempts(const scales::ExchangeRule& rule, Restart restart, Attempt attempt);
    // A command whose frame is the same in every attempt.
    int32_t RunCommand(const scales::ExchangeRule& rule, const scales::Frame& frame);
    // One frame through the engine, judged (and its outcome recorded) as
    // `rule` says.
    int32_t ExchangeFrame(const scales::ExchangeRule& rule, const scales::Frame& frame);
    int32_t Conclude(const scales::ExchangeRule& rule, const scales::Reply& reply);
    void RecordOutcome(const scales::Reply& reply);
    int32_t SendClock();
    // The rest of a name already in windows-1251; nothing when it fits the record.
    int32_t SendContinuationBytes(const std::string& name1251, int32_t code);
    int32_t SendMessageFrames(int32_t number, const std::vector<std::string>& lines);
    // An unexpected failure inside a command: the port is closed, the result is 1.
    int32_t DropPortAfterFailure() noexcept;

    std::array<uint32_t, scales::kHotKeyCount> hotKeys_{};
    uint16_t messageCounter_ = 0;
    uint16_t continuationCounter_ = 0;
    TimeSource timeSource_;
    scales::PortLink link_{devicePort_};
    scales::Exchange exchange_{link_};
};

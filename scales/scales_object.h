// Scales objects: one per registered device.
//
// IScalesObject holds identity, connection target, label settings and the one
// port; CScalesRongta1000 speaks the RLS1000 protocol over it.  Every device
// operation returns a result code of the error table (error_table.h), 0 for
// success.  No exception leaves any operation.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "scales/exchange.h"
#include "scales/exchange_rule.h"
#include "scales/frames.h"
#include "scales/goods_fields.h"
#include "scales/port_link.h"
#include "transport/local_time.h"
#include "transport/port.h"

namespace scales {
constexpr int kMaxTextLength = 253;  // target and DeviceID
constexpr int kHotKeyCount = 300;
}  // namespace scales

class IScalesObject {
  public:
    IScalesObject();
    virtual ~IScalesObject();
    IScalesObject(const IScalesObject&) = delete;
    IScalesObject& operator=(const IScalesObject&) = delete;

    virtual int32_t ConnectByRS232(const char* deviceName, int32_t baudRate);
    virtual int32_t ConnectByEthernet(const char* host, int32_t networkPort, int32_t socketKind);
    virtual int32_t OpenPort();
    virtual int32_t ClosePort();
    virtual int32_t ClearGoods() = 0;
    virtual int32_t StartSendMessages() = 0;
    virtual int32_t PrepareSendHotKeys() = 0;
    virtual int32_t AddHotKey(uint32_t code, int32_t keyNumber) = 0;
    virtual int32_t SendHotKeys() = 0;
    virtual bool HasDeviceId(const char* deviceId);
    virtual int32_t SetDeviceId(const char* deviceId);  // 1 when longer than 253
    virtual int32_t SetKeepOpen(int32_t flag);
    virtual int32_t SetCoefficient(double coefficient);
    virtual double GetCoefficient();
    virtual int32_t SetOutcomeText(const char16_t* text);
    virtual int32_t SendGoodToScalesV1(const std::u16string& name,
                                       const scales::GoodsFields& fields) = 0;
    virtual int32_t SendGood(const std::u16string& name, int32_t code, int32_t plu, int32_t price,
                             int32_t shelfLife) = 0;
    virtual int32_t SetLabelSettings(int32_t labelNumber, int32_t department, int32_t barcodeFormat,
                                     int32_t weightMeasure);
    virtual int32_t SendMessageV1(int32_t number, const std::u16string& text, int32_t lineWidth);
    virtual int32_t GetPortState();
    virtual int32_t EnsureOpen();
    virtual int32_t CloseUnlessKept();

    // Read access for the device table and for tests.
    const std::string& Target() const { return target_; }
    const std::string& DeviceId() const { return deviceId_; }
    const std::u16string& OutcomeText() const { return outcomeText_; }
    int32_t BaudRateSetting() const { return baudRate_; }
    int32_t NetworkPort() const { return networkPort_; }
    int32_t SocketKind() const { return socketKind_; }
    int32_t KeepOpen() const { return keepOpen_; }
    int32_t LabelNumber() const { return labelNumber_; }
    int32_t Department() const { return department_; }
    int32_t BarcodeFormat() const { return barcodeFormat_; }
    int32_t WeightMeasure() const { return weightMeasure_; }
    CZavComLanPort& Port() { return devicePort_; }

  protected:
    CZavComLanPort devicePort_;
    std::string target_;
    int32_t baudRate_ = 4800;
    int32_t networkPort_ = 0;
    int32_t socketKind_ = 0;
    int32_t keepOpen_ = 0;
    double coefficient_ = 1.0;
    std::string deviceId_;
    std::u16string outcomeText_;
    int32_t labelNumber_ = 0;
    int32_t department_ = 28;
    int32_t barcodeFormat_ = 7;
    int32_t weightMeasure_ = 4;
};

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
    virtual int32_t Reserved1();
    virtual int32_t Reserved2();
    virtual int32_t SyncClock();
    virtual int32_t SendNameContinuation(const std::u16string& name, int32_t code);
    virtual int32_t SetClock(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                             int32_t second);

    // Positive (0), negative (7) or no reply (3) to the message frame last
    // sent through the exchange engine, waiting as messages do (200 ms);
    // records the outcome text.
    int32_t AwaitReply();

    uint16_t MessageCounter() const { return messageCounter_; }
    uint16_t ContinuationCounter() const { return continuationCounter_; }
    const std::array<uint32_t, scales::kHotKeyCount>& HotKeys() const { return hotKeys_; }

    // Where SyncClock takes the local time from (tests fix it); null restores
    // the computer's clock.
    using TimeSource = transport::LocalTime (*)();
    void SetTimeSource(TimeSource source);

    // How replies were credited so far (for tests and benchmarks).
    const scales::ExchangeTally& Tally() const { return exchange_.Tally(); }

  protected:
    // One command: the frame `build` makes, exchanged, judged and retried as
    // `rule` says.
    int32_t RunExchange(const scales::ExchangeRule& rule,
                        const std::function<scales::Frame()>& build);
    // The retry skeleton: `attempt` runs after EnsureOpen and gives 0 or the
    // failure of that attempt; `restart` runs before each one.  A failed
    // attempt is followed by the rule's pause.
    int32_t RunAttempts(const scales::ExchangeRule& rule, const std::function<void()>& restart,
                        const std::function<int32_t()>& attempt);
    // The rest of a name already in windows-1251; nothing when it fits the record.
    int32_t SendContinuationBytes(const std::string& name1251, int32_t code);
    int32_t SendMessageFrames(int32_t number, const std::vector<std::string>& lines);
    int32_t ExchangeMessageFrame(const scales::Frame& frame);
    // Records the outcome as `rule` says and gives the verdict.
    int32_t Conclude(const scales::ExchangeRule& rule, const scales::Reply& reply);
    void RecordOutcome(const scales::Reply& reply);
    // Runs `operation`; an unexpected failure closes the port and gives 1.
    int32_t Guarded(const std::function<int32_t()>& operation);

    std::array<uint32_t, scales::kHotKeyCount> hotKeys_{};
    uint16_t messageCounter_ = 0;
    uint16_t continuationCounter_ = 0;
    TimeSource timeSource_;
    scales::PortLink link_{devicePort_};
    scales::Exchange exchange_{link_};
};

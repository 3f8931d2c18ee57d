// IScalesObject: one per registered device.  It holds identity, connection
// target, label settings and the one port; each scales type (rongta1000.h)
// adds its protocol.  Every device operation returns a result code of the
// error table (error_table.h), 0 for success.  No exception leaves any
// operation.
#pragma once

#include <cstdint>
#include <string>

#include "scales/goods_fields.h"
#include "transport/port.h"

namespace scales {
constexpr int kMaxTextLength = 253;  // target and DeviceID

// How a scales object reaches its device, from the host's settings down to
// the port: the serial line named by the target, or the network link to the
// target host's port.
enum class ConnectionKind { kSerial, kEthernet };
}  // namespace scales

class IScalesObject {
  public:
    IScalesObject();
    virtual ~IScalesObject();
    IScalesObject(const IScalesObject&) = delete;
    IScalesObject& operator=(const IScalesObject&) = delete;

    // The scales interface, slot by slot.  A few slots serve nothing in the
    // add-in and say so; they stay for any scales type and caller.
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
    virtual double GetCoefficient();  // unused by the add-in: it reads no weight
    // Unused by the add-in: the exchanges record their outcomes themselves.
    virtual int32_t SetOutcomeText(const char16_t* text);
    virtual int32_t SendGoodToScalesV1(const std::u16string& name,
                                       const scales::GoodsFields& fields) = 0;
    // Unused by the add-in: its goods come as whole records (LabelledGood).
    virtual int32_t SendGood(const std::u16string& name, int32_t code, int32_t plu, int32_t price,
                             int32_t shelfLife) = 0;
    // The four label fields the scales print with, kept together as the
    // goods record uses them (Labels()).
    virtual int32_t SetLabelSettings(int32_t labelNumber, int32_t department, int32_t barcodeFormat,
                                     int32_t weightMeasure);
    virtual int32_t SendMessageV1(int32_t number, const std::u16string& text, int32_t lineWidth);
    virtual int32_t GetPortState();
    virtual int32_t EnsureOpen();
    virtual int32_t CloseUnlessKept();

    // The label settings every good sent by UploadGoods and DeviceTest
    // carries (LabelledGood, goods_fields.h).
    const scales::LabelSettings& Labels() const { return labels_; }

    // For tests.
    const std::string& Target() const { return target_; }
    const std::string& DeviceId() const { return deviceId_; }
    const std::u16string& OutcomeText() const { return outcomeText_; }
    int32_t BaudRateSetting() const { return baudRate_; }
    int32_t NetworkPort() const { return networkPort_; }
    int32_t KeepOpen() const { return keepOpen_; }
    CZavComLanPort& Port() { return devicePort_; }

  protected:
    CZavComLanPort devicePort_;
    std::string target_;
    int32_t baudRate_ = 4800;
    scales::ConnectionKind connection_ = scales::ConnectionKind::kSerial;
    int32_t networkPort_ = 0;
    int32_t socketKind_ = 0;
    int32_t keepOpen_ = 0;
    double coefficient_ = 1.0;
    std::string deviceId_;
    std::u16string outcomeText_;
    scales::LabelSettings labels_;
};

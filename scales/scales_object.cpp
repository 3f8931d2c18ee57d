// IScalesObject: identity, connection target, label settings and connection
// handling shared by every scales type.
#include "scales/scales_object.h"

#include <cstring>

#include "scales/error_table.h"

namespace {

// Texts longer than the device's fixed fields are refused, never shortened:
// a shortened host name or DeviceID would silently address something else.
bool FitsField(const char* text) {
    return std::strlen(text) <= static_cast<size_t>(scales::kMaxTextLength);
}

}  // namespace

IScalesObject::IScalesObject() = default;

IScalesObject::~IScalesObject() {
    try {
        ClosePort();
    } catch (...) {
        // Nothing can be reported from a destructor; the port closes itself.
    }
}

int32_t IScalesObject::ConnectByRS232(const char* deviceName, int32_t baudRate) {
    try {
        if (deviceName == nullptr || !FitsField(deviceName)) return scales::kErrConnection;
        target_ = deviceName;
        baudRate_ = baudRate;
        connection_ = scales::ConnectionKind::kSerial;
        networkPort_ = 0;
        const int32_t opened = OpenPort();
        CloseUnlessKept();
        return opened;
    } catch (...) {
        ClosePort();
        return scales::kErrConnection;
    }
}

int32_t IScalesObject::ConnectByEthernet(const char* host, int32_t networkPort,
                                         int32_t socketKind) {
    try {
        if (host == nullptr || !FitsField(host)) return scales::kErrConnection;
        target_ = host;
        baudRate_ = 0;
        // A port number below 1 names no network port: the host is then a
        // serial device.  That is how a host reaches serial scales (conntype
        // 1, ehost the device, eport 0): no setting names a serial line.
        connection_ =
            networkPort >= 1 ? scales::ConnectionKind::kEthernet : scales::ConnectionKind::kSerial;
        networkPort_ = networkPort;
        socketKind_ = socketKind;
        const int32_t opened = OpenPort();
        CloseUnlessKept();
        return opened;
    } catch (...) {
        ClosePort();
        return scales::kErrConnection;
    }
}

int32_t IScalesObject::OpenPort() {
    ClosePort();
    if (connection_ == scales::ConnectionKind::kSerial) return devicePort_.OpenCom(target_.c_str());
    const auto kind = static_cast<uint8_t>(socketKind_ & 0xFF);
    return devicePort_.OpenLan(target_.c_str(), networkPort_, kind);
}

int32_t IScalesObject::ClosePort() {
    devicePort_.Disconnect();
    return scales::kOk;
}

bool IScalesObject::HasDeviceId(const char* deviceId) {
    return deviceId != nullptr && deviceId_ == deviceId;
}

int32_t IScalesObject::SetDeviceId(const char* deviceId) {
    if (deviceId == nullptr) return scales::kOk;
    if (!FitsField(deviceId)) return scales::kErrConnection;
    try {
        deviceId_ = deviceId;
        devicePort_.SetMonitorDevice(deviceId_.c_str());
        return scales::kOk;
    } catch (...) {
        return scales::kErrConnection;
    }
}

int32_t IScalesObject::SetKeepOpen(int32_t flag) {
    keepOpen_ = flag;
    return scales::kOk;
}

int32_t IScalesObject::SetCoefficient(double coefficient) {
    coefficient_ = coefficient;
    return scales::kOk;
}

double IScalesObject::GetCoefficient() {
    return coefficient_;
}

int32_t IScalesObject::SetOutcomeText(const char16_t* text) {
    if (text == nullptr) return scales::kOk;
    try {
        outcomeText_ = text;
    } catch (...) {
        // Keeping the previous outcome text is all that can be done.
    }
    return scales::kOk;
}

int32_t IScalesObject::SetLabelSettings(int32_t labelNumber, int32_t department,
                                        int32_t barcodeFormat, int32_t weightMeasure) {
    labels_ = scales::LabelSettings{labelNumber, department, barcodeFormat, weightMeasure};
    return scales::kOk;
}

// Scales types without messages accept and ignore them.
int32_t IScalesObject::SendMessageV1(int32_t, const std::u16string&, int32_t) {
    return scales::kOk;
}

int32_t IScalesObject::GetPortState() {
    constexpr int32_t kPortClosed = 2;
    return devicePort_.IsConnected() ? scales::kOk : kPortClosed;
}

// Every exchange starts here: a port closed by a transport error or never
// opened is reopened with the stored target and settings.
int32_t IScalesObject::EnsureOpen() {
    if (GetPortState() == scales::kOk) return scales::kOk;
    return OpenPort();
}

int32_t IScalesObject::CloseUnlessKept() {
    if (keepOpen_ == 0) ClosePort();
    return scales::kOk;
}

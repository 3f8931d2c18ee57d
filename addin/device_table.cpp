#include "addin/device_table.h"

#include <cstring>
#include <utility>

#include "scales/error_table.h"
#include "scales/rongta1000.h"
#include "text/codepage.h"
#include "text/xstring.h"

namespace {

// A new DeviceID: 10 random bytes as 20 upper-case hexadecimal digits.
constexpr int kDeviceIdRandomBytes = 10;
// Registration leaves the port open once the first exchange has opened it.
constexpr int32_t kKeepPortOpen = 1;
constexpr double kWeightCoefficient = 1.0;
// The scales' network link is always datagrams; the object decides that.
constexpr int32_t kSocketKindDefault = 0;

bool LongerThanField(const char* text) {
    return std::strlen(text) > static_cast<size_t>(scales::kMaxTextLength);
}

}  // namespace

CDeviceTable::CDeviceTable() = default;

CDeviceTable::~CDeviceTable() {
    for (auto& slot : slots_) Release(slot);
}

void CDeviceTable::Release(std::unique_ptr<IScalesObject>& slot) {
    if (!slot) return;
    slot->ClosePort();
    slot.reset();
}

IScalesObject* CDeviceTable::FindDevice(const char* deviceId) {
    const int slot = SlotOf(deviceId);
    return slot < 0 ? nullptr : slots_[slot].get();
}

int CDeviceTable::SlotOf(const char* deviceId) const {
    if (deviceId == nullptr) return -1;
    for (int i = 0; i < kSlotCount; ++i) {
        if (slots_[i] && slots_[i]->HasDeviceId(deviceId)) return i;
    }
    return -1;
}

int CDeviceTable::RegisteredCount() const {
    int count = 0;
    for (const auto& slot : slots_) count += slot ? 1 : 0;
    return count;
}

void CDeviceTable::CloseDevice(const char* deviceId) {
    if (deviceId != nullptr) {
        for (auto& slot : slots_) {
            if (slot && slot->HasDeviceId(deviceId)) Release(slot);
        }
    }
    SetLastError(scales::kOk);
}

int CDeviceTable::LowestFreeSlot() const {
    for (int i = 0; i < kSlotCount; ++i) {
        if (!slots_[i]) return i;
    }
    return -1;
}

int32_t CDeviceTable::ConnectDevice(const char* address, int32_t port, scales::ConnectionKind kind,
                                    const char* deviceId) {
    // The scales object holds at most 253 characters of either; a longer one
    // is refused rather than shortened into some other device's name.
    if (address == nullptr || deviceId == nullptr || LongerThanField(address) ||
        LongerThanField(deviceId)) {
        SetLastError(scales::kErrConnection);
        return lastError_;
    }
    if (FindDevice(deviceId) != nullptr) CloseDevice(deviceId);
    const int free = LowestFreeSlot();
    if (free < 0) {
        SetLastError(scales::kErrTableFull);
        return lastError_;
    }

    auto device = std::make_unique<CScalesRongta1000>();
    device->SetDeviceId(deviceId);
    const scales::LabelSettings& labels = settings_.labels;
    device->SetLabelSettings(labels.labelNumber, labels.department, labels.barcodeFormat,
                             labels.weightMeasure);
    device->SetCoefficient(kWeightCoefficient);
    device->SetKeepOpen(kKeepPortOpen);
    SetLastError(kind == scales::ConnectionKind::kEthernet
                     ? device->ConnectByEthernet(address, port, kSocketKindDefault)
                     : device->ConnectByRS232(address, port));
    // Registration only tests the link: the first device operation reopens it.
    device->ClosePort();
    slots_[free] = std::move(device);
    return lastError_;
}

std::string CDeviceTable::NewDeviceId() {
    XString id;
    id.appendRandomBytes(kDeviceIdRandomBytes, "hex");
    return id.narrowText();
}

int32_t CDeviceTable::OpenDevice(const std::string& deviceId) {
    const bool serial = settings_.connection == scales::ConnectionKind::kSerial;
    const std::string address =
        serial ? settings_.serialPortName : text::Utf16ToSystem(settings_.ethernetHost);
    const int32_t port = serial ? settings_.serialSpeed : settings_.ethernetPort;
    return ConnectDevice(address.c_str(), port, settings_.connection, deviceId.c_str());
}

std::u16string CDeviceTable::ErrorText() const {
    const std::u16string text = scales::ErrorText(lastError_, folderPath_);
    return lastErrorDetail_.empty() ? text : text + u" " + lastErrorDetail_;
}

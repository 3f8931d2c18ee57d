// CDeviceTable: the state behind the driver methods of one add-in object.
//
// It keeps the last error code that GetLastError reports, the settings that
// SetParameter stores, the add-in's folder path, and up to kSlotCount scales
// objects, each registered under a DeviceID.  Settings reach a scales object
// only when it is registered; objects already registered keep theirs.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "scales/scales_object.h"

// What SetParameter stores.  The host is expected to send every setting
// before Open: the initial connection kind, host and port are not the
// defaults the settings document announces.
struct DeviceSettings {
    std::string serialPortName;  // no setting names it: a serial Open has no device
    int32_t serialSpeed = 0;
    std::u16string ethernetHost;  // "ehost"
    // "conntype", whose 0 is the serial line and any other value the network
    scales::ConnectionKind connection = scales::ConnectionKind::kSerial;
    int32_t ethernetPort = 0;  // "eport"
    // "etiknum", "etikdep", "etikbarcode", "etikodv"
    scales::LabelSettings labels;
};

class CDeviceTable {
  public:
    static constexpr int kSlotCount = 100;

    CDeviceTable();
    ~CDeviceTable();
    CDeviceTable(const CDeviceTable&) = delete;
    CDeviceTable& operator=(const CDeviceTable&) = delete;

    // The first registered scales object with this DeviceID, or null.
    IScalesObject* FindDevice(const char* deviceId);
    // Disconnects and deletes every object with this DeviceID; last error 0.
    void CloseDevice(const char* deviceId);
    // Registers a new scales object under `deviceId` (replacing one already
    // there) and tests its connection; the result is also the last error.
    int32_t ConnectDevice(const char* address, int32_t port, scales::ConnectionKind kind,
                          const char* deviceId);
    // A fresh random DeviceID: 20 upper-case hexadecimal digits.
    static std::string NewDeviceId();
    // Registers under `deviceId` with the current settings; the connection
    // test's result is also the last error.
    int32_t OpenDevice(const std::string& deviceId);

    // The text GetLastError shows for the last error code: the code's own
    // text, then the detail given with it, if any.
    std::u16string ErrorText() const;
    int32_t LastError() const { return lastError_; }
    void SetLastError(int32_t code) { SetLastError(code, {}); }
    // A code with the detail that says where it arose (which good, which line).
    void SetLastError(int32_t code, std::u16string detail) {
        lastError_ = code;
        lastErrorDetail_ = std::move(detail);
    }

    DeviceSettings& Settings() { return settings_; }
    const std::u16string& FolderPath() const { return folderPath_; }
    void SetFolderPath(const std::u16string& path) { folderPath_ = path; }

    // Slot of the first object with this DeviceID, or -1 (for tests).
    int SlotOf(const char* deviceId) const;
    int RegisteredCount() const;

  private:
    int LowestFreeSlot() const;
    static void Release(std::unique_ptr<IScalesObject>& slot);

    int32_t lastError_ = 0;
    std::u16string lastErrorDetail_;
    std::array<std::unique_ptr<IScalesObject>, kSlotCount> slots_;
    std::u16string folderPath_;
    DeviceSettings settings_;
};

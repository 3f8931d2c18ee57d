// The port monitor: a hex dump of everything that goes between the driver and
// the scales.  It is switched on for a port when a file "log.txt" lies in the
// library's directory as the port is constructed, and each port appends its
// records to its own file in that directory.
//
// A record is: an empty line, a line of 68 underscores, a header line
// (direction label, local time, byte count), the connection's description
// line, the column ruler, an empty line, then one 94-byte line per started run
// of 20 bytes.  Every line ends with CR LF.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "transport/link.h"
#include "transport/local_time.h"

// One open monitor file (monitor_file_<os>.cpp).  Others may read it while a
// port writes; no second writer can open it.
class MonitorFile {
  public:
    // Opens `path` for appending, creating it when missing; none when it
    // cannot be opened.
    static std::unique_ptr<MonitorFile> Open(const std::u16string& path);
    ~MonitorFile();
    MonitorFile(const MonitorFile&) = delete;
    MonitorFile& operator=(const MonitorFile&) = delete;

    // Appends the bytes; a failed write is ignored, the monitor never fails.
    void Append(const std::string& bytes);

  private:
    explicit MonitorFile(intptr_t handle) : handle_(handle) {}
    intptr_t handle_;
};

namespace transport {

// Whether anything exists at `path` (monitor_file_<os>.cpp).
bool PathExists(const std::u16string& path);

// The longest monitor path a port uses; a longer one leaves that port's
// monitor off.
constexpr size_t kMaxMonitorPath = 299;

std::u16string MarkerFilePath(const std::u16string& directory);
std::u16string DefaultMonitorPath(const std::u16string& directory);
// The DeviceID comes from the host and lands in a file name: only the name's
// copy is cleaned (see SanitizeForFileName), the DeviceID itself is kept.
std::u16string DeviceMonitorPath(const std::u16string& directory, const char* deviceId);
// Replaces path separators, runs of dots, control characters and the
// characters a Windows file name cannot hold by '_'.
std::string SanitizeForFileName(const std::string& name);

std::string DescribeSerialLine(const std::string& comName, uint32_t baudRate, int32_t parity,
                               uint32_t dataBits, int32_t stopBits, uint8_t handshaking,
                               uint8_t xonXoff);
std::string DescribeEthernetLink(const std::string& host, uint32_t portNumber);

// The bytes of the system record that follows a failure: who is at fault
// and the system's error number, e.g. "ERROR_BUSY 11" or "ERROR_IO 104".
std::string FaultRecordText(const LinkError& error);

// The whole record as it goes into the file; empty when there is nothing to
// write (no bytes, or a direction other than kDirectionSystem/Out/In).
std::string FormatMonitorRecord(const LocalTime& time, int direction, const uint8_t* bytes,
                                int32_t count, const std::string& description);

// The clock that stamps records; tests fix it to compare records byte for byte.
// Passing nullptr restores the computer's local time.
using MonitorClock = LocalTime (*)();
void SetMonitorClockForTesting(MonitorClock clock);
LocalTime MonitorTime();

}  // namespace transport

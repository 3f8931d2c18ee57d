#include "transport/monitor.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "text/codepage.h"
#include "transport/module_dir.h"
#include "transport/port.h"

namespace transport {
namespace {

constexpr char16_t kMarkerName[] = u"log.txt";
constexpr char16_t kDefaultName[] = u"portmon-korvan-scalesprn-ron.log";
constexpr char16_t kDeviceNamePrefix[] = u"portmon-korvan-scalesprn_";
constexpr char16_t kDeviceNameSuffix[] = u".log";

// Each label is 9 characters, so the header lines of all records align.
constexpr const char* kDirectionLabels[] = {"SYS      ", "OUT >>>>>", "IN <<<<<<"};
// The platform's serial codes, as the port stores them.
constexpr const char* kParityNames[] = {"None", "Odd", "Even", "Mark", "Space"};
constexpr const char* kStopBitsNames[] = {"1", "1.5", "2"};

constexpr size_t kMaxDescription = 1023;
constexpr int kBytesPerLine = 20;
constexpr int kBarBeforeColumn = 10;
// Bytes below a space would break the text column's layout.
constexpr uint8_t kFirstPrintable = 0x20;

constexpr char kRule[] =
    "\r\n____________________________________________________________________\r\n";
constexpr char kRuler[] =
    "  N     1  2  3  4  5  6  7  8  9 10   11 12 13 14 15 16 17 18 19 20\r\n\r\n";

std::atomic<MonitorClock> testClock{nullptr};

std::u16string InDirectory(const std::u16string& directory, const std::u16string& name) {
    return directory + PathSeparator() + name;
}

template <size_t N>
const char* NameFrom(const char* const (&names)[N], int32_t code) {
    return code >= 0 && static_cast<size_t>(code) < N ? names[code] : "?";
}

template <typename... Args>
std::string Format(const char* format, Args... args) {
    int n = std::snprintf(nullptr, 0, format, args...);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(&out[0], out.size(), format, args...);
    out.resize(static_cast<size_t>(n));
    return out;
}

void AppendHeader(std::string& out, const LocalTime& t, const char* label, int32_t count,
                  const std::string& description) {
    out += kRule;
    out += Format("%s  %d-%02d-%02d %02d:%02d:%02d.%03d ---- Bytes:%5d -----\r\n", label, t.year,
                  t.month, t.day, t.hour, t.minute, t.second, t.millisecond, count);
    out.append(description, 0, kMaxDescription);
    out += "\r\n";
    out += kRuler;
}

// " 4F": one byte of the hex columns.  Written directly rather than through
// the formatter: a full 5120-byte read has over 5000 of them.
void AppendHexByte(std::string& out, uint8_t b) {
    constexpr char kHexDigits[] = "0123456789ABCDEF";
    out += ' ';
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 0x0F];
}

void AppendDataLine(std::string& out, const uint8_t* bytes, int32_t count, int32_t first) {
    out += Format("%05d:", first + 1);
    char textColumn[kBytesPerLine];
    for (int col = 0; col < kBytesPerLine; ++col) {
        if (col == kBarBeforeColumn) out += " |";
        int32_t at = first + col;
        if (at < count) {
            uint8_t b = bytes[at];
            AppendHexByte(out, b);
            textColumn[col] = b < kFirstPrintable ? '.' : static_cast<char>(b);
        } else {
            out += "   ";
            textColumn[col] = ' ';
        }
    }
    out += "    ";
    out.append(textColumn, kBytesPerLine);
    out += "\r\n";
}

bool IsForbiddenInFileName(unsigned char c) {
    return c < kFirstPrintable || c == 0x7F || std::strchr("/\\<>:\"|?*", c) != nullptr;
}

}  // namespace

std::u16string MarkerFilePath(const std::u16string& directory) {
    return InDirectory(directory, kMarkerName);
}

std::u16string DefaultMonitorPath(const std::u16string& directory) {
    return InDirectory(directory, kDefaultName);
}

std::u16string DeviceMonitorPath(const std::u16string& directory, const char* deviceId) {
    std::u16string name = kDeviceNamePrefix;
    name += text::SystemToUtf16(SanitizeForFileName(deviceId));
    name += kDeviceNameSuffix;
    return InDirectory(directory, name);
}

std::string SanitizeForFileName(const std::string& name) {
    std::string out = name;
    for (size_t i = 0; i < out.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        bool dotRun = c == '.' && ((i > 0 && name[i - 1] == '.') ||
                                   (i + 1 < name.size() && name[i + 1] == '.'));
        if (IsForbiddenInFileName(c) || dotRun) out[i] = '_';
    }
    return out;
}

std::string DescribeSerialLine(const std::string& comName, uint32_t baudRate, int32_t parity,
                               uint32_t dataBits, int32_t stopBits, uint8_t handshaking,
                               uint8_t xonXoff) {
    std::string line = Format("COMPORT: %s;%d\\%s\\%d\\%s, Handshaking=%d, xONxOFF=%d",
                              comName.c_str(), static_cast<int32_t>(baudRate),
                              NameFrom(kParityNames, parity), static_cast<int32_t>(dataBits),
                              NameFrom(kStopBitsNames, stopBits), handshaking, xonXoff);
    return line.substr(0, kMaxDescription);
}

std::string FaultRecordText(const LinkError& error) {
    // In the order of Fault.
    static constexpr const char* kFaultNames[] = {
        "ERROR",        "ERROR_NO_DEVICE",       "ERROR_BUSY",
        "ERROR_DENIED", "ERROR_SETTING_REFUSED", "ERROR_IO"};
    return Format("%s %d", NameFrom(kFaultNames, static_cast<int32_t>(error.fault)),
                  error.systemError);
}

std::string DescribeEthernetLink(const std::string& host, uint32_t portNumber) {
    return Format("ETHERNET: %s:%d", host.c_str(), static_cast<int32_t>(portNumber))
        .substr(0, kMaxDescription);
}

std::string FormatMonitorRecord(const LocalTime& time, int direction, const uint8_t* bytes,
                                int32_t count, const std::string& description) {
    std::string out;
    if (bytes == nullptr || count <= 0) return out;
    if (direction < kDirectionSystem || direction > kDirectionIn) return out;
    AppendHeader(out, time, kDirectionLabels[direction], count, description);
    for (int32_t first = 0; first < count; first += kBytesPerLine) {
        AppendDataLine(out, bytes, count, first);
    }
    return out;
}

void SetMonitorClockForTesting(MonitorClock clock) {
    testClock.store(clock);
}

LocalTime MonitorTime() {
    MonitorClock clock = testClock.load();
    return clock != nullptr ? clock() : GetLocalTime();
}

}  // namespace transport

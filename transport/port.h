// CZavComLanPort: the one channel through which a scales object talks to its
// device, over a network socket (UDP or TCP) or a serial line.
//
// The port holds at most one link (link.h): UDP, TCP or serial.  It never
// reconnects by itself and Read never waits: it returns what has arrived (up
// to kReadRoom bytes).  A link's failure closes the port, is written to the
// monitor with who is at fault and the system's error number, and comes back
// as the result codes below.  Reply timing belongs to the caller,
// which may use WaitForInput to sleep until bytes arrive instead of sleeping a
// fixed step.  Every open, failed open, close, write and non-empty read is
// written to the port monitor when it is on (see monitor.h).  Every operation
// holds the port's recursive lock for its whole duration.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class MonitorFile;

namespace transport {
struct LinkError;                // link.h
struct LineSettings;             // link.h
constexpr int kFrameSize = 259;  // every request the scales take
constexpr int kReadRoom = 5120;  // room Read may fill
constexpr uint8_t kConnectionNone = 0;
constexpr uint8_t kConnectionSerial = 1;
constexpr uint8_t kConnectionEthernet = 2;
constexpr uint8_t kSocketDatagram = 1;  // any other kind is a stream socket
constexpr int kDirectionSystem = 0;
constexpr int kDirectionOut = 1;
constexpr int kDirectionIn = 2;
}  // namespace transport

class CZavComLanPort {
  public:
    CZavComLanPort();
    virtual ~CZavComLanPort();
    CZavComLanPort(const CZavComLanPort&) = delete;
    CZavComLanPort& operator=(const CZavComLanPort&) = delete;

    int32_t OpenCom(const char* deviceName);                                    // 0 or 1
    int32_t OpenLan(const char* host, int32_t portNumber, uint8_t socketKind);  // 0 or 1
    int32_t Disconnect();                                                       // always 0
    // Bytes placed (0..kReadRoom); never waits.  A network receive error, or
    // the end of a stream the peer closed, closes the port (after the bytes
    // that came before the end are returned).
    int32_t Read(uint8_t* buffer);
    int32_t Write(const uint8_t* frame);  // sends kFrameSize bytes; see the result table
    int32_t SetBaudRate(uint32_t speed);  // 0, -1 no serial link, -2 refused
    int32_t SetNoParity();
    int32_t SetEightDataBits();
    int32_t SetOneStopBit();
    bool IsConnected();
    void SetMonitorDevice(const char* deviceId);
    void WriteMonitorRecord(const uint8_t* bytes, int32_t count, int direction);

    // Waits until input is available on the open link or `timeoutUs`
    // microseconds pass.  True when a Read would now return bytes (or report
    // a link error or a stream's end).  False after the time limit, or at
    // once when nothing is open.
    bool WaitForInputUs(int64_t timeoutUs);
    bool WaitForInput(int timeoutMs);
    // Serial line: bytes written but not yet handed to the line by the
    // driver; -1 when it cannot tell or no serial line is open.
    int32_t OutputQueued();

    uint8_t ConnectionType();  // transport::kConnection*
    uint8_t SocketKind();      // transport::kSocketDatagram or a stream kind
    uint32_t BaudRate();
    std::u16string MonitorPath();
    bool MonitorEnabled();

  private:
    struct State;
    int32_t OpenConfigured();
    int32_t OpenSerial();
    int32_t OpenNetwork();
    int32_t ApplyLineSettings();
    void Failed(const transport::LinkError& error);
    void WriteFault(const transport::LinkError& error);
    transport::LineSettings LineSettings() const;
    std::string Description();

    std::unique_ptr<State> s_;
};

// COMPort: the serial (RS232) link.  Opens a serial device by the name given
// (handed to the system unchanged), for this port alone, with reads that
// return at once with whatever the driver has received; the line itself is
// set in one write of all its settings (ApplyLine), at open and again only
// when a setting changes it: 8 data bits, no parity, one stop bit, RTS
// raised and no flow control unless the settings say otherwise.
//
// Failures are LinkErrors (link.h): no such device (or not a serial one),
// busy, denied, a setting refused, I/O.  The system calls live in
// com_port_posix.cpp and com_port_win32.cpp.
#pragma once

#include <cstdint>
#include <memory>

#include "transport/link.h"

namespace transport {
// Line codes as the port stores them (the Windows device-control codes).
constexpr int32_t kParityNone = 0;
constexpr int32_t kParityOdd = 1;
constexpr int32_t kParityEven = 2;
constexpr int32_t kParityMark = 3;
constexpr int32_t kParitySpace = 4;
constexpr int32_t kOneStopBit = 0;
constexpr int32_t kOneAndHalfStopBits = 1;  // two stop bits where the OS has no 1.5
constexpr int32_t kTwoStopBits = 2;
}  // namespace transport

class COMPort final : public transport::Link {
  public:
    // The device opened and its line state read, or none with `error` set.
    // The line is not written yet: ApplyLine does that.
    static std::unique_ptr<COMPort> Open(const char* deviceName, transport::LinkError& error);
    // Releases the device.  A failed close cannot be reported from here; the
    // device is given up either way and the port ends closed.
    ~COMPort() override;
    COMPort(const COMPort&) = delete;
    COMPort& operator=(const COMPort&) = delete;

    int Read(uint8_t* buffer, transport::LinkError& error) override;
    int Write(const uint8_t* frame, transport::LinkError& error) override;
    bool WaitReadableUs(int64_t timeoutUs) override;
    bool TakesLineSettings() const override { return true; }
    // Writes the whole line state at once, unless it is the one written
    // last.  After a refusal the device keeps what it had.
    bool ApplyLine(const transport::LineSettings& line, transport::LinkError& error) override;
    int OutputQueued() override;

  private:
    struct Device;  // the system's handle, line state and wait
    explicit COMPort(std::unique_ptr<Device> device);

    std::unique_ptr<Device> device_;
};

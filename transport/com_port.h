// COMPort: the serial (RS232) half of the port.  Opens a serial device by the
// name given (handed to the system unchanged), exclusively, and puts the line
// into a known base state: 8 data bits, no parity, one stop bit, RTS raised,
// no flow control, and reads that return at once with whatever the driver has
// received.  The port then changes one line setting at a time.
//
// Every failure is raised as std::runtime_error carrying one of the texts
// below; the port catches them all, so none reaches the host.  The system
// calls live in com_port_posix.cpp and com_port_win32.cpp.
#pragma once

#include <cstdint>
#include <memory>

namespace transport {
constexpr char kComOpenFailed[] = "COMPort: failed to open.";
constexpr char kComStateUnreadable[] = "COMPort: could not retrieve serial port state.";
constexpr char kComTimeoutsUnreadable[] = "COMPort: failed to retrieve timeouts.";
constexpr char kComTimeoutsRefused[] = "COMPort: failed to modify timeouts.";
constexpr char kComStateRefused[] = "COMPort: could not modify serial port state.";
constexpr char kComReadFailed[] = "COMPort: read failed.";
constexpr char kComWriteFailed[] = "COMPort: write failed.";
constexpr char kComCloseFailed[] = "COMPort: failed to close.";

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

class COMPort {
  public:
    explicit COMPort(const char* deviceName);
    // Releases the device.  A failed close cannot be reported from here; the
    // device is given up either way and the port ends closed.
    ~COMPort();
    COMPort(const COMPort&) = delete;
    COMPort& operator=(const COMPort&) = delete;

    // Each setter writes the whole line state to the device at once and
    // raises kComStateRefused when the device refuses it.
    void SetBaudRate(uint32_t speed);
    void SetParity(uint8_t parity);
    void SetDataBits(uint8_t dataBits);
    void SetStopBits(uint8_t stopBits);
    void SetHandshaking(uint8_t on);  // RTS/CTS
    void SetXonXoff(uint8_t on);      // on output and input

    // Bytes already received, up to `room`; never waits.  Raises kComReadFailed.
    int Read(uint8_t* buffer, int room);
    // Writes `count` bytes; returns the count written.  Raises kComWriteFailed.
    int Write(const uint8_t* bytes, int count);
    // True when input (or a line error) is waiting, within `timeoutUs`
    // microseconds.
    bool WaitReadableUs(int64_t timeoutUs);
    // Bytes written but still in the driver's output queue, not yet handed to
    // the line; -1 when the driver cannot tell.
    int OutputQueued();

  private:
    struct LineState;  // the system's line-state record
    intptr_t handle;
    std::unique_ptr<LineState> dcb;
};

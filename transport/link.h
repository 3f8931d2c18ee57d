// One open connection to the scales, whatever carries it: a UDP or TCP
// socket (network_link.cpp over socket.h) or a serial line (com_port.h).
// The port (port.h) holds one Link while it is open and knows nothing of
// which kind it is beyond the connection type it was asked for.
//
// A failure says who is at fault and keeps the system's error number (errno,
// GetLastError or WSAGetLastError; a resolver's own code for a host name
// that does not resolve; 0 when the system gave none), which the port
// writes to the port monitor.  Only the port flattens it to the host's
// result codes.
#pragma once

#include <cstdint>
#include <memory>

namespace transport {

enum class Fault {
    kNone,
    kNoDevice,        // no such device or host, or not a serial device
    kBusy,            // held by another port or program
    kDenied,          // the system refuses this process access
    kSettingRefused,  // the device refuses a line setting
    kIo,              // a connect, read or write failed on an open link
};

struct LinkError {
    Fault fault = Fault::kNone;
    int systemError = 0;
};

// What a serial line is set to, in the port's codes (com_port.h).
struct LineSettings {
    uint32_t baudRate;
    int32_t parity;
    uint32_t dataBits;
    int32_t stopBits;
    uint8_t handshaking;  // RTS/CTS when non-zero
    uint8_t xonXoff;      // on output and input when non-zero
};

class Link {
  public:
    virtual ~Link() = default;

    // What has arrived, up to kReadRoom bytes; never waits.  -1 on a failure,
    // described in `error`.
    virtual int Read(uint8_t* buffer, LinkError& error) = 0;
    // One frame of kFrameSize bytes: the count written, or -1 on a failure.
    virtual int Write(const uint8_t* frame, LinkError& error) = 0;
    // True as soon as input (or a failure to report) is waiting; false once
    // `timeoutUs` microseconds have passed.  Waits at the device's pace, not
    // the system timer's (paced_wait.h).
    virtual bool WaitReadableUs(int64_t timeoutUs) = 0;
    // True once the peer has ended a stream; the bytes before the end were
    // still read.
    virtual bool Ended() const { return false; }
    // Serial lines only: whether the line takes settings, and setting it.  A
    // line is written only when a setting changes it.
    virtual bool TakesLineSettings() const { return false; }
    virtual bool ApplyLine(const LineSettings&, LinkError& error) {
        error = LinkError{Fault::kSettingRefused, 0};
        return false;
    }
    // Serial bytes written but not yet handed to the line; -1 when unknown.
    virtual int OutputQueued() { return -1; }
};

// A network link not yet connected: the socket is made, and Connect (at most
// 3 s, name look-up included) makes it a link to the scales.
class NetworkLink : public Link {
  public:
    virtual bool Connect(const char* host, uint16_t port, LinkError& error) = 0;
};

// `socketKind` 1 (kSocketDatagram) makes a UDP link, any other a TCP link.
std::unique_ptr<NetworkLink> NewNetworkLink(uint8_t socketKind);

}  // namespace transport

// The emulator's links: a UDP socket and a serial pseudo-terminal, each served
// by a background thread that hands every received frame to the emulator and
// sends the reply it plans at the times it asks for.  No OS types here.
//
// Times are steady-clock microseconds (std::chrono::steady_clock since its
// epoch), the clock the tests read too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace emu {

// One frame as the link received it.
struct ArrivedFrame {
    const uint8_t* bytes = nullptr;
    size_t count = 0;
    // UDP: when the datagram was read.  Serial: when its last byte was
    // complete on the modelled line.
    int64_t receivedUs = 0;
    // Serial only: how the driver had set its side of the line while the
    // frame's bytes came ("9600 8N1"), and whether that differs from the
    // scales' own setting, in which case the scales receive noise.
    std::string driverLine;
    bool lineMismatch = false;
};

// How to answer one frame.  UDP: chunk k is one datagram, sent delayMs after
// the frame arrived plus k gaps; gapUs 0 sends all chunks in one system call.
// Serial: the line sends the chunks' bytes one at a time, one character
// time apart, and gapUs adds idle time between them.
struct PlannedReply {
    std::vector<std::vector<uint8_t>> chunks;
    int delayMs = 0;
    int gapUs = 0;
    uint64_t record = 0;  // handed back with the send time of every chunk
};

using FrameHandler = std::function<PlannedReply(const ArrivedFrame& frame)>;
// Bytes of an incomplete serial frame, given up after a pause on the line.
using DropHandler = std::function<void(const ArrivedFrame& fragment)>;
// A chunk of the reply planned for `record` was handed to the system at
// startUs, and that send had returned by sentUs: it left in between.
using SentHandler = std::function<void(uint64_t record, int64_t startUs, int64_t sentUs)>;

class Server {
  public:
    virtual ~Server() = default;
    virtual void Stop() = 0;
    // Asks for (or gives up) real-time scheduling of the server's thread;
    // true when the thread now runs with it.
    virtual bool SetRealtime(bool on) = 0;
    // Nothing received is waiting to be read, no frame is still coming in
    // on the modelled line and every planned reply has gone out.
    virtual bool Idle() const = 0;
};

// True for a dotted IPv4 address in 127.0.0.0/8 or "localhost".
bool IsLoopbackAddress(const std::string& address);
// That address as a number, "127.0.0.1" (and "localhost") 0x7F000001;
// nullopt where IsLoopbackAddress is false.
std::optional<uint32_t> LoopbackAddress(const std::string& address);
// True for a speed a serial line can be set to (1200, 4800, 9600, ...).
bool IsLineSpeed(uint32_t baud);

// nullptr on failure, with the system's reason in *why when given;
// *boundPort receives the port actually bound.
std::unique_ptr<Server> StartUdpServer(const std::string& address, uint16_t port,
                                       FrameHandler handler, SentHandler sent, uint16_t* boundPort,
                                       std::string* why = nullptr);
// A line at `baud`, 8 data bits, no parity, one stop bit.  nullptr on
// failure; *devicePath receives the slave device's path.
std::unique_ptr<Server> StartSerialServer(uint32_t baud, FrameHandler handler, DropHandler dropped,
                                          SentHandler sent, std::string* devicePath);

}  // namespace emu

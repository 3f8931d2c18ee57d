// The emulator's links: a UDP socket and a serial pseudo-terminal, each served
// by a background thread that hands every received frame to the emulator and
// sends the reply it plans at the time it asks for.  No OS types here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace emu {

// How to answer one frame: chunk k goes out delayMs + k * gapMs after the
// frame arrived (each chunk one datagram on UDP, one write on serial).
struct PlannedReply {
    std::vector<std::vector<uint8_t>> chunks;
    int delayMs = 0;
    int gapMs = 0;
};

using FrameHandler = std::function<PlannedReply(const uint8_t* bytes, size_t count)>;
// Bytes of an incomplete serial frame given up after a pause.
using DropHandler = std::function<void(const uint8_t* bytes, size_t count)>;

class Server {
  public:
    virtual ~Server() = default;
    virtual void Stop() = 0;
};

// True for a dotted IPv4 address in 127.0.0.0/8 or "localhost".
bool IsLoopbackAddress(const std::string& address);

// nullptr on failure; *boundPort receives the port actually bound.
std::unique_ptr<Server> StartUdpServer(const std::string& address, uint16_t port,
                                       FrameHandler handler, uint16_t* boundPort);
// nullptr on failure; *devicePath receives the slave device's path.
std::unique_ptr<Server> StartSerialServer(FrameHandler handler, DropHandler dropped,
                                          std::string* devicePath);

}  // namespace emu

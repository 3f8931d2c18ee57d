// The driver's side of the emulator's UDP link for the server tests that run
// on every system: a socket bound to 127.0.0.1 that sends datagrams to the
// server and collects what comes back.  udp_probe_posix.cpp /
// udp_probe_win32.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace emu_test {

using Datagram = std::vector<uint8_t>;

class UdpProbe {
  public:
    explicit UdpProbe(uint16_t serverPort);
    ~UdpProbe();
    UdpProbe(const UdpProbe&) = delete;
    UdpProbe& operator=(const UdpProbe&) = delete;

    bool Ok() const;
    bool Send(const Datagram& datagram);
    // Every datagram that arrives within waitMs, in order.
    std::vector<Datagram> Receive(int waitMs);
    // The first datagram within waitMs ({} when none came).
    Datagram ReceiveOne(int waitMs);

  private:
    struct Socket;
    std::unique_ptr<Socket> socket_;
};

}  // namespace emu_test

// The part of the probe that is the same on every system.
#include <chrono>

#include "tests/emulator/udp_probe.h"

namespace emu_test {

std::vector<Datagram> UdpProbe::Receive(int waitMs) {
    std::vector<Datagram> all;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) break;
        Datagram datagram = ReceiveOne(static_cast<int>(left));
        if (datagram.empty()) break;
        all.push_back(std::move(datagram));
    }
    return all;
}

}  // namespace emu_test

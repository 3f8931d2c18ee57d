// One UDP exchange with the scales, for ping: the add-in's methods send the
// clock frame only together with a goods record and do not tell whether it
// was answered, so ping sends that frame itself.  Per-OS parts in
// datagram_posix.cpp / datagram_win32.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frames.h"

namespace host {

struct DatagramReply {
    std::vector<uint8_t> bytes;  // empty: nothing came back in time
    double seconds = 0;          // from the send to the reply
    bool refused = false;        // the system reported the port unreachable
};

// Sends `frame` to host:port and waits up to waitMs for one datagram back;
// false with the system's reason when it cannot be sent at all.
bool ExchangeDatagram(const std::string& host, int port, const std::vector<uint8_t>& frame,
                      int waitMs, DatagramReply& reply, std::string& error);

// This computer's local time, as the add-in sets the scales' clock to it.
emu::Clock LocalClock();

}  // namespace host

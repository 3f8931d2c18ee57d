// Waiting for the RLS1000's reply to one request.
//
// The scales answer each request with a short reply whose first byte is the
// verdict (0x02 positive, anything else negative).  The reader waits for the
// first bytes in steps of at most 20 ms using the port's readiness wait, so a
// prompt reply is taken at once; then it takes the rest of that same reply
// (the datagrams waiting behind it, or serial bytes until the line goes
// quiet), so that no tail of it is later mistaken for the reply to the next
// request.
#pragma once

#include <array>
#include <cstdint>

#include "transport/port.h"

namespace scales {

constexpr int kPollStepMs = 20;

struct Reply {
    bool arrived = false;
    uint8_t first = 0;  // the verdict byte, when arrived
};

using ReadBuffer = std::array<uint8_t, transport::kReadRoom>;

// Reads once and discards what had arrived: stale bytes from an earlier reply.
void DrainInput(CZavComLanPort& port, ReadBuffer& buffer);

// Waits up to `waitMs` for a reply and takes all of it.
Reply AwaitReplyBytes(CZavComLanPort& port, ReadBuffer& buffer, int waitMs);

// How long a serial line must be quiet before a reply counts as complete:
// 3.5 character times of 11 bits at `baudRate`, at least 1 ms.
int SerialQuietMs(uint32_t baudRate);

}  // namespace scales

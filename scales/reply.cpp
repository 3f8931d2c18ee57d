#include "scales/reply.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "transport/local_time.h"

namespace scales {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<int64_t>(0, left.count()));
}

// A wait on a port that is not open returns at once; the reply time is then
// still spent, as the scales might be reached again only by the next request.
void WaitStep(CZavComLanPort& port, int stepMs) {
    if (port.WaitForInput(stepMs)) return;
    if (!port.IsConnected()) transport::SleepMs(stepMs);
}

// Datagram links: every datagram of the reply that is already waiting.  The
// sender of a reply split into datagrams sends them back to back, but waking
// this thread on the first one can preempt it before the next; giving up the
// processor once lets it finish, without waiting any time for datagrams that
// are not coming.  Bounded so that a flooding peer cannot hold the exchange.
void TakeWaitingDatagrams(CZavComLanPort& port, ReadBuffer& buffer) {
    constexpr int kMaxExtraReads = 64;
    std::this_thread::yield();
    for (int reads = 0; reads < kMaxExtraReads; ++reads) {
        if (port.Read(buffer.data()) <= 0) return;
    }
}

// Serial links: bytes still coming belong to the same reply until the line
// has been quiet for a few character times, but never past the reply wait.
void TakeSerialTail(CZavComLanPort& port, ReadBuffer& buffer, Clock::time_point deadline) {
    const int quietMs = SerialQuietMs(port.BaudRate());
    for (int left = MsLeft(deadline); left > 0; left = MsLeft(deadline)) {
        if (!port.WaitForInput(std::min(quietMs, left))) return;
        if (port.Read(buffer.data()) <= 0 && !port.IsConnected()) return;
    }
}

}  // namespace

int SerialQuietMs(uint32_t baudRate) {
    constexpr uint64_t kBitsPerChar = 11;  // start, 8 data, parity slot, stop
    constexpr uint64_t kQuietTenthChars = 35;
    if (baudRate == 0) return kPollStepMs;
    const uint64_t tenthMsBits = kQuietTenthChars * kBitsPerChar * 1000 / 10;
    const uint64_t ms = (tenthMsBits + baudRate - 1) / baudRate;
    return static_cast<int>(std::max<uint64_t>(1, ms));
}

void DrainInput(CZavComLanPort& port, ReadBuffer& buffer) {
    port.Read(buffer.data());
}

Reply AwaitReplyBytes(CZavComLanPort& port, ReadBuffer& buffer, int waitMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    Reply reply;
    for (;;) {
        if (port.Read(buffer.data()) > 0) {
            reply.arrived = true;
            reply.first = buffer[0];
            break;
        }
        const int left = MsLeft(deadline);
        if (left <= 0) return reply;
        WaitStep(port, std::min(kPollStepMs, left));
    }
    if (port.ConnectionType() == transport::kConnectionSerial) {
        TakeSerialTail(port, buffer, deadline);
    } else {
        TakeWaitingDatagrams(port, buffer);
    }
    return reply;
}

}  // namespace scales

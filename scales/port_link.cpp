#include "scales/port_link.h"

#include "transport/local_time.h"

namespace scales {

LinkKind PortLink::Kind() {
    if (!port_.IsConnected()) return LinkKind::kClosed;
    if (port_.ConnectionType() == transport::kConnectionSerial) return LinkKind::kSerial;
    return port_.SocketKind() == transport::kSocketDatagram ? LinkKind::kDatagram
                                                            : LinkKind::kStream;
}

uint32_t PortLink::BaudRate() {
    return port_.BaudRate();
}

int PortLink::Read(uint8_t* buffer) {
    return port_.Read(buffer);
}

int PortLink::Write(const uint8_t* frame) {
    return port_.Write(frame);
}

// A port closed by a transport failure returns from its wait at once; the
// time is spent asleep instead, so that a wait loop never spins on it.
bool PortLink::WaitForInput(int64_t limitUs) {
    if (port_.WaitForInputUs(limitUs)) return true;
    if (!port_.IsConnected()) transport::SleepUs(limitUs);
    return false;
}

int PortLink::OutputQueued() {
    return port_.OutputQueued();
}

int64_t PortLink::NowUs() {
    return transport::MonotonicUs();
}

}  // namespace scales

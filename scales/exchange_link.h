// What the exchange engine needs of a link to the scales, and nothing more:
// read what has arrived, write a frame, wait for input with a microsecond
// limit, a clock, and what kind of link it is.  PortLink (port_link.h) serves
// it from the device's port; tests serve it from a simulated scales in
// simulated time.
#pragma once

#include <cstdint>

namespace scales {

enum class LinkKind {
    kClosed,    // nothing open: reads give nothing, waits only pass time
    kDatagram,  // UDP: a reply may come as several datagrams
    kStream,    // TCP
    kSerial,    // RS232 at BaudRate()
};

class ExchangeLink {
  public:
    virtual ~ExchangeLink() = default;

    virtual LinkKind Kind() = 0;
    virtual uint32_t BaudRate() = 0;
    // What has arrived, up to transport::kReadRoom bytes; never waits.
    virtual int Read(uint8_t* buffer) = 0;
    // One frame of kFrameSize bytes.
    virtual int Write(const uint8_t* frame) = 0;
    // True as soon as input is waiting; false once `limitUs` has passed.  On
    // a closed link the time passes all the same (nothing spins).
    virtual bool WaitForInput(int64_t limitUs) = 0;
    // Serial bytes written but not yet handed to the line; -1 when unknown.
    virtual int OutputQueued() = 0;
    virtual int64_t NowUs() = 0;
};

}  // namespace scales

// The exchange engine's link served by the device's port and the system's
// steady clock.
#pragma once

#include "scales/exchange_link.h"
#include "transport/port.h"

namespace scales {

class PortLink : public ExchangeLink {
  public:
    explicit PortLink(CZavComLanPort& port) : port_(port) {}

    LinkKind Kind() override;
    uint32_t BaudRate() override;
    int Read(uint8_t* buffer) override;
    int Write(const uint8_t* frame) override;
    bool WaitForInput(int64_t limitUs) override;
    int OutputQueued() override;
    int64_t NowUs() override;

  private:
    CZavComLanPort& port_;
};

}  // namespace scales

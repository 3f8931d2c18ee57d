// An upload through the exchange engine keeps the scales' pace on a system
// whose every timed wait ends only on a 15.625 ms tick, when the link waits
// through PacedWait; the same system's own timed waits (select() with a time
// limit) lose a tick per reply.  Simulated time: the scales answer each goods
// record a fixed time after it is written, in one datagram.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "scales/exchange.h"
#include "scales/frames.h"
#include "tests/transport/tick_system.h"
#include "transport/paced_wait.h"

namespace {

using transport_test::TickSystem;

constexpr int64_t kMs = 1000;
constexpr int kGoods = 100;

enum class Waits { kExact, kPaced, kOnTick };

class TickedLink : public scales::ExchangeLink {
  public:
    TickedLink(Waits waits, int64_t responseUs)
        : waits_(waits),
          responseUs_(responseUs),
          system_(TickSystem::kWindowsTickUs),
          paced_(TickSystem::kWindowsTickUs) {
        system_.now = 1000 * kMs + 4321;  // not on a tick
    }

    scales::LinkKind Kind() override { return scales::LinkKind::kDatagram; }
    uint32_t BaudRate() override { return 0; }
    int Read(uint8_t* buffer) override {
        if (replies_.empty() || replies_.front() > system_.now) return 0;
        replies_.pop_front();
        NextArrival();
        buffer[0] = 0x02;  // a positive reply
        return 1;
    }
    int Write(const uint8_t*) override {
        replies_.push_back(system_.now + responseUs_);
        NextArrival();
        return scales::kFrameSize;
    }
    bool WaitForInput(int64_t limitUs) override {
        if (waits_ == Waits::kPaced) return paced_.Wait(system_, limitUs);
        if (waits_ == Waits::kOnTick) return system_.WaitOnTick(limitUs);
        const int64_t until = system_.now + std::max<int64_t>(limitUs, 0);
        system_.now = std::min(until, std::max(system_.now, system_.arrivalUs));
        return system_.now >= system_.arrivalUs;
    }
    int OutputQueued() override { return -1; }
    int64_t NowUs() override { return system_.now; }

  private:
    void NextArrival() {
        system_.arrivalUs = replies_.empty() ? TickSystem::kNever : replies_.front();
    }

    Waits waits_;
    int64_t responseUs_;
    TickSystem system_;
    transport::PacedWait paced_;
    std::deque<int64_t> replies_;
};

// Goods a second over kGoods records, all of them answered positively.
double GoodsPerSecond(Waits waits, int64_t responseUs) {
    TickedLink link(waits, responseUs);
    scales::Exchange exchange(link);
    const int64_t start = link.NowUs();
    for (int n = 1; n <= kGoods; ++n) {
        scales::GoodsFields fields;
        fields.code = n;
        fields.plu = n;
        const scales::Reply reply =
            exchange.Transact(scales::BuildGoodsFrame("A", fields), scales::ExchangeRule::Goods());
        EXPECT_TRUE(reply.arrived && reply.first == 0x02) << "good " << n;
    }
    return kGoods * 1e6 / static_cast<double>(link.NowUs() - start);
}

TEST(PacedUpload, KeepsThePaceOfExactWaitsWhenTheSystemWaitsOnTicks) {
    constexpr double kKept = 0.95;  // of the pace with waits exact to the microsecond
    constexpr double kLost = 0.80;  // the system's own waits fall below this
    for (int64_t responseMs : {2, 5, 20}) {
        SCOPED_TRACE(testing::Message() << "scales answering after " << responseMs << " ms");
        const double exact = GoodsPerSecond(Waits::kExact, responseMs * kMs);
        EXPECT_GE(GoodsPerSecond(Waits::kPaced, responseMs * kMs), kKept * exact);
        EXPECT_LT(GoodsPerSecond(Waits::kOnTick, responseMs * kMs), kLost * exact);
    }
}

}  // namespace

// A simulated system whose timed waits end only on its timer's ticks, as
// Windows' do, for the paced-wait tests: time moves only when the wait
// sleeps or looks.  Input that arrives ends a sleep at once (an event wakes
// its waiter whatever the timer).
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

#include "transport/paced_wait.h"

namespace transport_test {

class TickSystem : public transport::WaitSystem {
  public:
    static constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
    static constexpr int64_t kWindowsTickUs = 15625;
    // What one look without waiting costs (a system call).
    static constexpr int64_t kLookUs = 1;

    explicit TickSystem(int64_t tickUs) : tickUs_(tickUs) {}

    int64_t now = 0;
    int64_t arrivalUs = kNever;  // when input arrives
    int sleeps = 0;

    int64_t NowUs() override { return now; }
    bool InputWaiting() override {
        now += kLookUs;
        return now >= arrivalUs;
    }
    bool SleepCoarse(int64_t us) override {
        ++sleeps;
        const int64_t end = (now + us + tickUs_ - 1) / tickUs_ * tickUs_;
        if (arrivalUs <= end) {
            now = std::max(now, arrivalUs);
            return true;
        }
        now = end;
        return false;
    }
    // The system's own timed wait for input, as select() gives it: input
    // ends it at once, the time limit only on a tick.
    bool WaitOnTick(int64_t limitUs) {
        if (InputWaiting()) return true;
        return SleepCoarse(std::max<int64_t>(limitUs, 1));
    }

  private:
    int64_t tickUs_;
};

}  // namespace transport_test

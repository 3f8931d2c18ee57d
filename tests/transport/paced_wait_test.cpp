// The paced wait in simulated time, on a system whose timed waits end only on
// a 15.625 ms tick: a wait ends when its time is up or input arrives, never a
// tick later.
#include <gtest/gtest.h>

#include "tests/transport/tick_system.h"
#include "transport/paced_wait.h"

namespace {

using transport::PacedWait;
using transport_test::TickSystem;

constexpr int64_t kTick = TickSystem::kWindowsTickUs;
constexpr int64_t kNever = TickSystem::kNever;
// Looks while spinning cost a microsecond each; a wait may end one look late.
constexpr int64_t kLookSlackUs = 2;

struct WaitCase {
    const char* what;
    int64_t startUs;  // where in the timer's period the wait starts
    int64_t limitUs;
    int64_t arrivalUs;  // from the start, or kNever
    bool input;
    int64_t endUs;  // from the start
    int sleeps;
};

TEST(PacedWait, EndsOnTimeOrAtInputWhateverTheTick) {
    const WaitCase cases[] = {
        {"100 us, nothing comes", 0, 100, kNever, false, 100, 0},
        {"100 us, just after a tick", 1, 100, kNever, false, 100, 0},
        {"a tick, nothing comes", 7000, kTick, kNever, false, kTick, 0},
        {"50 ms, nothing comes", 3000, 50000, kNever, false, 50000, 2},
        {"50 ms, input during the sleep", 3000, 50000, 20000, true, 20000, 1},
        {"50 ms, input in the last tick", 3000, 50000, 49990, true, 49990, 3},
        {"500 ms, input after 5 ms", 0, 500000, 5000, true, 5000, 1},
        {"no time at all", 0, 0, kNever, false, 0, 0},
        {"a negative limit", 0, -5, kNever, false, 0, 0},
        {"input already there", 0, 50000, 0, true, 0, 0},
    };
    for (const WaitCase& c : cases) {
        SCOPED_TRACE(c.what);
        TickSystem system(kTick);
        PacedWait paced(kTick);
        system.now = c.startUs;
        if (c.arrivalUs != kNever) system.arrivalUs = c.startUs + c.arrivalUs;
        EXPECT_EQ(paced.Wait(system, c.limitUs), c.input);
        EXPECT_GE(system.now - c.startUs, c.endUs);
        EXPECT_LE(system.now - c.startUs, c.endUs + kLookSlackUs);
        EXPECT_LE(system.sleeps, c.sleeps);
    }
}

// A system that claims a finer timer than it keeps costs a few late waits;
// the waits after them keep their time.
TEST(PacedWait, LearnsATickCoarserThanTheSystemClaims) {
    TickSystem system(kTick);
    PacedWait paced(1000);
    constexpr int64_t kLimit = 40000;
    constexpr int kLateWaitsAtMost = 4;  // 1 ms doubled past 15.625 ms
    for (int i = 0; i < kLateWaitsAtMost; ++i) paced.Wait(system, kLimit);
    EXPECT_EQ(paced.TickUs(), kTick);
    for (int64_t start : {system.now, system.now + 5000, system.now + 12345}) {
        system.now = start;
        EXPECT_FALSE(paced.Wait(system, kLimit));
        EXPECT_LE(system.now - start, kLimit + kLookSlackUs);
    }
}

}  // namespace

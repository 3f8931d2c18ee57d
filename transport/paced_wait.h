// Waiting for input at the device's pace where the system's timed waits end
// only on a timer tick.
//
// Windows ends a timed wait (Sleep, select, WaitForSingleObject) on its
// timer's next tick: 15.625 ms unless the process raises the timer's
// resolution, which a library must not do to its host.  A scales that
// answers in 2 ms, or a reply's tail awaited for 0.4 ms, would then cost a
// whole tick per wait.  So a wait is split in two: while more than a tick is
// left it sleeps on something that also wakes at once when input arrives (the
// socket's event, or a timer that is itself precise), up to about a tick
// before its end; the rest it spends looking again and again, without
// waiting, against a precise clock.  Input that arrives during either part
// ends the wait at once.
//
// The system is injected, so that the rule is tested in simulated time with
// waits that end on ticks of any length; the per-OS files give the real one.
#pragma once

#include <cstdint>

namespace transport {

class WaitSystem {
  public:
    virtual ~WaitSystem() = default;
    // A clock that never jumps, precise to the microsecond.
    virtual int64_t NowUs() = 0;
    // Whether input (or an error to report) is waiting; never waits.
    virtual bool InputWaiting() = 0;
    // Sleeps about `us` microseconds, or until input arrives, whichever comes
    // first; may end up to a tick late.  True when input ended it.
    virtual bool SleepCoarse(int64_t us) = 0;
};

class PacedWait {
  public:
    // The longest a timed wait of any system here ends late: Windows'
    // default timer tick.
    static constexpr int64_t kLongestTickUs = 15625;

    // `tickUs`: how late the system's timed waits may end, as far as it
    // tells.  Each sleep seen ending later doubles it, up to kLongestTickUs.
    explicit PacedWait(int64_t tickUs);

    // True as soon as input is waiting; false once `limitUs` have passed (a
    // negative limit counts as none).  Looks at least once.
    bool Wait(WaitSystem& system, int64_t limitUs);

    int64_t TickUs() const { return tickUs_; }

  private:
    void LearnFromSleep(int64_t askedUs, int64_t sleptUs);

    int64_t tickUs_;
};

}  // namespace transport

#include "transport/paced_wait.h"

#include <algorithm>

namespace transport {

namespace {
// The least margin kept before a wait's end, for a system that claims a
// finer timer than it can keep.
constexpr int64_t kLeastTickUs = 100;
}  // namespace

PacedWait::PacedWait(int64_t tickUs) : tickUs_(std::clamp(tickUs, kLeastTickUs, kLongestTickUs)) {}

bool PacedWait::Wait(WaitSystem& system, int64_t limitUs) {
    const int64_t deadline = system.NowUs() + std::max<int64_t>(limitUs, 0);
    for (;;) {
        if (system.InputWaiting()) return true;
        const int64_t now = system.NowUs();
        const int64_t left = deadline - now;
        if (left <= 0) return false;
        // Within a tick of the end only looking again keeps the end exact.
        const int64_t sleepUs = left - tickUs_;
        if (sleepUs <= 0) continue;
        if (system.SleepCoarse(sleepUs)) return true;
        LearnFromSleep(sleepUs, system.NowUs() - now);
    }
}

// A sleep that overran its time by more than the tick known so far shows a
// timer coarser than the system claimed, or a busy machine.  One sleep
// cannot tell which, nor by how much (it ends anywhere in the tick), so the
// margin doubles, up to the coarsest tick: a real coarse timer is learnt in
// a few waits, and a single late wake-up costs little spinning.
void PacedWait::LearnFromSleep(int64_t askedUs, int64_t sleptUs) {
    if (sleptUs - askedUs > tickUs_) tickUs_ = std::min(2 * tickUs_, kLongestTickUs);
}

}  // namespace transport

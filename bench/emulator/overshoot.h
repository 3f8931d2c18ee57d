// How the emulator's benchmarks print how far past its planned time an event
// came (the emulator is never early): median, 99th percentile and maximum.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace bench {

inline void ReportOvershoot(const char* what, std::vector<int64_t> overshootUs) {
    if (overshootUs.empty()) {
        std::printf("%-34s no samples\n", what);
        return;
    }
    std::sort(overshootUs.begin(), overshootUs.end());
    const auto at = [&](double q) {
        return overshootUs[static_cast<size_t>(q * static_cast<double>(overshootUs.size() - 1))];
    };
    std::printf("%-34s n=%-4zu median %5lld us  p99 %6lld us  max %6lld us\n", what,
                overshootUs.size(), static_cast<long long>(at(0.5)),
                static_cast<long long>(at(0.99)), static_cast<long long>(overshootUs.back()));
}

}  // namespace bench

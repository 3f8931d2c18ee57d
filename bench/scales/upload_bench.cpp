// Programs goods through CScalesRongta1000 into the scales emulator on
// 127.0.0.1, as UploadGoods does (clock + goods record per good), and prints
// the rate.  Usage: bench_scales_upload [goods] [runs]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "scales/scales_object.h"
#include "tools/scales-emulator/emulator.h"

namespace {

constexpr int kDefaultGoods = 1000;
constexpr int kDefaultRuns = 3;
constexpr double kTargetGoodsPerSecond = 2000.0;

// Returns goods per second, or a negative number when a good failed.
double UploadRun(CScalesRongta1000& scales, int goods) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 1; i <= goods; ++i) {
        const std::u16string name =
            u"Товар " + std::u16string(1, static_cast<char16_t>(u'А' + i % 32));
        const int32_t result = scales.SendGood(name, i, 100000 + i, 1000 + i, 10);
        if (result != 0) {
            std::printf("good %d failed with code %d\n", i, result);
            return -1;
        }
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return goods / took.count();
}

}  // namespace

int main(int argc, char** argv) {
    const int goods = argc > 1 ? std::atoi(argv[1]) : kDefaultGoods;
    const int runs = argc > 2 ? std::atoi(argv[2]) : kDefaultRuns;
    emu::ScalesEmulator emulator;
    if (!emulator.StartUdp("127.0.0.1", 0)) {
        std::printf("emulator did not start\n");
        return 1;
    }
    CScalesRongta1000 scales;
    scales.SetKeepOpen(1);
    if (scales.ConnectByEthernet("127.0.0.1", emulator.UdpPort(), 0) != 0) {
        std::printf("connect failed\n");
        return 1;
    }
    double best = 0;
    for (int run = 1; run <= runs; ++run) {
        const double rate = UploadRun(scales, goods);
        if (rate < 0) return 1;
        std::printf("run %d: %d goods, %.0f goods/s\n", run, goods, rate);
        if (rate > best) best = rate;
    }
    const size_t stored = emulator.Snapshot().goods.size();
    std::printf("best: %.0f goods/s (target %.0f), %zu goods in the scales\n", best,
                kTargetGoodsPerSecond, stored);
    return 0;
}

// The driver's pace against a scales emulator already listening on
// 127.0.0.1, the same program on Linux and on Windows (under Wine), so that
// both builds meet the same emulator in one run (run.sh):
//   raw   a plain blocking UDP socket sends the upload's frames (a clock and
//         a goods record in turn) and takes each reply: the device's pace
//         with no driver in between, and the floor of the system's own
//         sockets (raw_trip.h);
//   limit one good is two such round trips;
//   upload the goods through the scales object as UploadGoods sends them.
// Usage: bench_upload_pace PORT [GOODS] [LABEL]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/pace/raw_trip.h"
#include "scales/frames.h"
#include "scales/rongta1000.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultGoods = 100;
// Round trips and goods before anything is timed: Wine's first calls of a
// kind are much slower than the rest.
constexpr int kWarmUpGoods = 10;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Mean seconds a round trip with the upload's own frames, a clock and a
// goods record in turn; negative when a reply did not come.
double RawRoundTrip(uint16_t port, int goods) {
    scales::GoodsFields fields;
    fields.code = fields.plu = 1;
    const scales::Frame clock = scales::BuildClockFrame({2024, 3, 5, 9, 7, 45});
    const scales::Frame record = scales::BuildGoodsFrame("Goods", fields);
    return pace::RawRoundTrip(port, {{clock.begin(), clock.end()}, {record.begin(), record.end()}},
                              2 * goods);
}

// Goods a second, or a negative number when a good failed.
double Upload(uint16_t port, int goods) {
    CScalesRongta1000 scales;
    scales.SetKeepOpen(1);
    if (scales.ConnectByEthernet("127.0.0.1", port, 0) != 0) return -1;
    const auto start = Clock::now();
    for (int i = 1; i <= goods; ++i) {
        const std::u16string name =
            u"Товар " + std::u16string(1, static_cast<char16_t>(u'А' + i % 32));
        const int32_t result = scales.SendGood(name, i, 100000 + i, 1000 + i, 10);
        if (result != 0) {
            std::printf("  good %d failed with code %d\n", i, result);
            return -1;
        }
    }
    return goods / SecondsSince(start);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_upload_pace PORT [GOODS] [LABEL]\n");
        return 2;
    }
    const uint16_t port = static_cast<uint16_t>(std::atoi(argv[1]));
    const int goods = argc > 2 ? std::atoi(argv[2]) : kDefaultGoods;
    const std::string label = argc > 3 ? argv[3] : "upload";
    if (port == 0 || goods <= 0) return 2;
    RawRoundTrip(port, kWarmUpGoods);
    Upload(port, kWarmUpGoods);
    const double trip = RawRoundTrip(port, goods);
    const double rate = Upload(port, goods);
    if (trip <= 0 || rate <= 0) {
        std::printf("%s: failed\n", label.c_str());
        return 1;
    }
    const double limit = 1.0 / (2 * trip);
    std::printf(
        "%-28s raw round trip %7.3f ms, limit %7.1f goods/s; %d goods at %7.1f goods/s = %.2f of "
        "the limit\n",
        (label + ":").c_str(), trip * 1000, limit, goods, rate, rate / limit);
    return 0;
}

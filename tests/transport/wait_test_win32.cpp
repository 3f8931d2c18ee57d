// Windows waits on the real system (run under Wine): a short wait ends near
// its time, not on a timer tick, and input ends a long wait at once.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "tests/transport/test_support.h"
#include "transport/port.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t UsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
}

// A UDP socket on loopback that the port talks to.
class Peer {
  public:
    Peer() : s_(socket(AF_INET, SOCK_DGRAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(s_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        int len = sizeof a;
        getsockname(s_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~Peer() { closesocket(s_); }
    int Port() const { return port_; }
    // Takes the port's frame and answers it with one byte.
    void Answer() {
        char buffer[transport::kReadRoom];
        sockaddr_in from{};
        int len = sizeof from;
        recvfrom(s_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
        const char reply = 0x02;
        sendto(s_, &reply, 1, 0, reinterpret_cast<sockaddr*>(&from), len);
    }

  private:
    SOCKET s_;
    int port_;
};

TEST(WindowsWait, AShortWaitEndsNearItsTimeNotOnATick) {
    transport_test::LibraryDir dir(false);
    Peer peer;
    CZavComLanPort port;
    ASSERT_EQ(port.OpenLan("127.0.0.1", peer.Port(), transport::kSocketDatagram), 0);
    constexpr int kRuns = 200;
    constexpr int64_t kWaitUs = 100;
    constexpr int64_t kWellUnderAMsUs = 500;
    std::vector<int64_t> took;
    for (int i = 0; i < kRuns; ++i) {
        const Clock::time_point start = Clock::now();
        EXPECT_FALSE(port.WaitForInputUs(kWaitUs));
        took.push_back(UsSince(start));
    }
    std::sort(took.begin(), took.end());
    EXPECT_GE(took.front(), kWaitUs);
    EXPECT_LT(took[kRuns / 2], kWellUnderAMsUs) << "median of " << kRuns << " waits";
    std::printf("100 us wait: min %lld us, median %lld us, p90 %lld us\n",
                static_cast<long long>(took.front()), static_cast<long long>(took[kRuns / 2]),
                static_cast<long long>(took[kRuns * 9 / 10]));
}

TEST(WindowsWait, AReplyEndsALongWaitAtOnce) {
    transport_test::LibraryDir dir(false);
    Peer peer;
    CZavComLanPort port;
    ASSERT_EQ(port.OpenLan("127.0.0.1", peer.Port(), transport::kSocketDatagram), 0);
    std::vector<uint8_t> frame(transport::kFrameSize, 0x0B);
    ASSERT_EQ(port.Write(frame.data()), transport::kFrameSize);
    constexpr auto kAnswerAfter = std::chrono::milliseconds(50);
    std::thread answer([&] {
        std::this_thread::sleep_for(kAnswerAfter);
        peer.Answer();
    });
    const Clock::time_point start = Clock::now();
    const bool came = port.WaitForInput(5000);
    const int64_t tookUs = UsSince(start);
    answer.join();
    EXPECT_TRUE(came);
    EXPECT_LT(tookUs, 1000000) << "a reply after 50 ms must not wait out the 5 s";
    std::vector<uint8_t> buffer(transport::kReadRoom);
    EXPECT_EQ(port.Read(buffer.data()), 1);
}

}  // namespace

// Host-name look-up against a resolver that never answers.  The test runs in
// a child process with a network and mount namespace of its own: its
// loopback is the only interface, its resolv.conf names 127.0.0.1, where a
// UDP socket takes the queries and never answers, and its hosts file knows
// one name.  Nothing leaves the machine and the host's files stay untouched.
#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "tests/transport/test_support.h"
#include "transport/poll_posix.h"
#include "transport/port.h"

namespace {

// What the child reports through its exit code.
enum ChildResult {
    kAsExpected = 0,
    kOpenSucceeded = 1,
    kTooQuick = 2,
    kTooSlow = 3,
    kResolverNotAsked = 4,
    kNumericAddressLookedUp = 5,
    kKnownNameNotReached = 6,
    kNoPrivateNetwork = 77,
};

// The connect limit is 3 s; the resolver's own time-outs (5 s a try, two
// tries here) would make it 10 s.  Wide margins: the machine is shared.
constexpr long long kLeastMs = 2500;
constexpr long long kMostMs = 6500;

bool BindOver(const std::string& file, const char* target) {
    return mount(file.c_str(), target, nullptr, MS_BIND, nullptr) == 0;
}

bool LoopbackUp() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0 &&
                    (request.ifr_flags |= IFF_UP, ioctl(fd, SIOCSIFFLAGS, &request) == 0);
    close(fd);
    return up;
}

// A UDP socket on a loopback address; non-blocking.
int UdpOn(const char* ip, uint16_t port) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, ip, &address.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
    return fd;
}

// The name the hosts file knows reaches the address it gives.
bool KnownNameReached() {
    constexpr uint16_t kScalesPort = 5001;
    const int scales = UdpOn("127.0.0.7", kScalesPort);
    CZavComLanPort port;
    if (scales < 0 || port.OpenLan("scales.known", kScalesPort, transport::kSocketDatagram) != 0) {
        return false;
    }
    const uint8_t frame[transport::kFrameSize] = {0x0E, 0x04};
    uint8_t got[transport::kFrameSize + 1];
    return port.Write(frame) == transport::kFrameSize && transport::PollFor(scales, POLLIN, 1000) &&
           recv(scales, got, sizeof got, 0) == transport::kFrameSize;
}

int QueriesTaken(int server) {
    int count = 0;
    char datagram[512];
    while (recv(server, datagram, sizeof datagram, 0) >= 0) ++count;
    return count;
}

ChildResult LookUpInPrivateNetwork(const std::string& dir) {
    if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) return kNoPrivateNetwork;
    // Mounts made from here on stay in this namespace.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        !BindOver(dir + "/resolv.conf", "/etc/resolv.conf") ||
        !BindOver(dir + "/nsswitch.conf", "/etc/nsswitch.conf") ||
        !BindOver(dir + "/hosts", "/etc/hosts") || !LoopbackUp()) {
        return kNoPrivateNetwork;
    }
    // A name server that takes queries and never answers.
    const int server = UdpOn("127.0.0.1", 53);
    if (server < 0) return kNoPrivateNetwork;

    CZavComLanPort port;
    const auto start = std::chrono::steady_clock::now();
    const int32_t opened = port.OpenLan("scales.example", 5001, transport::kSocketDatagram);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count();
    if (opened != 1) return kOpenSucceeded;
    if (QueriesTaken(server) == 0) return kResolverNotAsked;
    if (took < kLeastMs) return kTooQuick;
    if (took > kMostMs) return kTooSlow;
    if (port.OpenLan("127.0.0.1", 5001, transport::kSocketDatagram) != 0) return kOpenSucceeded;
    if (QueriesTaken(server) != 0) return kNumericAddressLookedUp;
    if (!KnownNameReached()) return kKnownNameNotReached;
    return kAsExpected;
}

TEST(NameLookup, AResolverThatNeverAnswersCostsTheConnectLimit) {
    transport_test::LibraryDir dir(false);
    std::ofstream(dir.File("resolv.conf"))
        << "nameserver 127.0.0.1\noptions timeout:5 attempts:2\n";
    std::ofstream(dir.File("nsswitch.conf")) << "hosts: files dns\n";
    std::ofstream(dir.File("hosts")) << "127.0.0.7 scales.known\n";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(LookUpInPrivateNetwork(dir.Path().string()));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    const int result = WEXITSTATUS(status);
    if (result == kNoPrivateNetwork) GTEST_SKIP() << "no private network namespace here";
    EXPECT_EQ(result, kAsExpected) << "see ChildResult";
}

}  // namespace

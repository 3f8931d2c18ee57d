// The port over UDP and TCP against peers on 127.0.0.1, bound to ephemeral
// ports so that parallel runs never meet.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "tests/transport/test_support.h"
#include "transport/port.h"

namespace {

using transport_test::Counting;
using transport_test::CountingFrame;

constexpr char kLoopback[] = "127.0.0.1";

// A socket bound to 127.0.0.1 on a port the system picks.
class Peer {
  public:
    explicit Peer(int type) : fd_(socket(AF_INET, type, 0)) {
        sockaddr_in a = Loopback(0);
        EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        if (type == SOCK_STREAM) listen(fd_, 1);
    }
    ~Peer() { Close(); }
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    int fd() const { return fd_; }
    int port() const { return port_; }

    static sockaddr_in Loopback(int port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, kLoopback, &a.sin_addr);
        return a;
    }

  private:
    int fd_;
    int port_ = 0;
};

// A port number nothing listens on: bound once, then given back.
int FreePort(int type) {
    Peer p(type);
    return p.port();
}

// Receives one datagram and remembers who sent it, so replies can go back.
std::vector<uint8_t> ReceiveFrom(int fd, sockaddr_in* sender) {
    std::vector<uint8_t> buf(8192);
    socklen_t len = sizeof *sender;
    ssize_t n = recvfrom(fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(sender), &len);
    buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buf;
}

void SendTo(int fd, const sockaddr_in& to, const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to),
              static_cast<ssize_t>(bytes.size()));
}

std::vector<uint8_t> ReadPort(CZavComLanPort& port) {
    std::vector<uint8_t> buf(transport::kReadRoom);
    int32_t n = port.Read(buf.data());
    buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buf;
}

// Opens a UDP port to `peer`, writes a frame and learns the port's address.
sockaddr_in OpenUdpAndGreet(CZavComLanPort& port, const Peer& peer) {
    EXPECT_EQ(port.OpenLan(kLoopback, peer.port(), transport::kSocketDatagram), 0);
    std::vector<uint8_t> frame = CountingFrame();
    EXPECT_EQ(port.Write(frame.data()), transport::kFrameSize);
    sockaddr_in client{};
    EXPECT_EQ(ReceiveFrom(peer.fd(), &client).size(), frame.size());
    return client;
}

TEST(UdpPort, OpensWritesWholeFrameAndReadsWaitingDatagramsTogether) {
    Peer scales(SOCK_DGRAM);
    CZavComLanPort port;
    ASSERT_EQ(port.OpenLan(kLoopback, scales.port(), transport::kSocketDatagram), 0);
    EXPECT_TRUE(port.IsConnected());
    EXPECT_EQ(port.ConnectionType(), transport::kConnectionEthernet);

    std::vector<uint8_t> frame = CountingFrame();
    ASSERT_EQ(port.Write(frame.data()), transport::kFrameSize);
    sockaddr_in client{};
    std::vector<uint8_t> got = ReceiveFrom(scales.fd(), &client);
    EXPECT_EQ(got, frame);

    EXPECT_FALSE(port.WaitForInput(0));
    EXPECT_TRUE(ReadPort(port).empty());
    SendTo(scales.fd(), client, Counting(0x00, 20));
    SendTo(scales.fd(), client, Counting(0x40, 20));
    ASSERT_TRUE(port.WaitForInput(1000));
    std::vector<uint8_t> expected = Counting(0x00, 20);
    std::vector<uint8_t> second = Counting(0x40, 20);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(ReadPort(port), expected);
    EXPECT_TRUE(port.IsConnected());
}

TEST(UdpPort, ReadStopsAtRoomAndKeepsDatagramsWhole) {
    Peer scales(SOCK_DGRAM);
    CZavComLanPort port;
    sockaddr_in client = OpenUdpAndGreet(port, scales);
    for (uint8_t first : {0x10, 0x20, 0x30}) SendTo(scales.fd(), client, Counting(first, 2000));
    ASSERT_TRUE(port.WaitForInput(1000));
    // Two fit the 5120 bytes of room; the third waits whole for the next Read.
    std::vector<uint8_t> first = ReadPort(port);
    ASSERT_EQ(first.size(), 4000u);
    EXPECT_EQ(first[2000], 0x20);
    std::vector<uint8_t> rest = ReadPort(port);
    EXPECT_EQ(rest, Counting(0x30, 2000));
}

TEST(UdpPort, ReceiveErrorClosesThePort) {
    int deadPort = FreePort(SOCK_DGRAM);
    CZavComLanPort port;
    ASSERT_EQ(port.OpenLan(kLoopback, deadPort, transport::kSocketDatagram), 0);
    std::vector<uint8_t> frame = CountingFrame();
    ASSERT_EQ(port.Write(frame.data()), transport::kFrameSize);
    // Nobody listens: the refusal comes back as a pending socket error.
    ASSERT_TRUE(port.WaitForInput(1000));
    EXPECT_EQ(port.Read(std::vector<uint8_t>(transport::kReadRoom).data()), 0);
    EXPECT_FALSE(port.IsConnected());
    EXPECT_EQ(port.Write(frame.data()), -1);
}

TEST(UdpPort, PortNumberUsesItsLow16Bits) {
    Peer scales(SOCK_DGRAM);
    CZavComLanPort port;
    // As 70000 reaches port 4464, so does this number reach the peer.
    ASSERT_EQ(port.OpenLan(kLoopback, scales.port() + 0x10000, transport::kSocketDatagram), 0);
    std::vector<uint8_t> frame = CountingFrame();
    ASSERT_EQ(port.Write(frame.data()), transport::kFrameSize);
    sockaddr_in client{};
    EXPECT_EQ(ReceiveFrom(scales.fd(), &client).size(), frame.size());
}

TEST(TcpPort, ExchangesBytesAndClosesWhenThePeerCloses) {
    transport_test::LibraryDir dir(true);
    Peer listener(SOCK_STREAM);
    CZavComLanPort port;
    ASSERT_EQ(port.OpenLan(kLoopback, listener.port(), 0), 0);
    int peer = accept(listener.fd(), nullptr, nullptr);
    ASSERT_GE(peer, 0);

    std::vector<uint8_t> frame = CountingFrame();
    ASSERT_EQ(port.Write(frame.data()), transport::kFrameSize);
    std::vector<uint8_t> got(transport::kFrameSize);
    ASSERT_EQ(recv(peer, got.data(), got.size(), MSG_WAITALL), transport::kFrameSize);
    EXPECT_EQ(got, frame);

    // The bytes sent before the close still come (on loopback they and the
    // stream's end are queued by the time close returns); the end closes the
    // port, which otherwise would stay readable for ever.
    std::vector<uint8_t> reply = Counting(0x02, 5);
    ASSERT_EQ(send(peer, reply.data(), reply.size(), 0), 5);
    close(peer);
    ASSERT_TRUE(port.WaitForInput(1000));
    EXPECT_EQ(ReadPort(port), reply);
    EXPECT_FALSE(port.IsConnected());
    EXPECT_FALSE(port.WaitForInput(0));
    const std::string log = transport_test::ReadFile(dir.File("portmon-korvan-scalesprn-ron.log"));
    const size_t in = log.find("IN <<<<<");
    const size_t closed = log.find("CLOSE               \r\n");
    ASSERT_NE(in, std::string::npos);
    EXPECT_LT(in, closed);
    EXPECT_NE(closed, std::string::npos);
}

TEST(TcpPort, ResetByThePeerClosesThePort) {
    Peer listener(SOCK_STREAM);
    CZavComLanPort port;
    ASSERT_EQ(port.OpenLan(kLoopback, listener.port(), 0), 0);
    int peer = accept(listener.fd(), nullptr, nullptr);
    ASSERT_GE(peer, 0);
    // A zero linger time makes close send a reset instead of an orderly end.
    linger abort{1, 0};
    ASSERT_EQ(setsockopt(peer, SOL_SOCKET, SO_LINGER, &abort, sizeof abort), 0);
    close(peer);
    ASSERT_TRUE(port.WaitForInput(1000));
    EXPECT_TRUE(ReadPort(port).empty());
    EXPECT_FALSE(port.IsConnected());
}

TEST(UdpPort, EmptyDatagramIsNotAClose) {
    Peer scales(SOCK_DGRAM);
    CZavComLanPort port;
    sockaddr_in client = OpenUdpAndGreet(port, scales);
    SendTo(scales.fd(), client, {});
    ASSERT_TRUE(port.WaitForInput(1000));
    EXPECT_TRUE(ReadPort(port).empty());
    EXPECT_TRUE(port.IsConnected());
    SendTo(scales.fd(), client, Counting(0x02, 3));
    ASSERT_TRUE(port.WaitForInput(1000));
    EXPECT_EQ(ReadPort(port), Counting(0x02, 3));
}

TEST(TcpPort, WriteToVanishedPeerNeverKillsTheProcess) {
    Peer listener(SOCK_STREAM);
    CZavComLanPort port;
    ASSERT_EQ(port.OpenLan(kLoopback, listener.port(), 0), 0);
    int peer = accept(listener.fd(), nullptr, nullptr);
    ASSERT_GE(peer, 0);
    // The peer's side is gone: the first write draws a reset, the next ones
    // meet a broken pipe, which must not raise SIGPIPE in the host.
    close(peer);
    std::vector<uint8_t> frame = CountingFrame();
    int32_t result = transport::kFrameSize;
    for (int i = 0; i < 5 && result != 0; ++i) {
        result = port.Write(frame.data());
        port.WaitForInput(100);
    }
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(port.IsConnected());
}

TEST(TcpPort, RefusedConnectFailsTheOpen) {
    int deadPort = FreePort(SOCK_STREAM);
    CZavComLanPort port;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.OpenLan(kLoopback, deadPort, 0), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_FALSE(port.IsConnected());
}

}  // namespace

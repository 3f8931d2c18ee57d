// The port's own rules, whatever the link: results with nothing open, stored
// settings, and failed opens.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "tests/transport/test_support.h"
#include "transport/port.h"

namespace {

TEST(Port, NothingOpenReadsNothingAndRefusesWrites) {
    transport_test::LibraryDir dir(false);
    CZavComLanPort port;
    std::vector<uint8_t> buf(transport::kReadRoom);
    EXPECT_FALSE(port.IsConnected());
    EXPECT_EQ(port.ConnectionType(), transport::kConnectionNone);
    EXPECT_EQ(port.BaudRate(), 4800u);
    EXPECT_EQ(port.Read(buf.data()), 0);
    EXPECT_EQ(port.Write(buf.data()), -1);
    EXPECT_EQ(port.Disconnect(), 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port.WaitForInput(500));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
}

TEST(Port, LineSettingsWithoutSerialLinkAreStoredUntilTheNextSerialOpen) {
    transport_test::LibraryDir dir(false);
    CZavComLanPort port;
    EXPECT_EQ(port.SetBaudRate(9600), -1);
    EXPECT_EQ(port.SetNoParity(), -1);
    EXPECT_EQ(port.SetEightDataBits(), -1);
    EXPECT_EQ(port.SetOneStopBit(), -1);
    EXPECT_EQ(port.BaudRate(), 9600u);
    // A network open keeps the serial settings; a serial open resets them.
    ASSERT_EQ(port.OpenLan("127.0.0.1", 9, transport::kSocketDatagram), 0);
    EXPECT_EQ(port.SetBaudRate(19200), -1);
    EXPECT_TRUE(port.IsConnected());
    EXPECT_EQ(port.BaudRate(), 19200u);
    EXPECT_EQ(port.OpenCom(nullptr), 1);
    EXPECT_EQ(port.BaudRate(), 4800u);
    EXPECT_EQ(port.ConnectionType(), transport::kConnectionSerial);
    EXPECT_FALSE(port.IsConnected());
}

TEST(Port, UnresolvableHostFailsTheOpen) {
    transport_test::LibraryDir dir(false);
    CZavComLanPort port;
    // The space makes the name invalid for DNS, so no name server is asked.
    EXPECT_EQ(port.OpenLan("no such scales.invalid", 5001, transport::kSocketDatagram), 1);
    EXPECT_EQ(port.OpenLan(nullptr, 5001, transport::kSocketDatagram), 1);
    EXPECT_FALSE(port.IsConnected());
    EXPECT_EQ(port.ConnectionType(), transport::kConnectionEthernet);
}

TEST(Port, WaitForInputKeepsItsTimeLimitOnAQuietLink) {
    transport_test::LibraryDir dir(false);
    CZavComLanPort port;
    ASSERT_EQ(port.OpenLan("127.0.0.1", 9, transport::kSocketDatagram), 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port.WaitForInput(200));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LE(waited, std::chrono::milliseconds(1500));
}

TEST(Port, OpeningAgainClosesTheFirstLink) {
    transport_test::LibraryDir dir(true);
    CZavComLanPort port;
    ASSERT_EQ(port.OpenLan("127.0.0.1", 9, transport::kSocketDatagram), 0);
    ASSERT_EQ(port.OpenLan("127.0.0.2", 9, transport::kSocketDatagram), 0);
    EXPECT_TRUE(port.IsConnected());
    std::string log = transport_test::ReadFile(dir.File("portmon-korvan-scalesprn-ron.log"));
    size_t open1 = log.find("OPEN                \r\n");
    size_t close1 = log.find("CLOSE               \r\n");
    size_t open2 = log.find("OPEN                \r\n", open1 + 1);
    EXPECT_LT(open1, close1);
    EXPECT_LT(close1, open2);
    EXPECT_NE(log.find("ETHERNET: 127.0.0.2:9"), std::string::npos);
    EXPECT_NE(open2, std::string::npos);
}

}  // namespace

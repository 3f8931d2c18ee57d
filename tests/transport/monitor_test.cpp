// The port monitor as a port drives it: the marker-file switch, the files it
// writes into the library's directory, and the records of opens and closes.
// Datagrams go only to 127.0.0.1, to the discard port, where nothing answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/transport/test_support.h"
#include "transport/module_dir.h"
#include "transport/port.h"

namespace {

namespace fs = std::filesystem;
using transport_test::FilesIn;
using transport_test::kRule;
using transport_test::kRuler;
using transport_test::LibraryDir;
using transport_test::ReadFile;

constexpr char kLoopback[] = "127.0.0.1";
constexpr int kDiscardPort = 9;
constexpr char kDefaultFile[] = "portmon-korvan-scalesprn-ron.log";

std::string SystemRecord(const std::string& description, const std::string& dataLine, int count) {
    char header[80];
    std::snprintf(header, sizeof header, "SYS        %s ---- Bytes:%5d -----\r\n",
                  transport_test::kFixedStamp, count);
    return kRule + std::string(header) + description + "\r\n" + kRuler + dataLine;
}

const std::string kOpenLine =
    "00001: 4F 50 45 4E                   |                                  "
    "OPEN                \r\n";
const std::string kCloseLine =
    "00001: 43 4C 4F 53 45                |                                  "
    "CLOSE               \r\n";
const std::string kErrorOpenLine =
    "00001: 45 52 52 4F 52 5F 4F 50 45 4E |                                  "
    "ERROR_OPEN          \r\n";

std::vector<uint8_t> Frame() {
    return std::vector<uint8_t>(transport::kFrameSize, 0x55);
}

TEST(PortMonitor, OpenWriteCloseAndFailedOpensAsRecords) {
    LibraryDir dir(true);
    CZavComLanPort port;
    ASSERT_TRUE(port.MonitorEnabled());
    EXPECT_EQ(port.MonitorPath(), (dir.Path() / kDefaultFile).u16string());

    std::vector<uint8_t> buf(transport::kReadRoom);
    EXPECT_EQ(port.Read(buf.data()), 0);    // nothing open: no record
    EXPECT_EQ(port.Write(buf.data()), -1);  // nothing open: no record
    EXPECT_EQ(port.Disconnect(), 0);        // nothing open: no record

    ASSERT_EQ(port.OpenLan(kLoopback, kDiscardPort, transport::kSocketDatagram), 0);
    ASSERT_EQ(port.Write(Frame().data()), transport::kFrameSize);
    port.Disconnect();
    port.Disconnect();
    const std::string eth = "ETHERNET: 127.0.0.1:9";
    std::string log = ReadFile(dir.File(kDefaultFile));
    std::string open = SystemRecord(eth, kOpenLine, 4);
    std::string close = SystemRecord(eth, kCloseLine, 5);
    ASSERT_EQ(log.substr(0, open.size()), open);
    ASSERT_EQ(log.substr(log.size() - close.size()), close);
    std::string out = log.substr(open.size(), log.size() - open.size() - close.size());
    // 259 bytes: 13 lines of 20 and one of 19.
    EXPECT_EQ(out.find(std::string(kRule) + "OUT >>>>>  " + transport_test::kFixedStamp +
                       " ---- Bytes:  259 -----\r\n" + eth + "\r\n"),
              0u);
    EXPECT_NE(out.find("00241: 55 55"), std::string::npos);
    EXPECT_EQ(out.find("00261:"), std::string::npos);

    // A host that does not resolve: "ERROR_OPEN", then "CLOSE" for the socket.
    // The space keeps the resolver from asking any name server.
    EXPECT_EQ(port.OpenLan("no such scales.invalid", 5001, transport::kSocketDatagram), 1);
    EXPECT_FALSE(port.IsConnected());
    // No device name: only "ERROR_OPEN", described with the reset settings.
    EXPECT_EQ(port.OpenCom(nullptr), 1);
    const std::string failedLan = "ETHERNET: no such scales.invalid:5001";
    const std::string failedCom = "COMPORT: ;4800\\None\\8\\1, Handshaking=0, xONxOFF=0";
    std::string tail = SystemRecord(failedLan, kErrorOpenLine, 10) +
                       SystemRecord(failedLan, kCloseLine, 5) +
                       SystemRecord(failedCom, kErrorOpenLine, 10);
    log = ReadFile(dir.File(kDefaultFile));
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
}

TEST(PortMonitor, MarkerFileIsLookedForOnlyWhenThePortIsMade) {
    LibraryDir dir(false);
    CZavComLanPort before;
    EXPECT_FALSE(before.MonitorEnabled());
    dir.CreateMarker();
    ASSERT_EQ(before.OpenLan(kLoopback, kDiscardPort, transport::kSocketDatagram), 0);
    before.Disconnect();
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"log.txt"});

    CZavComLanPort after;
    EXPECT_TRUE(after.MonitorEnabled());
    fs::remove(dir.File("log.txt"));
    ASSERT_EQ(after.OpenLan(kLoopback, kDiscardPort, transport::kSocketDatagram), 0);
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{kDefaultFile});
    EXPECT_EQ(ReadFile(dir.File(kDefaultFile)),
              SystemRecord("ETHERNET: 127.0.0.1:9", kOpenLine, 4));
}

TEST(PortMonitor, SetMonitorDeviceMovesToTheDeviceFileAndReleasesTheOldOne) {
    LibraryDir dir(true);
    {
        std::ofstream earlier(dir.File("portmon-korvan-scalesprn_A1B2.log"), std::ios::binary);
        earlier << "earlier\r\n";
    }
    CZavComLanPort port;
    ASSERT_EQ(port.OpenLan(kLoopback, kDiscardPort, transport::kSocketDatagram), 0);

    // While one port holds the default file, another given the same name
    // cannot open it and switches its monitor off.
    CZavComLanPort rival;
    rival.WriteMonitorRecord(reinterpret_cast<const uint8_t*>("X"), 1, 0);
    EXPECT_FALSE(rival.MonitorEnabled());

    port.SetMonitorDevice(nullptr);
    EXPECT_EQ(port.MonitorPath(), (dir.Path() / kDefaultFile).u16string());
    port.SetMonitorDevice("A1B2");
    EXPECT_EQ(port.MonitorPath(), (dir.Path() / "portmon-korvan-scalesprn_A1B2.log").u16string());
    port.Disconnect();
    std::string device = ReadFile(dir.File("portmon-korvan-scalesprn_A1B2.log"));
    EXPECT_EQ(device, "earlier\r\n" + SystemRecord("ETHERNET: 127.0.0.1:9", kCloseLine, 5));
    EXPECT_EQ(ReadFile(dir.File(kDefaultFile)),
              SystemRecord("ETHERNET: 127.0.0.1:9", kOpenLine, 4));

    // The default file is free again for a new port.
    CZavComLanPort next;
    next.WriteMonitorRecord(reinterpret_cast<const uint8_t*>("X"), 1, 0);
    EXPECT_TRUE(next.MonitorEnabled());
}

TEST(PortMonitor, UnopenableFileSwitchesTheMonitorOffAndThePortWorksOn) {
    LibraryDir dir(true);
    CZavComLanPort port;
    ASSERT_TRUE(port.MonitorEnabled());
    // A "directory" that is a regular file: no monitor file can be made in it.
    transport::SetLibraryDirectoryForTesting(dir.File("log.txt").u16string());
    port.SetMonitorDevice("A1B2");
    ASSERT_EQ(port.OpenLan(kLoopback, kDiscardPort, transport::kSocketDatagram), 0);
    EXPECT_FALSE(port.MonitorEnabled());
    EXPECT_EQ(port.Write(Frame().data()), transport::kFrameSize);
    EXPECT_TRUE(port.IsConnected());
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"log.txt"});

    // A path past the monitor's limit also leaves the port without a monitor.
    transport::SetLibraryDirectoryForTesting(dir.Path().u16string());
    CZavComLanPort longName;
    longName.SetMonitorDevice(std::string(300, 'A').c_str());
    ASSERT_EQ(longName.OpenLan(kLoopback, kDiscardPort, transport::kSocketDatagram), 0);
    EXPECT_FALSE(longName.MonitorEnabled());
    EXPECT_EQ(longName.Write(Frame().data()), transport::kFrameSize);
}

TEST(PortMonitor, DeviceIdCannotPlaceTheFileOutsideTheLibraryDirectory) {
    LibraryDir dir(true);
    // With this folder present, an uncleaned name would climb out of the
    // library's directory into its parent.
    fs::create_directory(dir.File("portmon-korvan-scalesprn_x"));
    const std::string hostile = "x/../../escaped\\..\\again:\x01";
    CZavComLanPort port;
    port.SetMonitorDevice(hostile.c_str());
    ASSERT_EQ(port.OpenLan(kLoopback, kDiscardPort, transport::kSocketDatagram), 0);
    EXPECT_TRUE(port.MonitorEnabled());
    EXPECT_FALSE(fs::exists(dir.Path().parent_path() / "escaped"));
    EXPECT_FALSE(fs::exists(dir.Path().parent_path() / "escaped\\..\\again:\x01.log"));
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{
                                       "log.txt", "portmon-korvan-scalesprn_x",
                                       "portmon-korvan-scalesprn_x_______escaped____again__.log"}));
}

}  // namespace

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

// A system record from its description line on, after a header of the
// fixed time.
std::string AfterHeader(const std::string& record) {
    const std::string header = kRule + std::string("SYS        ") + transport_test::kFixedStamp;
    if (record.compare(0, header.size(), header) != 0) return "(not a system record) " + record;
    return record.substr(record.find("\r\n", header.size()) + 2);
}

// The records of a monitor file, each from its rule on.
std::vector<std::string> Records(const std::string& log) {
    std::vector<std::string> records;
    for (size_t at = log.find(kRule); at != std::string::npos;) {
        const size_t next = log.find(kRule, at + 1);
        records.push_back(
            log.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    return records;
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

    // A host that does not resolve: "ERROR_OPEN", who is at fault, then
    // "CLOSE" for the socket.  The space keeps the resolver from asking any
    // name server.
    EXPECT_EQ(port.OpenLan("no such scales.invalid", 5001, transport::kSocketDatagram), 1);
    EXPECT_FALSE(port.IsConnected());
    // No device name: "ERROR_OPEN" and who is at fault, described with the
    // reset settings; nothing was held, so no "CLOSE".
    EXPECT_EQ(port.OpenCom(nullptr), 1);
    const std::string failedLan = "ETHERNET: no such scales.invalid:5001";
    const std::string failedCom = "COMPORT: ;4800\\None\\8\\1, Handshaking=0, xONxOFF=0";
    // Who is at fault: "ERROR_NO_DEVICE " and the system's own error number.
    const std::string fault = "00001: 45 52 52 4F 52 5F 4E 4F 5F 44 | 45 56 49 43 45 20";
    const std::string lanFault = failedLan + "\r\n" + kRuler + fault;
    const std::string comFault = failedCom + "\r\n" + kRuler + fault;
    const std::vector<std::string> records = Records(ReadFile(dir.File(kDefaultFile)));
    ASSERT_GE(records.size(), 5u);
    const std::string* last = &records[records.size() - 5];
    EXPECT_EQ(last[0], SystemRecord(failedLan, kErrorOpenLine, 10));
    EXPECT_EQ(AfterHeader(last[1]).substr(0, lanFault.size()), lanFault);
    EXPECT_EQ(last[2], SystemRecord(failedLan, kCloseLine, 5));
    EXPECT_EQ(last[3], SystemRecord(failedCom, kErrorOpenLine, 10));
    EXPECT_EQ(AfterHeader(last[4]).substr(0, comFault.size()), comFault);
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

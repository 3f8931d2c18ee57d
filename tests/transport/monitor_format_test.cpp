// Monitor records byte for byte, and the names of the monitor's files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/transport/test_support.h"
#include "transport/module_dir.h"
#include "transport/monitor.h"
#include "transport/port.h"

namespace {

using transport::FormatMonitorRecord;
using transport_test::Counting;
using transport_test::kRule;
using transport_test::kRuler;

constexpr char kEthernet[] = "ETHERNET: 127.0.0.1:5001";

std::string Record(const std::vector<uint8_t>& bytes, int direction,
                   const std::string& description = kEthernet) {
    return FormatMonitorRecord(transport_test::FixedTime(), direction, bytes.data(),
                               static_cast<int32_t>(bytes.size()), description);
}

TEST(MonitorRecord, OpenRecordByteForByte) {
    std::string expected = std::string(kRule) +
                           "SYS        2024-03-05 07:08:09.012 ---- Bytes:    4 -----\r\n"
                           "ETHERNET: 127.0.0.1:5001\r\n" +
                           kRuler +
                           "00001: 4F 50 45 4E                   |                              "
                           "    OPEN                \r\n";
    EXPECT_EQ(Record({'O', 'P', 'E', 'N'}, transport::kDirectionSystem), expected);
}

TEST(MonitorRecord, TwentyBytesFillOneLineAndTheTwentyFirstStartsAnother) {
    const std::string line1 =
        "00001: 00 01 02 03 04 05 06 07 08 09 | 0A 0B 0C 0D 0E 0F 10 11 12 13    "
        "....................\r\n";
    const std::string head = std::string(kRule) +
                             "OUT >>>>>  2024-03-05 07:08:09.012 ---- Bytes:   20 -----\r\n" +
                             kEthernet + "\r\n" + kRuler;
    EXPECT_EQ(Record(Counting(0x00, 20), transport::kDirectionOut), head + line1);

    std::string twentyOne = Record(Counting(0x00, 21), transport::kDirectionIn);
    const std::string line2 =
        "00021: 14                            |                                  "
        ".                   \r\n";
    EXPECT_EQ(twentyOne.substr(twentyOne.size() - line2.size() - line1.size()), line1 + line2);
    EXPECT_NE(twentyOne.find("IN <<<<<<  2024-03-05 07:08:09.012 ---- Bytes:   21 -----\r\n"),
              std::string::npos);
}

TEST(MonitorRecord, TextColumnShowsControlBytesAsDotsAndEverythingElseRaw) {
    std::vector<uint8_t> bytes = {0x00, 0x1F, 0x20, 0x41, 0x7E, 0x7F, 0x80, 0xC0, 0xFF, 0x2E};
    std::string record = Record(bytes, transport::kDirectionIn);
    const std::string line =
        "00001: 00 1F 20 41 7E 7F 80 C0 FF 2E |                                  "
        ".. A~\x7F\x80\xC0\xFF.          \r\n";
    ASSERT_GE(record.size(), line.size());
    EXPECT_EQ(record.substr(record.size() - line.size()), line);
    EXPECT_EQ(line.size(), 94u);
}

TEST(MonitorRecord, HeaderAlignsCountPadsMillisecondsAndLeavesYearAlone) {
    transport::LocalTime t{987, 12, 31, 23, 59, 58, 5};
    std::vector<uint8_t> full(transport::kReadRoom, 0x41);
    std::string record =
        FormatMonitorRecord(t, transport::kDirectionIn, full.data(), transport::kReadRoom, "");
    const std::string head =
        std::string(kRule) + "IN <<<<<<  987-12-31 23:59:58.005 ---- Bytes: 5120 -----\r\n";
    EXPECT_EQ(record.substr(0, head.size()), head);
    // The empty description still has its line, and 5120 bytes take 256 lines.
    EXPECT_EQ(record.substr(head.size(), 2), "\r\n");
    EXPECT_EQ(record.size(), head.size() + 2 + std::string(kRuler).size() + 256 * 94);
    EXPECT_NE(record.find("05101: 41"), std::string::npos);
}

TEST(MonitorRecord, NothingToWriteGivesNothing) {
    std::vector<uint8_t> bytes = {1, 2, 3};
    transport::LocalTime t = transport_test::FixedTime();
    EXPECT_EQ(FormatMonitorRecord(t, transport::kDirectionOut, bytes.data(), 0, kEthernet), "");
    EXPECT_EQ(FormatMonitorRecord(t, transport::kDirectionOut, bytes.data(), -1, kEthernet), "");
    EXPECT_EQ(FormatMonitorRecord(t, transport::kDirectionOut, nullptr, 3, kEthernet), "");
    EXPECT_EQ(FormatMonitorRecord(t, 3, bytes.data(), 3, kEthernet), "");
}

TEST(MonitorRecord, DescriptionLines) {
    EXPECT_EQ(transport::DescribeSerialLine("COM5", 4800, 0, 8, 0, 0, 0),
              "COMPORT: COM5;4800\\None\\8\\1, Handshaking=0, xONxOFF=0");
    EXPECT_EQ(transport::DescribeSerialLine("/dev/ttyS0", 9600, 4, 7, 1, 1, 1),
              "COMPORT: /dev/ttyS0;9600\\Space\\7\\1.5, Handshaking=1, xONxOFF=1");
    EXPECT_EQ(transport::DescribeSerialLine("x", 115200, 3, 8, 2, 0, 0),
              "COMPORT: x;115200\\Mark\\8\\2, Handshaking=0, xONxOFF=0");
    // The stored number, not the port it reaches.
    EXPECT_EQ(transport::DescribeEthernetLink("127.0.0.1", 70000), "ETHERNET: 127.0.0.1:70000");
    // A description never runs past 1023 characters.
    EXPECT_EQ(transport::DescribeEthernetLink(std::string(2000, 'h'), 1).size(), 1023u);
}

// The bytes of the record after a failure: who is at fault, then the
// system's own number (a resolver's codes are negative on Linux).
TEST(MonitorRecord, FaultTexts) {
    using transport::Fault;
    const struct {
        Fault fault;
        int systemError;
        const char* text;
    } cases[] = {
        {Fault::kNoDevice, 2, "ERROR_NO_DEVICE 2"},
        {Fault::kNoDevice, -2, "ERROR_NO_DEVICE -2"},
        {Fault::kBusy, 11, "ERROR_BUSY 11"},
        {Fault::kDenied, 13, "ERROR_DENIED 13"},
        {Fault::kSettingRefused, 0, "ERROR_SETTING_REFUSED 0"},
        {Fault::kIo, 10054, "ERROR_IO 10054"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(transport::FaultRecordText({c.fault, c.systemError}), c.text);
    }
}

TEST(MonitorFileNames, DeviceIdIsCleanedInTheFileNameOnly) {
    using transport::SanitizeForFileName;
    EXPECT_EQ(SanitizeForFileName("A1B2C3D4E5F60718293A"), "A1B2C3D4E5F60718293A");
    EXPECT_EQ(SanitizeForFileName("../../etc/passwd"), "______etc_passwd");
    EXPECT_EQ(SanitizeForFileName("..\\x"), "___x");
    EXPECT_EQ(SanitizeForFileName("a<b>c:d\"e|f?g*h"), "a_b_c_d_e_f_g_h");
    EXPECT_EQ(SanitizeForFileName("t\x01\x1F\x7Fz"), "t___z");
    EXPECT_EQ(SanitizeForFileName("v1.2"), "v1.2");
    EXPECT_EQ(SanitizeForFileName("a...b"), "a___b");

    std::u16string dir = u"base";
    std::u16string sep(1, transport::PathSeparator());
    EXPECT_EQ(transport::DeviceMonitorPath(dir, "A1B2"),
              u"base" + sep + u"portmon-korvan-scalesprn_A1B2.log");
    EXPECT_EQ(transport::DeviceMonitorPath(dir, "../up"),
              u"base" + sep + u"portmon-korvan-scalesprn____up.log");
    EXPECT_EQ(transport::DefaultMonitorPath(dir),
              u"base" + sep + u"portmon-korvan-scalesprn-ron.log");
    EXPECT_EQ(transport::MarkerFilePath(dir), u"base" + sep + u"log.txt");
}

}  // namespace

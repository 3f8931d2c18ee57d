// The port over serial lines, with pseudo-terminal pairs standing in for real
// devices: the port opens the terminal side by its path, the test plays the
// scales on the other side and reads the line settings from there.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/transport/test_support.h"
#include "transport/com_port.h"
#include "transport/port.h"

namespace {

class PtyPair {
  public:
    PtyPair() {
        char name[256] = {};
        int terminal = -1;
        EXPECT_EQ(openpty(&scales_, &terminal, name, nullptr, nullptr), 0);
        // The pair lives as long as the scales side is open.
        close(terminal);
        path_ = name;
    }
    ~PtyPair() { Vanish(); }
    void Vanish() {
        if (scales_ >= 0) close(scales_);
        scales_ = -1;
    }
    const char* path() const { return path_.c_str(); }
    int scales() const { return scales_; }

    // The line settings as the device holds them.
    termios Line() const {
        termios t{};
        EXPECT_EQ(tcgetattr(scales_, &t), 0);
        return t;
    }

    std::vector<uint8_t> ReadExactly(size_t n) const {
        std::vector<uint8_t> got;
        uint8_t buf[512];
        while (got.size() < n) {
            pollfd p{scales_, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0) break;
            ssize_t r = read(scales_, buf, sizeof buf);
            if (r <= 0) break;
            got.insert(got.end(), buf, buf + r);
        }
        return got;
    }

  private:
    int scales_ = -1;
    std::string path_;
};

constexpr transport::LineSettings k4800{4800, transport::kParityNone, 8, transport::kOneStopBit, 0,
                                        0};

// The line with one setting changed.
transport::LineSettings With(void (*change)(transport::LineSettings&)) {
    transport::LineSettings line = k4800;
    change(line);
    return line;
}

TEST(SerialPort, OpensRawAtBaseStateAndMovesBytesUntouched) {
    PtyPair pty;
    CZavComLanPort port;
    ASSERT_EQ(port.OpenCom(pty.path()), 0);
    EXPECT_TRUE(port.IsConnected());
    EXPECT_EQ(port.ConnectionType(), transport::kConnectionSerial);

    termios t = pty.Line();
    EXPECT_EQ(cfgetospeed(&t), B4800);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);

    // Every byte value goes out unchanged (no newline translation).
    std::vector<uint8_t> frame = transport_test::CountingFrame();
    ASSERT_EQ(port.Write(frame.data()), transport::kFrameSize);
    EXPECT_EQ(pty.ReadExactly(frame.size()), frame);

    // Nothing waiting: the wait keeps its limit and Read comes back at once.
    std::vector<uint8_t> buf(transport::kReadRoom);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port.WaitForInput(200));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LE(waited, std::chrono::milliseconds(1500));
    EXPECT_EQ(port.Read(buf.data()), 0);
    // ^C, CR, XON and XOFF arrive as data, not as line control.
    const uint8_t reply[] = {0x02, 0x03, 0x0D, 0x11, 0x13, 0x0A};
    ASSERT_EQ(write(pty.scales(), reply, sizeof reply), static_cast<ssize_t>(sizeof reply));
    ASSERT_TRUE(port.WaitForInput(1000));
    ASSERT_EQ(port.Read(buf.data()), static_cast<int32_t>(sizeof reply));
    EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + sizeof reply),
              std::vector<uint8_t>(reply, reply + sizeof reply));
}

// Each row: the settings asked for and either the bits the device then holds
// or the refusal.  A pseudo-terminal carries no parity and only 8 data bits:
// it drops PARENB, which only the read-back shows (a refusal without a
// system error number), and refuses CS7 itself (EINVAL); what has no termios
// form at all is refused before anything is written (EINVAL).
TEST(SerialLine, EachSettingReachesTheDeviceOrIsRefusedAsASetting) {
    using transport::LineSettings;
    struct Case {
        const char* what;
        LineSettings line;
        bool taken;
        int systemError;
        tcflag_t cflagBits;  // CSTOPB | CRTSCTS held, when taken
        tcflag_t iflagBits;  // IXON | IXOFF held, when taken
        speed_t speed;
    } cases[] = {
        {"base", k4800, true, 0, 0, 0, B4800},
        {"115200", With([](LineSettings& l) { l.baudRate = 115200; }), true, 0, 0, 0, B115200},
        {"1.5 stop bits", With([](LineSettings& l) { l.stopBits = 1; }), true, 0, CSTOPB, 0, B4800},
        {"2 stop bits", With([](LineSettings& l) { l.stopBits = 2; }), true, 0, CSTOPB, 0, B4800},
        {"RTS/CTS", With([](LineSettings& l) { l.handshaking = 1; }), true, 0, CRTSCTS, 0, B4800},
        {"XON/XOFF", With([](LineSettings& l) { l.xonXoff = 1; }), true, 0, 0, IXON | IXOFF, B4800},
        {"odd parity", With([](LineSettings& l) { l.parity = 1; }), false, 0, 0, 0, 0},
        {"space parity", With([](LineSettings& l) { l.parity = 4; }), false, 0, 0, 0, 0},
        {"7 data bits", With([](LineSettings& l) { l.dataBits = 7; }), false, EINVAL, 0, 0, 0},
        {"12345 baud", With([](LineSettings& l) { l.baudRate = 12345; }), false, EINVAL, 0, 0, 0},
        {"9 data bits", With([](LineSettings& l) { l.dataBits = 9; }), false, EINVAL, 0, 0, 0},
        {"parity 5", With([](LineSettings& l) { l.parity = 5; }), false, EINVAL, 0, 0, 0},
        {"stop bits 3", With([](LineSettings& l) { l.stopBits = 3; }), false, EINVAL, 0, 0, 0},
    };
    PtyPair pty;
    transport::LinkError error;
    std::unique_ptr<COMPort> line = COMPort::Open(pty.path(), error);
    ASSERT_TRUE(line);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        error = transport::LinkError{};
        ASSERT_TRUE(line->ApplyLine(k4800, error));
        EXPECT_EQ(line->ApplyLine(c.line, error), c.taken);
        if (!c.taken) {
            EXPECT_EQ(error.fault, transport::Fault::kSettingRefused);
            EXPECT_EQ(error.systemError, c.systemError);
            continue;
        }
        termios t = pty.Line();
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS | PARENB), c.cflagBits);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF), c.iflagBits);
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    }
}

TEST(SerialPort, PortLineSettingsReachTheDeviceAndARefusalClosesThePort) {
    PtyPair pty;
    CZavComLanPort port;
    ASSERT_EQ(port.OpenCom(pty.path()), 0);
    EXPECT_EQ(port.SetBaudRate(9600), 0);
    termios t = pty.Line();
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(port.SetNoParity(), 0);
    EXPECT_EQ(port.SetEightDataBits(), 0);
    EXPECT_EQ(port.SetOneStopBit(), 0);
    EXPECT_EQ(port.SetBaudRate(12345), -2);
    EXPECT_FALSE(port.IsConnected());
    // Closed again, the device is free for the next open, back at 4800.
    EXPECT_EQ(port.OpenCom(pty.path()), 0);
    EXPECT_EQ(port.BaudRate(), 4800u);
}

TEST(SerialPort, SecondOpenOfTheSameDeviceFailsUntilTheFirstCloses) {
    PtyPair pty;
    CZavComLanPort first;
    CZavComLanPort second;
    ASSERT_EQ(first.OpenCom(pty.path()), 0);
    EXPECT_EQ(second.OpenCom(pty.path()), 1);
    EXPECT_FALSE(second.IsConnected());
    transport::LinkError error;
    EXPECT_FALSE(COMPort::Open(pty.path(), error));
    EXPECT_EQ(error.fault, transport::Fault::kBusy);
    EXPECT_EQ(error.systemError, EWOULDBLOCK);
    first.Disconnect();
    EXPECT_EQ(second.OpenCom(pty.path()), 0);
}

TEST(SerialPort, OtherEndVanishingFailsTheReadAndClosesThePort) {
    PtyPair pty;
    CZavComLanPort port;
    ASSERT_EQ(port.OpenCom(pty.path()), 0);
    pty.Vanish();
    EXPECT_TRUE(port.WaitForInput(1000));
    std::vector<uint8_t> buf(transport::kReadRoom);
    EXPECT_EQ(port.Read(buf.data()), 0);
    EXPECT_FALSE(port.IsConnected());
    EXPECT_EQ(port.Write(buf.data()), -1);
}

TEST(SerialPort, WriteToVanishedDeviceGivesMinusTwoAndRecordsTheFault) {
    transport_test::LibraryDir dir(true);
    PtyPair pty;
    CZavComLanPort port;
    ASSERT_EQ(port.OpenCom(pty.path()), 0);
    pty.Vanish();
    std::vector<uint8_t> frame(transport::kFrameSize);
    EXPECT_EQ(port.Write(frame.data()), -2);
    EXPECT_FALSE(port.IsConnected());
    // "ERROR_IO 5" (EIO), then "CLOSE".
    const std::string log = transport_test::ReadFile(dir.File("portmon-korvan-scalesprn-ron.log"));
    const size_t fault = log.find("00001: 45 52 52 4F 52 5F 49 4F 20 35 |");
    ASSERT_NE(fault, std::string::npos) << log;
    EXPECT_NE(log.find("CLOSE               \r\n", fault), std::string::npos);
}

// Who is at fault when a device does not open, with the system's number; a
// failed open gives back what it took, so the next attempt fails the same way
// and not as "busy".
TEST(SerialPort, FailedOpensSayWhoIsAtFaultAndLeaveNothingHeld) {
    transport_test::LibraryDir dir(false);
    const std::string notALine = dir.File("not-a-line").string();
    std::ofstream(notALine).put('x');
    const std::string locked = dir.File("locked").string();
    std::ofstream(locked).put('x');
    chmod(locked.c_str(), 0);
    const bool root = geteuid() == 0;
    struct Case {
        std::string name;
        transport::Fault fault;
        int systemError;
    } cases[] = {
        {"/dev/rls-transport-no-such-device", transport::Fault::kNoDevice, ENOENT},
        {"", transport::Fault::kNoDevice, ENOENT},
        {notALine, transport::Fault::kNoDevice, ENOTTY},
        {locked, root ? transport::Fault::kNoDevice : transport::Fault::kDenied,
         root ? ENOTTY : EACCES},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int attempt = 0; attempt < 2; ++attempt) {
            transport::LinkError error;
            EXPECT_FALSE(COMPort::Open(c.name.c_str(), error));
            EXPECT_EQ(error.fault, c.fault);
            EXPECT_EQ(error.systemError, c.systemError);
        }
    }
    CZavComLanPort port;
    EXPECT_EQ(port.OpenCom(nullptr), 1);
    PtyPair pty;
    EXPECT_EQ(port.OpenCom(pty.path()), 0);
}

TEST(SerialPort, OpenRecordShowsTheOpeningSpeedAndLaterRecordsTheNewOne) {
    transport_test::LibraryDir dir(true);
    PtyPair pty;
    CZavComLanPort port;
    ASSERT_EQ(port.OpenCom(pty.path()), 0);
    ASSERT_EQ(port.SetBaudRate(9600), 0);
    std::vector<uint8_t> frame(transport::kFrameSize, 0x30);
    ASSERT_EQ(port.Write(frame.data()), transport::kFrameSize);
    std::string log = transport_test::ReadFile(dir.File("portmon-korvan-scalesprn-ron.log"));
    const std::string at4800 =
        std::string("COMPORT: ") + pty.path() + ";4800\\None\\8\\1, Handshaking=0, xONxOFF=0\r\n";
    const std::string at9600 =
        std::string("COMPORT: ") + pty.path() + ";9600\\None\\8\\1, Handshaking=0, xONxOFF=0\r\n";
    size_t open = log.find(at4800);
    size_t out = log.find(at9600);
    ASSERT_NE(open, std::string::npos);
    ASSERT_NE(out, std::string::npos);
    EXPECT_LT(open, out);
    EXPECT_NE(log.find("OPEN                \r\n"), std::string::npos);
    EXPECT_NE(log.find("OUT >>>>>"), std::string::npos);
}

}  // namespace

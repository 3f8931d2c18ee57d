// The port over serial lines, with pseudo-terminal pairs standing in for real
// devices: the port opens the terminal side by its path, the test plays the
// scales on the other side and reads the line settings from there.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <stdexcept>
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

std::string RaisedText(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "nothing raised";
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

TEST(SerialPort, EveryParityDataBitsStopBitsAndFlowControl) {
    PtyPair pty;
    COMPort line(pty.path());
    // A pseudo-terminal carries no parity and only 8 data bits: it drops
    // PARENB and forces CS8 while keeping the other bits.  So each parity
    // must be refused, and leaves behind the rest of what was asked for.
    struct ParityCase {
        uint8_t code;
        tcflag_t keptBits;
    } parities[] = {{transport::kParityOdd, PARODD},
                    {transport::kParityEven, 0},
                    {transport::kParityMark, PARODD | CMSPAR},
                    {transport::kParitySpace, CMSPAR}};
    for (const ParityCase& c : parities) {
        EXPECT_EQ(RaisedText([&] { line.SetParity(c.code); }), transport::kComStateRefused);
        EXPECT_EQ(pty.Line().c_cflag & (PARENB | PARODD | CMSPAR), c.keptBits) << int(c.code);
    }
    line.SetParity(transport::kParityNone);
    EXPECT_EQ(pty.Line().c_cflag & (PARENB | PARODD | CMSPAR), 0u);
    EXPECT_EQ(RaisedText([&] { line.SetDataBits(7); }), transport::kComStateRefused);
    line.SetDataBits(8);

    line.SetStopBits(transport::kOneAndHalfStopBits);
    EXPECT_NE(pty.Line().c_cflag & CSTOPB, 0u);
    line.SetStopBits(transport::kOneStopBit);
    EXPECT_EQ(pty.Line().c_cflag & CSTOPB, 0u);
    line.SetStopBits(transport::kTwoStopBits);
    EXPECT_NE(pty.Line().c_cflag & CSTOPB, 0u);
    line.SetHandshaking(1);
    EXPECT_NE(pty.Line().c_cflag & CRTSCTS, 0u);
    line.SetHandshaking(0);
    EXPECT_EQ(pty.Line().c_cflag & CRTSCTS, 0u);
    line.SetXonXoff(1);
    EXPECT_EQ(pty.Line().c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    line.SetXonXoff(0);
    EXPECT_EQ(pty.Line().c_iflag & (IXON | IXOFF), 0u);
    line.SetBaudRate(115200);
    termios fast = pty.Line();
    EXPECT_EQ(cfgetospeed(&fast), B115200);

    EXPECT_EQ(RaisedText([&] { line.SetBaudRate(12345); }), transport::kComStateRefused);
    EXPECT_EQ(RaisedText([&] { line.SetDataBits(9); }), transport::kComStateRefused);
    EXPECT_EQ(RaisedText([&] { line.SetParity(5); }), transport::kComStateRefused);
    EXPECT_EQ(RaisedText([&] { line.SetStopBits(3); }), transport::kComStateRefused);
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
    EXPECT_EQ(RaisedText([&] { COMPort again(pty.path()); }), transport::kComOpenFailed);
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

TEST(SerialPort, WriteToVanishedDeviceGivesMinusTwo) {
    PtyPair pty;
    CZavComLanPort port;
    ASSERT_EQ(port.OpenCom(pty.path()), 0);
    pty.Vanish();
    std::vector<uint8_t> frame(transport::kFrameSize);
    EXPECT_EQ(port.Write(frame.data()), -2);
    EXPECT_FALSE(port.IsConnected());
}

TEST(SerialPort, FailedOpensLeaveNothingHeld) {
    EXPECT_EQ(RaisedText([] { COMPort none("/dev/rls-transport-no-such-device"); }),
              transport::kComOpenFailed);
    CZavComLanPort port;
    EXPECT_EQ(port.OpenCom(nullptr), 1);
    EXPECT_EQ(port.OpenCom("/dev/rls-transport-no-such-device"), 1);

    // A plain file opens but has no line state; the failed open must give it
    // back, so the next attempt fails the same way and not as "in use".
    transport_test::LibraryDir dir(false);
    std::string notALine = dir.File("not-a-line").string();
    std::ofstream(notALine).put('x');
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(RaisedText([&] { COMPort file(notALine.c_str()); }),
                  transport::kComStateUnreadable);
    }

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

// The emulator's serial line: frames are cut from the byte stream, taken
// only when their last byte is complete at the line's speed, answered at the
// same pace, and not understood when the driver set another speed or
// character format.  Lower bounds are exact (the emulator's bookkeeping of
// the line); upper bounds are wide, for a shared machine.
#include <gtest/gtest.h>

#include <thread>

#include "emulator.h"
#include "frame_bytes.h"
#include "links.h"

namespace {

using emu_test::Bytes;
using emu_test::Collect;
using emu_test::Joined;
using emu_test::MsSince;
using emu_test::NowUs;
using emu_test::OpenSerial;
using Clock = emu_test::SteadyClock;

const Bytes kClock = emu_test::Frame("0E 01 00 00 00 00 00 24 03 05 09 07 45");
const Bytes kClear = emu_test::Frame("0E 04 00 00 04");
constexpr int64_t kFrameSize = 259;
// Start bit, 8 data bits, stop bit.
constexpr int64_t kBitsPerCharacter = 10;
constexpr int64_t kBusyMachineUs = 250000;

int64_t CharacterUs(int64_t baud) {
    return kBitsPerCharacter * 1000000 / baud;
}

// The driver's side of one emulated serial line.
class Line {
  public:
    explicit Line(uint32_t baud, speed_t driverSpeed, tcflag_t format = CS8) {
        path_ = emulator.StartSerial(baud);
        if (!path_.empty()) fd_ = OpenSerial(path_, driverSpeed, format);
    }
    ~Line() {
        if (fd_ >= 0) close(fd_);
    }
    bool Ready() const { return fd_ >= 0; }
    bool Write(const Bytes& bytes, size_t from = 0, size_t count = SIZE_MAX) {
        count = std::min(count, bytes.size() - from);
        return write(fd_, bytes.data() + from, count) == static_cast<ssize_t>(count);
    }
    // Reply bytes until `count` have come or waitMs is over.
    Bytes Read(size_t count, int waitMs) {
        Bytes got;
        const auto start = Clock::now();
        while (got.size() < count && MsSince(start) < waitMs) {
            const Bytes more = Joined(Collect(fd_, 5));
            got.insert(got.end(), more.begin(), more.end());
        }
        return got;
    }
    int fd() const { return fd_; }

    emu::ScalesEmulator emulator;

  private:
    std::string path_;
    int fd_ = -1;
};

// A frame written at once is taken when its 259th byte is complete on the
// line, and answered its delay plus one character time after that.
TEST(SerialLine, FrameIsTakenAfterItsLineTimeAndAnsweredAfterTheDelay) {
    struct Case {
        uint32_t baud;
        speed_t speed;
        int delayMs;
    };
    for (const Case& c : {Case{4800, B4800, 0}, Case{9600, B9600, 100}}) {
        Line line(c.baud, c.speed);
        ASSERT_TRUE(line.Ready());
        emu::Faults faults;
        faults.delayMs = c.delayMs;
        line.emulator.SetFaults(faults);
        const int64_t characterUs = CharacterUs(c.baud);
        const int64_t frameUs = kFrameSize * characterUs;

        const int64_t before = NowUs();
        ASSERT_TRUE(line.Write(kClock));
        EXPECT_EQ(line.Read(1, 5000), Bytes{0x02}) << c.baud;
        const int64_t answeredUs = NowUs() - before;
        EXPECT_GE(answeredUs, frameUs + c.delayMs * 1000 + characterUs) << c.baud;
        EXPECT_LT(answeredUs, frameUs + c.delayMs * 1000 + kBusyMachineUs) << c.baud;

        ASSERT_TRUE(line.emulator.WaitUntilIdle(5000));
        const emu::ReceivedFrame frame = line.emulator.Frames().at(0);
        EXPECT_GE(frame.receivedUs - before, frameUs) << c.baud;
        EXPECT_LT(frame.receivedUs - before, frameUs + kBusyMachineUs) << c.baud;
        ASSERT_EQ(frame.replySentUs.size(), 1u);
        EXPECT_GE(frame.replySentUs[0] - frame.receivedUs, c.delayMs * 1000 + characterUs);
        EXPECT_EQ(frame.driverLine, std::to_string(c.baud) + " 8N1");
        EXPECT_FALSE(frame.lineMismatch);
    }
}

// Bytes written while earlier ones are still on the line wait for them: a
// frame in two pieces, then a second frame, take 259 character times each.
TEST(SerialLine, BytesWaitForTheOnesAheadOfThem) {
    Line line(9600, B9600);
    ASSERT_TRUE(line.Ready());
    const int64_t frameUs = kFrameSize * CharacterUs(9600);
    const Bytes goods = emu_test::BananaFrame();
    const int64_t before = NowUs();
    ASSERT_TRUE(line.Write(goods, 0, 100));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Bytes rest(goods.begin() + 100, goods.end());
    rest.insert(rest.end(), kClear.begin(), kClear.end());
    ASSERT_TRUE(line.Write(rest));
    EXPECT_FALSE(line.emulator.WaitUntilIdle(50));  // still coming in on the line
    ASSERT_TRUE(line.emulator.WaitUntilIdle(5000));

    const auto frames = line.emulator.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].kind, emu::FrameKind::kGoods);
    EXPECT_EQ(frames[1].kind, emu::FrameKind::kClear);
    EXPECT_GE(frames[0].receivedUs - before, frameUs);
    EXPECT_GE(frames[1].receivedUs - frames[0].receivedUs, frameUs);
    EXPECT_EQ(line.Read(2, 1000), (Bytes{0x02, 0x02}));
    EXPECT_TRUE(line.emulator.Snapshot().goods.empty());  // cleared by the second frame
}

// Reply bytes leave one character time apart, plus the idle line --trickle adds.
TEST(SerialLine, ReplyBytesGoOutAtTheLinePace) {
    for (int trickleMs : {0, 40}) {
        Line line(4800, B4800);
        ASSERT_TRUE(line.Ready());
        emu::Faults faults;
        faults.replyLength = 4;
        faults.trickleMs = trickleMs;
        line.emulator.SetFaults(faults);
        ASSERT_TRUE(line.Write(kClock));
        EXPECT_EQ(line.Read(4, 5000), (Bytes{0x02, 0x00, 0x00, 0x00}));
        ASSERT_TRUE(line.emulator.WaitUntilIdle(5000));
        const std::vector<int64_t> sent = line.emulator.Frames().at(0).replySentUs;
        ASSERT_EQ(sent.size(), 4u);
        for (size_t k = 1; k < sent.size(); ++k)
            EXPECT_GE(sent[k] - sent[k - 1], CharacterUs(4800) + trickleMs * 1000) << trickleMs;
    }
}

// A driver whose line is set otherwise than the scales' sends them noise: the
// frame is flagged, not answered and not stored.  Set right, the same driver
// is answered.  (A Linux pseudo-terminal always keeps 8 data bits and no
// parity, so only the speed and the stop bits can differ here.)
TEST(SerialLine, OtherLineSettingIsNotUnderstood) {
    struct Case {
        speed_t speed;
        tcflag_t format;
        const char* driverLine;
    };
    const Case cases[] = {
        {B9600, CS8, "9600 8N1"}, {B2400, CS8, "2400 8N1"}, {B4800, CS8 | CSTOPB, "4800 8N2"}};
    for (const Case& c : cases) {
        Line line(4800, c.speed, c.format);
        ASSERT_TRUE(line.Ready());
        ASSERT_TRUE(line.Write(emu_test::BananaFrame()));
        ASSERT_TRUE(line.emulator.WaitUntilIdle(5000));
        EXPECT_EQ(line.Read(1, 100), Bytes{}) << c.driverLine;
        const emu::ReceivedFrame frame = line.emulator.Frames().at(0);
        EXPECT_TRUE(frame.lineMismatch) << c.driverLine;
        EXPECT_EQ(frame.driverLine, c.driverLine);
        EXPECT_FALSE(frame.accepted);
        EXPECT_TRUE(frame.reply.empty());
        EXPECT_NE(frame.description.find(std::string("[line ") + c.driverLine +
                                         ", the scales run at 4800 8N1: not understood, no reply]"),
                  std::string::npos)
            << frame.description;
        const emu::State state = line.emulator.Snapshot();
        EXPECT_TRUE(state.goods.empty());
        EXPECT_EQ(state.framesAtWrongLineSetting, 1u);

        ASSERT_TRUE(emu_test::SetLine(line.fd(), B4800));
        ASSERT_TRUE(line.Write(emu_test::BananaFrame()));
        EXPECT_EQ(line.Read(1, 5000), Bytes{0x02}) << c.driverLine;
        EXPECT_EQ(line.emulator.Snapshot().goods.size(), 1u);
    }
}

// Bytes sent at the wrong speed spoil their frame even when the speed is put
// right before the rest of it; the frame after that is understood.
TEST(SerialLine, SettingPutRightHalfWayStillSpoilsTheFrame) {
    Line line(4800, B9600);
    ASSERT_TRUE(line.Ready());
    ASSERT_TRUE(line.Write(kClock, 0, 100));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(emu_test::SetLine(line.fd(), B4800));
    ASSERT_TRUE(line.Write(kClock, 100));
    ASSERT_TRUE(line.Write(kClear));
    EXPECT_EQ(line.Read(1, 5000), Bytes{0x02});
    ASSERT_TRUE(line.emulator.WaitUntilIdle(5000));
    const auto frames = line.emulator.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_TRUE(frames[0].lineMismatch);
    EXPECT_TRUE(frames[0].reply.empty());
    EXPECT_FALSE(frames[1].lineMismatch);
    EXPECT_EQ(frames[1].kind, emu::FrameKind::kClear);
}

TEST(SerialLine, OnlyRealLineSpeeds) {
    emu::ScalesEmulator emulator;
    EXPECT_EQ(emulator.StartSerial(1234), "");
    EXPECT_EQ(emulator.StartSerial(0), "");
    EXPECT_NE(emulator.StartSerial(115200), "");
}

TEST(SerialLine, FramesFromTheByteStream) {
    Line line(115200, B115200);
    ASSERT_TRUE(line.Ready());
    // One frame written in two pieces, then two frames in one write.
    const Bytes goods = emu_test::BananaFrame();
    ASSERT_TRUE(line.Write(goods, 0, 100));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(line.Write(goods, 100));
    EXPECT_EQ(line.Read(1, 1000), Bytes{0x02});
    Bytes two = kClock;
    two.insert(two.end(), kClear.begin(), kClear.end());
    ASSERT_TRUE(line.Write(two));
    EXPECT_EQ(line.Read(2, 1000), (Bytes{0x02, 0x02}));

    const auto frames = line.emulator.Frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].kind, emu::FrameKind::kGoods);
    EXPECT_EQ(frames[2].kind, emu::FrameKind::kClear);
    EXPECT_TRUE(line.emulator.Snapshot().goods.empty());
}

// A fragment that stays incomplete is given up 300 ms after its last byte;
// the next frame lines up.
TEST(SerialLine, IncompleteFragmentIsDropped) {
    Line line(115200, B115200);
    ASSERT_TRUE(line.Ready());
    ASSERT_TRUE(line.Write(kClock, 0, 10));
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ASSERT_TRUE(line.Write(kClear));
    EXPECT_EQ(line.Read(1, 1000), Bytes{0x02});
    const auto frames = line.emulator.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].bytes.size(), 10u);
    EXPECT_FALSE(frames[0].accepted);
    EXPECT_NE(frames[0].description.find("incomplete frame of 10 bytes dropped"),
              std::string::npos);
    EXPECT_EQ(frames[1].kind, emu::FrameKind::kClear);
}

}  // namespace

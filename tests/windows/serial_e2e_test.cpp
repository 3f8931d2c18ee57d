// The serial line under Wine: COM7 of the Wine prefix is mapped (registry,
// HKLM\Software\Wine\Ports) to a fixed path that the Linux scales emulator
// makes a link to its pseudo-terminal.  Exercises the Windows serial calls --
// CreateFile on "\\.\COM7", the device-control block, the time-outs,
// ReadFile/WriteFile -- through the port, and then through the add-in DLL.
#include <gtest/gtest.h>

#include "scales/frames.h"
#include "tests/windows/wine_host.h"
#include "transport/port.h"

using namespace wine_test;

namespace {

const char kComDevice[] = "\\\\.\\COM7";
// A frame takes 540 ms on the line at 4800 baud; the rest is margin for a
// busy machine.
constexpr int kReplyWaitMs = 2000;
// The RLS1000's own line speed; the emulator, like the scales, understands
// nothing sent at another.
constexpr int kScalesBaud = 4800;
constexpr int kOtherBaud = 9600;
constexpr uint8_t kPositiveReply = 0x02;

// Writes one frame and collects the reply bytes the line brings.
std::vector<uint8_t> Exchange(CZavComLanPort& port, const uint8_t* frame) {
    EXPECT_EQ(port.Write(frame), transport::kFrameSize);
    std::vector<uint8_t> reply(transport::kReadRoom);
    int got = 0;
    for (int waited = 0; got == 0 && waited < kReplyWaitMs; waited += 20) {
        port.WaitForInput(20);
        got = port.Read(reply.data());
    }
    reply.resize(got);
    return reply;
}

TEST(SerialUnderWine, PortExchangesAFrameOverTheComDevice) {
    CZavComLanPort port;
    ASSERT_EQ(port.OpenCom(kComDevice), 0);
    EXPECT_EQ(port.SetBaudRate(kScalesBaud), 0);
    EXPECT_EQ(port.SetNoParity(), 0);
    EXPECT_EQ(port.SetEightDataBits(), 0);
    EXPECT_EQ(port.SetOneStopBit(), 0);
    // Nothing sent yet: a read returns at once with nothing.
    uint8_t idle[transport::kReadRoom];
    EXPECT_EQ(port.Read(idle), 0);

    scales::Frame frame = scales::BuildClearGoodsFrame();
    std::vector<uint8_t> reply = Exchange(port, frame.data());
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply[0], kPositiveReply);
    EXPECT_TRUE(port.IsConnected());
    EXPECT_EQ(port.Disconnect(), 0);
    EXPECT_FALSE(port.IsConnected());
}

// SetCommState reaches the pseudo-terminal through Wine: a frame sent at
// another speed is noise to the scales and gets no reply.
TEST(SerialUnderWine, TheSpeedSetOnTheComDeviceIsTheLinesSpeed) {
    CZavComLanPort port;
    ASSERT_EQ(port.OpenCom(kComDevice), 0);
    ASSERT_EQ(port.SetBaudRate(kOtherBaud), 0);
    scales::Frame frame = scales::BuildClearGoodsFrame();
    EXPECT_TRUE(Exchange(port, frame.data()).empty());
    ASSERT_EQ(port.SetBaudRate(kScalesBaud), 0);
    std::vector<uint8_t> reply = Exchange(port, frame.data());
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply[0], kPositiveReply);
}

// A missing device fails cleanly and leaves nothing open; a closed device
// opens again at once.  (Exclusive use cannot be checked here: Wine does not
// enforce share mode 0 on a serial device.)
TEST(SerialUnderWine, MissingDeviceFailsAndAClosedOneReopens) {
    CZavComLanPort missing;
    EXPECT_EQ(missing.OpenCom("\\\\.\\COM42"), 1);
    EXPECT_FALSE(missing.IsConnected());
    EXPECT_EQ(missing.Write(scales::BuildClearGoodsFrame().data()), -1);
    CZavComLanPort port;
    ASSERT_EQ(port.OpenCom(kComDevice), 0);
    port.Disconnect();
    EXPECT_EQ(port.OpenCom(kComDevice), 0);
}

// Through the DLL: a network port of 0 makes the scales object open the
// serial device named by the host setting.
TEST(SerialUnderWine, AddInUploadsGoodsOverTheComDevice) {
    AddInUnderTest addin(EnvOr("RLS_ADDIN_DLL", ""), false);
    ASSERT_TRUE(addin.Loaded());
    ASSERT_TRUE(addin.SetParameter("conntype", Number(1)));
    ASSERT_TRUE(addin.SetParameter("ehost", Text(Utf16(kComDevice))));
    ASSERT_TRUE(addin.SetParameter("eport", Number(0)));
    std::string id = addin.Open();
    std::u16string text;
    ASSERT_EQ(addin.LastError(&text), 0u) << Narrow(text);
    EXPECT_TRUE(addin.Boolean(
        "UploadGoods",
        {Text(Utf16(id)),
         Text(u"<Goods><Good PLU=\"9\" Code=\"9\" Name=\"Serial\" Price=\"1\"/></Goods>"),
         Text(u"")}));
    EXPECT_EQ(addin.LastError(), 0u);
    EXPECT_TRUE(addin.Boolean("Close", {Text(Utf16(id))}));
}

}  // namespace

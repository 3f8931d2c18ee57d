// The add-in DLL end to end under Wine: loaded with LoadLibrary from a folder
// of its own, driven through its exports and interfaces like the platform
// drives it, talking UDP to a Linux scales emulator on 127.0.0.1 (Wine
// programs share the machine's loopback).  The emulator's port comes in
// RLS_EMULATOR_PORT, the DLL's path in RLS_ADDIN_DLL.
// Before windows.h (in wine_host.h), which would bring the old winsock.h.
#include <winsock2.h>

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdio>
#include <string>

#include "tests/windows/wine_host.h"

using namespace wine_test;

namespace {

constexpr unsigned kNoError = 0;
constexpr unsigned kConnectionFailed = 1;

std::string DllPath() {
    return EnvOr("RLS_ADDIN_DLL", "");
}
int EmulatorPort() {
    return std::atoi(EnvOr("RLS_EMULATOR_PORT", "0").c_str());
}

constexpr int kEthernet = 1;  // "conntype"; the device table starts at 0, serial

void SetEmulatorLink(AddInUnderTest& addin, const char16_t* host = u"127.0.0.1") {
    EXPECT_TRUE(addin.SetParameter("conntype", Number(kEthernet)));
    EXPECT_TRUE(addin.SetParameter("ehost", Text(host)));
    EXPECT_TRUE(addin.SetParameter("eport", Number(EmulatorPort())));
}

// Settings for the emulator, then Open; returns the DeviceID.
std::string OpenOnEmulator(AddInUnderTest& addin) {
    SetEmulatorLink(addin);
    std::string deviceId = addin.Open();
    EXPECT_EQ(deviceId.size(), 20u) << deviceId;
    return deviceId;
}

const char16_t kTwoGoods[] =
    u"<Goods>"
    u"<Good PLU=\"1\" Code=\"101\" Name=\"Хлеб ржаной\" Price=\"45,50\" ShelfLife=\"3\"/>"
    u"<Good PLU=\"2\" Code=\"102\" Name=\"Milk\" Price=\"1 234.56\" ShelfLife=\"7\"/>"
    u"</Goods>";

class AddInUnderWine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(DllPath().empty()) << "RLS_ADDIN_DLL is not set";
        ASSERT_GT(EmulatorPort(), 0) << "RLS_EMULATOR_PORT is not set";
    }
};

TEST_F(AddInUnderWine, UploadsAndClearsGoodsOverUdp) {
    AddInUnderTest addin(DllPath(), false);
    ASSERT_TRUE(addin.Loaded());
    std::string id = OpenOnEmulator(addin);
    std::u16string text;
    ASSERT_EQ(addin.LastError(&text), kNoError) << Narrow(text);
    EXPECT_TRUE(addin.Boolean("UploadGoods", {Text(Utf16(id)), Text(kTwoGoods), Text(u"")}));
    EXPECT_EQ(addin.LastError(), kNoError);
    EXPECT_TRUE(addin.Boolean("ClearGoods", {Text(Utf16(id))}));
    EXPECT_TRUE(addin.Boolean("Close", {Text(Utf16(id))}));
    // After Close the DeviceID is unknown: error 8.
    EXPECT_FALSE(addin.Boolean("ClearGoods", {Text(Utf16(id))}));
    EXPECT_EQ(addin.LastError(), 8u);
}

TEST_F(AddInUnderWine, DeviceTestProgramsTheDemoGood) {
    AddInUnderTest addin(DllPath(), false);
    ASSERT_TRUE(addin.Loaded());
    SetEmulatorLink(addin);
    AddInUnderTest::Result r = addin.Call("DeviceTest", {Empty(), Empty()});
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.value.vt == VTYPE_BOOL && r.value.bVal) << Narrow(r.outTexts[0]);
    // "В весы запрограммирован товар 'Банан' ..." -- the success text.
    EXPECT_EQ(r.outTexts[0].rfind(u"В весы запрограммирован товар", 0), 0u);
}

TEST_F(AddInUnderWine, UnresolvableHostFailsTheConnectionTest) {
    AddInUnderTest addin(DllPath(), false);
    ASSERT_TRUE(addin.Loaded());
    // A space in the name: no resolver can answer it, none is asked twice.
    SetEmulatorLink(addin, u"no such scales.invalid");
    EXPECT_EQ(addin.Open().size(), 20u);  // Open registers the device anyway
    EXPECT_EQ(addin.LastError(), kConnectionFailed);
}

TEST_F(AddInUnderWine, StringsGoBackThroughTheHostsAllocator) {
    AddInUnderTest addin(DllPath(), false);
    ASSERT_TRUE(addin.Loaded());
    addin.SetLocale(u"ru-RU");
    AddInUnderTest::Result version = addin.Call("GetVersion", {});
    EXPECT_TRUE(version.ok);
    EXPECT_EQ(version.text, u"v2021-05-19 009");
    AddInUnderTest::Result settings = addin.Call("GetParameters", {Empty()});
    EXPECT_NE(settings.outTexts[0].find(u"<Settings>"), std::u16string::npos);
    EXPECT_GT(addin.memory.allocations, 0);
    EXPECT_EQ(addin.memory.allocations, addin.memory.frees);
}

// 0 when this process can make a socket, else why not.  This host never
// starts Windows Sockets itself: WSANOTINITIALISED means nobody has.
int SocketError() {
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) return WSAGetLastError();
    closesocket(s);
    return 0;
}

// Windows Sockets is started by the first network link and stopped with the
// last add-in object; never while the DLL is loaded or unloaded, when Windows
// holds its loader lock (starting Windows Sockets loads other DLLs, which can
// deadlock there).
TEST_F(AddInUnderWine, WinsockRunsOnlyWhileAnObjectUsesTheNetwork) {
    ASSERT_EQ(SocketError(), WSANOTINITIALISED);
    {
        AddInUnderTest addin(DllPath(), false);
        ASSERT_TRUE(addin.Loaded());
        EXPECT_EQ(SocketError(), WSANOTINITIALISED);  // loaded, object made, no link yet
        const std::string id = OpenOnEmulator(addin);
        EXPECT_EQ(SocketError(), 0);
        EXPECT_TRUE(addin.Boolean("ClearGoods", {Text(Utf16(id))}));
    }
    EXPECT_EQ(SocketError(), WSANOTINITIALISED);
    // Started again for the next object that needs it.
    AddInUnderTest again(DllPath(), false);
    ASSERT_TRUE(again.Loaded());
    const std::string id = OpenOnEmulator(again);
    EXPECT_TRUE(again.Boolean("ClearGoods", {Text(Utf16(id))}));
    EXPECT_EQ(again.LastError(), kNoError);
}

// Bytes in use on the C runtime's heap, which the DLL's statically linked C++
// runtime allocates from as this host does.
size_t CrtHeapInUse() {
    const auto heap = reinterpret_cast<HANDLE>(_get_heap_handle());
    PROCESS_HEAP_ENTRY entry{};
    size_t used = 0;
    HeapLock(heap);
    while (HeapWalk(heap, &entry)) {
        if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) used += entry.cbData;
    }
    HeapUnlock(heap);
    return used;
}

// Every load of the DLL starts a private copy of the C++ runtime, which sets
// aside an emergency exception pool; the DLL gives it back when unloaded, so
// a host that loads and frees add-ins again and again does not grow.
TEST_F(AddInUnderWine, LoadAndUnloadLeaveTheHeapAsItWas) {
    constexpr int kWarmUp = 3, kCycles = 40;
    const auto cycle = [] {
        AddInUnderTest addin(DllPath(), false);
        ASSERT_TRUE(addin.Loaded());
        EXPECT_TRUE(addin.Call("GetVersion", {}).ok);
    };
    for (int i = 0; i < kWarmUp; ++i) ASSERT_NO_FATAL_FAILURE(cycle());
    const size_t before = CrtHeapInUse();
    for (int i = 0; i < kCycles; ++i) ASSERT_NO_FATAL_FAILURE(cycle());
    const auto growth = static_cast<long long>(CrtHeapInUse()) - static_cast<long long>(before);
    std::printf("%d load/unload cycles: C runtime heap %+lld bytes (%+lld a cycle)\n", kCycles,
                growth, growth / kCycles);
    EXPECT_LT(growth, 256 * 1024);
}

// The monitor switch and files live beside the DLL itself (not the .exe):
// with "log.txt" there, the per-device file records the open, the frames
// sent and the replies.
TEST_F(AddInUnderWine, PortMonitorWritesBesideTheDll) {
    AddInUnderTest addin(DllPath(), true);
    ASSERT_TRUE(addin.Loaded());
    std::string id = OpenOnEmulator(addin);
    ASSERT_TRUE(addin.Boolean("ClearGoods", {Text(Utf16(id))}));
    ASSERT_TRUE(addin.Boolean("Close", {Text(Utf16(id))}));

    std::string name = "portmon-korvan-scalesprn_" + id + ".log";
    ASSERT_EQ(FilesIn(addin.Folder(), name.c_str()).size(), 1u);
    std::string log = ReadFile(addin.Folder() + "\\" + name);
    std::string link = "ETHERNET: 127.0.0.1:" + std::to_string(EmulatorPort()) + "\r\n";
    EXPECT_NE(log.find("SYS      "), std::string::npos);
    EXPECT_NE(log.find(link), std::string::npos);
    EXPECT_NE(log.find("00001: 4F 50 45 4E"), std::string::npos);  // "OPEN"
    EXPECT_NE(log.find("OUT >>>>>"), std::string::npos);
    EXPECT_NE(log.find("IN <<<<<<"), std::string::npos);
    EXPECT_NE(log.find("Bytes:  259"), std::string::npos);
}

TEST_F(AddInUnderWine, NoMonitorFileWithoutTheMarker) {
    AddInUnderTest addin(DllPath(), false);
    ASSERT_TRUE(addin.Loaded());
    std::string id = OpenOnEmulator(addin);
    ASSERT_TRUE(addin.Boolean("ClearGoods", {Text(Utf16(id))}));
    EXPECT_TRUE(FilesIn(addin.Folder(), "portmon-*").empty());
}

}  // namespace

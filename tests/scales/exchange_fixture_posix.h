// A CScalesRongta1000 talking to the in-process scales emulator, with the
// clock fixed so that clock frames can be checked byte for byte.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "scales/rongta1000.h"
#include "tools/scales-emulator/emulator.h"

namespace scales_test {

inline transport::LocalTime FixedTime() {
    return {2024, 3, 5, 9, 7, 45, 0};
}

// Milliseconds an expression takes.
template <typename F>
long long ElapsedMs(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count();
}

// Frames of one kind the emulator received, in order.
inline std::vector<emu::ReceivedFrame> FramesOf(const emu::ScalesEmulator& e, emu::FrameKind kind) {
    std::vector<emu::ReceivedFrame> out;
    for (const emu::ReceivedFrame& f : e.Frames()) {
        if (f.kind == kind) out.push_back(f);
    }
    return out;
}

inline emu::Faults SilentFor(const std::string& kind) {
    emu::Faults f;
    f.failKind = kind;
    f.failReply = "silent";
    return f;
}

inline emu::Faults NegativeFor(const std::string& kind, int count = -1) {
    emu::Faults f;
    f.failKind = kind;
    f.failKindCount = count;
    return f;
}

// As the device table sets a scales object up: port kept open.
class ScalesOverUdp : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(emulator.StartUdp("127.0.0.1", 0));
        scales.SetTimeSource(FixedTime);
        scales.SetKeepOpen(1);
        ASSERT_EQ(scales.ConnectByEthernet("127.0.0.1", emulator.UdpPort(), 0), 0);
    }

    emu::ScalesEmulator emulator;
    CScalesRongta1000 scales;
};

}  // namespace scales_test

// Shared set-up of the end-to-end host tests: a fresh add-in object (through
// raw slots) and an in-process scales emulator on 127.0.0.1.
#pragma once

#include <string>
#include <vector>

#include "emulator.h"
#include "tests/host_abi/host_fixture.h"

namespace rawhost {

constexpr long kGetParameters = 3, kSetParameter = 4, kOpen = 5, kClose = 6, kDeviceTest = 7,
               kUploadGoods = 10, kClearGoods = 11, kConnectByEthernet = 12,
               kSendGoodToScalesV1 = 15, kSetPathDllFolder = 18, kSendMessageV1 = 20,
               kStartSendMessages = 21, kSendHotKeys = 22, kAddHotKey = 23,
               kPrepareSendHotKeys = 24;

const std::u16string kNoReplyText = u"Ошибка_3: Нет ответа от весов.";
const std::u16string kNegativeText = u"Ошибка_7: Ответ от весов получен негативный: FAIL.";
const std::u16string kNotFoundText = u"Ошибка_8: DeviceID не найден.";

class EndToEnd : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        ASSERT_TRUE(emulator_.StartUdp("127.0.0.1", 0));
    }

    bool SetParameter(const std::u16string& name, Variant value) {
        std::vector<Variant> params = {Wide(name), value};
        Variant result;
        return Call(kSetParameter, params, result) && result.boolean();
    }
    // The settings every host sends before Open: Ethernet to the emulator.
    void PointAtEmulator() {
        ASSERT_TRUE(SetParameter(u"conntype", I4(1)));
        ASSERT_TRUE(SetParameter(u"ehost", Wide(host_)));
        ASSERT_TRUE(SetParameter(u"eport", I4(emulator_.UdpPort())));
    }
    std::u16string Open() {
        std::vector<Variant> params(1);
        Variant result;
        EXPECT_TRUE(Call(kOpen, params, result));
        EXPECT_TRUE(result.boolean());
        return Take(params[0]);
    }
    // Calls a method whose parameters are all given; returns its Boolean.
    bool Run(long method, std::vector<Variant> params) {
        Variant result;
        EXPECT_TRUE(Call(method, params, result)) << method;
        EXPECT_EQ(result.tag(), kBool);
        return result.boolean();
    }
    bool Upload(const std::u16string& id, const std::u16string& document) {
        const std::u16string unused;
        return Run(kUploadGoods, {Wide(id), Wide(document), Wide(unused)});
    }

    std::u16string host_ = u"127.0.0.1";
    emu::ScalesEmulator emulator_;
};

}  // namespace rawhost

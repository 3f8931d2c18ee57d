// Scales object state without a device: identity, the monitor file it names,
// and what the connect operations refuse.
#include <gtest/gtest.h>

#include <string>

#include "scales/rongta1000.h"

TEST(ScalesObjectTest, DeviceIdentity) {
    CScalesRongta1000 scales;
    EXPECT_FALSE(scales.HasDeviceId(nullptr));
    EXPECT_TRUE(scales.HasDeviceId(""));  // never set
    EXPECT_EQ(scales.SetDeviceId(nullptr), 0);
    EXPECT_EQ(scales.SetDeviceId("0123456789ABCDEF0123"), 0);
    EXPECT_TRUE(scales.HasDeviceId("0123456789ABCDEF0123"));
    EXPECT_FALSE(scales.HasDeviceId("0123456789abcdef0123"));  // byte for byte
    EXPECT_FALSE(scales.HasDeviceId("0123456789ABCDEF012"));

    // Longer than the field: refused, nothing shortened.
    EXPECT_EQ(scales.SetDeviceId(std::string(254, 'A').c_str()), 1);
    EXPECT_TRUE(scales.HasDeviceId("0123456789ABCDEF0123"));
    EXPECT_EQ(scales.SetDeviceId(std::string(253, 'A').c_str()), 0);
    EXPECT_EQ(scales.DeviceId(), std::string(253, 'A'));
}

TEST(ScalesObjectTest, DeviceIdNamesTheMonitorFile) {
    CScalesRongta1000 scales;
    ASSERT_EQ(scales.SetDeviceId("ABC"), 0);
    const std::u16string path = scales.Port().MonitorPath();
    const std::u16string name = u"portmon-korvan-scalesprn_ABC.log";
    ASSERT_GT(path.size(), name.size());
    EXPECT_EQ(path.substr(path.size() - name.size()), name);
}

TEST(ScalesObjectTest, ConnectRefusesMissingOrOverlongTargets) {
    CScalesRongta1000 scales;
    EXPECT_EQ(scales.ConnectByRS232(nullptr, 9600), 1);
    EXPECT_EQ(scales.BaudRateSetting(), 4800);
    EXPECT_EQ(scales.ConnectByEthernet(nullptr, 5001, 0), 1);
    EXPECT_EQ(scales.NetworkPort(), 0);
    EXPECT_EQ(scales.ConnectByEthernet(std::string(254, 'h').c_str(), 5001, 0), 1);
    EXPECT_EQ(scales.ConnectByRS232(std::string(254, 'd').c_str(), 9600), 1);
    EXPECT_EQ(scales.Target(), "");
    EXPECT_EQ(scales.NetworkPort(), 0);
    EXPECT_EQ(scales.BaudRateSetting(), 4800);
}

// Scales types without messages accept them and do nothing.
TEST(ScalesObjectTest, BaseClassIgnoresMessages) {
    struct PlainScales : IScalesObject {
        int32_t ClearGoods() override { return 0; }
        int32_t StartSendMessages() override { return 0; }
        int32_t PrepareSendHotKeys() override { return 0; }
        int32_t AddHotKey(uint32_t, int32_t) override { return 0; }
        int32_t SendHotKeys() override { return 0; }
        int32_t SendGoodToScalesV1(const std::u16string&, const scales::GoodsFields&) override {
            return 9;
        }
        int32_t SendGood(const std::u16string&, int32_t, int32_t, int32_t, int32_t) override {
            return 9;
        }
    } plain;
    EXPECT_EQ(plain.SendMessageV1(1, u"text", 0), 0);
    EXPECT_EQ(plain.GetPortState(), 2);
}

// The slots nothing in the add-in calls still do what the interface says:
// the coefficient is stored and read back (1.0 until set), an outcome text
// can be set (a missing one changes nothing), and the RLS1000's two reserved
// slots give 0 and touch neither the port nor the state.
TEST(ScalesObjectTest, SlotsTheAddInDoesNotCall) {
    CScalesRongta1000 scales;
    EXPECT_EQ(scales.GetCoefficient(), 1.0);
    EXPECT_EQ(scales.SetCoefficient(0.001), 0);
    EXPECT_EQ(scales.GetCoefficient(), 0.001);

    EXPECT_EQ(scales.SetOutcomeText(u"Весы"), 0);
    EXPECT_EQ(scales.OutcomeText(), u"Весы");
    EXPECT_EQ(scales.SetOutcomeText(nullptr), 0);
    EXPECT_EQ(scales.OutcomeText(), u"Весы");

    EXPECT_EQ(scales.Reserved1(), 0);
    EXPECT_EQ(scales.Reserved2(), 0);
    EXPECT_EQ(scales.GetPortState(), 2);
    EXPECT_EQ(scales.OutcomeText(), u"Весы");
    EXPECT_EQ(scales.GetCoefficient(), 0.001);
    EXPECT_EQ(scales.Tally().replies + scales.Tally().staleDropped, 0u);
}

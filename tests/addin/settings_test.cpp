// The settings document, byte for byte, and how SetParameter stores settings.
#include <gtest/gtest.h>

#include <string>

#include "addin/settings_document.h"
#include "tests/addin/addin_support.h"
#include "text/codepage.h"

namespace addin_test {
namespace {

// The document as the host's equipment form reads it: UTF-8, CR LF, two
// spaces per level.
const char kExpectedDocument[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<Settings>\r\n"
    "  <Page Caption=\"Параметры\">\r\n"
    "    <Group Caption=\"Параметры подключения\">\r\n"
    "      <Parameter Name=\"conntype\" Caption=\"Тип подключения\" TypeValue=\"Number\" "
    "DefaultValue=\"1\">\r\n"
    "        <ChoiceList>\r\n"
    "          <Item Value=\"1\">Ethernet</Item>\r\n"
    "        </ChoiceList>\r\n"
    "      </Parameter>\r\n"
    "    </Group>\r\n"
    "    <Group Caption=\"Параметры Ethernet\">\r\n"
    "      <Parameter Name=\"ehost\" Caption=\"IP (Host)\" TypeValue=\"String\" "
    "DefaultValue=\"192.168.0.200\"/>\r\n"
    "      <Parameter Name=\"eport\" Caption=\"TCP/UDP порт\" TypeValue=\"Number\" "
    "DefaultValue=\"5001\"/>\r\n"
    "    </Group>\r\n"
    "    <Group Caption=\"Параметры Печати\">\r\n"
    "      <Parameter Name=\"etiknum\" Caption=\"Номер этикетки\" TypeValue=\"Number\" "
    "DefaultValue=\"0\">\r\n"
    "        <ChoiceList>\r\n"
    "          <Item Value=\"0\">D0 (по умолчанию)</Item>\r\n"
    "          <Item Value=\"1\">A0</Item>\r\n"
    "          <Item Value=\"2\">A1</Item>\r\n"
    "          <Item Value=\"4\">B0</Item>\r\n"
    "          <Item Value=\"8\">B1</Item>\r\n"
    "          <Item Value=\"16\">C0</Item>\r\n"
    "          <Item Value=\"32\">C1</Item>\r\n"
    "          <Item Value=\"64\">D0</Item>\r\n"
    "          <Item Value=\"128\">D1</Item>\r\n"
    "        </ChoiceList>\r\n"
    "      </Parameter>\r\n"
    "      <Parameter Name=\"etikdep\" Caption=\"Номер отдела (0-99)\" TypeValue=\"Number\" "
    "DefaultValue=\"28\"/>\r\n"
    "      <Parameter Name=\"etikbarcode\" Caption=\"Номер формата штрих кода\" "
    "TypeValue=\"Number\" DefaultValue=\"7\"/>\r\n"
    "      <Parameter Name=\"etikodv\" Caption=\"Единица измерения веса\" TypeValue=\"Number\" "
    "DefaultValue=\"4\">\r\n"
    "        <ChoiceList>\r\n"
    "          <Item Value=\"0\">50g</Item>\r\n"
    "          <Item Value=\"1\">g</Item>\r\n"
    "          <Item Value=\"2\">10g</Item>\r\n"
    "          <Item Value=\"3\">100g</Item>\r\n"
    "          <Item Value=\"4\">kg</Item>\r\n"
    "          <Item Value=\"5\">oz</Item>\r\n"
    "          <Item Value=\"6\">lb</Item>\r\n"
    "          <Item Value=\"7\">500g</Item>\r\n"
    "          <Item Value=\"8\">600g</Item>\r\n"
    "          <Item Value=\"9\">pcs-g</Item>\r\n"
    "          <Item Value=\"10\">pcs-kg</Item>\r\n"
    "          <Item Value=\"11\">pcs-oz</Item>\r\n"
    "          <Item Value=\"12\">pcs-lb</Item>\r\n"
    "        </ChoiceList>\r\n"
    "      </Parameter>\r\n"
    "    </Group>\r\n"
    "  </Page>\r\n"
    "</Settings>\r\n";

TEST(SettingsDocument, ExactBytes) {
    const std::string utf8 = text::Utf16ToUtf8(addin::SettingsDocument());
    EXPECT_EQ(utf8, kExpectedDocument);
    EXPECT_EQ(utf8.size(), 2222u);
    EXPECT_EQ(utf8.rfind("<?xml", 0), 0u);  // no byte-order mark before it
}

class SetParameterTest : public DriverTest {
  protected:
    DeviceSettings& Settings() { return driver_.Devices().Settings(); }
};

TEST_F(SetParameterTest, StoresEachSettingByExactName) {
    const std::u16string conntype = u"conntype", ehost = u"ehost", host = u"scales.invalid",
                         eport = u"eport", etiknum = u"etiknum", etikdep = u"etikdep",
                         etikbarcode = u"etikbarcode", etikodv = u"etikodv";
    EXPECT_TRUE(Run(kSetParameter, {Wide(conntype), I4(1)}));
    EXPECT_TRUE(Run(kSetParameter, {Wide(ehost), Wide(host)}));
    EXPECT_TRUE(Run(kSetParameter, {Wide(eport), I4(9100)}));
    EXPECT_TRUE(Run(kSetParameter, {Wide(etiknum), I4(64)}));
    EXPECT_TRUE(Run(kSetParameter, {Wide(etikdep), I4(150)}));  // no range check
    EXPECT_TRUE(Run(kSetParameter, {Wide(etikbarcode), I4(3)}));
    EXPECT_TRUE(Run(kSetParameter, {Wide(etikodv), I4(-1)}));
    EXPECT_EQ(Settings().connection, scales::ConnectionKind::kEthernet);
    EXPECT_EQ(Settings().ethernetHost, host);
    EXPECT_EQ(Settings().ethernetPort, 9100);
    EXPECT_EQ(Settings().labels.labelNumber, 64);
    EXPECT_EQ(Settings().labels.department, 150);
    EXPECT_EQ(Settings().labels.barcodeFormat, 3);
    EXPECT_EQ(Settings().labels.weightMeasure, -1);
}

// "conntype" 0 is the serial line and any other number the network, read
// as every number setting is (by its tag, a fraction truncated).
TEST_F(SetParameterTest, ConnectionTypeZeroIsSerialAnyOtherEthernet) {
    const std::u16string conntype = u"conntype";
    const struct {
        tVariant value;
        scales::ConnectionKind kind;
    } cases[] = {
        {I4(0), scales::ConnectionKind::kSerial},
        {I4(1), scales::ConnectionKind::kEthernet},
        {I4(2), scales::ConnectionKind::kEthernet},
        {I4(-1), scales::ConnectionKind::kEthernet},
        {R8Value(0.9), scales::ConnectionKind::kSerial},
    };
    for (const auto& c : cases) {
        Settings().connection = c.kind == scales::ConnectionKind::kSerial
                                    ? scales::ConnectionKind::kEthernet
                                    : scales::ConnectionKind::kSerial;
        EXPECT_TRUE(Run(kSetParameter, {Wide(conntype), c.value}));
        EXPECT_EQ(Settings().connection, c.kind) << c.value.vt << " " << c.value.lVal;
    }
}

// Names are exact; a name given as 8-bit text and a number given with a
// fraction are read all the same.
TEST_F(SetParameterTest, UnknownNamesStoreNothing) {
    const std::u16string upper = u"EHOST", port = u"eport";
    const std::string narrowPort = "eport";
    EXPECT_TRUE(Run(kSetParameter, {Wide(upper), Wide(upper)}));
    EXPECT_EQ(Settings().ethernetHost, u"");
    EXPECT_TRUE(Run(kSetParameter, {Narrow(narrowPort), I4(6000)}));
    EXPECT_EQ(Settings().ethernetPort, 6000);
    EXPECT_TRUE(Run(kSetParameter, {Wide(port), R8Value(5001.9)}));
    EXPECT_EQ(Settings().ethernetPort, 5001);
}

TEST_F(SetParameterTest, WrongTypesFailTheCall) {
    const std::u16string ehost = u"ehost";
    std::vector<tVariant> numberName = {I4(1), I4(2)};
    EXPECT_FALSE(Call(kSetParameter, numberName));
    std::vector<tVariant> numberHost = {Wide(ehost), I4(2)};
    EXPECT_FALSE(Call(kSetParameter, numberHost));
    EXPECT_EQ(result_.vt, VTYPE_I4);  // nothing written
    std::vector<tVariant> tooFew = {Wide(ehost)};
    EXPECT_FALSE(Call(kSetParameter, tooFew));
}

}  // namespace
}  // namespace addin_test

// The driver end to end: the host's calls through raw slots, the library's
// UDP link, and the in-process scales emulator on 127.0.0.1.
#include <string>
#include <vector>

#include "decoder.h"
#include "tests/host_abi/end_to_end_fixture.h"

namespace rawhost {
namespace {

// The PLU of every goods record the emulator received, in the order it
// received them, each read by the emulator's own decoder.
std::vector<uint64_t> PlusReceived(const emu::ScalesEmulator& emulator) {
    std::vector<uint64_t> plus;
    for (const emu::ReceivedFrame& frame : emulator.Frames()) {
        if (frame.kind != emu::FrameKind::kGoods) continue;
        emu::FrameDecoder decoder;
        decoder.Decode(frame.bytes.data(), frame.bytes.size());
        for (const auto& good : decoder.GetState().goods) plus.push_back(good.first);
    }
    return plus;
}

TEST_F(EndToEnd, OpenWithSettingsRegistersAndTestsTheLink) {
    PointAtEmulator();
    const std::u16string id = Open();
    ASSERT_EQ(id.size(), 20u);
    EXPECT_EQ(id.find_first_not_of(u"0123456789ABCDEF"), std::u16string::npos);
    std::u16string text;
    EXPECT_EQ(LastError(&text), 0u);
    EXPECT_EQ(text, u"OK");
    EXPECT_NE(Open(), id);
    EXPECT_TRUE(Run(kClose, {Wide(id)}));
}

TEST_F(EndToEnd, UploadGoodsSendsEveryGoodInOrder) {
    PointAtEmulator();
    const std::u16string id = Open();
    // Document order is neither the order of the PLUs nor its reverse.
    const std::u16string document =
        u"<Goods>"
        u"<Good PLU=\"2\" Code=\"102\" Name=\"Сыр\" Price=\"19.99\"/>"
        u"<Good PLU=\"1\" Code=\"101\" Name=\"Молоко пастеризованное 3,2% 1 литр в пакете\" "
        u"Price=\"1 234,56\" ShelfLife=\"5\"/>"
        u"<Good PLU=\"4\" Code=\"104\" Name=\"Кефир\" Price=\"70\"/>"
        u"<Good PLU=\"3\" Code=\"103\" Name=\"Колбаса докторская высшего сорта весовая\" "
        u"Price=\"0,1\" ShelfLife=\"30\"/>"
        u"</Goods>";
    EXPECT_TRUE(Upload(id, document));
    EXPECT_EQ(LastError(), 0u);
    EXPECT_EQ(PlusReceived(emulator_), (std::vector<uint64_t>{2, 1, 4, 3}));
    const emu::State state = emulator_.Snapshot();
    ASSERT_EQ(state.goods.size(), 4u);
    EXPECT_EQ(state.goods.at(1).nameUtf8, "Молоко пастеризованное 3,2% 1 литр в пакете");
    EXPECT_EQ(state.goods.at(1).price, 123456u);
    EXPECT_EQ(state.goods.at(1).code, 101u);
    EXPECT_EQ(state.goods.at(1).shelfLife, 5u);
    EXPECT_EQ(state.goods.at(2).price, 1999u);
    EXPECT_EQ(state.goods.at(3).price, 10u);
    EXPECT_EQ(state.goods.at(3).nameUtf8, "Колбаса докторская высшего сорта весовая");
    // The table's label settings went with every good.
    EXPECT_EQ(state.goods.at(2).department, 28);
    EXPECT_EQ(state.goods.at(2).barcodeFormat, 7);
    EXPECT_EQ(state.goods.at(2).weightMeasure, 4);
}

// The second good's name continuation gets no reply: the good fails, the walk
// stops, and the third good never reaches the scales.  The text says which
// good failed and how many were programmed before it.
TEST_F(EndToEnd, FailingGoodStopsTheWalk) {
    PointAtEmulator();
    const std::u16string id = Open();
    emu::Faults faults;
    faults.failKind = "continuation";
    faults.failReply = "silent";
    emulator_.SetFaults(faults);
    const std::u16string document =
        u"<Goods>"
        u"<Good PLU=\"11\" Code=\"11\" Name=\"Хлеб\" Price=\"45\"/>"
        u"<Good PLU=\"12\" Code=\"12\" Name=\"Сметана фермерская 20% жирности стакан 300 г\" "
        u"Price=\"99,90\"/>"
        u"<Good PLU=\"13\" Code=\"13\" Name=\"Творог\" Price=\"150\"/>"
        u"</Goods>";
    EXPECT_FALSE(Upload(id, document));
    std::u16string text;
    EXPECT_EQ(LastError(&text), 3u);
    EXPECT_EQ(text, kNoReplyText +
                        u" Товар № 2 из 3 (строка 1, PLU=\"12\", Name=\"Сметана фермерская 20% "
                        u"жирности стакан 300 г\") не запрограммирован; до него запрограммировано "
                        u"товаров: 1.");
    const emu::State state = emulator_.Snapshot();
    EXPECT_EQ(state.goods.count(11), 1u);
    EXPECT_EQ(state.goods.count(13), 0u);
    for (const emu::ReceivedFrame& frame : emulator_.Frames()) {
        if (frame.kind != emu::FrameKind::kGoods) continue;
        EXPECT_EQ(frame.description.find("Творог"), std::string::npos) << frame.description;
    }
}

TEST_F(EndToEnd, EmptyOrBrokenDocumentSendsNothing) {
    PointAtEmulator();
    const std::u16string id = Open();
    const uint64_t before = emulator_.Snapshot().framesReceived;
    EXPECT_TRUE(Upload(id, u"<Goods/>"));
    EXPECT_TRUE(Upload(id, u"<Goods>\r\n  text only\r\n</Goods>"));
    EXPECT_EQ(emulator_.Snapshot().framesReceived, before);
    // A document for a DeviceID nobody registered: the first good finds none.
    EXPECT_FALSE(Upload(u"00000000000000000000", u"<G><Good PLU=\"1\"/></G>"));
    EXPECT_EQ(LastError(), 8u);
}

TEST_F(EndToEnd, DeviceTestProgramsTheDemoGoodAndLeavesNoError) {
    PointAtEmulator();
    std::vector<Variant> params = {Variant(), I4(42)};
    Variant result;
    ASSERT_TRUE(Call(kDeviceTest, params, result));
    EXPECT_TRUE(result.boolean());
    EXPECT_EQ(Take(params[0]),
              u"В весы запрограммирован товар 'Банан' под кодом 10001. Цена 123,45.");
    EXPECT_EQ(params[1].i4(), 42);  // left as the host passed it
    EXPECT_EQ(LastError(), 0u);
    const emu::State state = emulator_.Snapshot();
    ASSERT_EQ(state.goods.count(10001), 1u);
    EXPECT_EQ(state.goods.at(10001).nameUtf8, "Банан");
    EXPECT_EQ(state.goods.at(10001).price, 12345u);
    EXPECT_EQ(state.goods.at(10001).shelfLife, 10u);
}

TEST_F(EndToEnd, DeviceTestReportsFailureInTheTextOnly) {
    PointAtEmulator();
    emu::Faults faults;
    faults.negative = true;
    emulator_.SetFaults(faults);
    std::vector<Variant> params(2);
    Variant result;
    ASSERT_TRUE(Call(kDeviceTest, params, result));
    EXPECT_FALSE(result.boolean());
    EXPECT_EQ(Take(params[0]), kNegativeText);
    EXPECT_EQ(LastError(), 0u);
}

TEST_F(EndToEnd, ClearMessagesHotKeysAndClose) {
    PointAtEmulator();
    const std::u16string id = Open();
    ASSERT_TRUE(Upload(id, u"<G><Good PLU=\"5\" Code=\"5\" Name=\"Чай\" Price=\"10\"/></G>"));
    EXPECT_EQ(emulator_.Snapshot().goods.size(), 1u);
    EXPECT_TRUE(Run(kClearGoods, {Wide(id)}));
    EXPECT_TRUE(emulator_.Snapshot().goods.empty());

    const std::u16string message = u"Добро пожаловать";
    EXPECT_TRUE(Run(kStartSendMessages, {Wide(id)}));
    EXPECT_TRUE(Run(kSendMessageV1, {Wide(id), I4(1), Wide(message), I4(20)}));
    const emu::State afterMessage = emulator_.Snapshot();
    ASSERT_EQ(afterMessage.messages.count(1), 1u);
    EXPECT_EQ(afterMessage.messages.at(1).at(0), "Добро пожаловать");

    EXPECT_TRUE(Run(kPrepareSendHotKeys, {Wide(id)}));
    EXPECT_TRUE(Run(kAddHotKey, {Wide(id), I4(10001), I4(1)}));
    EXPECT_TRUE(Run(kAddHotKey, {Wide(id), I4(20002), I4(2)}));
    EXPECT_TRUE(Run(kSendHotKeys, {Wide(id)}));
    const emu::State afterKeys = emulator_.Snapshot();
    ASSERT_GE(afterKeys.hotKeys.size(), 2u);
    EXPECT_EQ(afterKeys.hotKeys[0], 10001u);
    EXPECT_EQ(afterKeys.hotKeys[1], 20002u);
    EXPECT_FALSE(Run(kAddHotKey, {Wide(id), I4(1), I4(301)}));
    EXPECT_EQ(LastError(), 131u);

    EXPECT_TRUE(Run(kClose, {Wide(id)}));
    EXPECT_EQ(LastError(), 0u);
    EXPECT_FALSE(Run(kClearGoods, {Wide(id)}));
    std::u16string text;
    EXPECT_EQ(LastError(&text), 8u);
    EXPECT_EQ(text, kNotFoundText);
}

TEST_F(EndToEnd, SendGoodWithEveryField) {
    PointAtEmulator();
    const std::u16string id = Open();
    const std::u16string name = u"Сосиски";
    std::vector<Variant> params = {Wide(id), Wide(name)};
    // code, PLU, label number, label extra, department, barcode, price,
    // weight unit, shelf life, extra 1..4
    for (int32_t field : {777, 77, 2, 0, 12, 5, 45678, 1, 14, 0, 0, 0, 0})
        params.push_back(I4(field));
    Variant result;
    ASSERT_TRUE(Call(kSendGoodToScalesV1, params, result));
    EXPECT_TRUE(result.boolean());
    const emu::State state = emulator_.Snapshot();
    ASSERT_EQ(state.goods.count(77), 1u);
    const emu::Good& good = state.goods.at(77);
    EXPECT_EQ(good.code, 777u);
    EXPECT_EQ(good.labelNumber, 2);
    EXPECT_EQ(good.department, 12);
    EXPECT_EQ(good.barcodeFormat, 5);
    EXPECT_EQ(good.price, 45678u);
    EXPECT_EQ(good.weightMeasure, 1);
    EXPECT_EQ(good.shelfLife, 14u);
}

TEST_F(EndToEnd, ConnectByEthernetWithPortAndReRegistration) {
    const std::u16string id = u"SCALES-1";
    const std::u16string address = u"127.0.0.1:" + [&] {
        std::u16string port;
        for (char c : std::to_string(emulator_.UdpPort())) port.push_back(c);
        return port;
    }();
    EXPECT_TRUE(Run(kConnectByEthernet, {Wide(id), Wide(address)}));
    EXPECT_TRUE(Run(kConnectByEthernet, {Wide(id), Wide(address)}));
    EXPECT_TRUE(Run(kClearGoods, {Wide(id)}));
    EXPECT_TRUE(Run(kClose, {Wide(id)}));
    EXPECT_FALSE(Run(kClearGoods, {Wide(id)}));  // both registrations are gone
    // Registered again under the same DeviceID after Close.
    EXPECT_TRUE(Run(kConnectByEthernet, {Wide(id), Wide(address)}));
    EXPECT_TRUE(Run(kClearGoods, {Wide(id)}));
    const std::u16string tooLong(254, u'A');
    EXPECT_FALSE(Run(kConnectByEthernet, {Wide(tooLong), Wide(address)}));
    EXPECT_EQ(LastError(), 1u);
}

TEST_F(EndToEnd, WrongTypeStringParametersFailTheCallUntouched) {
    PointAtEmulator();
    const std::u16string id = Open();
    const std::u16string nobody = u"nobody", ehost = u"ehost", empty = u"<G/>";
    ASSERT_TRUE(Run(kClose, {Wide(nobody)}));  // last error 0
    Variant result = I4(9);
    std::vector<Variant> setName = {I4(1), I4(1)};
    EXPECT_FALSE(Call(kSetParameter, setName, result));
    std::vector<Variant> setHost = {Wide(ehost), I4(1)};
    EXPECT_FALSE(Call(kSetParameter, setHost, result));
    std::vector<Variant> clear = {I4(0)};
    EXPECT_FALSE(Call(kClearGoods, clear, result));
    std::vector<Variant> upload = {Wide(id), Wide(empty), R8(1.5)};
    EXPECT_FALSE(Call(kUploadGoods, upload, result));
    std::vector<Variant> folder = {Bool(true)};
    EXPECT_FALSE(Call(kSetPathDllFolder, folder, result));
    EXPECT_EQ(result.tag(), kI4);  // nothing written
    EXPECT_EQ(LastError(), 0u);
    EXPECT_EQ(emulator_.Snapshot().framesReceived, 0u);
    // A null string pointer reads as an empty text; a PSTR is text too.
    Variant nullText;
    nullText.setTag(kPwstr);
    EXPECT_FALSE(Run(kClearGoods, {nullText}));
    EXPECT_EQ(LastError(), 8u);
    const std::string narrowId(id.begin(), id.end());
    EXPECT_TRUE(Run(kClearGoods, {Narrow(narrowId)}));
}

TEST_F(EndToEnd, SettingsDocumentReachesTheHost) {
    std::vector<Variant> params(1);
    Variant result;
    ASSERT_TRUE(Call(kGetParameters, params, result));
    EXPECT_TRUE(result.boolean());
    const std::u16string document = Take(params[0]);
    EXPECT_EQ(document.rfind(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Settings>\r\n", 0),
              0u);
    size_t count = 0;
    for (size_t at = document.find(u"<Parameter "); at != std::u16string::npos;
         at = document.find(u"<Parameter ", at + 1)) {
        ++count;
    }
    EXPECT_EQ(count, 7u);
}

}  // namespace
}  // namespace rawhost

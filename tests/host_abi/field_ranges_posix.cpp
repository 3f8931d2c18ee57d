// Values the scales' fields cannot hold, through the host's methods: the call
// reports the field's error and nothing at all reaches the scales (not even
// the clock frame); the ends of each range are stored exactly.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/host_abi/end_to_end_fixture.h"

namespace rawhost {
namespace {

std::u16string Utf16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

class FieldRanges : public EndToEnd {
  protected:
    void SetUp() override {
        EndToEnd::SetUp();
        PointAtEmulator();
        id_ = Open();
    }
    // The call failed with `code`, its text is that code's, and the scales
    // received nothing.
    void ExpectRefused(int32_t code, uint64_t framesBefore) {
        std::u16string text;
        EXPECT_EQ(LastError(&text), static_cast<uint32_t>(code));
        EXPECT_EQ(text.rfind(u"Ошибка_" + Utf16(std::to_string(code)) + u": ", 0), 0u)
            << std::string(text.begin(), text.end());
        EXPECT_EQ(emulator_.FramesReceived(), framesBefore);
    }

    std::u16string id_;
};

struct GoodField {
    const char* name;
    int parameter;  // among the thirteen integers, from 0
    int32_t largest;
    int32_t error;
    std::function<int64_t(const emu::Good&)> stored;
};

// Host parameters 3 to 15 of SendGoodToScalesV1, in order.
const GoodField kGoodFields[] = {
    {"code", 0, 999999, 132, [](const emu::Good& g) { return g.code; }},
    {"PLU", 1, INT32_MAX, 133, [](const emu::Good& g) { return static_cast<int64_t>(g.plu); }},
    {"label number", 2, 255, 136, [](const emu::Good& g) { return g.labelNumber; }},
    {"label extra", 3, 255, 137, [](const emu::Good& g) { return g.labelExtra; }},
    {"department", 4, 99, 135, [](const emu::Good& g) { return g.department; }},
    {"barcode format", 5, 255, 138, [](const emu::Good& g) { return g.barcodeFormat; }},
    {"price", 6, 99999999, 4, [](const emu::Good& g) { return g.price; }},
    {"weight unit", 7, 255, 139, [](const emu::Good& g) { return g.weightMeasure; }},
    {"shelf life", 8, 65535, 134, [](const emu::Good& g) { return g.shelfLife; }},
    // Above 255, extra1 is bytes 50 and 51 as one 16-bit number.
    {"extra1", 9, 65535, 140, [](const emu::Good& g) { return g.extra1 | g.extra2 << 8; }},
    {"extra2", 10, 255, 141, [](const emu::Good& g) { return g.extra2; }},
    {"extra3", 11, 999999, 142, [](const emu::Good& g) { return g.extra3; }},
    {"extra4", 12, 999999, 143, [](const emu::Good& g) { return g.extra4; }},
};

constexpr int32_t kPlu = 5;

TEST_F(FieldRanges, SendGoodToScalesV1EndsStoredBeyondRefused) {
    const std::u16string name = u"Товар";
    for (const GoodField& field : kGoodFields) {
        SCOPED_TRACE(field.name);
        std::vector<int64_t> values = {0, field.largest, -1, INT32_MIN};
        if (field.largest < INT32_MAX) values.push_back(int64_t{field.largest} + 1);
        for (int64_t value : values) {
            SCOPED_TRACE(value);
            // code 1, PLU 5, department 1, barcode 7, price 1.00, unit kg, 1 day
            int32_t numbers[13] = {1, kPlu, 0, 0, 1, 7, 100, 4, 1, 0, 0, 0, 0};
            numbers[field.parameter] = static_cast<int32_t>(value);
            std::vector<Variant> params = {Wide(id_), Wide(name)};
            for (int32_t number : numbers) params.push_back(I4(number));
            const uint64_t before = emulator_.FramesReceived();
            const bool fits = value >= 0 && value <= field.largest;
            EXPECT_EQ(Run(kSendGoodToScalesV1, params), fits);
            if (!fits) {
                ExpectRefused(field.error, before);
                continue;
            }
            const emu::State state = emulator_.Snapshot();
            const uint64_t plu = static_cast<uint64_t>(numbers[1]);
            ASSERT_EQ(state.goods.count(plu), 1u);
            EXPECT_EQ(field.stored(state.goods.at(plu)), value);
        }
    }
}

// A number beyond 32 bits (a barcode given as the PLU) reaches the add-in as
// a floating-point value; it is refused, not clamped to PLU 2147483647.
TEST_F(FieldRanges, PluBeyond32BitsIsRefused) {
    const std::u16string name = u"Товар";
    std::vector<Variant> params = {Wide(id_), Wide(name), I4(1), R8(4601234567890.0)};
    for (int32_t number : {0, 0, 1, 7, 100, 4, 1, 0, 0, 0, 0}) params.push_back(I4(number));
    EXPECT_FALSE(Run(kSendGoodToScalesV1, params));
    ExpectRefused(133, 0);
}

// A good whose values all fit is sent; one that does not stops the upload
// before its clock frame, as a failed good does.
class UploadRanges : public FieldRanges {
  protected:
    // Uploads one good; true when it went through.
    bool UploadOne(const std::u16string& attributes) {
        return Upload(id_, u"<Goods><Good Name=\"Товар\" " + attributes + u"/></Goods>");
    }
};

std::string Ascii(const char16_t* text) {
    const std::u16string wide(text);
    return std::string(wide.begin(), wide.end());
}

TEST_F(UploadRanges, DocumentNumbersAtTheEndsAreStoredExactly) {
    const struct {
        const char16_t* attributes;
        uint64_t plu;
        std::function<int64_t(const emu::Good&)> stored;
        int64_t expected;
    } cases[] = {
        {u"PLU=\"1\" Code=\"999999\"", 1, [](const emu::Good& g) { return g.code; }, 999999},
        {u"PLU=\"1\" Code=\"0\"", 1, [](const emu::Good& g) { return g.code; }, 0},
        {u"PLU=\"2147483647\"", 2147483647, [](const emu::Good& g) { return g.plu; }, 2147483647},
        {u"PLU=\"3\" Price=\"999999,99\"", 3, [](const emu::Good& g) { return g.price; }, 99999999},
        {u"PLU=\"3\" Price=\"0\"", 3, [](const emu::Good& g) { return g.price; }, 0},
        {u"PLU=\"4\" ShelfLife=\"65535\"", 4, [](const emu::Good& g) { return g.shelfLife; },
         65535},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Ascii(c.attributes));
        EXPECT_TRUE(UploadOne(c.attributes));
        const emu::State state = emulator_.Snapshot();
        ASSERT_EQ(state.goods.count(c.plu), 1u);
        EXPECT_EQ(c.stored(state.goods.at(c.plu)), c.expected);
    }
}

TEST_F(UploadRanges, DocumentNumbersBeyondTheEndsAreRefused) {
    const struct {
        const char16_t* attributes;
        int32_t error;
    } cases[] = {
        {u"PLU=\"1\" Code=\"1234567\"", 132},
        {u"PLU=\"1\" Code=\"-1\"", 132},
        {u"PLU=\"-1\"", 133},
        {u"PLU=\"4294967297\"", 133},  // not PLU 1
        {u"PLU=\"3\" Price=\"1000000,00\"", 4},
        {u"PLU=\"3\" Price=\"-5,00\"", 4},
        {u"PLU=\"3\" Price=\"99999999999999\"", 4},
        {u"PLU=\"4\" ShelfLife=\"65536\"", 134},
        {u"PLU=\"4\" ShelfLife=\"-1\"", 134},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Ascii(c.attributes));
        const uint64_t before = emulator_.FramesReceived();
        EXPECT_FALSE(UploadOne(c.attributes));
        ExpectRefused(c.error, before);
    }
    EXPECT_TRUE(emulator_.Snapshot().goods.empty());
}

// The label settings go into every good sent by UploadGoods; a setting the
// record cannot hold is refused with the good, by the same rule.
TEST_F(UploadRanges, LabelSettingsFollowTheSameRule) {
    const struct {
        const char16_t* setting;
        int32_t largest;
        int32_t error;
        std::function<int64_t(const emu::Good&)> stored;
    } cases[] = {
        {u"etiknum", 255, 136, [](const emu::Good& g) { return g.labelNumber; }},
        {u"etikdep", 99, 135, [](const emu::Good& g) { return g.department; }},
        {u"etikbarcode", 255, 138, [](const emu::Good& g) { return g.barcodeFormat; }},
        {u"etikodv", 255, 139, [](const emu::Good& g) { return g.weightMeasure; }},
    };
    for (const auto& c : cases) {
        for (int64_t value :
             {int64_t{0}, int64_t{c.largest}, int64_t{c.largest} + 1, int64_t{-1}}) {
            SCOPED_TRACE(Ascii(c.setting) + " " + std::to_string(value));
            ASSERT_TRUE(SetParameter(c.setting, I4(static_cast<int32_t>(value))));
            id_ = Open();  // settings reach scales registered after them
            const uint64_t before = emulator_.FramesReceived();
            const bool fits = value >= 0 && value <= c.largest;
            EXPECT_EQ(UploadOne(u"PLU=\"9\""), fits);
            if (fits) {
                EXPECT_EQ(c.stored(emulator_.Snapshot().goods.at(9)), value);
            } else {
                ExpectRefused(c.error, before);
            }
            ASSERT_TRUE(SetParameter(c.setting, I4(0)));
        }
    }
}

// DeviceTest shows a label setting the record cannot hold in its description,
// before anything reaches the scales.
TEST_F(FieldRanges, DeviceTestNamesTheBadSetting) {
    ASSERT_TRUE(SetParameter(u"etikdep", I4(123)));
    const uint64_t before = emulator_.FramesReceived();
    std::vector<Variant> params(2);
    Variant result;
    ASSERT_TRUE(Call(kDeviceTest, params, result));
    EXPECT_FALSE(result.boolean());
    EXPECT_EQ(Take(params[0]), u"Ошибка_135: Номер отдела должен быть от 0 до 99.");
    EXPECT_EQ(emulator_.FramesReceived(), before);
    EXPECT_EQ(LastError(), 0u);
}

}  // namespace
}  // namespace rawhost

// Fuzzes the host boundary the way a careless host would call it: every
// method number (and some outside the table) through CallAsFunc, with random
// type tags, null and valid string pointers, random lengths that never reach
// past the buffers this program owns, too few parameters, a memory manager
// that sometimes refuses, and random goods documents, whose numbers are
// mostly written in forms the document check takes, so that goods reach the
// scales as well as being refused.
//
// Network safety: every address an input could reach is rewritten before the
// call to the in-process scales emulator on 127.0.0.1 (the "ehost"/"eport"
// settings and ConnectByEthernet's address), and a serial connection can only
// name a device under a temporary folder that does not exist.  No input can
// send a datagram or a name query anywhere else.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "addin/addin_native.h"
#include "emulator.h"

namespace {

constexpr long kMethodNumbers = 27;  // two past the table's end
constexpr int kMaxCallsPerInput = 8;
constexpr int kMaxParams = 16;
constexpr size_t kMaxTextUnits = 300;  // past the 253 characters a DeviceID may have
constexpr int kMaxGoods = 6;
constexpr uint16_t kMaxTag = 30;  // a few past the last known tag
constexpr long kOpen = 5, kConnectByEthernet = 12;
const char kMissingSerialDevice[] = "/tmp/rls-dispatch-fuzz-missing/ttyRLS";

emu::ScalesEmulator& Emulator() {
    static emu::ScalesEmulator* emulator = [] {
        auto* e = new emu::ScalesEmulator();
        if (!e->StartUdp("127.0.0.1", 0)) std::abort();  // never fuzz without the stand-in
        return e;
    }();
    return *emulator;
}

std::u16string EmulatorAddress() {
    std::u16string address = u"127.0.0.1:";
    for (char c : std::to_string(Emulator().UdpPort())) address.push_back(c);
    return address;
}

// The host's allocator: counts, may refuse, and frees whatever is left at the
// end of an input as the host would.
class FuzzMemory : public IMemoryManager {
  public:
    ~FuzzMemory() {
        for (void* block : blocks_) ::operator delete(block);
    }
    bool ADDIN_API AllocMemory(void** out, unsigned long bytes) override {
        if (refuse_) return false;
        *out = ::operator new(bytes);
        blocks_.push_back(*out);
        return true;
    }
    void ADDIN_API FreeMemory(void** block) override { *block = nullptr; }
    void Refuse(bool refuse) { refuse_ = refuse; }

  private:
    std::vector<void*> blocks_;
    bool refuse_ = false;
};

// Owns every buffer a variant points into until the input is done.
struct Buffers {
    std::vector<std::unique_ptr<WCHAR_T[]>> wide;
    std::vector<std::unique_ptr<char[]>> narrow;
};

void PointAtWide(tVariant& v, const std::u16string& text, Buffers& buffers, uint32_t length) {
    // Exactly text.size() units and no terminator: a read past the length
    // the host gave runs into the sanitizer.
    auto units = std::make_unique<WCHAR_T[]>(text.size() + 1);
    for (size_t i = 0; i < text.size(); ++i) units[i] = static_cast<WCHAR_T>(text[i]);
    v.pwstrVal = units.get();
    v.wstrLen = length;
    v.vt = VTYPE_PWSTR;
    buffers.wide.push_back(std::move(units));
}

std::u16string RandomText(FuzzedDataProvider& in, const std::u16string& knownId) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            return knownId;  // reach a registered device
        case 1: {
            static const char16_t* kNames[] = {u"conntype", u"ehost",   u"eport",
                                               u"etiknum",  u"etikdep", u"etikbarcode",
                                               u"etikodv",  u"EHOST",   u""};
            return kNames[in.ConsumeIntegralInRange<size_t>(0, 8)];
        }
        default: {
            std::u16string text;
            const size_t units = in.ConsumeIntegralInRange<size_t>(0, kMaxTextUnits);
            for (size_t i = 0; i < units && in.remaining_bytes() > 0; ++i) {
                text.push_back(in.ConsumeIntegral<char16_t>());
            }
            return text;
        }
    }
}

// A number as a goods document may write it: mostly in a form the check
// takes (thousands apart by a space or a no-break space, a decimal comma or
// point), so that goods get through it to the scales; sometimes any text.
std::u16string RandomNumberText(FuzzedDataProvider& in) {
    if (in.ConsumeIntegralInRange<int>(0, 3) == 0) return RandomText(in, u"");
    static const char16_t* const kSpaces[] = {u"", u" ", u"\u00A0", u"\u202F"};
    constexpr uint32_t kLargest = 99999999;
    const std::string digits = std::to_string(in.ConsumeIntegralInRange<uint32_t>(0, kLargest));
    const char16_t* space = kSpaces[in.ConsumeIntegralInRange<size_t>(0, 3)];
    std::u16string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += space;
        text.push_back(static_cast<char16_t>(digits[i]));
    }
    if (in.ConsumeBool()) text += in.ConsumeBool() ? u",99" : u".5";
    return text;
}

std::u16string RandomGoodsDocument(FuzzedDataProvider& in) {
    std::u16string doc = u"<Goods>";
    const int goods = in.ConsumeIntegralInRange<int>(0, kMaxGoods);
    for (int i = 0; i < goods; ++i) {
        doc += u"<Good PLU=\"" + RandomNumberText(in) + u"\" Code=\"" + RandomNumberText(in);
        doc += u"\" Name=\"" + RandomText(in, u"") + u"\" Price=\"" + RandomNumberText(in);
        doc += u"\" ShelfLife=\"" + RandomNumberText(in) + u"\"/>";
    }
    return doc + u"</Goods>";
}

void FillString(tVariant& v, FuzzedDataProvider& in, Buffers& buffers, const std::u16string& text,
                bool wide) {
    const uint32_t length = in.ConsumeIntegralInRange<uint32_t>(0, text.size());
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {  // a null pointer with a length
        v.vt = wide ? VTYPE_PWSTR : VTYPE_PSTR;
        v.wstrLen = length;
        return;
    }
    if (wide) return PointAtWide(v, text, buffers, length);
    auto bytes = std::make_unique<char[]>(text.size() + 1);
    for (size_t i = 0; i < text.size(); ++i) bytes[i] = static_cast<char>(text[i]);
    v.pstrVal = bytes.get();
    v.strLen = length;
    v.vt = VTYPE_PSTR;
    buffers.narrow.push_back(std::move(bytes));
}

tVariant RandomVariant(FuzzedDataProvider& in, Buffers& buffers, const std::u16string& knownId) {
    tVariant v{};
    const auto tag = in.ConsumeIntegralInRange<uint16_t>(0, kMaxTag);
    if (tag == VTYPE_PWSTR || tag == VTYPE_PSTR) {
        const bool document = in.ConsumeBool();
        const std::u16string text = document ? RandomGoodsDocument(in) : RandomText(in, knownId);
        FillString(v, in, buffers, text, tag == VTYPE_PWSTR);
        return v;
    }
    // Any other tag: random value bytes.  Pointers among them (VARIANT,
    // INTERFACE, BLOB) must never be followed by the add-in.
    const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(sizeof(v.llVal));
    for (size_t i = 0; i < bytes.size(); ++i) reinterpret_cast<uint8_t*>(&v)[i] = bytes[i];
    v.vt = tag;
    return v;
}

// Whatever the input says, connections go to the emulator on 127.0.0.1 and a
// serial connection names a device that does not exist.
void KeepOnLoopback(CAddInNative& driver, long method, std::vector<tVariant>& params,
                    Buffers& buffers) {
    DeviceSettings& settings = driver.Devices().Settings();
    settings.ethernetHost = u"127.0.0.1";
    settings.ethernetPort = Emulator().UdpPort();
    settings.serialPortName = kMissingSerialDevice;
    if (method == kConnectByEthernet && params.size() >= 2 &&
        (params[1].vt == VTYPE_PWSTR || params[1].vt == VTYPE_PSTR)) {
        const std::u16string address = EmulatorAddress();
        params[1] = tVariant{};
        PointAtWide(params[1], address, buffers, static_cast<uint32_t>(address.size()));
    }
}

std::u16string StringResult(const tVariant& v) {
    std::u16string text;
    if (v.vt != VTYPE_PWSTR || v.pwstrVal == nullptr) return text;
    for (uint32_t i = 0; i < v.wstrLen; ++i) text.push_back(static_cast<char16_t>(v.pwstrVal[i]));
    return text;
}

void OneCall(CAddInNative& driver, FuzzedDataProvider& in, Buffers& buffers,
             std::u16string& knownId) {
    const long method = in.ConsumeIntegralInRange<long>(-1, kMethodNumbers - 1);
    const int count = in.ConsumeIntegralInRange<int>(0, kMaxParams);
    std::vector<tVariant> params;
    for (int i = 0; i < count; ++i) params.push_back(RandomVariant(in, buffers, knownId));
    KeepOnLoopback(driver, method, params, buffers);
    const bool nullArray = in.ConsumeIntegralInRange<int>(0, 15) == 0;
    const bool nullResult = in.ConsumeIntegralInRange<int>(0, 15) == 0;
    tVariant result{};
    driver.CallAsFunc(method, nullResult ? nullptr : &result,
                      nullArray || params.empty() ? nullptr : params.data(),
                      static_cast<long>(params.size()));
    if (method == kOpen && !params.empty()) knownId = StringResult(params[0]);
}

void LookUps(CAddInNative& driver, FuzzedDataProvider& in, Buffers& buffers) {
    const std::u16string name = RandomText(in, u"");
    tVariant holder{};
    PointAtWide(holder, name, buffers, 0);
    buffers.wide.back()[name.size()] = 0;  // the host's names are terminated
    driver.FindMethod(holder.pwstrVal);
    driver.FindProp(holder.pwstrVal);
    driver.SetLocale(holder.pwstrVal);
    const long number = in.ConsumeIntegral<int8_t>();
    const long alias = in.ConsumeIntegral<int8_t>();
    driver.GetMethodName(number, alias);
    driver.GetPropName(number, alias);
    driver.GetNParams(number);
    tVariant value{};
    driver.GetPropVal(number, &value);
    driver.SetPropVal(number, &value);
    driver.GetParamDefValue(number, alias, &value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The emulator keeps every frame it received; only its state matters here.
    Emulator().ClearFrames();
    FuzzedDataProvider in(data, size);
    FuzzMemory memory;
    Buffers buffers;
    {
        CAddInNative driver;
        memory.Refuse(in.ConsumeIntegralInRange<int>(0, 15) == 0);
        if (in.ConsumeIntegralInRange<int>(0, 15) != 0) driver.setMemManager(&memory);
        std::u16string knownId;
        LookUps(driver, in, buffers);
        for (int i = 0; i < kMaxCallsPerInput && in.remaining_bytes() > 0; ++i) {
            OneCall(driver, in, buffers, knownId);
        }
    }
    return 0;
}

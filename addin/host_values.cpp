#include "addin/host_values.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "addin/decimal.h"
#include "addin/host_text.h"

namespace addin {
namespace {

constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();

int32_t ClampToInt32(int64_t value) {
    if (value < kInt32Min) return kInt32Min;
    if (value > kInt32Max) return kInt32Max;
    return static_cast<int32_t>(value);
}

// A number written as text: digits only matter, so a plain ASCII narrowing of
// the UTF-16 text is enough for ParseDecimal.
double NumberInText(const std::u16string& text) {
    std::string ascii;
    for (char16_t unit : text) ascii.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    return ParseDecimal(ascii.c_str());
}

// Everything a result record held before is overwritten, never freed: the
// host owns whatever it put there.
void ResetRecord(tVariant& out) {
    std::memset(&out, 0, sizeof out);
}

}  // namespace

bool IsStringValue(const tVariant& value) {
    return value.vt == VTYPE_PSTR || value.vt == VTYPE_PWSTR;
}

std::u16string ReadStringValue(const tVariant& value) {
    if (value.vt == VTYPE_PWSTR) return WideParameterText(value.pwstrVal, value.wstrLen);
    if (value.vt == VTYPE_PSTR) return NarrowParameterText(value.pstrVal, value.strLen);
    return std::u16string();
}

int32_t TruncateToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value <= static_cast<double>(kInt32Min)) return kInt32Min;
    if (value >= static_cast<double>(kInt32Max)) return kInt32Max;
    return static_cast<int32_t>(value);  // truncates toward zero
}

namespace {

// A double truncated toward zero into 64 bits, saturating at either end; NaN
// reads as 0.
int64_t TruncateToInt64(double value) {
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (std::isnan(value)) return 0;
    if (value >= kTwoTo63) return std::numeric_limits<int64_t>::max();
    if (value <= -kTwoTo63) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(value);
}

// A number parameter as wide as the host gave it (beyond 64 bits saturated):
// integer tags by value, real tags truncated toward zero, text as a decimal
// number, every other tag as 0.  The 32-bit readers below clamp or refuse
// what does not fit.
int64_t ReadWideNumber(const tVariant& value) {
    switch (value.vt) {
        case VTYPE_I1:
            return value.i8Val;
        case VTYPE_I2:
            return value.shortVal;
        case VTYPE_I4:
        case VTYPE_ERROR:
            return value.lVal;
        case VTYPE_INT:
            return value.intVal;
        case VTYPE_UI1:
            return value.ui8Val;
        case VTYPE_UI2:
            return value.ushortVal;
        // An unsigned 32-bit code keeps its bits, as the first 32 bits would.
        case VTYPE_UI4:
            return static_cast<int32_t>(value.ulVal);
        case VTYPE_UINT:
            return static_cast<int32_t>(value.uintVal);
        case VTYPE_I8:
            return static_cast<int64_t>(value.llVal);
        case VTYPE_UI8:
            return value.ullVal > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
                       ? std::numeric_limits<int64_t>::max()
                       : static_cast<int64_t>(value.ullVal);
        case VTYPE_HRESULT:
            return static_cast<int64_t>(value.hRes);
        // Read as a byte: a host may leave any non-zero byte for true.
        case VTYPE_BOOL:
            return value.ui8Val != 0 ? 1 : 0;
        case VTYPE_R4:
            return TruncateToInt64(value.fltVal);
        case VTYPE_R8:
            return TruncateToInt64(value.dblVal);
        case VTYPE_DATE:
            return TruncateToInt64(value.date);
        case VTYPE_PSTR:
        case VTYPE_PWSTR:
            return TruncateToInt64(NumberInText(ReadStringValue(value)));
        default:
            return 0;
    }
}

}  // namespace

int32_t ReadNumberValue(const tVariant& value) {
    return ClampToInt32(ReadWideNumber(value));
}

int32_t ReadFieldValue(const tVariant& value) {
    const int64_t wide = ReadWideNumber(value);
    return wide >= kInt32Min && wide <= kInt32Max ? static_cast<int32_t>(wide) : kInt32Min;
}

void WriteBool(tVariant& out, bool value) {
    ResetRecord(out);
    out.bVal = value;
    out.vt = VTYPE_BOOL;
}

void WriteUi4(tVariant& out, uint32_t value) {
    ResetRecord(out);
    out.ulVal = value;
    out.vt = VTYPE_UI4;
}

bool WriteString(tVariant& out, std::u16string_view text, IMemoryManager* memory) {
    HostString copy(memory, text.size());
    if (!copy.Reserved()) return false;
    copy.HandOver(out, text);
    return true;
}

namespace {

// The memory manager is the host's object, built by the host's compiler with
// type information of its own (or none): a sanitizer's dynamic-type check of
// these calls cannot know it and is switched off for them.
__attribute__((no_sanitize("vptr"))) WCHAR_T* AllocateUnits(IMemoryManager* memory, size_t units) {
    if (memory == nullptr) return nullptr;
    void* block = nullptr;
    const auto bytes = static_cast<unsigned long>(units * sizeof(WCHAR_T));
    if (!memory->AllocMemory(&block, bytes)) return nullptr;
    return static_cast<WCHAR_T*>(block);
}

__attribute__((no_sanitize("vptr"))) void FreeUnits(IMemoryManager* memory, WCHAR_T* units) {
    void* block = units;
    memory->FreeMemory(&block);
}

size_t CopyUnits(WCHAR_T* to, std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) to[i] = static_cast<WCHAR_T>(text[i]);
    to[text.size()] = 0;
    return text.size();
}

}  // namespace

HostString::HostString(IMemoryManager* memory, size_t capacity)
    : memory_(memory), block_(AllocateUnits(memory, capacity + 1)), capacity_(capacity) {}

HostString::~HostString() {
    if (block_ != nullptr) FreeUnits(memory_, block_);
}

void HostString::HandOver(tVariant& out, std::u16string_view text) {
    if (block_ == nullptr) return;
    const size_t length = CopyUnits(block_, text.substr(0, capacity_));
    ResetRecord(out);
    out.pwstrVal = block_;
    out.wstrLen = static_cast<uint32_t>(length);
    out.vt = VTYPE_PWSTR;
    block_ = nullptr;
}

WCHAR_T* CopyToHost(std::u16string_view text, IMemoryManager* memory) {
    WCHAR_T* units = AllocateUnits(memory, text.size() + 1);
    if (units != nullptr) CopyUnits(units, text);
    return units;
}

bool SameText(const WCHAR_T* hostText, std::u16string_view ours) {
    if (hostText == nullptr) return false;
    size_t i = 0;
    for (; i < ours.size(); ++i) {
        if (static_cast<char16_t>(hostText[i]) != ours[i]) return false;
    }
    return hostText[i] == 0;
}

}  // namespace addin

// UTF-8, UTF-16 and windows-1251, converted here without the operating system;
// the process's own code page goes to codepage_os.h only when it is none of
// these.  Nothing here fails: bad input becomes U+FFFD on the way to Unicode,
// and what windows-1251 cannot hold is dropped on the way out.
#include "text/codepage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "text/charset.h"
#include "text/codepage_os.h"

namespace text {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char16_t kHighSurrogateFirst = 0xD800;
constexpr char16_t kLowSurrogateFirst = 0xDC00;
constexpr char16_t kSurrogateLast = 0xDFFF;
constexpr char32_t kMaxCodePoint = 0x10FFFF;

bool IsHighSurrogate(char16_t unit) {
    return unit >= kHighSurrogateFirst && unit < kLowSurrogateFirst;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= kLowSurrogateFirst && unit <= kSurrogateLast;
}
bool IsSurrogate(char32_t cp) {
    return cp >= kHighSurrogateFirst && cp <= kSurrogateLast;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
        return;
    }
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(kHighSurrogateFirst + (cp >> 10)));
    out.push_back(static_cast<char16_t>(kLowSurrogateFirst + (cp & 0x3FF)));
}

// Decodes one UTF-8 sequence at in[pos] and advances pos.  An invalid lead
// byte, a cut or overlong sequence, an encoded surrogate or a value beyond
// U+10FFFF gives U+FFFD and consumes only the lead byte, so the bytes after it
// are read afresh.
char32_t DecodeUtf8(std::string_view in, size_t& pos) {
    unsigned char lead = static_cast<unsigned char>(in[pos++]);
    if (lead < 0x80) return lead;
    int extra;
    char32_t cp;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, cp = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, cp = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return kReplacement;
    }
    if (pos + static_cast<size_t>(extra) > in.size()) return kReplacement;
    for (int i = 0; i < extra; ++i) {
        unsigned char next = static_cast<unsigned char>(in[pos + static_cast<size_t>(i)]);
        if ((next & 0xC0) != 0x80) return kReplacement;
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > kMaxCodePoint || IsSurrogate(cp)) return kReplacement;
    pos += static_cast<size_t>(extra);
    return cp;
}

// The published windows-1251 mapping for bytes 0x80..0xFF; the lower half is
// ASCII.  0x98 has no character.
constexpr char16_t kNoChar = 0;
constexpr std::array<char16_t, 128> kWindows1251High = {
    0x0402,  0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC,  0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452,  0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    kNoChar, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0,  0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401,  0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0,  0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451,  0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    0x0410,  0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // C0: А..
    0x0418,  0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // C8
    0x0420,  0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // D0
    0x0428,  0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // D8: ..Я
    0x0430,  0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // E0: а..
    0x0438,  0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // E8
    0x0440,  0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // F0
    0x0448,  0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // F8: ..я
};
constexpr unsigned kAsciiLimit = 0x80;

using ReverseEntry = std::pair<char16_t, unsigned char>;

// The table above turned round and sorted by character, for binary search.
const std::array<ReverseEntry, 127>& Windows1251Reverse() {
    static const std::array<ReverseEntry, 127> table = [] {
        std::array<ReverseEntry, 127> sorted{};
        size_t n = 0;
        for (unsigned i = 0; i < kWindows1251High.size(); ++i)
            if (kWindows1251High[i] != kNoChar)
                sorted[n++] = {kWindows1251High[i], static_cast<unsigned char>(kAsciiLimit + i)};
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }();
    return table;
}

// The windows-1251 byte of a UTF-16 unit, or -1 when it has none.
int Windows1251Byte(char16_t unit) {
    if (unit < kAsciiLimit) return unit;
    constexpr char16_t kCyrillicA = 0x0410, kCyrillicYaSmall = 0x044F;
    constexpr int kByteOfCyrillicA = 0xC0;
    if (unit >= kCyrillicA && unit <= kCyrillicYaSmall)
        return kByteOfCyrillicA + (unit - kCyrillicA);
    const auto& table = Windows1251Reverse();
    auto it = std::lower_bound(table.begin(), table.end(), ReverseEntry{unit, 0});
    if (it == table.end() || it->first != unit) return -1;
    return it->second;
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view in) {
    std::string out;
    out.reserve(in.size() * 2);
    for (size_t i = 0; i < in.size(); ++i) {
        char16_t unit = in[i];
        char32_t cp = unit;
        if (IsHighSurrogate(unit) && i + 1 < in.size() && IsLowSurrogate(in[i + 1])) {
            cp = 0x10000 + ((char32_t(unit) - kHighSurrogateFirst) << 10) +
                 (char32_t(in[i + 1]) - kLowSurrogateFirst);
            ++i;
        } else if (IsSurrogate(unit)) {
            cp = kReplacement;  // a half of a pair without its other half
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view in) {
    std::u16string out;
    out.reserve(in.size());
    for (size_t pos = 0; pos < in.size();) AppendUtf16(out, DecodeUtf8(in, pos));
    return out;
}

std::string Utf16ToWindows1251(std::u16string_view in) {
    std::string out;
    out.reserve(in.size());
    for (char16_t unit : in) {
        int byte = Windows1251Byte(unit);
        if (byte >= 0) out.push_back(static_cast<char>(byte));
    }
    return out;
}

std::u16string Windows1251ToUtf16(std::string_view in) {
    std::u16string out;
    out.reserve(in.size());
    for (unsigned char byte : in) {
        if (byte < kAsciiLimit) {
            out.push_back(byte);
            continue;
        }
        char16_t unit = kWindows1251High[byte - kAsciiLimit];
        out.push_back(unit == kNoChar ? char16_t(kReplacement) : unit);
    }
    return out;
}

int SystemCodePage() {
    return os::SystemCodePage();
}

int CodePageOfCharset(const char* name) {
    if (name == nullptr) return 0;
    std::string lower(name);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (lower == "utf-8" || lower == "utf8") return kUtf8CodePage;
    if (lower == "windows-1251" || lower == "cp1251") return kWindows1251CodePage;
    return 0;
}

// A code page of 0 means the system's; pages this file has no table for go to
// the operating system.
std::string FromUtf16(int codePage, std::u16string_view in) {
    if (codePage == 0) codePage = SystemCodePage();
    switch (codePage) {
        case kUtf8CodePage:
            return Utf16ToUtf8(in);
        case kWindows1251CodePage:
            return Utf16ToWindows1251(in);
        default:
            return os::FromUtf16(codePage, in);
    }
}

std::u16string ToUtf16(int codePage, std::string_view in) {
    if (codePage == 0) codePage = SystemCodePage();
    switch (codePage) {
        case kUtf8CodePage:
            return Utf8ToUtf16(in);
        case kWindows1251CodePage:
            return Windows1251ToUtf16(in);
        default:
            return os::ToUtf16(codePage, in);
    }
}

std::string Utf16ToSystem(std::u16string_view in) {
    return FromUtf16(SystemCodePage(), in);
}

std::u16string SystemToUtf16(std::string_view in) {
    return ToUtf16(SystemCodePage(), in);
}

}  // namespace text

#include "cp1251.h"

#include <cstdint>

namespace emu {
namespace {

// Code points of windows-1251 bytes 0x80..0xBF; 0xC0..0xFF are the Cyrillic
// letters А..я at U+0410..U+044F.
constexpr char16_t kHighHalf[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};
constexpr uint8_t kFirstHigh = 0x80;
constexpr uint8_t kFirstLetter = 0xC0;
constexpr char16_t kCapitalA = 0x0410;

char16_t ToCodePoint(uint8_t byte) {
    if (byte < kFirstHigh) return byte;
    if (byte < kFirstLetter) return kHighHalf[byte - kFirstHigh];
    return static_cast<char16_t>(kCapitalA + (byte - kFirstLetter));
}

// Every windows-1251 character lies in the Basic Multilingual Plane: at most
// three UTF-8 bytes.
void AppendUtf8(std::string& out, char16_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::string Windows1251ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) AppendUtf8(out, ToCodePoint(static_cast<uint8_t>(c)));
    return out;
}

size_t Utf8Length(std::string_view text) {
    size_t count = 0;
    for (char c : text) {
        // Continuation bytes are 10xxxxxx.
        if ((static_cast<uint8_t>(c) & 0xC0) != 0x80) ++count;
    }
    return count;
}

}  // namespace emu

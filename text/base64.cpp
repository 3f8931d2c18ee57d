#include "text/base64.h"

#include <cstdint>

namespace text {

namespace {

constexpr int kNotInAlphabet = -1;

int SextetOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return kNotInAlphabet;
}

}  // namespace

std::string DecodeBase64(std::string_view in) {
    constexpr char kPadding = '=';
    constexpr int kSextetBits = 6, kByteBits = 8;
    std::string out;
    out.reserve(in.size() / 4 * 3);
    uint32_t pending = 0;
    int pendingBits = 0;
    for (char c : in) {
        if (c == kPadding) break;
        int sextet = SextetOf(c);
        if (sextet == kNotInAlphabet) continue;
        pending = (pending << kSextetBits) | static_cast<uint32_t>(sextet);
        pendingBits += kSextetBits;
        if (pendingBits >= kByteBits) {
            pendingBits -= kByteBits;
            out.push_back(static_cast<char>((pending >> pendingBits) & 0xFF));
        }
    }
    return out;
}

}  // namespace text

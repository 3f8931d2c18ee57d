// Helpers that let frame expectations be written as hex text a reader can
// check against the byte tables of the RLS1000 commands.
#pragma once

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace scales_test {

// "0B 00 00" -> {0x0B, 0x00, 0x00}; spaces and commas are ignored.
inline std::vector<uint8_t> Bytes(const std::string& hex) {
    std::vector<uint8_t> out;
    std::string digits;
    for (char c : hex) {
        if (c == ' ' || c == ',') continue;
        digits.push_back(c);
        if (digits.size() == 2) {
            out.push_back(static_cast<uint8_t>(std::stoul(digits, nullptr, 16)));
            digits.clear();
        }
    }
    return out;
}

// Bytes [from, from + count) of `data` as "0B 00 00".
template <typename Container>
std::string Hex(const Container& data, size_t from, size_t count) {
    std::string out;
    for (size_t i = from; i < from + count && i < data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02X", static_cast<unsigned>(data[i]));
        if (!out.empty()) out += ' ';
        out += byte;
    }
    return out;
}

// True when every byte from `from` to the end is zero.
template <typename Container>
bool ZeroFrom(const Container& data, size_t from) {
    for (size_t i = from; i < data.size(); ++i) {
        if (data[i] != 0) return false;
    }
    return true;
}

inline std::string Zeros(size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) out += i == 0 ? "00" : " 00";
    return out;
}

}  // namespace scales_test

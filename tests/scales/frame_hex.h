// Helpers that let frame expectations be written as hex text a reader can
// check against the byte tables of the RLS1000 commands.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace scales_test {

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

}  // namespace scales_test

// Frames for the emulator tests written as hex text, the way the byte tables
// show them.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace emu_test {

inline std::vector<uint8_t> Hex(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::istringstream in(text);
    std::string item;
    while (in >> item)
        bytes.push_back(static_cast<uint8_t>(std::strtoul(item.c_str(), nullptr, 16)));
    return bytes;
}

// A 259-byte frame: the hex bytes from byte 0, the rest zero.
inline std::vector<uint8_t> Frame(const std::string& hex) {
    std::vector<uint8_t> frame = Hex(hex);
    frame.resize(259, 0);
    return frame;
}

// Writes hex bytes into the frame from byte `at` on.
inline void Put(std::vector<uint8_t>& frame, size_t at, const std::string& hex) {
    for (uint8_t b : Hex(hex)) frame.at(at++) = b;
}

inline void PutText(std::vector<uint8_t>& frame, size_t at, const std::string& bytes) {
    for (char c : bytes) frame.at(at++) = static_cast<uint8_t>(c);
}

// The goods frame of the worked example: "Банан", code 10001, PLU 10001,
// price 123.45, shelf life 10, label 0, department 28, barcode 7, unit kg.
inline std::vector<uint8_t> BananaFrame() {
    std::vector<uint8_t> f = Frame("0B 00 00 C1 E0 ED E0 ED");
    // code, label, label extra, dept, barcode, price, unit, shelf life,
    // extra1, extra2, extra3, zero, extra4, PLU
    Put(f, 3 + 36,
        "01 00 01  00  00  28  07  00 01 23 45  04  0A 00  00  00  00 00 00  00  00 00 00  "
        "00 00 01 00 01");
    return f;
}

}  // namespace emu_test

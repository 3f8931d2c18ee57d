// What the scales receive and hold, as the tools read it: the kinds of
// frame, the goods table and the rest of the scales' state, and one frame as
// received and answered.  Shared by the scales emulator, which keeps this
// state, and addin-host, which reads frames back from a port monitor's file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace emu {

// What a frame is, judged by its first bytes.
enum class FrameKind {
    kClock,         // 0E 01 00
    kClear,         // 0E 04 00 00 04
    kGoods,         // 0B 00 00
    kContinuation,  // A2
    kMessage,       // 62, short message
    kAnnouncement,  // 62 with byte 9 = 01 and an empty text area: long message follows
    kMessageData,   // 79
    kHotKeys,       // 02 F8..FA 03
    kUnknown,
};
const char* FrameKindName(FrameKind kind);  // "clock", "clear", "goods", ...
// FrameKind by its name; false for a name that is none of them.
bool FrameKindByName(const std::string& name, FrameKind* kind);

struct Good {
    uint64_t plu = 0;
    uint32_t code = 0;
    std::string nameCp1251;  // up to 61 bytes: record + continuation
    std::string nameUtf8;
    uint32_t price = 0;  // hundredths
    uint16_t shelfLife = 0;
    uint8_t labelNumber = 0;
    uint8_t labelExtra = 0;
    uint8_t department = 0;  // decimal value of the BCD byte
    uint8_t barcodeFormat = 0;
    uint8_t weightMeasure = 0;
    uint8_t extra1 = 0, extra2 = 0;
    uint32_t extra3 = 0, extra4 = 0;
};

struct Clock {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool set = false;
};

struct State {
    std::map<uint64_t, Good> goods;                    // by PLU
    std::map<int, std::vector<std::string>> messages;  // by message number (from 1), lines UTF-8
    std::vector<uint32_t> hotKeys;                     // 252 entries: keys 1..252
    Clock clock;
    uint64_t framesReceived = 0;
    uint64_t framesWithWrongFixedBytes = 0;  // answered all the same
    uint64_t framesAtWrongLineSetting = 0;   // serial: not understood, not answered
};

struct ReceivedFrame {
    FrameKind kind = FrameKind::kUnknown;
    std::vector<uint8_t> bytes;
    std::string description;     // the readable line printed for it
    bool accepted = true;        // false: answered as failed, the state did not change
    std::vector<uint8_t> reply;  // the bytes sent back (empty: no reply)
    // Steady-clock microseconds (std::chrono::steady_clock since its epoch).
    // UDP: when the datagram was read; serial: when its last byte was
    // complete on the modelled line.
    int64_t receivedUs = 0;
    // When each chunk of the reply left, one entry per datagram on UDP, per
    // byte on serial, added as they go out: chunk k was handed to the system
    // at replyStartUs[k] and had left when that send returned, by
    // replySentUs[k].
    std::vector<int64_t> replyStartUs;
    std::vector<int64_t> replySentUs;
    // Bytes that the frame layouts fix (zeros, constants) but that differ,
    // one text each, e.g. "bytes 3-6: 00 00 01 00, not zero".
    std::vector<std::string> fixedByteIssues;
    // Serial: how the driver had set its side of the line ("4800 8N1"), and
    // whether that differs from the scales' setting.
    std::string driverLine;
    bool lineMismatch = false;
};

// The clock frame that sets the scales to `clock` (0E 01 00, the date and
// time as BCD in bytes 7 to 12, zeros to the frame's 259 bytes).
std::vector<uint8_t> BuildClockFrame(const Clock& clock);

// Pure decoding, testable without I/O.
FrameKind ClassifyFrame(const uint8_t* bytes, size_t count);

}  // namespace emu

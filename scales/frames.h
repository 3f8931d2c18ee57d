// RLS1000 request frames, built as plain bytes without any I/O.
//
// Every request the scales take is exactly 259 bytes, zero where a command
// sets nothing; there is no frame length, checksum or terminator.  Numbers are
// packed decimal (two digits a byte, more significant digit in the high
// nibble, most significant byte first) or 16-bit little-endian.  Texts for the
// scales are windows-1251, one byte a character: the builders take them
// already converted.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scales/goods_fields.h"

namespace scales {

constexpr size_t kFrameSize = 259;
constexpr size_t kRecordSize = 64;  // goods record and name continuation record
using Frame = std::array<uint8_t, kFrameSize>;
using Record = std::array<uint8_t, kRecordSize>;

// Writes the lowest `digits` decimal digits of `value` (an even count) as
// digits/2 packed-decimal bytes; higher digits are dropped.
void PutBcd(uint8_t* out, uint32_t value, int digits);
void PutLe16(uint8_t* out, uint32_t value);

// ---- clock: 0E 01 00 ----
struct ClockValues {
    int32_t year = 0;
    int32_t month = 0;
    int32_t day = 0;
    int32_t hour = 0;
    int32_t minute = 0;
    int32_t second = 0;
};
Frame BuildClockFrame(const ClockValues& time);

// ---- goods: 0B 00 00, name continuation A2, clear 0E 04 00 00 04 ----
constexpr size_t kNameInRecord = 36;  // name bytes the goods record holds
constexpr size_t kNameMax = 61;       // record + continuation; the rest is dropped

// The fields must fit their places (CheckGoodsFields, field_ranges.h): the
// builders lay them out and would drop the digits of a value that does not.
Record BuildGoodsRecord(const std::string& nameCp1251, const GoodsFields& fields);
Frame BuildGoodsFrame(const std::string& nameCp1251, const GoodsFields& fields);
bool NeedsNameContinuation(const std::string& nameCp1251);
Record BuildContinuationRecord(const std::string& nameCp1251, int32_t code);
Frame BuildContinuationFrame(uint16_t sequence, const std::string& nameCp1251, int32_t code);
Frame BuildClearGoodsFrame();

// ---- messages: short 62, long = announcement 62 + data frames 79 ----
constexpr int kMessageLines = 16;
constexpr size_t kShortMessageRoom = 241;  // text area of a short message frame
// The scales learn a long message's length as a 16-bit number: a longer text
// is refused (field_ranges.h).
constexpr size_t kLongMessageMax = 0xFFFF;

// Lines 0..k-1 of the message as the scales show them (trailing empty lines
// dropped).  A line width of 0 (or below) sets no width limit.
std::vector<std::string> LayOutMessage(const std::string& textCp1251, int32_t lineWidth);
// Bytes the lines take in a short message frame: the lines plus FF FF before
// every line after the first.
size_t MessageSize(const std::vector<std::string>& lines);
Frame BuildShortMessageFrame(int32_t number, const std::vector<std::string>& lines);
// The text of a long message: lines joined by CR LF.
std::string JoinMessageLines(const std::vector<std::string>& lines);
Frame BuildAnnouncementFrame(int32_t number, uint16_t sequence);
size_t MessageDataFrameCount(size_t joinedLength);
// Data frame `index` (0 = the first, which also carries the length).
Frame BuildMessageDataFrame(uint16_t sequence, const std::string& joined, size_t index);

// ---- hot keys: 02 F8..FA 03 ----
constexpr int kHotKeyPages = 3;
constexpr int kKeysPerPage = 84;
Frame BuildHotKeyPage(const uint32_t* hotKeys, size_t count, int page);

}  // namespace scales

#include "scales/frames.h"

#include <algorithm>

namespace scales {

void PutBcd(uint8_t* out, uint32_t value, int digits) {
    for (int i = digits / 2 - 1; i >= 0; --i) {
        const uint32_t pair = value % 100;
        value /= 100;
        out[i] = static_cast<uint8_t>(((pair / 10) << 4) | (pair % 10));
    }
}

void PutLe16(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value & 0xFF);
    out[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

namespace {

uint8_t LowByte(int32_t value) {
    return static_cast<uint8_t>(static_cast<uint32_t>(value) & 0xFF);
}

uint8_t Bcd2(uint32_t value) {
    uint8_t byte = 0;
    PutBcd(&byte, value, 2);
    return byte;
}

// The scales count years from 2000 in one BCD byte; the add-in has always
// formed it from the low byte of the year plus 48 (2024 -> 24).
uint8_t YearByte(int32_t year) {
    constexpr uint32_t kYearBias = 48;
    return Bcd2((static_cast<uint32_t>(year) + kYearBias) & 0xFF);
}

}  // namespace

Frame BuildClockFrame(const ClockValues& time) {
    constexpr uint8_t kClockCommand[] = {0x0E, 0x01, 0x00};
    constexpr size_t kTimeAt = 7;
    Frame frame{};
    std::copy(std::begin(kClockCommand), std::end(kClockCommand), frame.begin());
    frame[kTimeAt] = YearByte(time.year);
    frame[kTimeAt + 1] = Bcd2(LowByte(time.month));
    frame[kTimeAt + 2] = Bcd2(LowByte(time.day));
    frame[kTimeAt + 3] = Bcd2(LowByte(time.hour));
    frame[kTimeAt + 4] = Bcd2(LowByte(time.minute));
    frame[kTimeAt + 5] = Bcd2(LowByte(time.second));
    return frame;
}

namespace {

// Offsets within the 64-byte goods record.
constexpr size_t kCodeAt = 36;
constexpr size_t kLabelNumberAt = 39;
constexpr size_t kLabelExtraAt = 40;
constexpr size_t kDepartmentAt = 41;
constexpr size_t kBarcodeAt = 42;
constexpr size_t kPriceAt = 43;
constexpr size_t kWeightMeasureAt = 47;
constexpr size_t kShelfLifeAt = 48;
constexpr size_t kExtra1At = 50;
constexpr size_t kExtra2At = 51;
constexpr size_t kExtra3At = 52;
constexpr size_t kExtra4At = 56;
constexpr size_t kPluAt = 59;
constexpr size_t kRecordInFrame = 3;

uint32_t Unsigned(int32_t value) {
    return static_cast<uint32_t>(value);
}

// Bytes 50 and 51: a first number above 255 takes both bytes as a 16-bit
// little-endian value and the second number is not sent.
void PutExtra12(uint8_t* record, int32_t extra1, int32_t extra2) {
    if (extra1 > 0xFF) {
        PutLe16(record + kExtra1At, Unsigned(extra1));
        return;
    }
    record[kExtra1At] = LowByte(extra1);
    record[kExtra2At] = LowByte(extra2);
}

Frame FrameWithRecord(std::initializer_list<uint8_t> head, const Record& record) {
    Frame frame{};
    std::copy(head.begin(), head.end(), frame.begin());
    std::copy(record.begin(), record.end(), frame.begin() + kRecordInFrame);
    return frame;
}

}  // namespace

Record BuildGoodsRecord(const std::string& nameCp1251, const GoodsFields& f) {
    Record record{};
    const size_t nameBytes = std::min(nameCp1251.size(), kNameInRecord);
    std::copy_n(nameCp1251.begin(), nameBytes, record.begin());
    PutBcd(&record[kCodeAt], Unsigned(f.code), 6);
    record[kLabelNumberAt] = LowByte(f.labelNumber);
    record[kLabelExtraAt] = LowByte(f.labelExtra);
    record[kDepartmentAt] = Bcd2(Unsigned(f.department));
    record[kBarcodeAt] = LowByte(f.barcodeFormat);
    PutBcd(&record[kPriceAt], Unsigned(f.price), 8);
    record[kWeightMeasureAt] = LowByte(f.weightMeasure);
    PutLe16(&record[kShelfLifeAt], Unsigned(f.shelfLife));
    PutExtra12(record.data(), f.extra1, f.extra2);
    PutBcd(&record[kExtra3At], Unsigned(f.extra3), 6);
    PutBcd(&record[kExtra4At], Unsigned(f.extra4), 6);
    PutBcd(&record[kPluAt], Unsigned(f.plu), 10);
    return record;
}

Frame BuildGoodsFrame(const std::string& nameCp1251, const GoodsFields& fields) {
    return FrameWithRecord({0x0B, 0x00, 0x00}, BuildGoodsRecord(nameCp1251, fields));
}

bool NeedsNameContinuation(const std::string& nameCp1251) {
    return nameCp1251.size() > kNameInRecord;
}

// The continuation record carries the good's code (so the scales can match
// it to the record) and name bytes 37 to 61.
Record BuildContinuationRecord(const std::string& nameCp1251, int32_t code) {
    constexpr size_t kTailAt = 3;
    Record record{};
    PutBcd(record.data(), Unsigned(code), 6);
    const size_t end = std::min(nameCp1251.size(), kNameMax);
    if (end > kNameInRecord) {
        std::copy(nameCp1251.begin() + kNameInRecord, nameCp1251.begin() + end,
                  record.begin() + kTailAt);
    }
    return record;
}

Frame BuildContinuationFrame(uint16_t sequence, const std::string& nameCp1251, int32_t code) {
    Frame frame = FrameWithRecord({0xA2}, BuildContinuationRecord(nameCp1251, code));
    PutLe16(&frame[1], sequence);
    return frame;
}

Frame BuildClearGoodsFrame() {
    Frame frame{};
    constexpr uint8_t kClear[] = {0x0E, 0x04, 0x00, 0x00, 0x04};
    std::copy(std::begin(kClear), std::end(kClear), frame.begin());
    return frame;
}

// ---- messages ----

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';

struct LineWalk {
    std::vector<std::string> lines = std::vector<std::string>(kMessageLines);
    size_t current = 0;
    size_t width = 0;  // 0: no limit

    // False once the text would start a 17th line: the walk stops there.
    bool Append(char c) {
        if (current >= lines.size()) return false;
        if (width != 0 && lines[current].size() >= width) {
            ++current;
            if (current >= lines.size()) return false;
        }
        lines[current].push_back(c);
        return true;
    }
};

}  // namespace

std::vector<std::string> LayOutMessage(const std::string& text, int32_t lineWidth) {
    LineWalk walk;
    walk.width = lineWidth > 0 ? static_cast<size_t>(lineWidth) : 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == kCr || c == kLf) {
            ++walk.current;
            if (c == kCr && i + 1 < text.size() && text[i + 1] == kLf) ++i;
            continue;
        }
        if (!walk.Append(c)) break;
    }
    std::vector<std::string>& lines = walk.lines;
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

size_t MessageSize(const std::vector<std::string>& lines) {
    constexpr size_t kSeparator = 2;  // FF FF
    size_t size = 0;
    for (const std::string& line : lines) size += line.size();
    if (lines.size() > 1) size += kSeparator * (lines.size() - 1);
    return size;
}

namespace {

// Short message layout: offsets of lines 1-7 in bytes 3-9, text from byte 10,
// offsets of lines 8-15 in bytes 251-258.  An offset is the line's frame
// position minus 3.
constexpr size_t kTextAt = 10;
constexpr size_t kOffsetBase = 3;
constexpr size_t kLowOffsetsAt = 3;     // lines 1..7
constexpr size_t kHighOffsetsAt = 251;  // lines 8..15
constexpr int kLowOffsetLines = 7;
constexpr uint8_t kLineSeparator = 0xFF;

// The scales count messages from 0, the host from 1: number 0 goes out as
// FF FF.  Unsigned arithmetic: no host number can overflow here.
void PutMessageNumber(Frame& frame, int32_t number) {
    PutLe16(&frame[1], Unsigned(number) - 1u);
}

size_t OffsetByteFor(size_t line) {
    return line <= kLowOffsetLines ? kLowOffsetsAt + line - 1
                                   : kHighOffsetsAt + line - kLowOffsetLines - 1;
}

}  // namespace

Frame BuildShortMessageFrame(int32_t number, const std::vector<std::string>& lines) {
    Frame frame{};
    frame[0] = 0x62;
    PutMessageNumber(frame, number);
    size_t at = kTextAt;
    for (size_t line = 0; line < lines.size() && line < kMessageLines; ++line) {
        if (line > 0) {
            frame[at++] = kLineSeparator;
            frame[at++] = kLineSeparator;
            frame[OffsetByteFor(line)] = static_cast<uint8_t>(at - kOffsetBase);
        }
        const size_t room = kHighOffsetsAt - at;
        const size_t bytes = std::min(lines[line].size(), room);
        std::copy_n(lines[line].begin(), bytes, frame.begin() + at);
        at += bytes;
    }
    return frame;
}

std::string JoinMessageLines(const std::vector<std::string>& lines) {
    std::string joined;
    for (const std::string& line : lines) {
        if (!joined.empty()) joined += "\r\n";
        joined += line;
    }
    return joined;
}

Frame BuildAnnouncementFrame(int32_t number, uint16_t sequence) {
    constexpr uint8_t kLongMessageFollows = 0x01;
    Frame frame{};
    frame[0] = 0x62;
    PutMessageNumber(frame, number);
    PutLe16(&frame[5], Unsigned(number));
    PutLe16(&frame[7], sequence);
    frame[9] = kLongMessageFollows;
    return frame;
}

namespace {
constexpr size_t kFirstDataRoom = 250;  // first data frame: bytes 9..258
constexpr size_t kNextDataRoom = 256;   // further data frames: bytes 3..258
}  // namespace

size_t MessageDataFrameCount(size_t joinedLength) {
    if (joinedLength <= kFirstDataRoom) return 1;
    return 1 + (joinedLength - kFirstDataRoom + kNextDataRoom - 1) / kNextDataRoom;
}

Frame BuildMessageDataFrame(uint16_t sequence, const std::string& joined, size_t index) {
    constexpr uint8_t kFirstDataMarker[] = {0x00, 0x00, 0x06, 0x00};  // bytes 5..8
    Frame frame{};
    frame[0] = 0x79;
    PutLe16(&frame[1], sequence);
    size_t from = 0;
    size_t at = 3;
    size_t room = kNextDataRoom;
    if (index == 0) {
        PutLe16(&frame[3], static_cast<uint32_t>(joined.size()));
        std::copy(std::begin(kFirstDataMarker), std::end(kFirstDataMarker), frame.begin() + 5);
        at = 9;
        room = kFirstDataRoom;
    } else {
        from = kFirstDataRoom + (index - 1) * kNextDataRoom;
    }
    if (from < joined.size()) {
        const size_t bytes = std::min(joined.size() - from, room);
        std::copy_n(joined.begin() + from, bytes, frame.begin() + at);
    }
    return frame;
}

Frame BuildHotKeyPage(const uint32_t* hotKeys, size_t count, int page) {
    constexpr uint8_t kFirstPageId = 0xF8;
    constexpr size_t kEntriesAt = 3;
    constexpr int kEntryBytes = 3;
    Frame frame{};
    frame[0] = 0x02;
    frame[1] = static_cast<uint8_t>(kFirstPageId + page);
    frame[2] = 0x03;
    for (int i = 0; i < kKeysPerPage; ++i) {
        const size_t entry = static_cast<size_t>(page) * kKeysPerPage + i;
        const uint32_t value = entry < count ? hotKeys[entry] : 0;
        PutBcd(&frame[kEntriesAt + i * kEntryBytes], value, 2 * kEntryBytes);
    }
    return frame;
}

}  // namespace scales

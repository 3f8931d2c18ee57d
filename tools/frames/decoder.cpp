#include "decoder.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "cp1251.h"

namespace emu {
namespace {

constexpr uint8_t kClockCommand = 0x0E;
constexpr uint8_t kGoodsCommand = 0x0B;
constexpr uint8_t kContinuationCommand = 0xA2;
constexpr uint8_t kMessageCommand = 0x62;
constexpr uint8_t kMessageDataCommand = 0x79;
constexpr uint8_t kHotKeysCommand = 0x02;
constexpr uint8_t kFirstHotKeyPage = 0xF8;
constexpr uint8_t kLastHotKeyPage = 0xFA;
constexpr uint8_t kHotKeysTrailer = 0x03;

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Frames carry the message number minus 1; the host counts from 1.
int MessageNumber(const uint8_t* p) {
    return (Le16(p) + 1) & 0xFFFF;
}

bool AllZero(const uint8_t* begin, const uint8_t* end) {
    return std::all_of(begin, end, [](uint8_t b) { return b == 0; });
}

std::string Quote(const std::string& utf8) {
    return "\"" + utf8 + "\"";
}

std::string QuotedLines(const std::vector<std::string>& lines) {
    std::string out = std::to_string(lines.size()) + (lines.size() == 1 ? " line" : " lines");
    if (!lines.empty()) out += ":";
    for (const std::string& line : lines) out += " " + Quote(line);
    return out;
}

// Problems found in a frame, shown after its line: "(bad BCD: price; ...)".
class Issues {
  public:
    void Add(const std::string& issue) { list_.push_back(issue); }
    void CheckBcd(bool valid, const char* field) {
        if (!valid) Add(std::string("bad BCD: ") + field);
    }
    std::string Suffix() const {
        if (list_.empty()) return "";
        std::string out = " (";
        for (size_t i = 0; i < list_.size(); ++i) out += (i ? "; " : "") + list_[i];
        return out + ")";
    }

  private:
    std::vector<std::string> list_;
};

// Text bytes up to the first zero byte (name areas are zero-padded).
std::string UntilZero(const uint8_t* begin, const uint8_t* end) {
    const uint8_t* stop = std::find(begin, end, 0);
    return std::string(begin, stop);
}

std::vector<std::string> SplitCrLf(const std::string& joined) {
    std::vector<std::string> lines;
    if (joined.empty()) return lines;
    size_t start = 0;
    for (;;) {
        size_t brk = joined.find("\r\n", start);
        lines.push_back(Windows1251ToUtf8(joined.substr(start, brk - start)));
        if (brk == std::string::npos) break;
        start = brk + 2;
    }
    return lines;
}

}  // namespace

const char* FrameKindName(FrameKind kind) {
    switch (kind) {
        case FrameKind::kClock:
            return "clock";
        case FrameKind::kClear:
            return "clear";
        case FrameKind::kGoods:
            return "goods";
        case FrameKind::kContinuation:
            return "continuation";
        case FrameKind::kMessage:
            return "message";
        case FrameKind::kAnnouncement:
            return "announcement";
        case FrameKind::kMessageData:
            return "message-data";
        case FrameKind::kHotKeys:
            return "hot-keys";
        case FrameKind::kUnknown:
            break;
    }
    return "unknown";
}

bool FrameKindByName(const std::string& name, FrameKind* kind) {
    for (int k = 0; k <= static_cast<int>(FrameKind::kUnknown); ++k) {
        if (name != FrameKindName(static_cast<FrameKind>(k))) continue;
        if (kind) *kind = static_cast<FrameKind>(k);
        return true;
    }
    return false;
}

FrameKind ClassifyFrame(const uint8_t* b, size_t count) {
    if (b == nullptr || count == 0) return FrameKind::kUnknown;
    const bool has3 = count >= 3;
    switch (b[0]) {
        case kClockCommand:
            if (has3 && b[1] == 0x01 && b[2] == 0x00) return FrameKind::kClock;
            if (count >= 5 && b[1] == 0x04 && b[2] == 0x00 && b[3] == 0x00 && b[4] == 0x04)
                return FrameKind::kClear;
            return FrameKind::kUnknown;
        case kGoodsCommand:
            return has3 && b[1] == 0 && b[2] == 0 ? FrameKind::kGoods : FrameKind::kUnknown;
        case kContinuationCommand:
            return FrameKind::kContinuation;
        case kMessageCommand: {
            // A long message is announced by byte 9 = 01 and no text; byte 9
            // of a short message is the offset of line 7, never below 9.
            constexpr size_t kFlag = 9;
            const size_t end = std::min(count, kFrameSize);
            if (count > kFlag && b[kFlag] == 0x01 && AllZero(b + kFlag + 1, b + end))
                return FrameKind::kAnnouncement;
            return FrameKind::kMessage;
        }
        case kMessageDataCommand:
            return FrameKind::kMessageData;
        case kHotKeysCommand:
            if (has3 && b[1] >= kFirstHotKeyPage && b[1] <= kLastHotKeyPage &&
                b[2] == kHotKeysTrailer)
                return FrameKind::kHotKeys;
            return FrameKind::kUnknown;
        default:
            return FrameKind::kUnknown;
    }
}

const char* WeightUnitName(uint8_t code) {
    static const char* const kNames[] = {"50g",  "g",    "10g",   "100g",   "kg",     "oz",    "lb",
                                         "500g", "600g", "pcs-g", "pcs-kg", "pcs-oz", "pcs-lb"};
    return code < sizeof kNames / sizeof kNames[0] ? kNames[code] : "";
}

std::string HexList(const uint8_t* bytes, size_t count) {
    std::string out;
    char text[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(text, sizeof text, i ? " %02X" : "%02X", bytes[i]);
        out += text;
    }
    return out;
}

std::string FormatPrice(uint64_t hundredths) {
    char cents[4];
    std::snprintf(cents, sizeof cents, "%02u", static_cast<unsigned>(hundredths % 100));
    return std::to_string(hundredths / 100) + "." + cents;
}

uint64_t DecodeBcd(const uint8_t* bytes, size_t count, bool* valid) {
    uint64_t value = 0;
    bool ok = true;
    for (size_t i = 0; i < count; ++i) {
        const unsigned high = bytes[i] >> 4, low = bytes[i] & 0x0F;
        ok = ok && high <= 9 && low <= 9;
        value = value * 100 + high * 10 + low;
    }
    if (valid) *valid = ok;
    return value;
}

FrameDecoder::FrameDecoder() {
    state_.hotKeys.assign(kHotKeyCount, 0);
}

ReceivedFrame FrameDecoder::Decode(const uint8_t* bytes, size_t count, bool accepted) {
    ReceivedFrame out;
    out.kind = ClassifyFrame(bytes, count);
    if (bytes && count) out.bytes.assign(bytes, bytes + count);
    out.accepted = accepted;
    ++state_.framesReceived;

    // Decode from a full zero-padded frame so that a short datagram can never
    // be read past its end; bytes beyond 259 are not part of any request.
    Frame f{};
    std::copy_n(out.bytes.begin(), std::min(out.bytes.size(), kFrameSize), f.begin());
    FixedBytes fixed(f.data());
    CheckLayout(out.kind, fixed);
    switch (out.kind) {
        case FrameKind::kClock:
            out.description = DecodeClock(f, accepted);
            break;
        case FrameKind::kClear:
            out.description = DecodeClear(accepted);
            break;
        case FrameKind::kGoods:
            out.description = DecodeGoods(f, accepted);
            break;
        case FrameKind::kContinuation:
            out.description = DecodeContinuation(f, accepted);
            break;
        case FrameKind::kMessage:
            out.description = DecodeShortMessage(f, accepted, fixed);
            break;
        case FrameKind::kAnnouncement:
            out.description = DecodeAnnouncement(f, accepted);
            break;
        case FrameKind::kMessageData:
            out.description = DecodeMessageData(f, accepted, fixed);
            break;
        case FrameKind::kHotKeys:
            out.description = DecodeHotKeys(f, accepted);
            break;
        case FrameKind::kUnknown:
            out.description = DecodeUnknown(f, count);
            break;
    }
    if (count != kFrameSize) out.description += " (" + std::to_string(count) + " bytes, not 259)";
    out.fixedByteIssues = fixed.Issues();
    if (!out.fixedByteIssues.empty()) {
        ++state_.framesWithWrongFixedBytes;
        std::string list;
        for (const std::string& issue : out.fixedByteIssues)
            list += (list.empty() ? "" : "; ") + issue;
        out.description += " [fixed bytes differ: " + list + "]";
    }
    return out;
}

std::string FrameDecoder::DecodeClock(const Frame& f, bool accepted) {
    // Bytes 7..12: year (last two digits), month, day, hour, minute, second,
    // one BCD byte each.
    constexpr size_t kFirst = 7;
    bool valid[6];
    int v[6];
    for (size_t i = 0; i < 6; ++i) v[i] = static_cast<int>(DecodeBcd(&f[kFirst + i], 1, &valid[i]));
    Clock clock{2000 + v[0], v[1], v[2], v[3], v[4], v[5], true};
    if (accepted) state_.clock = clock;

    char text[64];
    std::snprintf(text, sizeof text, "clock %04d-%02d-%02d %02d:%02d:%02d", clock.year, clock.month,
                  clock.day, clock.hour, clock.minute, clock.second);
    Issues issues;
    issues.CheckBcd(std::all_of(valid, valid + 6, [](bool b) { return b; }), "date/time");
    return text + issues.Suffix();
}

std::string FrameDecoder::DecodeClear(bool accepted) {
    if (accepted) {
        state_.goods.clear();
        haveLastGoods_ = false;
    }
    return "clear goods";
}

namespace {

// The 64-byte goods record at frame bytes 3..66.
Good ParseGoodsRecord(const uint8_t* r, Issues& issues) {
    constexpr size_t kNameSize = 36;
    Good g;
    bool ok = true;
    g.nameCp1251 = UntilZero(r, r + kNameSize);
    g.code = static_cast<uint32_t>(DecodeBcd(r + 36, 3, &ok));
    issues.CheckBcd(ok, "code");
    g.labelNumber = r[39];
    g.labelExtra = r[40];
    g.department = static_cast<uint8_t>(DecodeBcd(r + 41, 1, &ok));
    issues.CheckBcd(ok, "department");
    g.barcodeFormat = r[42];
    g.price = static_cast<uint32_t>(DecodeBcd(r + 43, 4, &ok));
    issues.CheckBcd(ok, "price");
    g.weightMeasure = r[47];
    g.shelfLife = Le16(r + 48);
    g.extra1 = r[50];
    g.extra2 = r[51];
    g.extra3 = static_cast<uint32_t>(DecodeBcd(r + 52, 3, &ok));
    issues.CheckBcd(ok, "extra3");
    // Offset 55 is fixed at zero: the frame's fixed-byte check reports it.
    g.extra4 = static_cast<uint32_t>(DecodeBcd(r + 56, 3, &ok));
    issues.CheckBcd(ok, "extra4");
    g.plu = DecodeBcd(r + 59, 5, &ok);
    issues.CheckBcd(ok, "PLU");
    g.nameUtf8 = Windows1251ToUtf8(g.nameCp1251);
    return g;
}

std::string DescribeGood(const Good& g) {
    std::string unit = WeightUnitName(g.weightMeasure);
    if (unit.empty()) unit = std::to_string(g.weightMeasure);
    std::string out = "goods PLU " + std::to_string(g.plu) + " code " + std::to_string(g.code) +
                      " " + Quote(g.nameUtf8) + " price " + FormatPrice(g.price) + " shelf life " +
                      std::to_string(g.shelfLife) + " label " + std::to_string(g.labelNumber) +
                      " dept " + std::to_string(g.department) + " barcode " +
                      std::to_string(g.barcodeFormat) + " unit " + unit;
    if (g.labelExtra) out += " label extra " + std::to_string(g.labelExtra);
    if (g.extra1 || g.extra2 || g.extra3 || g.extra4) {
        out += " extra " + std::to_string(g.extra1) + " " + std::to_string(g.extra2) + " " +
               std::to_string(g.extra3) + " " + std::to_string(g.extra4);
    }
    return out;
}

}  // namespace

std::string FrameDecoder::DecodeGoods(const Frame& f, bool accepted) {
    constexpr size_t kRecord = 3;
    Issues issues;
    Good good = ParseGoodsRecord(&f[kRecord], issues);
    if (accepted) {
        state_.goods[good.plu] = good;
        lastGoodsPlu_ = good.plu;
        haveLastGoods_ = true;
    }
    return DescribeGood(good) + issues.Suffix();
}

Good* FrameDecoder::FindGoodByCode(uint32_t code) {
    // The continuation names the good by its code only; it belongs to the
    // record just written, or else to any good with that code.
    if (haveLastGoods_) {
        auto last = state_.goods.find(lastGoodsPlu_);
        if (last != state_.goods.end() && last->second.code == code) return &last->second;
    }
    for (auto& entry : state_.goods) {
        if (entry.second.code == code) return &entry.second;
    }
    return nullptr;
}

std::string FrameDecoder::DecodeContinuation(const Frame& f, bool accepted) {
    // Bytes 1-2: sequence number; record at byte 3: code (3 BCD bytes), then
    // the name's bytes 37..61, zero-padded.
    constexpr size_t kRecord = 3, kCodeSize = 3, kRecordSize = 64;
    constexpr size_t kRecordNameSize = 36, kMaxTail = 25;
    Issues issues;
    bool ok = true;
    const uint16_t sequence = Le16(&f[1]);
    const uint8_t* r = &f[kRecord];
    const auto code = static_cast<uint32_t>(DecodeBcd(r, kCodeSize, &ok));
    issues.CheckBcd(ok, "code");
    const std::string tail = UntilZero(r + kCodeSize, r + kRecordSize);
    if (tail.size() > kMaxTail) issues.Add(std::to_string(tail.size()) + " name bytes, at most 25");

    std::string out = "continuation #" + std::to_string(sequence) + " code " +
                      std::to_string(code) + " " + Quote(Windows1251ToUtf8(tail));
    Good* good = FindGoodByCode(code);
    if (!good) return out + " for no known good" + issues.Suffix();

    const std::string head = good->nameCp1251.substr(0, kRecordNameSize);
    if (head.size() < kRecordNameSize)
        issues.Add("the record's name has only " + std::to_string(head.size()) + " bytes");
    const std::string joined = head + tail;
    if (accepted) {
        good->nameCp1251 = joined;
        good->nameUtf8 = Windows1251ToUtf8(joined);
    }
    return out + " -> PLU " + std::to_string(good->plu) + " " + Quote(Windows1251ToUtf8(joined)) +
           issues.Suffix();
}

std::string FrameDecoder::DecodeShortMessage(const Frame& f, bool accepted, FixedBytes& fixed) {
    // Line 0 starts at byte 10; lines 1..7 have their start offsets in bytes
    // 3..9 and lines 8..15 in bytes 251..258 (frame position minus 3, 0 for a
    // line not sent).  Lines are split by these offsets, never by searching
    // for the FF FF separators: FF is also the letter "я".
    constexpr size_t kTextStart = 10, kTextEnd = 251, kOffsetBias = 3, kMaxLines = 16;
    constexpr size_t kLowOffsets = 3, kHighOffsets = 251, kLowCount = 7;
    Issues issues;
    auto offsetAt = [](size_t line) {
        return line <= kLowCount ? kLowOffsets + line - 1 : kHighOffsets + line - kLowCount - 1;
    };
    std::vector<size_t> starts{kTextStart};
    for (size_t line = 1; line < kMaxLines; ++line) {
        if (f[offsetAt(line)] == 0) break;
        starts.push_back(f[offsetAt(line)] + kOffsetBias);
    }
    // Lines not sent have offset 0; the text area is zero after the last line.
    for (size_t line = starts.size(); line < kMaxLines; ++line)
        fixed.Zero(offsetAt(line), offsetAt(line));
    if (starts.back() < kTextEnd) fixed.ZeroPadded(starts.back(), kTextEnd - 1);
    std::vector<std::string> lines;
    for (size_t i = 0; i < starts.size(); ++i) {
        const bool last = i + 1 == starts.size();
        size_t begin = std::min(starts[i], kTextEnd);
        size_t end = last ? std::find(&f[begin], &f[0] + kTextEnd, 0) - &f[0] : starts[i + 1] - 2;
        if (starts[i] >= kTextEnd || end < begin || end > kTextEnd) {
            issues.Add("line " + std::to_string(i) + " out of place");
            end = std::min(std::max(end, begin), kTextEnd);
        } else if (!last && (f[end] != 0xFF || f[end + 1] != 0xFF)) {
            issues.Add("no FF FF after line " + std::to_string(i));
        }
        lines.push_back(Windows1251ToUtf8(std::string(&f[begin], &f[0] + end)));
    }
    // An empty text is sent as a frame without lines.
    if (lines.size() == 1 && lines[0].empty()) lines.clear();
    const int number = MessageNumber(&f[1]);
    if (accepted) {
        state_.messages[number] = lines;
        pending_.active = false;
    }
    return "message " + std::to_string(number) + ", " + QuotedLines(lines) + issues.Suffix();
}

std::string FrameDecoder::DecodeAnnouncement(const Frame& f, bool accepted) {
    // Bytes 5-6: the message number again (from 1); bytes 7-8: the sequence
    // number the first data frame will carry.
    const int number = MessageNumber(&f[1]);
    const uint16_t firstSequence = Le16(&f[7]);
    Issues issues;
    if (Le16(&f[5]) != (number & 0xFFFF))
        issues.Add("bytes 5-6 give number " + std::to_string(Le16(&f[5])));
    if (accepted) {
        pending_ = LongMessage{};
        pending_.active = true;
        pending_.number = number;
        pending_.nextSequence = firstSequence;
    }
    return "message " + std::to_string(number) + " announced, data from #" +
           std::to_string(firstSequence) + issues.Suffix();
}

std::string FrameDecoder::DecodeMessageData(const Frame& f, bool accepted, FixedBytes& fixed) {
    // First data frame: bytes 3-4 total length L, bytes 5-8 fixed, text from
    // byte 9.  Further frames: text from byte 3.  Text past L is padding.
    constexpr size_t kFirstText = 9, kNextText = 3;
    const uint16_t sequence = Le16(&f[1]);
    std::string out = "message data #" + std::to_string(sequence);
    if (!pending_.active) return out + " without an announcement";

    Issues issues;
    if (sequence != pending_.nextSequence)
        issues.Add("expected #" + std::to_string(pending_.nextSequence));
    LongMessage next = pending_;
    if (!next.lengthKnown) {
        next.length = Le16(&f[3]);
        next.lengthKnown = true;
    }
    const size_t from = pending_.lengthKnown ? kNextText : kFirstText;
    const size_t take = std::min(kFrameSize - from, next.length - next.text.size());
    next.text.append(&f[from], &f[from] + take);
    // Only the first data frame has bytes 5-8, always 00 00 06 00; every
    // data frame is zero after its share of the text.
    if (!pending_.lengthKnown) fixed.Equal(5, {0x00, 0x00, 0x06, 0x00});
    if (from + take < kFrameSize) fixed.Zero(from + take, kFrameSize - 1);
    next.nextSequence = static_cast<uint16_t>(sequence + 1);

    out = "message " + std::to_string(next.number) + " data #" + std::to_string(sequence) + ": " +
          std::to_string(next.text.size()) + " of " + std::to_string(next.length) + " bytes";
    const bool complete = next.text.size() >= next.length;
    std::vector<std::string> lines;
    if (complete) {
        lines = SplitCrLf(next.text);
        out += ", complete, " + QuotedLines(lines);
        next.active = false;
    }
    if (accepted) {
        pending_ = next;
        if (complete) state_.messages[next.number] = lines;
    }
    return out + issues.Suffix();
}

std::string FrameDecoder::DecodeHotKeys(const Frame& f, bool accepted) {
    // 84 entries of 3 BCD bytes from byte 3; page 0 holds keys 1..84.
    constexpr size_t kFirstEntry = 3, kEntrySize = 3;
    const size_t page = f[1] - kFirstHotKeyPage;
    const size_t firstKey = page * kHotKeysPerPage;
    std::string out = "hot keys page " + std::to_string(page) + " (keys " +
                      std::to_string(firstKey + 1) + "-" +
                      std::to_string(firstKey + kHotKeysPerPage) + "):";
    Issues issues;
    bool any = false, allValid = true;
    for (size_t i = 0; i < kHotKeysPerPage; ++i) {
        bool ok = true;
        const auto code =
            static_cast<uint32_t>(DecodeBcd(&f[kFirstEntry + i * kEntrySize], kEntrySize, &ok));
        allValid = allValid && ok;
        if (accepted) state_.hotKeys[firstKey + i] = code;
        if (code == 0) continue;
        out += (any ? ", " : " ") + std::to_string(firstKey + i + 1) + "=" + std::to_string(code);
        any = true;
    }
    if (!any) out += " all 0";
    issues.CheckBcd(allValid, "key code");
    return out + issues.Suffix();
}

std::string FrameDecoder::DecodeUnknown(const Frame& f, size_t count) {
    constexpr size_t kShown = 16;
    return "unknown frame " + HexList(f.data(), std::min(count, kShown)) +
           (count > kShown ? " ..." : "");
}

}  // namespace emu

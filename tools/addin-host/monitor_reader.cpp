#include "tools/addin-host/monitor_reader.h"

#include <cstdio>
#include <sstream>

#include "decoder.h"
#include "tools/addin-host/commands.h"
#include "tools/addin-host/host_os.h"
#include "tools/addin-host/host_text.h"
#include "tools/addin-host/progress_board.h"
#include "tools/console/console.h"
#include "tools/console/language.h"

namespace host {

namespace {
using console::Say;

struct DirectionLabel {
    const char* label;  // as the monitor writes it, without its padding
    MonitorDirection direction;
    const char* arrow;
};
constexpr DirectionLabel kDirections[] = {
    {"SYS", MonitorDirection::kSystem, "--"},
    {"OUT >>>>>", MonitorDirection::kSent, "->"},
    {"IN <<<<<<", MonitorDirection::kReceived, "<-"},
};
constexpr char kBytesMark[] = "Bytes:";
// A data line: "00001:" then the hex columns up to the text column.
constexpr size_t kHexFrom = 6;
constexpr size_t kHexTo = 68;
constexpr char kRuler[] = "  N     1  2  3";
constexpr uint8_t kPositiveReply = 0x02;

int64_t DaysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// "LABEL  2024-03-05 09:07:45.120 ---- Bytes:   12 -----"
bool ReadHeader(const std::string& line, MonitorRecord& record, size_t& count) {
    const DirectionLabel* found = nullptr;
    for (const DirectionLabel& d : kDirections)
        if (line.compare(0, std::char_traits<char>::length(d.label), d.label) == 0) found = &d;
    size_t bytesAt = line.find(kBytesMark);
    if (found == nullptr || bytesAt == std::string::npos) return false;
    int year, month, day, hour, minute, second, milli, bytes;
    if (std::sscanf(line.c_str() + 9, " %d-%d-%d %d:%d:%d.%d", &year, &month, &day, &hour, &minute,
                    &second, &milli) != 7 ||
        std::sscanf(line.c_str() + bytesAt + sizeof kBytesMark - 1, "%d", &bytes) != 1 || bytes < 0)
        return false;
    record.direction = found->direction;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%d-%02d-%02d %02d:%02d:%02d.%03d", year, month, day, hour,
                  minute, second, milli);
    record.stamp = stamp;
    constexpr double kSecondsPerDay = 86400;
    record.seconds = DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600.0 +
                     minute * 60.0 + second + milli / 1000.0;
    count = static_cast<size_t>(bytes);
    return true;
}

// "00021: 4F 50 ..." : five digits and a colon.
bool IsDataLine(const std::string& line) {
    if (line.size() < kHexFrom || line[kHexFrom - 1] != ':') return false;
    for (size_t i = 0; i + 1 < kHexFrom; ++i)
        if (line[i] < '0' || line[i] > '9') return false;
    return true;
}

bool ReadDataLine(const std::string& line, std::vector<uint8_t>& bytes, size_t count) {
    if (line.size() < kHexTo) return false;
    std::istringstream hex(line.substr(kHexFrom, kHexTo - kHexFrom));
    std::string token;
    while (bytes.size() < count && hex >> token) {
        if (token == "|") continue;
        unsigned value = 0;
        if (token.size() != 2 || std::sscanf(token.c_str(), "%2x", &value) != 1) return false;
        bytes.push_back(static_cast<uint8_t>(value));
    }
    return true;
}

std::string ReplyText(const std::vector<uint8_t>& bytes) {
    std::string text = emu::HexList(bytes.data(), bytes.size());
    bool positive = !bytes.empty() && bytes[0] == kPositiveReply;
    text += positive ? Say(" (positive reply)", " (положительный ответ)")
                     : Say(" (negative reply: not 02)", " (отрицательный ответ: не 02)");
    return text;
}

std::string Gap(const MonitorRecord* before, const MonitorRecord& record) {
    constexpr size_t kWidth = 10;
    std::string gap =
        before == nullptr
            ? std::string()
            : "+" + ProgressBoard::Decimal(record.seconds - before->seconds, 3) + Say(" s", " с");
    size_t width = Utf8Width(gap);
    return gap + std::string(width < kWidth ? kWidth - width : 0, ' ');
}
}  // namespace

bool ParseMonitorFile(const std::string& text, std::vector<MonitorRecord>& records,
                      std::string& error) {
    std::istringstream lines(text);
    std::string line;
    size_t count = 0;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        MonitorRecord record;
        if (ReadHeader(line, record, count)) {
            records.push_back(record);
            continue;
        }
        bool filler = line.empty() || line.find_first_not_of('_') == std::string::npos ||
                      line.compare(0, sizeof kRuler - 1, kRuler) == 0;
        if (records.empty() || filler) continue;
        MonitorRecord& open = records.back();
        bool data = IsDataLine(line);
        if (data && ReadDataLine(line, open.bytes, count)) continue;
        if (!data && open.connection.empty() && open.bytes.empty()) {
            open.connection = line;
            continue;
        }
        error = Say("line ", "строка ") + std::to_string(number) +
                Say(": not a line of a port monitor file", ": не строка файла монитора порта");
        return false;
    }
    if (!records.empty()) return true;
    error = Say("no port monitor records", "нет записей монитора порта");
    return false;
}

std::vector<std::string> DescribeMonitor(const std::vector<MonitorRecord>& records) {
    emu::FrameDecoder decoder;
    std::vector<std::string> out;
    const MonitorRecord* before = nullptr;
    for (const MonitorRecord& record : records) {
        std::string text;
        const char* arrow = "--";
        for (const DirectionLabel& d : kDirections)
            if (d.direction == record.direction) arrow = d.arrow;
        if (record.direction == MonitorDirection::kSystem)
            text = std::string(record.bytes.begin(), record.bytes.end()) + " " + record.connection;
        else if (record.direction == MonitorDirection::kSent)
            text = decoder.Decode(record.bytes.data(), record.bytes.size()).description;
        else
            text = ReplyText(record.bytes);
        out.push_back(record.stamp + "  " + Gap(before, record) + arrow + " " + text);
        before = &record;
    }
    return out;
}

int RunMonitor(const std::string& path) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes))
        return Fail(kExitUsage, Say("cannot read ", "не удаётся прочитать ") + path);
    std::vector<MonitorRecord> records;
    std::string error;
    bool parsed = ParseMonitorFile(bytes, records, error);
    for (const std::string& line : DescribeMonitor(records)) console::Print("%s\n", line.c_str());
    return parsed ? kExitOk : Fail(kExitUsage, path + ": " + error);
}

}  // namespace host

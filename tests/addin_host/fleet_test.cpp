// The pieces behind several scales at once, without the add-in: the scales
// list, the progress board on a made-up clock, the language choice and the
// port monitor's records read back.
#include <gtest/gtest.h>

#include <cstdio>

#include "tools/addin-host/cli_args.h"
#include "tools/addin-host/fleet.h"
#include "tools/addin-host/monitor_reader.h"
#include "tools/addin-host/progress_board.h"
#include "tools/addin-host/scales_list.h"
#include "tools/console/language.h"

namespace host {
namespace {

std::string Labels(const LabelChoice& l) {
    auto one = [](const std::optional<int32_t>& v) { return v ? std::to_string(*v) : "-"; };
    return one(l.label) + " " + one(l.dept) + " " + one(l.barcode) + " " + one(l.unit);
}

TEST(ScalesList, EachLineIsAnAddressWithAnOptionalNameAndLabelSettings) {
    struct Row {
        const char* line;
        bool ok;
        const char* expected;  // "host:port|name|label dept barcode unit", or the error
    };
    const Row rows[] = {
        {"192.168.1.21:5001 Мясо dept=5", true, "192.168.1.21:5001|Мясо|- 5 - -"},
        {"10.0.0.7  \"Рыба и сыр\"  label=2 unit=1  # counter 2", true,
         "10.0.0.7:5001|Рыба и сыр|2 - - 1"},
        {"127.0.0.1:7 barcode=9 dept=12", true, "127.0.0.1:7|127.0.0.1:7|- 12 9 -"},
        {"   # only a comment", true, ""},
        {"", true, ""},
        {"127.0.0.1:70000 x", false, "malformed address"},
        {"127.0.0.1 shelf=3", false, "unknown setting shelf"},
        {"127.0.0.1 dept=five", false, "dept must be a whole number"},
    };
    for (const Row& row : rows) {
        ScalesTarget target;
        bool empty = false;
        std::string error;
        ASSERT_EQ(ParseScalesLine(row.line, target, empty, error), row.ok) << row.line;
        if (!row.ok) {
            EXPECT_NE(error.find(row.expected), std::string::npos) << row.line << ": " << error;
        } else if (empty) {
            EXPECT_STREQ(row.expected, "") << row.line;
        } else {
            EXPECT_EQ(target.address.host + ":" + std::to_string(target.address.port) + "|" +
                          target.name + "|" + Labels(target.labels),
                      row.expected);
        }
    }
}

TEST(ScalesList, AddressesComeFirstAndTheFilesSettingsOverrideTheCommandLines) {
    std::string path = ::testing::TempDir() + "fleet_test_scales.txt";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("# shop\n127.0.0.2:9 Весы 2 dept=6\r\n127.0.0.3:9\n", file);
    std::fclose(file);
    CommandLine line;
    line.given = {{"--address", "127.0.0.1:8"}};
    line.options = {
        {"--address", "127.0.0.1:8"}, {"--scales", path}, {"--dept", "5"}, {"--label", "1"}};
    std::vector<ScalesTarget> scales;
    std::string error;
    ASSERT_TRUE(CollectScales(line, scales, error)) << error;
    ASSERT_EQ(scales.size(), 3u);
    EXPECT_EQ(scales[0].name + "|" + Labels(scales[0].labels), "127.0.0.1:8|1 5 - -");
    EXPECT_EQ(scales[1].name + "|" + Labels(scales[1].labels), "Весы 2|1 6 - -");
    EXPECT_EQ(scales[2].name + "|" + Labels(scales[2].labels), "127.0.0.3:9|1 5 - -");

    CommandLine none;
    ASSERT_TRUE(CollectScales(none, scales, error));
    ASSERT_EQ(scales.size(), 1u);
    EXPECT_EQ(scales[0].name, "127.0.0.1:5001");
}

class RecordingOutput : public BoardOutput {
  public:
    void Text(const std::string& utf8) override { text += utf8; }
    void Up(int lines) override { text += "<up " + std::to_string(lines) + ">"; }
    std::string Take() { return std::exchange(text, std::string()); }
    std::string text;
};

TEST(ProgressBoard, InAPipeWritesPeriodicLinesAndOneLinePerScalesAtItsEnd) {
    RecordingOutput out;
    ProgressBoard board({"Мясо", "127.0.0.1:7"}, false, out);
    board.Advance(0, 10, 300);
    board.Advance(1, 4, 300);
    board.Tick(1.0);
    EXPECT_EQ(out.Take(), "");  // nothing before the first period
    board.Tick(ProgressBoard::kPipePeriod);
    EXPECT_EQ(out.Take(),
              "Мясо:        10/300 goods, 2.0 goods/s\n"
              "127.0.0.1:7: 4/300 goods, 0.8 goods/s\n");
    ScalesOutcome failed;
    failed.text = "good 5 of 300: no reply; resume with --from 5";
    board.Finish(1, failed);
    board.Tick(6.0);
    EXPECT_EQ(out.Take(), "127.0.0.1:7: good 5 of 300: no reply; resume with --from 5\n");
    board.Advance(0, 200, 300);
    board.Tick(10.0);  // the ended scales is not repeated
    EXPECT_EQ(out.Take(), "Мясо:        200/300 goods, 20.0 goods/s\n");
}

TEST(ProgressBoard, OnATerminalDrawsEveryLineAgainInPlace) {
    RecordingOutput out;
    ProgressBoard board({"a", "b"}, true, out);
    board.Advance(0, 1, 2);
    board.Tick(0.5);
    board.Advance(0, 2, 2);
    board.Tick(1.0);
    auto fitted = [](std::string line) { return line + std::string(79 - line.size(), ' ') + "\n"; };
    EXPECT_EQ(out.Take(), "<up 0>" + fitted("a: 1/2 goods, 2.0 goods/s") + fitted("b: working...") +
                              "<up 2>" + fitted("a: 2/2 goods, 2.0 goods/s") +
                              fitted("b: working..."));
    // An end shows its headline; a line longer than the screen is cut,
    // never wrapped.
    ScalesOutcome failed, done;
    failed.text = "good 7 of 9: no reply";
    failed.headline = "FAILED at good 7; resume with --from 7";
    done.text = std::string(100, 'x');
    board.Finish(0, done);
    board.Finish(1, failed);
    board.Tick(1.5);
    EXPECT_EQ(out.Take(), "<up 2>" + fitted("a: " + std::string(76, 'x')) +
                              fitted("b: FAILED at good 7; resume with --from 7"));
}

TEST(OutcomeTable, ShowsGoodsTimeAndResultPerScales) {
    ScalesOutcome ok{true, true, 52, 52, 0.25, "uploaded 52 goods", ""};
    ScalesOutcome failed{false, true, 0, 52, 2.9, "no reply; resume with --from 1", "FAILED"};
    ScalesOutcome cleared{true, false, 0, 0, 0.01, "sent", ""};
    EXPECT_EQ(OutcomeTable({"Мясо", "127.0.0.1:7", "c"}, {ok, failed, cleared}),
              "Scales       Goods  Time     Result\n"
              "Мясо         52/52  0.250 s  uploaded 52 goods\n"
              "127.0.0.1:7  0/52   2.900 s  FAILED: no reply; resume with --from 1\n"
              "c            -      0.010 s  sent\n");
}

TEST(Language, TheFirstLocaleVariableSetDecidesAndLangOverrides) {
    using console::Language;
    struct Row {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        const char* expected;  // "ru", "en", or "" for none set
    };
    const Row rows[] = {
        {nullptr, nullptr, "ru_RU.UTF-8", "ru"},
        {"C", nullptr, "ru_RU.UTF-8", "en"},
        {"", "ru_UA", "en_US", "ru"},
        {nullptr, "", "", ""},
        {"en_GB", "ru_RU", nullptr, "en"},
        {nullptr, nullptr, "russian", "ru"},
    };
    for (const Row& row : rows) {
        const Language* chosen =
            console::LanguageOfLocaleVariables(row.lcAll, row.lcMessages, row.lang);
        std::string got = chosen == nullptr ? "" : *chosen == Language::kRussian ? "ru" : "en";
        EXPECT_EQ(got, row.expected) << (row.lang ? row.lang : "-");
    }
    std::string bad;
    ASSERT_TRUE(console::ChooseLanguage({"upload", "--lang", "ru"}, bad));
    EXPECT_STREQ(console::Say("en", "ru"), "ru");
    ASSERT_TRUE(console::ChooseLanguage({"upload", "--lang=en"}, bad));
    EXPECT_STREQ(console::Say("en", "ru"), "en");
    EXPECT_FALSE(console::ChooseLanguage({"--lang=de"}, bad));
    EXPECT_EQ(bad, "de");
    console::SetLanguage(Language::kEnglish);
}

// One record as the add-in's port monitor writes it.
std::string Record(const char* label, const char* stamp, const std::vector<uint8_t>& bytes) {
    char header[512];
    std::snprintf(header, sizeof header,
                  "\r\n____________________________________________________________________\r\n"
                  "%s  %s ---- Bytes:%5zu -----\r\nETHERNET: 127.0.0.1:5001\r\n"
                  "  N     1  2  3  4  5  6  7  8  9 10   11 12 13 14 15 16 17 18 19 20\r\n\r\n",
                  label, stamp, bytes.size());
    std::string text = header;
    for (size_t at = 0; at < bytes.size(); at += 20) {
        char line[32];
        std::snprintf(line, sizeof line, "%05zu:", at + 1);
        text += line;
        std::string shown;
        for (size_t column = 0; column < 20; ++column) {
            if (column == 10) text += " |";
            if (at + column < bytes.size()) {
                std::snprintf(line, sizeof line, " %02X", bytes[at + column]);
                text += line;
                shown += bytes[at + column] < 32 ? '.' : static_cast<char>(bytes[at + column]);
            } else {
                text += "   ";
                shown += ' ';
            }
        }
        text += "    " + shown + "\r\n";
    }
    return text;
}

TEST(MonitorReader, EachRecordBecomesALineWithTimeGapDirectionAndMeaning) {
    std::vector<uint8_t> clear(259, 0);
    const uint8_t clearCommand[] = {0x0E, 0x04, 0x00, 0x00, 0x04};
    std::copy(std::begin(clearCommand), std::end(clearCommand), clear.begin());
    std::string file = Record("SYS      ", "2024-03-05 09:07:45.100", {'O', 'P', 'E', 'N'}) +
                       Record("OUT >>>>>", "2024-03-05 09:07:45.120", clear) +
                       Record("IN <<<<<<", "2024-03-05 09:07:45.145", {0x02}) +
                       Record("IN <<<<<<", "2024-03-05 09:07:46.000", {0x00, 0x02});
    std::vector<MonitorRecord> records;
    std::string error;
    ASSERT_TRUE(ParseMonitorFile(file, records, error)) << error;
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[1].bytes, clear);
    std::vector<std::string> lines = DescribeMonitor(records);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "2024-03-05 09:07:45.100            -- OPEN ETHERNET: 127.0.0.1:5001",
                         "2024-03-05 09:07:45.120  +0.020 s  -> clear goods",
                         "2024-03-05 09:07:45.145  +0.025 s  <- 02 (positive reply)",
                         "2024-03-05 09:07:46.000  +0.855 s  <- 00 02 (negative reply: not 02)",
                     }));
    EXPECT_FALSE(ParseMonitorFile("just some text\n", records, error));
}

}  // namespace
}  // namespace host

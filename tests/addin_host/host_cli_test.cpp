// addin-host run as a separate program against the built add-in, as a user
// runs it: its output, its exit codes, and what the scales (the emulator,
// in this process on 127.0.0.1) hold afterwards.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "emulator.h"

namespace {

struct HostRun {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

std::string Quoted(const std::string& arg) {
    std::string out = "'";
    for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// `env` sets the locale variables; English unless a test asks otherwise.
HostRun RunHost(const std::vector<std::string>& args, const std::string& lib = ADDIN_LIB,
                const std::string& env = "LC_ALL=C") {
    std::string command = "env " + env + " " + Quoted(ADDIN_HOST_EXE) + " --lib " + Quoted(lib);
    for (const std::string& arg : args) command += " " + Quoted(arg);
    command += " 2>&1";
    HostRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char chunk[4096];
    size_t got = 0;
    while ((got = fread(chunk, 1, sizeof(chunk), pipe)) > 0) run.output.append(chunk, got);
    int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

class AddInHostOnLoopback : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(scales_.StartUdp("127.0.0.1", 0)); }
    std::string Address() const { return "127.0.0.1:" + std::to_string(scales_.UdpPort()); }
    emu::ScalesEmulator scales_;
};

TEST(AddInHostInfo, ShowsTheAddInAndEveryMethodInBothLanguagesWithoutLeaks) {
    static const char* const kMethods[][2] = {
        {"GetVersion", "ПолучитьНомерВерсии"},
        {"GetDescription", "ПолучитьОписание"},
        {"GetLastError", "ПолучитьОшибку"},
        {"GetParameters", "ПолучитьПараметры"},
        {"SetParameter", "УстановитьПараметр"},
        {"Open", "Подключить"},
        {"Close", "Отключить"},
        {"DeviceTest", "ТестУстройства"},
        {"GetAdditionalActions", "ПолучитьДополнительныеДействия"},
        {"DoAdditionalAction", "ВыполнитьДополнительноеДействие"},
        {"UploadGoods", "ВыгрузитьТовары"},
        {"ClearGoods", "ОчиститьТовары"},
        {"ConnectByEthernet", "ПодключитьВесыПоEthernet"},
        {"ConnectByRS232", "ПодключитьВесыПоRS232"},
        {"CloseConnection", "ЗакрытьСоединение"},
        {"SendGoodToScalesV1", "ПрограммироватьТоварV1"},
        {"GetInterfaceRevision", "ПолучитьРевизиюИнтерфейса"},
        {"GetWeight", "ПолучитьВес"},
        {"SetPathDllFolder", "УказатьПутьКПапкеКомпоненты"},
        {"GetBuilderInfo", "ИнформацияОПроизводителеДрайвера"},
        {"SendMessageV1", "ПрограммироватьСообщениеV1"},
        {"StartSendMessages", "НачатьПрограммироватьСообщения"},
        {"SendHotKeys", "ПрограммироватьГорячиеКлавиши"},
        {"AddHotKey", "ДобавитьГорячуюКлавишу"},
        {"PrepareSendHotKeys", "ПодготовитьсяКУстановкеГорячихКлавиш"},
    };
    HostRun run = RunHost({"info", ADDIN_LIB});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("extension:          TaviZavDriverRongtaRLS1000\n"),
              std::string::npos);
    EXPECT_NE(run.output.find("version:            v2021-05-19 009\n"), std::string::npos);
    EXPECT_NE(run.output.find("interface revision: 2002 (GetInfo: 2002)"), std::string::npos);
    EXPECT_NE(run.output.find("methods:            25\n"), std::string::npos);
    for (size_t i = 0; i < 25; ++i) {
        // Each row: number, English name, Russian name, on one line.
        char number[8];
        std::snprintf(number, sizeof number, "  %2zu  ", i);
        size_t row = run.output.find(std::string(number) + kMethods[i][0] + " ");
        ASSERT_NE(row, std::string::npos) << kMethods[i][0];
        std::string line = run.output.substr(row, run.output.find('\n', row) - row);
        EXPECT_NE(line.find(kMethods[i][1]), std::string::npos) << line;
    }
    EXPECT_EQ(run.output.find("FindMethod does not find"), std::string::npos);
    EXPECT_NE(run.output.find("0 leaked (0 bytes), 0 bad frees: clean"), std::string::npos)
        << run.output;
}

TEST(AddInHostErrors, OneLineAndADistinctExitCodeForEachKindOfMistake) {
    struct Case {
        std::vector<std::string> args;
        std::string lib;
        int exitCode;
        const char* says;
    };
    const std::string missingLib = "/nonexistent/NativeAPITaviZavRLS1000Lin64.so";
    const Case cases[] = {
        {{"info"}, missingLib, 3, "cannot load the add-in"},
        {{"info"}, GOODS_XML, 3, "cannot load the add-in"},  // not a shared library
        {{"upload", "/nonexistent/goods.xml"}, ADDIN_LIB, 2, "cannot read the goods file"},
        {{"clear", "--address", "127.0.0.1:port"}, ADDIN_LIB, 2, "malformed address"},
        {{"test", "--address", ":5001"}, ADDIN_LIB, 2, "malformed address"},
        {{"upload", "--address", "127.0.0.1:70000", GOODS_XML}, ADDIN_LIB, 2, "malformed address"},
        {{"weigh"}, ADDIN_LIB, 2, "unknown command"},
        {{"params", "extra"}, ADDIN_LIB, 2, "wrong number of arguments for params"},
        {{"hotkeys", "1:2"}, ADDIN_LIB, 2, "KEY=CODE"},
        {{"good", "--name", "x", "--code", "1", "--plu", "1"}, ADDIN_LIB, 2, "--price"},
        {{"message", "1", "text", "--width", "wide"}, ADDIN_LIB, 2, "--width"},
    };
    for (const Case& c : cases) {
        HostRun run = RunHost(c.args, c.lib);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
        EXPECT_EQ(Count(run.output, "\n"), 1u) << run.output;
        EXPECT_EQ(run.output.rfind("addin-host: ", 0), 0u) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    }
}

TEST(AddInHostParams, PrintsTheSettingsDocument) {
    HostRun run = RunHost({"params"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Settings>", 0), 0u);
    EXPECT_EQ(Count(run.output, "<Parameter "), 7u);
    EXPECT_NE(run.output.find("Caption=\"TCP/UDP порт\""), std::string::npos);
}

TEST_F(AddInHostOnLoopback, UploadOfTheExampleFillsTheGoodsTable) {
    HostRun run = RunHost({"upload", "--address", Address(), GOODS_XML});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(std::regex_search(
        run.output, std::regex(R"(^uploaded 52 goods in \d+\.\d{3} s \(\d+\.\d goods/s\)\n$)")))
        << run.output;
    EXPECT_EQ(run.output.find('\r'), std::string::npos);  // no progress line into a pipe

    emu::State state = scales_.Snapshot();
    ASSERT_EQ(state.goods.size(), 52u);
    EXPECT_EQ(state.goods.at(1).nameUtf8, "Бананы");
    EXPECT_EQ(state.goods.at(1).code, 10001u);
    EXPECT_EQ(state.goods.at(1).price, 8990u);     // "89,90"
    EXPECT_EQ(state.goods.at(9).price, 1999u);     // "19.99"
    EXPECT_EQ(state.goods.at(28).price, 123456u);  // "1 234,56"
    EXPECT_EQ(state.goods.at(50).shelfLife, 365u);
    // 45 characters: the name is completed by a continuation frame.
    EXPECT_EQ(state.goods.at(21).nameUtf8, "Колбаса Докторская варёная высшего сорта ГОСТ");
    EXPECT_EQ(state.goods.at(52).nameUtf8, "Салат Оливье \"Домашний\"");
    EXPECT_TRUE(state.clock.set);
}

TEST_F(AddInHostOnLoopback, WholeDocumentUploadLeavesTheSameTableAsGoodByGood) {
    emu::ScalesEmulator other;
    ASSERT_TRUE(other.StartUdp("127.0.0.1", 0));
    ASSERT_EQ(RunHost({"upload", "--address", Address(), GOODS_XML}).exitCode, 0);
    HostRun whole = RunHost({"upload", "--whole", "--address",
                             "127.0.0.1:" + std::to_string(other.UdpPort()), GOODS_XML});
    ASSERT_EQ(whole.exitCode, 0) << whole.output;
    EXPECT_EQ(scales_.GoodsTable(), other.GoodsTable());
}

TEST_F(AddInHostOnLoopback, RefusedGoodStopsTheUploadWithTheAddInsErrorText) {
    emu::Faults faults;
    faults.failKind = "goods";
    scales_.SetFaults(faults);
    HostRun run = RunHost({"upload", "--address", Address(), GOODS_XML});
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("good 1 of 52 (PLU 1, \"Бананы\"): UploadGoods failed: "),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("(code 7)"), std::string::npos) << run.output;
    EXPECT_TRUE(scales_.Snapshot().goods.empty());
}

std::string WriteTempFile(const std::string& name, const std::string& content) {
    std::string path = ::testing::TempDir() + "addin_host_" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return path;
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);
    return path;
}

TEST_F(AddInHostOnLoopback, EmptyDocumentSendsNothingAndAnEmptyFileIsRefused) {
    HostRun empty =
        RunHost({"upload", "--address", Address(), WriteTempFile("empty.xml", "<Goods/>")});
    EXPECT_EQ(empty.exitCode, 0) << empty.output;
    EXPECT_EQ(empty.output.rfind("uploaded 0 goods in ", 0), 0u) << empty.output;

    HostRun blank = RunHost({"upload", "--address", Address(), WriteTempFile("blank.xml", "")});
    EXPECT_EQ(blank.exitCode, 1) << blank.output;
    EXPECT_NE(blank.output.find("is not a goods document the add-in can read"), std::string::npos)
        << blank.output;
    EXPECT_EQ(scales_.Snapshot().framesReceived, 0u);
}

// A goods file with several bad goods, and goods that pass with a warning.
const char kBadGoods[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Goods>\n"
    "  <Good PLU=\"1\" Code=\"1\" Name=\"Хлеб\" Price=\"45\"/>\n"
    "  <Good PLU=\"2\" Code=\"2\" Name=\"Икра\" Price=\"сорок\"/>\n"
    "  <Good PLU=\"3\" Code=\"1O4\" Name=\"Чай\" Price=\"89.90.1\"/>\n"
    "  <Good PLU=\"1\" Code=\"4\" Name=\"Сыр\" Price=\"1\xC2\xA0"
    "234,56\"/>\n"
    "  <Good Code=\"5\" Name=\"Кофе\" Price=\"5\" ShelfLife=\"3 дня\"/>\n"
    "</Goods>\n";

// Every problem on a line of its own, in document order (a good's errors
// before its warnings), each starting with the file and the good's line; then
// the count.  No library, no scales.
TEST(AddInHostCheck, ListsEveryProblemOfTheFile) {
    const std::string file = WriteTempFile("bad.xml", kBadGoods);
    HostRun run = RunHost({"check", file});
    EXPECT_EQ(run.exitCode, 1) << run.output;
    const struct {
        int line;
        const char* text;
    } expected[] = {
        {4,
         "Ошибка_4: Ошибка в формате цены. Товар № 2 (строка 4, PLU=\"2\", Name=\"Икра\"): "
         "Price=\"сорок\"; допускается: число от 0 до 999999,99"},
        {5,
         "Ошибка_151: Ошибка в формате целого числа. Товар № 3 (строка 5, PLU=\"3\", "
         "Name=\"Чай\"): Code=\"1O4\"; допускается: целое число от 0 до 999999"},
        {5,
         "Ошибка_4: Ошибка в формате цены. Товар № 3 (строка 5, PLU=\"3\", Name=\"Чай\"): "
         "Price=\"89.90.1\""},
        {6,
         "Предупреждение: Товар № 4 (строка 6, PLU=\"1\", Name=\"Сыр\"): этот PLU уже есть у "
         "товара № 1 (строка 3)"},
        {7,
         "Ошибка_151: Ошибка в формате целого числа. Товар № 5 (строка 7, без PLU, "
         "Name=\"Кофе\"): ShelfLife=\"3 дня\"; допускается: целое число от 0 до 65535"},
        {7, "Предупреждение: Товар № 5 (строка 7, без PLU, Name=\"Кофе\"): PLU не указан"},
    };
    size_t at = 0;
    for (const auto& line : expected) {
        const std::string start = file + ":" + std::to_string(line.line) + ": " + line.text;
        const size_t found = run.output.find(start, at);
        EXPECT_NE(found, std::string::npos) << start << "\n" << run.output;
        if (found != std::string::npos) at = found;
    }
    EXPECT_EQ(Count(run.output, "\n"), std::size(expected) + 1) << run.output;
    EXPECT_NE(run.output.find(file + ": 5 goods, 4 errors, 2 warnings\n"), std::string::npos)
        << run.output;

    HostRun clean = RunHost({"check", GOODS_XML});
    EXPECT_EQ(clean.exitCode, 0) << clean.output;
    EXPECT_EQ(clean.output, std::string(GOODS_XML) + ": 52 goods, 0 errors, 0 warnings\n");
    HostRun broken = RunHost({"check", WriteTempFile("open.xml",
                                                     "<Goods>\n<Good PLU=\"1\">\n"
                                                     "<Good PLU=\"2\"/>\n</Goods>\n")});
    EXPECT_EQ(broken.exitCode, 1) << broken.output;
    EXPECT_NE(broken.output.find("open.xml:4:1: Ошибка_152: "), std::string::npos) << broken.output;
    EXPECT_EQ(RunHost({"check", ::testing::TempDir() + "no-such-goods.xml"}).exitCode, 2);
}

// The same check runs before an upload: a document with an error sends
// nothing at all, good by good or whole.
TEST_F(AddInHostOnLoopback, UploadOfAFileWithErrorsSendsNothing) {
    const std::string file = WriteTempFile("bad.xml", kBadGoods);
    // Checked once, before any of several scales is contacted.
    emu::ScalesEmulator other;
    ASSERT_TRUE(other.StartUdp("127.0.0.1", 0));
    const std::string second = "127.0.0.1:" + std::to_string(other.UdpPort());
    for (bool whole : {false, true}) {
        std::vector<std::string> args = {"upload",    "--address", Address(),
                                         "--address", second,      file};
        if (whole) args.insert(args.begin() + 1, "--whole");
        HostRun run = RunHost(args);
        EXPECT_EQ(run.exitCode, 1) << run.output;
        EXPECT_EQ(Count(run.output, file + ":4: Ошибка_4: "), 1u) << run.output;
        EXPECT_NE(run.output.find("nothing was sent"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("Предупреждение"), std::string::npos) << run.output;
    }
    EXPECT_EQ(scales_.Snapshot().framesReceived, 0u);
    EXPECT_EQ(other.Snapshot().framesReceived, 0u);
}

TEST_F(AddInHostOnLoopback, DeviceCommandsReachTheScales) {
    HostRun good =
        RunHost({"good",  "--address",     Address(), "--name",       "Сыр Маасдам", "--code",
                 "40077", "--plu",         "77",      "--price",      "129900",      "--label",
                 "4",     "--label-extra", "1",       "--dept",       "12",          "--barcode",
                 "5",     "--unit",        "1",       "--shelf-life", "30",          "--extra1",
                 "1",     "--extra2",      "2",       "--extra3",     "3",           "--extra4",
                 "4"});
    ASSERT_EQ(good.exitCode, 0) << good.output;
    emu::Good stored = scales_.Snapshot().goods.at(77);
    EXPECT_EQ(stored.nameUtf8, "Сыр Маасдам");
    EXPECT_EQ(stored.code, 40077u);
    EXPECT_EQ(stored.price, 129900u);
    EXPECT_EQ(stored.labelNumber, 4);
    EXPECT_EQ(stored.labelExtra, 1);
    EXPECT_EQ(stored.department, 12);
    EXPECT_EQ(stored.barcodeFormat, 5);
    EXPECT_EQ(stored.weightMeasure, 1);
    EXPECT_EQ(stored.shelfLife, 30);
    EXPECT_EQ(stored.extra1, 1);
    EXPECT_EQ(stored.extra2, 2);
    EXPECT_EQ(stored.extra3, 3u);
    EXPECT_EQ(stored.extra4, 4u);

    ASSERT_EQ(RunHost({"clear", "--address", Address()}).exitCode, 0);
    EXPECT_TRUE(scales_.Snapshot().goods.empty());

    HostRun message = RunHost({"message", "--address", Address(), "3", "Свежая выпечка"});
    ASSERT_EQ(message.exitCode, 0) << message.output;
    EXPECT_EQ(scales_.Snapshot().messages.at(3), std::vector<std::string>{"Свежая выпечка"});

    HostRun keys = RunHost({"hotkeys", "--address", Address(), "1=101", "2=102"});
    ASSERT_EQ(keys.exitCode, 0) << keys.output;
    EXPECT_EQ(keys.output,
              "2 hot keys: sent; the scales do not confirm this command, so look at the scales\n");
    emu::State state = scales_.Snapshot();
    ASSERT_GE(state.hotKeys.size(), 2u);
    EXPECT_EQ(state.hotKeys[0], 101u);
    EXPECT_EQ(state.hotKeys[1], 102u);

    HostRun test = RunHost({"test", "--address", Address()});
    EXPECT_EQ(test.exitCode, 0) << test.output;
    EXPECT_EQ(test.output,
              "test: DeviceTest programs the demo good \"Банан\" as PLU 10001 into the scales' "
              "goods table; run ping to only see whether they answer\n"
              "В весы запрограммирован товар 'Банан' под кодом 10001. Цена 123,45.\n");
}

TEST(AddInHostNoScales, SilentScalesGiveTheRussianErrorAndExitCodeOne) {
    uint16_t port = 0;
    {
        emu::ScalesEmulator gone;  // a loopback port where nothing answers any more
        ASSERT_TRUE(gone.StartUdp("127.0.0.1", 0));
        port = gone.UdpPort();
    }
    HostRun run = RunHost({"good", "--address", "127.0.0.1:" + std::to_string(port), "--name",
                           "Банан", "--code", "1", "--plu", "1", "--price", "100"});
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("SendGoodToScalesV1 failed: Ошибка_3: "), std::string::npos)
        << run.output;
    HostRun test = RunHost({"test", "--address", "127.0.0.1:" + std::to_string(port)});
    EXPECT_EQ(test.exitCode, 1) << test.output;
    EXPECT_NE(test.output.find("DeviceTest failed: Ошибка_"), std::string::npos) << test.output;
    // Nothing confirms a clear: the tool says it sent it, and no more.
    HostRun clear = RunHost({"clear", "--address", "127.0.0.1:" + std::to_string(port)});
    EXPECT_EQ(clear.exitCode, 0) << clear.output;
    EXPECT_NE(clear.output.find("sent; the scales do not confirm this command"), std::string::npos)
        << clear.output;
}

// Three scales from one list: two answer, one is silent.  Each gets its own
// label settings; the silent one fails without stopping the others, and its
// line says where to resume.
TEST(AddInHostSeveralScales, EachOnItsOwnAndASilentOneStopsNoOther) {
    emu::ScalesEmulator meat, fish, silent;
    emu::Faults never;
    never.silent = true;
    silent.SetFaults(never);
    for (emu::ScalesEmulator* scales : {&meat, &fish, &silent})
        ASSERT_TRUE(scales->StartUdp("127.0.0.1", 0));
    auto at = [](emu::ScalesEmulator& e) { return "127.0.0.1:" + std::to_string(e.UdpPort()); };
    std::string list =
        WriteTempFile("scales.txt", "# the shop\n" + at(meat) + " Мясо dept=5\n" + at(fish) +
                                        "   \"Рыба\" barcode=9 # fish\n" + at(silent) + " Тихие\n");
    HostRun run = RunHost({"upload", "--scales", list, "--label", "3", GOODS_XML});
    EXPECT_EQ(run.exitCode, 1) << run.output;
    const char* const expected[] = {
        "Мясо:  uploaded 52 goods in ",
        "Рыба:  uploaded 52 goods in ",
        "Тихие: good 1 of 52 (PLU 1, \"Бананы\"): UploadGoods failed: Ошибка_3: ",
        "(code 3); resume with --from 1\n",
        "Scales  Goods  Time",
        "\nМясо    52/52  ",
        "\nТихие   0/52   ",
    };
    for (const char* line : expected) EXPECT_NE(run.output.find(line), std::string::npos) << line;
    struct Held {
        emu::ScalesEmulator* scales;
        int label, dept, barcode;
    };
    for (const Held& held : {Held{&meat, 3, 5, 7}, Held{&fish, 3, 28, 9}}) {
        emu::State state = held.scales->Snapshot();
        ASSERT_EQ(state.goods.size(), 52u);
        for (auto& plu_good : state.goods) {
            EXPECT_EQ(plu_good.second.labelNumber, held.label);
            EXPECT_EQ(plu_good.second.department, held.dept);
            EXPECT_EQ(plu_good.second.barcodeFormat, held.barcode);
        }
    }
    EXPECT_TRUE(silent.Snapshot().goods.empty());

    HostRun ping = RunHost({"ping", "--scales", list});
    EXPECT_EQ(ping.exitCode, 1) << ping.output;
    EXPECT_EQ(Count(ping.output, "answered the clock frame in "), 4u) << ping.output;  // line, row
    EXPECT_NE(ping.output.find("Тихие: no answer to the clock frame within 500 ms; some scales "
                               "never answer it"),
              std::string::npos)
        << ping.output;
    EXPECT_TRUE(meat.Snapshot().goods.size() == 52u && meat.Snapshot().clock.set);
}

TEST_F(AddInHostOnLoopback, FromStartsAtThatGoodOfTheDocument) {
    HostRun run = RunHost({"upload", "--address", Address(), "--from", "50", GOODS_XML});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.rfind("uploaded 3 goods in ", 0), 0u) << run.output;
    std::vector<uint64_t> plus;
    for (auto& plu_good : scales_.Snapshot().goods) plus.push_back(plu_good.first);
    EXPECT_EQ(plus, (std::vector<uint64_t>{50, 51, 52}));
    const std::vector<std::string> refused[] = {
        {"--from", "53"}, {"--from", "0"}, {"--from", "2", "--whole"}};
    for (const auto& options : refused) {
        std::vector<std::string> args = {"upload", "--address", Address(), GOODS_XML};
        args.insert(args.end(), options.begin(), options.end());
        EXPECT_EQ(RunHost(args).exitCode, 2) << options[1];
    }
}

TEST(AddInHostHelpAndLanguage, EveryCommandHasItsHelpInTheUsersLanguage) {
    struct Row {
        std::string env;
        std::vector<std::string> args;
        int exitCode;
        const char* says;
    };
    const Row rows[] = {
        {"LC_ALL=C", {"upload", "--help"}, 0, "usage: addin-host upload [OPTIONS] FILE.xml\n"},
        {"LC_ALL=C", {"upload", "-h"}, 0, "  --from N  "},
        {"LC_ALL=C", {"ping", "-h"}, 0, "usage: addin-host ping [OPTIONS]\n"},
        {"LC_ALL=C", {"monitor", "--help"}, 0, "usage: addin-host monitor [OPTIONS] FILE\n"},
        {"LC_ALL=C", {"--help"}, 0, "addin-host COMMAND --help shows the command's options"},
        {"LANG=ru_RU.UTF-8", {"upload", "-h"}, 0, "использование: addin-host upload"},
        {"LANG=ru_RU.UTF-8 LC_ALL=C", {"upload", "-h"}, 0, "usage: addin-host upload"},
        {"LC_MESSAGES=ru_RU.UTF-8 LANG=en_US", {"weigh"}, 2, "неизвестная команда weigh"},
        {"LC_ALL=C", {"--lang", "ru", "weigh"}, 2, "неизвестная команда weigh"},
        {"LANG=ru_RU.UTF-8", {"--lang=en", "weigh"}, 2, "unknown command weigh"},
        {"LC_ALL=C", {"clear", "--from", "2"}, 2, "option --from does not apply to clear"},
    };
    for (const Row& row : rows) {
        HostRun run = RunHost(row.args, ADDIN_LIB, row.env);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.args[0];
        EXPECT_NE(run.output.find(row.says), std::string::npos) << row.says << "\n" << run.output;
    }
    // A command's help is its own: upload does not list message's --width.
    EXPECT_EQ(RunHost({"upload", "-h"}).output.find("--width"), std::string::npos);
}

// A port monitor file the add-in wrote, read back: the library copied into a
// folder with "log.txt" beside it writes one.
TEST_F(AddInHostOnLoopback, MonitorReadsBackWhatTheAddInRecorded) {
    std::string folder = ::testing::TempDir() + "addin_host_monitor/";
    ASSERT_EQ(std::system(("rm -rf " + Quoted(folder) + " && mkdir -p " + Quoted(folder) +
                           " && cp " + Quoted(ADDIN_LIB) + " " + Quoted(folder) + " && touch " +
                           Quoted(folder + "log.txt"))
                              .c_str()),
              0);
    std::string lib = folder + std::string(ADDIN_LIB).substr(std::string(ADDIN_LIB).rfind('/') + 1);
    HostRun good = RunHost({"good", "--address", Address(), "--name", "Сыр", "--code", "40077",
                            "--plu", "77", "--price", "129900"},
                           lib);
    ASSERT_EQ(good.exitCode, 0) << good.output;
    FILE* list = popen(("ls " + Quoted(folder) + " | grep portmon-korvan-scalesprn_").c_str(), "r");
    char name[256] = {};
    ASSERT_NE(std::fgets(name, sizeof name, list), nullptr);
    pclose(list);
    std::string monitorFile = folder + std::string(name).substr(0, std::strlen(name) - 1);
    HostRun run = RunHost({"monitor", monitorFile});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::regex line(
        R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}  (\+\d+\.\d{3} s  |          )(--|->|<-) )");
    for (size_t at = 0, end = 0; at < run.output.size(); at = end + 1) {
        end = run.output.find('\n', at);
        EXPECT_TRUE(std::regex_search(run.output.substr(at, end - at), line))
            << run.output.substr(at, end - at);
    }
    const char* const expected[] = {
        "-- OPEN ETHERNET: 127.0.0.1:",
        "-> clock ",
        "-> goods PLU 77 code 40077 \"Сыр\" price 1299.00 shelf life 0 label 0 dept 28",
        "<- 02 (positive reply)",
    };
    for (const char* text : expected) EXPECT_NE(run.output.find(text), std::string::npos) << text;
    std::system(("rm -rf " + Quoted(folder)).c_str());
}

}  // namespace

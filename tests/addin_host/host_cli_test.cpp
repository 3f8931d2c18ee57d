// addin-host run as a separate program against the built add-in, as a user
// runs it: its output, its exit codes, and what the scales (the emulator,
// in this process on 127.0.0.1) hold afterwards.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
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

HostRun RunHost(const std::vector<std::string>& args, const std::string& lib = ADDIN_LIB) {
    std::string command = Quoted(ADDIN_HOST_EXE) + " --lib " + Quoted(lib);
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
    emu::State state = scales_.Snapshot();
    ASSERT_GE(state.hotKeys.size(), 2u);
    EXPECT_EQ(state.hotKeys[0], 101u);
    EXPECT_EQ(state.hotKeys[1], 102u);

    HostRun test = RunHost({"test", "--address", Address()});
    EXPECT_EQ(test.exitCode, 0) << test.output;
    EXPECT_NE(
        test.output.find("В весы запрограммирован товар 'Банан' под кодом 10001. Цена 123,45."),
        std::string::npos)
        << test.output;
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
}

}  // namespace

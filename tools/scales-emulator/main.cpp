// scales-emulator: an RLS1000 label scales stand-in for developers of 1C
// configurations and for scripts.  Listens on UDP at 127.0.0.1 (and on a
// pseudo-terminal with --serial), prints one line per frame received, and
// writes the scales' state as JSON on request and on exit.  What differs
// between systems is in program_os.h.
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "decoder.h"
#include "emulator.h"
#include "program_os.h"
#include "server.h"
#include "tools/console/console.h"
#include "tools/console/language.h"

namespace {

using console::Say;

constexpr uint16_t kDefaultPort = 5001;
constexpr int kExitUsage = 2;
constexpr int kExitStartFailed = 1;

struct Options {
    std::string address = "127.0.0.1";
    long port = kDefaultPort;
    std::string portFile;
    bool serial = false;
    std::string serialLink;
    long baud = emu::kScalesBaud;
    bool realtime = false;
    std::string stateFile;
    bool table = false;
    bool quiet = false;
    long exitAfterMs = -1;
    long exitAfterFrames = -1;
    emu::Faults faults;
};

class UsageError {
  public:
    explicit UsageError(std::string text) : text(std::move(text)) {}
    std::string text;
};

long ParseNumber(const std::string& option, const std::string& value, long max) {
    char* end = nullptr;
    const long n = std::strtol(value.c_str(), &end, 0);
    if (value.empty() || *end != '\0' || n < 0 || n > max)
        throw UsageError(option + Say(": expected a number from 0 to ", ": нужно число от 0 до ") +
                         std::to_string(max) + Say(", got \"", ", а не \"") + value + "\"");
    return n;
}

void ParseFailKind(const std::string& value, emu::Faults& faults) {
    constexpr long kMaxCount = 1000000000;
    const size_t colon = value.find(':');
    faults.failKind = value.substr(0, colon);
    if (!emu::FrameKindByName(faults.failKind, nullptr))
        throw UsageError(
            Say("--fail-kind: unknown frame kind \"", "--fail-kind: неизвестный вид кадра \"") +
            faults.failKind + "\"");
    if (colon != std::string::npos)
        faults.failKindCount =
            static_cast<int>(ParseNumber("--fail-kind", value.substr(colon + 1), kMaxCount));
}

// "--delay 300" for every frame, "--delay goods=600" for one kind.
void ParseDelay(const std::string& value, long maxMs, emu::Faults& faults) {
    const size_t eq = value.find('=');
    if (eq == std::string::npos) {
        faults.delayMs = static_cast<int>(ParseNumber("--delay", value, maxMs));
        return;
    }
    emu::FrameKind kind;
    if (!emu::FrameKindByName(value.substr(0, eq), &kind))
        throw UsageError(
            Say("--delay: unknown frame kind \"", "--delay: неизвестный вид кадра \"") +
            value.substr(0, eq) + "\"");
    faults.delayMsByKind[kind] =
        static_cast<int>(ParseNumber("--delay", value.substr(eq + 1), maxMs));
}

long ParseBaud(const std::string& value) {
    constexpr long kMaxBaud = 4000000;
    const long baud = ParseNumber("--baud", value, kMaxBaud);
    if (!emu::IsLineSpeed(static_cast<uint32_t>(baud)))
        throw UsageError("--baud: " + value +
                         Say(" is not a serial line speed (1200, 2400, 4800, 9600, ...)",
                             " не скорость последовательной линии (1200, 2400, 4800, 9600, ...)"));
    return baud;
}

// Options that take a value accept "--name value" and "--name=value".

constexpr long kMaxMs = 24L * 3600 * 1000;
constexpr long kMaxInt = 1000000000;
constexpr long kMaxReply = 5120;  // the driver's read buffer
constexpr long kMaxPort = 65535;
constexpr long kMaxByte = 255;
constexpr long kMaxGapUs = 10L * 1000 * 1000;

// How an option takes its value.
enum class Takes { kNothing, kValue, kOptionalValue };  // optional: only as --name=value

struct OptionEntry {
    const char* section;  // starts a section of the help when not null
    const char* name;
    const char* value;  // shown in the help
    Takes takes;
    const char* english;
    const char* russian;
    void (*apply)(const std::string& value, Options& o);
};

// Every option, once: what it takes, its help in both languages and what it
// does.
const OptionEntry kOptions[] = {
    {"Links", "--port", "N", Takes::kValue,
     "UDP port on 127.0.0.1 (default 5001; 0 = any free port)",
     "порт UDP на 127.0.0.1 (по умолчанию 5001; 0 = любой свободный)",
     [](const std::string& v, Options& o) { o.port = ParseNumber("--port", v, kMaxPort); }},
    {nullptr, "--address", "ADDR", Takes::kValue,
     "listen address, must be in 127.0.0.0/8 (default 127.0.0.1)",
     "адрес, только из 127.0.0.0/8 (по умолчанию 127.0.0.1)",
     [](const std::string& v, Options& o) { o.address = v; }},
    {nullptr, "--port-file", "FILE", Takes::kValue, "write the UDP port chosen to FILE",
     "записать выбранный порт UDP в FILE",
     [](const std::string& v, Options& o) { o.portFile = v; }},
    {nullptr, "--serial", nullptr, Takes::kNothing,
     "also serve a pseudo-terminal; its device path is printed",
     "также обслуживать псевдотерминал; путь к устройству выводится",
     [](const std::string&, Options& o) { o.serial = true; }},
    {nullptr, "--serial-link", "FILE", Takes::kValue,
     "--serial, and a symbolic link FILE to the device (removed on exit)",
     "--serial и символическая ссылка FILE на устройство (удаляется при выходе)",
     [](const std::string& v, Options& o) {
         o.serial = true;
         o.serialLink = v;
     }},
    {nullptr, "--baud", "N", Takes::kValue,
     "the serial line's speed (default 4800, as the scales); other speeds are not answered",
     "скорость линии (по умолчанию 4800, как у весов); на другой весы не отвечают",
     [](const std::string& v, Options& o) {
         o.serial = true;
         o.baud = ParseBaud(v);
     }},
    {nullptr, "--realtime", nullptr, Takes::kNothing,
     "run the links with real-time priority (SCHED_FIFO)",
     "обслуживать линии с приоритетом реального времени (SCHED_FIFO)",
     [](const std::string&, Options& o) { o.realtime = true; }},
    {"Output", "--state-file", "FILE", Takes::kValue, "write the JSON state to FILE, not stdout",
     "писать состояние JSON в FILE, а не в stdout",
     [](const std::string& v, Options& o) { o.stateFile = v; }},
    {nullptr, "--table", nullptr, Takes::kNothing, "print the goods table as columns on exit",
     "при выходе вывести таблицу товаров столбцами",
     [](const std::string&, Options& o) { o.table = true; }},
    {nullptr, "--quiet", nullptr, Takes::kNothing, "do not print a line per frame",
     "не выводить строку на каждый кадр", [](const std::string&, Options& o) { o.quiet = true; }},
    {nullptr, "--exit-after-ms", "N", Takes::kValue, "exit after N milliseconds",
     "выйти через N миллисекунд",
     [](const std::string& v, Options& o) {
         o.exitAfterMs = ParseNumber("--exit-after-ms", v, kMaxMs);
     }},
    {nullptr, "--exit-after-frames", "N", Takes::kValue,
     "exit after N frames (replies still go out)", "выйти после N кадров (ответы ещё уйдут)",
     [](const std::string& v, Options& o) {
         o.exitAfterFrames = ParseNumber("--exit-after-frames", v, kMaxInt);
     }},
    {nullptr, "--lang", "ru|en", Takes::kValue, "the language of the messages", "язык сообщений",
     [](const std::string&, Options&) {}},
    {nullptr, "--help", nullptr, Takes::kNothing, "this help (also -h)", "эта справка (также -h)",
     [](const std::string&, Options&) {}},
    {"Faults", "--silent", nullptr, Takes::kNothing, "never reply", "никогда не отвечать",
     [](const std::string&, Options& o) { o.faults.silent = true; }},
    {nullptr, "--negative", "[=BYTE]", Takes::kOptionalValue,
     "reply BYTE (default 0x00) instead of 0x02", "отвечать BYTE (по умолчанию 0x00) вместо 0x02",
     [](const std::string& v, Options& o) {
         o.faults.negative = true;
         if (!v.empty())
             o.faults.negativeByte = static_cast<uint8_t>(ParseNumber("--negative", v, kMaxByte));
     }},
    {nullptr, "--delay", "MS|KIND=MS", Takes::kValue,
     "reply MS late; KIND=MS for one kind of frame (repeat for more)",
     "отвечать через MS мс; KIND=MS для одного вида кадров (можно повторять)",
     [](const std::string& v, Options& o) { ParseDelay(v, kMaxMs, o.faults); }},
    {nullptr, "--fail-nth", "N", Takes::kValue, "fail the Nth frame received (counted from 1)",
     "сбой на N-м полученном кадре (счёт с 1)",
     [](const std::string& v, Options& o) {
         o.faults.failNth = static_cast<int>(ParseNumber("--fail-nth", v, kMaxInt));
     }},
    {nullptr, "--fail-kind", "KIND[:COUNT]", Takes::kValue,
     "fail frames of KIND (only the first COUNT): clock, clear, goods, continuation, message, "
     "announcement, message-data, hot-keys, unknown",
     "сбой на кадрах вида KIND (только первых COUNT): clock, clear, goods, continuation, "
     "message, announcement, message-data, hot-keys, unknown",
     [](const std::string& v, Options& o) { ParseFailKind(v, o.faults); }},
    {nullptr, "--fail-reply", "negative|silent", Takes::kValue,
     "how --fail-nth/--fail-kind fail (default negative)",
     "как сбоят --fail-nth/--fail-kind (по умолчанию negative)",
     [](const std::string& v, Options& o) {
         if (v != "negative" && v != "silent")
             throw UsageError(Say("--fail-reply: expected negative or silent",
                                  "--fail-reply: нужно negative или silent"));
         o.faults.failReply = v;
     }},
    {nullptr, "--split", "N", Takes::kValue, "send each reply as N datagrams",
     "отправлять каждый ответ N датаграммами",
     [](const std::string& v, Options& o) {
         o.faults.splitDatagrams =
             static_cast<int>(std::max(1L, ParseNumber("--split", v, kMaxReply)));
     }},
    {nullptr, "--split-gap-us", "G", Takes::kValue,
     "microseconds between those datagrams (default 300)",
     "микросекунд между этими датаграммами (по умолчанию 300)",
     [](const std::string& v, Options& o) {
         o.faults.splitGapUs = static_cast<int>(ParseNumber("--split-gap-us", v, kMaxGapUs));
     }},
    {nullptr, "--split-burst", nullptr, Takes::kNothing, "send the N datagrams in one system call",
     "отправлять N датаграмм одним системным вызовом",
     [](const std::string&, Options& o) { o.faults.splitGapUs = 0; }},
    {nullptr, "--reply-length", "N", Takes::kValue, "reply N bytes (0x02 then zeros)",
     "отвечать N байтами (0x02, затем нули)",
     [](const std::string& v, Options& o) {
         o.faults.replyLength =
             static_cast<int>(std::max(1L, ParseNumber("--reply-length", v, kMaxReply)));
     }},
    {nullptr, "--garbage", nullptr, Takes::kNothing,
     "reply random bytes (never starting with 0x02)",
     "отвечать случайными байтами (не начиная с 0x02)",
     [](const std::string&, Options& o) { o.faults.garbage = true; }},
    {nullptr, "--trickle", "MS", Takes::kValue, "serial: MS of idle line between reply bytes",
     "линия: MS мс тишины между байтами ответа",
     [](const std::string& v, Options& o) {
         o.faults.trickleMs = static_cast<int>(ParseNumber("--trickle", v, kMaxMs));
     }},
};

const char* SectionName(const char* english) {
    if (std::string(english) == "Links") return Say("Links:", "Линии:");
    if (std::string(english) == "Output") return Say("Output:", "Вывод:");
    return Say("Faults:", "Сбои:");
}

std::string Usage() {
    constexpr size_t kColumn = 24;
    std::string text =
        Say("Usage: scales-emulator [options]\n"
            "A stand-in for an RLS1000 label scales: answers the driver over UDP (and a\n"
            "serial pseudo-terminal), prints each frame it receives, keeps the goods table.\n",
            "Использование: scales-emulator [параметры]\n"
            "Замена весов RLS1000: отвечает драйверу по UDP (и через псевдотерминал),\n"
            "выводит каждый полученный кадр, хранит таблицу товаров.\n");
    for (const OptionEntry& option : kOptions) {
        if (option.section != nullptr)
            text += std::string("\n") + SectionName(option.section) + "\n";
        std::string left = std::string("  ") + option.name;
        if (option.value != nullptr)
            left += (option.takes == Takes::kOptionalValue ? "" : " ") + std::string(option.value);
        left += left.size() < kColumn ? std::string(kColumn - left.size(), ' ')
                                      : "\n" + std::string(kColumn, ' ');
        text += left + Say(option.english, option.russian) + "\n";
    }
    return text;
}

const OptionEntry* FindOption(const std::string& name) {
    for (const OptionEntry& option : kOptions)
        if (name == option.name) return &option;
    return nullptr;
}

// Options that take a value accept "--name value" and "--name=value"; an
// optional value only the second way.
Options ParseOptions(const std::vector<std::string>& args) {
    Options o;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string name = args[i], value;
        const size_t eq = name.find('=');
        const bool inline_ = eq != std::string::npos;
        if (inline_) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const OptionEntry* option = FindOption(name);
        if (option == nullptr)
            throw UsageError(Say("unknown option ", "неизвестный параметр ") + name);
        if (option->takes == Takes::kNothing && inline_)
            throw UsageError(name + Say(" takes no value", " не принимает значения"));
        if (option->takes == Takes::kValue && !inline_) {
            if (i + 1 >= args.size())
                throw UsageError(name + Say(" needs a value", ": нужно значение"));
            value = args[++i];
        }
        option->apply(value, o);
    }
    // Test traffic stays on this machine: the scales' real address is never
    // served.
    if (!emu::IsLoopbackAddress(o.address))
        throw UsageError("--address " + o.address +
                         Say(": the emulator listens only on loopback addresses (127.0.0.0/8)",
                             ": эмулятор слушает только на адресах 127.0.0.0/8"));
    const std::string noSerial = emu_program::SerialUnavailable();
    if (o.serial && !noSerial.empty()) throw UsageError(noSerial);
    return o;
}

void WriteState(const emu::ScalesEmulator& emulator, const Options& o) {
    const std::string json = emulator.StateJson();
    if (o.stateFile.empty()) {
        console::Write(console::Stream::kOut, json);
    } else if (!emu_program::WriteFileReplacing(o.stateFile, json)) {
        console::PrintError("scales-emulator: %s%s\n", Say("cannot write ", "не удаётся записать "),
                            o.stateFile.c_str());
    }
}

bool Start(emu::ScalesEmulator& emulator, const Options& o) {
    std::string why;
    if (!emulator.StartUdp(o.address, static_cast<uint16_t>(o.port), &why)) {
        console::PrintError("scales-emulator: %s %s:%ld: %s\n",
                            Say("cannot listen on UDP", "не удаётся слушать UDP"),
                            o.address.c_str(), o.port, why.c_str());
        return false;
    }
    console::Print("%s %s:%u\n", Say("listening on UDP", "слушаю UDP"), o.address.c_str(),
                   emulator.UdpPort());
    if (o.serial) {
        const std::string path = emulator.StartSerial(static_cast<uint32_t>(o.baud));
        if (path.empty()) {
            console::PrintError("scales-emulator: %s\n", Say("cannot open a pseudo-terminal",
                                                             "не удаётся открыть псевдотерминал"));
            return false;
        }
        console::Print("%s %s (%ld %s, 8N1)\n", Say("serial port", "последовательный порт"),
                       path.c_str(), o.baud, Say("baud", "бод"));
        if (!o.serialLink.empty() && !emu_program::LinkSerialDevice(path, o.serialLink))
            return false;
    }
    const std::string noRealtime = emu_program::RealtimeUnavailable();
    if (o.realtime && !noRealtime.empty()) {
        console::Print("%s\n", noRealtime.c_str());
    } else if (o.realtime) {
        console::Write(console::Stream::kOut,
                       emulator.SetRealtime(true)
                           ? Say("real-time scheduling: on (SCHED_FIFO)\n",
                                 "real-time scheduling: включено (SCHED_FIFO)\n")
                           : Say("real-time scheduling: not granted, running at normal priority\n",
                                 "real-time scheduling: не дано, обычный приоритет\n"));
    }
    // Written last: a script that sees the port file finds everything ready.
    if (!o.portFile.empty() &&
        !emu_program::WriteFileReplacing(o.portFile, std::to_string(emulator.UdpPort()) + "\n")) {
        console::PrintError("scales-emulator: %s%s\n", Say("cannot write ", "не удаётся записать "),
                            o.portFile.c_str());
        return false;
    }
    return true;
}

// Waits for the user's requests and for the --exit-after limits; returns
// when it is time to exit.
void Serve(emu::ScalesEmulator& emulator, const Options& o) {
    constexpr int kCheckMs = 20;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const emu_program::Request request = emu_program::WaitForRequest(kCheckMs);
        if (request == emu_program::Request::kStop) return;
        if (request == emu_program::Request::kWriteState) WriteState(emulator, o);
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
        if (o.exitAfterMs >= 0 && elapsed >= o.exitAfterMs) return;
        if (o.exitAfterFrames >= 0 &&
            emulator.FramesReceived() >= static_cast<uint64_t>(o.exitAfterFrames))
            return;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = console::Arguments(argc, argv);
    std::string badLanguage;
    if (!console::ChooseLanguage(args, badLanguage)) {
        console::PrintError("scales-emulator: --lang: ru, en (\"%s\")\n", badLanguage.c_str());
        return kExitUsage;
    }
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            console::Write(console::Stream::kOut, Usage() + emu_program::RequestsHelp());
            return 0;
        }
    }
    Options options;
    try {
        options = ParseOptions(args);
    } catch (const UsageError& e) {
        console::PrintError("scales-emulator: %s\n%s\n", e.text.c_str(),
                            Say("(--help lists the options)", "(--help покажет параметры)"));
        return kExitUsage;
    }
    emu_program::PrepareRequests();

    emu::ScalesEmulator emulator;
    emulator.SetFaults(options.faults);
    emulator.SetEcho(!options.quiet);
    const bool started = Start(emulator, options);
    if (!started) {
        // A link made before a later step failed must not outlive the device.
        if (!options.serialLink.empty()) emu_program::RemoveSerialLink(options.serialLink);
        return kExitStartFailed;
    }
    Serve(emulator, options);
    // Frames still coming in on the serial line and replies still planned
    // (--delay, --trickle, the line's own pace) are finished before the links
    // close; a driver that keeps sending is cut off after a while.
    constexpr int kFinishMs = 10 * 1000;
    emulator.WaitUntilIdle(kFinishMs);
    emulator.Stop();
    WriteState(emulator, options);
    if (options.table) console::Write(console::Stream::kOut, emulator.GoodsTable());
    if (!options.serialLink.empty()) emu_program::RemoveSerialLink(options.serialLink);
    emu_program::Finished();
    return 0;
}

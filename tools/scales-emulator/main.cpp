// scales-emulator: an RLS1000 label scales stand-in for developers of 1C
// configurations and for scripts.  Listens on UDP at 127.0.0.1 (and on a
// pseudo-terminal with --serial), prints one line per frame received, and
// writes the scales' state as JSON on SIGUSR1 and on exit.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "decoder.h"
#include "emulator.h"
#include "server.h"

namespace {

constexpr uint16_t kDefaultPort = 5001;
constexpr int kExitUsage = 2;
constexpr int kExitStartFailed = 1;

const char kUsage[] =
    "Usage: scales-emulator [options]\n"
    "A stand-in for an RLS1000 label scales: answers the driver over UDP (and "
    "a\n"
    "serial pseudo-terminal), prints each frame it receives, keeps the goods "
    "table.\n"
    "\n"
    "Links:\n"
    "  --port N             UDP port on 127.0.0.1 (default 5001; 0 = any free "
    "port)\n"
    "  --address ADDR       listen address, must be in 127.0.0.0/8 (default "
    "127.0.0.1)\n"
    "  --port-file FILE     write the UDP port chosen to FILE\n"
    "  --serial             also serve a pseudo-terminal; its device path is "
    "printed\n"
    "  --serial-link FILE   --serial, and a symbolic link FILE to the device "
    "(a fixed\n"
    "                       name for the driver's settings; removed on exit)\n"
    "  --baud N             the serial line's speed (default 4800, as the "
    "scales);\n"
    "                       frames sent at another speed are not answered\n"
    "  --realtime           run the links with real-time priority (SCHED_FIFO) "
    "so\n"
    "                       delays and gaps hold on a busy machine\n"
    "Output:\n"
    "  --state-file FILE    write the JSON state to FILE instead of stdout\n"
    "  --table              print the goods table as text columns on exit\n"
    "  --quiet              do not print a line per frame\n"
    "  --exit-after-ms N    exit after N milliseconds\n"
    "  --exit-after-frames N  exit after N frames (replies still go out)\n"
    "Faults:\n"
    "  --silent             never reply\n"
    "  --negative[=BYTE]    reply BYTE (default 0x00) instead of 0x02\n"
    "  --delay MS           reply MS milliseconds late\n"
    "  --delay KIND=MS      reply to frames of KIND MS milliseconds late "
    "(overrides\n"
    "                       --delay MS for that kind; repeat for more kinds)\n"
    "  --fail-nth N         fail the Nth frame received (counted from 1)\n"
    "  --fail-kind KIND[:COUNT]  fail frames of KIND (only the first COUNT): "
    "clock,\n"
    "                       clear, goods, continuation, message, "
    "announcement,\n"
    "                       message-data, hot-keys, unknown\n"
    "  --fail-reply negative|silent  how --fail-nth/--fail-kind fail (default "
    "negative)\n"
    "  --split N            send each reply as N datagrams, one send each\n"
    "  --split-gap-us G     microseconds between those datagrams (default "
    "300)\n"
    "  --split-burst        send the N datagrams in one system call instead\n"
    "  --reply-length N     reply N bytes (0x02 then zeros)\n"
    "  --garbage            reply random bytes (never starting with 0x02)\n"
    "  --trickle MS         serial: MS of idle line between reply bytes\n"
    "Signals: SIGUSR1 writes the state; SIGINT/SIGTERM write it and exit.\n";

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
        throw UsageError(option + ": expected a number from 0 to " + std::to_string(max) +
                         ", got \"" + value + "\"");
    return n;
}

void ParseFailKind(const std::string& value, emu::Faults& faults) {
    constexpr long kMaxCount = 1000000000;
    const size_t colon = value.find(':');
    faults.failKind = value.substr(0, colon);
    if (!emu::FrameKindByName(faults.failKind, nullptr))
        throw UsageError("--fail-kind: unknown frame kind \"" + faults.failKind + "\"");
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
        throw UsageError("--delay: unknown frame kind \"" + value.substr(0, eq) + "\"");
    faults.delayMsByKind[kind] =
        static_cast<int>(ParseNumber("--delay", value.substr(eq + 1), maxMs));
}

long ParseBaud(const std::string& value) {
    constexpr long kMaxBaud = 4000000;
    const long baud = ParseNumber("--baud", value, kMaxBaud);
    if (!emu::IsLineSpeed(static_cast<uint32_t>(baud)))
        throw UsageError("--baud: " + value +
                         " is not a serial line speed (1200, 2400, 4800, 9600, ...)");
    return baud;
}

// Options that take a value accept "--name value" and "--name=value".
bool TakesValue(const std::string& name) {
    static const char* const kWithValue[] = {
        "--port",         "--address",       "--port-file",         "--serial-link",
        "--state-file",   "--exit-after-ms", "--exit-after-frames", "--delay",
        "--fail-nth",     "--fail-kind",     "--fail-reply",        "--split",
        "--reply-length", "--trickle",       "--split-gap-us",      "--baud"};
    for (const char* option : kWithValue) {
        if (name == option) return true;
    }
    return false;
}

void Apply(const std::string& name, const std::string& value, bool hasValue, Options& o) {
    constexpr long kMaxMs = 24L * 3600 * 1000;
    constexpr long kMaxInt = 1000000000;
    constexpr long kMaxReply = 5120;  // the driver's read buffer
    constexpr long kMaxPort = 65535;
    constexpr long kMaxByte = 255;
    constexpr long kMaxGapUs = 10L * 1000 * 1000;
    emu::Faults& f = o.faults;
    if (name == "--port")
        o.port = ParseNumber(name, value, kMaxPort);
    else if (name == "--address")
        o.address = value;
    else if (name == "--port-file")
        o.portFile = value;
    else if (name == "--serial")
        o.serial = true;
    else if (name == "--serial-link") {
        o.serial = true;
        o.serialLink = value;
    } else if (name == "--state-file")
        o.stateFile = value;
    else if (name == "--baud") {
        o.serial = true;
        o.baud = ParseBaud(value);
    } else if (name == "--realtime")
        o.realtime = true;
    else if (name == "--table")
        o.table = true;
    else if (name == "--quiet")
        o.quiet = true;
    else if (name == "--exit-after-ms")
        o.exitAfterMs = ParseNumber(name, value, kMaxMs);
    else if (name == "--exit-after-frames")
        o.exitAfterFrames = ParseNumber(name, value, kMaxInt);
    else if (name == "--silent")
        f.silent = true;
    else if (name == "--negative") {
        f.negative = true;
        if (hasValue) f.negativeByte = static_cast<uint8_t>(ParseNumber(name, value, kMaxByte));
    } else if (name == "--delay")
        ParseDelay(value, kMaxMs, f);
    else if (name == "--fail-nth")
        f.failNth = static_cast<int>(ParseNumber(name, value, kMaxInt));
    else if (name == "--fail-kind")
        ParseFailKind(value, f);
    else if (name == "--fail-reply") {
        if (value != "negative" && value != "silent")
            throw UsageError("--fail-reply: expected negative or silent");
        f.failReply = value;
    } else if (name == "--split")
        f.splitDatagrams = static_cast<int>(std::max(1L, ParseNumber(name, value, kMaxReply)));
    else if (name == "--split-gap-us")
        f.splitGapUs = static_cast<int>(ParseNumber(name, value, kMaxGapUs));
    else if (name == "--split-burst")
        f.splitGapUs = 0;
    else if (name == "--reply-length")
        f.replyLength = static_cast<int>(std::max(1L, ParseNumber(name, value, kMaxReply)));
    else if (name == "--garbage")
        f.garbage = true;
    else if (name == "--trickle")
        f.trickleMs = static_cast<int>(ParseNumber(name, value, kMaxMs));
    else
        throw UsageError("unknown option " + name);
    if (hasValue && !TakesValue(name) && name != "--negative")
        throw UsageError(name + " takes no value");
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i], value;
        const size_t eq = name.find('=');
        bool hasValue = eq != std::string::npos;
        if (hasValue) {
            value = name.substr(eq + 1);
            name.resize(eq);
        } else if (TakesValue(name)) {
            if (i + 1 >= argc) throw UsageError(name + " needs a value");
            value = argv[++i];
            hasValue = true;
        }
        Apply(name, value, hasValue, o);
    }
    // Test traffic stays on this machine: the scales' real address is never
    // served.
    if (!emu::IsLoopbackAddress(o.address))
        throw UsageError("--address " + o.address +
                         ": the emulator listens only on loopback addresses (127.0.0.0/8)");
    return o;
}

bool WriteFileReplacing(const std::string& path, const std::string& content) {
    // Written beside and renamed, so a script never reads half a file.
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << content;
        if (!out.flush()) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

void WriteState(const emu::ScalesEmulator& emulator, const Options& o) {
    const std::string json = emulator.StateJson();
    if (o.stateFile.empty()) {
        std::fputs(json.c_str(), stdout);
        std::fflush(stdout);
    } else if (!WriteFileReplacing(o.stateFile, json)) {
        std::fprintf(stderr, "scales-emulator: cannot write %s\n", o.stateFile.c_str());
    }
}

// The pseudo-terminal's number changes from run to run; a link gives the
// driver's settings one fixed device name.  Only a link is ever replaced.
bool LinkSerialDevice(const std::string& device, const std::string& link) {
    struct stat existing {};
    if (lstat(link.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            std::fprintf(stderr, "scales-emulator: %s exists and is not a link\n", link.c_str());
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(device.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "scales-emulator: cannot create the link %s\n", link.c_str());
        return false;
    }
    std::printf("serial link %s -> %s\n", link.c_str(), device.c_str());
    return true;
}

bool Start(emu::ScalesEmulator& emulator, const Options& o) {
    if (!emulator.StartUdp(o.address, static_cast<uint16_t>(o.port))) {
        std::fprintf(stderr, "scales-emulator: cannot listen on UDP %s:%ld\n", o.address.c_str(),
                     o.port);
        return false;
    }
    std::printf("listening on UDP %s:%u\n", o.address.c_str(), emulator.UdpPort());
    if (o.serial) {
        const std::string path = emulator.StartSerial(static_cast<uint32_t>(o.baud));
        if (path.empty()) {
            std::fprintf(stderr, "scales-emulator: cannot open a pseudo-terminal\n");
            return false;
        }
        std::printf("serial port %s (%ld baud, 8N1)\n", path.c_str(), o.baud);
        if (!o.serialLink.empty() && !LinkSerialDevice(path, o.serialLink)) return false;
    }
    if (o.realtime) {
        std::fputs(emulator.SetRealtime(true)
                       ? "real-time scheduling: on (SCHED_FIFO)\n"
                       : "real-time scheduling: not granted, running at normal priority\n",
                   stdout);
    }
    // Written last: a script that sees the port file finds everything ready.
    if (!o.portFile.empty() &&
        !WriteFileReplacing(o.portFile, std::to_string(emulator.UdpPort()) + "\n")) {
        std::fprintf(stderr, "scales-emulator: cannot write %s\n", o.portFile.c_str());
        return false;
    }
    std::fflush(stdout);
    return true;
}

void RemoveSerialLink(const std::string& link) {
    struct stat existing {};
    if (lstat(link.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) unlink(link.c_str());
}

// Waits for signals on this thread (blocked everywhere else) and for the
// --exit-after limits; returns when it is time to exit.
void Serve(emu::ScalesEmulator& emulator, const Options& o, const sigset_t& signals) {
    constexpr long kCheckMs = 20;
    const auto start = std::chrono::steady_clock::now();
    const timespec step{0, kCheckMs * 1000000L};
    for (;;) {
        const int sig = sigtimedwait(&signals, nullptr, &step);
        if (sig == SIGINT || sig == SIGTERM) return;
        if (sig == SIGUSR1) WriteState(emulator, o);
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
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    Options options;
    try {
        options = ParseOptions(argc, argv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "scales-emulator: %s\n(--help lists the options)\n", e.text.c_str());
        return kExitUsage;
    }
    // Blocked before any thread starts, so only Serve receives them.
    sigset_t signals;
    sigemptyset(&signals);
    for (int sig : {SIGINT, SIGTERM, SIGUSR1}) sigaddset(&signals, sig);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    emu::ScalesEmulator emulator;
    emulator.SetFaults(options.faults);
    emulator.SetEcho(!options.quiet);
    const bool started = Start(emulator, options);
    if (!started) {
        // A link made before a later step failed must not outlive the device.
        if (!options.serialLink.empty()) RemoveSerialLink(options.serialLink);
        return kExitStartFailed;
    }
    Serve(emulator, options, signals);
    // Frames still coming in on the serial line and replies still planned
    // (--delay, --trickle, the line's own pace) are finished before the links
    // close; a driver that keeps sending is cut off after a while.
    constexpr int kFinishMs = 10 * 1000;
    emulator.WaitUntilIdle(kFinishMs);
    emulator.Stop();
    WriteState(emulator, options);
    if (options.table) std::fputs(emulator.GoodsTable().c_str(), stdout);
    if (!options.serialLink.empty()) RemoveSerialLink(options.serialLink);
    return 0;
}

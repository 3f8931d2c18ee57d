#include "tools/addin-host/ping.h"

#include "decoder.h"
#include "tools/addin-host/datagram.h"
#include "tools/addin-host/fleet.h"
#include "tools/console/language.h"

namespace host {

namespace {
using console::Say;
// How long the add-in waits for the clock frame's reply.
constexpr int kClockWaitMs = 500;
constexpr uint8_t kPositiveReply = 0x02;

ScalesOutcome Ping(const ScalesTarget& scales) {
    ScalesOutcome outcome;
    DatagramReply reply;
    if (!ExchangeDatagram(scales.address.host, scales.address.port,
                          emu::BuildClockFrame(LocalClock()), kClockWaitMs, reply, outcome.text))
        return outcome;
    outcome.seconds = reply.seconds;
    if (reply.refused) {
        outcome.text =
            Say("nothing listens at that address and port (the system says the port is "
                "unreachable)",
                "по этому адресу и порту никто не слушает (система сообщает, что порт "
                "недоступен)");
    } else if (reply.bytes.empty()) {
        outcome.text =
            Say("no answer to the clock frame within 500 ms; some scales never answer "
                "it, so this alone does not mean they are off",
                "нет ответа на кадр часов за 500 мс; некоторые весы на него никогда "
                "не отвечают, так что это ещё не значит, что весы выключены");
    } else {
        outcome.ok = true;
        bool positive = reply.bytes[0] == kPositiveReply;
        outcome.text = Say("answered the clock frame in ", "ответили на кадр часов за ") +
                       std::to_string(static_cast<int>(reply.seconds * 1000 + 0.5)) +
                       Say(" ms: ", " мс: ") +
                       emu::HexList(reply.bytes.data(), reply.bytes.size()) +
                       (positive ? Say(" (positive)", " (положительно)")
                                 : Say(" (not 02: negative)", " (не 02: отрицательно)"));
    }
    return outcome;
}
}  // namespace

int RunPing(const DeviceCommand& command) {
    std::vector<std::string> names;
    for (const ScalesTarget& scales : command.scales) names.push_back(scales.name);
    std::vector<ScalesOutcome> outcomes = RunOnEveryScales(
        names, [&command](size_t i, const ProgressReport&) { return Ping(command.scales[i]); });
    return ReportOutcomes(names, outcomes);
}

}  // namespace host

#include "tools/addin-host/fleet.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "tools/addin-host/check_command.h"
#include "tools/addin-host/commands.h"
#include "tools/addin-host/host_text.h"
#include "tools/console/console.h"
#include "tools/console/language.h"

namespace host {

namespace {
using console::Say;

class ConsoleBoard : public BoardOutput {
  public:
    void Text(const std::string& utf8) override { console::Write(console::Stream::kOut, utf8); }
    void Up(int lines) override { console::CursorUp(console::Stream::kOut, lines); }
};

// How often the main thread looks at the board.
constexpr auto kTickPeriod = std::chrono::milliseconds(100);

std::string PadRight(const std::string& text, size_t width) {
    size_t shown = Utf8Width(text);
    return text + std::string(shown < width ? width - shown : 0, ' ');
}

// One add-in object: its memory manager and the session driving it.
struct Session {
    CountingMemoryManager memory;
    std::unique_ptr<AddInSession> addin = std::make_unique<AddInSession>(memory);
};
}  // namespace

std::vector<ScalesOutcome> RunOnEveryScales(const std::vector<std::string>& names,
                                            const ScalesWork& work) {
    ConsoleBoard output;
    ProgressBoard board(names, console::IsTerminal(console::Stream::kOut), output);
    std::vector<ScalesOutcome> outcomes(names.size());
    std::atomic<size_t> finished{0};
    std::vector<std::thread> threads;
    for (size_t i = 0; i < names.size(); ++i) {
        threads.emplace_back([&, i] {
            ProgressReport progress = [&board, i](size_t done, size_t total) {
                board.Advance(i, done, total);
            };
            outcomes[i] = work(i, progress);
            board.Finish(i, outcomes[i]);
            ++finished;
        });
    }
    auto start = std::chrono::steady_clock::now();
    auto seconds = [&start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    while (finished < names.size()) {
        std::this_thread::sleep_for(kTickPeriod);
        board.Tick(seconds());
    }
    for (std::thread& thread : threads) thread.join();
    board.Close(seconds());
    return outcomes;
}

std::string OutcomeTable(const std::vector<std::string>& names,
                         const std::vector<ScalesOutcome>& outcomes) {
    std::vector<std::vector<std::string>> rows = {{Say("Scales", "Весы"), Say("Goods", "Товары"),
                                                   Say("Time", "Время"), Say("Result", "Итог")}};
    for (size_t i = 0; i < names.size(); ++i) {
        const ScalesOutcome& o = outcomes[i];
        std::string goods =
            o.counted ? std::to_string(o.done) + "/" + std::to_string(o.total) : std::string("-");
        rows.push_back({names[i], goods, ProgressBoard::Decimal(o.seconds, 3) + Say(" s", " с"),
                        (o.ok ? "" : Say("FAILED: ", "ОШИБКА: ")) + o.text});
    }
    constexpr size_t kGap = 2;
    std::vector<size_t> widths(rows[0].size(), 0);
    for (auto& row : rows)
        for (size_t c = 0; c + 1 < row.size(); ++c)
            widths[c] = std::max(widths[c], Utf8Width(row[c]));
    std::string text;
    for (auto& row : rows) {
        for (size_t c = 0; c + 1 < row.size(); ++c) text += PadRight(row[c], widths[c] + kGap);
        text += row.back() + "\n";
    }
    return text;
}

int ReportOutcomes(const std::vector<std::string>& names,
                   const std::vector<ScalesOutcome>& outcomes) {
    bool allOk = true;
    for (const ScalesOutcome& outcome : outcomes) allOk = allOk && outcome.ok;
    if (names.size() == 1) {
        if (!outcomes[0].ok) return Fail(kExitFailed, outcomes[0].text);
        console::Print("%s\n", outcomes[0].text.c_str());
        return kExitOk;
    }
    console::Write(console::Stream::kOut, OutcomeTable(names, outcomes));
    return allOk ? kExitOk : kExitFailed;
}

namespace {
// The goods document checked once, before the library is loaded and any
// scales contacted: a document with an error goes to none of them.  Label
// settings of single scales are not part of this check; the add-in judges
// them as it sends each good.
bool DocumentIsSendable(const DeviceCommand& command) {
    if (command.name != "upload") return true;
    scales::LabelSettings labels;
    const std::pair<int32_t*, const std::optional<int32_t>*> kGiven[] = {
        {&labels.labelNumber, &command.labels.label},
        {&labels.department, &command.labels.dept},
        {&labels.barcodeFormat, &command.labels.barcode},
        {&labels.weightMeasure, &command.labels.unit},
    };
    for (auto& given : kGiven)
        if (*given.second) *given.first = **given.second;
    return CheckDocument(command.goodsDocument, command.goodsFile, labels, true) !=
           CheckVerdict::kErrors;
}
}  // namespace

int RunDeviceCommand(const std::string& library, const DeviceCommand& command) {
    if (!DocumentIsSendable(command))
        return Fail(kExitFailed,
                    command.goodsFile + Say(" has errors (listed above): nothing was sent",
                                            " содержит ошибки (они выше): ничего не отправлено"));
    // Every object is brought up here, one after the other, before any
    // scales is contacted: SetLocale changes the whole process's locale.
    std::vector<std::unique_ptr<Session>> sessions;
    std::vector<std::string> names;
    for (const ScalesTarget& scales : command.scales) {
        sessions.push_back(std::make_unique<Session>());
        names.push_back(scales.name);
        std::string error;
        if (!sessions.back()->addin->Start(library, error))
            return Fail(
                kExitNoLibrary,
                Say("cannot load the add-in: ", "не удаётся загрузить компоненту: ") + error);
    }
    std::string announcement = Announcement(command);
    if (!announcement.empty()) console::Print("%s\n", announcement.c_str());
    std::vector<ScalesOutcome> outcomes =
        RunOnEveryScales(names, [&](size_t i, const ProgressReport& progress) {
            return RunOnScales(*sessions[i]->addin, command, command.scales[i], progress);
        });
    int code = ReportOutcomes(names, outcomes);
    for (auto& session : sessions) {
        if (!session->addin->Finish())
            code = Fail(kExitFailed, Say("DestroyObject did not destroy the object",
                                         "DestroyObject не уничтожил объект"));
        MemoryReport report = session->memory.Report();
        if (report.Clean()) continue;
        console::PrintError("addin-host: %s\n", report.Summary().c_str());
        if (code == kExitOk) code = kExitMemory;
    }
    return code;
}

}  // namespace host

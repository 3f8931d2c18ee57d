#include "tools/addin-host/commands.h"

#include <cstdlib>

#include "tools/addin-host/addin_session.h"
#include "tools/addin-host/check_command.h"
#include "tools/addin-host/cli_args.h"
#include "tools/addin-host/command_table.h"
#include "tools/addin-host/device_commands.h"
#include "tools/addin-host/fleet.h"
#include "tools/addin-host/host_os.h"
#include "tools/addin-host/host_text.h"
#include "tools/addin-host/monitor_reader.h"
#include "tools/addin-host/ping.h"
#include "tools/console/console.h"
#include "tools/console/language.h"

namespace host {

namespace {
using console::Say;

std::string ResolveLibrary(const CommandLine& line) {
    if (line.Has("--lib")) return line.options.at("--lib");
    if (line.command == "info" && !line.positional.empty()) return line.positional[0];
    const char* fromEnvironment = std::getenv("RLS_ADDIN_LIB");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0') return fromEnvironment;
    std::string folder = ExecutableDirectory();
    std::string nextToHost = folder + "/" + DefaultLibraryFileName();
    std::string inBuildTree = folder + "/../../addin/" + DefaultLibraryFileName();
    if (!FileExists(nextToHost) && FileExists(inBuildTree)) return inBuildTree;
    return nextToHost;
}

void PrintField(const char* label, const std::string& value) {
    console::Print("%-20s%s\n", label, value.c_str());
}

std::string Padded(const std::string& utf8, size_t width) {
    size_t shown = Utf8Width(utf8);
    return utf8 + std::string(shown < width ? width - shown : 0, ' ');
}

// Calls a method without parameters that returns a string or a number.
std::string AskFixed(AddInSession& addin, const char16_t* method, bool& ok) {
    CallArgs args;
    HostValue result;
    std::string error;
    if (!addin.Call(method, args, result, error)) {
        ok = false;
        return "(" + error + ")";
    }
    return result.vt == VTYPE_PWSTR ? result.Utf8() : std::to_string(result.number);
}

bool PrintDescription(AddInSession& addin) {
    constexpr size_t kDescriptionOuts = 7;
    CallArgs args;
    for (size_t i = 0; i < kDescriptionOuts; ++i) args.Out();
    HostValue result;
    std::string error;
    if (!addin.Call(u"GetDescription", args, result, error)) {
        PrintField("description:", "(" + error + ")");
        return false;
    }
    PrintField("driver name:", args.Value(0).Utf8());
    PrintField("description:", args.Value(1).Utf8());
    PrintField("equipment type:", args.Value(2).Utf8());
    return true;
}

// The method table; every name must lead back to its number through
// FindMethod, as the platform looks methods up by name.
bool PrintMethodTable(AddInSession& addin) {
    constexpr size_t kEnglishWidth = 22;
    constexpr size_t kRussianWidth = 38;
    constexpr long kEnglish = 0, kRussian = 1;
    long count = addin.MethodCount();
    PrintField("methods:", std::to_string(count));
    console::Print("  No  %s%sParams\n", Padded("English name", kEnglishWidth).c_str(),
                   Padded("Russian name", kRussianWidth).c_str());
    bool consistent = true;
    for (long i = 0; i < count; ++i) {
        std::u16string english = addin.MethodName(i, kEnglish);
        std::u16string russian = addin.MethodName(i, kRussian);
        bool found = addin.FindMethod(english) == i && addin.FindMethod(russian) == i;
        consistent = consistent && found;
        console::Print("  %2ld  %s%s%6ld%s\n", i,
                       Padded(Utf16ToUtf8(english), kEnglishWidth).c_str(),
                       Padded(Utf16ToUtf8(russian), kRussianWidth).c_str(), addin.ParamCount(i),
                       found ? "" : "  (FindMethod does not find it)");
    }
    return consistent;
}

int RunInfo(AddInSession& addin, const std::string& library) {
    bool ok = true;
    PrintField("library:", library);
    PrintField("class names:", Utf16ToUtf8(addin.ClassNames()));
    PrintField("extension:", Utf16ToUtf8(addin.ExtensionName()));
    PrintField("version:", AskFixed(addin, u"GetVersion", ok));
    ok = PrintDescription(addin) && ok;
    PrintField("interface revision:", AskFixed(addin, u"GetInterfaceRevision", ok) + " (GetInfo: " +
                                          std::to_string(addin.InterfaceInfo()) + ")");
    PrintField("builder:", AskFixed(addin, u"GetBuilderInfo", ok));
    ok = PrintMethodTable(addin) && ok;
    return ok ? kExitOk : kExitFailed;
}

int RunParams(AddInSession& addin) {
    CallArgs args;
    args.Out();
    HostValue result;
    std::string error;
    if (!addin.Call(u"GetParameters", args, result, error)) return Fail(kExitFailed, error);
    std::string document = args.Value(0).Utf8();
    if (document.empty() || document.back() != '\n') document += '\n';
    console::Write(console::Stream::kOut, document);
    return kExitOk;
}

int ExitWithMemoryReport(int code, AddInSession& addin, CountingMemoryManager& memory,
                         bool alwaysPrint) {
    if (!addin.Finish())
        code = Fail(kExitFailed, Say("DestroyObject did not destroy the object",
                                     "DestroyObject не уничтожил объект"));
    MemoryReport report = memory.Report();
    if (alwaysPrint) console::Print("%s\n", report.Summary().c_str());
    if (report.Clean()) return code;
    if (!alwaysPrint) console::PrintError("addin-host: %s\n", report.Summary().c_str());
    return code == kExitOk ? kExitMemory : code;
}
}  // namespace

int Fail(int code, const std::string& message) {
    console::PrintError("addin-host: %s\n", message.c_str());
    return code;
}

int RunCommandLine(const std::vector<std::string>& args) {
    std::string error;
    std::string badLanguage;
    if (!console::ChooseLanguage(args, badLanguage))
        return Fail(kExitUsage, "--lang: ru, en (\"" + badLanguage + "\")");
    CommandLine line;
    if (!ParseCommandLine(args, line, error)) return Fail(kExitUsage, error);
    bool asked = line.command == "help" || line.flags.count("--help") != 0;
    if (line.command.empty() || asked) {
        std::string help = CommandHelp(line.command);
        console::Write(asked ? console::Stream::kOut : console::Stream::kError,
                       help.empty() ? GeneralHelp() : help);
        return asked ? kExitOk : kExitUsage;
    }
    if (line.command == "monitor") return RunMonitor(line.positional[0]);
    // The goods check needs neither the add-in's library nor any scales.
    if (line.command == "check") return RunCheckCommand(line);
    // Everything a command needs from the command line is checked before the
    // library is loaded.
    DeviceCommand device;
    if (IsDeviceCommand(line.command) && !PrepareDeviceCommand(line, device, error))
        return Fail(kExitUsage, error);
    if (line.command == "ping") return RunPing(device);
    std::string library = ResolveLibrary(line);
    if (IsDeviceCommand(line.command)) return RunDeviceCommand(library, device);
    CountingMemoryManager memory;
    AddInSession addin(memory);
    if (!addin.Start(library, error)) {
        addin.Finish();
        return Fail(kExitNoLibrary,
                    Say("cannot load the add-in: ", "не удаётся загрузить компоненту: ") + error);
    }
    int code = line.command == "info" ? RunInfo(addin, library) : RunParams(addin);
    return ExitWithMemoryReport(code, addin, memory, line.command == "info");
}

}  // namespace host

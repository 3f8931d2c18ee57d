#include "tools/addin-host/commands.h"

#include <cstdlib>

#include "tools/addin-host/addin_session.h"
#include "tools/addin-host/check_command.h"
#include "tools/addin-host/cli_args.h"
#include "tools/addin-host/device_commands.h"
#include "tools/addin-host/host_os.h"
#include "tools/addin-host/host_text.h"
#include "tools/console/console.h"

namespace host {

namespace {
constexpr char kUsage[] =
    "usage: addin-host [--lib LIB] COMMAND [ARGUMENTS]\n"
    "  info [LIB]                          names, version, revision and method table\n"
    "  params                              the settings document (GetParameters)\n"
    "  test    [--address HOST[:PORT]]     DeviceTest\n"
    "  check   FILE.xml                    check a goods file as UploadGoods does; no scales\n"
    "  upload  [--address HOST[:PORT]] [--whole] FILE.xml\n"
    "                                      UploadGoods, with progress on a terminal\n"
    "  clear   [--address HOST[:PORT]]     ClearGoods\n"
    "  message [--address HOST[:PORT]] NUMBER TEXT [--width W]\n"
    "  hotkeys [--address HOST[:PORT]] KEY=CODE ...\n"
    "  good    [--address HOST[:PORT]] --name N --code C --plu P --price HUNDREDTHS\n"
    "          [--label L] [--label-extra X] [--dept D] [--barcode B] [--unit U]\n"
    "          [--shelf-life S] [--extra1 ..] [--extra2 ..] [--extra3 ..] [--extra4 ..]\n"
    "LIB defaults to $RLS_ADDIN_LIB, else the add-in next to addin-host or in\n"
    "../../addin/ relative to it; the address defaults to 127.0.0.1:5001.\n";

std::set<std::string> ValueOptions() {
    std::set<std::string> options = DeviceValueOptions();
    options.insert({"--lib", "--address"});
    return options;
}
const std::set<std::string> kFlagOptions = {"--whole", "--help"};

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
    if (!addin.Finish()) code = Fail(kExitFailed, "DestroyObject did not destroy the object");
    MemoryReport report = memory.Report();
    if (alwaysPrint) console::Print("%s\n", report.Summary().c_str());
    if (report.Clean()) return code;
    if (!alwaysPrint) console::PrintError("addin-host: %s\n", report.Summary().c_str());
    return code == kExitOk ? kExitMemory : code;
}
// info takes the library as its one optional argument, params nothing.
bool CheckFixedCommand(const CommandLine& line, std::string& error) {
    size_t allowed = line.command == "info" ? 1 : 0;
    bool onlyLib = line.flags.empty() && line.options.size() == (line.Has("--lib") ? 1u : 0u);
    if (line.positional.size() <= allowed && onlyLib) return true;
    error = "wrong arguments for " + line.command + " (addin-host --help for usage)";
    return false;
}
}  // namespace

int Fail(int code, const std::string& message) {
    console::PrintError("addin-host: %s\n", message.c_str());
    return code;
}

int RunCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    std::string error;
    if (!SplitCommandLine(args, ValueOptions(), kFlagOptions, line, error))
        return Fail(kExitUsage, error + " (addin-host --help for usage)");
    if (line.command.empty() || line.command == "help" || line.flags.count("--help") != 0) {
        bool asked = !line.command.empty() || !line.flags.empty();
        console::Write(asked ? console::Stream::kOut : console::Stream::kError, kUsage);
        return asked ? kExitOk : kExitUsage;
    }
    // The goods check needs neither the add-in's library nor any scales.
    if (line.command == "check") return RunCheckCommand(line);
    // Everything a command needs from the command line is checked before the
    // library is loaded.
    DeviceCommand device;
    bool isDeviceCommand = line.command != "info" && line.command != "params";
    bool ready = isDeviceCommand ? PrepareDeviceCommand(line, device, error)
                                 : CheckFixedCommand(line, error);
    if (!ready) return Fail(kExitUsage, error);
    std::string library = ResolveLibrary(line);
    CountingMemoryManager memory;
    AddInSession addin(memory);
    if (!addin.Start(library, error)) {
        addin.Finish();
        return Fail(kExitNoLibrary, "cannot load the add-in: " + error);
    }
    int code = kExitOk;
    if (line.command == "info")
        code = RunInfo(addin, library);
    else if (line.command == "params")
        code = RunParams(addin);
    else
        code = RunDeviceCommand(addin, device);
    return ExitWithMemoryReport(code, addin, memory, line.command == "info");
}

}  // namespace host

#include "tools/addin-host/device_commands.h"

#include <chrono>
#include <map>
#include <set>

#include "scales/goods_fields.h"
#include "tools/addin-host/check_command.h"
#include "tools/addin-host/commands.h"
#include "tools/addin-host/goods_document.h"
#include "tools/addin-host/host_os.h"
#include "tools/addin-host/host_text.h"
#include "tools/console/console.h"

namespace host {

namespace {
// The connection kind the add-in reads from "conntype": anything but 0 is
// Ethernet (UDP to "ehost":"eport").
constexpr int32_t kConnectionEthernet = 1;

struct GoodOption {
    const char* option;
    GoodField field;
    int32_t fallback;  // the settings document's default for the label fields
    bool required;
};
constexpr scales::LabelSettings kLabelDefaults{};
constexpr GoodOption kGoodOptions[] = {
    {"--code", kGoodCode, 0, true},
    {"--plu", kGoodPlu, 0, true},
    {"--label", kGoodLabel, kLabelDefaults.labelNumber, false},
    {"--label-extra", kGoodLabelExtra, 0, false},
    {"--dept", kGoodDepartment, kLabelDefaults.department, false},
    {"--barcode", kGoodBarcode, kLabelDefaults.barcodeFormat, false},
    {"--price", kGoodPrice, 0, true},
    {"--unit", kGoodUnit, kLabelDefaults.weightMeasure, false},
    {"--shelf-life", kGoodShelfLife, 0, false},
    {"--extra1", kGoodExtra1, 0, false},
    {"--extra2", kGoodExtra2, 0, false},
    {"--extra3", kGoodExtra3, 0, false},
    {"--extra4", kGoodExtra4, 0, false},
};

struct CommandShape {
    size_t minPositional;
    size_t maxPositional;
    std::set<std::string> options;
};
std::set<std::string> GoodOptionNames() {
    std::set<std::string> names = {"--name"};
    for (const GoodOption& goodOption : kGoodOptions) names.insert(goodOption.option);
    return names;
}
const std::map<std::string, CommandShape>& Shapes() {
    static const std::set<std::string> kGood = GoodOptionNames();
    static const std::map<std::string, CommandShape> kShapes = {
        {"test", {0, 0, {}}},           {"upload", {1, 1, {"--whole"}}},
        {"clear", {0, 0, {}}},          {"message", {2, 2, {"--width"}}},
        {"hotkeys", {1, SIZE_MAX, {}}}, {"good", {0, 0, kGood}},
    };
    return kShapes;
}

bool CheckShape(const CommandLine& line, std::string& error) {
    auto shape = Shapes().find(line.command);
    if (shape == Shapes().end()) {
        error = "unknown command " + line.command + " (addin-host --help for usage)";
        return false;
    }
    std::set<std::string> given;
    for (auto& option : line.options) given.insert(option.first);
    given.insert(line.flags.begin(), line.flags.end());
    for (const std::string& option : given) {
        bool everywhere = option == "--lib" || option == "--address";
        if (!everywhere && shape->second.options.count(option) == 0) {
            error = "option " + option + " does not apply to " + line.command;
            return false;
        }
    }
    size_t count = line.positional.size();
    if (count < shape->second.minPositional || count > shape->second.maxPositional) {
        error = "wrong number of arguments for " + line.command + " (addin-host --help for usage)";
        return false;
    }
    return true;
}

bool ReadNumber(const std::string& what, const std::string& text, int32_t& value,
                std::string& error) {
    if (ParseInt32(text, value)) return true;
    error = what + " must be a whole number that fits in 32 bits, not \"" + text + "\"";
    return false;
}

bool PrepareGood(const CommandLine& line, DeviceCommand& command, std::string& error) {
    if (!line.Has("--name")) {
        error = "good needs --name";
        return false;
    }
    command.goodName = line.options.at("--name");
    for (const GoodOption& goodOption : kGoodOptions) {
        command.goodFields[goodOption.field] = goodOption.fallback;
        if (!line.Has(goodOption.option)) {
            if (!goodOption.required) continue;
            error = std::string("good needs ") + goodOption.option;
            return false;
        }
        if (!ReadNumber(goodOption.option, line.options.at(goodOption.option),
                        command.goodFields[goodOption.field], error))
            return false;
    }
    return true;
}

bool PrepareHotKeys(const CommandLine& line, DeviceCommand& command, std::string& error) {
    for (const std::string& pair : line.positional) {
        size_t equals = pair.find('=');
        int32_t key = 0, code = 0;
        if (equals == std::string::npos || !ParseInt32(pair.substr(0, equals), key) ||
            !ParseInt32(pair.substr(equals + 1), code)) {
            error = "hot keys are written KEY=CODE with whole numbers, not \"" + pair + "\"";
            return false;
        }
        command.hotKeys.emplace_back(key, code);
    }
    return true;
}

bool PrepareUpload(const CommandLine& line, DeviceCommand& command, std::string& error) {
    command.goodsFile = line.positional[0];
    command.whole = line.flags.count("--whole") != 0;
    std::string bytes;
    if (!ReadWholeFile(command.goodsFile, bytes)) {
        error = "cannot read the goods file " + command.goodsFile;
        return false;
    }
    command.goodsDocument = DocumentText(bytes);
    return true;
}
}  // namespace

std::set<std::string> DeviceValueOptions() {
    std::set<std::string> names = GoodOptionNames();
    names.insert("--width");
    return names;
}

bool PrepareDeviceCommand(const CommandLine& line, DeviceCommand& command, std::string& error) {
    if (!CheckShape(line, error)) return false;
    command.name = line.command;
    if (line.Has("--address") &&
        !ParseAddress(line.options.at("--address"), command.address, error))
        return false;
    if (command.name == "upload") return PrepareUpload(line, command, error);
    if (command.name == "hotkeys") return PrepareHotKeys(line, command, error);
    if (command.name == "good") return PrepareGood(line, command, error);
    if (command.name == "message") {
        command.messageText = line.positional[1];
        if (line.Has("--width") &&
            !ReadNumber("--width", line.options.at("--width"), command.lineWidth, error))
            return false;
        return ReadNumber("the message number", line.positional[0], command.messageNumber, error);
    }
    return true;
}

namespace {
// GetLastError: the code left by the last operation and its Russian text.
// A GetLastError that itself fails counts as code -1.
std::string LastErrorText(AddInSession& addin, int64_t* codeOut = nullptr) {
    CallArgs args;
    args.Out();
    HostValue code;
    std::string error;
    if (codeOut != nullptr) *codeOut = -1;
    if (!addin.Call(u"GetLastError", args, code, error)) return error;
    if (codeOut != nullptr) *codeOut = code.number;
    return args.Value(0).Utf8() + " (code " + std::to_string(code.number) + ")";
}

// Calls a method whose Boolean result reports the outcome; on failure
// `error` says why, in the add-in's words.
bool CallChecked(AddInSession& addin, const char16_t* method, CallArgs& args, std::string& error) {
    HostValue result;
    if (!addin.Call(method, args, result, error)) return false;
    if (result.vt == VTYPE_BOOL && result.flag) return true;
    error = Utf16ToUtf8(method) + " failed: " + LastErrorText(addin);
    return false;
}

bool SendSettings(AddInSession& addin, const Address& address, std::string& error) {
    CallArgs conntype, ehost, eport;
    conntype.Text(u"conntype").Int(kConnectionEthernet);
    ehost.Text(u"ehost").TextUtf8(address.host);
    eport.Text(u"eport").Int(address.port);
    return CallChecked(addin, u"SetParameter", conntype, error) &&
           CallChecked(addin, u"SetParameter", ehost, error) &&
           CallChecked(addin, u"SetParameter", eport, error);
}

// A scales device registered with Open and released with Close.
class RegisteredScales {
  public:
    explicit RegisteredScales(AddInSession& addin) : addin_(addin) {}
    ~RegisteredScales() { Close(); }
    RegisteredScales(const RegisteredScales&) = delete;
    RegisteredScales& operator=(const RegisteredScales&) = delete;

    // Open always answers true; a failed connection test shows only in the
    // last error, so that is checked too.
    bool Open(const Address& address, std::string& error) {
        if (!SendSettings(addin_, address, error)) return false;
        CallArgs args;
        args.Out();
        if (!CallChecked(addin_, u"Open", args, error)) return false;
        id_ = args.Value(0).text;
        open_ = true;
        int64_t code = 0;
        std::string text = LastErrorText(addin_, &code);
        if (code == 0) return true;
        error =
            "cannot connect to " + address.host + ":" + std::to_string(address.port) + ": " + text;
        return false;
    }
    const std::u16string& Id() const { return id_; }
    void Close() {
        if (!open_) return;
        open_ = false;
        CallArgs args;
        args.Text(id_);
        std::string error;
        if (!CallChecked(addin_, u"Close", args, error)) Fail(kExitFailed, error);
    }

  private:
    AddInSession& addin_;
    std::u16string id_;
    bool open_ = false;
};

double Rate(size_t goods, double seconds) {
    return seconds > 0 ? goods / seconds : 0.0;
}

// A non-negative number with a decimal point whatever the C locale says: the
// add-in's SetLocale switches the whole process to the host's locale, whose
// printf may write a decimal comma.
std::string Decimal(double value, int decimals) {
    long long scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    long long scaled = static_cast<long long>(value * scale + 0.5);
    if (decimals <= 0) return std::to_string(scaled);
    std::string fraction = std::to_string(scaled % scale);
    fraction.insert(0, static_cast<size_t>(decimals) - fraction.size(), '0');
    return std::to_string(scaled / scale) + "." + fraction;
}

// One line redrawn in place on a terminal: goods sent of the total and the
// rate so far.
class ProgressLine {
  public:
    ProgressLine(size_t total, bool visible) : total_(total), visible_(visible) {}
    void Show(size_t sent, double seconds) {
        if (!visible_) return;
        console::Print("\rsent %zu/%zu goods, %s goods/s   ", sent, total_,
                       Decimal(Rate(sent, seconds), 1).c_str());
        drawn_ = true;
    }
    void End() {
        if (drawn_) console::Print("\n");
        drawn_ = false;
    }

  private:
    size_t total_;
    bool visible_;
    bool drawn_ = false;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void PrintSummary(size_t goods, double seconds) {
    console::Print("uploaded %zu goods in %s s (%s goods/s)\n", goods, Decimal(seconds, 3).c_str(),
                   Decimal(Rate(goods, seconds), 1).c_str());
}

int UploadWhole(AddInSession& addin, const std::u16string& id, const DeviceCommand& command,
                size_t goods, bool parsed) {
    auto start = std::chrono::steady_clock::now();
    CallArgs args;
    args.Text(id).Text(command.goodsDocument).Text(u"");
    std::string error;
    if (!CallChecked(addin, u"UploadGoods", args, error)) {
        if (!parsed) error = command.goodsFile + " is not a goods document the add-in can read";
        return Fail(kExitFailed, error);
    }
    PrintSummary(goods, SecondsSince(start));
    return kExitOk;
}

int UploadOneByOne(AddInSession& addin, const std::u16string& id,
                   const std::vector<GoodPiece>& pieces) {
    auto start = std::chrono::steady_clock::now();
    ProgressLine progress(pieces.size(), console::IsTerminal(console::Stream::kOut));
    for (size_t i = 0; i < pieces.size(); ++i) {
        CallArgs args;
        args.Text(id).Text(pieces[i].document).Text(u"");
        std::string error;
        if (!CallChecked(addin, u"UploadGoods", args, error)) {
            progress.End();
            return Fail(kExitFailed, "good " + std::to_string(i + 1) + " of " +
                                         std::to_string(pieces.size()) + " (PLU " + pieces[i].plu +
                                         ", \"" + pieces[i].name + "\"): " + error);
        }
        progress.Show(i + 1, SecondsSince(start));
    }
    progress.End();
    PrintSummary(pieces.size(), SecondsSince(start));
    return kExitOk;
}

int RunUpload(AddInSession& addin, const std::u16string& id, const DeviceCommand& command) {
    std::vector<GoodPiece> pieces;
    bool parsed = SplitGoods(command.goodsDocument, pieces);
    if (!parsed || pieces.empty() || command.whole)
        return UploadWhole(addin, id, command, pieces.size(), parsed);
    return UploadOneByOne(addin, id, pieces);
}

int RunDeviceTest(AddInSession& addin, const DeviceCommand& command) {
    std::string error;
    if (!SendSettings(addin, command.address, error)) return Fail(kExitFailed, error);
    // DeviceTest registers and releases a device of its own, so no Open here;
    // its outcome is in the description, the last error is 0 afterwards.
    CallArgs args;
    args.Out().Out();
    HostValue result;
    if (!addin.Call(u"DeviceTest", args, result, error)) return Fail(kExitFailed, error);
    if (!result.flag) return Fail(kExitFailed, "DeviceTest failed: " + args.Value(0).Utf8());
    console::Print("%s\n", args.Value(0).Utf8().c_str());
    return kExitOk;
}

bool SendMessage(AddInSession& addin, const std::u16string& id, const DeviceCommand& command,
                 std::string& error) {
    CallArgs start, message;
    start.Text(id);
    message.Text(id)
        .Int(command.messageNumber)
        .TextUtf8(command.messageText)
        .Int(command.lineWidth);
    return CallChecked(addin, u"StartSendMessages", start, error) &&
           CallChecked(addin, u"SendMessageV1", message, error);
}

bool SendHotKeys(AddInSession& addin, const std::u16string& id, const DeviceCommand& command,
                 std::string& error) {
    CallArgs prepare;
    prepare.Text(id);
    if (!CallChecked(addin, u"PrepareSendHotKeys", prepare, error)) return false;
    for (auto& keyAndCode : command.hotKeys) {
        CallArgs add;
        add.Text(id).Int(keyAndCode.second).Int(keyAndCode.first);
        if (!CallChecked(addin, u"AddHotKey", add, error)) {
            error = "key " + std::to_string(keyAndCode.first) + ": " + error;
            return false;
        }
    }
    CallArgs send;
    send.Text(id);
    return CallChecked(addin, u"SendHotKeys", send, error);
}

bool SendGood(AddInSession& addin, const std::u16string& id, const DeviceCommand& command,
              std::string& error) {
    CallArgs args;
    args.Text(id).TextUtf8(command.goodName);
    for (int32_t field : command.goodFields) args.Int(field);
    return CallChecked(addin, u"SendGoodToScalesV1", args, error);
}

bool ClearGoods(AddInSession& addin, const std::u16string& id, std::string& error) {
    CallArgs args;
    args.Text(id);
    return CallChecked(addin, u"ClearGoods", args, error);
}
}  // namespace

int RunDeviceCommand(AddInSession& addin, const DeviceCommand& command) {
    if (command.name == "test") return RunDeviceTest(addin, command);
    // A document with an error sends nothing, whether it would go whole or
    // good by good: the scales must not hold half a new table.
    if (command.name == "upload" &&
        CheckDocument(command.goodsDocument, command.goodsFile, scales::LabelSettings{}, true) ==
            CheckVerdict::kErrors)
        return Fail(kExitFailed,
                    command.goodsFile + " has errors (listed above): nothing was sent");
    RegisteredScales scales(addin);
    std::string error;
    if (!scales.Open(command.address, error)) return Fail(kExitFailed, error);
    if (command.name == "upload") return RunUpload(addin, scales.Id(), command);
    bool done = false;
    if (command.name == "clear") done = ClearGoods(addin, scales.Id(), error);
    if (command.name == "message") done = SendMessage(addin, scales.Id(), command, error);
    if (command.name == "hotkeys") done = SendHotKeys(addin, scales.Id(), command, error);
    if (command.name == "good") done = SendGood(addin, scales.Id(), command, error);
    if (!done) return Fail(kExitFailed, error);
    console::Print("%s: done\n", command.name.c_str());
    return kExitOk;
}

}  // namespace host

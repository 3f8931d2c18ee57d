#include "tools/addin-host/device_commands.h"

#include <chrono>

#include "addin/fixed_texts.h"
#include "scales/goods_fields.h"
#include "tools/addin-host/host_os.h"
#include "tools/addin-host/host_text.h"
#include "tools/console/language.h"

namespace host {

namespace {
using console::Say;

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

bool ReadNumber(const std::string& what, const std::string& text, int32_t& value,
                std::string& error) {
    if (ParseInt32(text, value)) return true;
    error = what +
            Say(" must be a whole number that fits in 32 bits, not \"",
                " должен быть целым числом в 32 битах, а не \"") +
            text + "\"";
    return false;
}

bool PrepareGood(const CommandLine& line, DeviceCommand& command, std::string& error) {
    if (!line.Has("--name")) {
        error = Say("good needs --name", "команде good нужен --name");
        return false;
    }
    command.goodName = line.options.at("--name");
    for (const GoodOption& goodOption : kGoodOptions) {
        command.goodFields[goodOption.field] = goodOption.fallback;
        if (!line.Has(goodOption.option)) {
            if (!goodOption.required) continue;
            error = Say("good needs ", "команде good нужен ") + std::string(goodOption.option);
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
            error = Say("hot keys are written KEY=CODE with whole numbers, not \"",
                        "горячие клавиши пишутся KEY=CODE целыми числами, а не \"") +
                    pair + "\"";
            return false;
        }
        command.hotKeys.emplace_back(key, code);
    }
    return true;
}

bool PrepareFrom(const CommandLine& line, DeviceCommand& command, std::string& error) {
    if (!line.Has("--from")) return true;
    int32_t from = 0;
    const std::string& text = line.options.at("--from");
    size_t count = command.pieces.size();
    if (!ParseInt32(text, from) || from < 1 || static_cast<size_t>(from) > count) {
        error = Say("--from must be the number of a good of the document, 1 to ",
                    "--from должен быть номером товара документа, от 1 до ") +
                std::to_string(count) + Say(", not \"", ", а не \"") + text + "\"";
        return false;
    }
    if (command.whole) {
        error = Say("--from sends good by good: it does not go with --whole",
                    "--from отправляет товары по одному: с --whole он не сочетается");
        return false;
    }
    command.from = static_cast<size_t>(from);
    return true;
}

bool PrepareUpload(const CommandLine& line, DeviceCommand& command, std::string& error) {
    command.goodsFile = line.positional[0];
    command.whole = line.flags.count("--whole") != 0;
    std::string bytes;
    if (!ReadWholeFile(command.goodsFile, bytes)) {
        error = Say("cannot read the goods file ", "не удаётся прочитать файл товаров ") +
                command.goodsFile;
        return false;
    }
    command.goodsDocument = DocumentText(bytes);
    command.parsed = SplitGoods(command.goodsDocument, command.pieces);
    return PrepareFrom(line, command, error);
}
}  // namespace

bool PrepareDeviceCommand(const CommandLine& line, DeviceCommand& command, std::string& error) {
    command.name = line.command;
    if (!ReadLabelOptions(line, command.labels, error) ||
        !CollectScales(line, command.scales, error))
        return false;
    if (command.name == "upload") return PrepareUpload(line, command, error);
    if (command.name == "hotkeys") return PrepareHotKeys(line, command, error);
    if (command.name == "good") return PrepareGood(line, command, error);
    if (command.name == "message") {
        command.messageText = line.positional[1];
        if (line.Has("--width") &&
            !ReadNumber("--width", line.options.at("--width"), command.lineWidth, error))
            return false;
        return ReadNumber(Say("the message number", "номер сообщения"), line.positional[0],
                          command.messageNumber, error);
    }
    return true;
}

std::string Announcement(const DeviceCommand& command) {
    if (command.name != "test") return std::string();
    return Say("test: DeviceTest programs the demo good \"",
               "test: DeviceTest записывает в весы "
               "демонстрационный товар \"") +
           Utf16ToUtf8(addin::kDemoGoodName) + Say("\" as PLU ", "\" под PLU ") +
           std::to_string(addin::kDemoGoodPlu) +
           Say(" into the scales' goods table; run ping to only see whether they answer",
               " в таблицу товаров; чтобы только проверить связь, выполните ping");
}

namespace {
// GetLastError: the code left by the last operation and its text, as the
// add-in gives it.  A GetLastError that itself fails counts as code -1.
std::string LastErrorText(AddInSession& addin, int64_t* codeOut = nullptr) {
    CallArgs args;
    args.Out();
    HostValue code;
    std::string error;
    if (codeOut != nullptr) *codeOut = -1;
    if (!addin.Call(u"GetLastError", args, code, error)) return error;
    if (codeOut != nullptr) *codeOut = code.number;
    return args.Value(0).Utf8() + Say(" (code ", " (код ") + std::to_string(code.number) + ")";
}

// Calls a method whose Boolean result reports the outcome; on failure
// `error` says why, in the add-in's words.
bool CallChecked(AddInSession& addin, const char16_t* method, CallArgs& args, std::string& error) {
    HostValue result;
    if (!addin.Call(method, args, result, error)) return false;
    if (result.vt == VTYPE_BOOL && result.flag) return true;
    error = Utf16ToUtf8(method) + Say(" failed: ", " не выполнен: ") + LastErrorText(addin);
    return false;
}

bool SetNumber(AddInSession& addin, const char16_t* name, int32_t value, std::string& error) {
    CallArgs args;
    args.Text(name).Int(value);
    return CallChecked(addin, u"SetParameter", args, error);
}

bool SendSettings(AddInSession& addin, const ScalesTarget& scales, std::string& error) {
    const LabelChoice& labels = scales.labels;
    const std::pair<const char16_t*, const std::optional<int32_t>*> kLabelSettings[] = {
        {u"etiknum", &labels.label},
        {u"etikdep", &labels.dept},
        {u"etikbarcode", &labels.barcode},
        {u"etikodv", &labels.unit},
    };
    CallArgs ehost;
    ehost.Text(u"ehost").TextUtf8(scales.address.host);
    if (!SetNumber(addin, u"conntype", kConnectionEthernet, error) ||
        !CallChecked(addin, u"SetParameter", ehost, error) ||
        !SetNumber(addin, u"eport", scales.address.port, error))
        return false;
    for (auto& setting : kLabelSettings)
        if (*setting.second && !SetNumber(addin, setting.first, **setting.second, error))
            return false;
    return true;
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
    bool Open(const ScalesTarget& scales, std::string& error) {
        if (!SendSettings(addin_, scales, error)) return false;
        CallArgs args;
        args.Out();
        if (!CallChecked(addin_, u"Open", args, error)) return false;
        id_ = args.Value(0).text;
        open_ = true;
        int64_t code = 0;
        std::string text = LastErrorText(addin_, &code);
        if (code == 0) return true;
        error = Say("cannot connect to ", "нет связи с ") + scales.address.host + ":" +
                std::to_string(scales.address.port) + ": " + text;
        return false;
    }
    const std::u16string& Id() const { return id_; }
    // A failing Close leaves the scales registered in an object about to be
    // destroyed: nothing to report.
    void Close() {
        if (!open_) return;
        open_ = false;
        CallArgs args;
        args.Text(id_);
        std::string error;
        CallChecked(addin_, u"Close", args, error);
    }

  private:
    AddInSession& addin_;
    std::u16string id_;
    bool open_ = false;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Summary(size_t goods, double seconds) {
    double rate = seconds > 0 ? goods / seconds : 0.0;
    return Say("uploaded ", "выгружено товаров: ") + std::to_string(goods) +
           Say(" goods in ", " за ") + ProgressBoard::Decimal(seconds, 3) + Say(" s (", " с (") +
           ProgressBoard::Decimal(rate, 1) + Say(" goods/s)", " товаров/с)");
}

ScalesOutcome UploadWhole(AddInSession& addin, const std::u16string& id,
                          const DeviceCommand& command) {
    auto start = std::chrono::steady_clock::now();
    CallArgs args;
    args.Text(id).Text(command.goodsDocument).Text(u"");
    ScalesOutcome outcome;
    outcome.counted = true;
    outcome.total = command.pieces.size();
    outcome.ok = CallChecked(addin, u"UploadGoods", args, outcome.text);
    outcome.seconds = SecondsSince(start);
    if (outcome.ok) {
        outcome.done = outcome.total;
        outcome.text = Summary(outcome.total, outcome.seconds);
    } else if (!command.parsed) {
        outcome.text = command.goodsFile + Say(" is not a goods document the add-in can read",
                                               " не документ товаров, который читает компонента");
    }
    return outcome;
}

ScalesOutcome UploadOneByOne(AddInSession& addin, const std::u16string& id,
                             const DeviceCommand& command, const ProgressReport& progress) {
    auto start = std::chrono::steady_clock::now();
    const std::vector<GoodPiece>& pieces = command.pieces;
    ScalesOutcome outcome;
    outcome.counted = true;
    outcome.total = pieces.size();
    outcome.done = command.from - 1;
    progress(outcome.done, outcome.total);
    for (size_t i = command.from - 1; i < pieces.size(); ++i) {
        CallArgs args;
        args.Text(id).Text(pieces[i].document).Text(u"");
        std::string error;
        if (!CallChecked(addin, u"UploadGoods", args, error)) {
            outcome.seconds = SecondsSince(start);
            outcome.headline = Say("FAILED at good ", "ОШИБКА на товаре ") + std::to_string(i + 1) +
                               " (PLU " + pieces[i].plu +
                               Say("); resume with --from ", "); продолжить: --from ") +
                               std::to_string(i + 1);
            outcome.text = Say("good ", "товар ") + std::to_string(i + 1) + Say(" of ", " из ") +
                           std::to_string(pieces.size()) + " (PLU " + pieces[i].plu + ", \"" +
                           pieces[i].name + "\"): " + error +
                           Say("; resume with --from ", "; продолжить: --from ") +
                           std::to_string(i + 1);
            return outcome;
        }
        outcome.done = i + 1;
        progress(outcome.done, outcome.total);
    }
    outcome.ok = true;
    outcome.seconds = SecondsSince(start);
    outcome.text = Summary(pieces.size() - (command.from - 1), outcome.seconds);
    return outcome;
}

ScalesOutcome RunUpload(AddInSession& addin, const std::u16string& id, const DeviceCommand& command,
                        const ProgressReport& progress) {
    if (!command.parsed || command.pieces.empty() || command.whole)
        return UploadWhole(addin, id, command);
    return UploadOneByOne(addin, id, command, progress);
}

ScalesOutcome RunDeviceTest(AddInSession& addin, const ScalesTarget& scales) {
    ScalesOutcome outcome;
    outcome.counted = true;
    outcome.total = 1;
    if (!SendSettings(addin, scales, outcome.text)) return outcome;
    // DeviceTest registers and releases a device of its own, so no Open here;
    // its outcome is in the description, the last error is 0 afterwards.
    CallArgs args;
    args.Out().Out();
    HostValue result;
    if (!addin.Call(u"DeviceTest", args, result, outcome.text)) return outcome;
    outcome.ok = result.flag;
    outcome.done = outcome.ok ? 1 : 0;
    outcome.text = (outcome.ok ? "" : Say("DeviceTest failed: ", "DeviceTest не выполнен: ")) +
                   args.Value(0).Utf8();
    return outcome;
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
            error = Say("key ", "клавиша ") + std::to_string(keyAndCode.first) + ": " + error;
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

// The scales answer clearing and hot-key pages, but the add-in does not
// judge those answers: it reports success whether or not anything listens.
// So the tool says what it knows: the commands went out.
std::string Unconfirmed(const std::string& what) {
    return what + Say(": sent; the scales do not confirm this command, so look at the scales",
                      ": отправлено; весы не подтверждают эту команду, проверьте по весам");
}

// A command of one call sequence on the registered scales.
ScalesOutcome RunSimple(AddInSession& addin, const std::u16string& id,
                        const DeviceCommand& command) {
    ScalesOutcome outcome;
    std::string& error = outcome.text;
    if (command.name == "clear") {
        outcome.ok = ClearGoods(addin, id, error);
        if (outcome.ok) outcome.text = Unconfirmed(Say("goods table cleared", "очистка таблицы"));
    } else if (command.name == "hotkeys") {
        outcome.ok = SendHotKeys(addin, id, command, error);
        if (outcome.ok)
            outcome.text =
                Unconfirmed(std::string(Say("", "горячие клавиши (")) +
                            std::to_string(command.hotKeys.size()) + Say(" hot keys", ")"));
    } else if (command.name == "message") {
        outcome.ok = SendMessage(addin, id, command, error);
        if (outcome.ok)
            outcome.text = Say("message ", "сообщение ") + std::to_string(command.messageNumber) +
                           Say(": programmed", ": записано");
    } else if (command.name == "good") {
        outcome.ok = SendGood(addin, id, command, error);
        if (outcome.ok) outcome.text = Say("good: programmed", "товар записан");
    }
    return outcome;
}
}  // namespace

ScalesOutcome RunOnScales(AddInSession& addin, const DeviceCommand& command,
                          const ScalesTarget& scales, const ProgressReport& progress) {
    auto start = std::chrono::steady_clock::now();
    ScalesOutcome outcome;
    if (command.name == "test") {
        outcome = RunDeviceTest(addin, scales);
    } else {
        RegisteredScales registered(addin);
        if (!registered.Open(scales, outcome.text)) {
            if (command.name == "upload" && !command.whole)
                outcome.text += Say("; resume with --from ", "; продолжить: --from ") +
                                std::to_string(command.from);
            outcome.counted = command.name == "upload";
            outcome.total = command.pieces.size();
            outcome.done = command.from - 1;
        } else if (command.name == "upload") {
            outcome = RunUpload(addin, registered.Id(), command, progress);
        } else {
            outcome = RunSimple(addin, registered.Id(), command);
        }
    }
    outcome.seconds = SecondsSince(start);
    return outcome;
}

}  // namespace host

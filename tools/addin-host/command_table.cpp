#include "tools/addin-host/command_table.h"

#include <algorithm>
#include <cstdint>

#include "tools/addin-host/host_text.h"
#include "tools/console/language.h"

namespace host {

namespace {
using console::Say;

struct OptionEntry {
    const char* name;
    const char* value;  // what the value is, null for a flag
    const char* english;
    const char* russian;
};

// Options of every command; the device commands add kDeviceOptions.
const OptionEntry kCommonOptions[] = {
    {"--lib", "LIB", "the add-in library", "библиотека компоненты"},
    {"--lang", "ru|en", "the language of the messages", "язык сообщений"},
    {"--help", nullptr, "this help (also -h)", "эта справка (также -h)"},
};
const OptionEntry kDeviceOptions[] = {
    {"--address", "HOST[:PORT]", "the scales (repeat for several; default 127.0.0.1:5001)",
     "весы (повторите для нескольких; по умолчанию 127.0.0.1:5001)"},
    {"--scales", "FILE", "a list of scales, one a line: ADDRESS [NAME] [label=N dept=N ...]",
     "список весов, по одним на строку: АДРЕС [ИМЯ] [label=N dept=N ...]"},
};
const OptionEntry kLabelOptions[] = {
    {"--label", "L", "label formats (\"etiknum\", default 0)", "форматы этикетки (\"etiknum\", 0)"},
    {"--dept", "D", "department (\"etikdep\", default 28)", "отдел (\"etikdep\", 28)"},
    {"--barcode", "B", "barcode format (\"etikbarcode\", default 7)",
     "формат штрихкода (\"etikbarcode\", 7)"},
    {"--unit", "U", "weight unit (\"etikodv\", default 4: kg)",
     "единица веса (\"etikodv\", 4: кг)"},
};
const OptionEntry kUploadOptions[] = {
    {"--whole", nullptr, "send the document in one UploadGoods call, as 1C does",
     "отправить документ одним вызовом UploadGoods, как 1С"},
    {"--from", "N", "start from the Nth good of the document (after a failure)",
     "начать с N-го товара документа (после сбоя)"},
};
const OptionEntry kMessageOptions[] = {
    {"--width", "W", "line width (default 0: no limit)", "ширина строки (0: без ограничения)"},
};
const OptionEntry kGoodOptions[] = {
    {"--name", "N", "name", "наименование"},
    {"--code", "C", "code", "код"},
    {"--plu", "P", "PLU", "PLU"},
    {"--price", "HUNDREDTHS", "price in hundredths", "цена в копейках"},
    {"--label", "L", "label formats (default 0)", "форматы этикетки (0)"},
    {"--label-extra", "X", "label extra (default 0)", "доп. этикетка (0)"},
    {"--dept", "D", "department (default 28)", "отдел (28)"},
    {"--barcode", "B", "barcode format (default 7)", "формат штрихкода (7)"},
    {"--unit", "U", "weight unit (default 4: kg)", "единица веса (4: кг)"},
    {"--shelf-life", "S", "shelf life (default 0)", "срок годности (0)"},
    {"--extra1", "A", "extra field 1", "доп. поле 1"},
    {"--extra2", "B", "extra field 2", "доп. поле 2"},
    {"--extra3", "C", "extra field 3", "доп. поле 3"},
    {"--extra4", "D", "extra field 4", "доп. поле 4"},
};

struct OptionGroup {
    const OptionEntry* begin;
    const OptionEntry* end;
};
template <size_t N>
constexpr OptionGroup Group(const OptionEntry (&options)[N]) {
    return {options, options + N};
}
constexpr OptionGroup kNone{nullptr, nullptr};

struct CommandEntry {
    const char* name;
    const char* arguments;  // the positional arguments as the synopsis shows them
    size_t minPositional;
    size_t maxPositional;
    bool device;
    OptionGroup own;
    OptionGroup labels;
    const char* english;
    const char* russian;
};

const CommandEntry kCommands[] = {
    {"info", "[LIB]", 0, 1, false, kNone, kNone,
     "names, version, interface revision and method table of the add-in",
     "имена, версия, ревизия интерфейса и таблица методов компоненты"},
    {"check", "FILE.xml", 1, 1, false, kNone, kNone,
     "check a goods file as UploadGoods does; contacts no scales",
     "проверить файл товаров так, как его проверяет UploadGoods; без весов"},
    {"params", "", 0, 0, false, kNone, kNone, "the settings document (GetParameters)",
     "документ настроек (GetParameters)"},
    {"ping", "", 0, 0, true, kNone, kNone,
     "send the scales only the clock frame and say whether they answered",
     "отправить весам только кадр часов и сказать, ответили ли они"},
    {"test", "", 0, 0, true, kNone, Group(kLabelOptions),
     "DeviceTest: programs the demo good into the scales' goods table",
     "DeviceTest: записывает в таблицу товаров весов демонстрационный товар"},
    {"upload", "FILE.xml", 1, 1, true, Group(kUploadOptions), Group(kLabelOptions),
     "UploadGoods of the goods document, with progress",
     "UploadGoods: выгрузка документа товаров, с ходом выгрузки"},
    {"clear", "", 0, 0, true, kNone, kNone, "ClearGoods: clears the goods table",
     "ClearGoods: очистка таблицы товаров"},
    {"message", "NUMBER TEXT", 2, 2, true, Group(kMessageOptions), kNone,
     "StartSendMessages and SendMessageV1", "StartSendMessages и SendMessageV1"},
    {"hotkeys", "KEY=CODE ...", 1, SIZE_MAX, true, kNone, kNone,
     "PrepareSendHotKeys, AddHotKey for each KEY=CODE, SendHotKeys",
     "PrepareSendHotKeys, AddHotKey для каждой пары KEY=CODE, SendHotKeys"},
    {"good", "", 0, 0, true, Group(kGoodOptions), kNone,
     "SendGoodToScalesV1 with every field (--name --code --plu --price required)",
     "SendGoodToScalesV1 со всеми полями (--name --code --plu --price обязательны)"},
    {"monitor", "FILE", 1, 1, false, kNone, kNone, "the port monitor's file as readable lines",
     "файл монитора порта в читаемом виде"},
};

const CommandEntry* FindCommand(const std::string& name) {
    for (const CommandEntry& command : kCommands)
        if (name == command.name) return &command;
    return nullptr;
}

std::vector<const OptionEntry*> OptionsOf(const CommandEntry& command) {
    std::vector<const OptionEntry*> options;
    auto add = [&options](OptionGroup group) {
        for (const OptionEntry* o = group.begin; o != group.end; ++o) options.push_back(o);
    };
    add(Group(kCommonOptions));
    if (command.device) add(Group(kDeviceOptions));
    add(command.own);
    add(command.labels);
    return options;
}

const OptionEntry* FindOption(const std::vector<const OptionEntry*>& options,
                              const std::string& name) {
    for (const OptionEntry* option : options)
        if (name == option->name) return option;
    return nullptr;
}

// Every option any command takes, so that a known option given to the wrong
// command is told apart from an unknown one.
void AllOptionNames(std::set<std::string>& values, std::set<std::string>& flags) {
    for (const CommandEntry& command : kCommands)
        for (const OptionEntry* option : OptionsOf(command))
            (option->value != nullptr ? values : flags).insert(option->name);
}

std::string Synopsis(const CommandEntry& command) {
    std::string line =
        std::string("addin-host ") + command.name + Say(" [OPTIONS]", " [ПАРАМЕТРЫ]");
    if (*command.arguments != '\0') line += std::string(" ") + command.arguments;
    return line;
}

bool CheckCommand(const CommandLine& line, const CommandEntry& command, std::string& error) {
    std::vector<const OptionEntry*> options = OptionsOf(command);
    std::vector<std::string> given;
    for (auto& option : line.options) given.push_back(option.first);
    given.insert(given.end(), line.flags.begin(), line.flags.end());
    for (const std::string& name : given) {
        if (FindOption(options, name) != nullptr) continue;
        error = Say("option ", "параметр ") + name + Say(" does not apply to ", " не подходит к ") +
                line.command + HelpHint(line.command);
        return false;
    }
    size_t count = line.positional.size();
    if (count >= command.minPositional && count <= command.maxPositional) return true;
    error = Say("wrong number of arguments for ", "неверное число аргументов для ") + line.command +
            HelpHint(line.command);
    return false;
}
}  // namespace

std::string HelpHint(const std::string& command) {
    return " (addin-host " + (command.empty() ? std::string() : command + " ") + "--help)";
}

bool IsDeviceCommand(const std::string& command) {
    const CommandEntry* entry = FindCommand(command);
    return entry != nullptr && entry->device;
}

std::string GeneralHelp() {
    std::string text = Say("usage: addin-host COMMAND [OPTIONS] [ARGUMENTS]\n",
                           "использование: addin-host КОМАНДА [ПАРАМЕТРЫ] [АРГУМЕНТЫ]\n");
    constexpr size_t kNameWidth = 11;
    for (const CommandEntry& command : kCommands) {
        std::string name = std::string("  ") + command.name;
        name.resize(kNameWidth, ' ');
        text += name + Say(command.english, command.russian) + "\n";
    }
    text +=
        Say("addin-host COMMAND --help shows the command's options.\n"
            "LIB defaults to $RLS_ADDIN_LIB, else the add-in next to addin-host or in\n"
            "../../addin/ relative to it.\n",
            "addin-host КОМАНДА --help покажет параметры команды.\n"
            "Библиотека по умолчанию: $RLS_ADDIN_LIB, иначе компонента рядом с addin-host\n"
            "или в ../../addin/ относительно него.\n");
    return text;
}

std::string CommandHelp(const std::string& name) {
    const CommandEntry* command = FindCommand(name);
    if (command == nullptr) return std::string();
    std::string text = Say("usage: ", "использование: ") + Synopsis(*command) + "\n" +
                       Say(command->english, command->russian) + "\n" +
                       Say("options:\n", "параметры:\n");
    constexpr size_t kColumn = 26;
    for (const OptionEntry* option : OptionsOf(*command)) {
        std::string left = std::string("  ") + option->name;
        if (option->value != nullptr) left += std::string(" ") + option->value;
        size_t width = Utf8Width(left);
        left +=
            width < kColumn ? std::string(kColumn - width, ' ') : "\n" + std::string(kColumn, ' ');
        text += left + Say(option->english, option->russian) + "\n";
    }
    return text;
}

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& line, std::string& error) {
    std::set<std::string> values, flags;
    AllOptionNames(values, flags);
    if (!SplitCommandLine(args, values, flags, line, error)) {
        error += HelpHint(line.command);
        return false;
    }
    if (line.command.empty() || line.command == "help") return true;
    const CommandEntry* command = FindCommand(line.command);
    if (command == nullptr) {
        error = Say("unknown command ", "неизвестная команда ") + line.command + HelpHint("");
        return false;
    }
    return line.flags.count("--help") != 0 || CheckCommand(line, *command, error);
}

}  // namespace host

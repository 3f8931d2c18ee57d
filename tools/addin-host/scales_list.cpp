#include "tools/addin-host/scales_list.h"

#include <sstream>

#include "tools/addin-host/host_os.h"
#include "tools/console/language.h"

namespace host {

namespace {
using console::Say;
constexpr char kComment = '#';

struct LabelKey {
    const char* listName;  // in a scales list line
    const char* option;    // on the command line
    std::optional<int32_t> LabelChoice::*field;
};
constexpr LabelKey kLabelKeys[] = {
    {"label", "--label", &LabelChoice::label},
    {"dept", "--dept", &LabelChoice::dept},
    {"barcode", "--barcode", &LabelChoice::barcode},
    {"unit", "--unit", &LabelChoice::unit},
};

bool ReadLabelValue(const std::string& what, const std::string& text, std::optional<int32_t>& to,
                    std::string& error) {
    int32_t value = 0;
    if (!ParseInt32(text, value)) {
        error = what +
                Say(" must be a whole number that fits in 32 bits, not \"",
                    " должен быть целым числом в 32 битах, а не \"") +
                text + "\"";
        return false;
    }
    to = value;
    return true;
}

// Words split on blanks; "a quoted name" is one word without its quotes.
std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r')) {
            if (any) words.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any) words.push_back(word);
    return words;
}

bool ApplySetting(const std::string& word, LabelChoice& labels, bool& applied, std::string& error) {
    size_t equals = word.find('=');
    applied = false;
    if (equals == std::string::npos) return true;
    std::string key = word.substr(0, equals);
    for (const LabelKey& known : kLabelKeys) {
        if (key != known.listName) continue;
        applied = true;
        return ReadLabelValue(key, word.substr(equals + 1), labels.*known.field, error);
    }
    error = Say("unknown setting ", "неизвестная настройка ") + key +
            Say(" (label, dept, barcode, unit)", " (label, dept, barcode, unit)");
    return false;
}

bool ReadScalesFile(const std::string& path, const LabelChoice& common,
                    std::vector<ScalesTarget>& scales, std::string& error) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        error = Say("cannot read the scales list ", "не удаётся прочитать список весов ") + path;
        return false;
    }
    std::istringstream lines(bytes);
    std::string text;
    for (int number = 1; std::getline(lines, text); ++number) {
        ScalesTarget target;
        bool empty = false;
        if (!ParseScalesLine(text, target, empty, error)) {
            error = path + ":" + std::to_string(number) + ": " + error;
            return false;
        }
        if (empty) continue;
        target.labels = common.With(target.labels);
        scales.push_back(target);
    }
    return true;
}
}  // namespace

LabelChoice LabelChoice::With(const LabelChoice& over) const {
    LabelChoice merged = *this;
    for (const LabelKey& key : kLabelKeys)
        if (over.*key.field) merged.*key.field = over.*key.field;
    return merged;
}

bool ReadLabelOptions(const CommandLine& line, LabelChoice& labels, std::string& error) {
    for (const LabelKey& key : kLabelKeys) {
        if (line.Has(key.option) &&
            !ReadLabelValue(key.option, line.options.at(key.option), labels.*key.field, error))
            return false;
    }
    return true;
}

bool ParseScalesLine(const std::string& text, ScalesTarget& target, bool& empty,
                     std::string& error) {
    std::vector<std::string> words = Words(text.substr(0, text.find(kComment)));
    empty = words.empty();
    if (empty) return true;
    if (!ParseAddress(words[0], target.address, error)) return false;
    std::string name;
    for (size_t i = 1; i < words.size(); ++i) {
        bool setting = false;
        if (!ApplySetting(words[i], target.labels, setting, error)) return false;
        if (!setting) name += (name.empty() ? "" : " ") + words[i];
    }
    target.name = name.empty() ? words[0] : name;
    return true;
}

bool CollectScales(const CommandLine& line, std::vector<ScalesTarget>& scales, std::string& error) {
    LabelChoice common;
    if (!ReadLabelOptions(line, common, error)) return false;
    scales.clear();
    for (const std::string& text : line.All("--address")) {
        ScalesTarget target;
        if (!ParseAddress(text, target.address, error)) return false;
        target.name = text;
        target.labels = common;
        scales.push_back(target);
    }
    if (line.Has("--scales") && !ReadScalesFile(line.options.at("--scales"), common, scales, error))
        return false;
    if (line.Has("--scales") && scales.empty()) {
        error = Say("the scales list names no scales", "в списке весов нет ни одних весов");
        return false;
    }
    if (!scales.empty()) return true;
    ScalesTarget fallback;
    fallback.name = std::string(kDefaultHost) + ":" + std::to_string(kDefaultPort);
    fallback.labels = common;
    scales.push_back(fallback);
    return true;
}

}  // namespace host

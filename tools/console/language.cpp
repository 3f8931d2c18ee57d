#include "tools/console/language.h"

#include <atomic>
#include <cstdlib>

namespace console {

namespace {
std::atomic<Language> g_language{Language::kEnglish};
constexpr Language kEnglish = Language::kEnglish;
constexpr Language kRussian = Language::kRussian;
constexpr char kLanguageOption[] = "--lang";

bool LanguageByName(const std::string& name, Language& language) {
    if (name != "ru" && name != "en") return false;
    language = name == "ru" ? kRussian : kEnglish;
    return true;
}
}  // namespace

const Language* LanguageOfLocaleVariables(const char* lcAll, const char* lcMessages,
                                          const char* lang) {
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (value == nullptr || *value == '\0') continue;
        bool russian = value[0] == 'r' && value[1] == 'u';
        return russian ? &kRussian : &kEnglish;
    }
    return nullptr;
}

Language UserLanguage() {
    const Language* chosen = LanguageOfLocaleVariables(
        std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
    if (chosen != nullptr) return *chosen;
    return SystemInterfaceIsRussian() ? kRussian : kEnglish;
}

bool ChooseLanguage(const std::vector<std::string>& args, std::string& badValue) {
    Language language = UserLanguage();
    const std::string prefix = std::string(kLanguageOption) + "=";
    for (size_t i = 0; i < args.size(); ++i) {
        std::string value;
        if (args[i] == kLanguageOption && i + 1 < args.size())
            value = args[i + 1];
        else if (args[i].compare(0, prefix.size(), prefix) == 0)
            value = args[i].substr(prefix.size());
        else
            continue;
        if (!LanguageByName(value, language)) {
            badValue = value;
            SetLanguage(UserLanguage());
            return false;
        }
    }
    SetLanguage(language);
    return true;
}

void SetLanguage(Language language) {
    g_language = language;
}

Language CurrentLanguage() {
    return g_language;
}

const char* Say(const char* english, const char* russian) {
    return g_language == kRussian ? russian : english;
}

}  // namespace console

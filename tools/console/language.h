// The language the tools speak: Russian for people who work in Russian,
// English otherwise.  Each text is written in both at the place it is used
// (Say), so a message and its translation are read together.
#pragma once

#include <string>
#include <vector>

namespace console {

enum class Language { kEnglish, kRussian };

// The first of LC_ALL, LC_MESSAGES and LANG that is set and not empty
// decides, as it does for other programs: Russian when it starts with "ru".
// Null when none of them is set.
const Language* LanguageOfLocaleVariables(const char* lcAll, const char* lcMessages,
                                          const char* lang);
// Whether the system's interface is in Russian for this user: on Windows
// the user's interface language; elsewhere the locale variables say it, so
// false (language_posix.cpp / language_win32.cpp).
bool SystemInterfaceIsRussian();
// The user's language: the locale variables when one is set, else on Windows
// the user's interface language; English otherwise.
Language UserLanguage();
// "--lang ru" / "--lang=en" among the arguments overrides the user's
// language; false (with the language unchanged) for a value other than "ru"
// or "en".  The arguments are not changed: the option is parsed again with
// the others.
bool ChooseLanguage(const std::vector<std::string>& args, std::string& badValue);

void SetLanguage(Language language);
Language CurrentLanguage();
// The English or the Russian text, by the language in use.
const char* Say(const char* english, const char* russian);

}  // namespace console

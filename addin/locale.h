// The runtime library's locale, as the host asks for it through SetLocale.
// Nothing in the add-in depends on it (numbers are parsed without it); it is
// set because the host expects its add-ins to follow its language.
#pragma once

#include <string>

namespace addin {

// Sets the C runtime's locale for all categories to the host's locale name
// (for example "ru_RU").  A name the runtime does not know changes nothing.
void ApplyHostLocale(const std::u16string& name);

}  // namespace addin

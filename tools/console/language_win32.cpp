#include <windows.h>

#include "tools/console/language.h"

namespace console {

bool SystemInterfaceIsRussian() {
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_RUSSIAN;
}

}  // namespace console

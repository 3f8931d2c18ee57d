#include "tools/console/language.h"

namespace console {

bool SystemInterfaceIsRussian() {
    return false;
}

}  // namespace console

#include <clocale>
#include <string>

#include "addin/locale.h"

namespace addin {

// wchar_t is UTF-16 on Windows: the host's name goes to the runtime as it is.
void ApplyHostLocale(const std::u16string& name) {
    const std::wstring wide(name.begin(), name.end());
    _wsetlocale(LC_ALL, wide.c_str());
}

}  // namespace addin

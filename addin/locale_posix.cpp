#include <clocale>

#include "addin/locale.h"
#include "text/codepage.h"

namespace addin {

void ApplyHostLocale(const std::u16string& name) {
    const std::string utf8 = text::Utf16ToUtf8(name);
    std::setlocale(LC_ALL, utf8.c_str());
}

}  // namespace addin

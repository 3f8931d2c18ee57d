#include "addin/host_text.h"

#include <string_view>

#include "text/codepage.h"

namespace addin {

std::u16string WideParameterText(const WCHAR_T* text, uint32_t units) {
    std::u16string out;
    if (text == nullptr) return out;
    for (uint32_t i = 0; i < units && text[i] != 0; ++i)
        out.push_back(static_cast<char16_t>(text[i]));
    return out;
}

std::u16string NarrowParameterText(const char* text, uint32_t bytes) {
    if (text == nullptr) return std::u16string();
    uint32_t length = 0;
    while (length < bytes && text[length] != '\0') ++length;
    return text::SystemToUtf16(std::string_view(text, length));
}

}  // namespace addin

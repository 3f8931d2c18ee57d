// POSIX systems keep 8-bit text in UTF-8, which codepage.cpp converts itself,
// so no other code page ever reaches this file.  Should one arrive anyway,
// only its ASCII half is trusted.
#include "text/charset.h"
#include "text/codepage_os.h"

namespace text::os {

namespace {
constexpr char16_t kReplacement = 0xFFFD;
constexpr unsigned kAsciiLimit = 0x80;
}  // namespace

int SystemCodePage() {
    return kUtf8CodePage;
}

std::string FromUtf16(int /*codePage*/, std::u16string_view in) {
    std::string out;
    for (char16_t unit : in)
        if (unit < kAsciiLimit) out.push_back(static_cast<char>(unit));
    return out;
}

std::u16string ToUtf16(int /*codePage*/, std::string_view in) {
    std::u16string out;
    for (unsigned char byte : in) out.push_back(byte < kAsciiLimit ? byte : kReplacement);
    return out;
}

}  // namespace text::os

// Named code pages ("utf-8", "windows-1251") for XString's textIn and base64
// decoding.  A code page of 0 (an unknown name) means the system code page.
#pragma once

#include <string>
#include <string_view>

namespace text {

constexpr int kUtf8CodePage = 65001;
constexpr int kWindows1251CodePage = 1251;

// Windows code-page number of a charset name (case-insensitive), 0 if unknown.
int CodePageOfCharset(const char* name);
std::string FromUtf16(int codePage, std::u16string_view in);
std::u16string ToUtf16(int codePage, std::string_view in);

}  // namespace text

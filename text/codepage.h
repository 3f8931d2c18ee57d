// Code-page conversions used across the add-in.  None of them fails: invalid
// input units become U+FFFD on the way to Unicode, and characters a single-byte
// target cannot hold are dropped.
#pragma once

#include <string>
#include <string_view>

namespace text {

std::string Utf16ToUtf8(std::u16string_view in);
std::u16string Utf8ToUtf16(std::string_view in);
std::string Utf16ToWindows1251(std::u16string_view in);
std::u16string Windows1251ToUtf16(std::string_view in);
// The process's 8-bit code page: GetACP() on Windows, UTF-8 (65001) elsewhere.
int SystemCodePage();
std::string Utf16ToSystem(std::u16string_view in);
std::u16string SystemToUtf16(std::string_view in);

}  // namespace text

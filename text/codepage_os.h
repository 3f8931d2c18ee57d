// The one piece of code-page work that needs the operating system: converting
// between UTF-16 and a code page that this library has no table for (the
// process's ANSI code page on a Windows that is set to neither windows-1251 nor
// UTF-8).  Implemented in codepage_posix.cpp / codepage_win32.cpp.
#pragma once

#include <string>
#include <string_view>

namespace text::os {

// The code page that 8-bit text without a code-page name is in.
int SystemCodePage();
// Characters the code page cannot hold are dropped.
std::string FromUtf16(int codePage, std::u16string_view in);
// Bytes the code page does not define become U+FFFD.
std::u16string ToUtf16(int codePage, std::string_view in);

}  // namespace text::os

// UTF-8 <-> UTF-16 for the host side.  The host speaks UTF-16 to the add-in
// and UTF-8 to the terminal and files.  It has its own small converter on
// purpose: a fault in the add-in's text code must not be mirrored here and so
// cancel out.  Malformed input becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace host {

std::u16string Utf8ToUtf16(std::string_view in);
std::string Utf16ToUtf8(std::u16string_view in);
// Characters (code points) in UTF-8 text, for lining up table columns.
size_t Utf8Width(std::string_view text);

}  // namespace host

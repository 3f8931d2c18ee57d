// Base64 (standard alphabet) decoding as the settings document needs it.
#pragma once

#include <string>
#include <string_view>

namespace text {

// Characters outside the alphabet (line breaks, blanks, anything else) are
// skipped; decoding stops at the first "=" or at the end.  A final group of
// one character carries no whole byte and gives nothing.
std::string DecodeBase64(std::string_view in);

}  // namespace text

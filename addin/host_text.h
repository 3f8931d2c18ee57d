// Turning the host's string parameters into UTF-16 text.  Kept apart from
// host_values.cpp because the 8-bit form needs the system code page.
#pragma once

#include <cstdint>
#include <string>

#include "sdk/addin_types.h"

namespace addin {

// At most `units` code units, stopping at a NUL; null reads as empty.
std::u16string WideParameterText(const WCHAR_T* text, uint32_t units);
// At most `bytes` bytes of system-code-page text, stopping at a NUL.
std::u16string NarrowParameterText(const char* text, uint32_t bytes);

}  // namespace addin

// The scales keep text in windows-1251, one byte a character.  The emulator
// shows it as UTF-8; it carries its own table so that it checks the driver's
// conversion instead of sharing it.
#pragma once

#include <string>
#include <string_view>

namespace emu {

// Every byte becomes one character; 0x98, which windows-1251 leaves unused,
// becomes U+FFFD.
std::string Windows1251ToUtf8(std::string_view bytes);

// Characters in a UTF-8 text (for aligning table columns).
size_t Utf8Length(std::string_view text);

}  // namespace emu

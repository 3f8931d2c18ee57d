// The scales' state as text for people and scripts: JSON and a goods table.
#pragma once

#include <string>

#include "emulator.h"

namespace emu {

// {"framesReceived":.., "framesWithWrongFixedBytes":.., "framesAtWrongLineSetting":..,
//  "clock":.., "goods":[..], "messages":[..], "hotKeys":[..]}
std::string FormatStateJson(const State& state);
// Aligned columns with a header line; "(no goods)" for an empty table.
std::string FormatGoodsTable(const State& state);
// A JSON string literal of UTF-8 text, quotes included.
std::string JsonString(const std::string& utf8);

}  // namespace emu

// ping: whether the scales answer, without changing anything in them.
#pragma once

#include "tools/addin-host/device_commands.h"

namespace host {

// Sends every scales of the command the clock frame only (the one frame
// that changes nothing in the goods table) and tells whether they answered
// within the add-in's 500 ms.  Some scales never answer the clock frame, so
// silence is reported as such, not as scales switched off.
int RunPing(const DeviceCommand& command);

}  // namespace host

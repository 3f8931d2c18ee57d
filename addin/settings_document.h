// The settings document the host reads through GetParameters, and the rule by
// which SetParameter stores one setting under the same names.
#pragma once

#include <string>

#include "addin/device_table.h"
#include "sdk/addin_types.h"

namespace addin {

// The settings document as UTF-16 text.
std::u16string SettingsDocument();

// Stores one setting by its exact, case-sensitive name ("conntype", "ehost",
// "eport", "etiknum", "etikdep", "etikbarcode", "etikodv"); an unknown name
// stores nothing.  False only when "ehost" is given something else than text:
// then the host's call fails.
bool StoreSetting(DeviceSettings& settings, const std::u16string& name, const tVariant& value);

}  // namespace addin

// Result codes of the driver and the texts the host reads for them.
#pragma once

#include <cstdint>
#include <string>

namespace scales {
constexpr int32_t kOk = 0;
constexpr int32_t kErrConnection = 1;
constexpr int32_t kErrComPort = 2;  // has a text, never raised
constexpr int32_t kErrNoReply = 3;
constexpr int32_t kErrPriceFormat = 4;   // has a text, never raised
constexpr int32_t kErrNotSupported = 5;  // has a text, never raised
constexpr int32_t kErrNegativeReply = 7;
constexpr int32_t kErrDeviceNotFound = 8;
constexpr int32_t kErrBadFolder = 130;
constexpr int32_t kErrHotKeyRange = 131;
constexpr int32_t kErrTableFull = 1099;

// The text for a code; for 130 the folder path and a closing apostrophe follow.
std::u16string ErrorText(int32_t code, const std::u16string& folderPath);
}  // namespace scales

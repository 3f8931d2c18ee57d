// Result codes of the driver and the texts the host reads for them.
#pragma once

#include <cstdint>
#include <string>

namespace scales {
constexpr int32_t kOk = 0;
constexpr int32_t kErrConnection = 1;
constexpr int32_t kErrComPort = 2;  // has a text, never raised
constexpr int32_t kErrNoReply = 3;
constexpr int32_t kErrPriceFormat = 4;   // also: a price the goods record cannot hold
constexpr int32_t kErrNotSupported = 5;  // has a text, never raised
constexpr int32_t kErrNegativeReply = 7;
constexpr int32_t kErrDeviceNotFound = 8;
constexpr int32_t kErrBadFolder = 130;
constexpr int32_t kErrHotKeyRange = 131;
constexpr int32_t kErrTableFull = 1099;

// A value that its frame field cannot hold (field_ranges.h): refused before
// anything is sent.  A price that does not fit is kErrPriceFormat.
constexpr int32_t kErrCodeRange = 132;
constexpr int32_t kErrPluRange = 133;
constexpr int32_t kErrShelfLifeRange = 134;
constexpr int32_t kErrDepartmentRange = 135;
constexpr int32_t kErrLabelNumberRange = 136;
constexpr int32_t kErrLabelExtraRange = 137;
constexpr int32_t kErrBarcodeFormatRange = 138;
constexpr int32_t kErrWeightUnitRange = 139;
constexpr int32_t kErrExtra1Range = 140;
constexpr int32_t kErrExtra2Range = 141;
constexpr int32_t kErrExtra3Range = 142;
constexpr int32_t kErrExtra4Range = 143;
constexpr int32_t kErrMessageNumberRange = 144;
constexpr int32_t kErrLineWidthRange = 145;
constexpr int32_t kErrMessageTooLong = 146;
// The host's memory manager refused memory for a result: the method did
// nothing.
constexpr int32_t kErrHostMemory = 150;
// The goods document (checked whole before anything is sent): a PLU, Code or
// ShelfLife not written as a whole number, and a text that is not a
// well-formed document.  A price not written as a price is kErrPriceFormat.
constexpr int32_t kErrNumberFormat = 151;
constexpr int32_t kErrDocumentMarkup = 152;

// The text for a code; for 130 the folder path and a closing apostrophe follow.
std::u16string ErrorText(int32_t code, const std::u16string& folderPath);
// The length, in UTF-16 units, of the longest text ErrorText can give with
// this folder path.
size_t LongestErrorText(const std::u16string& folderPath);
}  // namespace scales

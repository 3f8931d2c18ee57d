// What each field of an RLS1000 frame can hold.
//
// A value its field cannot hold is refused before anything is sent: were it
// cut to fit (1234567 in a six-digit code is 234567, -5.00 in the price is
// 949667.97), the scales would print a plainly wrong label and report
// success.  Each check gives 0 or the error code that names the field
// (error_table.h).  Wrap-arounds that are part of the protocol stay in the
// frame builders: sequence counters, and the modulo rule of packed decimals
// for values that fit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scales/goods_fields.h"

namespace scales {

// Largest values of the record's field widths.
constexpr int32_t kLargestByte = 0xFF;
constexpr int32_t kLargest16Bit = 0xFFFF;
constexpr int32_t kLargest2Digits = 99;
constexpr int32_t kLargest6Digits = 999999;
constexpr int32_t kLargest8Digits = 99999999;
// The PLU field has ten digits: every non-negative host number fits.
constexpr int32_t kLargestPlu = INT32_MAX;

// Every field of one goods record, in the host's parameter order; the first
// that cannot hold its value decides the code.  extra2 is checked only when
// extra1 leaves byte 51 to it (extra1 of 255 or less).
int32_t CheckGoodsFields(const GoodsFields& fields);
// The code field of a name continuation record (the good's code).
int32_t CheckGoodsCode(int32_t code);
// A message: its number (0..65535: the announcement carries the number itself
// in 16 bits; 0 goes out as FF FF in the other frames), its line width (0 = no
// limit, never negative) and its laid-out lines, whose CR LF-joined text must
// fit the 16-bit length of a long message.
int32_t CheckMessage(int32_t number, int32_t lineWidth, const std::vector<std::string>& lines);

}  // namespace scales

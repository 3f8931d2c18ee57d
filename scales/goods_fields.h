// The thirteen integers of one goods record, in the order the host passes them
// to SendGoodToScalesV1.
#pragma once

#include <cstdint>

namespace scales {
struct GoodsFields {
    int32_t code = 0;
    int32_t plu = 0;
    int32_t labelNumber = 0;
    int32_t labelExtra = 0;
    int32_t department = 0;
    int32_t barcodeFormat = 0;
    int32_t price = 0;  // hundredths of the currency unit
    int32_t weightMeasure = 0;
    int32_t shelfLife = 0;
    int32_t extra1 = 0;
    int32_t extra2 = 0;
    int32_t extra3 = 0;
    int32_t extra4 = 0;
};
}  // namespace scales

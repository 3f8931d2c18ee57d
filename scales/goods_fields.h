// What one goods record is made of: the thirteen integers in the order the
// host passes them to SendGoodToScalesV1, and the label settings a scales
// object fills in for a good that gives only its code, PLU, price and shelf
// life.
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

// The one place of the label defaults: those the settings document announces
// (etiknum 0, etikdep 28, etikbarcode 7, etikodv 4).  The host may change
// each with SetParameter; a scales object takes them when it is registered.
struct LabelSettings {
    int32_t labelNumber = 0;  // bit mask of label formats
    int32_t department = 28;
    int32_t barcodeFormat = 7;
    int32_t weightMeasure = 4;  // weight unit code
};

// A good as UploadGoods and DeviceTest send it: the scales' label settings,
// no label extra and no extras.
inline GoodsFields LabelledGood(const LabelSettings& labels, int32_t code, int32_t plu,
                                int32_t price, int32_t shelfLife) {
    GoodsFields fields;
    fields.code = code;
    fields.plu = plu;
    fields.labelNumber = labels.labelNumber;
    fields.department = labels.department;
    fields.barcodeFormat = labels.barcodeFormat;
    fields.price = price;
    fields.weightMeasure = labels.weightMeasure;
    fields.shelfLife = shelfLife;
    return fields;
}

}  // namespace scales

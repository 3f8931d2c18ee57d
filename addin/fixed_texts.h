// The add-in's own fixed texts, as the host shows them.  One place for all of
// them; the settings document lives in settings_document.cpp.
#pragma once

#include <cstdint>

namespace addin {

// The extension name the host registers us under, and the driver's name.
constexpr char16_t kExtensionName[] = u"TaviZavDriverRongtaRLS1000";
constexpr char16_t kVersion[] = u"v2021-05-19 009";
constexpr char16_t kDriverDescription[] =
    u"Драйвер электронных весов с печатью этикетки Rongta RLS 1000 (NativeAPI).";
// The host's equipment type for label-printing scales.
constexpr char16_t kEquipmentType[] = u"ВесыСПечатьюЭтикеток";
// Revision of the host's equipment-driver conventions that we follow; also
// what GetInfo answers.
constexpr uint32_t kInterfaceRevision = 2002;
constexpr char16_t kBuilderInfo[] =
    u"Производитель драйвера: tavizav.ru. (Driver manufacturer: tavizav.ru)";

// The good DeviceTest programs to prove the scales take goods.
constexpr char16_t kDemoGoodName[] = u"Банан";
constexpr int32_t kDemoGoodCode = 10001;
constexpr int32_t kDemoGoodPlu = 10001;
constexpr int32_t kDemoGoodPrice = 12345;  // hundredths: 123,45
constexpr int32_t kDemoGoodShelfLife = 10;
constexpr char16_t kDemoSuccessText[] =
    u"В весы запрограммирован товар 'Банан' под кодом 10001. Цена 123,45.";

}  // namespace addin

#include "scales/error_table.h"

namespace scales {

namespace {

struct ErrorEntry {
    int32_t code;
    const char16_t* text;
};

// The texts the host shows for each result code.  "СОМ" in codes 1 and 2 is
// spelt in Cyrillic letters, as the host application has always shown it.
constexpr ErrorEntry kErrorTexts[] = {
    {kOk, u"OK"},
    {kErrConnection,
     u"Ошибка_1: Не возможно установить соединение. Убедитесь в правильности имени СОМ порта, "
     u"возможно, он занят другим приложением."},
    {kErrComPort, u"Ошибка_2: Ошибка СОМ-порта."},
    {kErrNoReply, u"Ошибка_3: Нет ответа от весов."},
    {kErrPriceFormat, u"Ошибка_4: Ошибка в формате цены."},
    {kErrNotSupported, u"Ошибка_5: Текущий тип весов не поддерживает этой команды."},
    {kErrNegativeReply, u"Ошибка_7: Ответ от весов получен негативный: FAIL."},
    {kErrDeviceNotFound, u"Ошибка_8: DeviceID не найден."},
};

constexpr char16_t kBadFolderText[] = u"Ошибка_130: Путь к папке компоненты указан НЕправильный: '";
constexpr char16_t kFolderClose[] = u"'";
constexpr char16_t kUnknownText[] = u"UnknownError";

}  // namespace

std::u16string ErrorText(int32_t code, const std::u16string& folderPath) {
    if (code == kErrBadFolder) return kBadFolderText + folderPath + kFolderClose;
    for (const ErrorEntry& entry : kErrorTexts) {
        if (entry.code == code) return entry.text;
    }
    return kUnknownText;
}

}  // namespace scales

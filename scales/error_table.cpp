#include "scales/error_table.h"

#include <algorithm>

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
    // Values a frame field cannot hold.  The label fields name the settings
    // by the captions the host's settings form shows for them.
    {kErrCodeRange, u"Ошибка_132: Код товара должен быть от 0 до 999999."},
    {kErrPluRange, u"Ошибка_133: Номер PLU должен быть от 0 до 2147483647."},
    {kErrShelfLifeRange, u"Ошибка_134: Срок годности должен быть от 0 до 65535."},
    {kErrDepartmentRange, u"Ошибка_135: Номер отдела должен быть от 0 до 99."},
    {kErrLabelNumberRange, u"Ошибка_136: Номер этикетки должен быть от 0 до 255."},
    {kErrLabelExtraRange, u"Ошибка_137: Дополнительный номер этикетки должен быть от 0 до 255."},
    {kErrBarcodeFormatRange, u"Ошибка_138: Номер формата штрих кода должен быть от 0 до 255."},
    {kErrWeightUnitRange, u"Ошибка_139: Единица измерения веса должна быть от 0 до 255."},
    {kErrExtra1Range, u"Ошибка_140: Дополнительное число 1 должно быть от 0 до 65535."},
    {kErrExtra2Range, u"Ошибка_141: Дополнительное число 2 должно быть от 0 до 255."},
    {kErrExtra3Range, u"Ошибка_142: Дополнительное число 3 должно быть от 0 до 999999."},
    {kErrExtra4Range, u"Ошибка_143: Дополнительное число 4 должно быть от 0 до 999999."},
    {kErrMessageNumberRange, u"Ошибка_144: Номер сообщения должен быть от 0 до 65535."},
    {kErrLineWidthRange, u"Ошибка_145: Ширина строки сообщения не может быть отрицательной."},
    {kErrMessageTooLong, u"Ошибка_146: Текст сообщения длиннее 65535 байт."},
    {kErrHostMemory,
     u"Ошибка_150: Платформа не выделила память для результата. Ничего не сделано."},
    {kErrNumberFormat, u"Ошибка_151: Ошибка в формате целого числа."},
    {kErrDocumentMarkup, u"Ошибка_152: Документ с товарами не является правильным XML."},
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

size_t LongestErrorText(const std::u16string& folderPath) {
    size_t longest = ErrorText(kErrBadFolder, folderPath).size();
    for (const ErrorEntry& entry : kErrorTexts) {
        longest = std::max(longest, std::char_traits<char16_t>::length(entry.text));
    }
    return std::max(longest, std::char_traits<char16_t>::length(kUnknownText));
}

}  // namespace scales

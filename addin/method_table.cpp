#include "addin/method_table.h"

#include "addin/host_values.h"
#include "addin/method_handlers.h"

namespace addin {
namespace {

// Indexed by method number; the host learns names and counts from here.
const MethodEntry kMethods[kMethodCount] = {
    {0, u"GetVersion", u"ПолучитьНомерВерсии", 0, false, GetVersion},
    {1, u"GetDescription", u"ПолучитьОписание", 7, true, GetDescription},
    {2, u"GetLastError", u"ПолучитьОшибку", 1, true, GetLastErrorMethod},
    {3, u"GetParameters", u"ПолучитьПараметры", 1, true, GetParameters},
    {4, u"SetParameter", u"УстановитьПараметр", 2, true, SetParameter},
    {5, u"Open", u"Подключить", 1, true, Open},
    {6, u"Close", u"Отключить", 1, true, Close},
    {7, u"DeviceTest", u"ТестУстройства", 2, true, DeviceTest},
    {8, u"GetAdditionalActions", u"ПолучитьДополнительныеДействия", 1, false, GetAdditionalActions},
    {9, u"DoAdditionalAction", u"ВыполнитьДополнительноеДействие", 1, false, DoAdditionalAction},
    {10, u"UploadGoods", u"ВыгрузитьТовары", 3, true, UploadGoods},
    {11, u"ClearGoods", u"ОчиститьТовары", 1, true, ClearGoods},
    {12, u"ConnectByEthernet", u"ПодключитьВесыПоEthernet", 2, true, ConnectByEthernet},
    {13, u"ConnectByRS232", u"ПодключитьВесыПоRS232", 2, false, NoAction},
    {14, u"CloseConnection", u"ЗакрытьСоединение", 1, true, CloseConnection},
    {15, u"SendGoodToScalesV1", u"ПрограммироватьТоварV1", 15, true, SendGoodToScalesV1},
    {16, u"GetInterfaceRevision", u"ПолучитьРевизиюИнтерфейса", 0, false, GetInterfaceRevision},
    {17, u"GetWeight", u"ПолучитьВес", 2, false, NoAction},
    {18, u"SetPathDllFolder", u"УказатьПутьКПапкеКомпоненты", 1, true, SetPathDllFolder},
    {19, u"GetBuilderInfo", u"ИнформацияОПроизводителеДрайвера", 0, false, GetBuilderInfo},
    {20, u"SendMessageV1", u"ПрограммироватьСообщениеV1", 4, true, SendMessageV1},
    {21, u"StartSendMessages", u"НачатьПрограммироватьСообщения", 1, true, StartSendMessages},
    {22, u"SendHotKeys", u"ПрограммироватьГорячиеКлавиши", 1, true, SendHotKeys},
    {23, u"AddHotKey", u"ДобавитьГорячуюКлавишу", 3, true, AddHotKey},
    {24, u"PrepareSendHotKeys", u"ПодготовитьсяКУстановкеГорячихКлавиш", 1, true,
     PrepareSendHotKeys},
};

}  // namespace

const MethodEntry* FindMethodEntry(long number) {
    if (number < 0 || number >= kMethodCount) return nullptr;
    return &kMethods[number];
}

long FindMethodByName(const WCHAR_T* name) {
    for (const MethodEntry& entry : kMethods) {
        if (SameText(name, entry.english)) return entry.number;
    }
    for (const MethodEntry& entry : kMethods) {
        if (SameText(name, entry.russian)) return entry.number;
    }
    return -1;
}

bool CallMethod(long number, CDeviceTable& table, IMemoryManager* memory, tVariant* result,
                tVariant* params, long count) {
    const MethodEntry* entry = FindMethodEntry(number);
    // Every method with an action answers through the return value.
    if (entry == nullptr || result == nullptr) return false;
    if (entry->touchesParams && (params == nullptr || count < entry->paramCount)) return false;
    MethodCall call{table, memory, *result, params, count};
    return entry->handler(call);
}

bool StringParamsPresent(const MethodCall& call, std::initializer_list<int> numbers) {
    for (int number : numbers) {
        if (!IsStringValue(call.Param(number))) return false;
    }
    return true;
}

}  // namespace addin

// The library as the host sees it: exports, the three views, the method and
// property tables, and the dispatcher's fixed answers, all through raw slots.
#include <string>
#include <vector>

#include "tests/host_abi/host_fixture.h"

namespace rawhost {
namespace {

TEST(Exports, ClassNamesIsOneStableZeroTerminatedName) {
    Library& lib = TheLibrary();
    ASSERT_TRUE(lib.Loaded()) << dlerror();
    const char16_t* first = lib.getClassNames();
    EXPECT_EQ(first, lib.getClassNames());
    EXPECT_EQ(std::u16string(first, 13), std::u16string(u"CAddInNative\0", 13));
}

TEST(Exports, CapabilitiesAlwaysLevelOne) {
    for (int offered : {-1, 0, 1, 2, 1000}) {
        EXPECT_EQ(TheLibrary().setPlatformCapabilities(offered), 1) << offered;
    }
}

TEST(Exports, ObjectSlotRules) {
    Library& lib = TheLibrary();
    for (const char16_t* name : {u"", u"SomeOtherClass", u"CAddInNative"}) {
        void* object = nullptr;
        ASSERT_NE(lib.getClassObject(name, &object), 0);
        ASSERT_NE(object, nullptr);
        // An occupied slot is neither replaced nor freed.
        void* occupied = object;
        EXPECT_EQ(lib.getClassObject(name, &occupied), 0);
        EXPECT_EQ(occupied, object);
        EXPECT_EQ(AddIn(object).GetInfo(), 2002);
        EXPECT_EQ(lib.destroyObject(&object), 0);
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(lib.destroyObject(&object), -1);
    }
    EXPECT_EQ(lib.destroyObject(nullptr), -1);
    EXPECT_EQ(lib.getClassObject(u"CAddInNative", nullptr), 0);
}

TEST(Lifecycle, MemoryManagerBeforeInitAndNullArguments) {
    void* object = nullptr;
    ASSERT_NE(TheLibrary().getClassObject(u"CAddInNative", &object), 0);
    AddIn addin(object);
    CountingMemory memory;
    char16_t* name = nullptr;
    EXPECT_FALSE(addin.RegisterExtensionAs(&name));  // no memory manager yet
    EXPECT_EQ(addin.GetMethodName(0, 0), nullptr);
    EXPECT_EQ(addin.GetPropName(0, 0), nullptr);
    EXPECT_FALSE(addin.SetMemManager(nullptr));
    EXPECT_TRUE(addin.SetMemManager(memory.Interface()));
    EXPECT_FALSE(addin.Init(nullptr));
    int connection = 0;
    EXPECT_TRUE(addin.Init(&connection));
    ASSERT_TRUE(addin.RegisterExtensionAs(&name));
    EXPECT_EQ(Text(name), u"TaviZavDriverRongtaRLS1000");
    EXPECT_EQ(memory.lastBytes, 54u);
    memory.Free(name);
    addin.Done();
    EXPECT_EQ(TheLibrary().destroyObject(&object), 0);
    EXPECT_EQ(memory.Live(), 0u);
}

TEST(Lifecycle, RefusedAllocationStillRegisters) {
    void* object = nullptr;
    ASSERT_NE(TheLibrary().getClassObject(u"x", &object), 0);
    AddIn addin(object);
    CountingMemory memory;
    memory.Refuse(true);
    addin.SetMemManager(memory.Interface());
    char16_t* name = nullptr;
    EXPECT_TRUE(addin.RegisterExtensionAs(&name));
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(addin.GetMethodName(0, 0), nullptr);
    std::vector<Variant> none;
    Variant result;
    EXPECT_FALSE(addin.CallAsFunc(0, &result, nullptr, 0));  // the version cannot be handed over
    EXPECT_EQ(TheLibrary().destroyObject(&object), 0);
}

// Hosts that delete the object through a view's destructor slot instead of
// DestroyObject must release it the same way (an ASan build checks the rest).
TEST(Lifecycle, DeletionThroughEveryViewsDestructorSlot) {
    for (size_t view : {kInitDoneView, kLanguageView, kLocaleView}) {
        void* object = nullptr;
        ASSERT_NE(TheLibrary().getClassObject(u"CAddInNative", &object), 0);
        AddIn addin(object);
        CountingMemory memory;
        addin.SetMemManager(memory.Interface());
        std::vector<Variant> params(1);
        Variant result;
        ASSERT_TRUE(addin.CallAsFunc(5, &result, params.data(), 1));  // Open: registers scales
        TakeString(memory, params[0]);
        addin.Done();
        addin.DeleteThroughView(view);
        EXPECT_EQ(memory.Live(), 0u);
    }
}

TEST_F(HostTest, InfoAndLocale) {
    EXPECT_EQ(addin_.GetInfo(), 2002);
    addin_.SetLocale(nullptr);
    addin_.SetLocale(u"C");
    addin_.SetLocale(u"no_SUCH.locale");
    EXPECT_EQ(addin_.GetNMethods(), 25);
}

TEST_F(HostTest, TheOneProperty) {
    EXPECT_EQ(addin_.GetNProps(), 1);
    EXPECT_EQ(addin_.FindProp(u""), 0);
    EXPECT_EQ(addin_.FindProp(u"Value"), -1);
    EXPECT_EQ(addin_.FindProp(nullptr), -1);
    for (long alias : {0, 1, 2, 3}) {
        const char16_t* name = addin_.GetPropName(0, alias);
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(Text(name), u"");
        memory_.Free(name);
    }
    EXPECT_EQ(addin_.GetPropName(1, 0), nullptr);
    Variant value = I4(7);
    EXPECT_TRUE(addin_.GetPropVal(0, &value));
    EXPECT_EQ(value.tag(), kBool);
    EXPECT_FALSE(value.boolean());
    EXPECT_FALSE(addin_.GetPropVal(1, &value));
    Variant yes = Bool(true);
    EXPECT_TRUE(addin_.SetPropVal(0, &yes));
    Variant number = I4(1);
    EXPECT_FALSE(addin_.SetPropVal(0, &number));
    EXPECT_FALSE(addin_.SetPropVal(1, &yes));
    EXPECT_TRUE(addin_.GetPropVal(0, &value));
    EXPECT_FALSE(value.boolean());  // stored nothing
    EXPECT_TRUE(addin_.IsPropReadable(0));
    EXPECT_FALSE(addin_.IsPropReadable(1));
    EXPECT_FALSE(addin_.IsPropWritable(0));
}

struct MethodRow {
    const char16_t* english;
    const char16_t* russian;
    long params;
};
// The method table as the host's documentation of this driver lists it.
const MethodRow kMethodRows[25] = {
    {u"GetVersion", u"ПолучитьНомерВерсии", 0},
    {u"GetDescription", u"ПолучитьОписание", 7},
    {u"GetLastError", u"ПолучитьОшибку", 1},
    {u"GetParameters", u"ПолучитьПараметры", 1},
    {u"SetParameter", u"УстановитьПараметр", 2},
    {u"Open", u"Подключить", 1},
    {u"Close", u"Отключить", 1},
    {u"DeviceTest", u"ТестУстройства", 2},
    {u"GetAdditionalActions", u"ПолучитьДополнительныеДействия", 1},
    {u"DoAdditionalAction", u"ВыполнитьДополнительноеДействие", 1},
    {u"UploadGoods", u"ВыгрузитьТовары", 3},
    {u"ClearGoods", u"ОчиститьТовары", 1},
    {u"ConnectByEthernet", u"ПодключитьВесыПоEthernet", 2},
    {u"ConnectByRS232", u"ПодключитьВесыПоRS232", 2},
    {u"CloseConnection", u"ЗакрытьСоединение", 1},
    {u"SendGoodToScalesV1", u"ПрограммироватьТоварV1", 15},
    {u"GetInterfaceRevision", u"ПолучитьРевизиюИнтерфейса", 0},
    {u"GetWeight", u"ПолучитьВес", 2},
    {u"SetPathDllFolder", u"УказатьПутьКПапкеКомпоненты", 1},
    {u"GetBuilderInfo", u"ИнформацияОПроизводителеДрайвера", 0},
    {u"SendMessageV1", u"ПрограммироватьСообщениеV1", 4},
    {u"StartSendMessages", u"НачатьПрограммироватьСообщения", 1},
    {u"SendHotKeys", u"ПрограммироватьГорячиеКлавиши", 1},
    {u"AddHotKey", u"ДобавитьГорячуюКлавишу", 3},
    {u"PrepareSendHotKeys", u"ПодготовитьсяКУстановкеГорячихКлавиш", 1},
};

TEST_F(HostTest, MethodTableInBothLanguages) {
    for (long i = 0; i < 25; ++i) {
        const MethodRow& row = kMethodRows[i];
        EXPECT_EQ(addin_.FindMethod(row.english), i);
        EXPECT_EQ(addin_.FindMethod(row.russian), i);
        const char16_t* english = addin_.GetMethodName(i, 0);
        const char16_t* russian = addin_.GetMethodName(i, 1);
        EXPECT_EQ(Text(english), row.english);
        EXPECT_EQ(Text(russian), row.russian);
        EXPECT_EQ(memory_.lastBytes, (std::u16string(row.russian).size() + 1) * 2);
        memory_.Free(english);
        memory_.Free(russian);
        EXPECT_EQ(addin_.GetNParams(i), row.params) << i;
        EXPECT_TRUE(addin_.HasRetVal(i));
        Variant def = I4(5);
        EXPECT_FALSE(addin_.GetParamDefValue(i, 0, &def));
        EXPECT_EQ(def.tag(), kEmpty);
        std::vector<Variant> params(row.params);
        EXPECT_FALSE(addin_.CallAsProc(i, params.empty() ? nullptr : params.data(), row.params));
    }
}

TEST_F(HostTest, MethodLookupEdges) {
    EXPECT_EQ(addin_.FindMethod(u"ПолучитьВес"), 17);
    EXPECT_EQ(addin_.FindMethod(u"GetWeight"), 17);
    EXPECT_EQ(addin_.FindMethod(u"getweight"), -1);
    EXPECT_EQ(addin_.FindMethod(u"GetWeigh"), -1);
    EXPECT_EQ(addin_.FindMethod(u"GetWeightX"), -1);
    EXPECT_EQ(addin_.FindMethod(u""), -1);
    EXPECT_EQ(addin_.FindMethod(nullptr), -1);
    EXPECT_EQ(addin_.GetMethodName(3, 2), nullptr);
    EXPECT_EQ(addin_.GetMethodName(25, 0), nullptr);
    EXPECT_EQ(addin_.GetMethodName(-1, 0), nullptr);
    EXPECT_EQ(addin_.GetNParams(25), 0);
    EXPECT_EQ(addin_.GetNParams(-1), 0);
    EXPECT_FALSE(addin_.HasRetVal(25));
    EXPECT_FALSE(addin_.HasRetVal(-1));
}

TEST_F(HostTest, VersionRevisionAndBuilderWithoutParameters) {
    Variant result;
    ASSERT_TRUE(addin_.CallAsFunc(0, &result, nullptr, 0));
    EXPECT_EQ(result.length(), 15u);
    EXPECT_EQ(memory_.lastBytes, 32u);
    EXPECT_EQ(Take(result), u"v2021-05-19 009");

    ASSERT_TRUE(addin_.CallAsFunc(16, &result, nullptr, 0));
    EXPECT_EQ(result.tag(), kUi4);
    EXPECT_EQ(result.ui4(), 2002u);

    ASSERT_TRUE(addin_.CallAsFunc(19, &result, nullptr, 0));
    EXPECT_EQ(Take(result),
              u"Производитель драйвера: tavizav.ru. (Driver manufacturer: tavizav.ru)");
}

TEST_F(HostTest, DescriptionFillsSevenOutParameters) {
    std::vector<Variant> params(7);
    Variant result;
    ASSERT_TRUE(Call(1, params, result));
    EXPECT_EQ(result.tag(), kBool);
    EXPECT_TRUE(result.boolean());
    EXPECT_EQ(Take(params[0]), u"TaviZavDriverRongtaRLS1000");
    EXPECT_EQ(Take(params[1]),
              u"Драйвер электронных весов с печатью этикетки Rongta RLS 1000 (NativeAPI).");
    EXPECT_EQ(params[2].length(), 20u);
    EXPECT_EQ(Take(params[2]), u"ВесыСПечатьюЭтикеток");
    EXPECT_EQ(params[3].tag(), kUi4);
    EXPECT_EQ(params[3].ui4(), 2002u);
    EXPECT_EQ(params[4].tag(), kBool);
    EXPECT_FALSE(params[4].boolean());
    EXPECT_EQ(params[5].tag(), kBool);
    EXPECT_TRUE(params[5].boolean());
    ASSERT_EQ(params[6].tag(), kPwstr);  // an empty string, not an empty value
    EXPECT_EQ(params[6].length(), 0u);
    EXPECT_EQ(Take(params[6]), u"");
}

TEST_F(HostTest, FrameRejectsMalformedCalls) {
    Variant result;
    std::vector<Variant> seven(7);
    EXPECT_FALSE(addin_.CallAsFunc(25, &result, seven.data(), 7));
    EXPECT_FALSE(addin_.CallAsFunc(-1, &result, seven.data(), 7));
    EXPECT_FALSE(addin_.CallAsFunc(0, nullptr, nullptr, 0));  // nowhere to put the answer
    // Methods that read parameters need an array with all of them.
    EXPECT_FALSE(addin_.CallAsFunc(1, &result, nullptr, 0));
    EXPECT_FALSE(addin_.CallAsFunc(1, &result, seven.data(), 0));
    EXPECT_FALSE(addin_.CallAsFunc(1, &result, seven.data(), 6));
    EXPECT_FALSE(addin_.CallAsFunc(14, &result, nullptr, 0));
    EXPECT_EQ(memory_.allocations, 0);
}

TEST_F(HostTest, MethodsWithoutActionFailAndWriteNothing) {
    std::u16string id = u"ABC";
    for (long method : {13L, 17L}) {
        std::vector<Variant> params = {Wide(id), I4(1)};
        Variant result = I4(77);
        EXPECT_FALSE(Call(method, params, result));
        EXPECT_EQ(result.tag(), kI4);
        EXPECT_EQ(result.i4(), 77);
        EXPECT_FALSE(addin_.CallAsFunc(method, &result, nullptr, 0));
    }
}

TEST_F(HostTest, AdditionalActionsAndCloseConnection) {
    std::vector<Variant> out = {I4(5)};
    Variant result;
    ASSERT_TRUE(Call(8, out, result));
    EXPECT_TRUE(result.boolean());
    EXPECT_EQ(out[0].tag(), kI4);  // left as the host passed it
    ASSERT_TRUE(addin_.CallAsFunc(9, &result, nullptr, 0));
    EXPECT_TRUE(result.boolean());

    std::vector<Variant> number = {I4(12)};
    EXPECT_FALSE(Call(14, number, result));
    std::u16string id = u"any text";
    std::vector<Variant> wide = {Wide(id)};
    ASSERT_TRUE(Call(14, wide, result));
    EXPECT_EQ(result.tag(), kBool);
    EXPECT_TRUE(result.boolean());
    std::string narrow = "any";
    std::vector<Variant> pstr = {Narrow(narrow)};
    EXPECT_TRUE(Call(14, pstr, result));
}

}  // namespace
}  // namespace rawhost

#include "tools/addin-host/addin_session.h"

#include <cstring>

#include "tools/addin-host/host_text.h"
#include "tools/console/language.h"

namespace host {

namespace {
using console::Say;

const WCHAR_T* Wide(const std::u16string& text) {
    return reinterpret_cast<const WCHAR_T*>(text.c_str());
}

std::u16string FromWide(const WCHAR_T* text) {
    if (text == nullptr) return std::u16string();
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}

// The locale a Russian-language platform announces.
constexpr char16_t kHostLocale[] = u"ru_RU";
// Names in the class-name list are separated by this character.
constexpr char16_t kClassNameSeparator = u'|';

using GetClassNamesFn = const WCHAR_T* (*)();
using GetClassObjectFn = long (*)(const WCHAR_T*, IComponentBase**);
using DestroyObjectFn = long (*)(IComponentBase**);
using SetPlatformCapabilitiesFn = AppCapabilities (*)(const AppCapabilities);
}  // namespace

std::string HostValue::Utf8() const {
    return Utf16ToUtf8(text);
}

CallArgs& CallArgs::Text(const std::u16string& text) {
    texts_.push_back(std::make_unique<std::u16string>(text));
    tVariant variant{};
    variant.vt = VTYPE_PWSTR;
    variant.pwstrVal = reinterpret_cast<WCHAR_T*>(&(*texts_.back())[0]);
    variant.wstrLen = static_cast<uint32_t>(text.size());
    variants_.push_back(variant);
    hostStrings_.push_back(variant.pwstrVal);
    return *this;
}

CallArgs& CallArgs::TextUtf8(const std::string& text) {
    return Text(Utf8ToUtf16(text));
}

CallArgs& CallArgs::Int(int32_t value) {
    tVariant variant{};
    variant.vt = VTYPE_I4;
    variant.lVal = value;
    variants_.push_back(variant);
    hostStrings_.push_back(nullptr);
    return *this;
}

CallArgs& CallArgs::Out() {
    tVariant variant{};
    variant.vt = VTYPE_EMPTY;
    variants_.push_back(variant);
    hostStrings_.push_back(nullptr);
    return *this;
}

bool AddInSession::Start(const std::string& libraryPath, std::string& error) {
    if (!library_.Load(libraryPath, error)) return false;
    auto getClassNames = reinterpret_cast<GetClassNamesFn>(library_.Symbol("GetClassNames"));
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(library_.Symbol("GetClassObject"));
    destroyObject_ = reinterpret_cast<DestroyObjectFn>(library_.Symbol("DestroyObject"));
    auto setCapabilities =
        reinterpret_cast<SetPlatformCapabilitiesFn>(library_.Symbol("SetPlatformCapabilities"));
    if (!getClassNames || !getClassObject || !destroyObject_ || !setCapabilities) {
        error = libraryPath + Say(" is not an add-in: it lacks one of the four entry points",
                                  " не компонента: в ней нет одной из четырёх точек входа");
        return false;
    }
    classNames_ = FromWide(getClassNames());
    std::u16string firstClass = classNames_.substr(0, classNames_.find(kClassNameSeparator));
    if (getClassObject(Wide(firstClass), &object_) == 0 || object_ == nullptr) {
        error = Say("GetClassObject created no object", "GetClassObject не создал объект");
        return false;
    }
    setCapabilities(eAppCapabilities1);
    IInitDoneBase* init = object_;
    if (!init->Init(&connection_) || !init->setMemManager(&memory_)) {
        error = Say("the add-in object refused Init or setMemManager",
                    "объект компоненты отказал в Init или setMemManager");
        return false;
    }
    ILanguageExtenderBase* language = object_;
    WCHAR_T* name = nullptr;
    if (!language->RegisterExtensionAs(&name)) {
        error = Say("RegisterExtensionAs failed", "RegisterExtensionAs не выполнен");
        return false;
    }
    extensionName_ = TakeString(name);
    LocaleBase* locale = object_;
    locale->SetLocale(Wide(kHostLocale));
    return true;
}

bool AddInSession::Finish() {
    bool destroyed = true;
    if (object_ != nullptr) destroyed = destroyObject_(&object_) == 0 && object_ == nullptr;
    object_ = nullptr;
    library_.Unload();
    return destroyed;
}

long AddInSession::InterfaceInfo() {
    return static_cast<IInitDoneBase*>(object_)->GetInfo();
}

long AddInSession::MethodCount() {
    return static_cast<ILanguageExtenderBase*>(object_)->GetNMethods();
}

std::u16string AddInSession::MethodName(long method, long alias) {
    return TakeString(static_cast<ILanguageExtenderBase*>(object_)->GetMethodName(method, alias));
}

long AddInSession::ParamCount(long method) {
    return static_cast<ILanguageExtenderBase*>(object_)->GetNParams(method);
}

long AddInSession::FindMethod(const std::u16string& name) {
    return static_cast<ILanguageExtenderBase*>(object_)->FindMethod(Wide(name));
}

bool AddInSession::Call(const char16_t* name, CallArgs& args, HostValue& result,
                        std::string& error) {
    std::string method = Utf16ToUtf8(name);
    long number = FindMethod(name);
    if (number < 0) {
        error = Say("the add-in has no method ", "в компоненте нет метода ") + method;
        return false;
    }
    long expected = ParamCount(number);
    if (expected != static_cast<long>(args.Count())) {
        error = method + Say(" takes ", ": параметров ") + std::to_string(expected) +
                Say(" parameters, not ", ", а не ") + std::to_string(args.Count());
        return false;
    }
    tVariant returned{};
    returned.vt = VTYPE_EMPTY;
    tVariant* params = args.variants_.empty() ? nullptr : args.variants_.data();
    bool called = static_cast<ILanguageExtenderBase*>(object_)->CallAsFunc(
        number, &returned, params, static_cast<long>(args.Count()));
    // Whatever the outcome, the platform takes over (and frees) every string
    // the add-in wrote.
    result = TakeValue(returned, nullptr);
    args.values_.clear();
    for (size_t i = 0; i < args.variants_.size(); ++i)
        args.values_.push_back(TakeValue(args.variants_[i], args.hostStrings_[i]));
    if (!called) error = Say("CallAsFunc refused ", "CallAsFunc отказал в ") + method;
    return called;
}

HostValue AddInSession::TakeValue(tVariant& variant, const void* hostString) {
    HostValue value;
    value.vt = variant.vt;
    switch (variant.vt) {
        case VTYPE_PWSTR:
            if (variant.pwstrVal != nullptr)
                value.text.assign(reinterpret_cast<const char16_t*>(variant.pwstrVal),
                                  variant.wstrLen);
            break;
        case VTYPE_PSTR:
            if (variant.pstrVal != nullptr)
                value.text = Utf8ToUtf16(std::string(variant.pstrVal, variant.strLen));
            break;
        case VTYPE_BOOL:
            value.flag = variant.bVal;
            break;
        case VTYPE_UI4:
            value.number = variant.ulVal;
            break;
        case VTYPE_I8:
        case VTYPE_UI8:
            value.number = variant.llVal;
            break;
        default:
            value.number = variant.lVal;
            break;
    }
    bool isString = variant.vt == VTYPE_PWSTR || variant.vt == VTYPE_PSTR;
    void* pointer = variant.pwstrVal;
    if (isString && pointer != nullptr && pointer != hostString) {
        memory_.FreeMemory(&pointer);
        variant.pwstrVal = nullptr;
    }
    return value;
}

std::u16string AddInSession::TakeString(const WCHAR_T* text) {
    std::u16string copy = FromWide(text);
    void* pointer = const_cast<WCHAR_T*>(text);
    memory_.FreeMemory(&pointer);
    return copy;
}

}  // namespace host

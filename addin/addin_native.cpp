#include "addin/addin_native.h"

#include <new>

#include "addin/fixed_texts.h"
#include "addin/host_values.h"
#include "addin/method_table.h"

namespace {

// The one property has no name in either language; it reads as false.
constexpr char16_t kPropertyName[] = u"";
constexpr long kPropertyCount = 1;
constexpr long kPropertyIndex = 0;
// Host language selectors: GetPropName takes 1 or 2 for Russian,
// GetMethodName takes 0 for English and 1 for Russian.
constexpr long kMethodAliasEnglish = 0;
constexpr long kMethodAliasRussian = 1;
// What GetInfo tells the host about the version of its interface we follow.
constexpr long kComponentInfo = 2002;
// Bit 0 of an MSVC deleting destructor's flags: free the memory too.
constexpr unsigned int kDeleteFlagFree = 1;

}  // namespace

CAddInNative::CAddInNative() = default;
CAddInNative::~CAddInNative() = default;

void* CAddInNative::MsvcDeletingDestructor(unsigned int flags) {
    this->~CAddInNative();
    if ((flags & kDeleteFlagFree) != 0) ::operator delete(static_cast<void*>(this));
    return this;
}

bool CAddInNative::Init(void* connection) {
    connection_ = connection;
    return connection != nullptr;
}

bool CAddInNative::setMemManager(void* memory) {
    memory_ = static_cast<IMemoryManager*>(memory);
    return memory_ != nullptr;
}

long CAddInNative::GetInfo() {
    return kComponentInfo;
}

// Scales stay registered until the object is destroyed.
void CAddInNative::Done() {}

bool CAddInNative::RegisterExtensionAs(WCHAR_T** extensionName) {
    try {
        if (memory_ == nullptr || extensionName == nullptr) return false;
        // A refused allocation still registers: the host then has no name.
        WCHAR_T* copy = addin::CopyToHost(addin::kExtensionName, memory_);
        if (copy != nullptr) *extensionName = copy;
        return true;
    } catch (...) {
        return false;
    }
}

long CAddInNative::GetNProps() {
    return kPropertyCount;
}

long CAddInNative::FindProp(const WCHAR_T* propName) {
    try {
        return addin::SameText(propName, kPropertyName) ? kPropertyIndex : -1;
    } catch (...) {
        return -1;
    }
}

const WCHAR_T* CAddInNative::GetPropName(long propNum, long) {
    try {
        if (propNum != kPropertyIndex) return nullptr;
        // Both languages give the same empty name.
        return addin::CopyToHost(kPropertyName, memory_);
    } catch (...) {
        return nullptr;
    }
}

bool CAddInNative::GetPropVal(const long propNum, tVariant* propVal) {
    try {
        if (propNum != kPropertyIndex || propVal == nullptr) return false;
        addin::WriteBool(*propVal, false);
        return true;
    } catch (...) {
        return false;
    }
}

// Accepted and forgotten: the property always reads false.
bool CAddInNative::SetPropVal(const long propNum, tVariant* propVal) {
    return propNum == kPropertyIndex && propVal != nullptr && propVal->vt == VTYPE_BOOL;
}

bool CAddInNative::IsPropReadable(const long propNum) {
    return propNum == kPropertyIndex;
}

bool CAddInNative::IsPropWritable(const long) {
    return false;
}

long CAddInNative::GetNMethods() {
    return addin::kMethodCount;
}

long CAddInNative::FindMethod(const WCHAR_T* methodName) {
    try {
        return addin::FindMethodByName(methodName);
    } catch (...) {
        return -1;
    }
}

const WCHAR_T* CAddInNative::GetMethodName(const long methodNum, const long methodAlias) {
    try {
        const addin::MethodEntry* entry = addin::FindMethodEntry(methodNum);
        if (entry == nullptr) return nullptr;
        if (methodAlias == kMethodAliasEnglish) return addin::CopyToHost(entry->english, memory_);
        if (methodAlias == kMethodAliasRussian) return addin::CopyToHost(entry->russian, memory_);
        return nullptr;
    } catch (...) {
        return nullptr;
    }
}

long CAddInNative::GetNParams(const long methodNum) {
    const addin::MethodEntry* entry = addin::FindMethodEntry(methodNum);
    return entry == nullptr ? 0 : entry->paramCount;
}

// No parameter has a default: the host must pass every one.
bool CAddInNative::GetParamDefValue(const long, const long, tVariant* paramDefValue) {
    if (paramDefValue != nullptr) paramDefValue->vt = VTYPE_EMPTY;
    return false;
}

bool CAddInNative::HasRetVal(const long methodNum) {
    return addin::FindMethodEntry(methodNum) != nullptr;
}

// Every method answers through its return value: none runs as a procedure.
bool CAddInNative::CallAsProc(const long, tVariant*, const long) {
    return false;
}

bool CAddInNative::CallAsFunc(const long methodNum, tVariant* retValue, tVariant* params,
                              const long count) {
    try {
        return addin::CallMethod(methodNum, devices_, memory_, retValue, params, count);
    } catch (...) {
        return false;
    }
}

// The host tells us its language here, and we deliberately keep nothing of
// it.  The C runtime's locale belongs to the whole host process: setting it
// would change how every other thread of the host reads and prints numbers
// ("2.5" read as 2, 1.5 printed as "1,50"), and setlocale is not thread-safe.
// Nothing of ours needs a locale: prices and ports are read by ParseDecimal,
// text is converted by our own code-page tables, and our messages are fixed
// Russian texts.
void CAddInNative::SetLocale(const WCHAR_T*) {}

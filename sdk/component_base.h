// Interfaces of the host's Native API as the host sees them in memory.
//
// The host holds the IInitDoneBase view of our object and casts to the other
// two views; each interface is one vtable pointer, so the views sit at +0,
// +ptr, +2*ptr.  Slot order within each vtable is fixed by the host.
//
// Destructor slots differ per compiler ABI:
//  * Linux (Itanium ABI, which the Linux host uses too): a virtual destructor
//    takes two slots, so Init is slot 2, CallAsFunc slot 17.
//  * Windows: the host is built with MSVC, whose vtables have ONE destructor
//    slot (a deleting destructor taking a flags word) and __stdcall methods.
//    mingw-w64 g++ would lay out a virtual destructor the Itanium way, so under
//    __MINGW32__ each interface declares one placeholder virtual function in
//    the destructor's place instead.  It is implemented as MSVC's deleting
//    destructor: destroy, free when flag bit 0 is set, return this.  It keeps
//    the default member calling convention (__thiscall on x86), as MSVC does.
//
// No interface may overload a virtual function or return a struct by value:
// MSVC lays out and calls those differently.
#pragma once

#include "sdk/addin_types.h"

#if defined(_WIN32)
#define ADDIN_API __stdcall
#else
#define ADDIN_API
#endif

#if defined(__MINGW32__)
#define RLS_MSVC_VTABLES 1
#define ADDIN_INTERFACE_DESTRUCTOR(Name)                                \
public:                                                                 \
    virtual void* MsvcDeletingDestructor(unsigned int flags) = 0;      \
                                                                        \
protected:                                                              \
    ~Name() = default;                                                  \
                                                                        \
public:
#else
#define RLS_MSVC_VTABLES 0
#define ADDIN_INTERFACE_DESTRUCTOR(Name) \
public:                                  \
    virtual ~Name() {}
#endif

// Capability levels the host announces through SetPlatformCapabilities.
enum AppCapabilities {
    eAppCapabilitiesInvalid = -1,
    eAppCapabilities1 = 1,
    eAppCapabilitiesLast = eAppCapabilities1,
};
static_assert(sizeof(AppCapabilities) == 4, "the capability level is a 4-byte enum");

// The host's allocator: every string we hand to the host comes from here and
// is freed by the host.
class IMemoryManager {
    ADDIN_INTERFACE_DESTRUCTOR(IMemoryManager)
    virtual bool ADDIN_API AllocMemory(void** pMemory, unsigned long ulCountByte) = 0;
    virtual void ADDIN_API FreeMemory(void** pMemory) = 0;
};

// The host's connection object.  The add-in only stores the pointer.
class IAddInDefBase;

class IInitDoneBase {
    ADDIN_INTERFACE_DESTRUCTOR(IInitDoneBase)
    virtual bool ADDIN_API Init(void* disp) = 0;
    virtual bool ADDIN_API setMemManager(void* mem) = 0;
    virtual long ADDIN_API GetInfo() = 0;
    virtual void ADDIN_API Done() = 0;
};

class ILanguageExtenderBase {
    ADDIN_INTERFACE_DESTRUCTOR(ILanguageExtenderBase)
    virtual bool ADDIN_API RegisterExtensionAs(WCHAR_T** wsExtensionName) = 0;
    virtual long ADDIN_API GetNProps() = 0;
    virtual long ADDIN_API FindProp(const WCHAR_T* wsPropName) = 0;
    virtual const WCHAR_T* ADDIN_API GetPropName(long lPropNum, long lPropAlias) = 0;
    virtual bool ADDIN_API GetPropVal(const long lPropNum, tVariant* pvarPropVal) = 0;
    virtual bool ADDIN_API SetPropVal(const long lPropNum, tVariant* varPropVal) = 0;
    virtual bool ADDIN_API IsPropReadable(const long lPropNum) = 0;
    virtual bool ADDIN_API IsPropWritable(const long lPropNum) = 0;
    virtual long ADDIN_API GetNMethods() = 0;
    virtual long ADDIN_API FindMethod(const WCHAR_T* wsMethodName) = 0;
    virtual const WCHAR_T* ADDIN_API GetMethodName(const long lMethodNum,
                                                   const long lMethodAlias) = 0;
    virtual long ADDIN_API GetNParams(const long lMethodNum) = 0;
    virtual bool ADDIN_API GetParamDefValue(const long lMethodNum, const long lParamNum,
                                            tVariant* pvarParamDefValue) = 0;
    virtual bool ADDIN_API HasRetVal(const long lMethodNum) = 0;
    virtual bool ADDIN_API CallAsProc(const long lMethodNum, tVariant* paParams,
                                      const long lSizeArray) = 0;
    virtual bool ADDIN_API CallAsFunc(const long lMethodNum, tVariant* pvarRetValue,
                                      tVariant* paParams, const long lSizeArray) = 0;
};

class LocaleBase {
    ADDIN_INTERFACE_DESTRUCTOR(LocaleBase)
    virtual void ADDIN_API SetLocale(const WCHAR_T* loc) = 0;
};

class IComponentBase : public IInitDoneBase, public ILanguageExtenderBase, public LocaleBase {
#if RLS_MSVC_VTABLES
protected:
    ~IComponentBase() = default;
#else
public:
    virtual ~IComponentBase() {}
#endif
};

// Vtable slot numbers as the host calls them (see the comment at the top).
namespace addin_abi {
#if RLS_MSVC_VTABLES || defined(_MSC_VER)
constexpr int kDestructorSlots = 1;
#else
constexpr int kDestructorSlots = 2;
#endif
constexpr int kSlotInit = kDestructorSlots + 0;
constexpr int kSlotSetMemManager = kDestructorSlots + 1;
constexpr int kSlotGetInfo = kDestructorSlots + 2;
constexpr int kSlotDone = kDestructorSlots + 3;
constexpr int kSlotRegisterExtensionAs = kDestructorSlots + 0;
constexpr int kSlotGetNProps = kDestructorSlots + 1;
constexpr int kSlotFindProp = kDestructorSlots + 2;
constexpr int kSlotGetPropName = kDestructorSlots + 3;
constexpr int kSlotGetPropVal = kDestructorSlots + 4;
constexpr int kSlotSetPropVal = kDestructorSlots + 5;
constexpr int kSlotIsPropReadable = kDestructorSlots + 6;
constexpr int kSlotIsPropWritable = kDestructorSlots + 7;
constexpr int kSlotGetNMethods = kDestructorSlots + 8;
constexpr int kSlotFindMethod = kDestructorSlots + 9;
constexpr int kSlotGetMethodName = kDestructorSlots + 10;
constexpr int kSlotGetNParams = kDestructorSlots + 11;
constexpr int kSlotGetParamDefValue = kDestructorSlots + 12;
constexpr int kSlotHasRetVal = kDestructorSlots + 13;
constexpr int kSlotCallAsProc = kDestructorSlots + 14;
constexpr int kSlotCallAsFunc = kDestructorSlots + 15;
constexpr int kSlotSetLocale = kDestructorSlots + 0;
constexpr int kSlotAllocMemory = kDestructorSlots + 0;
constexpr int kSlotFreeMemory = kDestructorSlots + 1;
}  // namespace addin_abi

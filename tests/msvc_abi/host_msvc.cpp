// A 1C-style host compiled in the MSVC ABI (clang --target=*-windows-msvc).
//
// The platform's host is an MSVC program.  This file declares the add-in
// interfaces the way the platform's SDK does -- virtual destructors, __stdcall
// methods -- and includes no header of ours or of any runtime, so every vtable
// slot, calling convention and record offset below is MSVC's own.  The mingw
// part (host_main.cpp) only loads the DLL, looks up its four exports and
// supplies printf, memory and the few runtime symbols MSVC code refers to.
//
// Keep this file free of 64-bit division (x86 MSVC code would call __aulldiv,
// which the mingw runtime lacks) and of anything that needs the C++ runtime.

extern "C" int printf(const char* format, ...);
extern "C" void* host_alloc(unsigned long bytes);
extern "C" void host_free(void* p);

typedef wchar_t WCHAR_T;

// The host's value record: a union as large as the runtime's struct tm (nine
// ints), then the element count and the type tag.
struct tVariant {
    union {
        int lVal;
        unsigned int ulVal;
        long long llVal;
        double dblVal;
        bool bVal;
        int tmVal[9];
        struct {
            WCHAR_T* pwstrVal;
            unsigned int wstrLen;
        };
    };
    unsigned int cbElements;
    unsigned short vt;
};
static_assert(sizeof(tVariant) == 48, "the host's tVariant is 48 bytes on Windows");
static_assert(sizeof(long) == 4, "long is 4 bytes in the MSVC ABI");

enum VarType : unsigned short {
    VTYPE_EMPTY = 0,
    VTYPE_I4 = 3,
    VTYPE_BOOL = 11,
    VTYPE_UI4 = 16,
    VTYPE_PWSTR = 22,
};

class IMemoryManager {
  public:
    virtual ~IMemoryManager() {}
    virtual bool __stdcall AllocMemory(void** pMemory, unsigned long ulCountByte) = 0;
    virtual void __stdcall FreeMemory(void** pMemory) = 0;
};

class IInitDoneBase {
  public:
    virtual ~IInitDoneBase() {}
    virtual bool __stdcall Init(void* disp) = 0;
    virtual bool __stdcall setMemManager(void* mem) = 0;
    virtual long __stdcall GetInfo() = 0;
    virtual void __stdcall Done() = 0;
};

class ILanguageExtenderBase {
  public:
    virtual ~ILanguageExtenderBase() {}
    virtual bool __stdcall RegisterExtensionAs(WCHAR_T** wsExtensionName) = 0;
    virtual long __stdcall GetNProps() = 0;
    virtual long __stdcall FindProp(const WCHAR_T* wsPropName) = 0;
    virtual const WCHAR_T* __stdcall GetPropName(long lPropNum, long lPropAlias) = 0;
    virtual bool __stdcall GetPropVal(const long lPropNum, tVariant* pvarPropVal) = 0;
    virtual bool __stdcall SetPropVal(const long lPropNum, tVariant* varPropVal) = 0;
    virtual bool __stdcall IsPropReadable(const long lPropNum) = 0;
    virtual bool __stdcall IsPropWritable(const long lPropNum) = 0;
    virtual long __stdcall GetNMethods() = 0;
    virtual long __stdcall FindMethod(const WCHAR_T* wsMethodName) = 0;
    virtual const WCHAR_T* __stdcall GetMethodName(const long lMethodNum,
                                                   const long lMethodAlias) = 0;
    virtual long __stdcall GetNParams(const long lMethodNum) = 0;
    virtual bool __stdcall GetParamDefValue(const long lMethodNum, const long lParamNum,
                                            tVariant* pvarParamDefValue) = 0;
    virtual bool __stdcall HasRetVal(const long lMethodNum) = 0;
    virtual bool __stdcall CallAsProc(const long lMethodNum, tVariant* paParams,
                                      const long lSizeArray) = 0;
    virtual bool __stdcall CallAsFunc(const long lMethodNum, tVariant* pvarRetValue,
                                      tVariant* paParams, const long lSizeArray) = 0;
};

class LocaleBase {
  public:
    virtual ~LocaleBase() {}
    virtual void __stdcall SetLocale(const WCHAR_T* loc) = 0;
};

class IComponentBase : public IInitDoneBase, public ILanguageExtenderBase, public LocaleBase {
  public:
    virtual ~IComponentBase() {}
};

enum AppCapabilities { eAppCapabilitiesInvalid = -1, eAppCapabilities1 = 1 };

// The four exports, as the mingw part found them.  Plain functions use the
// default (cdecl) convention in both ABIs.
struct AddInExports {
    const WCHAR_T* (*GetClassNames)();
    long (*GetClassObject)(const WCHAR_T* name, IComponentBase** slot);
    long (*DestroyObject)(IComponentBase** slot);
    AppCapabilities (*SetPlatformCapabilities)(const AppCapabilities);
};

namespace {

// Memory manager that counts what it hands out and takes back: every string
// the add-in returns must come from here, and the host frees all of it.
class CountingMemory : public IMemoryManager {
  public:
    int allocations = 0;
    int frees = 0;
    bool __stdcall AllocMemory(void** pMemory, unsigned long ulCountByte) override {
        *pMemory = host_alloc(ulCountByte);
        if (*pMemory) ++allocations;
        return *pMemory != nullptr;
    }
    void __stdcall FreeMemory(void** pMemory) override {
        if (!*pMemory) return;
        host_free(*pMemory);
        *pMemory = nullptr;
        ++frees;
    }
};

int g_failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        ++g_failures;
        printf("  FAILED: %s\n", what);
    }
}

// UTF-16 to printable text: ASCII as is, anything else as \uXXXX.
void PrintWide(const WCHAR_T* text, unsigned int length) {
    for (unsigned int i = 0; i < length; ++i) {
        unsigned int unit = text[i];
        if (unit >= 0x20 && unit < 0x7F) {
            printf("%c", (char)unit);
        } else {
            printf("\\u%04X", unit);
        }
    }
}

unsigned int WideLength(const WCHAR_T* text) {
    unsigned int n = 0;
    while (text && text[n]) ++n;
    return n;
}

bool WideEquals(const WCHAR_T* a, unsigned int aLength, const WCHAR_T* b) {
    unsigned int bLength = WideLength(b);
    if (!a || aLength != bLength) return false;
    for (unsigned int i = 0; i < aLength; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

void SetString(tVariant& v, const WCHAR_T* text) {
    v = tVariant();
    v.vt = VTYPE_PWSTR;
    v.pwstrVal = const_cast<WCHAR_T*>(text);
    v.wstrLen = WideLength(text);
}

void SetInt(tVariant& v, int value) {
    v = tVariant();
    v.vt = VTYPE_I4;
    v.lVal = value;
}

// A PWSTR result belongs to the host after the call: print it, free it.
void PrintAndFreeString(tVariant& v, CountingMemory& memory) {
    if (v.vt != VTYPE_PWSTR) {
        printf("(type %u)", (unsigned)v.vt);
        return;
    }
    printf("\"");
    PrintWide(v.pwstrVal, v.wstrLen);
    printf("\"");
    void* p = v.pwstrVal;
    memory.FreeMemory(&p);
    v.vt = VTYPE_EMPTY;
}

const char* BoolText(bool value) {
    return value ? "true" : "false";
}

class HostSession {
  public:
    explicit HostSession(IComponentBase* object)
        : object_(object), language_(object), locale_(object) {}

    CountingMemory memory;

    long Find(const WCHAR_T* name, const char* shown) {
        long number = language_->FindMethod(name);
        printf("FindMethod(%s) -> %ld, GetNParams -> %ld\n", shown, number,
               language_->GetNParams(number));
        return number;
    }

    // CallAsFunc as the platform calls it: always GetNParams(method) values.
    bool Call(long method, tVariant* params, long count, tVariant& result) {
        result = tVariant();
        return language_->CallAsFunc(method, &result, params, count);
    }

    unsigned int LastError() {
        tVariant params[1];
        tVariant result;
        params[0] = tVariant();
        Call(Find(L"GetLastError", "GetLastError"), params, 1, result);
        printf("  GetLastError -> %u, text ", result.ulVal);
        PrintAndFreeString(params[0], memory);
        printf("\n");
        return result.ulVal;
    }

    void Start() {
        static int connection;  // the platform's connection object is only stored
        bool ok = object_->Init(&connection);
        printf("Init -> %s\n", BoolText(ok));
        Check(ok, "Init");
        ok = object_->setMemManager(&memory);
        printf("setMemManager -> %s\n", BoolText(ok));
        Check(ok, "setMemManager");
        long info = object_->GetInfo();
        printf("GetInfo -> %ld\n", info);
        Check(info == 2002, "GetInfo is 2002");
        WCHAR_T* name = nullptr;
        ok = language_->RegisterExtensionAs(&name);
        printf("RegisterExtensionAs -> %s, \"", BoolText(ok));
        PrintWide(name, WideLength(name));
        printf("\"\n");
        Check(ok && WideEquals(name, WideLength(name), L"TaviZavDriverRongtaRLS1000"),
              "extension name");
        void* p = name;
        memory.FreeMemory(&p);
        locale_->SetLocale(L"ru-RU");
        printf("SetLocale(ru-RU) returned\n");
        printf("GetNMethods -> %ld\n", language_->GetNMethods());
    }

    void Version() {
        long method = Find(L"GetVersion", "GetVersion");
        Check(method == 0, "GetVersion is method 0");
        tVariant result;
        bool ok = Call(method, nullptr, 0, result);
        printf("CallAsFunc(GetVersion) -> %s, ", BoolText(ok));
        Check(ok && WideEquals(result.pwstrVal, result.wstrLen, L"v2021-05-19 009"), "version");
        PrintAndFreeString(result, memory);
        printf("\n");
    }

    void SetParameter(const WCHAR_T* name, tVariant value, const char* shown) {
        tVariant params[2];
        SetString(params[0], name);
        params[1] = value;
        tVariant result;
        bool ok = Call(Find(L"SetParameter", "SetParameter"), params, 2, result);
        printf("CallAsFunc(SetParameter %s) -> %s, result %s\n", shown, BoolText(ok),
               BoolText(result.vt == VTYPE_BOOL && result.bVal));
        Check(ok && result.vt == VTYPE_BOOL && result.bVal, "SetParameter");
    }

    // Open registers the scales and tests the link; the DeviceID comes back
    // in the out-parameter and stays the host's to free.
    bool Open(WCHAR_T* deviceId, unsigned int room) {
        tVariant params[1];
        params[0] = tVariant();
        tVariant result;
        bool ok = Call(Find(L"Подключить", "Open by its Russian name"), params, 1, result);
        printf("CallAsFunc(Open) -> %s, result %s, DeviceID ", BoolText(ok),
               BoolText(result.vt == VTYPE_BOOL && result.bVal));
        bool haveId = params[0].vt == VTYPE_PWSTR && params[0].wstrLen < room;
        if (haveId) {
            for (unsigned int i = 0; i < params[0].wstrLen; ++i)
                deviceId[i] = params[0].pwstrVal[i];
            deviceId[params[0].wstrLen] = 0;
        }
        PrintAndFreeString(params[0], memory);
        printf("\n");
        Check(ok && haveId && WideLength(deviceId) == 20, "Open gives a 20-digit DeviceID");
        return LastError() == 0;
    }

    void Upload(const WCHAR_T* deviceId, const WCHAR_T* goods) {
        tVariant params[3];
        SetString(params[0], deviceId);
        SetString(params[1], goods);
        SetString(params[2], L"");
        tVariant result;
        bool ok = Call(Find(L"UploadGoods", "UploadGoods"), params, 3, result);
        printf("CallAsFunc(UploadGoods) -> %s, result %s\n", BoolText(ok),
               BoolText(result.vt == VTYPE_BOOL && result.bVal));
        Check(ok && result.vt == VTYPE_BOOL && result.bVal, "UploadGoods succeeds");
        Check(LastError() == 0, "UploadGoods leaves no error");
    }

    void Close(const WCHAR_T* deviceId) {
        tVariant params[1];
        SetString(params[0], deviceId);
        tVariant result;
        bool ok = Call(Find(L"Close", "Close"), params, 1, result);
        printf("CallAsFunc(Close) -> %s\n", BoolText(ok));
        Check(ok, "Close");
    }

  private:
    IComponentBase* object_;
    ILanguageExtenderBase* language_;
    LocaleBase* locale_;
};

void PrintClassNames(const AddInExports& exports) {
    const WCHAR_T* names = exports.GetClassNames();
    printf("GetClassNames -> \"");
    PrintWide(names, WideLength(names));
    printf("\"\n");
    Check(WideEquals(names, WideLength(names), L"CAddInNative"), "class names");
    AppCapabilities level = exports.SetPlatformCapabilities(eAppCapabilities1);
    printf("SetPlatformCapabilities(1) -> %d\n", (int)level);
    Check(level == eAppCapabilities1, "capability level 1");
}

// Some hosts call Done and then delete the object through its virtual
// destructor instead of DestroyObject: slot 0, MSVC's deleting destructor.
void DeleteThroughDestructor(const AddInExports& exports, CountingMemory& memory) {
    IComponentBase* object = nullptr;
    long created = exports.GetClassObject(L"CAddInNative", &object);
    Check(created != 0 && object != nullptr, "second object");
    if (!object) return;
    object->setMemManager(&memory);
    object->Done();
    delete object;
    printf("second object: Done, then delete through the virtual destructor -> returned\n");
}

}  // namespace

// Runs the host's whole sequence against the add-in; returns the number of
// failed checks.  `emulatorPort` is the UDP port of a scales emulator on
// 127.0.0.1.
extern "C" int msvc_host_run(const AddInExports* exports, int emulatorPort) {
    PrintClassNames(*exports);
    IComponentBase* object = nullptr;
    long created = exports->GetClassObject(L"CAddInNative", &object);
    printf("GetClassObject -> %ld\n", created);
    Check(created != 0 && object != nullptr, "GetClassObject creates the object");
    if (!object) return g_failures;
    {
        HostSession host(object);
        host.Start();
        host.Version();
        tVariant value;
        SetInt(value, 1);  // Ethernet (the device table starts at 0, the serial line)
        host.SetParameter(L"conntype", value, "conntype=1");
        SetString(value, L"127.0.0.1");
        host.SetParameter(L"ehost", value, "ehost=127.0.0.1");
        SetInt(value, emulatorPort);
        host.SetParameter(L"eport", value, "eport=<emulator port>");
        WCHAR_T deviceId[32] = {0};
        Check(host.Open(deviceId, 32), "the connection test passes");
        host.Upload(deviceId,
                    L"<Goods><Good PLU=\"7\" Code=\"107\" Name=\"Яблоки\" Price=\"89,90\" "
                    L"ShelfLife=\"5\"/></Goods>");
        host.Close(deviceId);
        object->Done();
        long destroyed = exports->DestroyObject(&object);
        printf("DestroyObject -> %ld, slot %s\n", destroyed, object ? "set" : "null");
        Check(destroyed == 0 && object == nullptr, "DestroyObject");
        DeleteThroughDestructor(*exports, host.memory);
        printf("memory manager: %d allocations, %d frees\n", host.memory.allocations,
               host.memory.frees);
        Check(host.memory.allocations == host.memory.frees, "every string freed once");
    }
    return g_failures;
}

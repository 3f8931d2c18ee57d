// Value types of the host's Native API, declared here from the published
// facts of its binary interface: the UTF-16 code unit, the tVariant record and
// its type tags.  Every offset below is what the host reads and writes, so the
// static_asserts at the end pin them for each target we build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#if defined(_WIN32)
typedef wchar_t WCHAR_T;  // UTF-16 code unit on Windows
#else
typedef uint16_t WCHAR_T;  // UTF-16 code unit on Linux (wchar_t is 4 bytes there)
#endif

typedef unsigned short TYPEVAR;
typedef double DATE;

#if defined(_WIN32)
// Laid out like the Windows GUID (alignment 4).
struct AddInIid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
#else
struct AddInIid {
    uint8_t bytes[16];
};
#endif
typedef AddInIid IID_T;

enum ENUMVAR : TYPEVAR {
    VTYPE_EMPTY = 0,
    VTYPE_NULL = 1,
    VTYPE_I2 = 2,
    VTYPE_I4 = 3,
    VTYPE_R4 = 4,
    VTYPE_R8 = 5,
    VTYPE_DATE = 6,
    VTYPE_TM = 7,
    VTYPE_PSTR = 8,
    VTYPE_INTERFACE = 9,
    VTYPE_ERROR = 10,
    VTYPE_BOOL = 11,
    VTYPE_VARIANT = 12,
    VTYPE_I1 = 13,
    VTYPE_UI1 = 14,
    VTYPE_UI2 = 15,
    VTYPE_UI4 = 16,
    VTYPE_I8 = 17,
    VTYPE_UI8 = 18,
    VTYPE_INT = 19,
    VTYPE_UINT = 20,
    VTYPE_HRESULT = 21,
    VTYPE_PWSTR = 22,
    VTYPE_BLOB = 23,
    VTYPE_CLSID = 24,
};

// The host's value record.  Every union member starts at offset 0; the record
// is as large as its largest member (struct tm), so its size differs between
// Linux and Windows.  No packing pragma: natural alignment, as the host has it.
struct tVariant {
    union {
        int8_t i8Val;
        int16_t shortVal;
        int32_t lVal;
        int intVal;
        unsigned int uintVal;
        int64_t llVal;
        uint8_t ui8Val;
        uint16_t ushortVal;
        uint32_t ulVal;
        uint64_t ullVal;
        int32_t errCode;
        long hRes;
        float fltVal;
        double dblVal;
        bool bVal;
        char chVal;
        wchar_t wchVal;
        DATE date;
        IID_T IDVal;
        tVariant* pvarVal;
        struct tm tmVal;
        struct {
            void* pInterfaceVal;
            IID_T InterfaceID;
        };
        struct {
            char* pstrVal;
            uint32_t strLen;  // bytes
        };
        struct {
            WCHAR_T* pwstrVal;
            uint32_t wstrLen;  // UTF-16 code units, without the terminator
        };
    };
    uint32_t cbElements;
    TYPEVAR vt;
};

static_assert(sizeof(WCHAR_T) == 2, "host strings are UTF-16");
static_assert(offsetof(tVariant, lVal) == 0, "union starts the record");
static_assert(offsetof(tVariant, pwstrVal) == 0, "string pointer at 0");
#if defined(_WIN32)
static_assert(sizeof(long) == 4, "the host's long is 4 bytes on Windows");
static_assert(sizeof(tVariant) == 48, "tVariant is 48 bytes on Windows");
static_assert(offsetof(tVariant, cbElements) == 40, "cbElements at 40 on Windows");
static_assert(offsetof(tVariant, vt) == 44, "vt at 44 on Windows");
static_assert(sizeof(struct tm) == 36, "struct tm of the Windows runtime");
#else
static_assert(sizeof(long) == 8, "the host's long is 8 bytes on Linux x86-64");
static_assert(sizeof(tVariant) == 64, "tVariant is 64 bytes on Linux x86-64");
static_assert(offsetof(tVariant, cbElements) == 56, "cbElements at 56 on Linux");
static_assert(offsetof(tVariant, vt) == 60, "vt at 60 on Linux");
#endif
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(tVariant, wstrLen) == 4, "length after a 4-byte pointer");
static_assert(offsetof(tVariant, strLen) == 4, "length after a 4-byte pointer");
#else
static_assert(offsetof(tVariant, wstrLen) == 8, "length after an 8-byte pointer");
static_assert(offsetof(tVariant, strLen) == 8, "length after an 8-byte pointer");
#endif
static_assert(sizeof(IID_T) == 16, "IID is 16 bytes");

// The mingw half of the MSVC-ABI host check: loads the add-in DLL, finds its
// four exports by plain name and hands them to msvc_host_run (host_msvc.cpp,
// compiled by clang in the MSVC ABI), which drives the add-in as the
// platform's MSVC-built host does.  Also supplies the runtime symbols that the
// MSVC-compiled object refers to.
//
// Usage: msvc_abi_host DLL [EMULATOR_PORT]   (or the port in RLS_EMULATOR_PORT)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

struct AddInExports {
    FARPROC GetClassNames;
    FARPROC GetClassObject;
    FARPROC DestroyObject;
    FARPROC SetPlatformCapabilities;
};

extern "C" int msvc_host_run(const AddInExports* exports, int emulatorPort);

extern "C" void* host_alloc(unsigned long bytes) {
    return std::malloc(bytes ? bytes : 1);
}
extern "C" void host_free(void* p) {
    std::free(p);
}

// operator delete(void*) under its MSVC name, referenced by the deleting
// destructor of the host's memory manager.  The name carries no leading
// underscore on x86 either: MSVC's C++ names are used as they are (quoted
// for the assembler, which takes no "?" in a bare symbol name).
#if UINTPTR_MAX == 0xFFFFFFFFu
#define RLS_MSVC_OPERATOR_DELETE "\"??3@YAXPAX@Z\""
#else
#define RLS_MSVC_OPERATOR_DELETE "\"??3@YAXPEAX@Z\""
#endif
extern "C" void MsvcOperatorDelete(void* p) __asm__(RLS_MSVC_OPERATOR_DELETE);
extern "C" void MsvcOperatorDelete(void* p) {
    ::operator delete(p);
}

namespace {

bool FindExports(HMODULE library, AddInExports& exports) {
    exports.GetClassNames = GetProcAddress(library, "GetClassNames");
    exports.GetClassObject = GetProcAddress(library, "GetClassObject");
    exports.DestroyObject = GetProcAddress(library, "DestroyObject");
    exports.SetPlatformCapabilities = GetProcAddress(library, "SetPlatformCapabilities");
    return exports.GetClassNames && exports.GetClassObject && exports.DestroyObject &&
           exports.SetPlatformCapabilities;
}

int EmulatorPort(int argc, char** argv) {
    const char* text = argc > 2 ? argv[2] : std::getenv("RLS_EMULATOR_PORT");
    return text ? std::atoi(text) : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DLL [EMULATOR_PORT]\n", argv[0]);
        return 2;
    }
    int port = EmulatorPort(argc, argv);
    if (port <= 0) {
        std::fprintf(stderr, "no scales emulator port (argument or RLS_EMULATOR_PORT)\n");
        return 2;
    }
    std::printf("MSVC-ABI host, %d-bit, DLL %s, emulator 127.0.0.1:%d\n",
                static_cast<int>(sizeof(void*) * 8), argv[1], port);
    // A Linux path names the same file on Wine's Z: drive.
    std::string path = argv[1][0] == '/' ? std::string("Z:") + argv[1] : argv[1];
    HMODULE library = LoadLibraryA(path.c_str());
    if (!library) {
        std::printf("LoadLibrary failed, error %lu\n", GetLastError());
        return 1;
    }
    AddInExports exports{};
    if (!FindExports(library, exports)) {
        std::printf("the DLL lacks one of the four exports\n");
        return 1;
    }
    std::printf("LoadLibrary and the four exports: found\n");
    int failures = msvc_host_run(&exports, port);
    FreeLibrary(library);
    std::printf("MSVC-ABI host: %s (%d failed checks)\n", failures ? "FAILED" : "OK", failures);
    return failures ? 1 : 0;
}

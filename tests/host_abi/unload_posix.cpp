// A host that loads and unloads the library again and again must not grow.
// This program is the only one that loads the library, so that each dlclose
// really unloads it; it checks that it did.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/host_abi/raw_host.h"

namespace rawhost {
namespace {

constexpr int kWarmUpCycles = 20;
constexpr int kCycles = 1000;
constexpr int64_t kMegabyte = 1 << 20;

struct Figures {
    int64_t heapInUse;  // bytes malloc has handed out and not got back
    int64_t residentKiB;
};

Figures Measure() {
    const struct mallinfo2 heap = mallinfo2();
    int64_t resident = 0;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) resident = std::stoll(line.substr(6));
    }
    return {static_cast<int64_t>(heap.uordblks + heap.hblkhd), resident};
}

// One load, one object created, initialised, used and destroyed, one unload.
void LoadUseUnload() {
    void* handle = dlopen(ADDIN_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto getClassObject =
        reinterpret_cast<long (*)(const char16_t*, void**)>(dlsym(handle, "GetClassObject"));
    auto destroyObject = reinterpret_cast<long (*)(void**)>(dlsym(handle, "DestroyObject"));
    ASSERT_TRUE(getClassObject && destroyObject);
    void* object = nullptr;
    ASSERT_NE(getClassObject(u"CAddInNative", &object), 0);
    AddIn addin(object);
    CountingMemory memory;
    int connection = 0;
    addin.Init(&connection);
    addin.SetMemManager(memory.Interface());
    Variant version;
    ASSERT_TRUE(addin.CallAsFunc(0, &version, nullptr, 0));
    memory.Free(version.wide());
    ASSERT_EQ(destroyObject(&object), 0);
    ASSERT_EQ(dlclose(handle), 0);
    ASSERT_EQ(dlopen(ADDIN_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr)
        << "the library stayed loaded";
}

TEST(LoadUnload, ThousandCyclesLeaveTheProcessAsItWas) {
#if !RLS_PRIVATE_RUNTIME
    GTEST_SKIP() << "this build's library shares the host's C++ runtime";
#endif
    for (int i = 0; i < kWarmUpCycles; ++i) ASSERT_NO_FATAL_FAILURE(LoadUseUnload());
    const Figures before = Measure();
    for (int i = 0; i < kCycles; ++i) ASSERT_NO_FATAL_FAILURE(LoadUseUnload());
    const Figures after = Measure();
    const int64_t heapGrowth = after.heapInUse - before.heapInUse;
    const int64_t residentGrowth = (after.residentKiB - before.residentKiB) * 1024;
    std::printf(
        "%d load/unload cycles: heap in use %+lld bytes (%+.1f a cycle), resident %+lld "
        "bytes\n",
        kCycles, static_cast<long long>(heapGrowth), static_cast<double>(heapGrowth) / kCycles,
        static_cast<long long>(residentGrowth));
    EXPECT_LT(heapGrowth, kMegabyte);
    EXPECT_LT(residentGrowth, kMegabyte);
}

}  // namespace
}  // namespace rawhost

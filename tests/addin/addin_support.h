// Test support: a host memory manager that counts, and a driver object
// called by method number the way the dispatcher receives host calls.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "addin/addin_native.h"
#include "sdk/component_base.h"

namespace addin_test {

class TestMemory : public IMemoryManager {
  public:
    ~TestMemory() {
        for (void* block : live_) ::operator delete(block);
    }
#if RLS_MSVC_VTABLES
    void* MsvcDeletingDestructor(unsigned int) override {
        return this;
    }
#endif
    bool ADDIN_API AllocMemory(void** out, unsigned long bytes) override {
        if (granted_ == 0) return false;
        if (granted_ > 0) --granted_;
        *out = ::operator new(bytes);
        live_.insert(*out);
        ++allocations;
        return true;
    }
    void ADDIN_API FreeMemory(void** block) override {
        if (live_.erase(*block) != 0) ::operator delete(*block);
        *block = nullptr;
    }
    size_t Live() const {
        return live_.size();
    }
    // Grants `count` more allocations and refuses every later one; -1 grants
    // all.
    void GrantOnly(int count) {
        granted_ = count;
    }
    int allocations = 0;

  private:
    std::set<void*> live_;
    int granted_ = -1;
};

inline tVariant Empty() {
    tVariant v{};
    v.vt = VTYPE_EMPTY;
    return v;
}
inline tVariant I4(int32_t value) {
    tVariant v{};
    v.lVal = value;
    v.vt = VTYPE_I4;
    return v;
}
inline tVariant R8Value(double value) {
    tVariant v{};
    v.dblVal = value;
    v.vt = VTYPE_R8;
    return v;
}
// Points into `text`, which must outlive the call.
inline tVariant Wide(const std::u16string& text) {
    tVariant v{};
    v.pwstrVal = const_cast<WCHAR_T*>(reinterpret_cast<const WCHAR_T*>(text.c_str()));
    v.wstrLen = static_cast<uint32_t>(text.size());
    v.vt = VTYPE_PWSTR;
    return v;
}
tVariant Wide(std::u16string&&) = delete;
inline tVariant Narrow(const std::string& text) {
    tVariant v{};
    v.pstrVal = const_cast<char*>(text.c_str());
    v.strLen = static_cast<uint32_t>(text.size());
    v.vt = VTYPE_PSTR;
    return v;
}
inline std::u16string StringOf(const tVariant& value) {
    if (value.vt != VTYPE_PWSTR || value.pwstrVal == nullptr) return u"<not a string>";
    std::u16string text;
    for (uint32_t i = 0; i < value.wstrLen; ++i)
        text.push_back(static_cast<char16_t>(value.pwstrVal[i]));
    return text;
}

// Method numbers as the host finds them by name.
enum Method : long {
    kGetVersion = 0,
    kGetDescription = 1,
    kGetLastError = 2,
    kGetParameters = 3,
    kSetParameter = 4,
    kOpen = 5,
    kClose = 6,
    kDeviceTest = 7,
    kUploadGoods = 10,
    kClearGoods = 11,
    kConnectByEthernet = 12,
    kCloseConnection = 14,
    kSendGoodToScalesV1 = 15,
    kSetPathDllFolder = 18,
    kGetBuilderInfo = 19,
    kSendMessageV1 = 20,
    kAddHotKey = 23,
};

class DriverTest : public ::testing::Test {
  protected:
    void SetUp() override { driver_.setMemManager(&memory_); }

    bool Call(long method, std::vector<tVariant>& params) {
        result_ = I4(-12345);
        return driver_.CallAsFunc(method, &result_, params.data(),
                                  static_cast<long>(params.size()));
    }
    // Calls a method that must succeed as a call and returns its Boolean.
    bool Run(long method, std::vector<tVariant> params) {
        EXPECT_TRUE(Call(method, params)) << method;
        EXPECT_EQ(result_.vt, VTYPE_BOOL);
        return result_.bVal;
    }
    uint32_t LastError(std::u16string* text = nullptr) {
        std::vector<tVariant> params = {Empty()};
        EXPECT_TRUE(Call(kGetLastError, params));
        EXPECT_EQ(result_.vt, VTYPE_UI4);
        if (text != nullptr) *text = StringOf(params[0]);
        return result_.ulVal;
    }

    TestMemory memory_;
    CAddInNative driver_;
    tVariant result_{};
};

}  // namespace addin_test

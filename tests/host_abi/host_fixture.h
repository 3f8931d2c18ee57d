// Shared set-up of the host-ABI tests: one loaded library per program, and a
// fresh add-in object per test, initialised as the platform does it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/host_abi/raw_host.h"

namespace rawhost {

inline Library& TheLibrary() {
    static Library library(ADDIN_LIBRARY_PATH);
    return library;
}

// Frees a string the add-in returned, as the host would, and gives its text.
inline std::u16string TakeString(CountingMemory& memory, const Variant& value) {
    if (value.tag() != kPwstr || value.wide() == nullptr) return u"<not a string>";
    std::u16string text(value.wide(), value.length());
    memory.Free(value.wide());
    return text;
}

class HostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(TheLibrary().Loaded()) << dlerror();
        void* object = nullptr;
        ASSERT_NE(TheLibrary().getClassObject(u"CAddInNative", &object), 0);
        addin_ = AddIn(object);
        ASSERT_TRUE(addin_.Init(&connection_));
        ASSERT_TRUE(addin_.SetMemManager(memory_.Interface()));
    }
    void TearDown() override {
        if (addin_.object() != nullptr) {
            void* object = addin_.object();
            EXPECT_EQ(TheLibrary().destroyObject(&object), 0);
        }
        EXPECT_EQ(memory_.Live(), 0u) << "strings the add-in handed over were not freed";
        EXPECT_EQ(memory_.badFrees, 0);
    }

    // CallAsFunc with the parameters given; strings the add-in wrote stay in
    // the records until Take frees them.
    bool Call(long method, std::vector<Variant>& params, Variant& result) {
        return addin_.CallAsFunc(method, &result, params.empty() ? nullptr : params.data(),
                                 static_cast<long>(params.size()));
    }
    long Method(const char16_t* name) { return addin_.FindMethod(name); }
    std::u16string Take(const Variant& value) { return TakeString(memory_, value); }

    // Calls GetLastError; returns the code and puts the text into `text`.
    uint32_t LastError(std::u16string* text = nullptr) {
        std::vector<Variant> params(1);
        Variant result;
        EXPECT_TRUE(Call(Method(u"GetLastError"), params, result));
        const std::u16string message = Take(params[0]);
        if (text != nullptr) *text = message;
        EXPECT_EQ(result.tag(), kUi4);
        return result.ui4();
    }

    int connection_ = 0;  // the host's connection object is only stored
    CountingMemory memory_;
    AddIn addin_{nullptr};
};

}  // namespace rawhost

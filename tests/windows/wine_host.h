// A minimal host for the Wine tests: loads the add-in DLL with LoadLibrary,
// creates the object through the exports and calls its methods by name, the
// way the platform does.  Declared through our sdk/ headers, which give the
// MSVC vtable layout under mingw; the MSVC-compiled host (tests/msvc_abi)
// checks that layout independently.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "sdk/component_base.h"

namespace wine_test {

// Counts what the add-in allocates through the host and what is freed again.
class CountingMemory : public IMemoryManager {
  public:
    void* MsvcDeletingDestructor(unsigned int) override { return this; }
    bool ADDIN_API AllocMemory(void** pMemory, unsigned long ulCountByte) override;
    void ADDIN_API FreeMemory(void** pMemory) override;
    int allocations = 0;
    int frees = 0;
};

// One value as the host passes it.
tVariant Text(const std::u16string& text);
tVariant Number(int value);
tVariant Empty();
std::u16string Utf16(const std::string& ascii);
std::string Narrow(const std::u16string& text);  // ASCII part; others as '?'

// The add-in DLL copied into a fresh folder of its own (with "log.txt" beside
// it when asked), loaded from there, and one object created.
class AddInUnderTest {
  public:
    AddInUnderTest(const std::string& dllPath, bool withLogMarker);
    ~AddInUnderTest();
    AddInUnderTest(const AddInUnderTest&) = delete;
    AddInUnderTest& operator=(const AddInUnderTest&) = delete;

    bool Loaded() const { return object_ != nullptr; }
    const std::string& Folder() const { return folder_; }

    // CallAsFunc of the method found by name; string results are copied out
    // and freed as the host does.  `ok` is CallAsFunc's own answer.
    struct Result {
        bool ok = false;
        tVariant value{};
        std::u16string text;                   // the PWSTR result, if any
        std::vector<std::u16string> outTexts;  // PWSTR out-parameters, by position
    };
    Result Call(const char* method, std::vector<tVariant> params);
    long FindMethod(const std::u16string& name);
    void SetLocale(const std::u16string& name);

    // Shortcuts over Call.
    bool SetParameter(const char* name, const tVariant& value);
    std::string Open();  // the new DeviceID ("" when none)
    unsigned LastError(std::u16string* text = nullptr);
    bool Boolean(const char* method, std::vector<tVariant> params);

    CountingMemory memory;

  private:
    std::string folder_;
    HMODULE library_ = nullptr;
    IComponentBase* object_ = nullptr;
    long (*destroy_)(IComponentBase**) = nullptr;
};

std::string EnvOr(const char* name, const char* fallback);
std::vector<std::string> FilesIn(const std::string& folder, const char* pattern);
std::string ReadFile(const std::string& path);

}  // namespace wine_test

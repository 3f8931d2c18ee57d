// One add-in object driven exactly as the platform drives it: load the
// library, GetClassNames, GetClassObject, Init with a connection object,
// setMemManager, RegisterExtensionAs, SetLocale; then methods found by name
// and called with CallAsFunc; at the end DestroyObject and unload.  Every
// string the add-in hands over is copied out and freed through the memory
// manager straight away, as the platform does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sdk/component_base.h"
#include "tools/addin-host/library_loader.h"
#include "tools/addin-host/memory_manager.h"

namespace host {

// A tVariant as the host reads it back, copied so the add-in's memory can go.
struct HostValue {
    TYPEVAR vt = VTYPE_EMPTY;
    int64_t number = 0;   // integer tags
    bool flag = false;    // VTYPE_BOOL
    std::u16string text;  // VTYPE_PWSTR, VTYPE_PSTR
    std::string Utf8() const;
};

// The parameter array of one call.  Input strings belong to the host and
// stay where they are; anything the add-in writes into a slot is read back
// into Value(i) after the call.
class CallArgs {
  public:
    CallArgs& Text(const std::u16string& text);
    CallArgs& TextUtf8(const std::string& text);
    CallArgs& Int(int32_t value);
    CallArgs& Out();  // an empty slot for an out-parameter
    size_t Count() const { return variants_.size(); }
    const HostValue& Value(size_t index) const { return values_.at(index); }

  private:
    friend class AddInSession;
    std::vector<std::unique_ptr<std::u16string>> texts_;
    std::vector<tVariant> variants_;
    std::vector<const void*> hostStrings_;  // per slot: the host's own pointer, or null
    std::vector<HostValue> values_;
};

class AddInSession {
  public:
    explicit AddInSession(CountingMemoryManager& memory) : memory_(memory) {}
    ~AddInSession() { Finish(); }
    AddInSession(const AddInSession&) = delete;
    AddInSession& operator=(const AddInSession&) = delete;

    // Loads the library and brings one object up to the point where methods
    // can be called.  False with a one-line reason otherwise.
    bool Start(const std::string& libraryPath, std::string& error);
    // DestroyObject and unload; false when DestroyObject refused.
    bool Finish();

    const std::u16string& ClassNames() const { return classNames_; }
    const std::u16string& ExtensionName() const { return extensionName_; }
    long InterfaceInfo();
    long MethodCount();
    std::u16string MethodName(long method, long alias);
    long ParamCount(long method);
    long FindMethod(const std::u16string& name);

    // Looks the method up by name and calls it as a function with exactly
    // the parameter count the add-in declares.  False with a reason when the
    // name is unknown, the count differs or CallAsFunc refuses the call.
    bool Call(const char16_t* name, CallArgs& args, HostValue& result, std::string& error);

  private:
    HostValue TakeValue(tVariant& variant, const void* hostString);
    std::u16string TakeString(const WCHAR_T* text);

    CountingMemoryManager& memory_;
    SharedLibrary library_;
    IComponentBase* object_ = nullptr;
    long (*destroyObject_)(IComponentBase**) = nullptr;
    std::u16string classNames_;
    std::u16string extensionName_;
    // The platform's connection object; the add-in only stores the pointer.
    struct {
        void* reserved = nullptr;
    } connection_;
};

}  // namespace host

// A host written from the binary-interface facts alone: the add-in library is
// loaded with dlopen and reached only through its exports, raw vtable slot
// numbers and byte offsets, exactly as the Linux host reaches it.  Nothing
// here includes the add-in's own headers, so a layout mistake on our side
// cannot hide behind a matching mistake in a shared declaration.
#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>

namespace rawhost {

// Linux x86-64: three interface views 8 bytes apart, two destructor slots at
// the top of every vtable.
constexpr size_t kInitDoneView = 0;
constexpr size_t kLanguageView = 8;
constexpr size_t kLocaleView = 16;
constexpr int kSlotCompleteDestructor = 0;
constexpr int kSlotDeletingDestructor = 1;
constexpr int kSlotInit = 2, kSlotSetMemManager = 3, kSlotGetInfo = 4, kSlotDone = 5;
constexpr int kSlotRegisterExtensionAs = 2, kSlotGetNProps = 3, kSlotFindProp = 4,
              kSlotGetPropName = 5, kSlotGetPropVal = 6, kSlotSetPropVal = 7,
              kSlotIsPropReadable = 8, kSlotIsPropWritable = 9, kSlotGetNMethods = 10,
              kSlotFindMethod = 11, kSlotGetMethodName = 12, kSlotGetNParams = 13,
              kSlotGetParamDefValue = 14, kSlotHasRetVal = 15, kSlotCallAsProc = 16,
              kSlotCallAsFunc = 17;
constexpr int kSlotSetLocale = 2;

// tVariant on Linux x86-64: 64 bytes, value at 0, string length at 8,
// cbElements at 56, type tag at 60.
constexpr size_t kVariantSize = 64;
constexpr size_t kLengthOffset = 8;
constexpr size_t kElementsOffset = 56;
constexpr size_t kTagOffset = 60;
enum Tag : uint16_t {
    kEmpty = 0,
    kNull = 1,
    kI2 = 2,
    kI4 = 3,
    kR4 = 4,
    kR8 = 5,
    kDate = 6,
    kPstr = 8,
    kBool = 11,
    kUi4 = 16,
    kI8 = 17,
    kPwstr = 22,
    kBlob = 23,
};

struct Variant {
    alignas(8) unsigned char bytes[kVariantSize];

    Variant() { std::memset(bytes, 0, sizeof bytes); }
    template <typename T>
    T Get(size_t offset) const {
        T value;
        std::memcpy(&value, bytes + offset, sizeof value);
        return value;
    }
    template <typename T>
    void Put(size_t offset, T value) {
        std::memcpy(bytes + offset, &value, sizeof value);
    }
    uint16_t tag() const { return Get<uint16_t>(kTagOffset); }
    void setTag(uint16_t t) { Put<uint16_t>(kTagOffset, t); }
    int32_t i4() const { return Get<int32_t>(0); }
    uint32_t ui4() const { return Get<uint32_t>(0); }
    bool boolean() const { return bytes[0] != 0; }
    const char16_t* wide() const { return Get<const char16_t*>(0); }
    uint32_t length() const { return Get<uint32_t>(kLengthOffset); }
};

inline Variant I4(int32_t value) {
    Variant v;
    v.Put<int32_t>(0, value);
    v.setTag(kI4);
    return v;
}
inline Variant R8(double value) {
    Variant v;
    v.Put<double>(0, value);
    v.setTag(kR8);
    return v;
}
inline Variant Bool(bool value) {
    Variant v;
    v.bytes[0] = value ? 1 : 0;
    v.setTag(kBool);
    return v;
}
// Points into `text`, which must outlive the variant (the host owns it).
inline Variant Wide(const std::u16string& text) {
    Variant v;
    v.Put<const char16_t*>(0, text.c_str());
    v.Put<uint32_t>(kLengthOffset, static_cast<uint32_t>(text.size()));
    v.setTag(kPwstr);
    return v;
}
Variant Wide(std::u16string&&) = delete;  // the text must outlive the call
inline Variant Narrow(const std::string& text) {
    Variant v;
    v.Put<const char*>(0, text.c_str());
    v.Put<uint32_t>(kLengthOffset, static_cast<uint32_t>(text.size()));
    v.setTag(kPstr);
    return v;
}

// The host's memory manager, vtable built by hand: two destructor slots, then
// AllocMemory and FreeMemory.  It counts, and notices frees of blocks it
// never handed out.
class CountingMemory {
  public:
    CountingMemory() : object_{table_, this} {}
    void* Interface() { return &object_; }

    void Refuse(bool refuse) { refuse_ = refuse; }
    int allocations = 0;
    int frees = 0;
    int badFrees = 0;
    unsigned long lastBytes = 0;
    size_t Live() const { return live_.size(); }
    // What the host does with a string the add-in returned.
    void Free(const void* block) {
        void* p = const_cast<void*>(block);
        FreeSlot(&object_, &p);
    }

  private:
    struct Object {
        void* const* vtable;
        CountingMemory* owner;
    };
    static void Destructor(void*) {}
    static bool AllocSlot(void* self, void** out, unsigned long bytes) {
        CountingMemory& m = *static_cast<Object*>(self)->owner;
        if (m.refuse_) return false;
        *out = ::operator new(bytes);
        m.live_.insert(*out);
        m.allocations++;
        m.lastBytes = bytes;
        return true;
    }
    static void FreeSlot(void* self, void** block) {
        CountingMemory& m = *static_cast<Object*>(self)->owner;
        if (m.live_.erase(*block) == 0) {
            m.badFrees++;
            return;
        }
        ::operator delete(*block);
        *block = nullptr;
        m.frees++;
    }
    void* const table_[4] = {
        reinterpret_cast<void*>(&Destructor), reinterpret_cast<void*>(&Destructor),
        reinterpret_cast<void*>(&AllocSlot), reinterpret_cast<void*>(&FreeSlot)};
    Object object_;
    bool refuse_ = false;
    std::set<void*> live_;
};

// The library and its four exports.
class Library {
  public:
    explicit Library(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
        if (handle_ == nullptr) return;
        getClassNames = reinterpret_cast<const char16_t* (*)()>(dlsym(handle_, "GetClassNames"));
        getClassObject =
            reinterpret_cast<long (*)(const char16_t*, void**)>(dlsym(handle_, "GetClassObject"));
        destroyObject = reinterpret_cast<long (*)(void**)>(dlsym(handle_, "DestroyObject"));
        setPlatformCapabilities =
            reinterpret_cast<int (*)(int)>(dlsym(handle_, "SetPlatformCapabilities"));
    }
    ~Library() {
        if (handle_ != nullptr) dlclose(handle_);
    }
    bool Loaded() const {
        return handle_ != nullptr && getClassNames && getClassObject && destroyObject &&
               setPlatformCapabilities;
    }

    const char16_t* (*getClassNames)() = nullptr;
    long (*getClassObject)(const char16_t*, void**) = nullptr;
    long (*destroyObject)(void**) = nullptr;
    int (*setPlatformCapabilities)(int) = nullptr;

  private:
    void* handle_;
};

// The slot `slot` of the vtable of the view at `offset` in `object`.
template <typename Fn>
Fn Slot(void* object, size_t offset, int slot) {
    void* view = static_cast<unsigned char*>(object) + offset;
    void** vtable = *static_cast<void***>(view);
    return reinterpret_cast<Fn>(vtable[slot]);
}
inline void* View(void* object, size_t offset) {
    return static_cast<unsigned char*>(object) + offset;
}

// An object as the host drives it; every call goes through a raw slot.
class AddIn {
  public:
    explicit AddIn(void* object) : object_(object) {}
    void* object() const { return object_; }

    bool Init(void* connection) {
        return Slot<bool (*)(void*, void*)>(object_, kInitDoneView, kSlotInit)(
            View(object_, kInitDoneView), connection);
    }
    bool SetMemManager(void* memory) {
        return Slot<bool (*)(void*, void*)>(object_, kInitDoneView, kSlotSetMemManager)(
            View(object_, kInitDoneView), memory);
    }
    long GetInfo() {
        return Slot<long (*)(void*)>(object_, kInitDoneView,
                                     kSlotGetInfo)(View(object_, kInitDoneView));
    }
    void Done() {
        Slot<void (*)(void*)>(object_, kInitDoneView, kSlotDone)(View(object_, kInitDoneView));
    }
    bool RegisterExtensionAs(char16_t** name) {
        return Lang<bool (*)(void*, char16_t**)>(kSlotRegisterExtensionAs)(Lv(), name);
    }
    long GetNProps() { return Lang<long (*)(void*)>(kSlotGetNProps)(Lv()); }
    long FindProp(const char16_t* name) {
        return Lang<long (*)(void*, const char16_t*)>(kSlotFindProp)(Lv(), name);
    }
    const char16_t* GetPropName(long num, long alias) {
        return Lang<const char16_t* (*)(void*, long, long)>(kSlotGetPropName)(Lv(), num, alias);
    }
    bool GetPropVal(long num, Variant* value) {
        return Lang<bool (*)(void*, long, void*)>(kSlotGetPropVal)(Lv(), num, value);
    }
    bool SetPropVal(long num, Variant* value) {
        return Lang<bool (*)(void*, long, void*)>(kSlotSetPropVal)(Lv(), num, value);
    }
    bool IsPropReadable(long num) {
        return Lang<bool (*)(void*, long)>(kSlotIsPropReadable)(Lv(), num);
    }
    bool IsPropWritable(long num) {
        return Lang<bool (*)(void*, long)>(kSlotIsPropWritable)(Lv(), num);
    }
    long GetNMethods() { return Lang<long (*)(void*)>(kSlotGetNMethods)(Lv()); }
    long FindMethod(const char16_t* name) {
        return Lang<long (*)(void*, const char16_t*)>(kSlotFindMethod)(Lv(), name);
    }
    const char16_t* GetMethodName(long num, long alias) {
        return Lang<const char16_t* (*)(void*, long, long)>(kSlotGetMethodName)(Lv(), num, alias);
    }
    long GetNParams(long num) { return Lang<long (*)(void*, long)>(kSlotGetNParams)(Lv(), num); }
    bool GetParamDefValue(long method, long param, Variant* value) {
        return Lang<bool (*)(void*, long, long, void*)>(kSlotGetParamDefValue)(Lv(), method, param,
                                                                               value);
    }
    bool HasRetVal(long num) { return Lang<bool (*)(void*, long)>(kSlotHasRetVal)(Lv(), num); }
    bool CallAsProc(long num, Variant* params, long count) {
        return Lang<bool (*)(void*, long, void*, long)>(kSlotCallAsProc)(Lv(), num, params, count);
    }
    bool CallAsFunc(long num, Variant* result, Variant* params, long count) {
        return Lang<bool (*)(void*, long, void*, void*, long)>(kSlotCallAsFunc)(Lv(), num, result,
                                                                                params, count);
    }
    void SetLocale(const char16_t* locale) {
        Slot<void (*)(void*, const char16_t*)>(object_, kLocaleView, kSlotSetLocale)(
            View(object_, kLocaleView), locale);
    }
    // Deletes the object through the deleting destructor of one of its views,
    // as some hosts do instead of calling DestroyObject.
    void DeleteThroughView(size_t offset) {
        Slot<void (*)(void*)>(object_, offset, kSlotDeletingDestructor)(View(object_, offset));
        object_ = nullptr;
    }

  private:
    void* Lv() const { return View(object_, kLanguageView); }
    template <typename Fn>
    Fn Lang(int slot) const {
        return Slot<Fn>(object_, kLanguageView, slot);
    }
    void* object_;
};

inline std::u16string Text(const char16_t* s) {
    return s == nullptr ? u"<null>" : std::u16string(s);
}

}  // namespace rawhost

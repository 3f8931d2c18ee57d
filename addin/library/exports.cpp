// The library's four entry points, the only names it exports.  The host finds
// the add-in class through GetClassNames, creates and destroys instances with
// GetClassObject / DestroyObject, and announces its capability level with
// SetPlatformCapabilities.  No exception leaves any of them.
#include "addin/addin_native.h"
#include "sdk/component_base.h"

namespace {

// "CAddInNative" with its terminating zero: the one class this library offers,
// so the list holds no separator.  Valid from load to unload.
const WCHAR_T kClassNames[] = {'C', 'A', 'd', 'd', 'I', 'n', 'N', 'a', 't', 'i', 'v', 'e', 0};

constexpr long kObjectCreated = 1;
constexpr long kSlotOccupied = 0;
constexpr long kObjectDestroyed = 0;
constexpr long kSlotEmpty = -1;

}  // namespace

extern "C" {

const WCHAR_T* GetClassNames() {
    return kClassNames;
}

// Whatever name the host passes, the object is a CAddInNative.  An occupied
// slot is left alone: its object is the host's to destroy.
long GetClassObject(const WCHAR_T*, IComponentBase** slot) {
    try {
        if (slot == nullptr || *slot != nullptr) return kSlotOccupied;
        *slot = new CAddInNative();
        return kObjectCreated;
    } catch (...) {
        return kSlotOccupied;
    }
}

// Deleted through the concrete type: on Windows the interfaces' first slot is
// MSVC's deleting destructor, not a C++ destructor we could call.
long DestroyObject(IComponentBase** slot) {
    try {
        if (slot == nullptr || *slot == nullptr) return kSlotEmpty;
        delete static_cast<CAddInNative*>(*slot);
        *slot = nullptr;
        return kObjectDestroyed;
    } catch (...) {
        return kSlotEmpty;
    }
}

// We implement the first capability level's interfaces and no later ones,
// whatever the host offers.
AppCapabilities SetPlatformCapabilities(const AppCapabilities) {
    return eAppCapabilities1;
}

}  // extern "C"

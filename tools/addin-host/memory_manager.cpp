#include "tools/addin-host/memory_manager.h"

#include <cstdlib>
#include <new>

namespace host {

std::string MemoryReport::Summary() const {
    std::string line = "memory manager: " + std::to_string(allocations) + " allocations, " +
                       std::to_string(frees) + " freed, " + std::to_string(stillHeld) +
                       " leaked (" + std::to_string(bytesStillHeld) + " bytes), " +
                       std::to_string(badFrees) + " bad frees";
    if (failedAllocations != 0)
        line += ", " + std::to_string(failedAllocations) + " refused allocations";
    return line + (Clean() ? ": clean" : ": NOT CLEAN");
}

CountingMemoryManager::~CountingMemoryManager() {
    for (auto& entry : live_) std::free(const_cast<void*>(entry.first));
}

#if RLS_MSVC_VTABLES
// The MSVC deleting destructor a Windows host would have in this slot:
// destroy, free the object when bit 0 of the flags asks for it, return this.
void* CountingMemoryManager::MsvcDeletingDestructor(unsigned int flags) {
    this->~CountingMemoryManager();
    if ((flags & 1u) != 0) ::operator delete(this);
    return this;
}
#endif

bool ADDIN_API CountingMemoryManager::AllocMemory(void** pMemory, unsigned long ulCountByte) {
    if (pMemory == nullptr) return false;
    *pMemory = nullptr;
    if (failAllocations_) {
        ++counts_.failedAllocations;
        return false;
    }
    // A zero-byte request still gets a distinct pointer to hand back.
    void* block = std::malloc(ulCountByte != 0 ? ulCountByte : 1);
    if (block == nullptr) {
        ++counts_.failedAllocations;
        return false;
    }
    live_[block] = ulCountByte;
    ++counts_.allocations;
    *pMemory = block;
    return true;
}

void ADDIN_API CountingMemoryManager::FreeMemory(void** pMemory) {
    if (pMemory == nullptr || *pMemory == nullptr) return;
    auto found = live_.find(*pMemory);
    if (found == live_.end()) {
        // Freeing it would corrupt the heap: count it and leave it alone.
        ++counts_.badFrees;
    } else {
        std::free(*pMemory);
        live_.erase(found);
        ++counts_.frees;
    }
    *pMemory = nullptr;
}

MemoryReport CountingMemoryManager::Report() const {
    MemoryReport report = counts_;
    report.stillHeld = live_.size();
    for (auto& entry : live_) report.bytesStillHeld += entry.second;
    return report;
}

}  // namespace host

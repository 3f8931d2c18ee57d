// The host's memory manager as the add-in sees it: every string the add-in
// hands to the host is allocated here, and the host frees it here once it has
// read it.  This one keeps a ledger so that the host can tell, at the end,
// which strings it would have leaked (allocated, never handed back to be
// freed) and which pointers were freed twice or never came from here.
#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "sdk/component_base.h"

namespace host {

struct MemoryReport {
    size_t allocations = 0;
    size_t frees = 0;
    size_t failedAllocations = 0;
    size_t stillHeld = 0;  // allocated and never freed: a leak
    size_t bytesStillHeld = 0;
    size_t badFrees = 0;  // freed twice, or never allocated here
    bool Clean() const { return stillHeld == 0 && badFrees == 0; }
    std::string Summary() const;  // one line
};

class CountingMemoryManager final : public IMemoryManager {
  public:
    CountingMemoryManager() = default;
    ~CountingMemoryManager();  // releases whatever is still held
    CountingMemoryManager(const CountingMemoryManager&) = delete;
    CountingMemoryManager& operator=(const CountingMemoryManager&) = delete;

#if RLS_MSVC_VTABLES
    void* MsvcDeletingDestructor(unsigned int flags) override;
#endif
    bool ADDIN_API AllocMemory(void** pMemory, unsigned long ulCountByte) override;
    void ADDIN_API FreeMemory(void** pMemory) override;

    // True when `p` is a live allocation of this manager.
    bool Owns(const void* p) const {
        return live_.count(p) != 0;
    }
    // Makes every later allocation fail, as a host out of memory would.
    void SetFailAllocations(bool fail) {
        failAllocations_ = fail;
    }
    MemoryReport Report() const;

  private:
    std::map<const void*, size_t> live_;
    MemoryReport counts_;
    bool failAllocations_ = false;
};

}  // namespace host

#include <windows.h>
// windows.h first: bcrypt.h relies on its types.
#include <bcrypt.h>

#include "text/random_os.h"

namespace text::os {

bool RandomBytes(uint8_t* out, size_t count) {
    constexpr size_t kMaxChunk = 0x10000000;  // BCryptGenRandom takes a ULONG count
    while (count > 0) {
        ULONG chunk = static_cast<ULONG>(count < kMaxChunk ? count : kMaxChunk);
        NTSTATUS status = BCryptGenRandom(nullptr, out, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
        if (!BCRYPT_SUCCESS(status)) return false;
        out += chunk;
        count -= chunk;
    }
    return true;
}

}  // namespace text::os

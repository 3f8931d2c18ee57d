// Process-wide random bytes from the operating system's generator, guarded by
// one lock.  Returns false (and writes nothing useful) when the OS cannot give
// bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace text {
bool FillRandomBytes(uint8_t* out, size_t count);
}

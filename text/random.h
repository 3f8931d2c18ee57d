// Process-wide random bytes from the operating system's generator, guarded by
// one lock.  Returns false (and writes nothing useful) when the OS cannot give
// bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace text {
bool FillRandomBytes(uint8_t* out, size_t count);
// The same, for identifiers: never gives a value that it gave before in this
// process (it remembers the last 65536 values).
bool FillFreshRandomBytes(uint8_t* out, size_t count);
}  // namespace text

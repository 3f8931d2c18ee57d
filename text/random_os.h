// The operating system's random generator (getrandom or /dev/urandom on POSIX,
// BCryptGenRandom on Windows).  Implemented in random_posix.cpp /
// random_win32.cpp; callers go through text::FillRandomBytes, which holds the
// process-wide lock.
#pragma once

#include <cstddef>
#include <cstdint>

namespace text::os {
bool RandomBytes(uint8_t* out, size_t count);
}

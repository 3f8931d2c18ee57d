// The static C++ runtime carries std::random_device, which refers to the C
// library's arc4random.  The C library has it only from version 2.36 on, and
// that one reference would keep the add-in from loading on the 2.35 of
// Ubuntu 22.04, where the rest of the library loads.  Nothing in the add-in
// uses random_device; the link points the reference here instead (the
// linker's --wrap), and this draws from the kernel as the real one does.
#include <cstdint>

#include "text/random_os.h"

extern "C" uint32_t __wrap_arc4random(void) {
    uint32_t value = 0;
    text::os::RandomBytes(reinterpret_cast<uint8_t*>(&value), sizeof value);
    return value;
}

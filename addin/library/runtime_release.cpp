// The C++ runtime linked into this library gives its memory back when the
// library is unloaded.
//
// The runtime is linked statically so that the library loads beside any host
// runtime, which makes it a private copy: when it starts, it sets aside an
// emergency pool for exceptions thrown while memory is short (about 71 KiB).
// Nothing frees that pool when the library is unloaded, so a host that loads
// and unloads add-ins would lose it on every cycle.  The runtime's own
// free-resources hook releases it; this file is built only where the runtime
// is our private copy, never where the host's shared runtime would be freed.
#if !defined(__GNUC__)
#error "the emergency pool belongs to GCC's C++ runtime"
#endif

namespace __gnu_cxx {
// Defined by GCC's C++ runtime (eh_alloc.cc) for tools that check for leaks;
// declared in none of its public headers.
void __freeres();
}  // namespace __gnu_cxx

namespace {

// Runs when the library is unloaded, after the host's last call into it.  An
// exception thrown after this point still works; only a throw while memory is
// exhausted has no reserve left.
__attribute__((destructor)) void ReleaseRuntimeMemory() {
    __gnu_cxx::__freeres();
}

}  // namespace

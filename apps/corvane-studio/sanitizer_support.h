#pragma once
// Under AddressSanitizer, the OpenGL driver libraries that libglvnd and Mesa load and unload
// by themselves are kept loaded until exit: LeakSanitizer checks at exit, and allocations made
// in a library unloaded by then show no module name, so the suppressions file for those
// third-party libraries (tests/studio/lsan-suppressions.txt) could not name them.

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>

namespace corvane_studio {

inline void KeepDriversLoaded() {
    for (const char* library : {"libGLX_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"})
        dlopen(library, RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
}

}  // namespace corvane_studio
#else
namespace corvane_studio {
inline void KeepDriversLoaded() {}
}  // namespace corvane_studio
#endif

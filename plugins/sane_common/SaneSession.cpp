#include "SaneSession.h"

#include <dlfcn.h>
#include <link.h>
#include <sane/sane.h>

#include <cstring>
#include <mutex>

namespace {
std::mutex sessionMutex;
int references = 0;

// SANE backends keep allocations referenced from their own static data
// beyond sane_exit; the backends SANE loaded stay mapped, as this library
// and SANE itself do, so that those allocations stay theirs.
int PinBackend(dl_phdr_info* info, size_t, void*) {
    if (info->dlpi_name && std::strstr(info->dlpi_name, "/sane/libsane-")) {
        if (void* handle = dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE)) dlclose(handle);
    }
    return 0;
}
}  // namespace

extern "C" int MorvaneSaneAcquire(void) {
    std::lock_guard<std::mutex> lock(sessionMutex);
    if (references == 0) {
        SANE_Int version = 0;
        if (sane_init(&version, nullptr) != SANE_STATUS_GOOD) return 0;
    }
    ++references;
    return 1;
}

extern "C" void MorvaneSaneRelease(void) {
    std::lock_guard<std::mutex> lock(sessionMutex);
    if (references == 0) return;
    if (--references == 0) {
        dl_iterate_phdr(PinBackend, nullptr);
        sane_exit();
    }
}

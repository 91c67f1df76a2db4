#include "SaneSession.h"

#include <sane/sane.h>

#include <mutex>

namespace {
std::mutex sessionMutex;
int references = 0;
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
    if (--references == 0) sane_exit();
}

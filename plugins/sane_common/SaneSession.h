// One SANE session shared by the scanner plug-ins of a process. SANE keeps
// process-wide state: a plug-in that ended it with sane_exit while another
// still had a device open would pull that device away. Every plug-in takes
// a reference instead; the first starts SANE and the last ends it.
#pragma once

#if defined(__GNUC__)
#define MORVANE_SANE_EXPORT __attribute__((visibility("default")))
#else
#define MORVANE_SANE_EXPORT
#endif

extern "C" {
// Non-zero when SANE is running (started now or before).
MORVANE_SANE_EXPORT int MorvaneSaneAcquire(void);
// Gives back one reference taken by a successful MorvaneSaneAcquire.
MORVANE_SANE_EXPORT void MorvaneSaneRelease(void);
}

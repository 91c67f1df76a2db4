// Scanner driver library over SANE (libMorvaneSaneDriver.so): tells which
// scanners SANE can reach. The ability record's name lists every scanner
// found as "device vendor model", separated by "; ", so that a configured
// device name or model is found in it; GetScannerAbilityEx gives the record
// of one scanner.
#include <sane/sane.h>

#include <cstring>
#include <string>
#include <vector>

#include "SaneSession.h"
#include "devices/ScanLibraryApi.h"

#define DRIVER_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Scanner {
    std::string name, vendor, model, type;
};

bool acquired = false;
std::vector<Scanner> scanners;

std::string Describe(const Scanner& s) { return s.name + " " + s.vendor + " " + s.model; }

void Fill(MorvaneScannerAbility* record, const std::string& name) {
    std::memset(record, 0, sizeof(*record));
    std::strncpy(record->name, name.c_str(), sizeof(record->name) - 1);
}

}  // namespace

DRIVER_EXPORT int InitializeDriver(void) {
    if (!acquired) acquired = MorvaneSaneAcquire() != 0;
    return acquired ? 1 : 0;
}

DRIVER_EXPORT int InitializeScanner(void) {
    if (!acquired) return 0;
    scanners.clear();
    const SANE_Device** list = nullptr;
    if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || !list) return 0;
    try {
        for (const SANE_Device** d = list; *d; ++d) {
            if (!(*d)->name) continue;
            scanners.push_back({(*d)->name, (*d)->vendor ? (*d)->vendor : "", (*d)->model ? (*d)->model : "",
                                (*d)->type ? (*d)->type : ""});
        }
    } catch (...) {
        scanners.clear();
        return 0;
    }
    return scanners.empty() ? 0 : 1;
}

DRIVER_EXPORT int GetScannerAbility(MorvaneScannerAbility* record) {
    if (!record || scanners.empty()) return 0;
    std::string all;
    for (const Scanner& s : scanners) {
        const std::string one = Describe(s);
        const std::string next = all.empty() ? one : all + "; " + one;
        // Only whole descriptions go in.
        if (next.size() >= sizeof(record->name)) break;
        all = next;
    }
    Fill(record, all);
    return 1;
}

DRIVER_EXPORT int GetScannerAbilityEx(int index, MorvaneScannerAbility* record) {
    if (!record || index < 0 || static_cast<size_t>(index) >= scanners.size()) return 0;
    Fill(record, Describe(scanners[static_cast<size_t>(index)]));
    return 1;
}

DRIVER_EXPORT int GetScannerStatus(void) { return scanners.empty() ? 0 : 1; }

DRIVER_EXPORT int TerminateDriver(void) {
    scanners.clear();
    if (acquired) MorvaneSaneRelease();
    acquired = false;
    return 1;
}

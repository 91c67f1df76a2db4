/* Stand-in scanner driver library (see FakeScanControl.h). Built also
 * without GetScannerStatus (FAKE_OMIT_STATUS) for the missing-function case. */
#include <string.h>

#include "FakeScanControl.h"
#include "devices/ScanLibraryApi.h"

#define EXPORT __attribute__((visibility("default")))

static FakeDriverControl control = {"Fake FS-100 document scanner", 1, 1, 1, 0, 0};

EXPORT FakeDriverControl* FakeDriverState(void) { return &control; }

EXPORT int InitializeDriver(void) { return control.initDriver; }
EXPORT int InitializeScanner(void) { return control.initScanner; }

EXPORT int GetScannerAbility(MorvaneScannerAbility* record) {
    ++control.abilityCalls;
    memset(record, 0, sizeof(*record));
    memcpy(record->name, control.name, sizeof(record->name));
    return control.ability;
}

EXPORT int GetScannerAbilityEx(int index, MorvaneScannerAbility* record) {
    return index == 0 ? GetScannerAbility(record) : 0;
}

#ifndef FAKE_OMIT_STATUS
EXPORT int GetScannerStatus(void) { return 1; }
#endif

EXPORT int TerminateDriver(void) {
    ++control.terminateCalls;
    return 1;
}

/* Stand-in scanning library (see FakeScanControl.h). Built also without
 * TwainHavePaper (FAKE_OMIT_HAVE_PAPER) for the missing-function case. */
#include <stdlib.h>
#include <string.h>

#include "FakeScanControl.h"

#define EXPORT __attribute__((visibility("default")))

static FakeScanControl control = {1, 1, 0, 0, 16, 4, 8, 16, 1, 0, 0, 0, 0, {0}, {0}, "", ""};

EXPORT FakeScanControl* FakeScanState(void) { return &control; }

EXPORT int TwainSelectSource(void) { return control.selectResult; }

EXPORT int TwainSelectSourceEx(int reserved, const char* name) {
    (void)reserved;
    ++control.selectCalls;
    strncpy(control.selectedName, name ? name : "", sizeof(control.selectedName) - 1);
    return control.selectResult;
}

EXPORT int TwainSetSourceName(const char* name, int reserved) {
    (void)reserved;
    strncpy(control.sourceName, name ? name : "", sizeof(control.sourceName) - 1);
    return 1;
}

EXPORT int IsScanOnline(void) { return 1; }

EXPORT int TwainScanStart(int a0, int a1, int a2, int a3, int a4, int a5, int a6, int a7, int a8, int a9,
                          int a10, int a11, int a12, int a13, int a14) {
    const int v[15] = {a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14};
    memcpy(control.lastStart, v, sizeof(v));
    ++control.startCalls;
    return 1;
}

EXPORT int TwainSetADVParameter(int a, int b, int c) {
    control.advanced[0] = a;
    control.advanced[1] = b;
    control.advanced[2] = c;
    return 1;
}

EXPORT int TwainScanImageMemory(unsigned char** buffer, int* width, int* height, int* bitCount,
                                int* bytesPerRow) {
    ++control.scanCalls;
    *buffer = NULL;
    *width = control.width;
    *height = control.height;
    *bitCount = control.bitCount;
    *bytesPerRow = control.bytesPerRow;
    if (control.pages > 0) --control.pages;
    if (!control.scanResult) {
        /* A scan that stopped half way: what was read so far is left behind. */
        if (control.leaveBuffer) *buffer = (unsigned char*)malloc((size_t)control.bytesPerRow);
        return 0;
    }
    if (control.nullBuffer) return 1;
    /* A nonsensical geometry still gets a (one-byte) buffer to release. */
    size_t size = control.height > 0 && control.bytesPerRow > 0
                      ? (size_t)control.height * (size_t)control.bytesPerRow
                      : 0;
    unsigned char* page = (unsigned char*)malloc(size ? size : 1);
    if (!page) return 0;
    memset(page, FAKE_PADDING, size);
    size_t pixelBytes = ((size_t)control.width * (size_t)control.bitCount + 7) / 8;
    if (pixelBytes > (size_t)control.bytesPerRow) pixelBytes = (size_t)control.bytesPerRow;
    for (int y = 0; size && y < control.height; ++y)
        for (size_t x = 0; x < pixelBytes; ++x)
            page[(size_t)y * (size_t)control.bytesPerRow + x] = FAKE_PIXEL(x, y);
    *buffer = page;
    return 1;
}

EXPORT int TwainScanEnd(void) {
    ++control.endCalls;
    return 1;
}

#ifndef FAKE_OMIT_HAVE_PAPER
EXPORT int TwainHavePaper(void) { return control.pages > 0; }
#endif

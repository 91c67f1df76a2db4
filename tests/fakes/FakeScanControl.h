/* Stand-in scanner libraries for the tests: what they answer is set, and
 * what they were asked is recorded, through the control record that each
 * library hands out. A test keeps its own handle on the library so that the
 * record outlives the device's loading and unloading. */
#ifndef MORVANE_FAKE_SCAN_CONTROL_H
#define MORVANE_FAKE_SCAN_CONTROL_H

typedef struct FakeScanControl {
    /* answers */
    int selectResult; /* TwainSelectSourceEx */
    int scanResult;   /* TwainScanImageMemory */
    int leaveBuffer;  /* a failing scan leaves a partly filled buffer behind */
    int nullBuffer;   /* a succeeding scan delivers no buffer */
    int width, height, bitCount, bytesPerRow;
    int pages; /* sheets in the feeder; each scan takes one */
    /* records */
    int selectCalls, startCalls, endCalls, scanCalls;
    int lastStart[15];
    int advanced[3];
    char selectedName[256];
    char sourceName[256];
} FakeScanControl;

typedef struct FakeDriverControl {
    char name[512];  /* leading text of the ability record */
    int initDriver;  /* InitializeDriver answer */
    int initScanner; /* InitializeScanner answer */
    int ability;     /* GetScannerAbility answer */
    int terminateCalls;
    int abilityCalls;
} FakeDriverControl;

/* Value of byte x of delivered row y: tells rows and columns apart. */
#define FAKE_PIXEL(x, y) ((unsigned char)(((y)*7 + (x)*3 + 1) & 0xFF))
/* Value of the bytes past a row's pixels in the delivered buffer. */
#define FAKE_PADDING 0xEE

#endif

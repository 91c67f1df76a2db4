/* The two outside libraries behind a scanner device, as plain C.
 *
 * Scanner driver library (file named by the "DriverPath" attribute of the
 * "Scanner" element, under the scanner system directory). Used only to check
 * that the configured scanner is attached; it is loaded, asked and unloaded
 * again on every check.
 *
 *   int InitializeDriver(void);         non-zero when the driver started
 *   int InitializeScanner(void);        non-zero when a scanner answers
 *   int GetScannerAbility(MorvaneScannerAbility* ability);
 *                                       fills the record; non-zero on success
 *   int GetScannerAbilityEx(int index, MorvaneScannerAbility* ability);
 *                                       the record of scanner `index` (0 up)
 *   int GetScannerStatus(void);         non-zero when a scanner is ready
 *   int TerminateDriver(void);          always called last
 *
 * The ability record starts with a zero-terminated narrow string naming the
 * scanner(s); the device is present when that string contains the
 * configured device name.
 *
 * Scanning library (file name from the "ScanLibrary" attribute, default
 * "MorvaneSaneScan.dll", i.e. libMorvaneSaneScan.so). Every function answers
 * non-zero for success and 0 for failure unless said otherwise.
 *
 *   int TwainSelectSource(void);        selects the first attached scanner
 *   int TwainSelectSourceEx(int reserved, const char* name);
 *                                       selects the scanner by name
 *   int TwainSetSourceName(const char* name, int reserved);
 *                                       remembers the name for later re-opening
 *   int IsScanOnline(void);             non-zero when the selected scanner answers
 *   int TwainScanStart(int reserved, int showUI, int imageType, int resolution,
 *                      int attribute3, int attribute4, int left, int top,
 *                      int width, int height, int rotate, int invert,
 *                      int autoCrop, int autoRotate, int autoDuplex);
 *                                       starts (or, with unchanged values while
 *                                       pages are waiting, continues) a scan
 *   int TwainSetADVParameter(int blackWhite, int filterColor, int reserved);
 *   int TwainScanImageMemory(unsigned char** buffer, int* width, int* height,
 *                            int* bitCount, int* bytesPerRow);
 *                                       scans one page into a new buffer
 *   int TwainScanEnd(void);             ends the scan
 *   int TwainHavePaper(void);           non-zero when a page is waiting
 *
 * Page buffers are allocated with malloc(); the caller releases them with
 * free(), also after a failed call that left a non-null buffer behind.
 * Rows are top first, `bytesPerRow` bytes apart; 24-bit pixels are blue,
 * green, red; in 1-bit rows a set bit is black and the leftmost pixel is the
 * most significant bit.
 */
#ifndef MORVANE_SCAN_LIBRARY_API_H
#define MORVANE_SCAN_LIBRARY_API_H

#ifdef __cplusplus
extern "C" {
#endif

#define MORVANE_SCANNER_NAME_SIZE 512

typedef struct MorvaneScannerAbility {
    char name[MORVANE_SCANNER_NAME_SIZE]; /* zero-terminated; "device vendor model" */
    int maxResolution;                    /* dots per inch, 0 when unknown */
    int hasFeeder;                        /* non-zero: a document feeder is offered */
    int hasDuplex;                        /* non-zero: duplex feeding is offered */
    int reserved[13];
} MorvaneScannerAbility;

/* Image types of TwainScanStart. */
enum { MORVANE_SCAN_LINEART = 0, MORVANE_SCAN_GRAY = 1, MORVANE_SCAN_COLOR = 2 };

typedef int (*InitializeDriverFn)(void);
typedef int (*InitializeScannerFn)(void);
typedef int (*GetScannerAbilityFn)(MorvaneScannerAbility*);
typedef int (*GetScannerAbilityExFn)(int, MorvaneScannerAbility*);
typedef int (*GetScannerStatusFn)(void);
typedef int (*TerminateDriverFn)(void);

typedef int (*TwainSelectSourceFn)(void);
typedef int (*TwainScanStartFn)(int, int, int, int, int, int, int, int, int, int, int, int, int, int, int);
typedef int (*TwainScanImageMemoryFn)(unsigned char**, int*, int*, int*, int*);
typedef int (*TwainScanEndFn)(void);
typedef int (*TwainHavePaperFn)(void);
typedef int (*TwainSelectSourceExFn)(int, const char*);
typedef int (*TwainSetSourceNameFn)(const char*, int);
typedef int (*IsScanOnlineFn)(void);
typedef int (*TwainSetADVParameterFn)(int, int, int);

#ifdef __cplusplus
}
#endif

#endif

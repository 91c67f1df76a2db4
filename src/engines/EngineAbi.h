/* Records and function types exchanged with the recognition engine
 * libraries. Plain C so that the engine plug-ins built in this repository
 * (plugins/) include the same definitions the host uses. */
#ifndef MORVANE_ENGINE_ABI_H
#define MORVANE_ENGINE_ABI_H
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Gray-character engine (GrayCore) ----
 * GrayOcr_KernelInit(work, workSize, data): work is a zeroed area of
 *   GRAYOCR_WORK_SIZE bytes the engine keeps its state in; data is the whole
 *   data file followed by one terminating zero byte. 0 = ready.
 * GrayOcr_SetRange(range, work): selects the character classes the next
 *   recognitions may answer (GRAYOCR_RANGE_* bits; 0 = error). 0 = accepted.
 * GrayOcr_Recognize(image, height, width, candidates, scores, work): image
 *   holds height rows of width bytes (0 black, 255 white), at most 255 x 255.
 *   Fills ten UTF-16 candidates (best first, 0 after the last) and their
 *   scores (distances: smaller is better). 0 = recognised.
 * GrayOcr_KernelEnd(work): releases what KernelInit took. */
#define GRAYOCR_WORK_SIZE 20000
#define GRAYOCR_MAX_SIDE 255
#define GRAYOCR_RANGE_DIGITS 0x1u /* 0-9 */
#define GRAYOCR_RANGE_UPPER 0x2u  /* A-Z */
#define GRAYOCR_RANGE_LOWER 0x4u  /* a-z */
#define GRAYOCR_RANGE_OTHER 0x8u  /* every other character of the data file's set */
typedef int (*GrayOcrKernelInitFn)(void* work, int workSize, const void* data);
typedef int (*GrayOcrKernelEndFn)(void* work);
typedef int (*GrayOcrSetRangeFn)(int range, void* work);
typedef int (*GrayOcrRecognizeFn)(const uint8_t* image, int height, int width, uint16_t* candidates,
                                  uint16_t* scores, void* work);

/* ---- Printed-text line engine and the other line engines ----
 * RecogStart(a, mode, b), RecogEnd(), RecogOneRegion(region, a, b),
 * RecogOneRegionEx(region, a, b): region is a PrtLineRegion. The engine calls
 * onChar once per recognised character in reading order and onLineEnd at the
 * end of each text line; the other three call-backs are progress hooks. */
typedef struct PrtCharInfo {
    uint16_t code;                    /* best character (UTF-16) */
    int32_t left, top, right, bottom; /* in image coordinates */
    uint16_t candidates[5];           /* best first, 0 after the last */
    uint8_t scores[5];                /* distances: 0 best, 255 worst */
    uint8_t flags;                    /* engine-specific */
    int32_t extra;                    /* engine-specific */
} PrtCharInfo;

typedef int (*PrtHookFn)(void);
typedef int (*PrtLineEndFn)(void);
typedef int (*PrtCharFn)(const PrtCharInfo* info);

/* The image is one byte per pixel (0 black, 255 white), rows top first. */
typedef struct PrtLineRegion {
    int32_t width;
    int32_t height;
    uint8_t** rows;
    int32_t left, top, right, bottom;
    uint8_t reserved; /* 0 */
    int32_t one;      /* 1 */
    int32_t zero1;    /* 0 */
    int32_t zero2;    /* 0 */
    PrtHookFn onStart;
    PrtLineEndFn onLineEnd;
    PrtHookFn onProgress;
    PrtCharFn onChar;
    PrtHookFn onFinish;
} PrtLineRegion;

typedef int (*PrtRecogStartFn)(int32_t a, int32_t mode, int32_t b);
typedef int (*PrtRecogStartNoArgFn)(void);
typedef int (*PrtRecogEndFn)(void);
typedef int (*PrtRecogOneRegionFn)(PrtLineRegion* region, int32_t a, int32_t b);
typedef int (*PrtSetCharsetFn)(const uint16_t* charset);
typedef int (*PrtSetCharTypeFn)(int32_t type);
typedef int (*PrtSetLatticeParamFn)(int32_t a, int32_t b);

/* ---- Single printed Latin character engine ----
 * RecogSingleEng(rows, left, top, right, bottom, flags, out): out is a zeroed
 * record of PRTMC_RESULT_SIZE bytes; the best character is the 16-bit value
 * at byte 8 and its score the 16-bit value at byte 72. 0 = recognised. */
#define PRTMC_RESULT_SIZE 256
typedef int (*PrtMcLoadFn)(void);
typedef int (*PrtMcFreeFn)(void);
typedef int (*PrtMcRecogFn)(uint8_t** rows, int32_t left, int32_t top, int32_t right, int32_t bottom,
                            int32_t flags, uint8_t* out);

/* ---- Gray-image Chinese character engine ---- */
typedef struct GrayIdImage {
    int32_t zero;
    int32_t unused;
    uint8_t** rows;
    int32_t top, bottom, left, right;
    int32_t width, height;
} GrayIdImage;
/* Nine candidates as two-byte GBK codes (lead byte first) and their scores. */
typedef struct GrayIdResult {
    uint8_t codes[9][2];
    uint16_t scores[9];
} GrayIdResult;
typedef int (*GrayIdLoadFn)(int32_t a, int32_t b, int32_t c);
typedef int (*GrayIdFreeFn)(void);
typedef int (*GrayIdRecogRangeFn)(const GrayIdImage* image, GrayIdResult* out, int32_t first, int32_t last);
typedef int (*GrayIdRecogFn)(const GrayIdImage* image, GrayIdResult* out);

/* ---- Form engine (main type 2) and barcode engine (main type 3) ---- */
typedef int (*FormInitFn)(int32_t a, int32_t b);
typedef int (*FormVoidFn)(void);
typedef int (*FormSetFilterPlusFn)(const uint16_t* characters);
typedef int (*BarcodeRegisterFn)(void);
typedef int (*BarcodeLoadSdkFn)(void);

#ifdef __cplusplus
}
#endif
#endif

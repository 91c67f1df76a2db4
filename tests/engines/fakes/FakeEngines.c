/* Small stand-ins for the recognition libraries, built only for the tests.
 * One source, several libraries: FAKE_<KIND> selects what is exported. Each
 * records what the host passed so the tests can read it back through
 * Fake_Get(). */
#include <stdint.h>
#include <string.h>

#include "engines/EngineAbi.h"

#define EXPORT __attribute__((visibility("default")))

static int32_t g_values[16];

/* Values recorded by the last calls; index meaning per library. */
EXPORT int32_t Fake_Get(int i) { return i >= 0 && i < 16 ? g_values[i] : -1; }

#if defined(FAKE_PRINTED_CHAR)
EXPORT int LoadEnglishLibrary(void) { return 0; }
EXPORT int FreeEnglishLibrary(void) { return 0; }
EXPORT int RecogSingleEng(uint8_t** rows, int32_t l, int32_t t, int32_t r, int32_t b, int32_t flags,
                          uint8_t* out) {
    (void)rows;
    g_values[0] = l;
    g_values[1] = t;
    g_values[2] = r;
    g_values[3] = b;
    g_values[4] = flags;
    memset(out, 0x5A, 8); /* noise around the fields the host reads */
    out[8] = 'Q';
    out[9] = 0;
    out[10] = 'O';
    out[11] = 0;
    out[72] = 0xD2;
    out[73] = 0x04; /* 1234 */
    return 0;
}
#endif

#if defined(FAKE_GRAY_CHINESE)
EXPORT int LoadGrayChineseLibrary(int32_t a, int32_t b, int32_t c) {
    g_values[0] = a;
    g_values[1] = b;
    g_values[2] = c;
    return 0;
}
EXPORT int FreeGrayChineseLibrary(void) { return 0; }
static int Fill(const GrayIdImage* image, GrayIdResult* out, int which) {
    g_values[3] = which;
    g_values[4] = image->left;
    g_values[5] = image->top;
    g_values[6] = image->right;
    g_values[7] = image->bottom;
    g_values[8] = image->width;
    g_values[9] = image->height;
    out->codes[0][0] = 0xB0;
    out->codes[0][1] = 0xA1; /* U+554A */
    out->codes[1][0] = 0xD6;
    out->codes[1][1] = 0xD0; /* U+4E2D */
    out->codes[2][0] = '7';
    out->codes[2][1] = 0;
    for (int i = 0; i < 9; ++i) out->scores[i] = (uint16_t)(100 + i);
    return 0;
}
EXPORT int RecogGrayChineseChar(const GrayIdImage* image, GrayIdResult* out, int32_t first, int32_t last) {
    g_values[10] = first;
    g_values[11] = last;
    return Fill(image, out, 1);
}
EXPORT int RecogGrayChineseFamilyName(const GrayIdImage* image, GrayIdResult* out) {
    return Fill(image, out, 2);
}
EXPORT int RecogGrayNumberCharEx(const GrayIdImage* image, GrayIdResult* out) { return Fill(image, out, 3); }
EXPORT int RecogGrayChineseCharEx(const GrayIdImage* image, GrayIdResult* out) { return Fill(image, out, 4); }
#endif

#if defined(FAKE_GRAY_CORE)
EXPORT int GrayOcr_KernelInit(void* work, int size, const void* data) {
    g_values[0] = size;
    g_values[1] = (int32_t)strlen((const char*)data);
    memset(work, 0, 4);
    return strncmp((const char*)data, "fake", 4) == 0 ? 0 : 7;
}
EXPORT int GrayOcr_KernelEnd(void* work) {
    (void)work;
    g_values[2]++;
    return 0;
}
#if !defined(FAKE_NO_SET_RANGE)
EXPORT int GrayOcr_SetRange(int range, void* work) {
    (void)work;
    g_values[3] = range;
    return 0;
}
#endif
EXPORT int GrayOcr_Recognize(const uint8_t* image, int h, int w, uint16_t* cand, uint16_t* scores,
                             void* work) {
    (void)work;
    g_values[4] = h;
    g_values[5] = w;
    int64_t sum = 0;
    for (int i = 0; i < h * w; ++i) sum += image[i];
    g_values[6] = (int32_t)sum;
    g_values[7] = image[0];
    g_values[8] = image[w - 1];
    cand[0] = 'X';
    cand[1] = 'Y';
    scores[0] = 10;
    scores[1] = 50;
    return 0;
}
#endif

#if defined(FAKE_HAND)
EXPORT int RecogStart(int32_t a, int32_t mode, int32_t b) {
    g_values[0] = a;
    g_values[1] = mode;
    g_values[2] = b;
    return 0;
}
EXPORT int RecogEnd(void) { return 0; }
EXPORT int RecogOneRegion(PrtLineRegion* r, int32_t a, int32_t b) {
    (void)r;
    (void)a;
    (void)b;
    g_values[5]++;
    return 0;
}
EXPORT int RecogOneRegionEx(PrtLineRegion* r, int32_t a, int32_t b) {
    (void)r;
    (void)a;
    (void)b;
    g_values[5]++;
    return 0;
}
EXPORT int SetCharset(const uint16_t* c) {
    (void)c;
    return 0;
}
EXPORT int SetCharType(int32_t t) {
    (void)t;
    return 0;
}
EXPORT int SetLatticeParam(int32_t a, int32_t b) {
    (void)a;
    (void)b;
    return 0;
}
#endif

#if defined(FAKE_FORM)
EXPORT int frInit(int32_t a, int32_t b) {
    (void)a;
    (void)b;
    return 312324;
}
EXPORT int frQuit(void) { return 0; }
EXPORT int frSetFilterPlus(const uint16_t* c) {
    int n = 0;
    while (c && c[n]) ++n;
    g_values[0] = n;
    g_values[1] = c && n ? c[0] : 0;
    return 0;
}
// clang-format off
#define FR_STUB(name) EXPORT int name(void) { return 0; }
FR_STUB(frFreeFormTemplate) FR_STUB(frGetChoiceStr) FR_STUB(frGetLetters) FR_STUB(frFreeImg) FR_STUB(frRecognize)
FR_STUB(frSetRejectionSymbol) FR_STUB(frInsertZone) FR_STUB(frDeleteAllZones) FR_STUB(frStopWriteImg)
FR_STUB(frWriteImg) FR_STUB(frStartWriteImg) FR_STUB(frSetImgFormat) FR_STUB(frSetLanguagesPlus) FR_STUB(frFree)
FR_STUB(frSetLanguages)
// clang-format on
#endif

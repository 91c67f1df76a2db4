// The vector kernels of the pixel engines behind one dispatch table. The
// table is chosen once, on first use, from the processor's features; the
// environment variable MORVANE_SIMD ("scalar", "sse2" or "avx2") forces a
// lower tier (never one the processor lacks). Tests switch tiers with
// SetTier.
//
// Every kernel does the vector part of a loop and returns the index it
// stopped at; the caller finishes with its own scalar loop, which is the
// whole loop at the scalar tier (whose kernels do nothing). Every tier gives
// bit-identical results: the vector paths run the same integer, float and
// double operations in the same order as the scalar loops.
#pragma once
#include <cstdint>

namespace simd {

enum class Tier : int {
    kScalar = 0,
    kSse2 = 1,
    kAvx2 = 2,
};

// "scalar", "sse2" or "avx2".
const char* TierName(Tier tier);

// The tier a setting asks for, limited to `supported`; the highest
// supported tier for a null, empty or unknown setting.
Tier TierFromSetting(const char* setting, Tier supported);

// Interpolated 8-bit rotation of one destination row: the source rows one
// after the other in `bytes`, the tabulated column terms and the row terms.
struct RotateRow {
    const uint8_t* bytes = nullptr;
    int32_t stride = 0;
    int32_t width = 0;  // source size
    int32_t height = 0;
    double cx = 0, cy = 0;
    const double* colCos = nullptr;
    const double* colSin = nullptr;
    double rowSin = 0, rowCos = 0;
    // Computes destination pixel xd on its own (groups that leave the
    // source or touch its last row or column).
    void (*pixel)(const void* context, int32_t xd, uint8_t* out) = nullptr;
    const void* context = nullptr;
};

// Fixed-point bilinear resampling of one 8-bit destination row (see
// image/Warp.h): source positions in 1/65536 pixel, X = x + i * dx and
// Y = y + i * dy for the i-th pixel handed in. Every position handed to the
// kernel lies inside: 0 <= X >> 16 <= width - 2 and 0 <= Y >> 16 <= height - 3,
// so both source rows exist; `size` is the byte count of `bytes` (the
// kernel reads whole 16-byte pieces only inside it).
struct WarpRow {
    const uint8_t* bytes = nullptr;
    int64_t size = 0;
    int32_t stride = 0;
    int32_t x = 0, y = 0;
    int32_t dx = 0, dy = 0;
};

// The background-surface pass packs a window's background sum and count
// into one word: the sum in the low bits, the count from this bit on.
constexpr int kBackgroundCountShift = 19;
constexpr uint32_t kBackgroundSumMask = (1u << kBackgroundCountShift) - 1;

struct KernelTable {
    Tier tier = Tier::kScalar;

    // 1-bit packing, leftmost pixel in the high bit. out gets whole bytes.
    // in[x] < threshold for 1 <= threshold <= 255.
    int (*packBelow)(const uint8_t* in, int n, int threshold, uint8_t* out);
    // a[x] < b[x].
    int (*packLess)(const uint8_t* a, const uint8_t* b, int n, uint8_t* out);
    // flags[x] != 0.
    int (*packFlags)(const uint8_t* flags, int n, uint8_t* out);

    // Levels above cut become white (cut < 255).
    int (*flattenRow)(const uint8_t* in, int width, int cut, int white, uint8_t* out);
    // Sums of 2r + 1 packed column sums for the centres from `from` on
    // (wp[from - 1] holds the sum before).
    int (*packedWindowSums)(const uint32_t* cp, int n, int r, int from, uint32_t* wp);
    // Niblack thresholds of the window centres [from, end).
    int (*niblackCentres)(const uint32_t* wp, int from, int end, float inverseF, double inverseD,
                          uint8_t* ct);

    // Inner columns of the 7 x 7 smoothing of one row from column 3 on:
    // r0 the row, a, b, c the sums of the rows 1, 2 and 3 above and below.
    int (*smoothRow)(const uint8_t* r0, const uint16_t* a, const uint16_t* b, const uint16_t* c, int width,
                     int16_t* out);

    // Full windows of +-half columns from x on for two rows of column sums
    // (modulo 2^32); out[x - 1] holds the sum before x.
    int (*fullWindowSumsPair)(const uint32_t* a, const uint32_t* b, int x, int width, int half,
                              uint32_t* outA, uint32_t* outB);
    // The same for one row.
    int (*fullWindowSums)(const uint32_t* a, int x, int width, int half, uint32_t* out);
    // Sauvola pre-binarisation flags of one row.
    int (*sauvolaRow)(const int32_t* wa, const int32_t* wb, const double* inverse, double rowsInverse,
                      const uint8_t* row, uint8_t* f, int width);
    // Background-surface values of one row; the counts add into the totals.
    int (*surfaceRow)(const uint8_t* row, const uint8_t* mark, const uint32_t* packed, int width,
                      uint8_t* out, int64_t& rowFg, int64_t& rowBgSum, int64_t& rowExcess);
    // Final decisions of one row, eight pixels to a destination byte.
    int (*decideRow)(const uint8_t* row, const uint8_t* srow, const int32_t* below, const uint8_t* reversed,
                     int width, uint8_t* out);

    // Default luminance of one row of 24-bit pixels; dropBits marks the
    // gray levels whose luminance lands one below the level.
    int (*luminanceRow)(const uint8_t* in, uint8_t* out, int width, const uint8_t* dropBits);

    // Interpolated 8-bit rotation of one destination row. False when the
    // tier has no such kernel (the caller then does the row itself).
    bool (*rotateGrayRow)(const RotateRow& row, uint8_t* out, int32_t dstWidth);

    // Fixed-point bilinear resampling of the first destination pixels of
    // one 8-bit row (at most n); returns how many it did (the caller does
    // the rest: kernels handle only near-level grids).
    int (*warpGrayRow)(const WarpRow& row, int n, uint8_t* out);

    // B + 2G + R of the first pixels of a row of n 24-bit pixels; returns
    // how many it did (the caller does the rest).
    int (*graySumRow24)(const uint8_t* in, int n, uint16_t* out);

    // Niblack's running column sums moved down a row: cp[x] += packed(add[x])
    // - packed(sub[x]) (modulo 2^32), packed(v) = v + (((v * v) >> 8) << 16).
    int (*packedColumnUpdate)(uint32_t* cp, const uint8_t* add, const uint8_t* sub, int n);
};

// The table in effect.
const KernelTable& Active();
Tier ActiveTier();
// The highest tier this processor runs.
Tier SupportedTier();
// Switches to `tier`, limited to the supported one; returns the tier now in
// effect. For tests and benchmarks: not to be called while kernels run.
Tier SetTier(Tier tier);

}  // namespace simd

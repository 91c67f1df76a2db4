// Method 8: Sauvola pre-binarisation, a background surface, and a final
// threshold adapted to the surface. Window sums come from running column
// sums, which give exactly the sums of summed-area tables with scratch of a
// few rows.
#include <algorithm>
#include <cmath>
#include <vector>

#include "image/ThresholdEngines.h"
#include "image/simd/SimdKernels.h"

namespace {

// Window sums over the columns within +-half of each column (clipped) of two
// rows of column sums.
void ClippedWindowSums(const int32_t* __restrict a, const int32_t* __restrict b, int width, int half,
                       int32_t* __restrict outA, int32_t* __restrict outB) {
    int32_t sa = 0, sb = 0;
    const int first = std::min(half, width - 1);
    for (int x = 0; x <= first; ++x) {
        sa += a[x];
        sb += b[x];
    }
    outA[0] = sa;
    outB[0] = sb;
    int x = 1;
    // Growing window at the left edge.
    for (; x < width && x <= half && x + half < width; ++x) {
        sa += a[x + half];
        sb += b[x + half];
        outA[x] = sa;
        outB[x] = sb;
    }
    // Full windows, several columns per step at the vector tiers.
    const int next = simd::Active().fullWindowSumsPair(
        reinterpret_cast<const uint32_t*>(a), reinterpret_cast<const uint32_t*>(b), x, width, half,
        reinterpret_cast<uint32_t*>(outA), reinterpret_cast<uint32_t*>(outB));
    if (next != x) {
        x = next;
        sa = outA[x - 1];
        sb = outB[x - 1];
    }
    for (; x + half < width; ++x) {
        sa += a[x + half] - a[x - half - 1];
        sb += b[x + half] - b[x - half - 1];
        outA[x] = sa;
        outB[x] = sb;
    }
    // Shrinking (or, on narrow rows, constant) window at the right edge.
    for (; x < width; ++x) {
        if (x - half - 1 >= 0) {
            sa -= a[x - half - 1];
            sb -= b[x - half - 1];
        }
        outA[x] = sa;
        outB[x] = sb;
    }
}

// Adds one row's levels and squared levels to the column sums and takes
// another's away in a single sweep.
void ReplaceLevels(const uint8_t* __restrict addRow, const uint8_t* __restrict subRow, int width,
                   int32_t* __restrict sum, int32_t* __restrict squares) {
    for (int x = 0; x < width; ++x) {
        const int32_t a = addRow[x], b = subRow[x];
        sum[x] += a - b;
        squares[x] += a * a - b * b;
    }
}

// Adds (or takes away) one row's levels and squared levels to the column
// sums.
void AccumulateLevels(const uint8_t* __restrict row, int width, bool add, int32_t* __restrict sum,
                      int32_t* __restrict squares) {
    if (add) {
        for (int x = 0; x < width; ++x) {
            const int32_t v = row[x];
            sum[x] += v;
            squares[x] += v * v;
        }
    } else {
        for (int x = 0; x < width; ++x) {
            const int32_t v = row[x];
            sum[x] -= v;
            squares[x] -= v * v;
        }
    }
}

// The second pass keeps a background sum and a background count per column
// and per window in one word: the sum in the low kCountShift bits, the count
// above. A window holds at most 41 x 41 pixels, so the sum stays below
// 255 * 1681 < 2^19 and the count times 2^19 below 2^31: one 32-bit addition
// adds both, differences wrap modulo 2^32 and cancel, and both read back
// exactly.
constexpr int kCountShift = simd::kBackgroundCountShift;
constexpr uint32_t kSumMask = simd::kBackgroundSumMask;

// One pixel's packed contribution: its level and a count of one when it is
// background (`mark` 0), nothing when it is foreground (`mark` 1).
inline uint32_t PackedBackground(uint8_t v, uint8_t mark) {
    return (static_cast<uint32_t>(v) | (1u << kCountShift)) & (static_cast<uint32_t>(mark) - 1u);
}

// Adds one row's packed background and takes another's away (either may be
// null) in a single sweep over the column sums.
void UpdateBackground(const uint8_t* __restrict addRow, const uint8_t* __restrict addMark,
                      const uint8_t* __restrict subRow, const uint8_t* __restrict subMark, int width,
                      uint32_t* __restrict packed) {
    if (addRow && subRow) {
        for (int x = 0; x < width; ++x)
            packed[x] += PackedBackground(addRow[x], addMark[x]) - PackedBackground(subRow[x], subMark[x]);
    } else if (addRow) {
        for (int x = 0; x < width; ++x) packed[x] += PackedBackground(addRow[x], addMark[x]);
    } else if (subRow) {
        for (int x = 0; x < width; ++x) packed[x] -= PackedBackground(subRow[x], subMark[x]);
    }
}

// Window sums over the columns within +-half of each column (clipped) of one
// row of packed column sums (arithmetic modulo 2^32).
void ClippedWindowSumsPacked(const uint32_t* __restrict a, int width, int half, uint32_t* __restrict out) {
    uint32_t sa = 0;
    const int first = std::min(half, width - 1);
    for (int x = 0; x <= first; ++x) sa += a[x];
    out[0] = sa;
    int x = 1;
    for (; x < width && x <= half && x + half < width; ++x) {
        sa += a[x + half];
        out[x] = sa;
    }
    const int next = simd::Active().fullWindowSums(a, x, width, half, out);
    if (next != x) {
        x = next;
        sa = out[x - 1];
    }
    for (; x + half < width; ++x) {
        sa += a[x + half] - a[x - half - 1];
        out[x] = sa;
    }
    for (; x < width; ++x) {
        if (x - half - 1 >= 0) sa -= a[x - half - 1];
        out[x] = sa;
    }
}

}  // namespace

int BinarizeAdaptiveBackground(GrayRows src, int width, int height, BitRows dst) {
    if (width <= 0 || height <= 0) return 0;
    const int half = 20;
    const int64_t n = static_cast<int64_t>(width) * height;
    // The pre-binarisation runs half + 1 rows ahead of the surface, which
    // reads its marks from half + 1 rows above to half rows below: a ring of
    // 2 half + 2 rows holds all it needs.
    const int fgRows = std::min(height, 2 * half + 2);
    auto fg = ThresholdScratch<uint8_t>(static_cast<int64_t>(fgRows) * width);
    auto surface = ThresholdScratch<uint8_t>(n);
    auto colA = ThresholdScratch<int32_t>(width);
    auto colB = ThresholdScratch<int32_t>(width);
    auto winA = ThresholdScratch<int32_t>(width);
    auto winB = ThresholdScratch<int32_t>(width);
    auto colC = ThresholdScratch<uint32_t>(width);
    auto winC = ThresholdScratch<uint32_t>(width);
    auto inverse = ThresholdScratch<double>(width);
    if (!fg || !surface || !colA || !colB || !winA || !winB || !colC || !winC || !inverse) return 0;
    // 1 / (number of window columns) for each column.
    for (int x = 0; x < width; ++x)
        inverse[x] = 1.0 / (std::min(width - 1, x + half) - std::max(0, x - half) + 1);
    auto fgRow = [&](int y) { return fg.get() + static_cast<size_t>(y % fgRows) * width; };

    // 1. Sauvola pre-binarisation: window mean m and deviation s of the
    // values within +-half rows and columns; foreground where
    // m (1 + 0.2 (s / 128 - 1)) > v. produceFg(last) marks every row up to
    // `last` not marked yet.
    int32_t* ca1 = colA.get();
    int32_t* cb1 = colB.get();
    std::fill(ca1, ca1 + width, 0);
    std::fill(cb1, cb1 + width, 0);
    int fgNext = 0;
    auto produceFg = [&](int last) {
        int32_t* ca = ca1;
        int32_t* cb = cb1;
        auto addRow = [&](int k, int sign) { AccumulateLevels(src[k], width, sign > 0, ca, cb); };
        if (fgNext == 0)
            for (int k = 0; k <= std::min(half, height - 1); ++k) addRow(k, 1);
        for (; fgNext <= last; ++fgNext) {
            const int y = fgNext;
            if (y > 0) {
                const bool add = y + half < height, sub = y - half - 1 >= 0;
                if (add && sub)
                    ReplaceLevels(src[y + half], src[y - half - 1], width, ca, cb);
                else if (add)
                    addRow(y + half, 1);
                else if (sub)
                    addRow(y - half - 1, -1);
            }
            ClippedWindowSums(ca, cb, width, half, winA.get(), winB.get());
            const double rowsInverse = 1.0 / (std::min(height - 1, y + half) - std::max(0, y - half) + 1);
            const uint8_t* row = src[y];
            uint8_t* f = fgRow(y);
            const int32_t* wa = winA.get();
            const int32_t* wb = winB.get();
            int x = simd::Active().sauvolaRow(wa, wb, inverse.get(), rowsInverse, row, f, width);
            for (; x < width; ++x) {
                const double inv = rowsInverse * inverse[x];
                const double m = wa[x] * inv;
                const double var = wb[x] * inv - m * m;
                const double sd = var > 0 ? std::sqrt(var) : 0.0;
                const double t = m * (1 + 0.2 * (sd / 128 - 1));
                f[x] = t > row[x];
            }
        }
    };
    // 2. Background surface: a background pixel keeps its value, a
    // foreground pixel takes the mean of the background pixels in its
    // window (0 when there are none).
    int64_t foreground = 0, background = 0, bgSum = 0, excess = 0;
    {
        std::vector<double> countInverse(static_cast<size_t>(2 * half + 1) * (2 * half + 1) + 1, 0.0);
        for (size_t c = 1; c < countInverse.size(); ++c) countInverse[c] = 1.0 / static_cast<double>(c);
        uint32_t* ca = colC.get();
        std::fill(ca, ca + width, 0u);
        produceFg(std::min(half, height - 1));
        for (int k = 0; k <= std::min(half, height - 1); ++k)
            UpdateBackground(src[k], fgRow(k), nullptr, nullptr, width, ca);
        for (int y = 0; y < height; ++y) {
            if (y > 0) {
                const bool add = y + half < height, sub = y - half - 1 >= 0;
                if (add) produceFg(y + half);
                UpdateBackground(add ? src[y + half] : nullptr, add ? fgRow(y + half) : nullptr,
                                 sub ? src[y - half - 1] : nullptr, sub ? fgRow(y - half - 1) : nullptr,
                                 width, ca);
            }
            ClippedWindowSumsPacked(ca, width, half, winC.get());
            const uint8_t* row = src[y];
            const uint8_t* f = fgRow(y);
            uint8_t* out = surface.get() + static_cast<size_t>(y) * width;
            int64_t rowFg = 0, rowBgSum = 0, rowExcess = 0;
            // Without branches: the foreground mark of a page is irregular.
            // floor(S / C): the quotient is at least 0.5 / C away from the
            // next integer, far above the rounding here; a count of 0 meets
            // the inverse 0 and gives 0.
            const uint32_t* wp = winC.get();
            const double* ci = countInverse.data();
            int x = simd::Active().surfaceRow(row, f, wp, width, out, rowFg, rowBgSum, rowExcess);
            for (; x < width; ++x) {
                const int v = row[x];
                const int isFg = f[x];
                const int mean = static_cast<int>(((wp[x] & kSumMask) + 0.5) * ci[wp[x] >> kCountShift]);
                const int select = -isFg;  // all ones on foreground
                const int b = v ^ ((v ^ mean) & select);
                rowFg += isFg;
                rowBgSum += v & ~select;
                out[x] = static_cast<uint8_t>(b);
                rowExcess += b - v;
            }
            foreground += rowFg;
            background += width - rowFg;
            bgSum += rowBgSum;
            excess += rowExcess;
        }
    }
    // A page without foreground or without background has nothing to
    // separate: it stays white.
    if (foreground == 0 || background == 0) return 1;
    // 3-4. Final threshold, a function of the surface value only: black
    // where B - v > d(B), that is v < ceil(B - d(B)) for whole v.
    const double delta = static_cast<double>(excess) / foreground;
    const double meanBg = std::max(static_cast<double>(bgSum) / background, 1e-9);
    const double p1 = 0.5, p2 = 0.8, q = 0.7;
    int32_t below[256];
    for (int b = 0; b < 256; ++b) {
        const double d =
            q * delta *
            ((1 - p2) / (1 + std::exp(-4.0 * b / (meanBg * (1 - p1)) + 2 * (1 + p1) / (1 - p1))) + p2);
        // Smallest whole v with b - v <= d, i.e. v >= b - d.
        const double edge = std::ceil(b - d);
        int k = edge < 0 ? 0 : (edge > 256 ? 256 : static_cast<int>(edge));
        // Guard against rounding of b - d: move k so that exactly the v
        // with b - v > d are below it.
        while (k > 0 && !(b - (k - 1) > d)) --k;
        while (k < 256 && b - k > d) ++k;
        below[b] = k;
    }
    // Bit order of a byte reversed: lane masks have the first pixel in the
    // low bit, destination bytes in the high bit.
    uint8_t reversed[256];
    for (int m = 0; m < 256; ++m) {
        int r = 0;
        for (int k = 0; k < 8; ++k) r |= ((m >> k) & 1) << (7 - k);
        reversed[m] = static_cast<uint8_t>(r);
    }
    // Eight decisions straight into each destination byte, first pixel in
    // the high bit; bits past the width stay 0.
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = src[y];
        const uint8_t* srow = surface.get() + static_cast<size_t>(y) * width;
        uint8_t* out = dst[y];
        int x = simd::Active().decideRow(row, srow, below, reversed, width, out);
        for (; x < width; x += 8) {
            const int end = std::min(8, width - x);
            unsigned byte = 0;
            if (end == 8) {
                for (int k = 0; k < 8; ++k)
                    byte |= static_cast<unsigned>(row[x + k] < below[srow[x + k]]) << (7 - k);
            } else {
                for (int k = 0; k < end; ++k)
                    byte |= static_cast<unsigned>(row[x + k] < below[srow[x + k]]) << (7 - k);
            }
            out[x >> 3] = static_cast<uint8_t>(byte);
        }
    }
    return 1;
}

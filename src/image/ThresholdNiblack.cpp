// Method 3: background flattening, then the local mean minus 0.2 deviation
// of a square window around each pixel. Window sums come from running column
// sums and per-row prefix sums, which give exactly the sums of summed-area
// tables with scratch of a few rows.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/BitPack.h"
#include "image/ThresholdEngines.h"
#include "image/simd/SimdKernels.h"

namespace {

// One row through the flattening: levels above the cut become the white
// level.
void FlattenRow(const uint8_t* in, int width, const FlattenLevels& levels, uint8_t* out) {
    if (levels.cut >= 255) {
        std::memcpy(out, in, static_cast<size_t>(width));
        return;
    }
    for (int x = simd::Active().flattenRow(in, width, levels.cut, levels.white, out); x < width; ++x)
        out[x] = in[x] > levels.cut ? static_cast<uint8_t>(levels.white) : in[x];
}

// A pixel's value v and its scaled square (v * v) >> 8 packed into one word,
// the square in the high half. Sums of up to 257 such words keep both halves
// below 65536, so one 32-bit addition adds both quantities at once and the
// halves read back exactly (differences wrap modulo 2^32 and cancel).
inline uint32_t PackedLevel(uint32_t v) { return v + (((v * v) >> 8) << 16); }

// Sums of 2r + 1 consecutive packed column sums for every centre column
// r .. n-1-r.
void WindowSums(const uint32_t* __restrict cp, int n, int r, uint32_t* __restrict wp) {
    uint32_t s = 0;
    for (int k = 0; k < 2 * r + 1; ++k) s += cp[k];
    wp[r] = s;
    // Several centres per step at the vector tiers.
    int cx = simd::Active().packedWindowSums(cp, n, r, r + 1, wp);
    s = wp[cx - 1];
    for (; cx <= n - 1 - r; ++cx) {
        s += cp[cx + r] - cp[cx - r - 1];
        wp[cx] = s;
    }
}

}  // namespace

int CNiblackBinary::Run(GrayRows src, int width, int height, BitRows dst) {
    // The flattened page is made row by row as the window reaches each row,
    // into a ring of rows (the whole page for the small-page paths).
    int64_t h[256];
    GrayHistogram(src, width, height, h);
    const FlattenLevels levels = FlattenFromHistogram(h);
    const bool smallPage = width < 8 || height < 8;
    int r = width >= 17 ? 7 : (width - 1) / 2 - 1;
    if (!smallPage && height - 1 < 2 * r + 2) r = (height - 1) / 2 - 1;
    const int tw = width - 1, th = height - 1;
    const bool global = smallPage || r < 3 || static_cast<int64_t>(tw) * th < 500;
    const int ringRows = global ? height : 2 * r + 2;
    auto ring = ThresholdScratch<uint8_t>(static_cast<int64_t>(ringRows) * width);
    if (!ring) return 1;
    int nextRow = 0;
    auto rowOf = [&](int y) {
        while (nextRow <= y) {
            uint8_t* out = ring.get() + static_cast<size_t>(nextRow % ringRows) * width;
            FlattenRow(src[nextRow], width, levels, out);
            ++nextRow;
        }
        return static_cast<const uint8_t*>(ring.get() + static_cast<size_t>(y % ringRows) * width);
    };

    if (width < 8 || height < 8) {
        for (int y = 0; y < height; ++y) bitpack::PackBelow(rowOf(y), width, 128, dst[y]);
        return 1;
    }
    // The tables cover the first width - 1 columns and height - 1 rows.
    if (global) {
        int64_t s = 0, s2 = 0;
        for (int y = 0; y < th; ++y) {
            const uint8_t* row = rowOf(y);
            for (int x = 0; x < tw; ++x) {
                s += row[x];
                s2 += row[x] * row[x] / 256;
            }
        }
        const int m = static_cast<uint8_t>(s / height / width);
        const double d = std::sqrt(std::fabs(static_cast<double>(s2 * 256 / height / width - m * m)));
        const int t = std::min(255, (m - static_cast<int>(0.2 * d)) & 255);
        for (int y = 0; y < th; ++y) bitpack::PackBelow(rowOf(y), tw, t, dst[y]);
        return 1;
    }

    // Per pixel: the (2r+1)^2 window centred on the pixel, its centre moved
    // inwards where the window would leave the tabulated area.
    const int side = 2 * r + 1;
    const int area = side * side;
    // Per window: m = floor(S / area), v = |floor(256 Q / area) - m^2|,
    // threshold (m - trunc(0.2 sqrt(v))) mod 256. The floors are taken as
    // (n + 0.5) times the inverse area: the exact quotient is at least
    // 0.5 / area away from the next integer, far more than the rounding of
    // these products (checked for every value the windows can produce), and
    // trunc(0.2 sqrt(v)) in single precision equals the double one for every
    // v up to 65536. This keeps the loop free of divisions and tables.
    const float inverseF = 1.0f / static_cast<float>(area);
    const double inverseD = 1.0 / area;
    // Column and window sums hold the level sum in the low half and the sum
    // of scaled squares in the high half (at most 225 * 255 each).
    auto colSum = ThresholdScratch<uint32_t>(tw);
    auto winSum = ThresholdScratch<uint32_t>(tw);
    auto centre = ThresholdScratch<uint8_t>(tw);  // threshold per window centre column
    auto thr = ThresholdScratch<uint8_t>(tw);     // threshold per column of the row
    if (!colSum || !winSum || !centre || !thr) return 1;
    int windowTop = -1;
    for (int y = 0; y < th; ++y) {
        const int cy = std::clamp(y, r, th - 1 - r);
        const int top = cy - r;
        if (top != windowTop) {
            uint32_t* cp = colSum.get();
            if (windowTop < 0 || top != windowTop + 1) {
                std::fill(cp, cp + tw, 0u);
                for (int k = top; k < top + side; ++k) {
                    const uint8_t* row = rowOf(k);
                    for (int x = 0; x < tw; ++x) cp[x] += PackedLevel(row[x]);
                }
            } else {
                const uint8_t* addRow = rowOf(top + side - 1);
                const uint8_t* subRow = rowOf(windowTop);
                for (int x = simd::Active().packedColumnUpdate(cp, addRow, subRow, tw); x < tw; ++x)
                    cp[x] += PackedLevel(addRow[x]) - PackedLevel(subRow[x]);
            }
            windowTop = top;
            const uint32_t* wp = winSum.get();
            WindowSums(cp, tw, r, winSum.get());
            uint8_t* ct = centre.get();
            int cx = simd::Active().niblackCentres(wp, r, tw - r, inverseF, inverseD, ct);
            for (; cx <= tw - 1 - r; ++cx) {
                const int m = static_cast<int>((static_cast<float>(wp[cx] & 0xFFFF) + 0.5f) * inverseF);
                const int qa = static_cast<int>((static_cast<double>(wp[cx] >> 16) * 256.0 + 0.5) * inverseD);
                const int var = std::abs(qa - m * m);
                const int d = static_cast<int>(0.2f * std::sqrt(static_cast<float>(var)));
                ct[cx] = static_cast<uint8_t>((m - d) & 255);
            }
            uint8_t* t = thr.get();
            std::fill(t, t + r, centre[r]);
            std::copy(centre.get() + r, centre.get() + tw - r, t + r);
            std::fill(t + tw - r, t + tw, centre[tw - 1 - r]);
        }
        bitpack::PackLess(rowOf(y), thr.get(), tw, dst[y]);
    }
    return 1;
}

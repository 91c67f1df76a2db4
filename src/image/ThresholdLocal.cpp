// Engines with a threshold per pixel or per block: methods 2, 3, 6 and 8.
// Window sums come from running column sums and per-row prefix sums, which
// give exactly the sums of summed-area tables with scratch of a few rows.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "image/BitPack.h"
#include "image/BitPixels.h"
#include "image/ThresholdEngines.h"

namespace {

inline void SetBlack(BitRows dst, int x, int y) { bitpixels::Set(dst[y], x); }

template <typename T>
std::unique_ptr<T[]> Scratch(int64_t n) {
    if (n <= 0) n = 1;
    return std::unique_ptr<T[]>(new (std::nothrow) T[static_cast<size_t>(n)]);
}

}  // namespace

// ---------------------------------------------------------------- method 2

int CImgPro::Run(GrayRows src, int width, int height, BitRows dst) {
    const int r = 4;
    if (width < 17 || height < 18) return 1;  // no pixel has all eight points
    // Window means for rows 4 .. height - 6 and columns 4 .. width - 5,
    // integer means of the 81 values.
    auto means = Scratch<uint8_t>(static_cast<int64_t>(width) * height);
    auto colSum = Scratch<int32_t>(width);
    if (!means || !colSum) return 1;
    for (int x = 0; x < width; ++x) {
        int32_t s = 0;
        for (int k = 0; k <= 2 * r; ++k) s += src[k][x];
        colSum[x] = s;
    }
    for (int y = r; y <= height - 6; ++y) {
        if (y > r)
            for (int x = 0; x < width; ++x) colSum[x] += src[y + r][x] - src[y - r - 1][x];
        uint8_t* m = means.get() + static_cast<size_t>(y) * width;
        int32_t s = 0;
        for (int k = 0; k <= 2 * r; ++k) s += colSum[k];
        for (int x = r; x <= width - 5; ++x) {
            if (x > r) s += colSum[x + r] - colSum[x - r - 1];
            m[x] = static_cast<uint8_t>(s / 81);
        }
    }
    auto mean = [&](int x, int y) { return static_cast<int>(means[static_cast<size_t>(y) * width + x]); };
    for (int y = 8; y < height - 9; ++y) {
        const uint8_t* row = src[y];
        for (int x = 8; x < width - 8; ++x) {
            const int v = row[x];
            auto dark = [&](int dx, int dy) { return mean(x + dx, y + dy) - v > 20.0; };
            if ((dark(-r, 0) && dark(r, 0)) || (dark(0, -r) && dark(0, r))) {
                if ((dark(r, -r) && dark(-r, r)) || (dark(r, r) && dark(-r, -r))) SetBlack(dst, x, y);
            }
        }
    }
    return 1;
}

// ---------------------------------------------------------------- method 3

namespace {

// One row through the flattening: levels above the cut become the white
// level.
void FlattenRow(const uint8_t* in, int width, const FlattenLevels& levels, uint8_t* out) {
    int x = 0;
    if (levels.cut >= 255) {
        std::memcpy(out, in, static_cast<size_t>(width));
        return;
    }
#if defined(__SSE2__)
    const __m128i cut = _mm_set1_epi8(static_cast<char>(levels.cut));
    const __m128i white = _mm_set1_epi8(static_cast<char>(levels.white));
    for (; x + 16 <= width; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
        // v <= cut  <=>  min(v, cut) == v
        const __m128i keep = _mm_cmpeq_epi8(_mm_min_epu8(v, cut), v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                         _mm_or_si128(_mm_and_si128(keep, v), _mm_andnot_si128(keep, white)));
    }
#endif
    for (; x < width; ++x) out[x] = in[x] > levels.cut ? static_cast<uint8_t>(levels.white) : in[x];
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
    int cx = r + 1;
#if defined(__SSE2__)
    // Four centres per step: the four differences are summed as a running
    // prefix inside the vector and added to the last sum of the step before.
    __m128i carry = _mm_set1_epi32(static_cast<int>(s));
    for (; cx + 4 <= n - r; cx += 4) {
        __m128i d = _mm_sub_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cp + cx + r)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(cp + cx - r - 1)));
        d = _mm_add_epi32(d, _mm_slli_si128(d, 4));
        d = _mm_add_epi32(d, _mm_slli_si128(d, 8));
        d = _mm_add_epi32(d, carry);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(wp + cx), d);
        carry = _mm_shuffle_epi32(d, _MM_SHUFFLE(3, 3, 3, 3));
    }
    s = wp[cx - 1];
#endif
    for (; cx <= n - 1 - r; ++cx) {
        s += cp[cx + r] - cp[cx - r - 1];
        wp[cx] = s;
    }
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MORVANE_NIBLACK_AVX2 1
// Thresholds of eight window centres per step from the packed window sums,
// with the same float and double operations in the same order as the
// narrower loops (no fused multiply-add is enabled). Starts at `from`, stops
// before a step would pass `end`, and returns the next centre to do.
__attribute__((target("avx2"))) int NiblackCentresAvx2(const uint32_t* wp, int from, int end, float inverseF,
                                                       double inverseD, uint8_t* ct) {
    const __m256 halfF = _mm256_set1_ps(0.5f), invF = _mm256_set1_ps(inverseF), fifth = _mm256_set1_ps(0.2f);
    const __m256d halfD = _mm256_set1_pd(0.5), invD = _mm256_set1_pd(inverseD), k256 = _mm256_set1_pd(256.0);
    const __m256i lowHalf = _mm256_set1_epi32(0xFFFF), byteMask = _mm256_set1_epi32(255);
    int cx = from;
    for (; cx + 8 <= end; cx += 8) {
        const __m256i pv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(wp + cx));
        const __m256i sv = _mm256_and_si256(pv, lowHalf);
        const __m256i qv = _mm256_srli_epi32(pv, 16);
        const __m256i m = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_add_ps(_mm256_cvtepi32_ps(sv), halfF), invF));
        const __m256d qlo = _mm256_cvtepi32_pd(_mm256_castsi256_si128(qv));
        const __m256d qhi = _mm256_cvtepi32_pd(_mm256_extracti128_si256(qv, 1));
        const __m128i alo = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(qlo, k256), halfD), invD));
        const __m128i ahi = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(qhi, k256), halfD), invD));
        const __m256i qa = _mm256_inserti128_si256(_mm256_castsi128_si256(alo), ahi, 1);
        const __m256i var = _mm256_abs_epi32(_mm256_sub_epi32(qa, _mm256_mullo_epi32(m, m)));
        const __m256i d = _mm256_cvttps_epi32(_mm256_mul_ps(fifth, _mm256_sqrt_ps(_mm256_cvtepi32_ps(var))));
        const __m256i t = _mm256_and_si256(_mm256_sub_epi32(m, d), byteMask);
        const __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(t), _mm256_extracti128_si256(t, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(ct + cx), _mm_packus_epi16(words, words));
    }
    return cx;
}
#endif

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
    auto ring = Scratch<uint8_t>(static_cast<int64_t>(ringRows) * width);
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
    auto colSum = Scratch<uint32_t>(tw);
    auto winSum = Scratch<uint32_t>(tw);
    auto centre = Scratch<uint8_t>(tw);  // threshold per window centre column
    auto thr = Scratch<uint8_t>(tw);     // threshold per column of the row
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
                for (int x = 0; x < tw; ++x) cp[x] += PackedLevel(addRow[x]) - PackedLevel(subRow[x]);
            }
            windowTop = top;
            const uint32_t* wp = winSum.get();
            WindowSums(cp, tw, r, winSum.get());
            uint8_t* ct = centre.get();
            int cx = r;
#ifdef MORVANE_NIBLACK_AVX2
            static const bool hasAvx2 = __builtin_cpu_supports("avx2") != 0;
            if (hasAvx2) cx = NiblackCentresAvx2(wp, cx, tw - r, inverseF, inverseD, ct);
#endif
#if defined(__SSE2__)
            const __m128 halfF = _mm_set1_ps(0.5f), invF = _mm_set1_ps(inverseF), fifth = _mm_set1_ps(0.2f);
            const __m128d halfD = _mm_set1_pd(0.5), invD = _mm_set1_pd(inverseD), k256 = _mm_set1_pd(256.0);
            const __m128i byteMask = _mm_set1_epi32(255), lowHalf = _mm_set1_epi32(0xFFFF);
            for (; cx + 4 <= tw - r; cx += 4) {
                const __m128i pv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(wp + cx));
                const __m128i sv = _mm_and_si128(pv, lowHalf);
                const __m128i qv = _mm_srli_epi32(pv, 16);
                const __m128i m = _mm_cvttps_epi32(_mm_mul_ps(_mm_add_ps(_mm_cvtepi32_ps(sv), halfF), invF));
                const __m128d qlo = _mm_cvtepi32_pd(qv);
                const __m128d qhi = _mm_cvtepi32_pd(_mm_shuffle_epi32(qv, _MM_SHUFFLE(1, 0, 3, 2)));
                const __m128i alo = _mm_cvttpd_epi32(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(qlo, k256), halfD), invD));
                const __m128i ahi = _mm_cvttpd_epi32(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(qhi, k256), halfD), invD));
                const __m128i qa = _mm_unpacklo_epi64(alo, ahi);
                // m <= 255, so the 16-bit product holds m * m whole.
                const __m128i v = _mm_sub_epi32(qa, _mm_mullo_epi16(m, m));
                const __m128i sign = _mm_srai_epi32(v, 31);
                const __m128i var = _mm_sub_epi32(_mm_xor_si128(v, sign), sign);
                const __m128i d = _mm_cvttps_epi32(_mm_mul_ps(fifth, _mm_sqrt_ps(_mm_cvtepi32_ps(var))));
                const __m128i t = _mm_and_si128(_mm_sub_epi32(m, d), byteMask);
                const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(t, t), _mm_setzero_si128());
                const int word = _mm_cvtsi128_si32(packed);
                std::memcpy(ct + cx, &word, 4);
            }
#endif
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

// ---------------------------------------------------------------- method 6

namespace {

// The 7 x 7 smoothing kernel; row and column 3 are the centre.
const int kKernel[7][7] = {
    {23, 117, 211, 234, 211, 117, 23},
    {117, 540, 915, 1056, 915, 540, 117},
    {211, 915, 1549, 1807, 1549, 915, 211},
    {234, 1056, 1807, 2113, 1807, 1056, 234},
    {211, 915, 1549, 1807, 1549, 915, 211},
    {117, 540, 915, 1056, 915, 540, 117},
    {23, 117, 211, 234, 211, 117, 23},
};

}  // namespace

int BinarizeBlockMinMax(GrayRows src, int width, int height, BitRows dst) {
    const int bw = (width + 7) / 8, bh = (height + 7) / 8;
    const int64_t blocks = static_cast<int64_t>(bw) * bh;
    auto lo = Scratch<int32_t>(blocks);
    auto hi = Scratch<int32_t>(blocks);

    auto c1 = Scratch<uint16_t>(width);
    auto c2 = Scratch<uint16_t>(width);
    auto c3 = Scratch<uint16_t>(width);
    auto thr16 = Scratch<int16_t>(width);
    auto flags = Scratch<uint8_t>(width);
    if (!lo || !hi || !c1 || !c2 || !c3 || !thr16 || !flags) return 0;
    std::fill(lo.get(), lo.get() + blocks, 0);
    std::fill(hi.get(), hi.get() + blocks, 0);

    // 1-2. Smooth rows 3 .. height - 4 and record block minimum and maximum.
    // Per column minimum and maximum run over the 8 rows of a block row and
    // are folded into the blocks when the block row is complete.
    auto sm = Scratch<int16_t>(width);
    auto colMin = Scratch<int16_t>(width);
    auto colMax = Scratch<int16_t>(width);
    if (!sm || !colMin || !colMax) return 0;
    for (int y = 3; y <= height - 4; ++y) {
        const uint8_t* r0 = src[y];
        {
            const uint8_t *u1 = src[y - 1], *d1 = src[y + 1], *u2 = src[y - 2], *d2 = src[y + 2];
            const uint8_t *u3 = src[y - 3], *d3 = src[y + 3];
            uint16_t* a = c1.get();
            uint16_t* b = c2.get();
            uint16_t* c = c3.get();
            for (int x = 0; x < width; ++x) {
                a[x] = static_cast<uint16_t>(u1[x] + d1[x]);
                b[x] = static_cast<uint16_t>(u2[x] + d2[x]);
                c[x] = static_cast<uint16_t>(u3[x] + d3[x]);
            }
        }
        // Inner columns: the 25 positions whose offsets have equal parity,
        // grouped by equal weight: g0 centre (2113), g1 distance 2 on an
        // axis (1056), g2 diagonal 2 (540), g3 diagonal 1 (1549), g4 the
        // (1, 3) knight positions (211), g5 diagonal 3 (23).
        {
            const uint16_t* a = c1.get();
            const uint16_t* b = c2.get();
            const uint16_t* c = c3.get();
            int16_t* out = sm.get();
            int x = 3;
#if defined(__SSE2__)
            const __m128i zero = _mm_setzero_si128();
            const __m128i k01 = _mm_set1_epi32((1056 << 16) | 2113);
            const __m128i k23 = _mm_set1_epi32((1549 << 16) | 540);
            const __m128i k45 = _mm_set1_epi32((23 << 16) | 211);
            auto bytes = [&](const uint8_t* p) {
                return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
            };
            auto words = [](const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
            for (; x + 8 <= width - 3; x += 8) {
                const __m128i g0 = bytes(r0 + x);
                const __m128i g1 = _mm_add_epi16(_mm_add_epi16(bytes(r0 + x - 2), bytes(r0 + x + 2)), words(b + x));
                const __m128i g2 = _mm_add_epi16(words(b + x - 2), words(b + x + 2));
                const __m128i g3 = _mm_add_epi16(words(a + x - 1), words(a + x + 1));
                const __m128i g4 = _mm_add_epi16(_mm_add_epi16(words(a + x - 3), words(a + x + 3)),
                                                 _mm_add_epi16(words(c + x - 1), words(c + x + 1)));
                const __m128i g5 = _mm_add_epi16(words(c + x - 3), words(c + x + 3));
                const __m128i lo = _mm_add_epi32(
                    _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(g0, g1), k01),
                                  _mm_madd_epi16(_mm_unpacklo_epi16(g2, g3), k23)),
                    _mm_madd_epi16(_mm_unpacklo_epi16(g4, g5), k45));
                const __m128i hi = _mm_add_epi32(
                    _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(g0, g1), k01),
                                  _mm_madd_epi16(_mm_unpackhi_epi16(g2, g3), k23)),
                    _mm_madd_epi16(_mm_unpackhi_epi16(g4, g5), k45));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                                 _mm_packs_epi32(_mm_srai_epi32(lo, 14), _mm_srai_epi32(hi, 14)));
            }
#endif
            for (; x < width - 3; ++x) {
                const int g0 = r0[x];
                const int g1 = r0[x - 2] + r0[x + 2] + b[x];
                const int g2 = b[x - 2] + b[x + 2];
                const int g3 = a[x - 1] + a[x + 1];
                const int g4 = a[x - 3] + a[x + 3] + c[x - 1] + c[x + 1];
                const int g5 = c[x - 3] + c[x + 3];
                out[x] = static_cast<int16_t>((2113 * g0 + 1056 * g1 + 540 * g2 + 1549 * g3 + 211 * g4 + 23 * g5) >> 14);
            }
        }
        // Three columns at each side: all 49 weights, columns clamped.
        auto border = [&](int x) {
            int s = 0;
            for (int dy = -3; dy <= 3; ++dy) {
                const uint8_t* row = src[y + dy];
                for (int dx = -3; dx <= 3; ++dx) {
                    const int cx = std::clamp(x + dx, 0, width - 1);
                    s += kKernel[dy + 3][dx + 3] * row[cx];
                }
            }
            sm[x] = static_cast<int16_t>(s >> 15);
        };
        for (int x = 0; x < std::min(3, width); ++x) border(x);
        for (int x = std::max(3, width - 3); x < width; ++x) border(x);

        const int phase = (y - 3) & 7;
        int16_t* mn = colMin.get();
        int16_t* mx = colMax.get();
        const int16_t* v = sm.get();
        if (phase == 0) {
            std::copy(v, v + width, mn);
            std::copy(v, v + width, mx);
        } else {
            for (int x = 0; x < width; ++x) {
                mn[x] = std::min(mn[x], v[x]);
                mx[x] = std::max(mx[x], v[x]);
            }
        }
        if (phase == 7 || y == height - 4) {
            const int64_t base = static_cast<int64_t>((y - 3) / 8) * bw;
            for (int bx = 0; bx < bw; ++bx) {
                const int x0 = bx * 8, x1 = std::min(width, x0 + 8);
                int l = mn[x0], h = mx[x0];
                for (int x = x0 + 1; x < x1; ++x) {
                    l = std::min<int>(l, mn[x]);
                    h = std::max<int>(h, mx[x]);
                }
                lo[base + bx] = l;
                hi[base + bx] = h;
            }
        }
    }
    // 3. Block thresholds, 0 where the contrast is too low to decide, in a
    // grid with a border of zeros so that every block has eight neighbours.
    const int pw = bw + 2;
    const int64_t padded = static_cast<int64_t>(pw) * (bh + 2);
    auto padA = Scratch<int32_t>(padded);
    auto padB = Scratch<int32_t>(padded);
    if (!padA || !padB) return 0;
    int32_t* cur = padA.get();
    int32_t* next = padB.get();
    std::fill(cur, cur + padded, 0);
    std::fill(next, next + padded, 0);
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            const int64_t b = static_cast<int64_t>(by) * bw + bx;
            cur[(by + 1) * static_cast<int64_t>(pw) + bx + 1] = hi[b] - lo[b] <= 40 ? 0 : (hi[b] + lo[b]) / 2;
        }
    const int64_t offsets[8] = {-pw - 1, -pw, -pw + 1, -1, 1, pw - 1, pw, pw + 1};
    // (sum + n / 2) / n for n = 2..9 by multiplication (sums stay far below
    // 2^24 / 81).
    uint64_t reciprocal[10] = {};
    for (int n = 2; n <= 9; ++n) reciprocal[n] = ((uint64_t{1} << 24) + n - 1) / n;
    auto spread = [&](const int32_t* grid, int64_t p, int32_t& value) {
        int sum = grid[p], n = grid[p] != 0;
        for (int64_t o : offsets) {
            const int v = grid[p + o];
            sum += v;
            n += v != 0;
        }
        if (n <= 1) return false;
        value = static_cast<int32_t>((static_cast<uint64_t>(sum + n / 2) * reciprocal[n]) >> 24);
        return true;
    };
    // 4. Spread: the first two passes renew every block from the rounded
    // mean of the non-zero values around it; later passes only fill blocks
    // still undetermined. Both buffers hold the same values afterwards.
    int pass = 0;
    bool changed = true;
    for (; pass < 2 && pass < 100 && changed; ++pass) {
        changed = false;
        for (int by = 0; by < bh; ++by)
            for (int bx = 0; bx < bw; ++bx) {
                const int64_t p = (by + 1) * static_cast<int64_t>(pw) + bx + 1;
                int32_t v = cur[p];
                spread(cur, p, v);
                next[p] = v;
                changed |= v != cur[p];
            }
        std::swap(cur, next);
    }
    if (changed) {
        std::vector<int64_t> open;
        for (int by = 0; by < bh; ++by)
            for (int bx = 0; bx < bw; ++bx) {
                const int64_t p = (by + 1) * static_cast<int64_t>(pw) + bx + 1;
                if (cur[p] == 0) open.push_back(p);
            }
        std::vector<std::pair<int64_t, int32_t>> filled;
        for (; pass < 100 && !open.empty(); ++pass) {
            filled.clear();
            size_t keep = 0;
            for (int64_t p : open) {
                int32_t v;
                if (spread(cur, p, v))
                    filled.push_back({p, v});
                else
                    open[keep++] = p;
            }
            open.resize(keep);
            if (filled.empty()) break;
            for (const auto& f : filled) cur[f.first] = f.second;
        }
    }
    // Blocks still undetermined take 128; back to an unpadded grid.
    int32_t* thresholds = lo.get();
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            const int32_t v = cur[(by + 1) * static_cast<int64_t>(pw) + bx + 1];
            thresholds[static_cast<int64_t>(by) * bw + bx] = v == 0 ? 128 : v;
        }

    // 5. Threshold the 1-2-1 weighted 3 x 3 sums of the original page.
    const int leftCol = width > 1 ? 1 : 0;
    const int rightCol = width > 1 ? width - 2 : 0;
    int thrRow = -1;
    for (int y = 1; y <= height - 2; ++y) {
        const uint8_t* a = src[y - 1];
        const uint8_t* m = src[y];
        const uint8_t* c = src[y + 1];
        uint16_t* col = c1.get();
        for (int x = 0; x < width; ++x) col[x] = static_cast<uint16_t>(a[x] + 2 * m[x] + c[x]);
        if (y / 8 != thrRow) {
            thrRow = y / 8;
            const int32_t* thr = thresholds + static_cast<int64_t>(thrRow) * bw;
            for (int x = 0; x < width; ++x) thr16[x] = static_cast<int16_t>(16 * thr[x >> 3]);
        }
        const int16_t* t = thr16.get();
        uint8_t* f = flags.get();
        const int16_t* cs = reinterpret_cast<const int16_t*>(col);
        f[0] = col[leftCol] + 2 * col[0] + col[width > 1 ? 1 : 0] < t[0];
        for (int x = 1; x < width - 1; ++x)
            f[x] = static_cast<int16_t>(cs[x - 1] + 2 * cs[x] + cs[x + 1]) < t[x];
        if (width > 1) f[width - 1] = col[width - 2] + 2 * col[width - 1] + col[rightCol] < t[width - 1];
        bitpack::PackFlags(f, width, dst[y]);
    }
    return 1;
}

// ---------------------------------------------------------------- method 8

namespace {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MORVANE_WINDOW_AVX2 1
// Full windows from column x on, eight columns per step, arithmetic modulo
// 2^32; out[x - 1] must hold the window sum before x. The differences of a
// step are summed as a prefix inside each half of the vector, the low half's
// total is added to the high half, and the running total of the steps
// before is added last; that total advances by the step's own sum, so the
// chain from step to step is a single addition. Returns the next column.
__attribute__((target("avx2"))) int FullWindowSumsAvx2(const uint32_t* a, int x, int width, int half,
                                                       uint32_t* out) {
    if (!(x + half + 8 <= width && x - half - 1 >= 0)) return x;
    const __m256i last = _mm256_set1_epi32(7);
    __m256i carry = _mm256_set1_epi32(static_cast<int>(out[x - 1]));
    for (; x + half + 8 <= width; x += 8) {
        __m256i d = _mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + x + half)),
                                     _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + x - half - 1)));
        d = _mm256_add_epi32(d, _mm256_slli_si256(d, 4));
        d = _mm256_add_epi32(d, _mm256_slli_si256(d, 8));
        const __m256i lowTotal = _mm256_shuffle_epi32(d, _MM_SHUFFLE(3, 3, 3, 3));
        d = _mm256_add_epi32(d, _mm256_permute2x128_si256(lowTotal, lowTotal, 0x08));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_add_epi32(d, carry));
        carry = _mm256_add_epi32(carry, _mm256_permutevar8x32_epi32(d, last));
    }
    return x;
}
#endif

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
#ifdef MORVANE_WINDOW_AVX2
    static const bool hasAvx2 = __builtin_cpu_supports("avx2") != 0;
    if (hasAvx2 && x < width) {
        FullWindowSumsAvx2(reinterpret_cast<const uint32_t*>(a), x, width, half, reinterpret_cast<uint32_t*>(outA));
        const int next = FullWindowSumsAvx2(reinterpret_cast<const uint32_t*>(b), x, width, half,
                                            reinterpret_cast<uint32_t*>(outB));
        if (next != x) {
            x = next;
            sa = outA[x - 1];
            sb = outB[x - 1];
        }
    }
#endif
    // Full windows, four columns per step: the differences are summed as a
    // running prefix inside the vector and added to the last sums before.
#if defined(__SSE2__)
    if (x + half + 4 <= width && x - half - 1 >= 0) {
        __m128i carryA = _mm_set1_epi32(sa), carryB = _mm_set1_epi32(sb);
        for (; x + half + 4 <= width; x += 4) {
            __m128i da = _mm_sub_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x + half)),
                                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x - half - 1)));
            __m128i db = _mm_sub_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x + half)),
                                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x - half - 1)));
            da = _mm_add_epi32(da, _mm_slli_si128(da, 4));
            db = _mm_add_epi32(db, _mm_slli_si128(db, 4));
            da = _mm_add_epi32(_mm_add_epi32(da, _mm_slli_si128(da, 8)), carryA);
            db = _mm_add_epi32(_mm_add_epi32(db, _mm_slli_si128(db, 8)), carryB);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(outA + x), da);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(outB + x), db);
            carryA = _mm_shuffle_epi32(da, _MM_SHUFFLE(3, 3, 3, 3));
            carryB = _mm_shuffle_epi32(db, _MM_SHUFFLE(3, 3, 3, 3));
        }
        sa = outA[x - 1];
        sb = outB[x - 1];
    }
#endif
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
constexpr int kCountShift = 19;
constexpr uint32_t kSumMask = (1u << kCountShift) - 1;

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
#ifdef MORVANE_WINDOW_AVX2
    static const bool hasAvx2 = __builtin_cpu_supports("avx2") != 0;
    if (hasAvx2 && x < width) {
        const int next = FullWindowSumsAvx2(a, x, width, half, out);
        if (next != x) {
            x = next;
            sa = out[x - 1];
        }
    }
#endif
#if defined(__SSE2__)
    if (x + half + 4 <= width && x - half - 1 >= 0) {
        __m128i carry = _mm_set1_epi32(static_cast<int>(sa));
        for (; x + half + 4 <= width; x += 4) {
            __m128i d = _mm_sub_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x + half)),
                                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x - half - 1)));
            d = _mm_add_epi32(d, _mm_slli_si128(d, 4));
            d = _mm_add_epi32(_mm_add_epi32(d, _mm_slli_si128(d, 8)), carry);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), d);
            carry = _mm_shuffle_epi32(d, _MM_SHUFFLE(3, 3, 3, 3));
        }
        sa = out[x - 1];
    }
#endif
    for (; x + half < width; ++x) {
        sa += a[x + half] - a[x - half - 1];
        out[x] = sa;
    }
    for (; x < width; ++x) {
        if (x - half - 1 >= 0) sa -= a[x - half - 1];
        out[x] = sa;
    }
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Surface values of eight columns per step. floor(S / C) comes from a single
// precision division: for S <= 255 C and C <= 1681 the quotient is exact when
// whole and otherwise at least 1 / C below the next integer, far above the
// rounding of the division (checked for every such pair), so it equals the
// scalar rounding-free floor. Counts add into the row totals; returns the
// number of columns done.
__attribute__((target("avx2"))) int SurfaceRowAvx2(const uint8_t* row, const uint8_t* mark, const uint32_t* packed,
                                                   int width, uint8_t* out, int64_t& rowFg, int64_t& rowBgSum,
                                                   int64_t& rowExcess) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i sumMask = _mm256_set1_epi32(static_cast<int>(kSumMask));
    __m256i fgAcc = zero, bgAcc = zero, exAcc = zero;
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m256i v = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + x)));
        const __m256i m = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(mark + x)));
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(packed + x));
        const __m256i s = _mm256_and_si256(p, sumMask);
        const __m256i c = _mm256_srli_epi32(p, kCountShift);
        __m256i mean = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(s), _mm256_cvtepi32_ps(c)));
        mean = _mm256_andnot_si256(_mm256_cmpeq_epi32(c, zero), mean);  // no background: 0
        const __m256i fgLanes = _mm256_cmpgt_epi32(m, zero);
        const __m256i b = _mm256_blendv_epi8(v, mean, fgLanes);
        fgAcc = _mm256_add_epi32(fgAcc, m);
        bgAcc = _mm256_add_epi32(bgAcc, _mm256_andnot_si256(fgLanes, v));
        exAcc = _mm256_add_epi32(exAcc, _mm256_sub_epi32(b, v));
        const __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(b), _mm256_extracti128_si256(b, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(words, words));
    }
    alignas(32) int32_t lanes[3][8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[0]), fgAcc);
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[1]), bgAcc);
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[2]), exAcc);
    for (int k = 0; k < 8; ++k) {
        rowFg += lanes[0][k];
        rowBgSum += lanes[1][k];
        rowExcess += lanes[2][k];
    }
    return x;
}
#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Final decisions of eight pixels per step: the level below which a pixel
// is black is gathered from `below` by the surface value, and the eight
// comparisons become one destination byte, first pixel in the high bit.
// Returns the number of pixels done (a multiple of eight).
__attribute__((target("avx2"))) int DecideRowAvx2(const uint8_t* row, const uint8_t* srow, const int32_t* below,
                                                  const uint8_t* reversed, int width, uint8_t* out) {
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m256i v = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + x)));
        const __m256i b = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(srow + x)));
        const __m256i k = _mm256_i32gather_epi32(below, b, 4);
        const int mask = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(k, v)));
        out[x >> 3] = reversed[mask];
    }
    return x;
}

#define MORVANE_SAUVOLA_AVX2 1
// The pre-binarisation decision for four columns per step in AVX2 double
// vectors: the same double operations in the same order as the scalar
// code (no fused multiply-add is enabled), so every decision is the same.
// Returns the number of columns done; the caller finishes the row.
__attribute__((target("avx2"))) int SauvolaRowAvx2(const int32_t* wa, const int32_t* wb, const double* inverse,
                                                   double rowsInverse, const uint8_t* row, uint8_t* f, int width) {
    const __m256d rowsInv = _mm256_set1_pd(rowsInverse), zero = _mm256_setzero_pd();
    const __m256d one = _mm256_set1_pd(1.0), fifth = _mm256_set1_pd(0.2), by128 = _mm256_set1_pd(1.0 / 128);
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m256d inv = _mm256_mul_pd(rowsInv, _mm256_loadu_pd(inverse + x));
        const __m256d m = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(wa + x))), inv);
        const __m256d q = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(wb + x))), inv);
        const __m256d var = _mm256_sub_pd(q, _mm256_mul_pd(m, m));
        const __m256d sd = _mm256_sqrt_pd(_mm256_max_pd(var, zero));
        const __m256d t =
            _mm256_mul_pd(m, _mm256_add_pd(one, _mm256_mul_pd(fifth, _mm256_sub_pd(_mm256_mul_pd(sd, by128), one))));
        int32_t four;
        std::memcpy(&four, row + x, 4);
        const __m256d v = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(four)));
        const int mask = _mm256_movemask_pd(_mm256_cmp_pd(t, v, _CMP_GT_OQ));
        // Spread the four mask bits to the low bits of four bytes.
        const uint32_t bytes = ((static_cast<uint32_t>(mask) * 0x00204081u) & 0x01010101u);
        std::memcpy(f + x, &bytes, 4);
    }
    return x;
}
#endif

}  // namespace

int BinarizeAdaptiveBackground(GrayRows src, int width, int height, BitRows dst) {
    if (width <= 0 || height <= 0) return 0;
    const int half = 20;
    const int64_t n = static_cast<int64_t>(width) * height;
    // The pre-binarisation runs half + 1 rows ahead of the surface, which
    // reads its marks from half + 1 rows above to half rows below: a ring of
    // 2 half + 2 rows holds all it needs.
    const int fgRows = std::min(height, 2 * half + 2);
    auto fg = Scratch<uint8_t>(static_cast<int64_t>(fgRows) * width);
    auto surface = Scratch<uint8_t>(n);
    auto colA = Scratch<int32_t>(width);
    auto colB = Scratch<int32_t>(width);
    auto winA = Scratch<int32_t>(width);
    auto winB = Scratch<int32_t>(width);
    auto colC = Scratch<uint32_t>(width);
    auto winC = Scratch<uint32_t>(width);
    auto inverse = Scratch<double>(width);
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
            int x = 0;
#ifdef MORVANE_SAUVOLA_AVX2
            static const bool hasAvx2 = __builtin_cpu_supports("avx2") != 0;
            if (hasAvx2) x = SauvolaRowAvx2(wa, wb, inverse.get(), rowsInverse, row, f, width);
#endif
#if defined(__SSE2__)
            const __m128d rowsInv = _mm_set1_pd(rowsInverse), zero = _mm_setzero_pd();
            const __m128d one = _mm_set1_pd(1.0), fifth = _mm_set1_pd(0.2), by128 = _mm_set1_pd(1.0 / 128);
            for (; x + 2 <= width; x += 2) {
                const __m128d inv = _mm_mul_pd(rowsInv, _mm_loadu_pd(inverse.get() + x));
                const __m128d m =
                    _mm_mul_pd(_mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(wa + x))), inv);
                const __m128d q =
                    _mm_mul_pd(_mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(wb + x))), inv);
                const __m128d var = _mm_sub_pd(q, _mm_mul_pd(m, m));
                const __m128d sd = _mm_sqrt_pd(_mm_max_pd(var, zero));
                const __m128d t = _mm_mul_pd(m, _mm_add_pd(one, _mm_mul_pd(fifth, _mm_sub_pd(_mm_mul_pd(sd, by128), one))));
                const __m128d v = _mm_set_pd(row[x + 1], row[x]);
                const int mask = _mm_movemask_pd(_mm_cmpgt_pd(t, v));
                f[x] = static_cast<uint8_t>(mask & 1);
                f[x + 1] = static_cast<uint8_t>(mask >> 1);
            }
#endif
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
                                 sub ? src[y - half - 1] : nullptr, sub ? fgRow(y - half - 1) : nullptr, width, ca);
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
            int x = 0;
#ifdef MORVANE_SAUVOLA_AVX2
            static const bool hasAvx2 = __builtin_cpu_supports("avx2") != 0;
            if (hasAvx2) x = SurfaceRowAvx2(row, f, wp, width, out, rowFg, rowBgSum, rowExcess);
#endif
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
        const double d = q * delta * ((1 - p2) / (1 + std::exp(-4.0 * b / (meanBg * (1 - p1)) + 2 * (1 + p1) / (1 - p1))) + p2);
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
        int x = 0;
#ifdef MORVANE_SAUVOLA_AVX2
        static const bool hasAvx2 = __builtin_cpu_supports("avx2") != 0;
        if (hasAvx2) x = DecideRowAvx2(row, srow, below, reversed, width, out);
#endif
        for (; x < width; x += 8) {
            const int end = std::min(8, width - x);
            unsigned byte = 0;
            if (end == 8) {
                for (int k = 0; k < 8; ++k) byte |= static_cast<unsigned>(row[x + k] < below[srow[x + k]]) << (7 - k);
            } else {
                for (int k = 0; k < end; ++k) byte |= static_cast<unsigned>(row[x + k] < below[srow[x + k]]) << (7 - k);
            }
            out[x >> 3] = static_cast<uint8_t>(byte);
        }
    }
    return 1;
}

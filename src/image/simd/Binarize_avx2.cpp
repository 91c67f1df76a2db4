// AVX2 kernels of the thresholding engines. Where a narrower SSE2 loop
// exists it finishes what the eight-lane loop leaves, as before.
#include "image/simd/SimdTiers.h"

#ifdef MORVANE_SIMD_X86
#include <immintrin.h>

#include <cstring>

namespace simd::avx2 {

namespace {

// Full windows from column x on, eight columns per step, arithmetic modulo
// 2^32; out[x - 1] must hold the window sum before x. The differences of a
// step are summed as a prefix inside each half of the vector, the low half's
// total is added to the high half, and the running total of the steps
// before is added last; that total advances by the step's own sum, so the
// chain from step to step is a single addition. Returns the next column.
int FullWindowSumsEight(const uint32_t* a, int x, int width, int half, uint32_t* out) {
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

}  // namespace

// Sixteen columns per step: the pixels widened to 16 bits in order, squared
// and shifted, interleaved with the values into packed words (within each
// 128-bit half), and the halves put back in column order.
int PackedColumnUpdate(uint32_t* cp, const uint8_t* add, const uint8_t* sub, int n) {
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        const __m256i a = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(add + x)));
        const __m256i b = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sub + x)));
        const __m256i aq = _mm256_srli_epi16(_mm256_mullo_epi16(a, a), 8);
        const __m256i bq = _mm256_srli_epi16(_mm256_mullo_epi16(b, b), 8);
        const __m256i lo = _mm256_sub_epi32(_mm256_unpacklo_epi16(a, aq), _mm256_unpacklo_epi16(b, bq));
        const __m256i hi = _mm256_sub_epi32(_mm256_unpackhi_epi16(a, aq), _mm256_unpackhi_epi16(b, bq));
        __m256i* c0 = reinterpret_cast<__m256i*>(cp + x);
        __m256i* c1 = reinterpret_cast<__m256i*>(cp + x + 8);
        _mm256_storeu_si256(
            c0, _mm256_add_epi32(_mm256_loadu_si256(c0), _mm256_permute2x128_si256(lo, hi, 0x20)));
        _mm256_storeu_si256(
            c1, _mm256_add_epi32(_mm256_loadu_si256(c1), _mm256_permute2x128_si256(lo, hi, 0x31)));
    }
    return sse2::PackedColumnUpdate(cp + x, add + x, sub + x, n - x) + x;
}

// Thresholds of eight window centres per step from the packed window sums,
// with the same float and double operations in the same order as the
// narrower loops (no fused multiply-add is enabled).
int NiblackCentres(const uint32_t* wp, int from, int end, float inverseF, double inverseD, uint8_t* ct) {
    const __m256 halfF = _mm256_set1_ps(0.5f), invF = _mm256_set1_ps(inverseF), fifth = _mm256_set1_ps(0.2f);
    const __m256d halfD = _mm256_set1_pd(0.5), invD = _mm256_set1_pd(inverseD), k256 = _mm256_set1_pd(256.0);
    const __m256i lowHalf = _mm256_set1_epi32(0xFFFF), byteMask = _mm256_set1_epi32(255);
    int cx = from;
    for (; cx + 8 <= end; cx += 8) {
        const __m256i pv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(wp + cx));
        const __m256i sv = _mm256_and_si256(pv, lowHalf);
        const __m256i qv = _mm256_srli_epi32(pv, 16);
        const __m256i m =
            _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_add_ps(_mm256_cvtepi32_ps(sv), halfF), invF));
        const __m256d qlo = _mm256_cvtepi32_pd(_mm256_castsi256_si128(qv));
        const __m256d qhi = _mm256_cvtepi32_pd(_mm256_extracti128_si256(qv, 1));
        const __m128i alo =
            _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(qlo, k256), halfD), invD));
        const __m128i ahi =
            _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(qhi, k256), halfD), invD));
        const __m256i qa = _mm256_inserti128_si256(_mm256_castsi128_si256(alo), ahi, 1);
        const __m256i var = _mm256_abs_epi32(_mm256_sub_epi32(qa, _mm256_mullo_epi32(m, m)));
        const __m256i d = _mm256_cvttps_epi32(_mm256_mul_ps(fifth, _mm256_sqrt_ps(_mm256_cvtepi32_ps(var))));
        const __m256i t = _mm256_and_si256(_mm256_sub_epi32(m, d), byteMask);
        const __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(t), _mm256_extracti128_si256(t, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(ct + cx), _mm_packus_epi16(words, words));
    }
    return sse2::NiblackCentres(wp, cx, end, inverseF, inverseD, ct);
}

int FullWindowSumsPair(const uint32_t* a, const uint32_t* b, int x, int width, int half, uint32_t* outA,
                       uint32_t* outB) {
    FullWindowSumsEight(a, x, width, half, outA);
    x = FullWindowSumsEight(b, x, width, half, outB);
    return sse2::FullWindowSumsPair(a, b, x, width, half, outA, outB);
}

int FullWindowSums(const uint32_t* a, int x, int width, int half, uint32_t* out) {
    x = FullWindowSumsEight(a, x, width, half, out);
    return sse2::FullWindowSums(a, x, width, half, out);
}

// The pre-binarisation decision for four columns per step in double
// vectors: the same double operations in the same order as the scalar code
// (no fused multiply-add is enabled), so every decision is the same.
int SauvolaRow(const int32_t* wa, const int32_t* wb, const double* inverse, double rowsInverse,
               const uint8_t* row, uint8_t* f, int width) {
    const __m256d rowsInv = _mm256_set1_pd(rowsInverse), zero = _mm256_setzero_pd();
    const __m256d one = _mm256_set1_pd(1.0), fifth = _mm256_set1_pd(0.2), by128 = _mm256_set1_pd(1.0 / 128);
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m256d inv = _mm256_mul_pd(rowsInv, _mm256_loadu_pd(inverse + x));
        const __m256d m =
            _mm256_mul_pd(_mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(wa + x))), inv);
        const __m256d q =
            _mm256_mul_pd(_mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(wb + x))), inv);
        const __m256d var = _mm256_sub_pd(q, _mm256_mul_pd(m, m));
        const __m256d sd = _mm256_sqrt_pd(_mm256_max_pd(var, zero));
        const __m256d t = _mm256_mul_pd(
            m, _mm256_add_pd(one, _mm256_mul_pd(fifth, _mm256_sub_pd(_mm256_mul_pd(sd, by128), one))));
        int32_t four;
        std::memcpy(&four, row + x, 4);
        const __m256d v = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(four)));
        const int mask = _mm256_movemask_pd(_mm256_cmp_pd(t, v, _CMP_GT_OQ));
        // Spread the four mask bits to the low bits of four bytes.
        const uint32_t bytes = ((static_cast<uint32_t>(mask) * 0x00204081u) & 0x01010101u);
        std::memcpy(f + x, &bytes, 4);
    }
    return sse2::SauvolaRow(wa, wb, inverse, rowsInverse, row, f, width, x);
}

// Surface values of eight columns per step. floor(S / C) comes from a single
// precision division: for S <= 255 C and C <= 1681 the quotient is exact when
// whole and otherwise at least 1 / C below the next integer, far above the
// rounding of the division (checked for every such pair), so it equals the
// scalar rounding-free floor.
int SurfaceRow(const uint8_t* row, const uint8_t* mark, const uint32_t* packed, int width, uint8_t* out,
               int64_t& rowFg, int64_t& rowBgSum, int64_t& rowExcess) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i sumMask = _mm256_set1_epi32(static_cast<int>(kBackgroundSumMask));
    __m256i fgAcc = zero, bgAcc = zero, exAcc = zero;
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m256i v = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + x)));
        const __m256i m = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(mark + x)));
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(packed + x));
        const __m256i s = _mm256_and_si256(p, sumMask);
        const __m256i c = _mm256_srli_epi32(p, kBackgroundCountShift);
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

// Final decisions of eight pixels per step: the level below which a pixel
// is black is gathered from `below` by the surface value, and the eight
// comparisons become one destination byte, first pixel in the high bit.
int DecideRow(const uint8_t* row, const uint8_t* srow, const int32_t* below, const uint8_t* reversed,
              int width, uint8_t* out) {
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

}  // namespace simd::avx2

#endif

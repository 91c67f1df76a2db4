// AVX2 kernel of the fixed-point bilinear resampling (image/Warp.h).
#include "image/simd/SimdTiers.h"

#ifdef MORVANE_SIMD_X86
#include <immintrin.h>

namespace simd::avx2 {

// Eight pixels at a time with the same integer operations as the scalar
// loop in Warp.cpp. For a near-level grid the eight source pairs lie within
// 16 bytes of one row and span at most two rows, so they are picked out of
// three 16-byte loads by byte shuffles (no gathers, which are slow on many
// processors). A group that does not fit stops the kernel.
int WarpGrayRow(const WarpRow& row, int n, uint8_t* out) {
    if (row.dx < 0) return 0;
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i X =
        _mm256_add_epi32(_mm256_set1_epi32(row.x), _mm256_mullo_epi32(lane, _mm256_set1_epi32(row.dx)));
    __m256i Y =
        _mm256_add_epi32(_mm256_set1_epi32(row.y), _mm256_mullo_epi32(lane, _mm256_set1_epi32(row.dy)));
    const __m256i stepX = _mm256_set1_epi32(8 * row.dx), stepY = _mm256_set1_epi32(8 * row.dy);
    const __m256i low = _mm256_set1_epi32(255), round = _mm256_set1_epi32(32768);
    const __m128i one8 = _mm_set1_epi8(1);
    alignas(32) int32_t xs[8], ys[8];
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i x0 = _mm256_srai_epi32(X, 16), y0 = _mm256_srai_epi32(Y, 16);
        _mm256_store_si256(reinterpret_cast<__m256i*>(xs), x0);
        _mm256_store_si256(reinterpret_cast<__m256i*>(ys), y0);
        const int32_t base = xs[0];
        const int32_t ymin = ys[0] < ys[7] ? ys[0] : ys[7];
        const int32_t ymax = ys[0] < ys[7] ? ys[7] : ys[0];
        if (xs[7] - base > 14 || ymax - ymin > 1) break;
        const int64_t first = static_cast<int64_t>(ymin) * row.stride + base;
        if (first + 2 * static_cast<int64_t>(row.stride) + 16 > row.size) break;
        const uint8_t* a = row.bytes + first;
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + row.stride));
        const __m128i vc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 2 * row.stride));
        // Lane offsets within the loads and the row choice, as bytes.
        const __m256i rel = _mm256_sub_epi32(x0, _mm256_set1_epi32(base));
        const __m256i ry = _mm256_sub_epi32(y0, _mm256_set1_epi32(ymin));
        __m128i idx = _mm_packus_epi32(_mm256_castsi256_si128(rel), _mm256_extracti128_si256(rel, 1));
        idx = _mm_packus_epi16(idx, idx);
        __m128i sel = _mm_packus_epi32(_mm256_castsi256_si128(ry), _mm256_extracti128_si256(ry, 1));
        sel = _mm_cmpeq_epi8(_mm_packus_epi16(sel, sel), one8);
        const __m128i idx1 = _mm_add_epi8(idx, one8);
        const __m128i a0 = _mm_shuffle_epi8(va, idx), a1 = _mm_shuffle_epi8(va, idx1);
        const __m128i b0 = _mm_shuffle_epi8(vb, idx), b1 = _mm_shuffle_epi8(vb, idx1);
        const __m128i c0 = _mm_shuffle_epi8(vc, idx), c1 = _mm_shuffle_epi8(vc, idx1);
        const __m256i p00 = _mm256_cvtepu8_epi32(_mm_blendv_epi8(a0, b0, sel));
        const __m256i p10 = _mm256_cvtepu8_epi32(_mm_blendv_epi8(a1, b1, sel));
        const __m256i p01 = _mm256_cvtepu8_epi32(_mm_blendv_epi8(b0, c0, sel));
        const __m256i p11 = _mm256_cvtepu8_epi32(_mm_blendv_epi8(b1, c1, sel));
        const __m256i fx = _mm256_and_si256(_mm256_srli_epi32(X, 8), low);
        const __m256i fy = _mm256_and_si256(_mm256_srli_epi32(Y, 8), low);
        const __m256i top =
            _mm256_add_epi32(_mm256_slli_epi32(p00, 8), _mm256_mullo_epi32(_mm256_sub_epi32(p10, p00), fx));
        const __m256i bottom =
            _mm256_add_epi32(_mm256_slli_epi32(p01, 8), _mm256_mullo_epi32(_mm256_sub_epi32(p11, p01), fx));
        __m256i v = _mm256_add_epi32(_mm256_slli_epi32(top, 8),
                                     _mm256_mullo_epi32(_mm256_sub_epi32(bottom, top), fy));
        v = _mm256_srai_epi32(_mm256_add_epi32(v, round), 16);
        const __m128i words = _mm_packus_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(words, words));
        X = _mm256_add_epi32(X, stepX);
        Y = _mm256_add_epi32(Y, stepY);
    }
    return i;
}

// B + 2G + R of eight pixels at a time: each 16-byte load holds four
// pixels; one shuffle lines up B and G, another R and G as 16-bit lanes,
// and the two halves of their sum add to the four gray sums.
int GraySumRow24(const uint8_t* in, int n, uint16_t* out) {
    const __m128i bg = _mm_setr_epi8(0, -1, 3, -1, 6, -1, 9, -1, 1, -1, 4, -1, 7, -1, 10, -1);
    const __m128i rg = _mm_setr_epi8(2, -1, 5, -1, 8, -1, 11, -1, 1, -1, 4, -1, 7, -1, 10, -1);
    int x = 0;
    // The second load of a group reads 16 bytes from pixel x + 4 on.
    for (; x + 10 <= n; x += 8) {
        const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * x));
        const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * x + 12));
        __m128i s0 = _mm_add_epi16(_mm_shuffle_epi8(v0, bg), _mm_shuffle_epi8(v0, rg));
        __m128i s1 = _mm_add_epi16(_mm_shuffle_epi8(v1, bg), _mm_shuffle_epi8(v1, rg));
        s0 = _mm_add_epi16(s0, _mm_srli_si128(s0, 8));
        s1 = _mm_add_epi16(s1, _mm_srli_si128(s1, 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_unpacklo_epi64(s0, s1));
    }
    return x;
}

}  // namespace simd::avx2

#endif

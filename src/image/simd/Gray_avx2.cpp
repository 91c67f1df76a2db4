// AVX2 kernel of the default colour-to-gray luminance.
#include "image/simd/SimdTiers.h"

#ifdef MORVANE_SIMD_X86
#include <immintrin.h>

namespace simd::avx2 {

namespace {

// Four pixels in double vectors: the products and the two additions are
// the very double operations of the scalar expression, in the same order
// (no fused multiply-add is enabled), so every lane rounds and truncates
// exactly as the scalar code does. The 16-byte load covers four pixels and
// reads four bytes past them.
inline __m128i LuminanceFour(const uint8_t* p) {
    const __m128i takeB = _mm_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1);
    const __m128i takeG = _mm_setr_epi8(1, -1, -1, -1, 4, -1, -1, -1, 7, -1, -1, -1, 10, -1, -1, -1);
    const __m128i takeR = _mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
    const __m256d kb = _mm256_set1_pd(0.114), kg = _mm256_set1_pd(0.587), kr = _mm256_set1_pd(0.299);
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m256d b = _mm256_cvtepi32_pd(_mm_shuffle_epi8(v, takeB));
    const __m256d g = _mm256_cvtepi32_pd(_mm_shuffle_epi8(v, takeG));
    const __m256d r = _mm256_cvtepi32_pd(_mm_shuffle_epi8(v, takeR));
    const __m256d sum =
        _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(kb, b), _mm256_mul_pd(kg, g)), _mm256_mul_pd(kr, r));
    return _mm256_cvttpd_epi32(sum);
}

// Sixteen pixels split into their blue, green and red bytes.
inline void SplitSixteen(const uint8_t* p, __m128i& b, __m128i& g, __m128i& r) {
    const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i a2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    b = _mm_or_si128(
        _mm_or_si128(
            _mm_shuffle_epi8(a0, _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1)),
            _mm_shuffle_epi8(a1, _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1))),
        _mm_shuffle_epi8(a2, _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13)));
    g = _mm_or_si128(
        _mm_or_si128(
            _mm_shuffle_epi8(a0, _mm_setr_epi8(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1)),
            _mm_shuffle_epi8(a1, _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1))),
        _mm_shuffle_epi8(a2, _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14)));
    r = _mm_or_si128(
        _mm_or_si128(
            _mm_shuffle_epi8(a0, _mm_setr_epi8(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1)),
            _mm_shuffle_epi8(a1, _mm_setr_epi8(-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1))),
        _mm_shuffle_epi8(a2, _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15)));
}

}  // namespace

int LuminanceRow(const uint8_t* in, uint8_t* out, int width, const uint8_t* dropBits) {
    // Runs of sixteen gray pixels, common on document pages, need no
    // arithmetic: the result is v less the drop bit of v, looked up in the
    // 32-byte bit table with byte shuffles. Any other run of sixteen takes
    // the double vectors.
    const __m128i dropLo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dropBits));
    const __m128i dropHi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dropBits + 16));
    const __m128i bitOf = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    const __m128i seven = _mm_set1_epi8(7), fifteen = _mm_set1_epi8(15), low5 = _mm_set1_epi8(31);
    int x = 0;
    // The double path reads four bytes past the sixteen pixels, so the loops
    // stop while ten pixels remain and the caller finishes the row.
    for (; x + 18 <= width; x += 16) {
        const uint8_t* p = in + 3 * x;
        __m128i b, g, r;
        SplitSixteen(p, b, g, r);
        const __m128i gray = _mm_and_si128(_mm_cmpeq_epi8(b, g), _mm_cmpeq_epi8(g, r));
        if (_mm_movemask_epi8(gray) == 0xFFFF) {
            const __m128i byteIndex = _mm_and_si128(_mm_srli_epi16(b, 3), low5);
            const __m128i fromLo = _mm_shuffle_epi8(dropLo, byteIndex);
            const __m128i fromHi = _mm_shuffle_epi8(dropHi, byteIndex);
            const __m128i byte = _mm_blendv_epi8(fromLo, fromHi, _mm_cmpgt_epi8(byteIndex, fifteen));
            const __m128i bit = _mm_shuffle_epi8(bitOf, _mm_and_si128(b, seven));
            const __m128i drop = _mm_cmpeq_epi8(_mm_and_si128(byte, bit), bit);  // all ones where v drops
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_add_epi8(b, drop));
        } else {
            const __m128i w0 = _mm_packs_epi32(LuminanceFour(p), LuminanceFour(p + 12));
            const __m128i w1 = _mm_packs_epi32(LuminanceFour(p + 24), LuminanceFour(p + 36));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(w0, w1));
        }
    }
    for (; x + 10 <= width; x += 8) {
        const __m128i lo = LuminanceFour(in + 3 * x), hi = LuminanceFour(in + 3 * x + 12);
        const __m128i words = _mm_packs_epi32(lo, hi);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(words, words));
    }
    return x;
}

}  // namespace simd::avx2

#endif

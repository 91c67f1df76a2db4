// AVX2 kernel of the interpolated 8-bit rotation.
#include "image/simd/SimdTiers.h"

#ifdef MORVANE_SIMD_X86
#include <immintrin.h>

#include <cstring>

// Every destination value must come out exactly as the written formulas give
// it: no fused multiply-add.
#ifdef __clang__
#pragma clang fp contract(off)
#endif

namespace simd::avx2 {

// Four interpolated pixels at a time. The same double operations run in the
// same order as in the scalar path, four lanes wide, so every pixel gets the
// identical value; groups that touch the last row or column or fall outside
// the source are handed to the row's own pixel function.
bool RotateGrayRow(const RotateRow& row, uint8_t* out, int32_t dstWidth) {
    const int32_t stride = row.stride;
    const uint8_t* bytes = row.bytes;
    const __m256d cx = _mm256_set1_pd(row.cx), cy = _mm256_set1_pd(row.cy);
    const __m256d rowSin = _mm256_set1_pd(row.rowSin), rowCos = _mm256_set1_pd(row.rowCos);
    const __m256d half = _mm256_set1_pd(0.5), one = _mm256_set1_pd(1.0);
    const __m256d lo = _mm256_setzero_pd(), hi = _mm256_set1_pd(255.0);
    const __m128i minusOne = _mm_set1_epi32(-1);
    const __m128i lastX = _mm_set1_epi32(row.width - 1), lastY = _mm_set1_epi32(row.height - 1);
    const __m128i strideV = _mm_set1_epi32(stride);
    int32_t xd = 0;
    for (; xd + 4 <= dstWidth; xd += 4) {
        const __m256d X =
            _mm256_add_pd(_mm256_add_pd(_mm256_add_pd(cx, _mm256_loadu_pd(row.colCos + xd)), rowSin), half);
        const __m256d Y =
            _mm256_add_pd(_mm256_add_pd(_mm256_sub_pd(cy, _mm256_loadu_pd(row.colSin + xd)), rowCos), half);
        const __m128i x0 = _mm256_cvttpd_epi32(X);
        const __m128i y0 = _mm256_cvttpd_epi32(Y);
        // Inside with both neighbours: 0 <= x0 < width - 1, 0 <= y0 < height - 1.
        const __m128i inside =
            _mm_and_si128(_mm_and_si128(_mm_cmpgt_epi32(x0, minusOne), _mm_cmpgt_epi32(lastX, x0)),
                          _mm_and_si128(_mm_cmpgt_epi32(y0, minusOne), _mm_cmpgt_epi32(lastY, y0)));
        if (_mm_movemask_epi8(inside) != 0xFFFF) {
            for (int k = 0; k < 4; ++k) row.pixel(row.context, xd + k, out);
            continue;
        }
        // The four neighbours of each pixel by plain loads (hardware gathers
        // are slow on some processors); row y0 + 1 exists for every lane.
        alignas(16) int32_t off[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(off), _mm_add_epi32(_mm_mullo_epi32(y0, strideV), x0));
        alignas(16) int32_t q00[4], q10[4], q01[4], q11[4];
        for (int k = 0; k < 4; ++k) {
            const uint8_t* p = bytes + off[k];
            q00[k] = p[0];
            q10[k] = p[1];
            q01[k] = p[stride];
            q11[k] = p[stride + 1];
        }
        const __m256d p00 = _mm256_cvtepi32_pd(_mm_load_si128(reinterpret_cast<const __m128i*>(q00)));
        const __m256d p10 = _mm256_cvtepi32_pd(_mm_load_si128(reinterpret_cast<const __m128i*>(q10)));
        const __m256d p01 = _mm256_cvtepi32_pd(_mm_load_si128(reinterpret_cast<const __m128i*>(q01)));
        const __m256d p11 = _mm256_cvtepi32_pd(_mm_load_si128(reinterpret_cast<const __m128i*>(q11)));
        const __m256d fx = _mm256_sub_pd(X, _mm256_cvtepi32_pd(x0));
        const __m256d fy = _mm256_sub_pd(Y, _mm256_cvtepi32_pd(y0));
        const __m256d gx = _mm256_sub_pd(one, fx);
        const __m256d top = _mm256_add_pd(_mm256_mul_pd(gx, p00), _mm256_mul_pd(fx, p10));
        const __m256d bottom = _mm256_add_pd(_mm256_mul_pd(gx, p01), _mm256_mul_pd(fx, p11));
        __m256d v = _mm256_add_pd(_mm256_mul_pd(top, _mm256_sub_pd(one, fy)), _mm256_mul_pd(fy, bottom));
        v = _mm256_min_pd(_mm256_max_pd(v, lo), hi);
        const __m128i iv = _mm256_cvttpd_epi32(v);
        const __m128i packed = _mm_packus_epi16(_mm_packus_epi32(iv, iv), _mm_setzero_si128());
        const int32_t four = _mm_cvtsi128_si32(packed);
        std::memcpy(out + xd, &four, 4);
    }
    for (; xd < dstWidth; ++xd) row.pixel(row.context, xd, out);
    return true;
}

}  // namespace simd::avx2

#endif

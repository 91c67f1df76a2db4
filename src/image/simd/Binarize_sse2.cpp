// SSE2 kernels of the thresholding engines and the 1-bit packers.
#include "image/simd/SimdTiers.h"

#ifdef MORVANE_SIMD_X86
#include <emmintrin.h>

#include <cstring>

#include "image/BitPack.h"

namespace simd::sse2 {

namespace {

// Two destination bytes from a sixteen-lane mask (first pixel in the low bit).
inline void StoreMask16(int mask, uint8_t* out) {
    out[0] = bitpack::kReverse.v[mask & 0xFF];
    out[1] = bitpack::kReverse.v[(mask >> 8) & 0xFF];
}

}  // namespace

int PackBelow(const uint8_t* in, int n, int threshold, uint8_t* out) {
    const __m128i limit = _mm_set1_epi8(static_cast<char>(threshold - 1));
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
        StoreMask16(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, limit), v)), out + (x >> 3));
    }
    return x;
}

int PackLess(const uint8_t* a, const uint8_t* b, int n, uint8_t* out) {
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
        // a < b  <=>  not (max(a, b) == a)
        const int ge = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(va, vb), va));
        StoreMask16(~ge & 0xFFFF, out + (x >> 3));
    }
    return x;
}

int PackFlags(const uint8_t* flags, int n, uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(flags + x));
        StoreMask16(~_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)) & 0xFFFF, out + (x >> 3));
    }
    return x;
}

// Sixteen columns per step: the pixels widened to 16 bits, squared
// (at most 65025, exact in 16 bits) and shifted, then interleaved with the
// values, which makes the packed words v + (square << 16) directly.
int PackedColumnUpdate(uint32_t* cp, const uint8_t* add, const uint8_t* sub, int n) {
    const __m128i zero = _mm_setzero_si128();
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(add + x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sub + x));
        const __m128i a16[2] = {_mm_unpacklo_epi8(a, zero), _mm_unpackhi_epi8(a, zero)};
        const __m128i b16[2] = {_mm_unpacklo_epi8(b, zero), _mm_unpackhi_epi8(b, zero)};
        for (int h = 0; h < 2; ++h) {
            const __m128i aq = _mm_srli_epi16(_mm_mullo_epi16(a16[h], a16[h]), 8);
            const __m128i bq = _mm_srli_epi16(_mm_mullo_epi16(b16[h], b16[h]), 8);
            const __m128i pa[2] = {_mm_unpacklo_epi16(a16[h], aq), _mm_unpackhi_epi16(a16[h], aq)};
            const __m128i pb[2] = {_mm_unpacklo_epi16(b16[h], bq), _mm_unpackhi_epi16(b16[h], bq)};
            for (int q = 0; q < 2; ++q) {
                __m128i* c = reinterpret_cast<__m128i*>(cp + x + 8 * h + 4 * q);
                _mm_storeu_si128(c, _mm_add_epi32(_mm_loadu_si128(c), _mm_sub_epi32(pa[q], pb[q])));
            }
        }
    }
    return x;
}

int FlattenRow(const uint8_t* in, int width, int cut, int white, uint8_t* out) {
    const __m128i cutV = _mm_set1_epi8(static_cast<char>(cut));
    const __m128i whiteV = _mm_set1_epi8(static_cast<char>(white));
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
        // v <= cut  <=>  min(v, cut) == v
        const __m128i keep = _mm_cmpeq_epi8(_mm_min_epu8(v, cutV), v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                         _mm_or_si128(_mm_and_si128(keep, v), _mm_andnot_si128(keep, whiteV)));
    }
    return x;
}

int PackedWindowSums(const uint32_t* cp, int n, int r, int from, uint32_t* wp) {
    // Four centres per step: the four differences are summed as a running
    // prefix inside the vector and added to the last sum of the step before.
    int cx = from;
    __m128i carry = _mm_set1_epi32(static_cast<int>(wp[cx - 1]));
    for (; cx + 4 <= n - r; cx += 4) {
        __m128i d = _mm_sub_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cp + cx + r)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(cp + cx - r - 1)));
        d = _mm_add_epi32(d, _mm_slli_si128(d, 4));
        d = _mm_add_epi32(d, _mm_slli_si128(d, 8));
        d = _mm_add_epi32(d, carry);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(wp + cx), d);
        carry = _mm_shuffle_epi32(d, _MM_SHUFFLE(3, 3, 3, 3));
    }
    return cx;
}

int NiblackCentres(const uint32_t* wp, int from, int end, float inverseF, double inverseD, uint8_t* ct) {
    const __m128 halfF = _mm_set1_ps(0.5f), invF = _mm_set1_ps(inverseF), fifth = _mm_set1_ps(0.2f);
    const __m128d halfD = _mm_set1_pd(0.5), invD = _mm_set1_pd(inverseD), k256 = _mm_set1_pd(256.0);
    const __m128i byteMask = _mm_set1_epi32(255), lowHalf = _mm_set1_epi32(0xFFFF);
    int cx = from;
    for (; cx + 4 <= end; cx += 4) {
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
    return cx;
}

int SmoothRow(const uint8_t* r0, const uint16_t* a, const uint16_t* b, const uint16_t* c, int width,
              int16_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i k01 = _mm_set1_epi32((1056 << 16) | 2113);
    const __m128i k23 = _mm_set1_epi32((1549 << 16) | 540);
    const __m128i k45 = _mm_set1_epi32((23 << 16) | 211);
    auto bytes = [&](const uint8_t* p) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
    };
    auto words = [](const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    int x = 3;
    for (; x + 8 <= width - 3; x += 8) {
        const __m128i g0 = bytes(r0 + x);
        const __m128i g1 = _mm_add_epi16(_mm_add_epi16(bytes(r0 + x - 2), bytes(r0 + x + 2)), words(b + x));
        const __m128i g2 = _mm_add_epi16(words(b + x - 2), words(b + x + 2));
        const __m128i g3 = _mm_add_epi16(words(a + x - 1), words(a + x + 1));
        const __m128i g4 = _mm_add_epi16(_mm_add_epi16(words(a + x - 3), words(a + x + 3)),
                                         _mm_add_epi16(words(c + x - 1), words(c + x + 1)));
        const __m128i g5 = _mm_add_epi16(words(c + x - 3), words(c + x + 3));
        const __m128i lo = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(g0, g1), k01),
                                                       _mm_madd_epi16(_mm_unpacklo_epi16(g2, g3), k23)),
                                         _mm_madd_epi16(_mm_unpacklo_epi16(g4, g5), k45));
        const __m128i hi = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(g0, g1), k01),
                                                       _mm_madd_epi16(_mm_unpackhi_epi16(g2, g3), k23)),
                                         _mm_madd_epi16(_mm_unpackhi_epi16(g4, g5), k45));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                         _mm_packs_epi32(_mm_srai_epi32(lo, 14), _mm_srai_epi32(hi, 14)));
    }
    return x;
}

int FullWindowSumsPair(const uint32_t* a, const uint32_t* b, int x, int width, int half, uint32_t* outA,
                       uint32_t* outB) {
    // Four columns per step: the differences are summed as a running prefix
    // inside the vector and added to the last sums before.
    if (!(x + half + 4 <= width && x - half - 1 >= 0)) return x;
    __m128i carryA = _mm_set1_epi32(static_cast<int>(outA[x - 1]));
    __m128i carryB = _mm_set1_epi32(static_cast<int>(outB[x - 1]));
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
    return x;
}

int FullWindowSums(const uint32_t* a, int x, int width, int half, uint32_t* out) {
    if (!(x + half + 4 <= width && x - half - 1 >= 0)) return x;
    __m128i carry = _mm_set1_epi32(static_cast<int>(out[x - 1]));
    for (; x + half + 4 <= width; x += 4) {
        __m128i d = _mm_sub_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x + half)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x - half - 1)));
        d = _mm_add_epi32(d, _mm_slli_si128(d, 4));
        d = _mm_add_epi32(_mm_add_epi32(d, _mm_slli_si128(d, 8)), carry);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), d);
        carry = _mm_shuffle_epi32(d, _MM_SHUFFLE(3, 3, 3, 3));
    }
    return x;
}

int SauvolaRow(const int32_t* wa, const int32_t* wb, const double* inverse, double rowsInverse,
               const uint8_t* row, uint8_t* f, int width, int x) {
    const __m128d rowsInv = _mm_set1_pd(rowsInverse), zero = _mm_setzero_pd();
    const __m128d one = _mm_set1_pd(1.0), fifth = _mm_set1_pd(0.2), by128 = _mm_set1_pd(1.0 / 128);
    for (; x + 2 <= width; x += 2) {
        const __m128d inv = _mm_mul_pd(rowsInv, _mm_loadu_pd(inverse + x));
        const __m128d m =
            _mm_mul_pd(_mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(wa + x))), inv);
        const __m128d q =
            _mm_mul_pd(_mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(wb + x))), inv);
        const __m128d var = _mm_sub_pd(q, _mm_mul_pd(m, m));
        const __m128d sd = _mm_sqrt_pd(_mm_max_pd(var, zero));
        const __m128d t =
            _mm_mul_pd(m, _mm_add_pd(one, _mm_mul_pd(fifth, _mm_sub_pd(_mm_mul_pd(sd, by128), one))));
        const __m128d v = _mm_set_pd(row[x + 1], row[x]);
        const int mask = _mm_movemask_pd(_mm_cmpgt_pd(t, v));
        f[x] = static_cast<uint8_t>(mask & 1);
        f[x + 1] = static_cast<uint8_t>(mask >> 1);
    }
    return x;
}

}  // namespace simd::sse2

#endif

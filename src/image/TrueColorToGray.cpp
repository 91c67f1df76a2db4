#include "image/TrueColorToGray.h"

#include <algorithm>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// The three products of the luminance expression, each exactly the double
// the expression computes, so that summing them in the same order gives the
// same double and the same truncation.
struct LuminanceTables {
    double b[256], g[256], r[256];
    LuminanceTables() {
        for (int v = 0; v < 256; ++v) {
            b[v] = 0.114 * v;
            g[v] = 0.587 * v;
            r[v] = 0.299 * v;
        }
    }
};

const LuminanceTables& Luminance() {
    static const LuminanceTables tables;
    return tables;
}

// For the grays (v, v, v) the exact sum is v, and the double sum lands on v
// or just below it. Bit (v & 7) of byte (v >> 3) is set where it lands below,
// so that the luminance of gray v is v minus that bit.
struct GrayDrops {
    alignas(16) uint8_t bytes[32] = {};
    GrayDrops() {
        const LuminanceTables& t = Luminance();
        for (int v = 0; v < 256; ++v)
            if (static_cast<int>(t.b[v] + t.g[v] + t.r[v]) != v) bytes[v >> 3] |= static_cast<uint8_t>(1u << (v & 7));
    }
};

const GrayDrops& GrayDropBits() {
    static const GrayDrops drops;
    return drops;
}

}  // namespace

uint8_t GrayLuminance(uint8_t b, uint8_t g, uint8_t r) {
    const LuminanceTables& t = Luminance();
    return static_cast<uint8_t>(static_cast<int>(t.b[b] + t.g[g] + t.r[r]));
}

namespace {

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// 30 R / 100 + 59 G / 100 + 11 B / 100, each term truncated on its own.
inline int Lum(int b, int g, int r) { return 30 * r / 100 + 59 * g / 100 + 11 * b / 100; }

inline int Emphasis(int t, int b, int g, int r) {
    if (t > 160) return 255;
    if (t > 0) return Lum(b, g, r);
    return 0;
}

template <typename F>
void ConvertRows(const CRawImage& src, CRawImage& dst, F pixel) {
    for (int y = 0; y < src.height; ++y) {
        const uint8_t* in = src.rows[y];
        uint8_t* out = dst.rows[y];
        for (int x = 0; x < src.width; ++x, in += 3) out[x] = static_cast<uint8_t>(pixel(in[0], in[1], in[2]));
    }
}


#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MORVANE_LUMINANCE_AVX2 1
// Eight pixels per step in double vectors: the products and the two
// additions are the very double operations of the scalar expression, in the
// same order (no fused multiply-add is enabled), so every lane rounds and
// truncates exactly as the scalar code does.  Each 16-byte load covers four
// pixels and reads four bytes past them, so the vector loop stops while ten
// pixels remain and the scalar loop finishes the row.
__attribute__((target("avx2"))) inline __m128i LuminanceFourAvx2(const uint8_t* p) {
    const __m128i takeB = _mm_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1);
    const __m128i takeG = _mm_setr_epi8(1, -1, -1, -1, 4, -1, -1, -1, 7, -1, -1, -1, 10, -1, -1, -1);
    const __m128i takeR = _mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
    const __m256d kb = _mm256_set1_pd(0.114), kg = _mm256_set1_pd(0.587), kr = _mm256_set1_pd(0.299);
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m256d b = _mm256_cvtepi32_pd(_mm_shuffle_epi8(v, takeB));
    const __m256d g = _mm256_cvtepi32_pd(_mm_shuffle_epi8(v, takeG));
    const __m256d r = _mm256_cvtepi32_pd(_mm_shuffle_epi8(v, takeR));
    const __m256d sum = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(kb, b), _mm256_mul_pd(kg, g)), _mm256_mul_pd(kr, r));
    return _mm256_cvttpd_epi32(sum);
}

// Sixteen pixels split into their blue, green and red bytes.
__attribute__((target("avx2"))) inline void SplitSixteen(const uint8_t* p, __m128i& b, __m128i& g, __m128i& r) {
    const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i a2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    b = _mm_or_si128(
        _mm_or_si128(_mm_shuffle_epi8(a0, _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1)),
                     _mm_shuffle_epi8(a1, _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1))),
        _mm_shuffle_epi8(a2, _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13)));
    g = _mm_or_si128(
        _mm_or_si128(_mm_shuffle_epi8(a0, _mm_setr_epi8(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1)),
                     _mm_shuffle_epi8(a1, _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1))),
        _mm_shuffle_epi8(a2, _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14)));
    r = _mm_or_si128(
        _mm_or_si128(_mm_shuffle_epi8(a0, _mm_setr_epi8(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1)),
                     _mm_shuffle_epi8(a1, _mm_setr_epi8(-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1))),
        _mm_shuffle_epi8(a2, _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15)));
}

__attribute__((target("avx2"))) void LuminanceRowAvx2(const uint8_t* in, uint8_t* out, int width) {
    // Runs of sixteen gray pixels, common on document pages, need no
    // arithmetic: the result is v less the drop bit of v, looked up in the
    // 32-byte bit table with byte shuffles. Any other run of sixteen takes
    // the double vectors.
    const GrayDrops& drops = GrayDropBits();
    const __m128i dropLo = _mm_load_si128(reinterpret_cast<const __m128i*>(drops.bytes));
    const __m128i dropHi = _mm_load_si128(reinterpret_cast<const __m128i*>(drops.bytes + 16));
    const __m128i bitOf = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    const __m128i seven = _mm_set1_epi8(7), fifteen = _mm_set1_epi8(15), low5 = _mm_set1_epi8(31);
    int x = 0;
    // The double path reads four bytes past the sixteen pixels.
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
            const __m128i w0 = _mm_packs_epi32(LuminanceFourAvx2(p), LuminanceFourAvx2(p + 12));
            const __m128i w1 = _mm_packs_epi32(LuminanceFourAvx2(p + 24), LuminanceFourAvx2(p + 36));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(w0, w1));
        }
    }
    for (; x + 10 <= width; x += 8) {
        const __m128i lo = LuminanceFourAvx2(in + 3 * x), hi = LuminanceFourAvx2(in + 3 * x + 12);
        const __m128i words = _mm_packs_epi32(lo, hi);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(words, words));
    }
    const LuminanceTables& t = Luminance();
    for (const uint8_t* p = in + 3 * x; x < width; ++x, p += 3)
        out[x] = static_cast<uint8_t>(static_cast<int>(t.b[p[0]] + t.g[p[1]] + t.r[p[2]]));
}
#endif

void LuminanceRow(const uint8_t* in, uint8_t* out, int width) {
#ifdef MORVANE_LUMINANCE_AVX2
    static const bool hasAvx2 = __builtin_cpu_supports("avx2") != 0;
    if (hasAvx2) {
        LuminanceRowAvx2(in, out, width);
        return;
    }
#endif
    const LuminanceTables& t = Luminance();
    for (int x = 0; x < width; ++x, in += 3)
        out[x] = static_cast<uint8_t>(static_cast<int>(t.b[in[0]] + t.g[in[1]] + t.r[in[2]]));
}

}  // namespace

int CTrueColorToGray::Process(CRawImage& dst) {
    if (!source_ || !source_->HasPixels() || source_->bitCount != 24) return 0;
    const CRawImage& src = *source_;
    if (!dst.Create(src.width, src.height, 8, src.xResolution)) return 0;
    switch (method) {
        case 0:
            ConvertRows(src, dst, [](int b, int g, int r) {
                if (r - b > 20 && r - g > 20) return r;
                return Clamp255((3 * b + 10 * g - 2 * r) / 10);
            });
            break;
        case 1: ConvertRows(src, dst, [](int, int, int r) { return r; }); break;
        case 2: ConvertRows(src, dst, [](int, int g, int) { return g; }); break;
        case 3: ConvertRows(src, dst, [](int b, int, int) { return b; }); break;
        case 4: {
            // The running maximum spans the whole image in visiting order and
            // includes the pixel being converted.
            int running = 0;
            ConvertRows(src, dst, [&running](int b, int g, int r) {
                const int hi = std::max(b, g);
                running = std::max(running, hi);
                return r < hi ? running : std::min(b, g);
            });
            break;
        }
        case 5: ConvertRows(src, dst, [](int b, int g, int r) { return Emphasis(3 * r - g - b, b, g, r); }); break;
        case 6: ConvertRows(src, dst, [](int b, int g, int r) { return Emphasis(3 * g - b - r, b, g, r); }); break;
        case 7: ConvertRows(src, dst, [](int b, int g, int r) { return Emphasis(3 * b - g - r, b, g, r); }); break;
        case 8:
            ConvertRows(src, dst, [](int b, int g, int r) {
                const int t = 3 * b - g - r;
                if (t > 160) return 255;
                if (t <= 0) return 0;
                return b + r >= 2 * g - 5 ? Lum(b, g, r) : 245;
            });
            break;
        case 9:
            ConvertRows(src, dst, [](int b, int g, int r) {
                return r > b ? Emphasis(3 * r - g - b, b, g, r) : Emphasis(3 * b - g - r, b, g, r);
            });
            break;
        case 10:
            ConvertRows(src, dst, [](int b, int g, int r) {
                if (b == 255 && g == 255 && r == 255) return 245;
                return static_cast<int>(GrayLuminance(b, g, r));
            });
            break;
        case 11: ConvertRows(src, dst, [](int b, int g, int r) { return std::min({b, g, r}); }); break;
        case 12: ConvertRows(src, dst, [](int b, int g, int r) { return Clamp255((3 * b + 10 * g - 2 * r) / 10); }); break;
        default:
            for (int y = 0; y < src.height; ++y) LuminanceRow(src.rows[y], dst.rows[y], src.width);
            break;
    }
    return 1;
}

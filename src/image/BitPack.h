// Packing of per-pixel decisions into 1-bit rows (leftmost pixel in the most
// significant bit), sixteen pixels at a time where SSE2 is available.
#pragma once
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace bitpack {

// Bit-reversed bytes: movemask puts the first pixel in the lowest bit.
struct ReverseTable {
    uint8_t v[256];
    constexpr ReverseTable() : v() {
        for (int b = 0; b < 256; ++b) {
            int r = 0;
            for (int k = 0; k < 8; ++k)
                if (b & (1 << k)) r |= 0x80 >> k;
            v[b] = static_cast<uint8_t>(r);
        }
    }
};
inline constexpr ReverseTable kReverse{};

// out gets the bits of in[0 .. n) < threshold; bytes of out covering those
// pixels are overwritten (bits past n in the last byte are cleared).
inline void PackBelow(const uint8_t* in, int n, int threshold, uint8_t* out) {
    int x = 0;
    if (threshold <= 0) {
        for (int i = 0; i < (n + 7) / 8; ++i) out[i] = 0;
        return;
    }
    if (threshold > 255) {
        for (int i = 0; i < n / 8; ++i) out[i] = 0xFF;
        if (n & 7) out[n / 8] = static_cast<uint8_t>(0xFF << (8 - (n & 7)));
        return;
    }
#if defined(__SSE2__)
    const __m128i limit = _mm_set1_epi8(static_cast<char>(threshold - 1));
    for (; x + 16 <= n; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, limit), v));
        out[x >> 3] = kReverse.v[mask & 0xFF];
        out[(x >> 3) + 1] = kReverse.v[(mask >> 8) & 0xFF];
    }
#endif
    for (; x < n; x += 8) {
        unsigned byte = 0;
        const int end = n - x < 8 ? n - x : 8;
        for (int k = 0; k < end; ++k) byte |= static_cast<unsigned>(in[x + k] < threshold) << (7 - k);
        out[x >> 3] = static_cast<uint8_t>(byte);
    }
}

// out gets the bits of a[i] < b[i] for i in [0, n), as PackBelow.
inline void PackLess(const uint8_t* a, const uint8_t* b, int n, uint8_t* out) {
    int x = 0;
#if defined(__SSE2__)
    for (; x + 16 <= n; x += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
        // a < b  <=>  not (max(a, b) == a)
        const int ge = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(va, vb), va));
        const int mask = ~ge & 0xFFFF;
        out[x >> 3] = kReverse.v[mask & 0xFF];
        out[(x >> 3) + 1] = kReverse.v[(mask >> 8) & 0xFF];
    }
#endif
    for (; x < n; x += 8) {
        unsigned byte = 0;
        const int end = n - x < 8 ? n - x : 8;
        for (int k = 0; k < end; ++k) byte |= static_cast<unsigned>(a[x + k] < b[x + k]) << (7 - k);
        out[x >> 3] = static_cast<uint8_t>(byte);
    }
}

// Packs 0/1 flags.
inline void PackFlags(const uint8_t* flags, int n, uint8_t* out) {
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; x + 16 <= n; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(flags + x));
        const int mask = ~_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)) & 0xFFFF;
        out[x >> 3] = kReverse.v[mask & 0xFF];
        out[(x >> 3) + 1] = kReverse.v[(mask >> 8) & 0xFF];
    }
#endif
    for (; x < n; x += 8) {
        unsigned byte = 0;
        const int end = n - x < 8 ? n - x : 8;
        for (int k = 0; k < end; ++k) byte |= static_cast<unsigned>(flags[x + k] != 0) << (7 - k);
        out[x >> 3] = static_cast<uint8_t>(byte);
    }
}

}  // namespace bitpack

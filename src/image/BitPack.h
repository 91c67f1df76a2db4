// Packing of per-pixel decisions into 1-bit rows (leftmost pixel in the most
// significant bit). The vector tiers pack sixteen pixels at a time; the
// loops here finish each row.
#pragma once
#include <cstdint>

#include "image/simd/SimdKernels.h"

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
    if (threshold <= 0) {
        for (int i = 0; i < (n + 7) / 8; ++i) out[i] = 0;
        return;
    }
    if (threshold > 255) {
        for (int i = 0; i < n / 8; ++i) out[i] = 0xFF;
        if (n & 7) out[n / 8] = static_cast<uint8_t>(0xFF << (8 - (n & 7)));
        return;
    }
    for (int x = simd::Active().packBelow(in, n, threshold, out); x < n; x += 8) {
        unsigned byte = 0;
        const int end = n - x < 8 ? n - x : 8;
        for (int k = 0; k < end; ++k) byte |= static_cast<unsigned>(in[x + k] < threshold) << (7 - k);
        out[x >> 3] = static_cast<uint8_t>(byte);
    }
}

// out gets the bits of a[i] < b[i] for i in [0, n), as PackBelow.
inline void PackLess(const uint8_t* a, const uint8_t* b, int n, uint8_t* out) {
    for (int x = simd::Active().packLess(a, b, n, out); x < n; x += 8) {
        unsigned byte = 0;
        const int end = n - x < 8 ? n - x : 8;
        for (int k = 0; k < end; ++k) byte |= static_cast<unsigned>(a[x + k] < b[x + k]) << (7 - k);
        out[x >> 3] = static_cast<uint8_t>(byte);
    }
}

// Packs 0/1 flags.
inline void PackFlags(const uint8_t* flags, int n, uint8_t* out) {
    for (int x = simd::Active().packFlags(flags, n, out); x < n; x += 8) {
        unsigned byte = 0;
        const int end = n - x < 8 ? n - x : 8;
        for (int k = 0; k < end; ++k) byte |= static_cast<unsigned>(flags[x + k] != 0) << (7 - k);
        out[x >> 3] = static_cast<uint8_t>(byte);
    }
}

}  // namespace bitpack

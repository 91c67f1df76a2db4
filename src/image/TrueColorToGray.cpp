#include "image/TrueColorToGray.h"

#include <algorithm>

#include "image/simd/SimdKernels.h"

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
            if (static_cast<int>(t.b[v] + t.g[v] + t.r[v]) != v)
                bytes[v >> 3] |= static_cast<uint8_t>(1u << (v & 7));
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
        const uint8_t* in = src.Row(y);
        uint8_t* out = dst.Row(y);
        for (int x = 0; x < src.width; ++x, in += 3)
            out[x] = static_cast<uint8_t>(pixel(in[0], in[1], in[2]));
    }
}

// The vector tiers convert most of the row; the loop here finishes it.
void LuminanceRow(const uint8_t* in, uint8_t* out, int width) {
    int x = simd::Active().luminanceRow(in, out, width, GrayDropBits().bytes);
    const LuminanceTables& t = Luminance();
    for (in += 3 * x; x < width; ++x, in += 3)
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
        case 1:
            ConvertRows(src, dst, [](int, int, int r) { return r; });
            break;
        case 2:
            ConvertRows(src, dst, [](int, int g, int) { return g; });
            break;
        case 3:
            ConvertRows(src, dst, [](int b, int, int) { return b; });
            break;
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
        case 5:
            ConvertRows(src, dst, [](int b, int g, int r) { return Emphasis(3 * r - g - b, b, g, r); });
            break;
        case 6:
            ConvertRows(src, dst, [](int b, int g, int r) { return Emphasis(3 * g - b - r, b, g, r); });
            break;
        case 7:
            ConvertRows(src, dst, [](int b, int g, int r) { return Emphasis(3 * b - g - r, b, g, r); });
            break;
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
        case 11:
            ConvertRows(src, dst, [](int b, int g, int r) { return std::min({b, g, r}); });
            break;
        case 12:
            ConvertRows(src, dst,
                        [](int b, int g, int r) { return Clamp255((3 * b + 10 * g - 2 * r) / 10); });
            break;
        default:
            for (int y = 0; y < src.height; ++y) LuminanceRow(src.Row(y), dst.Row(y), src.width);
            break;
    }
    return 1;
}

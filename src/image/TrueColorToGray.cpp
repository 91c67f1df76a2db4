#include "image/TrueColorToGray.h"

#include <algorithm>

uint8_t GrayLuminance(uint8_t b, uint8_t g, uint8_t r) {
    // 114 B + 587 G + 299 R is the exact value times 1000. Only when it is a
    // whole multiple of 1000 can the rounding of the double expression fall
    // just below the integer, so only then is the double evaluated.
    const int s = 114 * b + 587 * g + 299 * r;
    const int q = s / 1000;
    if (s - q * 1000 != 0) return static_cast<uint8_t>(q);
    return static_cast<uint8_t>(static_cast<int>(0.114 * b + 0.587 * g + 0.299 * r));
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
            ConvertRows(src, dst, [](int b, int g, int r) {
                return static_cast<int>(GrayLuminance(b, g, r));
            });
            break;
    }
    return 1;
}

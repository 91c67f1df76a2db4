// Small builders and readers of test images.
#pragma once
#include <cstdint>
#include <functional>
#include <random>

#include "image/Dib.h"

namespace pixeltest {

inline CRawImage Gray(int w, int h, const std::function<int(int, int)>& value) {
    CRawImage img;
    img.Create(w, h, 8, 300);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.Row(y)[x] = static_cast<uint8_t>(value(x, y));
    return img;
}

inline CRawImage Binary(int w, int h, const std::function<bool(int, int)>& black) {
    CRawImage img;
    img.Create(w, h, 1, 300);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (black(x, y)) img.Row(y)[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    return img;
}

inline CRawImage RandomBinary(int w, int h, double density, uint32_t start) {
    std::mt19937 rng(start);
    std::bernoulli_distribution d(density);
    return Binary(w, h, [&](int, int) { return d(rng); });
}

inline bool Bit(const CRawImage& img, int x, int y) { return (img.Row(y)[x >> 3] & (0x80 >> (x & 7))) != 0; }

inline int64_t BlackCount(const CRawImage& img) {
    int64_t n = 0;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) n += Bit(img, x, y);
    return n;
}

}  // namespace pixeltest

// Method 2: local contrast. A pixel is black where it is darker by more than
// 20 than the 9 x 9 window means at four pairs of opposite points around it.
#include "image/BitPixels.h"
#include "image/ThresholdEngines.h"

int CImgPro::Run(GrayRows src, int width, int height, BitRows dst) {
    const int r = 4;
    if (width < 17 || height < 18) return 1;  // no pixel has all eight points
    // Window means for rows 4 .. height - 6 and columns 4 .. width - 5,
    // integer means of the 81 values.
    auto means = ThresholdScratch<uint8_t>(static_cast<int64_t>(width) * height);
    auto colSum = ThresholdScratch<int32_t>(width);
    if (!means || !colSum) return 1;
    for (int x = 0; x < width; ++x) {
        int32_t s = 0;
        for (int k = 0; k <= 2 * r; ++k) s += src[k][x];
        colSum[x] = s;
    }
    for (int y = r; y <= height - 6; ++y) {
        if (y > r)
            for (int x = 0; x < width; ++x) colSum[x] += src[y + r][x] - src[y - r - 1][x];
        uint8_t* m = means.get() + static_cast<size_t>(y) * width;
        int32_t s = 0;
        for (int k = 0; k <= 2 * r; ++k) s += colSum[k];
        for (int x = r; x <= width - 5; ++x) {
            if (x > r) s += colSum[x + r] - colSum[x - r - 1];
            m[x] = static_cast<uint8_t>(s / 81);
        }
    }
    auto mean = [&](int x, int y) { return static_cast<int>(means[static_cast<size_t>(y) * width + x]); };
    for (int y = 8; y < height - 9; ++y) {
        const uint8_t* row = src[y];
        for (int x = 8; x < width - 8; ++x) {
            const int v = row[x];
            auto dark = [&](int dx, int dy) { return mean(x + dx, y + dy) - v > 20.0; };
            if ((dark(-r, 0) && dark(r, 0)) || (dark(0, -r) && dark(0, r))) {
                if ((dark(r, -r) && dark(-r, r)) || (dark(r, r) && dark(-r, -r))) bitpixels::Set(dst[y], x);
            }
        }
    }
    return 1;
}

#include "image/Warp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "image/RotateProcessor.h"
#include "image/simd/SimdKernels.h"

namespace {

constexpr int32_t kMaxSide = 30000;
constexpr double kOne = 65536.0;

// floor(a / b) for b > 0.
int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Narrows [lo, hi) to the i for which low <= p + i * d <= high.
void Within(int64_t p, int64_t d, int64_t low, int64_t high, int64_t* lo, int64_t* hi) {
    if (d == 0) {
        if (p < low || p > high) *hi = *lo;
        return;
    }
    int64_t first, last;
    if (d > 0) {
        first = -FloorDiv(-(low - p), d);  // ceil((low - p) / d)
        last = FloorDiv(high - p, d);
    } else {
        first = -FloorDiv(-(p - high), -d);  // ceil((p - high) / -d)
        last = FloorDiv(p - low, -d);
    }
    *lo = std::max(*lo, first);
    *hi = std::min(*hi, last + 1);
}

// One destination pixel of `channels` bytes from the fixed-point position
// (X, Y); outside the source: the fill.
template <int channels>
inline void Sample(const CRawImage& src, int64_t X, int64_t Y, uint8_t fill, uint8_t* o) {
    const int64_t x0 = X >> 16, y0 = Y >> 16;
    if (X < 0 || Y < 0 || x0 >= src.width || y0 >= src.height) {
        for (int k = 0; k < channels; ++k) o[k] = fill;
        return;
    }
    const int32_t fx = static_cast<int32_t>((X >> 8) & 255), fy = static_cast<int32_t>((Y >> 8) & 255);
    const int32_t x1 = x0 + 1 < src.width ? static_cast<int32_t>(x0) + 1 : static_cast<int32_t>(x0);
    const uint8_t* r0 = src.Row(y0);
    const uint8_t* r1 = src.Row(y0 + 1 < src.height ? y0 + 1 : y0);
    const int32_t a0 = channels * static_cast<int32_t>(x0), a1 = channels * x1;
    for (int k = 0; k < channels; ++k) {
        const int32_t p00 = r0[a0 + k], p10 = r0[a1 + k], p01 = r1[a0 + k], p11 = r1[a1 + k];
        const int32_t top = (p00 << 8) + (p10 - p00) * fx;
        const int32_t bottom = (p01 << 8) + (p11 - p01) * fx;
        o[k] = static_cast<uint8_t>(((top << 8) + (bottom - top) * fy + 32768) >> 16);
    }
}

// The same for a position known to lie inside with both neighbours.
template <int channels>
inline void SampleInside(const uint8_t* r0, const uint8_t* r1, int32_t X, int32_t Y, uint8_t* o) {
    const int32_t a0 = channels * (X >> 16), a1 = a0 + channels;
    const int32_t fx = (X >> 8) & 255, fy = (Y >> 8) & 255;
    for (int k = 0; k < channels; ++k) {
        const int32_t p00 = r0[a0 + k], p10 = r0[a1 + k], p01 = r1[a0 + k], p11 = r1[a1 + k];
        const int32_t top = (p00 << 8) + (p10 - p00) * fx;
        const int32_t bottom = (p01 << 8) + (p11 - p01) * fx;
        o[k] = static_cast<uint8_t>(((top << 8) + (bottom - top) * fy + 32768) >> 16);
    }
}

template <int channels>
void WarpRows(const CRawImage& src, const WarpGrid& g, uint8_t fill, CRawImage& dst) {
    const int64_t dx = std::llround(g.dxCol * kOne), dy = std::llround(g.dyCol * kOne);
    const simd::KernelTable& kernels = simd::Active();
    bool contiguous = channels == 1;
    for (int32_t y = 0; contiguous && y < src.height; ++y)
        contiguous = src.Row(y) == src.Bits() + static_cast<size_t>(y) * static_cast<size_t>(src.bytesPerRow);
    const int64_t maxX = (static_cast<int64_t>(src.width) - 1) * 65536 - 1;  // x0 <= width - 2
    for (int32_t y = 0; y < dst.height; ++y) {
        const int64_t X = std::llround((g.x0 + y * g.dxRow) * kOne);
        const int64_t Y = std::llround((g.y0 + y * g.dyRow) * kOne);
        uint8_t* out = dst.Row(y);
        // Pixels [lo, hi) have both neighbours inside: 0 <= x0 <= width - 2
        // and 0 <= y0 <= height - 2 (height - 3 for the vector kernel).
        int64_t lo = 0, hi = dst.width;
        Within(X, dx, 0, maxX, &lo, &hi);
        Within(Y, dy, 0, (static_cast<int64_t>(src.height) - 1) * 65536 - 1, &lo, &hi);
        lo = std::min<int64_t>(lo, dst.width);
        hi = std::clamp<int64_t>(hi, lo, dst.width);
        int64_t i = 0;
        for (; i < lo; ++i) Sample<channels>(src, X + i * dx, Y + i * dy, fill, out + channels * i);
        if (channels == 1 && contiguous && hi > lo) {
            int64_t vlo = lo, vhi = hi;
            Within(Y, dy, 0, (static_cast<int64_t>(src.height) - 2) * 65536 - 1, &vlo, &vhi);
            if (vhi > vlo) {
                for (; i < vlo; ++i) {
                    const int32_t Xi = static_cast<int32_t>(X + i * dx),
                                  Yi = static_cast<int32_t>(Y + i * dy);
                    const uint8_t* r0 = src.Row(Yi >> 16);
                    SampleInside<1>(r0, r0 + src.bytesPerRow, Xi, Yi, out + i);
                }
                simd::WarpRow row;
                row.bytes = src.Bits();
                row.size = static_cast<int64_t>(src.height) * src.bytesPerRow;
                row.stride = src.bytesPerRow;
                row.x = static_cast<int32_t>(X + i * dx);
                row.y = static_cast<int32_t>(Y + i * dy);
                row.dx = static_cast<int32_t>(dx);
                row.dy = static_cast<int32_t>(dy);
                i += kernels.warpGrayRow(row, static_cast<int>(vhi - i), out + i);
            }
        }
        for (; i < hi; ++i) {
            const int32_t Xi = static_cast<int32_t>(X + i * dx), Yi = static_cast<int32_t>(Y + i * dy);
            SampleInside<channels>(src.Row(Yi >> 16), src.Row((Yi >> 16) + 1), Xi, Yi, out + channels * i);
        }
        for (; i < dst.width; ++i) Sample<channels>(src, X + i * dx, Y + i * dy, fill, out + channels * i);
    }
}

}  // namespace

bool WarpImage(const CRawImage& src, const WarpGrid& grid, int32_t width, int32_t height, uint8_t fill,
               CRawImage* dst) {
    if (!dst || !src.HasPixels() || (src.bitCount != 8 && src.bitCount != 24)) return false;
    if (src.width > kMaxSide || src.height > kMaxSide || width < 1 || height < 1 || width > kMaxSide ||
        height > kMaxSide)
        return false;
    const double steps[4] = {grid.dxCol, grid.dyCol, grid.dxRow, grid.dyRow};
    for (double s : steps)
        if (!std::isfinite(s) || std::fabs(s) > 8) return false;
    if (!std::isfinite(grid.x0) || !std::isfinite(grid.y0) || std::fabs(grid.x0) > 4.0 * kMaxSide ||
        std::fabs(grid.y0) > 4.0 * kMaxSide)
        return false;
    CRawImage out;
    try {
        // Every byte of the rows is written below, padding aside.
        if (!out.Create(width, height, src.bitCount, src.xResolution)) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (src.bitCount == 8)
        WarpRows<1>(src, grid, fill, out);
    else
        WarpRows<3>(src, grid, fill, out);
    out.xResolution = src.xResolution;
    out.yResolution = src.yResolution;
    dst->TakePixels(out);
    dst->xResolution = out.xResolution;
    dst->yResolution = out.yResolution;
    return true;
}

int RotateFast(CRawImage& image, double angle, bool keepSize, bool whiteFill) {
    if (!image.HasPixels()) return 0;
    if (std::fabs(angle) < 1e-7) return 1;
    if (!std::isfinite(angle)) return 0;
    if (image.bitCount == 8 || image.bitCount == 24) {
        int32_t w = image.width, h = image.height;
        if (!keepSize) CRotateProcessor::RotatedSize(image.width, image.height, angle, &w, &h);
        const double c = std::cos(angle), s = std::sin(angle);
        const double cx = (image.width - 1) / 2.0, cy = (image.height - 1) / 2.0;
        const double cxd = (w - 1) / 2.0, cyd = (h - 1) / 2.0;
        // As Rotate: X = cx + c (x - cxd) + s (y - cyd), Y = cy - s (x - cxd) + c (y - cyd).
        WarpGrid g;
        g.x0 = cx - c * cxd - s * cyd;
        g.y0 = cy + s * cxd - c * cyd;
        g.dxCol = c;
        g.dyCol = -s;
        g.dxRow = s;
        g.dyRow = c;
        const std::u16string name = image.FileName();
        if (WarpImage(image, g, w, h, whiteFill ? 255 : 0, &image)) {
            image.SetFileName(name);
            return 1;
        }
    }
    return image.Rotate(nullptr, 0, angle, 1, keepSize ? 1 : 0, whiteFill ? 1 : 0);
}

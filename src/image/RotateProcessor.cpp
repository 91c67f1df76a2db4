#include "image/RotateProcessor.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "image/BitPixels.h"

#include "image/simd/SimdKernels.h"

// Every destination value must come out exactly as the written formulas give
// it, whatever the target's instruction set: no fused multiply-add.
#ifdef __clang__
#pragma clang fp contract(off)
#endif

namespace {

// Sampling geometry of one rotation: the source position of destination
// pixel (x', y') is
//   X = cx + cos*(x' - cx') + sin*(y' - cy') + 0.5
//   Y = cy - sin*(x' - cx') + cos*(y' - cy') + 0.5
// The column terms are tabulated once; per row only the row terms change.
// The sums are formed in the order of the formula so every pixel gets
// exactly the value the formula gives.
struct Sampler {
    double cx = 0, cy = 0;
    std::vector<double> colCos, colSin;  // cos*(x' - cx'), sin*(x' - cx')
    double rowSin = 0, rowCos = 0;       // sin*(y' - cy'), cos*(y' - cy')
    double s = 0, c = 0, cyd = 0;

    bool Init(double theta, int32_t srcW, int32_t srcH, int32_t dstW, int32_t dstH, bool exactSourceCentre) {
        c = std::cos(theta);
        s = std::sin(theta);
        if (exactSourceCentre) {
            cx = (srcW - 1) / 2.0;
            cy = (srcH - 1) / 2.0;
        } else {
            cx = static_cast<double>((srcW - 1) / 2);
            cy = static_cast<double>((srcH - 1) / 2);
        }
        const double cxd = (dstW - 1) / 2.0;
        cyd = (dstH - 1) / 2.0;
        try {
            colCos.resize(static_cast<size_t>(dstW));
            colSin.resize(static_cast<size_t>(dstW));
        } catch (...) {
            return false;
        }
        for (int32_t x = 0; x < dstW; ++x) {
            colCos[static_cast<size_t>(x)] = c * (x - cxd);
            colSin[static_cast<size_t>(x)] = s * (x - cxd);
        }
        return true;
    }
    void SetRow(int32_t y) {
        rowSin = s * (y - cyd);
        rowCos = c * (y - cyd);
    }
    double X(int32_t x) const { return cx + colCos[static_cast<size_t>(x)] + rowSin + 0.5; }
    double Y(int32_t x) const { return cy - colSin[static_cast<size_t>(x)] + rowCos + 0.5; }
};

inline double Bilinear(double fx, double fy, double p00, double p10, double p01, double p11) {
    return ((1 - fx) * p00 + fx * p10) * (1 - fy) + fy * ((1 - fx) * p01 + fx * p11);
}

// Sampling points in the half pixel before the first row or column truncate
// onto it with a negative fraction, which extrapolates and can leave 0..255;
// the value is limited at both ends.
inline uint8_t ToByte(double v) { return static_cast<uint8_t>(v > 255.0 ? 255.0 : (v < 0.0 ? 0.0 : v)); }

// One interpolated 8-bit destination pixel; pixels whose source position
// falls outside keep the fill.
inline void GrayPixelInterpolated(const CRawImage& src, const Sampler& sm, int32_t xd, uint8_t* out) {
    const double X = sm.X(xd);
    const double Y = sm.Y(xd);
    const int32_t x0 = static_cast<int32_t>(X);
    const int32_t y0 = static_cast<int32_t>(Y);
    if (x0 < 0 || y0 < 0 || x0 + 1 > src.width || y0 + 1 > src.height) return;
    const int32_t x1 = x0 + 1 == src.width ? x0 : x0 + 1;
    const int32_t y1 = y0 + 1 == src.height ? y0 : y0 + 1;
    const uint8_t* r0 = src.Row(y0);
    const uint8_t* r1 = src.Row(y1);
    out[xd] = ToByte(Bilinear(X - x0, Y - y0, r0[x0], r0[x1], r1[x0], r1[x1]));
}

struct PixelContext {
    const CRawImage* src;
    const Sampler* sm;
};

void PixelOfRow(const void* context, int32_t xd, uint8_t* out) {
    const auto* c = static_cast<const PixelContext*>(context);
    GrayPixelInterpolated(*c->src, *c->sm, xd, out);
}

bool RowsAreContiguous(const CRawImage& img) {
    for (int32_t y = 0; y < img.height; ++y)
        if (img.Row(y) != img.Bits() + static_cast<size_t>(y) * static_cast<size_t>(img.bytesPerRow))
            return false;
    return true;
}

void RotateGrayInterpolated(const CRawImage& src, CRawImage& dst, Sampler& sm) {
    // The vector tiers need the rows stored one after the other in `bits`.
    const simd::KernelTable& kernels = simd::Active();
    const bool contiguous = RowsAreContiguous(src);
    const PixelContext context{&src, &sm};
    simd::RotateRow row;
    row.bytes = src.Bits();
    row.stride = src.bytesPerRow;
    row.width = src.width;
    row.height = src.height;
    row.cx = sm.cx;
    row.cy = sm.cy;
    row.colCos = sm.colCos.data();
    row.colSin = sm.colSin.data();
    row.pixel = PixelOfRow;
    row.context = &context;
    for (int32_t yd = 0; yd < dst.height; ++yd) {
        sm.SetRow(yd);
        uint8_t* out = dst.Row(yd);
        row.rowSin = sm.rowSin;
        row.rowCos = sm.rowCos;
        if (contiguous && kernels.rotateGrayRow(row, out, dst.width)) continue;
        for (int32_t xd = 0; xd < dst.width; ++xd) GrayPixelInterpolated(src, sm, xd, out);
    }
}

// 8-bit and 24-bit rotation; `channels` is 1 or 3.
template <int channels>
void RotateBytes(const CRawImage& src, CRawImage& dst, Sampler& sm, bool interpolate) {
    const int32_t w = src.width, h = src.height;
    for (int32_t yd = 0; yd < dst.height; ++yd) {
        sm.SetRow(yd);
        uint8_t* out = dst.Row(yd);
        for (int32_t xd = 0; xd < dst.width; ++xd) {
            const double X = sm.X(xd);
            const double Y = sm.Y(xd);
            const int32_t x0 = static_cast<int32_t>(X);
            const int32_t y0 = static_cast<int32_t>(Y);
            if (x0 < 0 || y0 < 0 || x0 + 1 > w || y0 + 1 > h) continue;  // keeps the fill
            const uint8_t* r0 = src.Row(y0);
            uint8_t* o = out + channels * xd;
            if (!interpolate) {
                for (int k = 0; k < channels; ++k) o[k] = r0[channels * x0 + k];
                continue;
            }
            const int32_t x1 = x0 + 1 == w ? x0 : x0 + 1;
            const int32_t y1 = y0 + 1 == h ? y0 : y0 + 1;
            const uint8_t* r1 = src.Row(y1);
            const double fx = X - x0;
            const double fy = Y - y0;
            for (int k = 0; k < channels; ++k) {
                const double v = Bilinear(fx, fy, r0[channels * x0 + k], r0[channels * x1 + k],
                                          r1[channels * x0 + k], r1[channels * x1 + k]);
                o[k] = ToByte(v);
            }
        }
    }
}

void RotateBits(const CRawImage& src, CRawImage& dst, Sampler& sm, bool interpolate) {
    const int32_t w = src.width, h = src.height;
    for (int32_t yd = 0; yd < dst.height; ++yd) {
        sm.SetRow(yd);
        uint8_t* out = dst.Row(yd);
        for (int32_t xd = 0; xd < dst.width; ++xd) {
            const double X = sm.X(xd);
            const double Y = sm.Y(xd);
            const int32_t x0 = static_cast<int32_t>(X);
            const int32_t y0 = static_cast<int32_t>(Y);
            if (x0 < 0 || y0 < 0 || x0 + 1 > w || y0 + 1 > h) continue;
            bool black;
            if (!interpolate) {
                black = bitpixels::Get(src.Row(y0), x0);
            } else {
                const int32_t x1 = x0 + 1 == w ? x0 : x0 + 1;
                const int32_t y1 = y0 + 1 == h ? y0 : y0 + 1;
                const uint8_t* r0 = src.Row(y0);
                const uint8_t* r1 = src.Row(y1);
                const double v = Bilinear(X - x0, Y - y0, bitpixels::Get(r0, x0), bitpixels::Get(r0, x1),
                                          bitpixels::Get(r1, x0), bitpixels::Get(r1, x1));
                black = v > 0.3;
            }
            if (black)
                bitpixels::Set(out, xd);
            else
                bitpixels::Clear(out, xd);
        }
    }
}

}  // namespace

void CRotateProcessor::RotatedSize(int32_t w, int32_t h, double theta, int32_t* outW, int32_t* outH) {
    const double c = std::cos(theta), s = std::sin(theta);
    const double wm = w - 1.0, hm = h - 1.0;
    const double fw = std::max(std::fabs(c * wm - s * hm), std::fabs(c * wm + s * hm));
    const double fh = std::max(std::fabs(c * hm + s * wm), std::fabs(c * hm - s * wm));
    // A one-pixel row or column has a zero-sized centre box; the image keeps
    // at least one pixel in each direction.
    // Sizes beyond the 32-bit range are cut to it; Create refuses them.
    const double limit = static_cast<double>(std::numeric_limits<int32_t>::max());
    const double rw = std::min(std::floor(fw + 0.5), limit);
    const double rh = std::min(std::floor(fh + 0.5), limit);
    *outW = rw < 1 ? 1 : static_cast<int32_t>(rw);
    *outH = rh < 1 ? 1 : static_cast<int32_t>(rh);
}

int CRotateProcessor::Process(CRawImage& dst) {
    if (!source_ || !source_->HasPixels()) return 0;
    if (&dst == source_) return ProcessInPlace();
    switch (mode) {
        case 1:
            return QuarterTurn(dst, 1);
        case 2:
            return QuarterTurn(dst, 2);
        case 3:
            return QuarterTurn(dst, 3);
        default:
            return RotateByAngle(dst);
    }
}

int CRotateProcessor::ProcessInPlace() {
    if (!target_ || !target_->HasPixels()) return 0;
    const bool angleMode = mode != 1 && mode != 2 && mode != 3;
    if (angleMode && std::fabs(angle) < 1e-7) return 1;
    CRawImage result;
    const int ok = Process(result);
    if (ok) {
        target_->TakePixels(result);
        target_->xResolution = result.xResolution;
        target_->yResolution = result.yResolution;
    }
    return ok;
}

int CRotateProcessor::QuarterTurn(CRawImage& dst, int turn) const {
    const CRawImage& src = *source_;
    const int32_t w = src.width, h = src.height, bpp = src.bitCount;
    const bool swap = turn != 2;
    if (!dst.Create(swap ? h : w, swap ? w : h, bpp, src.xResolution)) return 0;
    // Destination position of source pixel (x, y).
    auto target = [&](int32_t x, int32_t y, int32_t* dx, int32_t* dy) {
        if (turn == 1) {
            *dx = h - 1 - y;
            *dy = x;
        } else if (turn == 3) {
            *dx = y;
            *dy = w - 1 - x;
        } else {
            *dx = w - 1 - x;
            *dy = h - 1 - y;
        }
    };
    if (bpp == 1) {
        // The destination is all white after Create; only black pixels move.
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* row = src.Row(y);
            for (int32_t x = 0; x < w; ++x) {
                if (!bitpixels::Get(row, x)) continue;
                int32_t dx, dy;
                target(x, y, &dx, &dy);
                bitpixels::Set(dst.Row(dy), dx);
            }
        }
        return 1;
    }
    const int bytes = bpp / 8;
    if (turn == 2) {
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* in = src.Row(y);
            uint8_t* out = dst.Row(h - 1 - y);
            for (int32_t x = 0; x < w; ++x)
                std::memcpy(out + bytes * (w - 1 - x), in + bytes * x, static_cast<size_t>(bytes));
        }
        return 1;
    }
    // Quarter turns walk the source in square tiles so that both images are
    // read and written in cache-sized pieces.
    constexpr int32_t kTile = 64;
    for (int32_t ty = 0; ty < h; ty += kTile) {
        const int32_t yEnd = std::min(h, ty + kTile);
        for (int32_t tx = 0; tx < w; tx += kTile) {
            const int32_t xEnd = std::min(w, tx + kTile);
            for (int32_t y = ty; y < yEnd; ++y) {
                const uint8_t* in = src.Row(y);
                for (int32_t x = tx; x < xEnd; ++x) {
                    int32_t dx, dy;
                    target(x, y, &dx, &dy);
                    std::memcpy(dst.Row(dy) + bytes * dx, in + bytes * x, static_cast<size_t>(bytes));
                }
            }
        }
    }
    return 1;
}

int CRotateProcessor::RotateByAngle(CRawImage& dst) const {
    if (std::fabs(angle) < 1e-7) return 1;  // nothing to turn; dst untouched
    if (!std::isfinite(angle)) return 0;
    const CRawImage& src = *source_;
    const int32_t bpp = src.bitCount;
    if (bpp != 1 && bpp != 8 && bpp != 24) return 0;
    int32_t outW = src.width, outH = src.height;
    if (!keepSize) RotatedSize(src.width, src.height, angle, &outW, &outH);

    Sampler sm;
    if (!sm.Init(angle, src.width, src.height, outW, outH, bpp == 24)) return 0;
    const int32_t resolution = src.xResolution;
    if (!dst.Create(outW, outH, bpp, resolution)) return 0;
    // Create keeps the old resolution when the geometry is unchanged.
    dst.xResolution = dst.yResolution = resolution;

    const size_t total = static_cast<size_t>(dst.height) * static_cast<size_t>(dst.bytesPerRow);
    if (bpp == 1) {
        std::memset(dst.Bits(), whiteFill ? 0x00 : 0xFF, total);
        RotateBits(src, dst, sm, interpolate != 0);
    } else {
        std::memset(dst.Bits(), whiteFill ? 0xFF : 0x00, total);
        if (bpp == 8 && interpolate)
            RotateGrayInterpolated(src, dst, sm);
        else if (bpp == 8)
            RotateBytes<1>(src, dst, sm, false);
        else
            RotateBytes<3>(src, dst, sm, interpolate != 0);
    }
    return 1;
}

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "image/Dib.h"
#include "image/RotateProcessor.h"
#include "image/SimdTierTest.h"

namespace {

MORVANE_TIER_SUITE(Rotate);

constexpr double kPi = 3.14159265358979323846;

// Pixel value as one integer: the bit for 1-bit, the byte for 8-bit, the
// three bytes for 24-bit.
int Pixel(const CRawImage& img, int x, int y) {
    const uint8_t* r = img.Row(y);
    switch (img.bitCount) {
        case 1:
            return (r[x >> 3] >> (7 - (x & 7))) & 1;
        case 8:
            return r[x];
        default:
            return r[3 * x] | (r[3 * x + 1] << 8) | (r[3 * x + 2] << 16);
    }
}

void SetPixel(CRawImage& img, int x, int y, int v) {
    uint8_t* r = img.Row(y);
    switch (img.bitCount) {
        case 1:
            if (v)
                r[x >> 3] = static_cast<uint8_t>(r[x >> 3] | (0x80 >> (x & 7)));
            else
                r[x >> 3] = static_cast<uint8_t>(r[x >> 3] & ~(0x80 >> (x & 7)));
            break;
        case 8:
            r[x] = static_cast<uint8_t>(v);
            break;
        default:
            r[3 * x] = static_cast<uint8_t>(v);
            r[3 * x + 1] = static_cast<uint8_t>(v >> 8);
            r[3 * x + 2] = static_cast<uint8_t>(v >> 16);
    }
}

CRawImage RandomImage(int w, int h, int bpp, unsigned start) {
    CRawImage img;
    EXPECT_EQ(img.Create(w, h, bpp, 200), 1);
    std::mt19937 rng(start);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) SetPixel(img, x, y, static_cast<int>(rng() & 0xFFFFFF));
    return img;
}

bool SamePixels(const CRawImage& a, const CRawImage& b) {
    if (a.width != b.width || a.height != b.height || a.bitCount != b.bitCount) return false;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (Pixel(a, x, y) != Pixel(b, x, y)) {
                ADD_FAILURE() << "first difference at " << x << "," << y << ": " << Pixel(a, x, y) << " vs "
                              << Pixel(b, x, y);
                return false;
            }
    return true;
}

// The rotation rule written out pixel by pixel, straight from its definition,
// as an independent reference for the processor's tabulated loops.
CRawImage ReferenceRotation(const CRawImage& src, double t, bool interp, bool keep, bool white) {
    const int w = src.width, h = src.height, bpp = src.bitCount;
    int W = w, H = h;
    if (!keep) {
        const double a = std::fabs(std::cos(t) * (w - 1) - std::sin(t) * (h - 1));
        const double b = std::fabs(std::cos(t) * (w - 1) + std::sin(t) * (h - 1));
        const double c = std::fabs(std::cos(t) * (h - 1) + std::sin(t) * (w - 1));
        const double d = std::fabs(std::cos(t) * (h - 1) - std::sin(t) * (w - 1));
        W = static_cast<int>(std::max(a, b) + 0.5);
        H = static_cast<int>(std::max(c, d) + 0.5);
    }
    CRawImage dst;
    EXPECT_EQ(dst.Create(W, H, bpp, 300), 1);
    const double cx = bpp == 24 ? (w - 1) / 2.0 : (w - 1) / 2;
    const double cy = bpp == 24 ? (h - 1) / 2.0 : (h - 1) / 2;
    const double cxd = (W - 1) / 2.0, cyd = (H - 1) / 2.0;
    for (int yd = 0; yd < H; ++yd) {
        for (int xd = 0; xd < W; ++xd) {
            const double X = cx + std::cos(t) * (xd - cxd) + std::sin(t) * (yd - cyd) + 0.5;
            const double Y = cy - std::sin(t) * (xd - cxd) + std::cos(t) * (yd - cyd) + 0.5;
            const int x0 = static_cast<int>(X), y0 = static_cast<int>(Y);
            if (x0 < 0 || y0 < 0 || x0 + 1 > w || y0 + 1 > h) {
                const int fill = bpp == 1 ? (white ? 0 : 1) : (white ? 0xFFFFFF : 0);
                SetPixel(dst, xd, yd, fill);
                continue;
            }
            if (!interp) {
                SetPixel(dst, xd, yd, Pixel(src, x0, y0));
                continue;
            }
            const int x1 = x0 + 1 == w ? x0 : x0 + 1, y1 = y0 + 1 == h ? y0 : y0 + 1;
            const double fx = X - x0, fy = Y - y0;
            auto mix = [&](double p00, double p10, double p01, double p11) {
                return ((1 - fx) * p00 + fx * p10) * (1 - fy) + fy * ((1 - fx) * p01 + fx * p11);
            };
            if (bpp == 1) {
                const double v =
                    mix(Pixel(src, x0, y0), Pixel(src, x1, y0), Pixel(src, x0, y1), Pixel(src, x1, y1));
                SetPixel(dst, xd, yd, v > 0.3 ? 1 : 0);
            } else {
                int out = 0;
                for (int k = 0; k < (bpp == 24 ? 3 : 1); ++k) {
                    auto ch = [&](int x, int y) { return (Pixel(src, x, y) >> (8 * k)) & 0xFF; };
                    double v = mix(ch(x0, y0), ch(x1, y0), ch(x0, y1), ch(x1, y1));
                    if (v > 255) v = 255;
                    if (v < 0) v = 0;  // extrapolated before the first row or column
                    out |= static_cast<int>(v) << (8 * k);
                }
                SetPixel(dst, xd, yd, out);
            }
        }
    }
    return dst;
}

TEST_P(Rotate, QuarterAndHalfTurnsMovePixelsExactly) {
    for (int bpp : {1, 8, 24}) {
        for (int mode : {1, 2, 3}) {
            // Odd sizes so that rows end inside a byte and a padding group.
            const CRawImage src = RandomImage(19, 7, bpp, static_cast<unsigned>(bpp * 10 + mode));
            CRawImage dst;
            ASSERT_EQ(const_cast<CRawImage&>(src).Rotate(&dst, mode, 0.0, 1, 1, 1), 1);
            const int w = src.width, h = src.height;
            ASSERT_EQ(dst.bitCount, bpp);
            ASSERT_EQ(dst.width, mode == 2 ? w : h) << bpp << "/" << mode;
            ASSERT_EQ(dst.height, mode == 2 ? h : w);
            EXPECT_EQ(dst.xResolution, 200);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    int dx = 0, dy = 0;
                    if (mode == 1) dx = h - 1 - y, dy = x;
                    if (mode == 2) dx = w - 1 - x, dy = h - 1 - y;
                    if (mode == 3) dx = y, dy = w - 1 - x;
                    ASSERT_EQ(Pixel(dst, dx, dy), Pixel(src, x, y))
                        << "bpp " << bpp << " mode " << mode << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST_P(Rotate, QuarterTurnsComposeToIdentityInPlace) {
    for (int bpp : {1, 8, 24}) {
        const CRawImage original = RandomImage(70, 33, bpp, 5u + static_cast<unsigned>(bpp));
        CRawImage img(original);
        for (int i = 0; i < 4; ++i) ASSERT_EQ(img.Rotate(nullptr, 1, 0.0, 0, 0, 0), 1);
        EXPECT_TRUE(SamePixels(img, original)) << bpp;
        ASSERT_EQ(img.Rotate(nullptr, 3, 0.0, 0, 0, 0), 1);
        EXPECT_EQ(img.width, original.height);
        ASSERT_EQ(img.Rotate(nullptr, 1, 0.0, 0, 0, 0), 1);
        EXPECT_TRUE(SamePixels(img, original)) << bpp;
        ASSERT_EQ(img.Rotate(nullptr, 2, 0.0, 0, 0, 0), 1);
        ASSERT_EQ(img.Rotate(nullptr, 2, 0.0, 0, 0, 0), 1);
        EXPECT_TRUE(SamePixels(img, original)) << bpp;
    }
}

TEST_P(Rotate, RightAngleByAngleMatchesQuarterTurnsOnOddSquares) {
    // Without interpolation and with the size kept, turning an odd square by
    // +90, 180 or -90 degrees hits the pixel centres exactly.
    struct Case {
        double angle;
        int mode;
    } cases[] = {{kPi / 2, 1}, {kPi, 2}, {-kPi / 2, 3}};
    for (int bpp : {1, 8, 24}) {
        const CRawImage src = RandomImage(15, 15, bpp, 77u + static_cast<unsigned>(bpp));
        for (const auto& c : cases) {
            CRawImage byAngle, byTurn;
            ASSERT_EQ(const_cast<CRawImage&>(src).Rotate(&byAngle, 0, c.angle, 0, 1, 1), 1);
            ASSERT_EQ(const_cast<CRawImage&>(src).Rotate(&byTurn, c.mode, 0.0, 0, 1, 1), 1);
            EXPECT_TRUE(SamePixels(byAngle, byTurn)) << "bpp " << bpp << " mode " << c.mode;
        }
    }
}

TEST_P(Rotate, ZeroAngleTouchesNothing) {
    CRawImage img = RandomImage(9, 4, 8, 3);
    const CRawImage before(img);
    for (double t : {0.0, 5e-8, -9.9e-8}) {
        EXPECT_EQ(img.Rotate(nullptr, 0, t, 1, 0, 1), 1);
        EXPECT_TRUE(SamePixels(img, before));
        CRawImage dst;
        EXPECT_EQ(img.Rotate(&dst, 0, t, 1, 0, 1), 1);
        EXPECT_FALSE(dst.HasPixels());
    }
    // Modes other than 1 to 3 are rotations by the angle.
    CRawImage dst;
    EXPECT_EQ(img.Rotate(&dst, 7, 0.0, 1, 1, 1), 1);
    EXPECT_FALSE(dst.HasPixels());
}

TEST_P(Rotate, OutputSizeRule) {
    struct Case {
        int w, h;
        double t;
        int W, H;
    } cases[] = {
        {40, 30, 1e-6, 39, 29},                             // the box of the centres: one pixel smaller
        {40, 30, -1e-6, 39, 29},  {11, 5, kPi / 2, 4, 10},  // a quarter turn swaps the centre box
        {101, 51, 0.1, 104, 60},                            // 99.50+4.99 and 49.75+9.98, rounded
        {101, 51, -0.1, 104, 60}, {1, 1, 0.3, 1, 1},        // never below one pixel
    };
    for (const auto& c : cases) {
        CRawImage src;
        ASSERT_EQ(src.Create(c.w, c.h, 8, 300), 1);
        CRawImage dst;
        ASSERT_EQ(src.Rotate(&dst, 0, c.t, 1, 0, 1), 1) << c.w << "x" << c.h << " " << c.t;
        EXPECT_EQ(dst.width, c.W) << c.w << "x" << c.h << " " << c.t;
        EXPECT_EQ(dst.height, c.H) << c.w << "x" << c.h << " " << c.t;
        // With keep size on, the size never changes.
        ASSERT_EQ(src.Rotate(&dst, 0, c.t, 1, 1, 1), 1);
        EXPECT_EQ(dst.width, c.w);
        EXPECT_EQ(dst.height, c.h);
    }
}

TEST_P(Rotate, FillsCornersByFormat) {
    struct Case {
        int bpp;
        int white;
        int expected;
    } cases[] = {
        {1, 1, 0}, {1, 0, 1}, {8, 1, 255}, {8, 0, 0}, {24, 1, 0xFFFFFF}, {24, 0, 0}, {8, 7, 255},
    };
    for (const auto& c : cases) {
        CRawImage img;
        ASSERT_EQ(img.Create(60, 40, c.bpp, 300), 1);
        // A mid-gray (8/24-bit) or half-black page, so that the fill differs
        // from the moved pixels.
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 60; ++x) SetPixel(img, x, y, c.bpp == 1 ? (c.expected ^ 1) : 0x808080);
        ASSERT_EQ(img.Rotate(nullptr, 0, 0.35, 1, 1, c.white), 1);
        for (auto [x, y] : {std::pair{0, 0}, {59, 0}, {0, 39}, {59, 39}})
            EXPECT_EQ(Pixel(img, x, y), c.expected) << c.bpp << "/" << c.white << " corner " << x << "," << y;
        // The centre still carries the page.
        EXPECT_NE(Pixel(img, 30, 20), c.expected) << c.bpp << "/" << c.white;
    }
}

TEST_P(Rotate, HalfPixelOffsetAndEdgePullBack) {
    // At a right angle the sampling point lies half a pixel off the centres,
    // so interpolation averages two neighbours; at the last row the lower
    // neighbour is pulled back onto the row itself.
    CRawImage src;
    ASSERT_EQ(src.Create(3, 3, 8, 300), 1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) src.Row(y)[x] = static_cast<uint8_t>(10 * x + 100 * y);
    CRawImage dst;
    ASSERT_EQ(src.Rotate(&dst, 0, kPi / 2, 1, 1, 1), 1);
    // Destination (0,0) samples X = 0.5, Y = 2.5: the mean of (0,2) and (1,2).
    EXPECT_EQ(dst.Row(0)[0], 205);
    // Destination (1,1) samples X = 1.5, Y = 1.5: the mean of (1,1),(2,1),(1,2),(2,2).
    EXPECT_EQ(dst.Row(1)[1], (110 + 120 + 210 + 220) / 4);
    // Destination (2,2) samples X = 2.5, Y = 0.5: x1 pulled back to column 2.
    EXPECT_EQ(dst.Row(2)[2], (20 + 120) / 2);
}

TEST_P(Rotate, ExtrapolationBeforeTheFirstRowStaysInRange) {
    // Near the top edge the sampling row lies in (-1, 0), truncates onto row
    // 0 and gets a negative weight: a black first row over white rows would
    // extrapolate below 0.
    CRawImage img;
    ASSERT_EQ(img.Create(37, 23, 8, 300), 1);
    for (int y = 0; y < 23; ++y) std::memset(img.Row(y), y == 0 ? 0 : 255, 37);
    CRawImage dst;
    ASSERT_EQ(img.Rotate(&dst, 0, 0.05, 1, 1, 1), 1);
    // Sampling point of (33, 0) is about (32.93, -0.24): row 0 weighs 1.24 and
    // row 1 -0.24, about -61 before the limit.
    EXPECT_EQ(dst.Row(0)[33], 0);
    // Rows well inside the page are plain white.
    for (int x = 5; x < 32; ++x) EXPECT_EQ(dst.Row(12)[x], 255) << x;
}

TEST_P(Rotate, ArbitraryAnglesFollowTheSamplingRule) {
    struct Case {
        int w, h;
        double t;
        int interp, keep, white;
    } cases[] = {
        {37, 23, 0.05, 1, 1, 1},   {37, 23, -0.05, 1, 0, 0},  {36, 24, 0.7, 1, 0, 1},
        {36, 24, -2.5, 0, 1, 0},   {17, 40, 0.0123, 0, 0, 1}, {64, 9, 3.0, 1, 1, 0},
        {301, 203, 0.03, 1, 1, 1}, {300, 200, -0.2, 1, 0, 0},
    };
    for (int bpp : {1, 8, 24}) {
        for (const auto& c : cases) {
            const CRawImage src = RandomImage(c.w, c.h, bpp, static_cast<unsigned>(c.w * 31 + bpp));
            CRawImage dst;
            ASSERT_EQ(const_cast<CRawImage&>(src).Rotate(&dst, 0, c.t, c.interp, c.keep, c.white), 1);
            const CRawImage ref = ReferenceRotation(src, c.t, c.interp, c.keep, c.white);
            EXPECT_TRUE(SamePixels(dst, ref)) << "bpp " << bpp << " angle " << c.t << " interp " << c.interp;
        }
    }
}

TEST_P(Rotate, RowsAreReachedThroughTheRowTable) {
    // Rows stored in another order than top first must still be read through
    // their row pointers.
    for (int bpp : {1, 8, 24}) {
        CRawImage src = RandomImage(90, 40, bpp, 11u + static_cast<unsigned>(bpp));
        const CRawImage ordered(src);
        for (int y = 0; y < 20; ++y) src.SwapRows(y, 39 - y);
        // Swap the pixel data back so the picture is unchanged.
        for (int y = 0; y < 20; ++y) {
            std::vector<uint8_t> tmp(src.Row(y), src.Row(y) + src.bytesPerRow);
            std::memcpy(src.Row(y), src.Row(39 - y), static_cast<size_t>(src.bytesPerRow));
            std::memcpy(src.Row(39 - y), tmp.data(), tmp.size());
        }
        ASSERT_TRUE(SamePixels(src, ordered));
        CRawImage a, b;
        ASSERT_EQ(src.Rotate(&a, 0, 0.1, 1, 1, 1), 1);
        ASSERT_EQ(const_cast<CRawImage&>(ordered).Rotate(&b, 0, 0.1, 1, 1, 1), 1);
        EXPECT_TRUE(SamePixels(a, b)) << bpp;
    }
}

TEST_P(Rotate, PositiveAngleLevelsLinesRisingToTheRight) {
    // A 3-pixel thick line rising by 3 degrees to the right, turned back by
    // +3 degrees, lies within a few rows.
    const double t = 3.0 * kPi / 180;
    for (int bpp : {1, 8}) {
        CRawImage img;
        ASSERT_EQ(img.Create(400, 200, bpp, 300), 1);
        if (bpp == 8) std::memset(img.Bits(), 255, static_cast<size_t>(img.bytesPerRow) * 200);
        for (int x = 50; x < 350; ++x) {
            const int yc = static_cast<int>(std::lround(100 - std::tan(t) * (x - 200)));
            for (int d = -1; d <= 1; ++d) SetPixel(img, x, yc + d, bpp == 1 ? 1 : 0);
        }
        ASSERT_EQ(img.Rotate(nullptr, 0, t, 1, 1, 1), 1);
        int top = 1000, bottom = -1;
        for (int y = 0; y < 200; ++y)
            for (int x = 80; x < 320; ++x) {
                const bool ink = bpp == 1 ? Pixel(img, x, y) == 1 : Pixel(img, x, y) < 128;
                if (ink) top = std::min(top, y), bottom = std::max(bottom, y);
            }
        EXPECT_LE(bottom - top, 4) << bpp;
        EXPECT_NEAR((top + bottom) / 2.0, 100, 2) << bpp;
    }
}

TEST_P(Rotate, KeepsResolutionAndFailsOnEmptySource) {
    CRawImage img = RandomImage(30, 20, 24, 9);
    img.xResolution = img.yResolution = 150;
    ASSERT_EQ(img.Rotate(nullptr, 0, 0.2, 1, 0, 1), 1);
    EXPECT_EQ(img.xResolution, 150);
    EXPECT_EQ(img.yResolution, 150);
    EXPECT_EQ(img.bitCount, 24);

    CRawImage empty, dst;
    ASSERT_EQ(dst.Create(5, 5, 8, 300), 1);
    dst.Row(2)[2] = 42;
    for (int mode : {0, 1, 2, 3}) {
        EXPECT_EQ(empty.Rotate(&dst, mode, 0.5, 1, 1, 1), 0) << mode;
        EXPECT_EQ(empty.Rotate(nullptr, mode, 0.5, 1, 1, 1), 0) << mode;
    }
    EXPECT_EQ(dst.width, 5);
    EXPECT_EQ(dst.Row(2)[2], 42);

    // An angle that is not a number turns nothing and reports failure.
    CRawImage page = RandomImage(12, 9, 8, 4);
    const CRawImage before(page);
    for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        EXPECT_EQ(page.Rotate(&dst, 0, bad, 1, 0, 1), 0);
        EXPECT_EQ(page.Rotate(nullptr, 0, bad, 1, 1, 1), 0);
        EXPECT_TRUE(SamePixels(page, before));
        EXPECT_EQ(dst.Row(2)[2], 42);
    }
}

}  // namespace

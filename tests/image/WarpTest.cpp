// Fixed-point bilinear resampling: the same bytes at every vector tier, the
// geometry of the classic rotation, fills outside the source and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "image/SimdTierTest.h"
#include "image/Warp.h"

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

CRawImage NoisePage(int w, int h, int bpp, unsigned start) {
    CRawImage img;
    EXPECT_EQ(img.Create(w, h, bpp, 300), 1);
    std::mt19937 rng(start);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < img.bytesPerRow; ++x) img.Row(y)[x] = static_cast<uint8_t>(rng());
    return img;
}

// The scalar result of a warp, for comparing the tiers against.
CRawImage ScalarWarp(const CRawImage& src, const WarpGrid& g, int w, int h) {
    const simd::Tier before = simd::ActiveTier();
    simd::SetTier(simd::Tier::kScalar);
    CRawImage out;
    EXPECT_TRUE(WarpImage(src, g, w, h, 255, &out));
    simd::SetTier(before);
    return out;
}

bool SamePixels(const CRawImage& a, const CRawImage& b) {
    if (a.width != b.width || a.height != b.height || a.bitCount != b.bitCount) return false;
    const size_t row = static_cast<size_t>(a.width) * a.bitCount / 8;
    for (int y = 0; y < a.height; ++y)
        if (std::memcmp(a.Row(y), b.Row(y), row) != 0) return false;
    return true;
}

MORVANE_TIER_SUITE(WarpTiers);

TEST_P(WarpTiers, EveryTierGivesTheScalarBytes) {
    // Noise pages (every byte different from its neighbours), odd widths,
    // turns within and beyond the kernel's near-level range, grids that run
    // off every side.
    for (int bpp : {8, 24}) {
        const CRawImage src = NoisePage(331, 217, bpp, 7u + bpp);
        for (double degrees : {0.0, 0.3, -1.7, 4.9, -9.0, 30.0, 170.0}) {
            const double a = degrees * kDeg, c = std::cos(a), s = std::sin(a);
            for (double shift : {0.0, -13.25, 40.6}) {
                WarpGrid g;
                g.x0 = shift + 3.1;
                g.y0 = 0.37 * shift;
                g.dxCol = c;
                g.dyCol = -s;
                g.dxRow = s;
                g.dyRow = c;
                CRawImage out;
                ASSERT_TRUE(WarpImage(src, g, 301, 199, 255, &out));
                EXPECT_TRUE(SamePixels(out, ScalarWarp(src, g, 301, 199)))
                    << bpp << " " << degrees << " " << shift;
            }
        }
    }
}

TEST_P(WarpTiers, RotateFastFollowsTheClassicRotation) {
    // A page of soft gray blobs (smooth, so that interpolation differences
    // stay small) turned both ways: within a few gray levels of the classic
    // rotation everywhere but along the half-pixel-shifted edges, and the
    // same size.
    CRawImage page;
    ASSERT_EQ(page.Create(640, 480, 8, 300), 1);
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x)
            page.Row(y)[x] = static_cast<uint8_t>(128 + 100 * std::sin(x / 23.0) * std::cos(y / 17.0));
    for (double degrees : {2.0, -3.5}) {
        CRawImage classic(page), fast(page);
        ASSERT_EQ(classic.Rotate(nullptr, 0, degrees * kDeg, 1, 1, 1), 1);
        ASSERT_EQ(RotateFast(fast, degrees * kDeg, true, true), 1);
        ASSERT_EQ(fast.width, classic.width);
        ASSERT_EQ(fast.height, classic.height);
        int far = 0, n = 0;
        for (int y = 20; y < page.height - 20; ++y)
            for (int x = 20; x < page.width - 20; ++x, ++n)
                if (std::abs(fast.Row(y)[x] - classic.Row(y)[x]) > 6) ++far;
        EXPECT_LT(far, n / 100) << degrees;
        // Corners turned in from outside are filled white.
        EXPECT_EQ(fast.Row(0)[0], 255);
        EXPECT_EQ(fast.Row(fast.height - 1)[fast.width - 1], 255);
    }
    // A grown canvas holds the whole turned page.
    CRawImage grown(page);
    ASSERT_EQ(RotateFast(grown, 10 * kDeg, false, false), 1);
    EXPECT_GT(grown.width, page.width);
    EXPECT_GT(grown.height, page.height);
    EXPECT_EQ(grown.Row(0)[0], 0);
}

TEST(Warp, RefusesWhatItCannotDo) {
    const CRawImage gray = NoisePage(40, 30, 8, 1);
    CRawImage out;
    WarpGrid g;
    EXPECT_FALSE(WarpImage(gray, g, 0, 10, 255, &out));
    EXPECT_FALSE(WarpImage(gray, g, 10, 30001, 255, &out));
    EXPECT_FALSE(WarpImage(gray, g, 10, 10, 255, nullptr));
    g.dxCol = std::nan("");
    EXPECT_FALSE(WarpImage(gray, g, 10, 10, 255, &out));
    g.dxCol = 100;  // a step beyond 8 pixels
    EXPECT_FALSE(WarpImage(gray, g, 10, 10, 255, &out));
    EXPECT_FALSE(out.HasPixels());
    CRawImage empty;
    EXPECT_FALSE(WarpImage(empty, WarpGrid{}, 10, 10, 255, &out));
    const CRawImage bits = NoisePage(40, 30, 1, 2);
    EXPECT_FALSE(WarpImage(bits, WarpGrid{}, 10, 10, 255, &out));
    // RotateFast hands 1-bit pages and bad angles to the classic rotation's
    // rules.
    CRawImage b(bits);
    EXPECT_EQ(RotateFast(b, 2 * kDeg, true, true), 1);
    EXPECT_EQ(b.bitCount, 1);
    CRawImage g2(gray);
    EXPECT_EQ(RotateFast(g2, std::nan(""), true, true), 0);
    EXPECT_EQ(RotateFast(g2, 0.0, true, true), 1);
    EXPECT_TRUE(SamePixels(g2, gray));
    // One pixel: turned in place, the pixel keeps its value.
    CRawImage one;
    ASSERT_EQ(one.Create(1, 1, 8, 300), 1);
    one.Row(0)[0] = 77;
    EXPECT_EQ(RotateFast(one, 3 * kDeg, true, true), 1);
    EXPECT_EQ(one.Row(0)[0], 77);
}

}  // namespace

// Degraded glyph variants and their representatives (the prototype
// training of the engine plug-ins).
#include <gtest/gtest.h>

#ifdef MORVANE_ENGINE_BUILD_DIR
#include <algorithm>
#include <cmath>

#include "GlyphVariants.h"

using namespace morvane_plugins;

namespace {

// A white image with a black rectangle [x0, x1) x [y0, y1).
GrayGlyph Bar(int w, int h, int x0, int y0, int x1, int y1) {
    GrayGlyph g;
    g.width = w;
    g.height = h;
    g.pixels.assign(static_cast<size_t>(w) * h, 255);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) g.pixels[static_cast<size_t>(y) * w + x] = 0;
    return g;
}

// Rows and columns holding a pixel darker than the middle.
void InkExtent(const GrayGlyph& g, int& rows, int& cols) {
    rows = cols = 0;
    for (int y = 0; y < g.height; ++y) {
        bool any = false;
        for (int x = 0; x < g.width; ++x) any = any || g.pixels[static_cast<size_t>(y) * g.width + x] < 128;
        rows += any;
    }
    for (int x = 0; x < g.width; ++x) {
        bool any = false;
        for (int y = 0; y < g.height; ++y) any = any || g.pixels[static_cast<size_t>(y) * g.width + x] < 128;
        cols += any;
    }
}

}  // namespace

TEST(GlyphVariants, ResamplingBringsTheInkToItsHeightBothWays) {
    const GrayGlyph bar = Bar(60, 120, 10, 20, 40, 100);  // ink 30 x 80
    const GrayGlyph small = ResampleGlyph(bar, 20, 100, 10.0, 0.0, 0.0);
    ASSERT_FALSE(small.pixels.empty());
    for (double target : {7.0, 10.0, 17.0, 40.0}) {
        const GrayGlyph r = ResampleGlyph(bar, 20, 100, target, 0.5, 0.25);
        ASSERT_FALSE(r.pixels.empty()) << target;
        int rows = 0, cols = 0;
        InkExtent(r, rows, cols);
        EXPECT_NEAR(rows, target, 1.0) << target;
        EXPECT_NEAR(cols, target * 30.0 / 80.0, 1.0) << target;
    }
    // Enlarging the small glyph again keeps its proportions.
    int sr = 0, sc = 0;
    InkExtent(small, sr, sc);
    const GrayGlyph big = ResampleGlyph(small, 0, small.height, small.height * 34.0 / 10.0, 0.0, 0.0);
    int rows = 0, cols = 0;
    InkExtent(big, rows, cols);
    EXPECT_NEAR(rows, 34.0, 3.0);
    EXPECT_NEAR(static_cast<double>(cols) / rows, 30.0 / 80.0, 0.08);
}

TEST(GlyphVariants, ResamplingRefusesBadSizes) {
    const GrayGlyph bar = Bar(20, 20, 5, 5, 15, 15);
    EXPECT_TRUE(ResampleGlyph(bar, 5, 5, 10.0, 0, 0).pixels.empty());     // no ink rows
    EXPECT_TRUE(ResampleGlyph(bar, 5, 25, 10.0, 0, 0).pixels.empty());    // rows past the image
    EXPECT_TRUE(ResampleGlyph(bar, 5, 15, 0.0, 0, 0).pixels.empty());     // no height
    EXPECT_TRUE(ResampleGlyph(bar, 5, 15, 1.0e6, 0, 0).pixels.empty());   // too large
    GrayGlyph broken = bar;
    broken.pixels.pop_back();
    EXPECT_TRUE(ResampleGlyph(broken, 5, 15, 10.0, 0, 0).pixels.empty());
}

TEST(GlyphVariants, CuttingLevelsThinAndSpreadTheInk) {
    GrayGlyph bar = Bar(40, 40, 15, 10, 25, 30);
    BlurGlyph(bar, 2.0);
    auto inked = [](GrayGlyph g, double level) {
        CutAt(g, level);
        return std::count(g.pixels.begin(), g.pixels.end(), 0);
    };
    EXPECT_LT(inked(bar, 0.3), inked(bar, 0.5));
    EXPECT_LT(inked(bar, 0.5), inked(bar, 0.7));
    // Grain with the same generator start is the same grain.
    GrayGlyph a = bar, b = bar;
    uint64_t s1 = 7, s2 = 7;
    ContrastAndGrain(a, 70, 190, 14.0, s1);
    ContrastAndGrain(b, 70, 190, 14.0, s2);
    EXPECT_EQ(a.pixels, b.pixels);
    EXPECT_NE(a.pixels, bar.pixels);
}

TEST(GlyphVariants, EveryVariantOfAVisibleGlyphGivesFeatures) {
    VariantPlan plan;
    const GrayGlyph bar = Bar(80, 160, 20, 20, 60, 140);
    const std::vector<GlyphFeatures> sets = VariantFeatures(bar, plan, 1);
    EXPECT_EQ(sets.size(), plan.heights.size() * plan.blurs.size() * plan.levels.size() * 3 * plan.phases);
    // A tall bar stays taller than wide in every variant.
    for (const GlyphFeatures& f : sets) EXPECT_LT(f.aspect, 0.0f);
    EXPECT_TRUE(VariantFeatures(Bar(40, 40, 0, 0, 0, 0), plan, 1).empty());
}

TEST(GlyphVariants, RepresentativesFollowTheGroups) {
    // Two clear groups of feature sets: a wide and a tall glyph.
    VariantPlan plan;
    std::vector<GlyphFeatures> wide = VariantFeatures(Bar(160, 80, 20, 10, 140, 70), plan, 1);
    std::vector<GlyphFeatures> tall = VariantFeatures(Bar(80, 160, 20, 20, 50, 140), plan, 2);
    std::vector<GlyphFeatures> all = wide;
    all.insert(all.end(), tall.begin(), tall.end());
    const std::vector<GlyphFeatures> two = Representatives(all, 2);
    ASSERT_EQ(two.size(), 2u);
    const bool firstWide = two[0].aspect > two[1].aspect;
    EXPECT_GT(two[firstWide ? 0 : 1].aspect, 0.5f);
    EXPECT_LT(two[firstWide ? 1 : 0].aspect, -0.5f);
    // Each member lies nearer its own group's representative.
    for (const GlyphFeatures& f : wide)
        EXPECT_LT(GlyphDistance(f, two[firstWide ? 0 : 1]), GlyphDistance(f, two[firstWide ? 1 : 0]));
    // Fewer sets than asked for are kept as they are.
    EXPECT_EQ(Representatives(std::vector<GlyphFeatures>(wide.begin(), wide.begin() + 3), 10).size(), 3u);
    EXPECT_TRUE(Representatives(all, 0).empty());
}

#else
TEST(GlyphVariants, NeedsTheEnginePlugins) { GTEST_SKIP() << "engine plug-ins are not built"; }
#endif

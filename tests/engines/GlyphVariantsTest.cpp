// Degraded glyph variants and their representatives (the prototype
// training of the engine plug-ins).
#include <gtest/gtest.h>

#ifdef MORVANE_ENGINE_BUILD_DIR
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

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

// A white w x h image with a ring of the given thickness around the whole
// image: on each side of the middle column either an ellipse's outline or a
// rectangle's (square corners).
enum class Side { kRound, kSquare };
GrayGlyph Ring(int w, int h, int thickness, Side left, Side right) {
    GrayGlyph g;
    g.width = w;
    g.height = h;
    g.pixels.assign(static_cast<size_t>(w) * h, 255);
    const double cx = w / 2.0, cy = h / 2.0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            bool ink;
            if ((px < cx ? left : right) == Side::kSquare) {
                const double edge = std::min(std::min(px, w - px), std::min(py, h - py));
                ink = edge < thickness;
            } else {
                const double outer = std::pow((px - cx) / cx, 2) + std::pow((py - cy) / cy, 2);
                const double inner =
                    std::pow((px - cx) / (cx - thickness), 2) + std::pow((py - cy) / (cy - thickness), 2);
                ink = outer <= 1.0 && inner >= 1.0;
            }
            if (ink) g.pixels[static_cast<size_t>(y) * w + x] = 0;
        }
    return g;
}

GlyphFeatures FeaturesOf(const GrayGlyph& g) {
    GlyphFeatures f;
    EXPECT_TRUE(ExtractFeatures(g.pixels.data(), g.width, g.height, g.width, f));
    return f;
}

}  // namespace

TEST(GlyphCorners, FillOfEachCornerOfTheInkBox) {
    // Corners in order top left, top right, bottom left, bottom right; a
    // glyph round on one side and square on the other shows the order.
    const struct {
        const char* name;
        GrayGlyph glyph;
        bool square[4];
    } cases[] = {
        {"filled box", Bar(70, 100, 5, 5, 65, 95), {true, true, true, true}},
        {"ellipse ring (O)", Ring(60, 90, 8, Side::kRound, Side::kRound), {false, false, false, false}},
        {"rectangle ring", Ring(60, 90, 8, Side::kSquare, Side::kSquare), {true, true, true, true}},
        {"square left, round right (D)",
         Ring(60, 90, 8, Side::kSquare, Side::kRound),
         {true, false, true, false}},
        {"round left, square right",
         Ring(60, 90, 8, Side::kRound, Side::kSquare),
         {false, true, false, true}},
        {"small D (9 x 13)", Ring(9, 13, 2, Side::kSquare, Side::kRound), {true, false, true, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const GlyphFeatures f = FeaturesOf(c.glyph);
        for (int k = 0; k < kCorners; ++k) {
            if (c.square[k])
                EXPECT_GT(f.corners[k], 0.6f) << "corner " << k;
            else
                EXPECT_LT(f.corners[k], 0.25f) << "corner " << k;
        }
    }
}

TEST(GlyphCorners, WeighOnlyWhenAsked) {
    const GlyphFeatures round = FeaturesOf(Ring(60, 90, 8, Side::kRound, Side::kRound));
    const GlyphFeatures square = FeaturesOf(Ring(60, 90, 8, Side::kSquare, Side::kSquare));
    GlyphFeatures noCorners = square;
    for (float& c : noCorners.corners) c = 0.0f;
    // Unweighted (the default, as the general-text engines use it), the
    // corners change no distance.
    EXPECT_FLOAT_EQ(GlyphDistance(square, round), GlyphDistance(noCorners, round));
    // Weighted, each corner adds its squared difference times the weight.
    float sum = 0.0f;
    for (int k = 0; k < kCorners; ++k)
        sum += (square.corners[k] - round.corners[k]) * (square.corners[k] - round.corners[k]);
    EXPECT_NEAR(GlyphDistance(square, round, kAspectWeight, 30.0f) - GlyphDistance(square, round),
                30.0f * sum, 1e-3f);
    EXPECT_GT(sum, 1.0f);
}

TEST(GlyphCorners, PrototypeFileKeepsThemAndReadsOlderLines) {
    const GlyphFeatures round = FeaturesOf(Ring(60, 90, 8, Side::kRound, Side::kRound));
    const GlyphFeatures square = FeaturesOf(Ring(60, 90, 8, Side::kSquare, Side::kSquare));
    std::string older = CGlyphClassifier::FormatPrototype('Q', "old", square);
    // A line of the older format ends after the shape features.
    for (int k = 0; k < kCorners; ++k) older.erase(older.find_last_of(' '));
    older += '\n';
    const std::string path = ::testing::TempDir() + "glyph-corners.dat";
    {
        std::ofstream file(path);
        file << "# test prototypes\n"
             << CGlyphClassifier::FormatPrototype('O', "t", round)
             << CGlyphClassifier::FormatPrototype('0', "t", square) << older;
    }
    CGlyphClassifier glyphs;
    ASSERT_TRUE(glyphs.Load(path, "all"));
    std::remove(path.c_str());
    EXPECT_EQ(glyphs.Classes().size(), 3u);
    glyphs.SetCornerWeight(30.0f);
    const std::vector<ScoredClass> r = glyphs.Classify(square, {});
    ASSERT_EQ(r.size(), 3u);
    // The stored corners came back (rounded to thousandths); the older line
    // has none, so it lies as far as the corners weigh.
    EXPECT_EQ(r[0].code, '0');
    EXPECT_LE(r[0].distance, 5u);
    const auto older_it =
        std::find_if(r.begin(), r.end(), [](const ScoredClass& c) { return c.code == 'Q'; });
    ASSERT_NE(older_it, r.end());
    float sum = 0.0f;
    for (int k = 0; k < kCorners; ++k) sum += square.corners[k] * square.corners[k];
    EXPECT_NEAR(static_cast<float>(older_it->distance), 30.0f * sum * 100.0f, 10.0f);
}

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
    EXPECT_TRUE(ResampleGlyph(bar, 5, 5, 10.0, 0, 0).pixels.empty());    // no ink rows
    EXPECT_TRUE(ResampleGlyph(bar, 5, 25, 10.0, 0, 0).pixels.empty());   // rows past the image
    EXPECT_TRUE(ResampleGlyph(bar, 5, 15, 0.0, 0, 0).pixels.empty());    // no height
    EXPECT_TRUE(ResampleGlyph(bar, 5, 15, 1.0e6, 0, 0).pixels.empty());  // too large
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

TEST(GlyphVariants, RepresentativesKeepTheCornersOfTheirGroups) {
    VariantPlan plan;
    plan.heights = {12, 20, 30};
    const std::vector<GlyphFeatures> round =
        VariantFeatures(Ring(120, 180, 16, Side::kRound, Side::kRound), plan, 1);
    const std::vector<GlyphFeatures> square =
        VariantFeatures(Ring(120, 180, 16, Side::kSquare, Side::kSquare), plan, 2);
    ASSERT_FALSE(round.empty());
    ASSERT_FALSE(square.empty());
    std::vector<GlyphFeatures> all = round;
    all.insert(all.end(), square.begin(), square.end());
    for (const GlyphFeatures& f : Representatives(all, 2)) {
        // A representative is a mean of one group's members: its corners
        // are all empty (the ellipse) or all inked (the rectangle).
        const float lo = *std::min_element(f.corners, f.corners + kCorners);
        const float hi = *std::max_element(f.corners, f.corners + kCorners);
        EXPECT_TRUE(hi < 0.3f || lo > 0.5f) << lo << " .. " << hi;
    }
}

#else
TEST(GlyphVariants, NeedsTheEnginePlugins) { GTEST_SKIP() << "engine plug-ins are not built"; }
#endif

// Prototypes from many renderings of one glyph: a large, clean rendering is
// reduced to small glyph heights (7-40 pixels, at several sub-pixel phases),
// blurred, given grain and low contrast or made bilevel, enlarged again to the height the
// page is read at and cut at light, middle and dark levels (ink spread and
// thinning), as a scanned or photographed zone reaches the engine after its
// page was scaled to a common text height and binarised. The many feature
// sets of one glyph are then reduced to a few representatives (k-means), so
// that recognition time stays small.
#pragma once
#include <cstdint>
#include <vector>

#include "GlyphClassifier.h"

namespace morvane_plugins {

struct GrayGlyph {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // 0 black, 255 white, width * height
};

// Resamples `in` so that its rows [inkTop, inkBottom) become `targetInk`
// pixels tall (width scaled alike), averaging source pixels (reduction) or
// interpolating between them (enlargement); `phaseX`/`phaseY` in [0, 1)
// shift the sampling grid by a fraction of an output pixel. Empty when the
// sizes are out of range (each side 1 .. 4096).
GrayGlyph ResampleGlyph(const GrayGlyph& in, int inkTop, int inkBottom, double targetInk, double phaseX,
                        double phaseY);

// Gaussian blur of the given sigma (pixels; 0 leaves the image).
void BlurGlyph(GrayGlyph& g, double sigma);

// Maps the gray levels into [low, high] and adds Gaussian grain of the given
// standard deviation (levels), drawn from `state` (a fixed-start generator
// state, advanced).
void ContrastAndGrain(GrayGlyph& g, int low, int high, double grain, uint64_t& state);

// Black where darker than low + level * (high - low) of the image's own
// range (level 0.5: the middle; smaller: thinner ink; larger: spread ink).
void CutAt(GrayGlyph& g, double level);

struct VariantPlan {
    std::vector<double> heights = {7, 8, 9, 10, 12, 14, 17, 20, 24, 29, 34, 40};
    std::vector<double> blurs = {0.0, 0.5, 0.9};  // sigma in pixels of the small glyph
    std::vector<double> levels = {0.4, 0.5, 0.6};
    int phases = 2;
    double readHeight = 34.0;  // glyph height the page is read at
    double grain = 14.0;       // grain of the grainy variants (levels)
};

// Feature sets of every variant of the plan (glyphs that keep no ink are
// left out). The rendering's ink rows are found from its own pixels.
std::vector<GlyphFeatures> VariantFeatures(const GrayGlyph& rendering, const VariantPlan& plan,
                                           uint64_t start);

// At most `k` representatives of `sets` (k-means started from far-apart
// members, a fixed number of rounds; every representative is the mean of
// its members). Fewer when there are fewer sets.
std::vector<GlyphFeatures> Representatives(const std::vector<GlyphFeatures>& sets, size_t k);

}  // namespace morvane_plugins

// Nearest-neighbour classification of one character image against glyph
// prototypes rendered from fonts at build time.
//
// A glyph is described by its ink box (pixels darker than the midpoint
// between the darkest and the lightest level) resampled twice to a 12 x 12
// grid of ink fractions: once stretched to fill the grid and once with its
// proportions kept; plus its width-to-height ratio and, when the image has
// room above or below the ink (a character cell rather than a tight box),
// where the ink sits in the cell; and how much ink fills each corner of the
// ink box (OCR-B tells its round O from its square-cornered 0, and B from 8,
// by their corners far more than by their proportions, which pixel rounding
// blurs on small glyphs). The distance between two glyphs is the
// weighted sum of squared feature differences, so a clean character lies
// close to its own prototypes and far from the others, while a merged or cut
// box lies far from all of them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace morvane_plugins {

constexpr int kGrid = 12;
constexpr int kShapeFeatures = 2 * kGrid * kGrid;
constexpr float kAspectWeight = 12.0f;
constexpr int kCorners = 4;
// Corners count for nothing unless a data file asks for them: general text
// in many fonts has no such pairs, and its prototypes were tuned without.
constexpr float kCornerWeight = 0.0f;

struct GlyphFeatures {
    float shape[kShapeFeatures];
    float aspect;      // log2(width / height) of the ink box
    float cellTop;     // ink top / cell height (valid when hasCell)
    float cellBottom;  // ink bottom / cell height
    bool hasCell;
    // Ink fraction of the triangle cut off each corner of the ink box (top
    // left, top right, bottom left, bottom right) by the line through the
    // points 0.3 of the box's width and height from the corner.
    float corners[kCorners];
};

// Features of a w x h gray image (0 black), stride bytes per row. False when
// the image holds no ink (too little contrast).
bool ExtractFeatures(const uint8_t* pixels, int width, int height, int stride, GlyphFeatures& out);

struct GlyphPrototype {
    uint16_t code;
    std::string font;
    GlyphFeatures features;
};

struct ScoredClass {
    uint16_t code;
    uint32_t distance;  // scaled distance; smaller is better
};

class CGlyphClassifier {
public:
    // Reads a prototype file (lines "code font aspect top bottom hasCell
    // f0 ... f287 [c0 c1 c2 c3]": the four corner fills are optional, 0 when
    // absent; '#' starts a comment). Only prototypes whose font is in
    // `fonts` (space-separated tags, or "all") are kept. False when the file
    // cannot be read or holds none.
    bool Load(const std::string& path, const std::string& fonts);
    // Writes one prototype line.
    static std::string FormatPrototype(uint16_t code, const std::string& font, const GlyphFeatures& f);

    // Distances to every class allowed by `allowed` (a list of codes; empty
    // = every class), sorted best first.
    std::vector<ScoredClass> Classify(const GlyphFeatures& features,
                                      const std::vector<uint16_t>& allowed) const;
    // Every class code held.
    std::vector<uint16_t> Classes() const;
    bool Empty() const { return prototypes_.empty(); }
    // Weight of the width-to-height ratio in the distance (kAspectWeight
    // unless set): glyphs told apart mainly by their proportions, such as
    // O and 0 of OCR-B, need more of it than general text.
    void SetAspectWeight(float weight) { aspectWeight_ = weight; }
    // Weight of the corner fills (kCornerWeight unless set).
    void SetCornerWeight(float weight) { cornerWeight_ = weight; }

private:
    std::vector<GlyphPrototype> prototypes_;
    float aspectWeight_ = kAspectWeight;
    float cornerWeight_ = kCornerWeight;
};

// Distance between two feature sets (before scaling).
float GlyphDistance(const GlyphFeatures& a, const GlyphFeatures& b, float aspectWeight = kAspectWeight,
                    float cornerWeight = kCornerWeight);

}  // namespace morvane_plugins

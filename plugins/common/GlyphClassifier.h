// Nearest-neighbour classification of one character image against glyph
// prototypes rendered from fonts at build time.
//
// A glyph is described by its ink box (pixels darker than the midpoint
// between the darkest and the lightest level) resampled twice to a 12 x 12
// grid of ink fractions: once stretched to fill the grid and once with its
// proportions kept; plus its width-to-height ratio and, when the image has
// room above or below the ink (a character cell rather than a tight box),
// where the ink sits in the cell. The distance between two glyphs is the
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

struct GlyphFeatures {
    float shape[kShapeFeatures];
    float aspect;      // log2(width / height) of the ink box
    float cellTop;     // ink top / cell height (valid when hasCell)
    float cellBottom;  // ink bottom / cell height
    bool hasCell;
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
    // f0 ... f287"; '#' starts a comment). Only prototypes whose font is in
    // `fonts` (space-separated tags, or "all") are kept. False when the file
    // cannot be read or holds none.
    bool Load(const std::string& path, const std::string& fonts);
    // Writes one prototype line.
    static std::string FormatPrototype(uint16_t code, const std::string& font, const GlyphFeatures& f);

    // Distances to every class allowed by `allowed` (a list of codes; empty
    // = every class), sorted best first.
    std::vector<ScoredClass> Classify(const GlyphFeatures& features, const std::vector<uint16_t>& allowed) const;
    // Every class code held.
    std::vector<uint16_t> Classes() const;
    bool Empty() const { return prototypes_.empty(); }
    // Weight of the width-to-height ratio in the distance (kAspectWeight
    // unless set): glyphs told apart mainly by their proportions, such as
    // O and 0 of OCR-B, need more of it than general text.
    void SetAspectWeight(float weight) { aspectWeight_ = weight; }

private:
    std::vector<GlyphPrototype> prototypes_;
    float aspectWeight_ = kAspectWeight;
};

// Distance between two feature sets (before scaling).
float GlyphDistance(const GlyphFeatures& a, const GlyphFeatures& b, float aspectWeight = kAspectWeight);

}  // namespace morvane_plugins

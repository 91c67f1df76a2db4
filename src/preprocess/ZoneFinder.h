// Finding a machine-readable zone anywhere on a page: two or three long,
// parallel lines of equally pitched glyphs of one height, with '<' fillers.
//
// Works on the black components of a 1-bit image. Glyph-sized components are
// linked to their nearest neighbour to the right (mutually nearest, within a
// slope of 15 degrees), the links form chains, chains that continue one
// another across a lost glyph are joined, and each chain is then cut to its
// glyphs: its character height and pitch are measured, components of another
// height (card and page edges, photo blocks, guilloche) and end components
// farther from the line than the pitch allows are dropped. Lines of the same
// slope, glyph height and pitch, one to three and a half glyph heights apart
// and overlapping, form zones; the zone with the most glyphs and fillers
// wins. The fillers ('<' chevrons, about two thirds of a glyph high) also
// tell an upright zone from one turned by half a turn: a chevron whose ink
// spreads wide on its right side points left.
#pragma once
#include <cstdint>
#include <vector>

#include "image/Dib.h"

namespace libMorvaneClassifier {

struct ZoneGlyph {
    int32_t left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    bool filler = false;                               // shaped like a '<' or '>' chevron
};

struct ZoneLine {
    std::vector<ZoneGlyph> glyphs;  // left to right
    double slope = 0.0;             // rise of the glyph centres per column (image y grows downwards)
    double centre = 0.0;            // centre row of the line at column 0
    double height = 0.0;            // glyph height (full-height glyphs), pixels
    double pitch = 0.0;             // distance between glyph centres, pixels
    int32_t left = 0, top = 0, right = 0, bottom = 0;  // box of the glyphs, right and bottom exclusive
    int32_t fillers = 0;
};

struct ZoneFound {
    std::vector<ZoneLine> lines;  // top to bottom as the image lies
    double angle = 0.0;           // degrees; positive: lines fall to the right
    bool upsideDown = false;      // the fillers point right: the zone is turned by half a turn
    double charHeight = 0.0;
    double pitch = 0.0;
    int32_t glyphs = 0;
    int32_t fillers = 0;
    int32_t opened = 0;  // 0: found as the page lies; k: found once strokes thinner than k px were removed
};

// A copy of a 1-bit page without black strokes thinner than k pixels (an
// opening by a k x k square). False when src is not 1-bit with pixels, k < 1,
// or memory runs out.
bool OpenThinStrokes(const CRawImage& src, CRawImage& dst, int32_t k);

// Finds the best zone of a 1-bit image. False when the image is not 1-bit
// with pixels, or holds no zone of at least two lines of `minGlyphs` glyphs
// each (at least 2 fillers in all). The caller's limits on the glyph height
// (pixels; 0: none) narrow the search. When no zone is found on the page as
// it lies, the search is repeated on copies without strokes thinner than 2,
// then 3 pixels (patterned print behind the zone, binarised into lines that
// join its glyphs); `opened` tells which found it.
bool FindMachineReadableZone(const CRawImage& binary, ZoneFound& zone, int32_t minGlyphs = 20,
                             int32_t minHeight = 0, int32_t maxHeight = 0);

}  // namespace libMorvaneClassifier

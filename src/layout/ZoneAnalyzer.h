// Line analyser type 4: the lines of a machine-readable zone found anywhere
// in the location range (see preprocess/ZoneFinder.h), each box cut to its
// glyphs. Characters are not supported (false).
#pragma once
#include "layout/LayoutBase.h"

namespace libMorvaneClassifier {

class CZoneLineAnalyzer : public CLayoutBase {
public:
    // The two or three lines of the best zone in the range, top to bottom,
    // in coordinates of `image` (right and bottom exclusive). Each box holds
    // the line's glyphs with a quarter pitch beside its end glyphs and a
    // sixth of the glyph height above and below (never reaching into the
    // neighbouring line). Fails on a non-binary image, an empty range or
    // when no zone is found.
    bool LocateLines(const CRawImage& image, const CLineProperty& lineProperty,
                     const CLineLocationInfo& range, TextBoxList& lines) override;
    bool LocateChars(const CRawImage& image, const CCharProperty& charProperty, TextBoxList& chars) override;
};

}  // namespace libMorvaneClassifier

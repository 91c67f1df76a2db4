// The component-based layout analyser (analyser type 3, the default of every
// location method): finds text lines, and the characters of a text line,
// from the connected black components of a 1-bit image.
//
// Components are labelled in one pass, classified by size and shape, merged
// where they overlap and turned into two row profiles (a mid-height weight
// and a width sum). The peaks of the weight give line candidates, which are
// merged, filtered and refined with the width profile; the components are
// then assigned to the candidates, a straight base line is fitted through
// each group, and the groups give the line boxes or the character boxes of
// the chosen line.
#pragma once
#include <cstdint>
#include <vector>

#include "layout/LayoutBase.h"

namespace libMorvaneClassifier {

class CLayoutAnalyzer : public CLayoutBase {
public:
    // Line boxes in coordinates of `image` (see the range frame in
    // layout/LayoutBase.h), refined by RefineLineExtents. Fails on a
    // non-binary image, no components, a band shorter than 6 rows, no line
    // box, or with a property whose limits are all 0.
    bool LocateLines(const CRawImage& image, const CLineProperty& lineProperty,
                     const CLineLocationInfo& range, TextBoxList& lines) override;
    // Character boxes (right and bottom exclusive) of one line of `image`,
    // appended to `chars` sorted by left. With several line groups, only a
    // group with MinNum < members < MaxNum (MaxNum < 1: no upper limit),
    // mean member width below MaxWidthPx, mean member height below
    // MaxHeightPx and MinHeightPx < group height < MaxHeightPx can be chosen;
    // the one with the most members wins. A group whose member count is
    // outside the range is never chosen; with no qualifying group nothing is
    // appended and the call still succeeds. Fails on a non-binary image, no
    // components or a line image shorter than 6 rows.
    bool LocateChars(const CRawImage& image, const CCharProperty& charProperty, TextBoxList& chars) override;
};

// The stages of the analyser, exposed for testing.
namespace layout_detail {

enum ComponentKind : uint8_t {
    kKindNormal = 1,
    kKindSmall = 2,
    kKindElongated = 3,
    kKindLarge = 4,
    kKindRemoved = 5,
};

struct Component {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;   // exclusive
    int32_t bottom = 0;  // row after the last, never more than height - 1
    int32_t pixels = 0;
    uint8_t kind = kKindNormal;
};

// One-pass labelling with 8-connected contact (diagonal contact counts).
// Runs of 1 or 2 pixels with no black pixel below them are dropped as noise.
// The result keeps merged-away components with kind 5.
bool LabelComponents(const CRawImage& image, std::vector<Component>& components);
// Sets the kinds from the sizes; maxHeight is the property's MaxHeightPx.
void ClassifyComponents(std::vector<Component>& components, int32_t maxHeight);
// Removes the components of the given kinds (compacting in place).
void RemoveKinds(std::vector<Component>& components, bool normal, bool small, bool elongated, bool large);
// Merge rules 1 (rows overlap > 0.7, columns touch), 2 (rows touch, columns
// overlap > 0.7) and 3 (both > 0.9, pixels not added). The array must be
// sorted by left; it stays so.
void MergeComponents(std::vector<Component>& components, int rule);

}  // namespace layout_detail

}  // namespace libMorvaneClassifier

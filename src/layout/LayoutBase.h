// Layout analysers: find the text lines of an image region, or the
// characters of a text-line image, and report their rectangles.
//
// The location drivers (layout/LineLocation.h, layout/CharLocation.h) create
// one analyser per location method by its type number, call it once and
// delete it. Analysers keep nothing between calls and never change the
// image they are given.
//
// Frame of the location range. LocateLines takes the rows from
// H x Top / 100 to H x Bottom / 100 of the image; it finds the lines on the
// columns W x Left / 100 to W x Right / 100 of those rows, refines their
// horizontal extents on all columns of the same rows, and reports every box
// in coordinates of the image it was given. A range with Top 50 therefore
// finds in the lower half the same lines, moved down by H / 2 rows, that a
// crop of that half would give with Top 0. Range values are clamped to
// 0..100; an empty range (Right <= Left or Bottom <= Top after clamping)
// fails.
#pragma once
#include <cstdint>
#include <memory>

#include "image/Dib.h"
#include "layout/TextBox.h"

namespace libMorvaneClassifier {

class CLineProperty;
class CLineLocationInfo;
class CCharProperty;

class CLayoutBase {
public:
    // Virtual so that the factories can hand analysers out as owned pointers.
    virtual ~CLayoutBase() = default;
    // Fills `lines` with the lines of `image` inside `range`. The property's
    // MinNum and pixel limits (MinLengthPx .. MaxSpacePx) steer the search.
    virtual bool LocateLines(const CRawImage& image, const CLineProperty& lineProperty,
                             const CLineLocationInfo& range, TextBoxList& lines) = 0;
    // Fills `chars` with the characters of the line image `image`.
    virtual bool LocateChars(const CRawImage& image, const CCharProperty& charProperty,
                             TextBoxList& chars) = 0;
};

// Analyser type numbers of the location methods:
//   type   line location            character location
//   0      none                     CConnectedDomainAnalyzer
//   1      CGrayscaleDifference     none
//   2      CBinaryProjection        CBinaryProjection
//   3      CLayoutAnalyzer          CLayoutAnalyzer
//   4      CZoneLineAnalyzer        none
//          (a machine-readable zone anywhere in the range; layout/ZoneAnalyzer.h)
// Any other number gives null.
std::unique_ptr<CLayoutBase> CreateLineAnalyser(int32_t type);
std::unique_ptr<CLayoutBase> CreateCharAnalyser(int32_t type);

// Horizontal refinement of line boxes on a 1-bit image (the row band the
// boxes refer to): each box gets left/right from the runs of well-inked
// columns of its rows, or is removed when its ink covers a tenth of the
// columns or less, averages 5 black pixels per inked column or fewer, has no
// run of three columns, or whose length lies outside
// [MinLengthPx, MaxLengthPx]. `bottom` is clipped to the image height.
// False only for an image that is not 1-bit with pixels.
bool RefineLineExtents(const CRawImage& image, const CLineProperty& lineProperty, TextBoxList& lines);

// Projection analyser for 1-bit images. Lines: bottom inclusive, right
// exclusive (the refined extent). Characters: right and bottom inclusive.
class CBinaryProjection : public CLayoutBase {
public:
    bool LocateLines(const CRawImage& image, const CLineProperty& lineProperty,
                     const CLineLocationInfo& range, TextBoxList& lines) override;
    bool LocateChars(const CRawImage& image, const CCharProperty& charProperty, TextBoxList& chars) override;
};

// Connected-component character analyser for 1-bit images: 4-connected
// components of more than 4 pixels, each as its bounding box in image
// coordinates with right and bottom inclusive (a component covering columns
// 3 to 7 and rows 2 to 9 gives {3, 2, 7, 9}), sorted by left, then right.
// Fails (chars cleared) above max(4 x MaxNum, 140) components. Lines are not
// supported (false).
class CConnectedDomainAnalyzer : public CLayoutBase {
public:
    bool LocateLines(const CRawImage& image, const CLineProperty& lineProperty,
                     const CLineLocationInfo& range, TextBoxList& lines) override;
    bool LocateChars(const CRawImage& image, const CCharProperty& charProperty, TextBoxList& chars) override;
};

// Gray-level line analyser for 8-bit images: lines are the darkest,
// highest-contrast row bands; boxes have right and bottom exclusive.
// Characters are not supported (false).
class CGrayscaleDifference : public CLayoutBase {
public:
    bool LocateLines(const CRawImage& image, const CLineProperty& lineProperty,
                     const CLineLocationInfo& range, TextBoxList& lines) override;
    bool LocateChars(const CRawImage& image, const CCharProperty& charProperty, TextBoxList& chars) override;
};

// Internal helpers shared by the analysers.
namespace layout_detail {
// Row band [top, bottom) and column strip [left, right) of a location range
// on a width x height image; false when the range is empty.
struct RangeFrame {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};
bool ComputeRangeFrame(int32_t width, int32_t height, const CLineLocationInfo& range, RangeFrame& frame);
// Crops [left, right) x [top, bottom) of src into dst; false when the result
// has no pixels.
bool CropInto(const CRawImage& src, CRawImage& dst, int32_t left, int32_t top, int32_t right, int32_t bottom);
inline bool IsBinary(const CRawImage& image) {
    return image.HasPixels() && image.bitCount == 1 && image.width > 0 && image.height > 0;
}
}  // namespace layout_detail

}  // namespace libMorvaneClassifier

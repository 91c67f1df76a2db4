// Text-line location: the template records that describe how the text lines
// of a region are found, and the driver that tries their location methods.
//
//   <LineLocation MinNum="1" MaxNum="3" MinLength="..." ... BottomPlus="2">
//     <LineLocationRange Left="0" Top="0" Right="100" Bottom="100"/>
//     <LineLocationMethodList Size="2">
//       <LineLocationMethod Type="3"><ImageProcessingList .../></LineLocationMethod>
//       <LineLocationMethod Type="2"/>
//     </LineLocationMethodList>
//   </LineLocation>
#pragma once
#include <cstdint>
#include <memory>

#include "core/ObjBase.h"
#include "image/Dib.h"
#include "layout/LocationList.h"
#include "layout/LocationRecords.h"
#include "layout/TextBox.h"
#include "preprocess/ImageProcessingList.h"
#include "xml/RecordXml.h"

namespace libMorvaneClassifier {

class CXmlDocument;

// Expected properties of the text lines. Lengths are in ten-thousandths of
// the reference width, heights and spaces of the reference height; the *Px
// getters turn them into pixels of the size last given to SetImageSize.
class CLineProperty : public CLocationProperty<CLineProperty> {
public:
    // The property's attributes sit on the info's "LineLocation" element;
    // its descriptors are captioned "LineProperty".
    static constexpr char16_t kElement[] = u"LineLocation";

    int32_t MinNum = 0;
    int32_t MaxNum = 0;  // < 1: no upper limit
    int32_t MinLength = 0;
    int32_t MaxLength = 0;
    int32_t MinHeight = 0;
    int32_t MaxHeight = 0;
    int32_t MinSpace = 0;
    int32_t MaxSpace = 0;
    int32_t LeftPlus = 0;  // pixels added to each found box edge (may be negative)
    int32_t RightPlus = 0;
    int32_t TopPlus = 0;
    int32_t BottomPlus = 0;

    // The twelve attributes; Assign copies the reference size too.
    static const RecordTable<CLineProperty>& Fields();

    int32_t MinLengthPx() const { return WidthPx(MinLength); }
    int32_t MaxLengthPx() const { return WidthPx(MaxLength); }
    int32_t MinHeightPx() const { return HeightPx(MinHeight); }
    int32_t MaxHeightPx() const { return HeightPx(MaxHeight); }
    int32_t MinSpacePx() const { return HeightPx(MinSpace); }
    int32_t MaxSpacePx() const { return HeightPx(MaxSpace); }
};

// One way of finding lines: a line analyser type (1 gray-level differences,
// 2 binary projection, 3 component-based; see CreateLineAnalyser) and the
// preprocessing applied to the method's own copy of the image.
struct LineLocationMethodKind {
    static constexpr char16_t kElement[] = u"LineLocationMethod";
    static constexpr char16_t kListElement[] = u"LineLocationMethodList";
    static constexpr int32_t kEditorKind = kParamLineLocationMethod;
};
using CLineLocationMethod = CLocationMethod<LineLocationMethodKind>;

using CLineLocationMethodList = CLocationList<CLineLocationMethod>;

// The line-location record of a text filter: properties, location range and
// methods.
class CLineLocationInfo : public CLocationInfo<CLineLocationInfo, CLineProperty, CLineLocationMethod> {
public:
    static constexpr char16_t kElement[] = u"LineLocation";

    // Location range in percent of the image width and height.
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 100;
    int32_t Bottom = 100;

    CLineLocationInfo() = default;
    CLineLocationInfo(const CLineLocationInfo& other) { Assign(other); }
    CLineLocationInfo& operator=(const CLineLocationInfo& other) {
        Assign(other);
        return *this;
    }

    // The property (attributes of "LineLocation"), the range (its own
    // element, always written; listed under the caption "LineLocationRange")
    // and the method list. Assign is a deep copy of every field, the
    // property, the methods and their steps.
    // Read finds "LineLocation" among the following siblings and reads the
    // property from it (not found: false, nothing read), then inside it the
    // range (absent: defaults kept) and the method list (absent or malformed:
    // no method list). True once the property was read.
    static const RecordTable<CLineLocationInfo>& Fields();
};

// Finds the text lines of `image` with the first method of `info` whose
// result has an acceptable number of lines (MinNum <= n <= MaxNum, MaxNum < 1
// meaning no upper limit). Each method works on its own copy of the image
// after its preprocessing steps; the lines then pass three post-passes
// (merging boxes side by side, a size filter, trimming isolated first and
// last lines), get the property's margins and are clipped to the image.
// Returns true when `boxes` then holds at least one box. Without pixels,
// without a property, without methods, or when no method gives an
// acceptable count, returns false and leaves `boxes` untouched. Methods
// without steps that repeat the analyser type of an earlier method without
// steps are not run again: they would see the same image and give the same
// result.
bool LocateTextLines(const CRawImage& image, const CLineLocationInfo& info, TextBoxList& boxes);

// The three post-passes of LocateTextLines, exposed for testing.
// Merges boxes side by side on one text line (at least two boxes).
void MergeLineBoxes(TextBoxList& boxes, const CLineProperty& property);
// Removes boxes outside the length and height limits; false for an empty list.
bool FilterLineSizes(TextBoxList& boxes, const CLineProperty& property);
// Removes leading and trailing lines farther than MaxSpacePx from their
// neighbour; false for an empty list.
bool TrimIsolatedLines(TextBoxList& boxes, const CLineProperty& property);

}  // namespace libMorvaneClassifier

// Character location: the template records that describe how a text-line
// image is cut into character boxes, the driver that tries their methods,
// the text-location entry that combines line and character location, and
// the character-ratio records carried by recognition-engine records.
//
//   <CharLocation IsConfirmParams="0" ... IsEraseStart="0">
//     <CharLocationMethodList Size="1">
//       <CharLocationMethod Type="3"><ImageProcessingList .../></CharLocationMethod>
//     </CharLocationMethodList>
//   </CharLocation>
//
//   <CharRatioList Size="1"><CharRatio CharType="2" WHRatio="60" Charset="0123"/></CharRatioList>
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ObjBase.h"
#include "core/ResultCodes.h"
#include "image/Dib.h"
#include "layout/LineLocation.h"
#include "layout/LocationList.h"
#include "layout/TextBox.h"
#include "preprocess/ImageProcessingList.h"
#include "xml/RecordXml.h"

namespace libMorvaneClassifier {

class CXmlDocument;

// Expected properties of the characters of one line. Widths, spaces and dot
// widths are in ten-thousandths of the reference width, heights of the
// reference height; the *Px getters give pixels of the size last given to
// SetImageSize.
class CCharProperty : public CLocationProperty<CCharProperty> {
public:
    // The property's attributes sit on the info's "CharLocation" element;
    // its descriptors are captioned "CharProperty".
    static constexpr char16_t kElement[] = u"CharLocation";

    int32_t IsConfirmParams = 0;
    int32_t IsIgnorePoint = 0;  // drop dots (component-based analyser)
    int32_t MaxPointWidth = 0;
    int32_t MaxPointHeight = 0;
    int32_t NumType = 0;
    int32_t MinNum = 0;
    int32_t MaxNum = 0;  // < 1: no upper limit
    int32_t MinWidth = 0;
    int32_t MaxWidth = 0;
    int32_t MinHeight = 0;
    int32_t MaxHeight = 0;
    int32_t MinSpace = 0;
    int32_t MaxSpace = 0;
    int32_t MinWHRatio = 0;  // width / height x 100
    int32_t MaxWHRatio = 0;
    int32_t IsRemoveLine = 0;
    int32_t LineType = 1;
    int32_t IsEraseStart = 0;
    int32_t IsSameWidth = 0;
    int32_t IsSameHeight = 0;
    int32_t IsSameSpace = 0;

    // The twenty-one attributes; Assign copies the reference size too.
    static const RecordTable<CCharProperty>& Fields();

    int32_t MinWidthPx() const { return WidthPx(MinWidth); }
    int32_t MaxWidthPx() const { return WidthPx(MaxWidth); }
    int32_t MinSpacePx() const { return WidthPx(MinSpace); }
    int32_t MaxSpacePx() const { return WidthPx(MaxSpace); }
    int32_t MaxPointWidthPx() const { return WidthPx(MaxPointWidth); }
    int32_t MinHeightPx() const { return HeightPx(MinHeight); }
    int32_t MaxHeightPx() const { return HeightPx(MaxHeight); }
    int32_t MaxPointHeightPx() const { return HeightPx(MaxPointHeight); }
};

// One way of cutting characters: a character analyser type (0 connected
// components, 2 binary projection, 3 component-based; see
// CreateCharAnalyser) and the preprocessing of the method's own image copy.
struct CharLocationMethodKind {
    static constexpr char16_t kElement[] = u"CharLocationMethod";
    static constexpr char16_t kListElement[] = u"CharLocationMethodList";
    static constexpr int32_t kEditorKind = kParamCharLocationMethod;
};
using CCharLocationMethod = CLocationMethod<CharLocationMethodKind>;

using CCharLocationMethodList = CLocationList<CCharLocationMethod>;

// The character-location record of a text filter.
class CCharLocationInfo : public CLocationInfo<CCharLocationInfo, CCharProperty, CCharLocationMethod> {
public:
    static constexpr char16_t kElement[] = u"CharLocation";

    CCharLocationInfo() = default;
    CCharLocationInfo(const CCharLocationInfo& other) { Assign(other); }
    CCharLocationInfo& operator=(const CCharLocationInfo& other) {
        Assign(other);
        return *this;
    }

    // The property (attributes of "CharLocation") and the method list. Read
    // finds "CharLocation" and reads the property from it (not found:
    // false), then inside it the method list (absent or malformed: no method
    // list).
    static const RecordTable<CCharLocationInfo>& Fields();
    // Lists nothing (the list is only cleared).
    void ListParameters(ParameterList& list) override { list.clear(); }
};

// A character class with its typical width-to-height ratio, used by the
// recognition engines to weigh candidates.
class CCharRatio : public CTableRecord<CCharRatio> {
public:
    static constexpr char16_t kElement[] = u"CharRatio";
    static constexpr char16_t kListElement[] = u"CharRatioList";

    int32_t CharType = 1;  // 0 any, 1 ideograph, 2 digit, 3 upper, 4 lower, 10 charset
    int32_t WHRatio = 0;   // width / height x 100
    std::u16string Charset;

    static const RecordTable<CCharRatio>& Fields();
};

// "CharRatioList": a missing "CharRatio" child leaves an entry with the
// constructor values. Owners read it with ReadLocationList<CharRatioList>
// and copy it with CopyLocationList.
using CharRatioList = CLocationList<CCharRatio>;

// One located line: its box and its characters' boxes, both in coordinates
// of the image handed to LocateText.
struct TextLineResult {
    TextBox line;
    TextBoxList chars;
};

// Cuts a line image into characters with the first method of `info` whose
// boxes, after the size filter, the shape filter (with its splits) and the
// overlap merge, have an acceptable count (MinNum <= n <= MaxNum, MaxNum < 1
// meaning no upper limit). True when `boxes` then holds at least one box;
// false with `boxes` untouched without pixels, property or methods, or when
// no method gives an acceptable count. Step-less methods repeating the type
// of an earlier step-less method are not run again.
bool LocateCharacters(const CRawImage& lineImage, const CCharLocationInfo& info, TextBoxList& boxes);

// Finds the lines of `image` (LocateTextLines) and the characters of each
// line (LocateCharacters on the image cropped to the line box). Returns a
// result code: kSuccess with at least one result; kErrInvalidParameter
// without pixels (results untouched), kErrAnalyzeTextLine when no line is
// found, kErrSegmentChars when no line's characters can be located,
// kErrNoMemory when memory runs out. A line whose characters cannot be
// located is left out.
int32_t LocateText(const CRawImage& image, const CLineLocationInfo& lineInfo,
                   const CCharLocationInfo& charInfo, std::vector<TextLineResult>& results);

// The three post-filters of LocateCharacters, exposed for testing. `image`
// is the method's working copy the boxes were found on.
void FilterCharSizes(TextBoxList& boxes, const CCharProperty& property);
void FilterCharShapes(const CRawImage& image, TextBoxList& boxes, const CCharProperty& property);
void MergeOverlappingChars(TextBoxList& boxes, const CCharProperty& property);

}  // namespace libMorvaneClassifier

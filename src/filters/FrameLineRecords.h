// Frame-line records of template files and of measured features: the
// geometry of one straight line with an optional anchor (`CLine`), one frame
// line (`CFrameLineInfo`), a rule a detected line must satisfy
// (`CFrameLineRule`) and their lists. Geometry is held in ten-thousandths of
// the image width (x) or height (y) and turned into pixels with the size set
// by SetImageSize, multiplication first. Frame-line filter records also carry
// the colour-matching record of preprocess/ColorSteps.h (read, copied and
// written; detection does not use it).
#pragma once
#include <cstdint>
#include <memory>
#include <utility>

#include "core/ObjBase.h"
#include "core/ObjList.h"
#include "filters/FrameLineDetector.h"
#include "preprocess/ColorSteps.h"
#include "templates/Anchor.h"
#include "xml/RecordXml.h"

namespace libMorvaneClassifier {

class CXmlDocument;

class CLine : public CTableRecord<CLine> {
public:
    static constexpr char16_t kElement[] = u"Line";

    CLine() = default;
    CLine(const CLine& other) { Assign(other); }
    CLine& operator=(const CLine& other) {
        Assign(other);
        return *this;
    }

    int32_t startPtX = 0, startPtY = 0;
    int32_t endPtX = 0, endPtY = 0;
    std::unique_ptr<CAnchor> anchor;  // may be null
    int32_t imageWidth = 0, imageHeight = 0;

    // Read: `Line` at the cursor, false when it is missing; an `Anchor`
    // inside is kept when it can be read.
    static const RecordTable<CLine>& Fields();
    void SetImageSize(int32_t w, int32_t h);
    // Pixels to ten-thousandths; false (nothing changed) without an image size.
    bool SetStart(int32_t x, int32_t y);
    bool SetEnd(int32_t x, int32_t y);
    // Middle of the line in pixels.
    std::pair<int32_t, int32_t> Midpoint() const;
    // Length in pixels, rounded.
    int32_t Length() const;
    // Locates this line's anchor at the middle of `matched` when the anchor's
    // threshold is below the similarity (0 to 1) taken in thousandths.
    void PlaceAnchor(const CLine& matched, double similarity);
};

class CFrameLineInfo : public CTableRecord<CFrameLineInfo> {
public:
    static constexpr char16_t kElement[] = u"FrameLine";
    static constexpr char16_t kListElement[] = u"FrameLineList";
    static constexpr bool kMissingItemKeepsDefaults = true;

    CFrameLineInfo() = default;
    CFrameLineInfo(const CFrameLineInfo& other) { Assign(other); }
    CFrameLineInfo& operator=(const CFrameLineInfo& other) {
        Assign(other);
        return *this;
    }

    int32_t index = 0;
    int32_t color = 0;
    int32_t angle = 0;            // 0 horizontal, 90 vertical, anything else takes part in nothing
    std::unique_ptr<CLine> line;  // may be null
    int32_t style = 0;
    int32_t imageWidth = 0, imageHeight = 0;

    static const RecordTable<CFrameLineInfo>& Fields();
    // Always true: a missing `FrameLine` leaves the record with its zeros.
    template <class Xml>
    bool Read(Xml& xml) {
        CTableRecord::Read(xml);
        return true;
    }
    void SetImageSize(int32_t w, int32_t h);
    // Those of the line; (-1, -1) and 0 without one.
    std::pair<int32_t, int32_t> Midpoint() const;
    int32_t Length() const;
};

class CFrameLineRule : public CTableRecord<CFrameLineRule> {
public:
    static constexpr char16_t kElement[] = u"FrameLineRule";
    static constexpr char16_t kListElement[] = u"FrameLineRuleList";
    static constexpr bool kMissingItemKeepsDefaults = false;

    int32_t index = 0;
    int32_t minLength = 0, maxLength = 0;  // ten-thousandths of the width (angle < 46) or height
    int32_t minWidth = 0, maxWidth = 0;    // pixels
    int32_t angle = 0;                     // 0 horizontal, 90 vertical
    int32_t color = 0;
    int32_t quality = 0;  // hundredths
    int32_t style = 0;
    int32_t imageWidth = 0, imageHeight = 0;

    static const RecordTable<CFrameLineRule>& Fields();
    void SetImageSize(int32_t w, int32_t h) {
        imageWidth = w;
        imageHeight = h;
    }
    int32_t MinLengthPx() const;
    int32_t MaxLengthPx() const;
};

class CFrameLineList : public CObjList<CFrameLineInfo> {
public:
    void SetImageSize(int32_t w, int32_t h);
    // Appends a copy of the record.
    void Append(const CFrameLineInfo& record);
};

class CFrameLineRuleList : public CObjList<CFrameLineRule> {
public:
    void SetImageSize(int32_t w, int32_t h);
};

// Whether a detected line of direction key (0 horizontal, 90 vertical)
// satisfies the first rule of that direction. No rules at all: accepted.
bool AcceptLine(const CFrameLineRuleList* rules, const DetectedLine& line, int32_t key);

}  // namespace libMorvaneClassifier

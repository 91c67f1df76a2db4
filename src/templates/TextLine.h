// A text line expected on a page (in a text filter's reference) or
// recognised on an image (in a measured feature).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Geometry.h"
#include "core/ObjBase.h"
#include "core/ObjList.h"
#include "templates/Anchor.h"
#include "xml/RecordXml.h"

namespace libMorvaneClassifier {

// One recognised character as the recognition engines report it (56 bytes):
// its rectangle in page coordinates, up to ten candidates best first (0 or
// 0xFFFF ends the list) and their scores.
struct RecognitionResult {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    char16_t candidates[10] = {};
    uint16_t scores[10] = {};
};
static_assert(sizeof(RecognitionResult) == 56, "recognition results are 56-byte records");

class CTextLine : public CTableRecord<CTextLine> {
public:
    static constexpr char16_t kElement[] = u"TextLine";
    static constexpr char16_t kListElement[] = u"TextLineList";
    // A missing TextLine element still takes its slot with constructor values.
    static constexpr bool kMissingItemKeepsDefaults = true;

    // The integers come first, together: a template can hold up to 100 000
    // text lines per list, and interleaving them with the strings padded
    // each record into a larger allocation size.
    int32_t index = 0;
    int32_t filterType = 1;
    int32_t offset = 0;
    int32_t isExist = 0;
    int32_t compareType = 0;
    int32_t charNum = 0;
    int32_t foregroundColor = 0;
    int32_t backgroundColor = 0;
    int32_t imageWidth = 0;
    int32_t imageHeight = 0;
    int32_t lineResultCount = 0;
    std::u16string text;
    std::u16string charset;
    std::unique_ptr<CRegion> region;
    std::vector<RecognitionResult> lineResults;  // run-time, filled by the text filter

    static const RecordTable<CTextLine>& Fields();

    // Stores the size and hands it to the region.
    void SetImageSize(int32_t w, int32_t h);
    // Replaces the region by a copy of region.
    void SetRegion(const CRegion& source);
    void SetLineResults(const RecognitionResult* records, int32_t n);
    Rect32 RegionRect() const;  // all zero without a region
    int32_t RegionWidth() const;
    int32_t RegionHeight() const;
};

using CTextLineList = CObjList<CTextLine>;

}  // namespace libMorvaneClassifier

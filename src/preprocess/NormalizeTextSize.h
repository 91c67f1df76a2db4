// Normalise-text-size step (type 23, element "NormalizeTextSize"): measures
// the dominant character height of the page from its black components and
// rescales the page, up or down, so that characters reach the height the
// step asks for. It needs no resolution: pages whose resolution is missing
// or wrong (photos, thumbnails, screenshots) get their text to the size a
// template's pixel limits and the recognition engines are made for.
//
//   <ImageProcessing Type="23">
//     <NormalizeTextSize Height="24" Tolerance="15" MaxUp="400" BinaryMethod="8"/>
//   </ImageProcessing>
//
// With a "BinaryMethod" (0 .. 8) a gray page leaves the step binarised by that
// method, exactly as a following GrayToBin step with one strip would leave
// it; with method 8 and nothing to rescale, the binary copy the height was
// measured on is that page, so the page is binarised once instead of twice.
#pragma once
#include <cstdint>

#include "image/Dib.h"
#include "preprocess/ImageProcessingInfo.h"

namespace libMorvaneClassifier {

constexpr int32_t kStepNormalizeTextSize = 23;

class CNormalizeTextSizeInfo : public CImageProcessingInfo {
public:
    CNormalizeTextSizeInfo();
    void ListParameters(ParameterList& list) override;
    void Assign(const CImageProcessingInfo& other) override;
    bool ReadXml(CXmlDocument& xml) override;
    bool WriteXml(CXmlDocument& xml) const override;

    int32_t height = 24;  // "Height": target character height, pixels (6 .. 200; else the step does nothing)
    int32_t tolerance = 15;  // "Tolerance": percent of difference left alone (0 .. 50)
    int32_t maxUp = 400;     // "MaxUp": largest enlargement, percent (100 .. 400)
    int32_t binaryMethod =
        -1;  // "BinaryMethod": 0 .. 8: a gray page leaves binarised (GrayToBin method); else kept gray
    int32_t zone =
        0;  // "Zone": non-zero: a machine-readable zone's glyphs outweigh smaller print (see below)
};

// The dominant height of character-like components of a 1-bit page: black
// components 4 px high or more (at most a quarter of the page) of a
// character's proportions that have a neighbour of about their height
// beside them on a line; the most frequent height among them (heights
// counted with their neighbours one pixel off). 0 when fewer than 8 such
// components exist.
int32_t DominantCharHeight(const CRawImage& binary);

// What the step measured and did (for tests and tools).
struct NormalizeTextSizeResult {
    int32_t charHeight = 0;  // 0: none measured
    double scale = 1.0;      // applied; 1 when left as it was
};

// The step. The scale is target / measured, at most MaxUp / 100, and never
// takes the page past the page budget (the host's pixel limit for a page,
// 30000 pixels on a side, 2^28 pixels); within the tolerance, or without a
// measurable height, the page is left as it is. The resolution is scaled
// with the pixels (a page without one keeps none), so that physical sizes
// stay right. With "Zone", when the dominant height asks for an enlargement
// and the page holds a machine-readable zone (ZoneFinder.h) whose glyphs are
// at least 1.5 times that height, the zone's glyph height is taken instead:
// fine patterned print or small print must not blow a readable zone up.
// With a binary method a gray page is then binarised (other
// formats are left as they are). False only when the image has no pixels or
// memory runs out.
bool NormalizeTextSize(CRawImage& image, const CNormalizeTextSizeInfo& step,
                       NormalizeTextSizeResult* result = nullptr);

}  // namespace libMorvaneClassifier

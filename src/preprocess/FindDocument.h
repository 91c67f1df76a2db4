// Find-the-document step (type 20, element "FindDocument"): locates the page
// or card lying on a scanner bed, dark or light, straightens it by its own
// border and crops the bed away. A page that fills the image, an image that
// is all bed, or anything that does not look like one rectangular document
// is left as it is, and the step succeeds.
//
//   <ImageProcessing Type="20">
//     <FindDocument Bed="0" Straighten="1" MaxAngle="10" Contrast="0"/>
//   </ImageProcessing>
#pragma once
#include <cstdint>

#include "image/Dib.h"
#include "preprocess/ImageProcessingInfo.h"

namespace libMorvaneClassifier {

// Values of the "Bed" attribute.
constexpr int32_t kBedAuto = 0;   // judged from the image's outer ring
constexpr int32_t kBedDark = 1;   // black or dark scanner lid
constexpr int32_t kBedLight = 2;  // white glass or white lid

class CFindDocumentInfo : public CImageProcessingInfo {
public:
    CFindDocumentInfo();
    void ListParameters(ParameterList& list) override;
    void Assign(const CImageProcessingInfo& other) override;
    bool ReadXml(CXmlDocument& xml) override;
    bool WriteXml(CXmlDocument& xml) const override;

    int32_t bed = kBedAuto;  // "Bed": kBedAuto, kBedDark or kBedLight
    int32_t straighten = 1;  // "Straighten": non-zero = turn the document level by its border
    int32_t maxAngle = 10;   // "MaxAngle": degrees; largest border tilt searched (1 .. 45)
    int32_t contrast = 0;    // "Contrast": gray levels between bed and document; 0 = measured
};

// Where the document lies, in pixels of the image it was found in.
struct DocumentPlacement {
    bool found = false;
    bool dark = false;     // found on a dark bed (else a light one)
    double angle = 0.0;    // radians; positive when the document's top edge rises to the right
    double centreX = 0.0;  // centre of the document
    double centreY = 0.0;
    double width = 0.0;  // along the document's own axes, bed excluded
    double height = 0.0;
};

// Measures where the document lies, without changing the image. Works on a
// reduced gray copy of at most about 640 pixels on its longer side, so time
// is bounded by one pass over the pixels.
DocumentPlacement LocateDocument(const CRawImage& image, const CFindDocumentInfo& step);

// The whole step: LocateDocument, then straighten (when asked and the border
// is tilted) and crop the image in place. A colour page stays colour and the
// resolution is kept. False only when the image has no pixels or memory runs
// out (the image is then unchanged).
bool FindDocument(CRawImage& image, const CFindDocumentInfo& step, DocumentPlacement* placement = nullptr);

}  // namespace libMorvaneClassifier

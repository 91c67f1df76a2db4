// Normalise-resolution step (type 21, element "NormalizeResolution"):
// rescales the page to the resolution that a template's pixel-valued limits
// (line widths, block sizes, character sizes) are meant for, so that the same
// template holds for pages scanned from 150 to 600 dpi.
//
//   <ImageProcessing Type="21">
//     <NormalizeResolution Dpi="300" Tolerance="10"/>
//   </ImageProcessing>
//
// The page's present resolution is the image's own: the classification
// driver stamps the host's run-time resolution on its working copy when the
// host set one, otherwise it is the resolution read from the file. A page
// whose resolution is unknown or implausible (outside 50 .. 2400 dpi) is taken
// to be at the template's resolution already and is left as it is.
#pragma once
#include <cstdint>

#include "image/Dib.h"
#include "preprocess/ImageProcessingInfo.h"

namespace libMorvaneClassifier {

constexpr int32_t kMinPlausibleDpi = 50;
constexpr int32_t kMaxPlausibleDpi = 2400;

class CNormalizeResolutionInfo : public CImageProcessingInfo {
public:
    CNormalizeResolutionInfo();
    void ListParameters(ParameterList& list) override;
    void Assign(const CImageProcessingInfo& other) override;
    bool ReadXml(CXmlDocument& xml) override;
    bool WriteXml(CXmlDocument& xml) const override;

    int32_t dpi = 300;       // "Dpi": the template's resolution; outside 50 .. 2400 = do nothing
    int32_t tolerance = 10;  // "Tolerance": percent of difference left alone (0 .. 50)
};

// Resamples `image` in place to newWidth x newHeight (box mean when
// shrinking, bilinear when growing; 1-bit pages through gray and back with
// black below 160). The resolution fields are left to the caller. False when
// the image has no pixels, the size is not positive, or memory runs out (the
// image is then unchanged).
bool ResampleImage(CRawImage& image, int32_t newWidth, int32_t newHeight);

// The whole step. Succeeds without change when the page's or the step's
// resolution is implausible, the page is within the tolerance already, or
// the result would exceed 30000 pixels on a side or 2^28 pixels in all. False
// only when the image has no pixels or memory runs out.
bool NormalizeResolution(CRawImage& image, const CNormalizeResolutionInfo& step);

}  // namespace libMorvaneClassifier

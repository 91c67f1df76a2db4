// Straighten-to-the-zone step (type 22, element "StraightenZone"): finds the
// machine-readable zone anywhere on the page (preprocess/ZoneFinder.h),
// measures its skew from its own lines and turns the page level by it, and
// turns the page by half a turn when the zone reads upside down. The zone
// finder then sees it level and upright.
//
//   <ImageProcessing Type="22">
//     <StraightenZone MaxAngle="15" Turn="1" BinaryMethod="8"/>
//   </ImageProcessing>
#pragma once
#include <cstdint>

#include "image/Dib.h"
#include "preprocess/ImageProcessingInfo.h"

namespace libMorvaneClassifier {

constexpr int32_t kStepStraightenZone = 22;

class CStraightenZoneInfo : public CImageProcessingInfo {
public:
    CStraightenZoneInfo();
    void ListParameters(ParameterList& list) override;
    void Assign(const CImageProcessingInfo& other) override;
    bool ReadXml(CXmlDocument& xml) override;
    bool WriteXml(CXmlDocument& xml) const override;

    int32_t maxAngle = 15;     // "MaxAngle": largest skew turned back, degrees (1 .. 30)
    int32_t turn = 1;          // "Turn": non-zero: a zone upside down is turned upright
    int32_t binaryMethod = 8;  // "BinaryMethod": binarisation of the finder's copy of a gray page
};

// What the step measured (for tests and tools).
struct StraightenZoneResult {
    bool found = false;
    double angle = 0.0;   // degrees measured before turning
    bool turned = false;  // turned by half a turn
    int32_t opened =
        0;  // a 1-bit page lost its strokes thinner than this (the zone showed only without them)
};

// The step. A page without a zone (or one skewed beyond MaxAngle) is left
// as it is and the step succeeds; false only when the image has no pixels
// or memory runs out. 1-, 8- and 24-bit pages keep their format; a rotation
// grows the page to hold all of it, filled white.
bool StraightenZone(CRawImage& image, const CStraightenZoneInfo& step,
                    StraightenZoneResult* result = nullptr);

}  // namespace libMorvaneClassifier

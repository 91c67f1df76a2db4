// The pixel work of each step type. The executor (ApplyImageProcessing)
// calls exactly one of these per step; each works on the image it is given
// and replaces it in place.
//
// Definitions:
//   StepActionsColor.cpp     colour to gray (type 1), gray to binary (type 2)
//   StepActionsGeometry.cpp  black-edge erasing (type 3, method 0) and tilt
//                            correction (types 8 and 12)
// The cropping placeholder (type 9) has no action: the executor fails it.
#pragma once
#include "image/Dib.h"
#include "preprocess/ImageProcessingInfo.h"

namespace libMorvaneClassifier {

// Type 1: 24-bit becomes 8-bit gray by step.colorFilter, 1-bit becomes 8-bit,
// 8-bit stays; true for those. Any other format (no pixels): false.
bool ApplyColorToGrayStep(CRawImage& image, const CColorToGrayInfo& step);
// Type 2: strip-wise binarisation of an 8-bit image; other formats are left
// unchanged. Never fails.
bool ApplyGrayToBinStep(CRawImage& image, const CGrayToBinInfo& step);
// Turns a working copy of a page 1-bit as types 1 and 2 would in one strip:
// colour to gray with the default filter, then `binaryMethod`. False only
// when the colour conversion fails; a 1-bit image stays as it is.
bool BinariseInOneStrip(CRawImage& work, int32_t binaryMethod);
// Type 3 with method 0 (the executor handles other methods): measures the
// dark margins on a binary working copy and crops them from the image.
bool ApplyBlackEdgesErasingStep(CRawImage& image, const CBlackEdgesErasingInfo& step);
// Types 8 and 12: estimates the skew on a binary working copy and rotates the
// image back when the skew lies strictly between minAngle and maxAngle.
bool ApplyTiltCorrectionStep(CRawImage& image, const CTiltCorrectionInfo& step);

}  // namespace libMorvaneClassifier

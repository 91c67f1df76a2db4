// Applying preprocessing steps to an image, in place.
#pragma once
#include "image/Dib.h"
#include "preprocess/ImageProcessingList.h"

namespace libMorvaneClassifier {

// Applies one step to image in place, chosen by step.type:
//   1 colour to gray, 2 gray to binary, 3 black-edge erasing (a non-zero
//   method does nothing and succeeds), 8 tilt correction; 9 (cropping
//   placeholder) and any other type do nothing and fail.
// A record whose class does not match its type fails.
bool ApplyImageProcessing(CRawImage& image, const CImageProcessingInfo& step);

// Applies the steps in list order and stops at the first one that fails
// (false). True when every step succeeded or there are no steps (null list,
// empty list). Empty entries of a short list are skipped.
bool ApplyImageProcessingList(CRawImage& image, const CImageProcessingList& list);
bool ApplyImageProcessingList(CRawImage& image, const CImageProcessingList* list);

}  // namespace libMorvaneClassifier

// Step types for pages as scanners deliver them, numbered above the classic
// step types so that every stored template keeps its meaning:
//
//   20  "FindDocument"         locates the page or card on the scanner bed,
//                              straightens it by its border and crops it
//   21  "NormalizeResolution"  rescales the page to the resolution a
//                              template's pixel-valued limits are meant for
//   22  "StraightenZone"       turns the page level (and upright) by the
//                              lines of its machine-readable zone
//   23  "NormalizeTextSize"    rescales the page so that its dominant
//                              character height reaches a target
//
// The classic factory and executor hand every type they do not know to the
// two functions below.
#pragma once
#include <cstdint>
#include <memory>

#include "image/Dib.h"
#include "preprocess/ImageProcessingInfo.h"

namespace libMorvaneClassifier {

constexpr int32_t kStepFindDocument = 20;
constexpr int32_t kStepNormalizeResolution = 21;

// A new record with its constructor values for types 20 to 23; null for any
// other number (and when memory runs out).
std::unique_ptr<CImageProcessingInfo> CreateScanStepInfo(int32_t type);

// Applies a step of type 20 to 23; false for any other record.
bool ApplyScanStep(CRawImage& image, const CImageProcessingInfo& step);

}  // namespace libMorvaneClassifier

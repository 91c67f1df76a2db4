// Tilt correction: measures the skew of a page on a private binary working
// copy and turns the page back when the skew lies inside the step's window.
#pragma once
#include <cstdint>

#include "image/Dib.h"
#include "preprocess/ImageProcessingInfo.h"

namespace libMorvaneClassifier {

// A window limit in degrees as radians, with the step's own value of pi
// (3.14159265).
double TiltLimitRadians(int32_t degrees);

// True when minAngle < |angle| < maxAngle (degrees, both limits exclusive).
bool TiltInWindow(double angle, int32_t minAngle, int32_t maxAngle);

// The skew of `image` in radians, measured on a copy converted to gray by
// grayType (24-bit pages) and then binarised by binaryType (8-bit pages);
// 0 when the copy does not end up 1-bit or no skew is found. `image` is not
// changed.
double MeasureTilt(const CRawImage& image, int32_t grayType, int32_t binaryType);

// Values of the step's "Estimator" attribute.
constexpr int32_t kTiltEstimatorTextLines = 0;   // character components chained into lines
constexpr int32_t kTiltEstimatorProjection = 1;  // sharpness of the sheared row profile

// The skew of `image` measured as the step asks: MeasureTilt for estimator 0
// (and any unknown value); for estimator 1 the row-profile estimate on the
// same binary working copy, searched over +-maxAngle degrees (at least 1);
// an estimate below 0.05 degree counts as 0.
double MeasureTiltFor(const CRawImage& image, const CTiltCorrectionInfo& step);

// Rotates `image` in place by `angle` when the angle lies in the step's
// window (with interpolation, keep size = isOriginalSize != 0, white fill =
// fillColor). Returns the rotation's result, or true when nothing is turned.
bool RotateIfTilted(CRawImage& image, double angle, const CTiltCorrectionInfo& step);

// The whole step: MeasureTiltFor, then RotateIfTilted. `measured` (optional)
// receives the measured angle.
bool CorrectTilt(CRawImage& image, const CTiltCorrectionInfo& step, double* measured = nullptr);

}  // namespace libMorvaneClassifier

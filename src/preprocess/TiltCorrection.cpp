#include "preprocess/TiltCorrection.h"

#include <algorithm>
#include <cmath>

#include "image/ProjectionSkew.h"

namespace libMorvaneClassifier {

double TiltLimitRadians(int32_t degrees) { return degrees * 3.14159265 / 180; }

bool TiltInWindow(double angle, int32_t minAngle, int32_t maxAngle) {
    const double magnitude = std::fabs(angle);
    return TiltLimitRadians(minAngle) < magnitude && magnitude < TiltLimitRadians(maxAngle);
}

double MeasureTilt(const CRawImage& image, int32_t grayType, int32_t binaryType) {
    CRawImage work(image);
    if (work.bitCount == 24) work.TrueColorToGray(nullptr, grayType);
    if (work.bitCount == 8) work.GrayToBinary(nullptr, binaryType);
    return work.EstimateSkew();  // 0 unless the copy is 1-bit
}

double MeasureTiltFor(const CRawImage& image, const CTiltCorrectionInfo& step) {
    if (step.estimator != kTiltEstimatorProjection) return MeasureTilt(image, step.grayType, step.binaryType);
    CRawImage work(image);
    if (work.bitCount == 24) work.TrueColorToGray(nullptr, step.grayType);
    if (work.bitCount == 8) work.GrayToBinary(nullptr, step.binaryType);
    // Search a little beyond the window so that a skew just inside it is
    // not clipped; the window still decides whether to turn.
    const double range = std::clamp(static_cast<double>(step.maxAngle), 1.0, 30.0) + 0.5;
    const ProjectionSkewResult r = EstimateProjectionSkew(work, range);
    // Below 0.05 degree the estimate cannot tell a tilt from none; turning
    // by it would only cost time and sharpness.
    if (!r.found || std::fabs(r.angle) < 0.05 * 3.14159265 / 180) return 0.0;
    return r.angle;
}

bool RotateIfTilted(CRawImage& image, double angle, const CTiltCorrectionInfo& step) {
    if (!TiltInWindow(angle, step.minAngle, step.maxAngle)) return true;
    return image.Rotate(nullptr, 0, angle, 1, step.isOriginalSize != 0 ? 1 : 0, step.fillColor) != 0;
}

bool CorrectTilt(CRawImage& image, const CTiltCorrectionInfo& step, double* measured) {
    const double angle = MeasureTiltFor(image, step);
    if (measured) *measured = angle;
    return RotateIfTilted(image, angle, step);
}

}  // namespace libMorvaneClassifier

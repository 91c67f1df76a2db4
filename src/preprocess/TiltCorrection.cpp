#include "preprocess/TiltCorrection.h"

#include <algorithm>
#include <cmath>

#include "image/ProjectionSkew.h"
#include "image/Warp.h"

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

namespace {

// Pages at least this wide are squeezed to half their width before the
// row-profile estimate: the rows keep their full height, which is what the
// estimate resolves, and the binarisation and the profile take half the time.
constexpr int32_t kSqueezeWidth = 1600;

// Gray image of half the width: each pixel the rounded mean of a pair.
bool HalveWidth(const CRawImage& gray, CRawImage* out) {
    const int32_t w = gray.width / 2;
    if (!out->Create(w, gray.height, 8, gray.xResolution)) return false;
    for (int32_t y = 0; y < gray.height; ++y) {
        const uint8_t* __restrict in = gray.Row(y);
        uint8_t* __restrict o = out->Row(y);
        for (int32_t x = 0; x < w; ++x) o[x] = static_cast<uint8_t>((in[2 * x] + in[2 * x + 1] + 1) >> 1);
    }
    return true;
}

}  // namespace

double MeasureTiltFor(const CRawImage& image, const CTiltCorrectionInfo& step) {
    if (step.estimator != kTiltEstimatorProjection) return MeasureTilt(image, step.grayType, step.binaryType);
    // The working copies are made by the conversions themselves: the page is
    // only read (a processor writes its source only when run in place).
    CRawImage gray, squeezed, work;
    const CRawImage* from = &image;
    if (image.bitCount == 24) {
        image.TrueColorToGray(&gray, step.grayType);
        from = &gray;
    }
    double xScale = 1.0;
    if (from->bitCount == 8 && from->width >= kSqueezeWidth && HalveWidth(*from, &squeezed)) {
        from = &squeezed;
        xScale = 2.0;
    }
    if (from->bitCount == 8) {
        from->GrayToBinary(&work, step.binaryType);
        from = &work;
    }
    // Search a little beyond the window so that a skew just inside it is
    // not clipped; the window still decides whether to turn.
    const double range = std::clamp(static_cast<double>(step.maxAngle), 1.0, 30.0) + 0.5;
    const ProjectionSkewResult r = EstimateProjectionSkew(*from, range, xScale);
    // Below 0.05 degree the estimate cannot tell a tilt from none; turning
    // by it would only cost time and sharpness.
    if (!r.found || std::fabs(r.angle) < 0.05 * 3.14159265 / 180) return 0.0;
    return r.angle;
}

bool RotateIfTilted(CRawImage& image, double angle, const CTiltCorrectionInfo& step) {
    if (!TiltInWindow(angle, step.minAngle, step.maxAngle)) return true;
    // The row-profile estimator is new, so its pages may be turned by the
    // fixed-point resampling (several times faster); the classic estimator
    // keeps the classic rotation and its exact values.
    if (step.estimator == kTiltEstimatorProjection)
        return RotateFast(image, angle, step.isOriginalSize != 0, step.fillColor != 0) != 0;
    return image.Rotate(nullptr, 0, angle, 1, step.isOriginalSize != 0 ? 1 : 0, step.fillColor) != 0;
}

bool CorrectTilt(CRawImage& image, const CTiltCorrectionInfo& step, double* measured) {
    const double angle = MeasureTiltFor(image, step);
    if (measured) *measured = angle;
    return RotateIfTilted(image, angle, step);
}

}  // namespace libMorvaneClassifier

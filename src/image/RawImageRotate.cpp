// Shortcuts for rotation and skew estimation.
#include "image/Dib.h"
#include "image/RotateProcessor.h"
#include "image/SkewEstimation.h"

namespace {

template <class Image>
int RunRotate(Image* self, CRawImage* dst, int mode, double angle, int interpolate, int keepSize,
              int whiteFill) {
    CRotateProcessor processor(self);
    processor.mode = mode;
    processor.angle = angle;
    processor.interpolate = interpolate;
    processor.keepSize = keepSize;
    processor.whiteFill = whiteFill;
    return RunProcessor(processor, dst);
}

}  // namespace

int CRawImage::Rotate(CRawImage* dst, int mode, double angle, int interpolate, int keepSize, int whiteFill) {
    return RunRotate(this, dst, mode, angle, interpolate, keepSize, whiteFill);
}

int CRawImage::Rotate(CRawImage* dst, int mode, double angle, int interpolate, int keepSize,
                      int whiteFill) const {
    return dst ? RunRotate(this, dst, mode, angle, interpolate, keepSize, whiteFill) : 0;
}

double CRawImage::EstimateSkew() const {
    CSkewEstimation estimation;
    return estimation.Estimate(*this);
}

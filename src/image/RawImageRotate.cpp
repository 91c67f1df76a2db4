// Shortcuts for rotation and skew estimation.
#include "image/Dib.h"
#include "image/RotateProcessor.h"
#include "image/SkewEstimation.h"

int CRawImage::Rotate(CRawImage* dst, int mode, double angle, int interpolate, int keepSize, int whiteFill) {
    CRotateProcessor processor(this);
    processor.mode = mode;
    processor.angle = angle;
    processor.interpolate = interpolate;
    processor.keepSize = keepSize;
    processor.whiteFill = whiteFill;
    return RunProcessor(processor, dst);
}

double CRawImage::EstimateSkew() {
    CSkewEstimation estimation;
    return estimation.Estimate(*this);
}

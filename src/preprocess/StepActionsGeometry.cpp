// Actions of the black-edge erasing step (type 3, method 0) and the tilt
// correction step (types 8 and 12).
#include "preprocess/BlackEdgeErasing.h"
#include "preprocess/StepActions.h"
#include "preprocess/TiltCorrection.h"

namespace libMorvaneClassifier {

bool ApplyBlackEdgesErasingStep(CRawImage& image, const CBlackEdgesErasingInfo& step) {
    return EraseBlackEdges(image, step);
}

bool ApplyTiltCorrectionStep(CRawImage& image, const CTiltCorrectionInfo& step) {
    return CorrectTilt(image, step);
}

}  // namespace libMorvaneClassifier

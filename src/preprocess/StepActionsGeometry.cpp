// Placeholder actions of the black-edge erasing and tilt correction steps:
// until the measurements and geometry operations are wired in, these steps
// fail and the chain stops there. This file is replaced wholesale by the
// real actions.
#include "preprocess/StepActions.h"

namespace libMorvaneClassifier {

bool ApplyBlackEdgesErasingStep(CRawImage&, const CBlackEdgesErasingInfo&) { return false; }
bool ApplyTiltCorrectionStep(CRawImage&, const CTiltCorrectionInfo&) { return false; }

}  // namespace libMorvaneClassifier

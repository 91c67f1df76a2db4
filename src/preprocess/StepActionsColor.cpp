// Placeholder actions of the colour-to-gray and gray-to-binary steps: until
// the pixel conversions are wired in, these steps fail and the chain stops
// there. This file is replaced wholesale by the real actions.
#include "preprocess/StepActions.h"

namespace libMorvaneClassifier {

bool ApplyColorToGrayStep(CRawImage&, const CColorToGrayInfo&) { return false; }
bool ApplyGrayToBinStep(CRawImage&, const CGrayToBinInfo&) { return false; }

}  // namespace libMorvaneClassifier

// Shortcuts for rotation and skew estimation. Until those processors exist
// rotation reports failure and no skew is found.
#include "image/Dib.h"

int CRawImage::Rotate(CRawImage*, int, double, int, int, int) { return 0; }
double CRawImage::EstimateSkew() { return 0.0; }

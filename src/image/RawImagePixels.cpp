// Shortcuts for the gray, binary, cropping and morphology processors.
// Until those processors exist every shortcut reports failure.
#include "image/Dib.h"

int CRawImage::TrueColorToGray(CRawImage*, int) { return 0; }
int CRawImage::GrayToBinary(CRawImage*, int) { return 0; }
int CRawImage::GrayToBinaryBlock(CRawImage*, int, int) { return 0; }
int CRawImage::Crop(CRawImage*, int, int, int, int) { return 0; }
int CRawImage::Morpho(int, int) { return 0; }

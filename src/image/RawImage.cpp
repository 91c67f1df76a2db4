#include "image/BinToGray.h"
#include "image/Dib.h"

int CRawImage::BinToGray(CRawImage* dst) {
    CBinToGray processor(this);
    return RunProcessor(processor, dst);
}

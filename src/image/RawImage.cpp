#include "image/BinToGray.h"
#include "image/Dib.h"

int CRawImage::BinToGray(CRawImage* dst) {
    CBinToGray processor(this);
    return RunProcessor(processor, dst);
}

int CRawImage::BinToGray(CRawImage* dst) const {
    if (!dst) return 0;
    CBinToGray processor(this);
    return RunProcessor(processor, dst);
}

// Shortcuts for the gray, binary, cropping and morphology processors.
#include "image/Cropper.h"
#include "image/Dib.h"
#include "image/GrayToBinary.h"
#include "image/MorphoProcessor.h"
#include "image/TrueColorToGray.h"

int CRawImage::TrueColorToGray(CRawImage* dst, int method) {
    CTrueColorToGray processor(this);
    processor.method = method;
    RunProcessor(processor, dst);
    return 1;
}

int CRawImage::GrayToBinary(CRawImage* dst, int method) {
    CGrayToBinary processor(this);
    processor.method = method;
    RunProcessor(processor, dst);
    return 1;
}

int CRawImage::GrayToBinaryBlock(CRawImage* dst, int blockCount, int method) {
    CGrayToBinaryBlock processor(this);
    processor.blockCount = blockCount;
    processor.method = method;
    RunProcessor(processor, dst);
    return 1;
}

int CRawImage::Crop(CRawImage* dst, int left, int top, int right, int bottom) {
    CCropper processor(this);
    processor.left = left;
    processor.top = top;
    processor.right = right;
    processor.bottom = bottom;
    return RunProcessor(processor, dst);
}

int CRawImage::Morpho(int kind, int length) {
    CMorphoProcessor processor(this);
    switch (kind) {
        case 1: return processor.VerticalPass(length);
        case 2: processor.HorizontalPass(length); return 1;
        case 3: processor.VerticalPass(length); return processor.HorizontalPass(length);
        default: return 1;
    }
}

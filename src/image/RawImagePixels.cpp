// Shortcuts for the gray, binary, cropping and morphology processors. Each
// runs on `self` (const for the read-only forms, whose processor then has
// no image to replace in place).
#include "image/Cropper.h"
#include "image/Dib.h"
#include "image/GrayToBinary.h"
#include "image/MorphoProcessor.h"
#include "image/TrueColorToGray.h"

namespace {

template <class Image>
int RunTrueColorToGray(Image* self, CRawImage* dst, int method) {
    CTrueColorToGray processor(self);
    processor.method = method;
    RunProcessor(processor, dst);
    return 1;
}

template <class Image>
int RunGrayToBinary(Image* self, CRawImage* dst, int method) {
    CGrayToBinary processor(self);
    processor.method = method;
    RunProcessor(processor, dst);
    return 1;
}

template <class Image>
int RunGrayToBinaryBlock(Image* self, CRawImage* dst, int blockCount, int method) {
    CGrayToBinaryBlock processor(self);
    processor.blockCount = blockCount;
    processor.method = method;
    RunProcessor(processor, dst);
    return 1;
}

template <class Image>
int RunCrop(Image* self, CRawImage* dst, int left, int top, int right, int bottom) {
    CCropper processor(self);
    processor.left = left;
    processor.top = top;
    processor.right = right;
    processor.bottom = bottom;
    return RunProcessor(processor, dst);
}

}  // namespace

int CRawImage::TrueColorToGray(CRawImage* dst, int method) { return RunTrueColorToGray(this, dst, method); }

int CRawImage::TrueColorToGray(CRawImage* dst, int method) const {
    return dst ? RunTrueColorToGray(this, dst, method) : 0;
}

int CRawImage::GrayToBinary(CRawImage* dst, int method) { return RunGrayToBinary(this, dst, method); }

int CRawImage::GrayToBinary(CRawImage* dst, int method) const {
    return dst ? RunGrayToBinary(this, dst, method) : 0;
}

int CRawImage::GrayToBinaryBlock(CRawImage* dst, int blockCount, int method) {
    return RunGrayToBinaryBlock(this, dst, blockCount, method);
}

int CRawImage::GrayToBinaryBlock(CRawImage* dst, int blockCount, int method) const {
    return dst ? RunGrayToBinaryBlock(this, dst, blockCount, method) : 0;
}

int CRawImage::Crop(CRawImage* dst, int left, int top, int right, int bottom) {
    return RunCrop(this, dst, left, top, right, bottom);
}

int CRawImage::Crop(CRawImage* dst, int left, int top, int right, int bottom) const {
    return dst ? RunCrop(this, dst, left, top, right, bottom) : 0;
}

int CRawImage::Morpho(int kind, int length) {
    CMorphoProcessor processor(this);
    switch (kind) {
        case 1:
            return processor.VerticalPass(length);
        case 2:
            processor.HorizontalPass(length);
            return 1;
        case 3:
            processor.VerticalPass(length);
            return processor.HorizontalPass(length);
        default:
            return 1;
    }
}

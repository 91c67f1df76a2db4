#include "image/GrayToBinary.h"

#include <algorithm>

#include "image/BitPixels.h"
#include "image/ThresholdEngines.h"

namespace {

int RunMethod(int method, GrayRows src, int w, int h, BitRows dst, int& threshold) {
    threshold = -1;
    switch (method) {
        case 0: {
            CPercentileThreshold engine;
            const int r = engine.Run(src, w, h, dst);
            threshold = engine.threshold;
            return r;
        }
        case 1: {
            CConThld engine;
            const int r = engine.Run(src, w, h, dst);
            threshold = engine.threshold;
            return r;
        }
        case 2: {
            CImgPro engine;
            return engine.Run(src, w, h, dst);
        }
        case 3: {
            CNiblackBinary engine;
            return engine.Run(src, w, h, dst);
        }
        case 4:
            return 1;
        case 5: {
            CFuzz engine;
            const int r = engine.Run(src, w, h, dst);
            threshold = engine.threshold;
            return r;
        }
        case 6:
            return BinarizeBlockMinMax(src, w, h, dst);
        case 7: {
            COtsu engine;
            const int r = engine.Run(src, w, h, dst);
            threshold = engine.threshold;
            return r;
        }
        case 8:
            return BinarizeAdaptiveBackground(src, w, h, dst);
        default:
            return 0;
    }
}

}  // namespace

int CGrayToBinary::Process(CRawImage& dst) {
    if (!source_ || !source_->HasPixels() || source_->bitCount != 8) return 0;
    const CRawImage& src = *source_;
    if (!dst.Create(src.width, src.height, 1, src.xResolution)) return 0;
    return RunMethod(method, src.Rows(), src.width, src.height, dst.Rows(), lastThreshold);
}

int CGrayToBinaryBlock::Process(CRawImage& dst) {
    if (!source_ || !source_->HasPixels() || source_->bitCount != 8) return 0;
    const CRawImage& src = *source_;
    if (!dst.Create(src.width, src.height, 1, src.xResolution)) return 0;
    const int strips = blockCount == 0 ? 1 : blockCount;
    if (strips < 0) return 1;
    const int stripWidth = src.width / strips;
    if (stripWidth <= 0) return 1;  // every column lies beyond the last strip
    int unused;
    if (strips == 1) {
        RunMethod(method, src.Rows(), src.width, src.height, dst.Rows(), unused);
        return 1;
    }
    CRawImage strip, binary;
    for (int i = 0; i < strips; ++i) {
        const int left = i * stripWidth;
        const int right = std::min(left + stripWidth, src.width);
        if (!source_->Crop(&strip, left, 0, right, src.height)) continue;
        if (!strip.HasPixels()) continue;
        CGrayToBinary engine(&strip);
        engine.method = method;
        if (!engine.Process(binary) || !binary.HasPixels()) continue;
        // Copy the strip's black pixels to their own columns.
        for (int y = 0; y < src.height; ++y) {
            const uint8_t* in = binary.Row(y);
            uint8_t* out = dst.Row(y);
            for (int x = 0; x < binary.width; ++x)
                if (bitpixels::Get(in, x)) bitpixels::Set(out, left + x);
        }
    }
    return 1;
}

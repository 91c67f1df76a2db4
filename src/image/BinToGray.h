#pragma once
#include "image/ImageProcessor.h"

// 1-bit to 8-bit: set bit (black) becomes 0, clear bit 255.
class CBinToGray : public CImageProcessor {
public:
    using CImageProcessor::CImageProcessor;
    int Process(CRawImage& dst) override;
};

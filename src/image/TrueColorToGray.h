// 24-bit colour to 8-bit gray by one of fourteen channel formulas.
#pragma once
#include "image/ImageProcessor.h"

class CTrueColorToGray : public CImageProcessor {
public:
    using CImageProcessor::CImageProcessor;
    // 0 when the source has no pixels or is not 24-bit (dst untouched);
    // otherwise dst becomes 8-bit with the source geometry and 1.
    int Process(CRawImage& dst) override;

    // Formula number: 0 to 12 select the channel formulas, any other number
    // (the default -1 included) the plain luminance.
    int method = -1;
};

// The plain luminance trunc(0.114 B + 0.587 G + 0.299 R) exactly as the
// double-precision expression gives it, computed through integers.
uint8_t GrayLuminance(uint8_t b, uint8_t g, uint8_t r);

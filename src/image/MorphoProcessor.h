// Thickens the black pixels of a 1-bit image along columns or rows.
#pragma once
#include "image/ImageProcessor.h"

class CMorphoProcessor : public CImageProcessor {
public:
    using CImageProcessor::CImageProcessor;
    // Not used: the passes work in place. Returns 0.
    int Process(CRawImage& dst) override;
    int ProcessInPlace() override { return 0; }

    // Every black pixel blackens the length - 1 pixels below it. 0 when the
    // image has no pixels or is not 1-bit, else 1.
    int VerticalPass(int length);
    // Every black pixel blackens the length - 1 pixels to its left.
    int HorizontalPass(int length);
};

// Cuts a rectangle out of an image.
#pragma once
#include "image/ImageProcessor.h"

class CCropper : public CImageProcessor {
public:
    using CImageProcessor::CImageProcessor;
    // 0 when the source has no pixels. The rectangle (right and bottom
    // exclusive) is clamped to the image and the clamped values are kept;
    // 0 when it is inverted. dst becomes the (right - left) x (bottom - top)
    // cut-out with the source bit count and resolution; an empty rectangle
    // leaves dst without pixels and still gives 1.
    int Process(CRawImage& dst) override;
    // Crops a copy of the source back into the source.
    int ProcessInPlace() override;

    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// 8-bit gray to 1-bit black-and-white by one of nine thresholding methods,
// for the whole page or strip by strip.
#pragma once
#include "image/ImageProcessor.h"

class CGrayToBinary : public CImageProcessor {
public:
    using CImageProcessor::CImageProcessor;
    // Source must be 8-bit with pixels, else 0 and dst untouched. dst becomes
    // an all-white 1-bit image of the source geometry and the method sets its
    // black pixels: 0 percentile, 1 edge crossings, 2 local contrast,
    // 3 Niblack, 4 nothing, 5 fuzzy two thresholds, 6 8 x 8 block min/max,
    // 7 Otsu, 8 adaptive background. 1 when the method ran; an unknown
    // method number leaves dst white and gives 0.
    int Process(CRawImage& dst) override;

    int method = 6;
    // Global threshold chosen by methods 0, 1, 5 and 7 in the last run
    // (-1 when the method has no single threshold).
    int lastThreshold = -1;
};

class CGrayToBinaryBlock : public CImageProcessor {
public:
    using CImageProcessor::CImageProcessor;
    // Source must be 8-bit with pixels, else 0. Binarises blockCount vertical
    // strips of width / blockCount columns separately; columns from
    // blockCount * (width / blockCount) on stay white. A blockCount of 0 is
    // taken as one strip; a negative one gives an all-white page. Returns 1.
    int Process(CRawImage& dst) override;

    int blockCount = 1;
    int method = 6;
};

// Rotation of 1-, 8- and 24-bit images: exact quarter and half turns, and
// rotation by an arbitrary angle with optional bilinear interpolation.
#pragma once
#include "image/ImageProcessor.h"

class CRotateProcessor : public CImageProcessor {
public:
    using CImageProcessor::CImageProcessor;

    // Mode 1: quarter turn clockwise; 2: half turn; 3: quarter turn
    // counter-clockwise; any other mode: rotation by `angle` (radians; a
    // positive angle turns the page clockwise, levelling lines that rise to
    // the right). Returns 1 on success, 0 when the source has no pixels or
    // the destination cannot be created.
    int Process(CRawImage& dst) override;
    // Rotates into a temporary image and moves the result into the source only
    // when it succeeded, so a failure leaves the source as it was.
    int ProcessInPlace() override;

    double angle = 0.0;
    int32_t mode = 0;
    int interpolate = 1;
    int keepSize = 1;
    int whiteFill = 1;

    // Output size of a rotation by `theta` without keep size: the bounding
    // box of the rotated pixel centres, rounded, at least 1 x 1.
    static void RotatedSize(int32_t width, int32_t height, double theta, int32_t* outWidth,
                            int32_t* outHeight);

private:
    int QuarterTurn(CRawImage& dst, int turn) const;
    int RotateByAngle(CRawImage& dst) const;
};

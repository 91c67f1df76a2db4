#include "image/ImageProcessor.h"

#include <utility>

int CImageProcessor::ProcessInPlace() {
    if (!target_ || !target_->HasPixels()) return 0;
    // The result is built beside the source and then takes its place, which
    // gives the same image as running from a copy of the source into the
    // source, without holding that extra copy. A processor that re-created
    // its destination before failing still replaces the source, as it would
    // have overwritten it.
    CRawImage result;
    const int code = Process(result);
    if (result.HasPixels()) {
        // Re-creating an image of the same geometry keeps its resolution.
        const bool sameGeometry = result.width == target_->width && result.height == target_->height &&
                                  result.bitCount == target_->bitCount;
        if (!sameGeometry) {
            target_->xResolution = result.xResolution;
            target_->yResolution = result.yResolution;
        }
        target_->TakePixels(result);
    }
    return code;
}

int RunProcessor(CImageProcessor& processor, CRawImage* dst) {
    return dst ? processor.Process(*dst) : processor.ProcessInPlace();
}

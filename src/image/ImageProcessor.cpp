#include "image/ImageProcessor.h"

#include <utility>

int CImageProcessor::ProcessInPlace() {
    if (!source_ || !source_->HasPixels()) return 0;
    // The result is built beside the source and then takes its place, which
    // gives the same image as running from a copy of the source into the
    // source, without holding that extra copy. A processor that re-created
    // its destination before failing still replaces the source, as it would
    // have overwritten it.
    CRawImage result;
    const int code = Process(result);
    if (result.HasPixels()) {
        // Re-creating an image of the same geometry keeps its resolution.
        const bool sameGeometry = result.width == source_->width && result.height == source_->height &&
                                  result.bitCount == source_->bitCount;
        if (!sameGeometry) {
            source_->xResolution = result.xResolution;
            source_->yResolution = result.yResolution;
        }
        source_->rows = std::move(result.rows);
        source_->bits = std::move(result.bits);
        source_->width = result.width;
        source_->height = result.height;
        source_->bitCount = result.bitCount;
        source_->bytesPerRow = result.bytesPerRow;
    }
    return code;
}

int RunProcessor(CImageProcessor& processor, CRawImage* dst) {
    return dst ? processor.Process(*dst) : processor.ProcessInPlace();
}

#include "image/ImageProcessor.h"

int CImageProcessor::ProcessInPlace() {
    if (!source_ || !source_->HasPixels()) return 0;
    CRawImage copy;
    if (!copy.Copy(*source_)) return 0;
    CRawImage* original = source_;
    source_ = &copy;
    const int result = Process(*original);
    source_ = original;
    return result;
}

int RunProcessor(CImageProcessor& processor, CRawImage* dst) {
    return dst ? processor.Process(*dst) : processor.ProcessInPlace();
}

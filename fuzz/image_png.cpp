// Fuzz target: the PNG reader on bytes from memory. Pages are capped lower
// than in the library so that the fuzzer's memory limit is not the finding.
#include <cstddef>
#include <cstdint>

#include "image/Dib.h"
#include "imagefile/ImageCodecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    imagefile::DecodeLimits limits;
    limits.maxSide = 8192;
    limits.maxPixels = int64_t(1) << 22;
    CDib image;
    imagefile::DecodePng(data, size, image, limits);
    return 0;
}

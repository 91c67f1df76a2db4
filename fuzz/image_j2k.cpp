// Fuzz target: the JPEG-2000 codestream readers (the file branch and the
// records of j2k_decode) on bytes from memory, with pages capped lower than
// in the library so that the fuzzer's memory limit is not the finding.
#include <cstddef>
#include <cstdint>

#include "image/Dib.h"
#include "imagefile/ImageCodecs.h"
#include "imagefile/J2kCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    imagefile::DecodeLimits limits;
    limits.maxSide = 4096;
    limits.maxPixels = int64_t(1) << 20;
    CDib image;
    imagefile::DecodeJ2k(data, size, image, limits);
    j2k_image_t* records = nullptr;
    j2k_cp_t* cp = nullptr;
    imagefile::DecodeJ2kToRecords(data, size, &records, &cp, limits);
    j2k_destroy(&records, &cp);
    return 0;
}

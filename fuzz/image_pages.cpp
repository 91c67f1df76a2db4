// Fuzz target: the codec table's page readers on bytes from memory, as a
// host's buffer or standard input reaches them: the signature picks the
// codec, the pages are counted (a multi-page TIFF's directory chain above
// all) and the first few pages are decoded. Pages are capped lower than in
// the library so that the fuzzer's memory limit is not the finding.
#include <cstddef>
#include <cstdint>

#include "image/Dib.h"
#include "imagefile/CodecTable.h"
#include "imagefile/ImageCodecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    imagefile::DecodeLimits limits;
    limits.maxSide = 8192;
    limits.maxPixels = int64_t(1) << 22;
    limits.maxMemory = int64_t(64) << 20;
    const int pages = imagefile::CountEncodedPages(data, size);
    for (int page = 0; page < pages && page < 4; ++page) {
        CDib image;
        imagefile::DecodeEncodedPage(data, size, page, image, limits);
    }
    // A page beyond the last is refused, never read.
    CDib beyond;
    imagefile::DecodeEncodedPage(data, size, pages, beyond, limits);
    return 0;
}

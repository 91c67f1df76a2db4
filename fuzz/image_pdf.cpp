// Fuzz target: PDF pages from memory. Every input is taken as a PDF (the
// header is put in front when missing), its pages are counted and the
// first few are read by whichever route each takes: a scanned image's own
// codec (DCT, CCITT fax wrapped as TIFF, JPX, raw rows) or the renderer.
// The page budget is low, so that a render is refused before it starts
// unless the page is small, and the fuzzer's time goes to the parsing.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "image/Dib.h"
#include "imagefile/CodecTable.h"
#include "imagefile/ImageCodecs.h"
#include "imagefile/PdfCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> pdf;
    if (size < 5 || std::memcmp(data, "%PDF-", 5) != 0) {
        static const char kHeader[] = "%PDF-1.7\n";
        pdf.assign(kHeader, kHeader + sizeof kHeader - 1);
    }
    pdf.insert(pdf.end(), data, data + size);
    imagefile::CurrentPdfSettings().renderDpi = 72;
    imagefile::DecodeLimits limits;
    limits.maxSide = 4096;
    limits.maxPixels = int64_t(1) << 20;
    limits.maxMemory = int64_t(32) << 20;
    const int pages = imagefile::CountEncodedPages(pdf.data(), pdf.size());
    for (int page = 0; page < pages && page < 3; ++page) {
        CDib image;
        imagefile::DecodeEncodedPage(pdf.data(), pdf.size(), page, image, limits);
        imagefile::PdfPageInfo info;
        imagefile::InspectPdfPage(pdf.data(), pdf.size(), page, info);
    }
    // A page beyond the last is refused, never read.
    CDib beyond;
    imagefile::DecodeEncodedPage(pdf.data(), pdf.size(), pages, beyond, limits);
    return 0;
}

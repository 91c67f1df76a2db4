// PDF pages. A page whose content is one scanned image is read at that
// image's own resolution: qpdf finds the image XObject its content draws,
// and the image's stream goes to the matching decoder (DCT to the JPEG
// decoder, CCITT fax to the TIFF fax path, JPX to the JPEG-2000 decoder,
// everything else decoded by qpdf to raw rows). Its resolution is the
// image's pixel size against its size on the page. Any other page is
// rendered through Poppler at the render resolution, when the build has
// Poppler (MORVANE_WITH_POPPLER). Encrypted files are refused; a damaged
// one names qpdf's own cause. qpdf and Poppler throw: nothing thrown leaves
// these functions.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

class CDib;

namespace imagefile {

struct DecodeLimits;

// Render settings of PDF pages that are not one scanned image;
// process-wide, set by the host through the exported setter. Atomic: the
// default instance writes it while classifier handles read it on their own
// threads.
struct PdfSettings {
    static constexpr int32_t kDefaultRenderDpi = 300;
    static constexpr int32_t kMinRenderDpi = 50;
    static constexpr int32_t kMaxRenderDpi = 1200;
    std::atomic<int32_t> renderDpi{kDefaultRenderDpi};
};
PdfSettings& CurrentPdfSettings();

// True when the bytes start with the PDF header "%PDF-".
bool IsPdf(const uint8_t* data, size_t size);
// Pages of the file; 0 (with the cause in LastReadFailure) when it cannot be
// read: damaged, encrypted or without pages.
int CountPagesPdf(const uint8_t* data, size_t size);
// Decodes page `page` (0 first) by either route.
bool DecodePdfPage(const uint8_t* data, size_t size, int page, CDib& image, const DecodeLimits& limits);
// True when this build renders pages that are not one scanned image.
bool PdfRendererAvailable();

// How a page would be read, without reading its pixels.
struct PdfPageInfo {
    bool scannedImage = false;  // the page's content draws one image and nothing else
    std::string filter;         // that image's last filter ("DCTDecode", ...; empty: none)
    int32_t width = 0;          // its pixel size
    int32_t height = 0;
    double xDpi = 0;  // its resolution from its placed size on the page
    double yDpi = 0;
    double pageWidthPt = 0;  // the page's crop box in points (1/72 inch)
    double pageHeightPt = 0;
};
bool InspectPdfPage(const uint8_t* data, size_t size, int page, PdfPageInfo& info);

// Renders page `page` at dpi through Poppler (24-bit). The page's pixel
// count at that resolution is checked against the limits before anything
// is rendered. Without Poppler in the build it fails, saying so.
bool RenderPdfPage(const uint8_t* data, size_t size, int page, int32_t dpi, CDib& image,
                   const DecodeLimits& limits);

}  // namespace imagefile

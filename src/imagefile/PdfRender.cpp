// Rendering PDF pages that are not one scanned image, through Poppler's C++
// interface; built only with MORVANE_WITH_POPPLER (Poppler is GPL).
#include "imagefile/PdfCodec.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>

#include "image/Dib.h"
#include "imagefile/ImageCodecs.h"

#ifdef MORVANE_WITH_POPPLER
#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>
#endif

namespace imagefile {

#ifdef MORVANE_WITH_POPPLER

namespace {

// Poppler reports syntax errors on standard error unless told otherwise.
void Quiet(const std::string&, void*) {}

}  // namespace

bool PdfRendererAvailable() { return true; }

bool RenderPdfPage(const uint8_t* data, size_t size, int page, int32_t dpi, CDib& image,
                   const DecodeLimits& limits) {
    image.Free();
    if (!data || size == 0 || size > static_cast<size_t>(INT_MAX))
        return FailIfNoCause("PDF of " + std::to_string(size) + " bytes cannot be rendered");
    if (dpi < PdfSettings::kMinRenderDpi || dpi > PdfSettings::kMaxRenderDpi)
        return FailIfNoCause("PDF render resolution " + std::to_string(dpi) + " outside " +
                             std::to_string(PdfSettings::kMinRenderDpi) + " to " +
                             std::to_string(PdfSettings::kMaxRenderDpi) + " dpi");
    try {
        poppler::set_debug_error_function(Quiet, nullptr);
        std::unique_ptr<poppler::document> doc(poppler::document::load_from_raw_data(
            reinterpret_cast<const char*>(data), static_cast<int>(size)));
        if (!doc) return FailIfNoCause("damaged PDF: the renderer cannot open it");
        if (doc->is_locked()) return FailIfNoCause("encrypted PDF: encrypted files are not read");
        if (page < 0 || page >= doc->pages())
            return FailIfNoCause("page " + std::to_string(page + 1) + " asked of a PDF of " +
                                 std::to_string(doc->pages()) + " pages");
        std::unique_ptr<poppler::page> p(doc->create_page(page));
        if (!p)
            return FailIfNoCause("damaged PDF: the renderer cannot open page " + std::to_string(page + 1));
        // The page's size at the render resolution, judged before a pixel is drawn.
        const poppler::rectf box = p->page_rect(poppler::crop_box);
        const double w = std::ceil(std::fabs(box.width()) * dpi / 72.0);
        const double h = std::ceil(std::fabs(box.height()) * dpi / 72.0);
        if (!(w >= 1) || !(h >= 1) || w > 1e9 || h > 1e9)
            return FailIfNoCause("PDF page without a usable size");
        if (!PageSizeAllowed(static_cast<int64_t>(w), static_cast<int64_t>(h), limits)) return false;
        // Poppler's 32-bit page, then our 24-bit copy.
        if (!PageMemoryAllowed(static_cast<int64_t>(w), static_cast<int64_t>(h), 56, limits, "PDF renderer"))
            return false;
        poppler::page_renderer renderer;
        renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
        renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
        renderer.set_image_format(poppler::image::format_bgr24);
        poppler::image out = renderer.render_page(p.get(), dpi, dpi);
        if (!out.is_valid() || out.width() <= 0 || out.height() <= 0)
            return FailIfNoCause("PDF page " + std::to_string(page + 1) + " cannot be rendered");
        if (!PageSizeAllowed(out.width(), out.height(), limits)) return false;
        if (!image.Create(out.width(), out.height(), 24, dpi))
            return FailIfNoCause("not enough memory for the page");
        const char* src = out.const_data();
        const int stride = out.bytes_per_row();
        const bool bgr = out.format() == poppler::image::format_bgr24;
        const bool argb = out.format() == poppler::image::format_argb32;
        if (!bgr && !argb && out.format() != poppler::image::format_rgb24) {
            image.Free();
            return FailIfNoCause("PDF renderer gave an unexpected pixel format");
        }
        for (int y = 0; y < out.height(); ++y) {
            const auto* row = reinterpret_cast<const uint8_t*>(src + static_cast<ptrdiff_t>(stride) * y);
            uint8_t* dst = image.Row(y);
            for (int x = 0; x < out.width(); ++x) {
                if (bgr) {
                    std::memcpy(dst + x * 3, row + x * 3, 3);
                } else if (argb) {  // B, G, R, A in memory
                    std::memcpy(dst + x * 3, row + x * 4, 3);
                } else {
                    dst[x * 3] = row[x * 3 + 2];
                    dst[x * 3 + 1] = row[x * 3 + 1];
                    dst[x * 3 + 2] = row[x * 3];
                }
            }
        }
        image.xResolution = image.yResolution = dpi;
        // The render resolution is the page's true resolution.
        KeepStatedDensity(image, dpi, dpi, CDib::kDensityPerInch);
        return true;
    } catch (const std::bad_alloc&) {
        image.Free();
        return FailIfNoCause("not enough memory to render the PDF page");
    } catch (const std::exception& e) {
        image.Free();
        return FailIfNoCause(std::string("PDF page cannot be rendered: ") + e.what());
    } catch (...) {
        image.Free();
        return FailIfNoCause("PDF page cannot be rendered");
    }
}

#else

bool PdfRendererAvailable() { return false; }

bool RenderPdfPage(const uint8_t*, size_t, int, int32_t, CDib& image, const DecodeLimits&) {
    image.Free();
    return FailIfNoCause("this build has no PDF renderer (built without Poppler)");
}

#endif

}  // namespace imagefile

// JPEG through libjpeg (the 6b interface), from and to memory. Errors leave
// the library through a longjmp back to the call that started it; messages
// are never printed.
#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "image/BitPixels.h"
#include "image/Dib.h"
#include "imagefile/ImageCodecs.h"

namespace imagefile {
namespace {

struct JpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool truncated;
};

// The library's own message becomes the failure's cause.
void StateJpegMessage(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX] = {0};
    (*cinfo->err->format_message)(cinfo, text);
    FailIfNoCause(std::string("truncated or corrupt JPEG data: ") + text);
}

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    if (cinfo->is_decompressor) StateJpegMessage(cinfo);
    std::longjmp(err->jump, 1);
}
void JpegOutputMessage(j_common_ptr) {}

// libjpeg's "Corrupt JPEG data" warnings: it would fill what it cannot decode
// with gray and call the page done, so a file cut short and closed with an
// end marker, or one with damaged entropy data, would read as a good page.
bool IsCorruptDataWarning(int code) {
    switch (code) {
        case JWRN_JPEG_EOF:
        case JWRN_HIT_MARKER:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_MUST_RESYNC:
        case JWRN_EXTRANEOUS_DATA:
        case JWRN_BOGUS_PROGRESSION:
        case JWRN_NOT_SEQUENTIAL:
            return true;
        default:
            return false;
    }
}

void JpegEmitMessage(j_common_ptr cinfo, int level) {
    // Warnings are never printed; corrupt data ends the read at once.
    if (level < 0) {
        cinfo->err->num_warnings++;
        if (IsCorruptDataWarning(cinfo->err->msg_code)) {
            reinterpret_cast<JpegError*>(cinfo->err)->truncated = true;
            JpegErrorExit(cinfo);
        }
    }
}

// The progress monitor with the scan limit of the page being read.
struct JpegProgressLimit {
    jpeg_progress_mgr pub;
    int maxScans;
};

// Bounds the work a hostile progressive file can ask for: every scan walks
// all blocks of the page, however little data it carries.
void JpegProgress(j_common_ptr cinfo) {
    if (cinfo->is_decompressor) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        auto* limit = reinterpret_cast<JpegProgressLimit*>(cinfo->progress);
        if (d->input_scan_number > limit->maxScans) {
            FailIfNoCause("JPEG with more than " + std::to_string(limit->maxScans) +
                          " scans: over the decoding work allowed for its page");
            std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
        }
    }
}

// Scans allowed for a page: a total of about 64 million block visits, and
// never fewer than 16 scans (more than any encoder's progression script uses
// for ordinary pages) nor more than 1000.
int MaxScansFor(const jpeg_decompress_struct& cinfo) {
    const int64_t blocks = ((int64_t(cinfo.image_width) + 7) / 8) * ((int64_t(cinfo.image_height) + 7) / 8) *
                           std::max(1, cinfo.num_components);
    const int64_t budget = int64_t(64) << 20;
    const int64_t scans = blocks > 0 ? budget / blocks : 1000;
    return static_cast<int>(std::clamp<int64_t>(scans, 16, 1000));
}

// The page's resolution as the file states it, in dots per inch, when the
// reader would believe it (0, 0 otherwise). Read as stored, only a density
// in dots per inch is one.
void StatedDpi(const jpeg_decompress_struct& cinfo, JpegDensity density, int32_t& x, int32_t& y) {
    x = y = 0;
    if (cinfo.density_unit == 1) {
        x = cinfo.X_density;
        y = cinfo.Y_density;
    } else if (cinfo.density_unit == 2 && density == JpegDensity::DotsPerInch) {
        x = DpiFromPerCentimetre(cinfo.X_density);
        y = DpiFromPerCentimetre(cinfo.Y_density);
    }
    if (x < kMinTrustedDpi || x > kMaxTrustedDpi || y < kMinTrustedDpi || y > kMaxTrustedDpi) x = y = 0;
}

// The DCT scale M/8 that brings the page down to the working resolution
// (8: full size), with the resolution the page then has.
int WorkingScale(const jpeg_decompress_struct& cinfo, JpegDensity density, const DecodeOptions* options,
                 int32_t& scaledX, int32_t& scaledY) {
    if (!options || options->targetDpi <= 0) return 8;
    int32_t x = 0, y = 0;
    StatedDpi(cinfo, density, x, y);
    if (options->pageXDpi > 0) x = options->pageXDpi;
    if (options->pageYDpi > 0) y = options->pageYDpi;
    if (x <= 0 || y <= 0) return 8;
    const int eighths = JpegScaleEighths(std::min(x, y), options->targetDpi);
    scaledX = ScaledDpi(x, eighths, 8);
    scaledY = ScaledDpi(y, eighths, 8);
    return eighths;
}

struct JpegReadState {
    jpeg_decompress_struct cinfo;
    JpegError err;
    JpegProgressLimit progress;
    std::vector<uint8_t> line;
    bool created = false;
};

bool ReadJpegBody(JpegReadState& st, const uint8_t* data, size_t size, CDib& image, JpegDensity density,
                  bool allowOther, const DecodeLimits& limits) {
    jpeg_decompress_struct& cinfo = st.cinfo;
    if (setjmp(st.err.jump)) return false;
    jpeg_create_decompress(&cinfo);
    st.created = true;
    st.progress.pub.progress_monitor = JpegProgress;
    st.progress.maxScans = 1000;
    cinfo.progress = &st.progress.pub;
    // libjpeg's own memory manager refuses to hold more than the budget (the
    // whole-image coefficient buffer of a progressive file above all).
    cinfo.mem->max_memory_to_use = static_cast<long>(std::min<int64_t>(limits.maxMemory, LONG_MAX));
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return FailIfNoCause("JPEG without an image");
    // DCT scaling straight to the working resolution; the page budget then
    // holds for the page as decoded.
    int32_t scaledX = 0, scaledY = 0;
    const int eighths = WorkingScale(cinfo, density, limits.options, scaledX, scaledY);
    if (eighths < 8) {
        cinfo.scale_num = static_cast<unsigned int>(eighths);
        cinfo.scale_denom = 8;
        jpeg_calc_output_dimensions(&cinfo);
        if (!PageSizeAllowed(cinfo.output_width, cinfo.output_height, limits)) return false;
    } else if (!PageSizeAllowed(cinfo.image_width, cinfo.image_height, limits)) {
        return false;
    }
    st.progress.maxScans = MaxScansFor(cinfo);
    // A multi-scan file keeps every coefficient of the page (128 bytes per
    // block of 64 samples) until the last scan.
    // Output bytes per pixel: 1 gray, 3 colour (CMYK adds a 4-byte line).
    const int64_t outEighths = cinfo.num_components == 1 ? 8 : 24;
    if (jpeg_has_multiple_scans(&cinfo)) {
        // 2 bytes per coefficient per component, at full size, plus the page.
        if (!PageMemoryAllowed(cinfo.image_width, cinfo.image_height,
                               16 * std::max(1, cinfo.num_components) + outEighths, limits,
                               "progressive JPEG"))
            return false;
    } else if (!PageMemoryAllowed(eighths < 8 ? cinfo.output_width : cinfo.image_width,
                                  eighths < 8 ? cinfo.output_height : cinfo.image_height, outEighths, limits,
                                  "JPEG")) {
        return false;
    }
    bool cmyk = false;
    if (cinfo.num_components == 1) {
        cinfo.out_color_space = JCS_GRAYSCALE;
    } else if (cinfo.num_components == 3) {
        cinfo.out_color_space = JCS_EXT_BGR;
    } else if (cinfo.num_components == 4 && allowOther &&
               (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK)) {
        cinfo.out_color_space = JCS_CMYK;
        cmyk = true;
    } else {
        return FailIfNoCause("JPEG with " + std::to_string(cinfo.num_components) +
                             " components in an unsupported colour space");
    }
    jpeg_start_decompress(&cinfo);
    const int bpp = cinfo.output_components == 1 ? 8 : 24;
    const int64_t stride = CDib::RowBytes(cinfo.output_width, bpp);
    if (stride <= 0 || !image.CreateWithStrideForOverwrite(static_cast<int32_t>(cinfo.output_width),
                                                           static_cast<int32_t>(cinfo.output_height), bpp,
                                                           static_cast<int32_t>(stride)))
        return false;
    if (cmyk) st.line.resize(static_cast<size_t>(cinfo.output_width) * 4);
    const bool singleScan = !jpeg_has_multiple_scans(&cinfo);
    // Two bands of blocks (16 rows each at most) at the output scale: the
    // decoder reads a little ahead of the rows it has handed out.
    const JDIMENSION bandRows = static_cast<JDIMENSION>(
        32 * int64_t(cinfo.output_height) / std::max<int64_t>(1, cinfo.image_height) + 2);
    // Adobe files store CMYK inverted.
    const bool inverted = cmyk && cinfo.saw_Adobe_marker;
    // Every row is written below, or the page is refused (and freed): the
    // pixels were not cleared.
    while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION y = cinfo.output_scanline;
        JSAMPROW row = cmyk ? st.line.data() : image.Row(y);
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) return FailIfNoCause("truncated JPEG data");
        // A one-scan page is decoded as it is output. An end marker met
        // while rows beyond the current band of blocks remain means the data
        // stopped early: the arithmetic decoder then feeds zeros without a
        // word, and would hand over a page with a blank lower part.
        if (singleScan && cinfo.unread_marker != 0 &&
            (cinfo.unread_marker < 0xD0 || cinfo.unread_marker > 0xD7) &&
            cinfo.output_height - cinfo.output_scanline > bandRows)
            return FailIfNoCause("truncated JPEG data: the entropy-coded data ends at row " +
                                 std::to_string(cinfo.output_scanline) + " of " +
                                 std::to_string(cinfo.output_height));
        if (cmyk) {
            uint8_t* o = image.Row(y);
            for (JDIMENSION x = 0; x < cinfo.output_width; ++x) {
                int c = row[4 * x], m = row[4 * x + 1], yy = row[4 * x + 2], k = row[4 * x + 3];
                if (!inverted) c = 255 - c, m = 255 - m, yy = 255 - yy, k = 255 - k;
                o[3 * x] = static_cast<uint8_t>(yy * k / 255);
                o[3 * x + 1] = static_cast<uint8_t>(m * k / 255);
                o[3 * x + 2] = static_cast<uint8_t>(c * k / 255);
            }
        }
    }
    // A progressive file must refine every coefficient of every component
    // to its last bit: one cut after some scans and closed with an end
    // marker otherwise reads as a blurred but plausible page.
    if (cinfo.progressive_mode && cinfo.coef_bits) {
        for (int c = 0; c < cinfo.num_components; ++c)
            for (int k = 0; k < DCTSIZE2; ++k)
                if (cinfo.coef_bits[c][k] != 0)
                    return FailIfNoCause(
                        "truncated JPEG data: the progressive scans end before the page is complete");
    }
    jpeg_finish_decompress(&cinfo);
    if (st.err.truncated) return FailIfNoCause("truncated or corrupt JPEG data");
    int32_t xr = cinfo.X_density, yr = cinfo.Y_density;
    if (cinfo.density_unit == 1 || cinfo.density_unit == 2)
        KeepStatedDensity(image, xr, yr,
                          cinfo.density_unit == 1 ? CDib::kDensityPerInch : CDib::kDensityPerCm);
    if (density == JpegDensity::DotsPerInch) {
        if (cinfo.density_unit == 2) {
            xr = DpiFromPerCentimetre(xr);
            yr = DpiFromPerCentimetre(yr);
        } else if (cinfo.density_unit != 1) {
            xr = yr = 0;  // aspect ratio only
        }
    }
    if (eighths < 8) {
        xr = scaledX;
        yr = scaledY;
        limits.options->scaleNum = eighths;
        limits.options->scaleDen = 8;
    }
    image.xResolution = xr;
    image.yResolution = yr;
    return true;
}

struct JpegWriteState {
    jpeg_compress_struct cinfo;
    JpegError err;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> line;
    bool created = false;
};

bool WriteJpegBody(JpegWriteState& st, const CDib& image, int quality, bool forceBaseline) {
    jpeg_compress_struct& cinfo = st.cinfo;
    if (setjmp(st.err.jump)) return false;
    jpeg_create_compress(&cinfo);
    st.created = true;
    jpeg_mem_dest(&cinfo, &st.buffer, &st.size);
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    // Bilevel pages are written as gray.
    const bool color = image.bitCount == 24;
    cinfo.input_components = color ? 3 : 1;
    cinfo.in_color_space = color ? JCS_EXT_BGR : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, forceBaseline ? TRUE : FALSE);
    cinfo.density_unit = 1;
    cinfo.X_density =
        static_cast<UINT16>(image.xResolution > 0 && image.xResolution < 65536 ? image.xResolution : 0);
    cinfo.Y_density =
        static_cast<UINT16>(image.yResolution > 0 && image.yResolution < 65536 ? image.yResolution : 0);
    if (!cinfo.X_density || !cinfo.Y_density) {
        cinfo.density_unit = 0;
        cinfo.X_density = cinfo.Y_density = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    // libjpeg takes mutable rows and the page is read-only here: each row
    // goes through one line buffer (1-bit rows widened to gray on the way).
    const size_t lineBytes = image.bitCount == 1 ? static_cast<size_t>(image.width)
                                                 : static_cast<size_t>(image.width) * (image.bitCount / 8);
    st.line.resize(lineBytes);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int32_t y = static_cast<int32_t>(cinfo.next_scanline);
        if (image.bitCount == 1) {
            for (int32_t x = 0; x < image.width; ++x) st.line[x] = bitpixels::Get(image.Row(y), x) ? 0 : 255;
        } else {
            std::memcpy(st.line.data(), image.Row(y), lineBytes);
        }
        JSAMPROW row = st.line.data();
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, CDib& image, JpegDensity density, bool allowOther,
                const DecodeLimits& limits) {
    image.Free();
    if (!data || size < 4 || size > 0xFFFFFFFFu) return false;
    JpegReadState st;
    std::memset(&st.cinfo, 0, sizeof(st.cinfo));
    std::memset(&st.progress, 0, sizeof(st.progress));
    st.cinfo.err = jpeg_std_error(&st.err.pub);
    st.err.pub.error_exit = JpegErrorExit;
    st.err.pub.output_message = JpegOutputMessage;
    st.err.pub.emit_message = JpegEmitMessage;
    st.err.truncated = false;
    if (limits.options) limits.options->scaleNum = limits.options->scaleDen = 1;
    const bool ok = ReadJpegBody(st, data, size, image, density, allowOther, limits);
    if (st.created) jpeg_destroy_decompress(&st.cinfo);
    if (!ok) image.Free();
    return ok;
}

bool EncodeJpeg(const CDib& image, int quality, bool forceBaseline, std::vector<uint8_t>& out) {
    out.clear();
    if (!image.HasPixels() || (image.bitCount != 1 && image.bitCount != 8 && image.bitCount != 24))
        return false;
    if (quality < 0) quality = 0;
    if (quality > 100) quality = 100;
    JpegWriteState st;
    std::memset(&st.cinfo, 0, sizeof(st.cinfo));
    st.cinfo.err = jpeg_std_error(&st.err.pub);
    st.err.pub.error_exit = JpegErrorExit;
    st.err.pub.output_message = JpegOutputMessage;
    st.err.pub.emit_message = JpegEmitMessage;
    st.err.truncated = false;
    const bool ok = WriteJpegBody(st, image, quality, forceBaseline);
    if (st.created) jpeg_destroy_compress(&st.cinfo);
    if (ok && st.buffer && st.size) out.assign(st.buffer, st.buffer + st.size);
    std::free(st.buffer);
    return ok && !out.empty();
}

}  // namespace imagefile

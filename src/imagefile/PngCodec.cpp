// PNG through libpng, from and to memory: every colour type and depth,
// interlaced or not. Alpha is dropped, 16-bit samples keep their high byte,
// 1-bit gray stays bilevel, other gray depths give 8-bit, palettes follow the
// shared palette rule, colour gives 24-bit. Resolution from pHYs.
#include <png.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "image/Dib.h"
#include "imagefile/ImageCodecs.h"

namespace imagefile {
namespace {

void PngWriteData(png_structp png, png_bytep in, png_size_t n) {
    auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    v->insert(v->end(), in, in + n);
}
void PngFlush(png_structp) {}

// The library's error text becomes the failure's cause.
[[noreturn]] void PngError(png_structp png, png_const_charp message) {
    FailIfNoCause(std::string("truncated or corrupt PNG data: ") + (message ? message : "unknown error"));
    png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}

// Ancillary chunks that carry text or profiles: never inflated or kept. A
// page needs none of them, and each may claim to inflate to gigabytes.
const png_byte kIgnoredChunks[] = {'t', 'E', 'X', 't', '\0', 'z', 'T', 'X', 't', '\0',
                                   'i', 'T', 'X', 't', '\0', 'i', 'C', 'C', 'P', '\0',
                                   's', 'P', 'L', 'T', '\0', 'e', 'X', 'I', 'f', '\0'};

// Everything that must survive a longjmp lives here, built before setjmp.
// The file is read through libpng's progressive reader, fed in pieces: it
// hands over each row as it is inflated, so reading stops at the last row
// of the last pass, and data after it (extra deflate output in IDAT, or
// anything else) is never inflated.
struct PngReadState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    CDib* image = nullptr;
    const DecodeLimits* limits = nullptr;
    std::vector<PaletteEntry> palette;
    bool invertBits = false;
    bool paletteLookup = false;
    bool headerOk = false;
    bool failed = false;
    bool interlaced = false;
    size_t rowBytes = 0;  // bytes of one decoded row
    png_uint_32 width = 0, height = 0;
    int bpp = 0;
    int64_t stride = 0;
    // Rows with data handed over, over all passes, and how many the page has.
    uint64_t rowsSeen = 0;
    uint64_t rowsExpected = 0;
    bool done = false;
};

void PngInfoReady(png_structp png, png_infop info) {
    auto* st = static_cast<PngReadState*>(png_get_progressive_ptr(png));
    png_uint_32 w = 0, h = 0;
    int depth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colorType, &interlace, nullptr, nullptr);
    // Bytes per pixel of the page as stored (eighths): 1-bit pages keep
    // one bit, other gray pages one byte, the rest three; 16-bit samples
    // are cut to 8 bits row by row, so they cost no more.
    int bpp = 24;
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp plte = nullptr;
        int count = 0;
        if (!png_get_PLTE(png, info, &plte, &count) || count <= 0) {
            FailIfNoCause("corrupt PNG data: palette page without a palette");
            png_longjmp(png, 1);
        }
        for (int i = 0; i < count; ++i)
            st->palette.push_back(PaletteEntry{plte[i].red, plte[i].green, plte[i].blue});
        const PaletteKind kind = ClassifyPalette(st->palette);
        if (kind == PaletteKind::Bilevel && depth == 1) {
            bpp = 1;
            st->invertBits = st->palette[0].r == 0;  // index 0 black: ink is a clear bit in the file
        } else if (kind == PaletteKind::Color) {
            png_set_palette_to_rgb(png);
            if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_strip_alpha(png);
            png_set_bgr(png);
        } else {
            bpp = 8;
            st->paletteLookup = true;
            png_set_packing(png);
        }
    } else if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        if (colorType == PNG_COLOR_TYPE_GRAY && depth == 1) {
            bpp = 1;
            st->invertBits = true;  // sample 0 is black
        } else {
            bpp = 8;
            if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
        }
        if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_strip_alpha(png);
    } else {
        png_set_bgr(png);
        if (colorType & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
    }
    if (depth == 16) png_set_strip_16(png);  // high byte of each sample
    // Interlaced pages are assembled in the page itself, pass by pass.
    if (!PageMemoryAllowed(w, h, bpp, *st->limits, "PNG")) png_longjmp(png, 1);
    st->interlaced = interlace != PNG_INTERLACE_NONE;
    png_set_interlace_handling(png);
    if (st->interlaced) {
        for (int pass = 0; pass < 7; ++pass)
            if (PNG_PASS_COLS(w, pass) > 0) st->rowsExpected += PNG_PASS_ROWS(h, pass);
    } else {
        st->rowsExpected = h;
    }
    png_read_update_info(png, info);
    const int64_t stride = CDib::RowBytes(w, bpp);
    st->rowBytes = png_get_rowbytes(png, info);
    if (stride <= 0 || static_cast<int64_t>(png_get_rowbytes(png, info)) > stride) {
        FailIfNoCause("corrupt PNG data: rows wider than the page");
        png_longjmp(png, 1);
    }
    // The page itself is made when its first row arrives: a file that
    // declares a large page but holds no image data costs nothing.
    st->bpp = bpp;
    st->stride = stride;
    st->width = w;
    st->height = h;
    st->headerOk = true;
}

void PngRowReady(png_structp png, png_bytep row, png_uint_32 y, int) {
    auto* st = static_cast<PngReadState*>(png_get_progressive_ptr(png));
    if (!row || y >= st->height) return;  // no data for this row in this pass
    // A page that is not interlaced gets every row's pixel bytes whole from
    // here, and one with rows missing at the end of the data is refused (and
    // freed), so its pixels need no clearing first. Interlaced passes fill
    // rows in parts and leave the bits past the width of 1-bit rows alone:
    // such pages are cleared, as are rows narrower than the page's.
    const size_t pixelBytes = (static_cast<size_t>(st->width) * static_cast<size_t>(st->bpp) + 7) / 8;
    const bool whole = !st->interlaced && st->rowBytes == pixelBytes;
    const auto create = whole ? &CDib::CreateWithStrideForOverwrite : &CDib::CreateWithStride;
    if (!st->image->HasPixels() &&
        !(st->image->*create)(static_cast<int32_t>(st->width), static_cast<int32_t>(st->height), st->bpp,
                              static_cast<int32_t>(st->stride))) {
        FailIfNoCause("not enough memory for the page");
        png_longjmp(png, 1);
    }
    png_progressive_combine_row(png, st->image->Row(y), row);
    if (++st->rowsSeen >= st->rowsExpected) st->done = true;
}

void PngEnd(png_structp png, png_infop) {
    static_cast<PngReadState*>(png_get_progressive_ptr(png))->done = true;
}

bool ReadPngBody(PngReadState& st, const uint8_t* data, size_t size, const DecodeLimits& limits) {
    png_structp png = st.png;
    png_infop info = st.info;
    // libpng takes each piece of the file as mutable bytes, and the file's
    // bytes are read-only here: each piece goes through this buffer, made
    // before the jump point so that a libpng error frees it.
    const size_t piece = 64 * 1024;
    std::vector<png_byte> chunk(std::min(piece, size));
    if (setjmp(png_jmpbuf(png))) return false;
    st.limits = &limits;
    png_set_progressive_read_fn(png, &st, PngInfoReady, PngRowReady, PngEnd);
    png_set_user_limits(png, static_cast<png_uint_32>(limits.maxSide),
                        static_cast<png_uint_32>(limits.maxSide));
    // No chunk may take more than 8 MiB, and at most 128 ancillary chunks are kept.
    png_set_chunk_malloc_max(png, 8u << 20);
    png_set_chunk_cache_max(png, 128);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks,
                                static_cast<int>(sizeof kIgnoredChunks / 5));
    size_t pos = 0;
    while (pos < size && !st.done) {
        const size_t n = std::min(piece, size - pos);
        std::memcpy(chunk.data(), data + pos, n);
        png_process_data(png, info, chunk.data(), n);
        pos += n;
    }
    if (!st.headerOk) return FailIfNoCause("truncated PNG data: the file ends before the image header");
    if (st.rowsSeen < st.rowsExpected)
        return FailIfNoCause("truncated PNG data: " + std::to_string(st.rowsSeen) + " of " +
                             std::to_string(st.rowsExpected) + " rows" +
                             (st.interlaced ? " over the passes" : ""));
    CDib& image = *st.image;
    const png_uint_32 w = st.width, h = st.height;
    if (st.invertBits) {
        const size_t used = (w + 7) / 8;
        const int tail = static_cast<int>(w & 7);
        for (png_uint_32 y = 0; y < h; ++y) {
            uint8_t* row = image.Row(y);
            for (size_t k = 0; k < used; ++k) row[k] = static_cast<uint8_t>(~row[k]);
            if (tail) row[used - 1] &= static_cast<uint8_t>(0xFF << (8 - tail));
        }
    }
    if (st.paletteLookup) {
        uint8_t lut[256];
        for (int i = 0; i < 256; ++i)
            lut[i] = static_cast<size_t>(i) < st.palette.size() ? st.palette[i].r : st.palette[0].r;
        for (png_uint_32 y = 0; y < h; ++y) {
            uint8_t* row = image.Row(y);
            for (png_uint_32 x = 0; x < w; ++x) row[x] = lut[row[x]];
        }
    }
    png_uint_32 xres = 0, yres = 0;
    int unit = 0;
    image.xResolution = image.yResolution = 0;
    if (png_get_pHYs(png, info, &xres, &yres, &unit) && unit == PNG_RESOLUTION_METER) {
        KeepStatedDensity(image, xres, yres, CDib::kDensityPerMetre);
        image.xResolution = DpiFromPerMetre(xres);
        image.yResolution = DpiFromPerMetre(yres);
    }
    return true;
}

struct PngWriteState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<uint8_t> line;
};

bool WritePngBody(PngWriteState& st, const CDib& image, std::vector<uint8_t>& out) {
    png_structp png = st.png;
    png_infop info = st.info;
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, &out, PngWriteData, PngFlush);
    const int bpp = image.bitCount;
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height),
                 bpp == 1 ? 1 : 8, bpp == 24 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (image.xResolution > 0 && image.yResolution > 0)
        png_set_pHYs(png, info, static_cast<png_uint_32>(PerMetreFromDpi(image.xResolution)),
                     static_cast<png_uint_32>(PerMetreFromDpi(image.yResolution)), PNG_RESOLUTION_METER);
    png_write_info(png, info);
    if (bpp == 24) png_set_bgr(png);
    const size_t used =
        bpp == 1 ? (static_cast<size_t>(image.width) + 7) / 8 : static_cast<size_t>(image.width) * (bpp / 8);
    for (int32_t y = 0; y < image.height; ++y) {
        if (bpp == 1) {
            // PNG gray: 0 is black, so ink (a set bit here) becomes a clear bit.
            for (size_t k = 0; k < used; ++k) st.line[k] = static_cast<uint8_t>(~image.Row(y)[k]);
            png_write_row(png, st.line.data());
        } else {
            png_write_row(png, image.Row(y));
        }
    }
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, CDib& image, const DecodeLimits& limits) {
    image.Free();
    if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0) return FailIfNoCause("not a PNG file");
    PngReadState st;
    st.image = &image;
    st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!st.png) return false;
    st.info = png_create_info_struct(st.png);
    bool ok = st.info != nullptr && ReadPngBody(st, data, size, limits);
    png_destroy_read_struct(&st.png, st.info ? &st.info : nullptr, nullptr);
    if (!ok) image.Free();
    return ok;
}

bool EncodePng(const CDib& image, std::vector<uint8_t>& out) {
    out.clear();
    if (!image.HasPixels() || (image.bitCount != 1 && image.bitCount != 8 && image.bitCount != 24))
        return false;
    PngWriteState st;
    st.line.resize(static_cast<size_t>(image.bytesPerRow));
    st.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!st.png) return false;
    st.info = png_create_info_struct(st.png);
    bool ok = st.info != nullptr && WritePngBody(st, image, out);
    png_destroy_write_struct(&st.png, st.info ? &st.info : nullptr);
    if (!ok) out.clear();
    return ok;
}

}  // namespace imagefile

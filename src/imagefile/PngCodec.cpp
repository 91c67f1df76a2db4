// PNG through libpng, from and to memory: every colour type and depth,
// interlaced or not. Alpha is dropped, 16-bit samples keep their high byte,
// 1-bit gray stays bilevel, other gray depths give 8-bit, palettes follow the
// shared palette rule, colour gives 24-bit. Resolution from pHYs.
#include <png.h>

#include <cstring>
#include <vector>

#include "image/Dib.h"
#include "imagefile/ImageCodecs.h"

namespace imagefile {
namespace {

struct PngSource {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void PngReadData(png_structp png, png_bytep out, png_size_t n) {
    auto* s = static_cast<PngSource*>(png_get_io_ptr(png));
    if (n > s->size - s->pos) png_error(png, "truncated");
    std::memcpy(out, s->data + s->pos, n);
    s->pos += n;
}

void PngWriteData(png_structp png, png_bytep in, png_size_t n) {
    auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    v->insert(v->end(), in, in + n);
}
void PngFlush(png_structp) {}

[[noreturn]] void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

// Everything that must survive a longjmp lives here, built before setjmp.
struct PngReadState {
    PngSource src{};
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<png_bytep> rowPointers;
    std::vector<PaletteEntry> palette;
};

bool ReadPngBody(PngReadState& st, CDib& image, const DecodeLimits& limits) {
    png_structp png = st.png;
    png_infop info = st.info;
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, &st.src, PngReadData);
    png_set_user_limits(png, static_cast<png_uint_32>(limits.maxSide), static_cast<png_uint_32>(limits.maxSide));
    png_set_chunk_malloc_max(png, 64u << 20);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colorType, &interlace, nullptr, nullptr);
    if (!PageSizeAllowed(w, h, limits)) return false;

    int bpp = 24;
    bool invertBits = false;
    PaletteKind kind = PaletteKind::Color;
    bool paletteLookup = false;
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp plte = nullptr;
        int count = 0;
        if (!png_get_PLTE(png, info, &plte, &count) || count <= 0) return false;
        for (int i = 0; i < count; ++i) st.palette.push_back(PaletteEntry{plte[i].red, plte[i].green, plte[i].blue});
        kind = ClassifyPalette(st.palette);
        if (kind == PaletteKind::Bilevel && depth == 1) {
            bpp = 1;
            invertBits = st.palette[0].r == 0;  // index 0 black: ink is a clear bit in the file
        } else if (kind == PaletteKind::Color) {
            png_set_palette_to_rgb(png);
            if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_strip_alpha(png);
            png_set_bgr(png);
        } else {
            if (kind == PaletteKind::Bilevel) kind = PaletteKind::Gray;
            bpp = 8;
            paletteLookup = true;
            png_set_packing(png);
        }
    } else if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        if (colorType == PNG_COLOR_TYPE_GRAY && depth == 1) {
            bpp = 1;
            invertBits = true;  // sample 0 is black
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
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const int64_t stride = CDib::RowBytes(w, bpp);
    if (stride <= 0 || static_cast<int64_t>(png_get_rowbytes(png, info)) > stride) return false;
    if (!image.CreateWithStride(static_cast<int32_t>(w), static_cast<int32_t>(h), bpp, static_cast<int32_t>(stride)))
        return false;
    st.rowPointers.resize(h);
    for (png_uint_32 y = 0; y < h; ++y) st.rowPointers[y] = image.rows[y];
    png_read_image(png, st.rowPointers.data());
    png_read_end(png, nullptr);

    if (invertBits) {
        const size_t used = (w + 7) / 8;
        const int tail = static_cast<int>(w & 7);
        for (png_uint_32 y = 0; y < h; ++y) {
            uint8_t* row = image.rows[y];
            for (size_t k = 0; k < used; ++k) row[k] = static_cast<uint8_t>(~row[k]);
            if (tail) row[used - 1] &= static_cast<uint8_t>(0xFF << (8 - tail));
        }
    }
    if (paletteLookup) {
        uint8_t lut[256];
        for (int i = 0; i < 256; ++i)
            lut[i] = static_cast<size_t>(i) < st.palette.size() ? st.palette[i].r : st.palette[0].r;
        for (png_uint_32 y = 0; y < h; ++y) {
            uint8_t* row = image.rows[y];
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
    const size_t used = bpp == 1 ? (static_cast<size_t>(image.width) + 7) / 8
                                 : static_cast<size_t>(image.width) * (bpp / 8);
    for (int32_t y = 0; y < image.height; ++y) {
        if (bpp == 1) {
            // PNG gray: 0 is black, so ink (a set bit here) becomes a clear bit.
            for (size_t k = 0; k < used; ++k) st.line[k] = static_cast<uint8_t>(~image.rows[y][k]);
            png_write_row(png, st.line.data());
        } else {
            png_write_row(png, image.rows[y]);
        }
    }
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, CDib& image, const DecodeLimits& limits) {
    image.Free();
    if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0) return false;
    PngReadState st;
    st.src = PngSource{data, size, 0};
    st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!st.png) return false;
    st.info = png_create_info_struct(st.png);
    bool ok = st.info != nullptr && ReadPngBody(st, image, limits);
    png_destroy_read_struct(&st.png, st.info ? &st.info : nullptr, nullptr);
    if (!ok) image.Free();
    return ok;
}

bool EncodePng(const CDib& image, std::vector<uint8_t>& out) {
    out.clear();
    if (!image.HasPixels() || (image.bitCount != 1 && image.bitCount != 8 && image.bitCount != 24)) return false;
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

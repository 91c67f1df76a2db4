// TIFF through libtiff, from and to memory. Reading takes the first page:
// bilevel (any compression, ink set by the photometric tag or the palette),
// 8-bit gray, palette and 8-bit RGB strips directly; every other layout
// through libtiff's RGBA reader. Writing: none, LZW, CCITT group 3 and 4.
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "image/BitPixels.h"
#include "image/Dib.h"
#include "imagefile/ImageCodecs.h"

namespace imagefile {
namespace {

// A byte buffer seen by libtiff as a file.
struct MemFile {
    const uint8_t* data = nullptr;        // reading
    std::vector<uint8_t>* out = nullptr;  // writing
    size_t size = 0;
    size_t pos = 0;
};

tmsize_t MemRead(thandle_t h, void* buf, tmsize_t n) {
    auto* m = static_cast<MemFile*>(h);
    const uint8_t* src = m->out ? m->out->data() : m->data;
    const size_t size = m->out ? m->out->size() : m->size;
    if (n <= 0 || m->pos >= size) return 0;
    const size_t k = std::min(static_cast<size_t>(n), size - m->pos);
    std::memcpy(buf, src + m->pos, k);
    m->pos += k;
    return static_cast<tmsize_t>(k);
}
tmsize_t MemWrite(thandle_t h, void* buf, tmsize_t n) {
    auto* m = static_cast<MemFile*>(h);
    if (!m->out || n < 0) return -1;
    const size_t end = m->pos + static_cast<size_t>(n);
    if (end > m->out->size()) m->out->resize(end);
    std::memcpy(m->out->data() + m->pos, buf, static_cast<size_t>(n));
    m->pos = end;
    return n;
}
toff_t MemSeek(thandle_t h, toff_t off, int whence) {
    auto* m = static_cast<MemFile*>(h);
    const size_t size = m->out ? m->out->size() : m->size;
    uint64_t base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? size : 0;
    const uint64_t target = base + off;
    if (target > (uint64_t(1) << 40)) return static_cast<toff_t>(-1);
    m->pos = static_cast<size_t>(target);
    return target;
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) {
    auto* m = static_cast<MemFile*>(h);
    return m->out ? m->out->size() : m->size;
}
int MemMap(thandle_t h, void** base, toff_t* size) {
    auto* m = static_cast<MemFile*>(h);
    if (m->out) return 0;
    *base = const_cast<uint8_t*>(m->data);
    *size = m->size;
    return 1;
}
void MemUnmap(thandle_t, void*, toff_t) {}

// libtiff reports through these instead of printing. Errors give the
// failure's cause; a warning met while pixel data is decoded (a strip or
// tile with short data, a premature end of fax data, a bad code) makes the
// page fail, since libtiff would otherwise hand over the rows it could not
// decode as if they were blank.
struct TiffMessages {
    bool decoding = false;
    bool corrupt = false;
};

std::string FormatMessage(const char* module, const char* fmt, va_list ap) {
    char text[512] = {0};
    if (fmt) std::vsnprintf(text, sizeof text, fmt, ap);
    std::string out =
        module && *module && std::strcmp(module, "memory") != 0 ? std::string(module) + ": " : "";
    return out + text;
}

int ErrorHandler(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    if (user) static_cast<TiffMessages*>(user)->corrupt = true;
    FailIfNoCause("truncated or corrupt TIFF data: " + FormatMessage(module, fmt, ap));
    return 1;
}

int WarningHandler(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* messages = static_cast<TiffMessages*>(user);
    if (messages && messages->decoding) {
        messages->corrupt = true;
        FailIfNoCause("truncated or corrupt TIFF data: " + FormatMessage(module, fmt, ap));
    }
    return 1;
}

int QuietHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
    TIFF* tif = nullptr;
    TIFFOpenOptions* opts = nullptr;
    TiffMessages messages;
    ~TiffCloser() {
        if (tif) TIFFClose(tif);
        if (opts) TIFFOpenOptionsFree(opts);
    }
};

TIFF* OpenMem(MemFile& mf, const char* mode, TiffCloser& holder) {
    holder.opts = TIFFOpenOptionsAlloc();
    if (!holder.opts) return nullptr;
    const bool reading = mode[0] == 'r';
    TIFFOpenOptionsSetErrorHandlerExtR(holder.opts, reading ? ErrorHandler : QuietHandler, &holder.messages);
    TIFFOpenOptionsSetWarningHandlerExtR(holder.opts, reading ? WarningHandler : QuietHandler,
                                         &holder.messages);
    TIFFOpenOptionsSetMaxSingleMemAlloc(holder.opts, tmsize_t(1) << 30);
    holder.tif = TIFFClientOpenExt("memory", mode, &mf, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap,
                                   MemUnmap, holder.opts);
    return holder.tif;
}

// The density as the file states it, with its unit (none without an
// absolute one).
void KeepTiffDensity(TIFF* tif, CDib& image) {
    float x = 0, y = 0;
    uint16_t unit = RESUNIT_INCH;
    if (!TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) || !TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y)) return;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit == RESUNIT_INCH)
        KeepStatedDensity(image, x, y, CDib::kDensityPerInch);
    else if (unit == RESUNIT_CENTIMETER)
        KeepStatedDensity(image, x, y, CDib::kDensityPerCm);
}

int32_t TiffDpi(TIFF* tif, ttag_t tag) {
    float v = 0;
    uint16_t unit = RESUNIT_INCH;
    if (!TIFFGetField(tif, tag, &v) || !std::isfinite(v) || v <= 0) return 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit == RESUNIT_CENTIMETER) return DpiFromPerCentimetre(v);
    if (unit == RESUNIT_INCH) return v > 1e6f ? 1000000 : static_cast<int32_t>(std::floor(v + 0.5f));
    return 0;  // no absolute unit
}

std::vector<PaletteEntry> TiffPalette(TIFF* tif, int bps) {
    std::vector<PaletteEntry> pal;
    uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b) return pal;
    const size_t count = size_t(1) << bps;
    // Some writers store 8-bit values in the 16-bit map.
    bool eightBit = true;
    for (size_t i = 0; i < count; ++i)
        if (r[i] > 255 || g[i] > 255 || b[i] > 255) eightBit = false;
    for (size_t i = 0; i < count; ++i) {
        if (eightBit)
            pal.push_back(PaletteEntry{static_cast<uint8_t>(r[i]), static_cast<uint8_t>(g[i]),
                                       static_cast<uint8_t>(b[i])});
        else
            pal.push_back(PaletteEntry{static_cast<uint8_t>(r[i] >> 8), static_cast<uint8_t>(g[i] >> 8),
                                       static_cast<uint8_t>(b[i] >> 8)});
    }
    return pal;
}

// Any layout libtiff can render: through its RGBA reader, one strip or one
// row of tiles at a time, so that no buffer of the whole page at 4 bytes per
// pixel is filled before any data is read. Gray and bilevel photometrics
// keep their bit count.
bool ReadThroughRgba(TIFF* tif, CDib& image, uint32_t w, uint32_t h, uint16_t photometric, uint16_t bps,
                     uint16_t spp, const DecodeLimits& limits) {
    char msg[1024];
    if (!TIFFRGBAImageOK(tif, msg)) return FailIfNoCause(std::string("unsupported TIFF layout: ") + msg);
    const bool tiled = TIFFIsTiled(tif) != 0;
    uint32_t bandW = w, bandH = 0;
    if (tiled) {
        if (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &bandW) || !TIFFGetField(tif, TIFFTAG_TILELENGTH, &bandH) ||
            bandW == 0 || bandH == 0)
            return FailIfNoCause("corrupt TIFF data: tiles without a size");
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &bandH);
        if (bandH == 0 || bandH > h) bandH = h;
    }
    const bool gray =
        spp == 1 && (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE);
    const int bpp = gray ? (bps == 1 ? 1 : 8) : 24;
    // The page plus one band of 4-byte pixels.
    if (!PageMemoryAllowed(w, h, bpp, limits, "TIFF") ||
        !PageMemoryAllowed(bandW, bandH, 32, limits, "TIFF RGBA band"))
        return false;
    const int64_t pageBytes = (int64_t(w) * h * bpp + 7) / 8;
    const int64_t bandBytes = int64_t(bandW) * bandH * 4;
    if (pageBytes + bandBytes > limits.maxMemory)
        return FailIfNoCause("TIFF page of " + std::to_string(w) + " x " + std::to_string(h) +
                             " pixels needs " + std::to_string((pageBytes + bandBytes) >> 20) +
                             " MiB to decode, over the page budget of " +
                             std::to_string(limits.maxMemory >> 20) + " MiB");
    std::vector<uint32_t> raster;
    try {
        raster.resize(static_cast<size_t>(bandW) * bandH);
    } catch (...) {
        return FailIfNoCause("not enough memory for a TIFF band");
    }
    const int64_t stride = CDib::RowBytes(w, bpp);
    if (stride <= 0 || stride > INT32_MAX ||
        !image.CreateWithStride(static_cast<int32_t>(w), static_cast<int32_t>(h), bpp,
                                static_cast<int32_t>(stride)))
        return false;
    // Stores band pixel (bx, by from the band's top) at page (x, y).
    auto store = [&](uint32_t p, uint32_t x, uint32_t y) {
        uint8_t* o = image.Row(y);
        if (bpp == 1) {
            if (TIFFGetR(p) < 128) bitpixels::Set(o, x);
        } else if (bpp == 8) {
            o[x] = static_cast<uint8_t>(TIFFGetR(p));
        } else {
            o[3 * x] = static_cast<uint8_t>(TIFFGetB(p));
            o[3 * x + 1] = static_cast<uint8_t>(TIFFGetG(p));
            o[3 * x + 2] = static_cast<uint8_t>(TIFFGetR(p));
        }
    };
    for (uint32_t row = 0; row < h; row += bandH) {
        const uint32_t rows = std::min(bandH, h - row);
        if (!tiled) {
            if (!TIFFReadRGBAStrip(tif, row, raster.data()))
                return FailIfNoCause("truncated or corrupt TIFF strip");
            // The strip comes bottom row first.
            for (uint32_t i = 0; i < rows; ++i) {
                const uint32_t* s = raster.data() + static_cast<size_t>(rows - 1 - i) * w;
                for (uint32_t x = 0; x < w; ++x) store(s[x], x, row + i);
            }
            continue;
        }
        for (uint32_t col = 0; col < w; col += bandW) {
            if (!TIFFReadRGBATile(tif, col, row, raster.data()))
                return FailIfNoCause("truncated or corrupt TIFF tile");
            // A tile comes as a full tile, bottom row first.
            const uint32_t cols = std::min(bandW, w - col);
            for (uint32_t i = 0; i < rows; ++i) {
                const uint32_t* s = raster.data() + static_cast<size_t>(bandH - 1 - i) * bandW;
                for (uint32_t x = 0; x < cols; ++x) store(s[x], col + x, row + i);
            }
        }
    }
    return true;
}

bool ReadPage(TIFF* tif, TiffMessages& messages, CDib& image, const DecodeLimits& limits) {
    uint32_t w = 0, h = 0;
    uint16_t bps = 1, spp = 1, photometric = 0, planar = PLANARCONFIG_CONTIG;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h))
        return false;
    if (!PageSizeAllowed(w, h, limits)) return false;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    // Every direct path holds the page and one line: at least 1 bit per
    // pixel for bilevel pages, a byte for the rest (checked again by kind).
    if (!PageMemoryAllowed(w, h, bps == 1 ? 1 : 8, limits, "TIFF")) return false;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) photometric = PHOTOMETRIC_MINISWHITE;
    const bool strips = !TIFFIsTiled(tif) && planar == PLANARCONFIG_CONTIG;
    const int32_t W = static_cast<int32_t>(w), H = static_cast<int32_t>(h);
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    bool ok = false;
    if (strips && spp == 1 && bps == 1 &&
        (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK)) {
        // Bilevel: a set bit in the file is ink under min-is-white; under
        // min-is-black the bytes are inverted.
        const int64_t stride = CDib::RowBytes(w, 1);
        if (lineSize <= 0 || lineSize > stride ||
            !image.CreateWithStride(W, H, 1, static_cast<int32_t>(stride)))
            return false;
        const bool invert = photometric == PHOTOMETRIC_MINISBLACK;
        ok = true;
        for (int32_t y = 0; y < H && ok; ++y) {
            uint8_t* row = image.Row(y);
            if (TIFFReadScanline(tif, row, static_cast<uint32_t>(y), 0) < 0) ok = false;
            if (invert)
                for (tmsize_t k = 0; k < lineSize; ++k) row[k] = static_cast<uint8_t>(~row[k]);
            const int tail = W & 7;
            if (tail) row[lineSize - 1] &= static_cast<uint8_t>(0xFF << (8 - tail));
        }
    } else if (strips && spp == 1 && bps == 8 &&
               (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK)) {
        const int64_t stride = CDib::RowBytes(w, 8);
        if (lineSize <= 0 || lineSize > stride ||
            !image.CreateWithStride(W, H, 8, static_cast<int32_t>(stride)))
            return false;
        ok = true;
        for (int32_t y = 0; y < H && ok; ++y) {
            uint8_t* row = image.Row(y);
            if (TIFFReadScanline(tif, row, static_cast<uint32_t>(y), 0) < 0) ok = false;
            if (photometric == PHOTOMETRIC_MINISWHITE)
                for (int32_t x = 0; x < W; ++x) row[x] = static_cast<uint8_t>(255 - row[x]);
        }
    } else if (strips && spp == 1 && photometric == PHOTOMETRIC_PALETTE &&
               (bps == 1 || bps == 2 || bps == 4 || bps == 8)) {
        const std::vector<PaletteEntry> pal = TiffPalette(tif, bps);
        if (pal.empty()) return false;
        const PaletteKind kind = ClassifyPalette(pal);
        if (!PageMemoryAllowed(w, h,
                               kind == PaletteKind::Bilevel ? 1
                               : kind == PaletteKind::Gray  ? 8
                                                            : 24,
                               limits, "TIFF"))
            return false;
        if (lineSize <= 0 || !CreateForPalette(image, W, H, kind)) return false;
        std::vector<uint8_t> line(static_cast<size_t>(lineSize)), idx(static_cast<size_t>(W));
        ok = true;
        const uint32_t mask = (1u << bps) - 1;
        for (int32_t y = 0; y < H && ok; ++y) {
            if (TIFFReadScanline(tif, line.data(), static_cast<uint32_t>(y), 0) < 0) {
                ok = false;
                break;
            }
            for (int32_t x = 0; x < W; ++x) {
                const size_t bit = static_cast<size_t>(x) * bps;
                idx[x] = static_cast<uint8_t>((line[bit >> 3] >> (8 - bps - (bit & 7))) & mask);
            }
            StorePaletteRow(image, y, idx.data(), pal, kind);
        }
    } else if (strips && bps == 8 && photometric == PHOTOMETRIC_RGB && (spp == 3 || spp == 4)) {
        const int64_t stride = CDib::RowBytes(w, 24);
        if (!PageMemoryAllowed(w, h, 24, limits, "TIFF")) return false;
        if (lineSize < static_cast<tmsize_t>(w) * spp ||
            !image.CreateWithStride(W, H, 24, static_cast<int32_t>(stride)))
            return false;
        std::vector<uint8_t> line(static_cast<size_t>(lineSize));
        ok = true;
        for (int32_t y = 0; y < H && ok; ++y) {
            if (TIFFReadScanline(tif, line.data(), static_cast<uint32_t>(y), 0) < 0) {
                ok = false;
                break;
            }
            uint8_t* o = image.Row(y);
            const uint8_t* s = line.data();
            for (int32_t x = 0; x < W; ++x, s += spp) {
                o[3 * x] = s[2];
                o[3 * x + 1] = s[1];
                o[3 * x + 2] = s[0];
            }
        }
    } else {
        ok = ReadThroughRgba(tif, image, w, h, photometric, bps, spp, limits);
    }
    if (ok && messages.corrupt) ok = false;
    if (!ok) {
        image.Free();
        return FailIfNoCause("truncated or corrupt TIFF data");
    }
    image.xResolution = TiffDpi(tif, TIFFTAG_XRESOLUTION);
    image.yResolution = TiffDpi(tif, TIFFTAG_YRESOLUTION);
    KeepTiffDensity(tif, image);
    return true;
}

}  // namespace

bool DecodeTiff(const uint8_t* data, size_t size, CDib& image, const DecodeLimits& limits) {
    return DecodeTiffPage(data, size, 0, image, limits);
}

bool DecodeTiffPage(const uint8_t* data, size_t size, int page, CDib& image, const DecodeLimits& limits) {
    image.Free();
    if (!data || size < 8) return FailIfNoCause("truncated TIFF data: no header");
    if (page < 0) return FailIfNoCause("no such page");
    MemFile mf;
    mf.data = data;
    mf.size = size;
    TiffCloser holder;
    TIFF* tif = OpenMem(mf, "r", holder);
    if (!tif) return false;
    if (page > 0 && !TIFFSetDirectory(tif, static_cast<tdir_t>(page)))
        return FailIfNoCause("page " + std::to_string(page + 1) + " not in the file");
    holder.messages.decoding = true;
    return ReadPage(tif, holder.messages, image, limits);
}

int CountFramesTiff(const uint8_t* data, size_t size) {
    MemFile mf;
    mf.data = data;
    mf.size = size;
    TiffCloser holder;
    TIFF* tif = OpenMem(mf, "r", holder);
    if (!tif) return 0;
    return static_cast<int>(TIFFNumberOfDirectories(tif));
}

bool EncodeTiff(const CDib& image, TiffCompression compression, std::vector<uint8_t>& out) {
    out.clear();
    if (!image.HasPixels()) return false;
    const int bpp = image.bitCount;
    if (bpp != 1 && bpp != 8 && bpp != 24) return false;
    MemFile mf;
    mf.out = &out;
    TiffCloser holder;
    TIFF* tif = OpenMem(mf, "wm", holder);
    if (!tif) return false;
    const uint32_t w = static_cast<uint32_t>(image.width), h = static_cast<uint32_t>(image.height);
    uint16_t comp = COMPRESSION_NONE;
    if (bpp == 1 && compression == TiffCompression::CcittG4) comp = COMPRESSION_CCITTFAX4;
    if (bpp == 1 && compression == TiffCompression::CcittG3) comp = COMPRESSION_CCITTFAX3;
    if (bpp != 1 && compression == TiffCompression::Lzw) comp = COMPRESSION_LZW;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(bpp == 1 ? 1 : 8));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(bpp == 24 ? 3 : 1));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    // Bilevel pages use the fax convention: a set bit is ink.
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                 bpp == 1   ? PHOTOMETRIC_MINISWHITE
                 : bpp == 8 ? PHOTOMETRIC_MINISBLACK
                            : PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, comp);
    TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    if (comp == COMPRESSION_CCITTFAX4 || comp == COMPRESSION_CCITTFAX3) {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h);
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    }
    if (comp == COMPRESSION_LZW) TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_NONE);
    if (image.xResolution > 0 && image.yResolution > 0) {
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(image.xResolution));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(image.yResolution));
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    }
    const size_t lineBytes = bpp == 1 ? (w + 7) / 8 : static_cast<size_t>(w) * (bpp / 8);
    std::vector<uint8_t> line(lineBytes);
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* row = image.Row(y);
        if (bpp == 24) {
            for (uint32_t x = 0; x < w; ++x) {
                line[3 * x] = row[3 * x + 2];
                line[3 * x + 1] = row[3 * x + 1];
                line[3 * x + 2] = row[3 * x];
            }
        } else {
            std::memcpy(line.data(), row, lineBytes);
        }
        if (TIFFWriteScanline(tif, line.data(), y, 0) < 0) {
            out.clear();
            return false;
        }
    }
    if (!TIFFWriteDirectory(tif)) {
        out.clear();
        return false;
    }
    TIFFClose(tif);
    holder.tif = nullptr;
    return !out.empty();
}

}  // namespace imagefile

// GIF through giflib, from and to memory. Reading takes the first image of
// the file, placed on its logical screen (filled with the background
// colour); the colour table follows the shared palette rule. Writing: 1-bit
// as a two-colour table, 8-bit with the gray ramp, 24-bit quantised to 256
// colours.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "image/BitPixels.h"
#include "image/Dib.h"
#include "imagefile/ImageCodecs.h"

namespace imagefile {
namespace {

struct GifSource {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

int GifRead(GifFileType* gif, GifByteType* out, int n) {
    auto* s = static_cast<GifSource*>(gif->UserData);
    if (n <= 0) return 0;
    const size_t k = std::min(static_cast<size_t>(n), s->size - s->pos);
    std::memcpy(out, s->data + s->pos, k);
    s->pos += k;
    return static_cast<int>(k);
}

int GifWrite(GifFileType* gif, const GifByteType* in, int n) {
    auto* v = static_cast<std::vector<uint8_t>*>(gif->UserData);
    v->insert(v->end(), in, in + n);
    return n;
}

struct GifReader {
    GifFileType* gif = nullptr;
    ~GifReader() {
        int err = 0;
        if (gif) DGifCloseFile(gif, &err);
    }
};

bool SkipExtension(GifFileType* gif) {
    int code = 0;
    GifByteType* ext = nullptr;
    if (DGifGetExtension(gif, &code, &ext) != GIF_OK) return false;
    while (ext) {
        if (DGifGetExtensionNext(gif, &ext) != GIF_OK) return false;
    }
    return true;
}

std::vector<PaletteEntry> ToPalette(const ColorMapObject* map) {
    std::vector<PaletteEntry> pal;
    if (!map || !map->Colors) return pal;
    for (int i = 0; i < map->ColorCount && i < 256; ++i)
        pal.push_back(PaletteEntry{map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
    return pal;
}

}  // namespace

bool DecodeGif(const uint8_t* data, size_t size, CDib& image, const DecodeLimits& limits) {
    image.Free();
    if (!data || size < 13) return false;
    GifSource src{data, size, 0};
    GifReader reader;
    int err = 0;
    reader.gif = DGifOpen(&src, GifRead, &err);
    GifFileType* gif = reader.gif;
    if (!gif) return false;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) != GIF_OK) return false;
        if (type == EXTENSION_RECORD_TYPE) {
            if (!SkipExtension(gif)) return false;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) return false;  // terminator before any image
        if (DGifGetImageDesc(gif) != GIF_OK) return false;
        const GifImageDesc& desc = gif->Image;
        const int64_t left = desc.Left, top = desc.Top, fw = desc.Width, fh = desc.Height;
        if (fw <= 0 || fh <= 0 || left < 0 || top < 0) return false;
        if (!PageSizeAllowed(fw, fh, limits)) return false;
        // The page is the logical screen; the parts of the frame that lie
        // outside it are not shown and not kept. A file that declares no
        // screen takes the frame's extent.
        int64_t sw = gif->SWidth, sh = gif->SHeight;
        if (sw <= 0 || sh <= 0) {
            sw = left + fw;
            sh = top + fh;
        }
        if (!PageSizeAllowed(sw, sh, limits)) return false;
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        std::vector<PaletteEntry> pal = ToPalette(map);
        if (pal.empty()) return false;
        const PaletteKind kind = ClassifyPalette(pal);
        const int32_t W = static_cast<int32_t>(sw), H = static_cast<int32_t>(sh);
        // Rows are composed straight into the page: it is all the memory.
        const int64_t eighths = kind == PaletteKind::Bilevel ? 1 : kind == PaletteKind::Gray ? 8 : 24;
        if (!PageMemoryAllowed(sw, sh, eighths, limits, "GIF")) return false;
        if (!CreateForPalette(image, W, H, kind)) return false;
        const uint8_t background =
            (!desc.ColorMap && gif->SBackGroundColor >= 0 && gif->SBackGroundColor < 256)
                ? static_cast<uint8_t>(gif->SBackGroundColor)
                : 0;
        // Rows are composed one at a time straight into the page: the
        // background, then the visible part of the frame's line.
        std::vector<uint8_t> row(static_cast<size_t>(W), background);
        for (int32_t y = 0; y < H; ++y) StorePaletteRow(image, y, row.data(), pal, kind);
        const int64_t visibleWidth = std::max<int64_t>(0, std::min<int64_t>(fw, sw - left));
        std::vector<GifPixelType> line(static_cast<size_t>(fw));
        auto readLine = [&](int64_t y) -> bool {
            if (DGifGetLine(gif, line.data(), static_cast<int>(fw)) != GIF_OK) {
                const char* why = GifErrorString(gif->Error);
                return FailIfNoCause(std::string("truncated or corrupt GIF data: ") +
                                     (why ? why : "bad image data"));
            }
            const int64_t pageY = top + y;
            if (pageY >= sh || visibleWidth == 0) return true;  // decoded, then dropped
            std::fill(row.begin(), row.end(), background);
            std::memcpy(row.data() + left, line.data(), static_cast<size_t>(visibleWidth));
            StorePaletteRow(image, static_cast<int32_t>(pageY), row.data(), pal, kind);
            return true;
        };
        if (desc.Interlace) {
            static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int64_t y = kStart[pass]; y < fh; y += kStep[pass])
                    if (!readLine(y)) {
                        image.Free();
                        return false;
                    }
        } else {
            for (int64_t y = 0; y < fh; ++y)
                if (!readLine(y)) {
                    image.Free();
                    return false;
                }
        }
        image.xResolution = image.yResolution = 0;  // GIF declares no resolution
        return true;
    }
}

int CountFramesGif(const uint8_t* data, size_t size) {
    GifSource src{data, size, 0};
    GifReader reader;
    int err = 0;
    reader.gif = DGifOpen(&src, GifRead, &err);
    GifFileType* gif = reader.gif;
    if (!gif) return 0;
    int frames = 0;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) != GIF_OK) return frames;
        if (type == EXTENSION_RECORD_TYPE) {
            if (!SkipExtension(gif)) return frames;
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) != GIF_OK) return frames;
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetCode(gif, &code, &block) != GIF_OK) return frames;
            while (block)
                if (DGifGetCodeNext(gif, &block) != GIF_OK) return frames;
            ++frames;
        } else {
            return frames;
        }
    }
}

bool EncodeGif(const CDib& image, std::vector<uint8_t>& out) {
    out.clear();
    if (!image.HasPixels()) return false;
    const int bpp = image.bitCount;
    if (bpp != 1 && bpp != 8 && bpp != 24) return false;
    if (image.width > 65535 || image.height > 65535) return false;
    const int W = image.width, H = image.height;
    std::vector<GifPixelType> indices(static_cast<size_t>(W) * H);
    std::vector<GifColorType> colors;
    if (bpp == 1) {
        colors = {GifColorType{255, 255, 255}, GifColorType{0, 0, 0}};  // index 1 = ink
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                indices[static_cast<size_t>(y) * W + x] = bitpixels::Value(image.Row(y), x);
    } else if (bpp == 8) {
        colors.resize(256);
        for (int i = 0; i < 256; ++i)
            colors[i] = GifColorType{static_cast<GifByteType>(i), static_cast<GifByteType>(i),
                                     static_cast<GifByteType>(i)};
        for (int y = 0; y < H; ++y) std::memcpy(indices.data() + static_cast<size_t>(y) * W, image.Row(y), W);
    } else {
        const size_t n = static_cast<size_t>(W) * H;
        std::vector<GifByteType> r(n), g(n), b(n);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const uint8_t* p = image.Row(y) + 3 * x;
                const size_t at = static_cast<size_t>(y) * W + x;
                b[at] = p[0];
                g[at] = p[1];
                r[at] = p[2];
            }
        int mapSize = 256;
        colors.resize(256);
        if (GifQuantizeBuffer(static_cast<unsigned>(W), static_cast<unsigned>(H), &mapSize, r.data(),
                              g.data(), b.data(), indices.data(), colors.data()) != GIF_OK)
            return false;
        // Colour tables hold a power of two entries.
        colors.resize(256);
    }
    int err = 0;
    GifFileType* gif = EGifOpen(&out, GifWrite, &err);
    if (!gif) return false;
    bool ok = false;
    ColorMapObject* map = GifMakeMapObject(static_cast<int>(colors.size()), colors.data());
    if (map) {
        ok = EGifPutScreenDesc(gif, W, H, 8, 0, map) == GIF_OK &&
             EGifPutImageDesc(gif, 0, 0, W, H, false, nullptr) == GIF_OK;
        for (int y = 0; ok && y < H; ++y)
            ok = EGifPutLine(gif, indices.data() + static_cast<size_t>(y) * W, W) == GIF_OK;
        GifFreeMapObject(map);
    }
    if (EGifCloseFile(gif, &err) != GIF_OK) ok = false;
    if (!ok) out.clear();
    return ok;
}

}  // namespace imagefile

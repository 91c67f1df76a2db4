// Windows and OS/2 bitmap files: 1, 4, 8, 16, 24 and 32 bits per pixel,
// RLE4 and RLE8, bit fields, bottom-up and top-down rows, resolution from
// pixels per metre. Writing produces a plain BITMAPINFOHEADER file.
#include <cstring>
#include <string>
#include <vector>

#include "image/BitPixels.h"
#include "image/Dib.h"
#include "imagefile/ImageCodecs.h"

namespace imagefile {
namespace {

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(std::vector<uint8_t>& o, uint32_t v) {
    o.push_back(static_cast<uint8_t>(v));
    o.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& o, uint32_t v) {
    Put16(o, v & 0xFFFF);
    Put16(o, v >> 16);
}

// One colour channel described by a bit mask, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    void Set(uint32_t m) {
        mask = m;
        shift = 0;
        bits = 0;
        if (!m) return;
        while (!((m >> shift) & 1)) ++shift;
        while (shift + bits < 32 && ((m >> (shift + bits)) & 1)) ++bits;
    }
    uint8_t Get(uint32_t v) const {
        if (!mask) return 0;
        const uint32_t x = (v & mask) >> shift;
        if (bits >= 8) return static_cast<uint8_t>(x >> (bits - 8));
        const uint32_t maxv = (1u << bits) - 1;
        return static_cast<uint8_t>((x * 255 + maxv / 2) / maxv);
    }
};

// Decodes RLE4/RLE8 data into a bottom-up index buffer (w bytes per row).
// Pixels the data never reaches keep index 0. Returns false on data that
// runs past its end before the end-of-bitmap code.
bool DecodeRle(const uint8_t* p, size_t n, int bpp, int32_t w, int32_t h, std::vector<uint8_t>& idx) {
    int64_t x = 0, y = 0;
    size_t i = 0;
    auto put = [&](uint8_t v) {
        if (x < w && y < h) idx[static_cast<size_t>(y) * w + static_cast<size_t>(x)] = v;
        ++x;
    };
    while (i + 1 < n) {
        const uint8_t count = p[i], value = p[i + 1];
        i += 2;
        if (count > 0) {
            for (int k = 0; k < count; ++k) {
                if (bpp == 8)
                    put(value);
                else
                    put((k & 1) ? (value & 0x0F) : (value >> 4));
            }
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            return true;
        } else if (value == 2) {  // delta
            if (i + 1 >= n) return false;
            x += p[i];
            y += p[i + 1];
            i += 2;
        } else {  // absolute run, padded to 16 bits
            const size_t bytes = bpp == 8 ? value : (static_cast<size_t>(value) + 1) / 2;
            if (i + bytes > n) return false;
            for (int k = 0; k < value; ++k) {
                if (bpp == 8)
                    put(p[i + k]);
                else
                    put((k & 1) ? (p[i + k / 2] & 0x0F) : (p[i + k / 2] >> 4));
            }
            i += (bytes + 1) & ~static_cast<size_t>(1);
        }
        if (y >= h) return true;
    }
    // Data that stops before the end-of-bitmap code and before the last row
    // is a truncated file: the rows it never reached would read as index 0.
    return y >= h;
}

}  // namespace

bool DecodeBmp(const uint8_t* d, size_t n, CDib& image, const DecodeLimits& limits) {
    image.Free();
    if (!d || n < 26 || d[0] != 'B' || d[1] != 'M') return false;
    const uint32_t offBits = U32(d + 10);
    const uint32_t hsize = U32(d + 14);
    int64_t w = 0, h = 0;
    int bpp = 0;
    uint32_t compression = 0, clrUsed = 0;
    int32_t xppm = 0, yppm = 0;
    size_t palEntrySize = 4;
    uint32_t masks[4] = {0, 0, 0, 0};
    bool haveMasks = false;
    if (hsize == 12) {
        if (n < 14 + 12) return false;
        w = U16(d + 18);
        h = static_cast<int16_t>(U16(d + 20));
        bpp = U16(d + 24);
        palEntrySize = 3;
    } else if (hsize >= 40 && hsize <= 256) {
        if (n < 14 + static_cast<size_t>(hsize)) return false;
        w = static_cast<int32_t>(U32(d + 18));
        h = static_cast<int32_t>(U32(d + 22));
        bpp = U16(d + 28);
        compression = U32(d + 30);
        xppm = static_cast<int32_t>(U32(d + 38));
        yppm = static_cast<int32_t>(U32(d + 42));
        clrUsed = U32(d + 46);
        if (hsize >= 52) {
            masks[0] = U32(d + 54);
            masks[1] = U32(d + 58);
            masks[2] = U32(d + 62);
            haveMasks = true;
        }
        if (hsize >= 56) masks[3] = U32(d + 66);
    } else {
        return false;
    }
    const bool topDown = h < 0;
    if (topDown) h = -h;
    // Run-length data always runs from the bottom row up; a negative height
    // (top-down rows) is not allowed with it.
    if (topDown && (compression == 1 || compression == 2))
        return FailIfNoCause("corrupt BMP data: run-length bitmap with top-down rows");
    // Decoder memory per pixel, in eighths of a byte: the page (1, 8 or 24
    // bits; for palette pages the least the palette may give, checked again
    // once it is read) and, for run-length data, one index byte per pixel.
    const int64_t rleEighths = (compression == 1 || compression == 2) ? 8 : 0;
    if (!PageMemoryAllowed(w, h, (bpp <= 8 ? 1 : 24) + rleEighths, limits, "BMP")) return false;
    size_t palStart = 14 + hsize;
    if ((compression == 3 || compression == 6) && hsize == 40) {
        // Bit masks follow a plain info header.
        const size_t count = compression == 6 ? 4 : 3;
        if (n < palStart + 4 * count) return false;
        for (size_t k = 0; k < count; ++k) masks[k] = U32(d + palStart + 4 * k);
        palStart += 4 * count;
        haveMasks = true;
    }
    if (compression == 1 && bpp != 8) return false;
    if (compression == 2 && bpp != 4) return false;
    if (compression != 0 && compression != 1 && compression != 2 && compression != 3 && compression != 6)
        return false;
    if ((compression == 3 || compression == 6) && bpp != 16 && bpp != 32) return false;
    // Bit fields without a single colour bit would read as an all-black page.
    if ((compression == 3 || compression == 6) && haveMasks && (masks[0] | masks[1] | masks[2]) == 0)
        return FailIfNoCause("corrupt BMP data: the colour bit-field masks are all zero");
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
    if (offBits >= n) return false;
    const uint8_t* pix = d + offBits;
    const size_t pixBytes = n - offBits;
    const int32_t W = static_cast<int32_t>(w), H = static_cast<int32_t>(h);

    if (bpp <= 8) {
        size_t count = clrUsed ? clrUsed : (1u << bpp);
        if (count > (1u << bpp)) count = 1u << bpp;
        std::vector<PaletteEntry> pal;
        for (size_t k = 0; k < count; ++k) {
            const size_t at = palStart + k * palEntrySize;
            if (at + 3 > offBits || at + 3 > n) break;
            pal.push_back(PaletteEntry{d[at + 2], d[at + 1], d[at]});
        }
        if (pal.empty()) return false;
        const PaletteKind kind = ClassifyPalette(pal);
        const int64_t pageEighths = kind == PaletteKind::Bilevel ? 1 : kind == PaletteKind::Gray ? 8 : 24;
        if (!PageMemoryAllowed(w, h, pageEighths + rleEighths, limits, "BMP")) return false;
        if (!CreateForPalette(image, W, H, kind)) return false;
        std::vector<uint8_t> line(static_cast<size_t>(W));
        if (compression == 1 || compression == 2) {
            std::vector<uint8_t> idx(static_cast<size_t>(W) * static_cast<size_t>(H), 0);
            if (!DecodeRle(pix, pixBytes, bpp, W, H, idx)) {
                image.Free();
                return FailIfNoCause(
                    "truncated BMP data: the run-length data ends before the end-of-bitmap code");
            }
            for (int32_t y = 0; y < H; ++y) {
                const int32_t src = topDown ? y : H - 1 - y;
                StorePaletteRow(image, y, idx.data() + static_cast<size_t>(src) * W, pal, kind);
            }
        } else {
            const size_t stride = ((static_cast<size_t>(W) * bpp + 31) / 32) * 4;
            if (stride * static_cast<size_t>(H) > pixBytes) {
                image.Free();
                return FailIfNoCause("truncated BMP data: " + std::to_string(pixBytes) +
                                     " bytes of pixels where " +
                                     std::to_string(stride * static_cast<size_t>(H)) + " are needed");
            }
            for (int32_t y = 0; y < H; ++y) {
                const int32_t src = topDown ? y : H - 1 - y;
                const uint8_t* s = pix + stride * static_cast<size_t>(src);
                for (int32_t x = 0; x < W; ++x) {
                    if (bpp == 8)
                        line[x] = s[x];
                    else if (bpp == 4)
                        line[x] = (x & 1) ? (s[x >> 1] & 0x0F) : (s[x >> 1] >> 4);
                    else
                        line[x] = bitpixels::Value(s, x);
                }
                StorePaletteRow(image, y, line.data(), pal, kind);
            }
        }
    } else {
        Channel r, g, b;
        if (bpp == 16) {
            if (haveMasks && (compression == 3 || compression == 6)) {
                r.Set(masks[0]), g.Set(masks[1]), b.Set(masks[2]);
            } else {
                r.Set(0x7C00), g.Set(0x03E0), b.Set(0x001F);
            }
        } else if (bpp == 32) {
            if (haveMasks && (compression == 3 || compression == 6)) {
                r.Set(masks[0]), g.Set(masks[1]), b.Set(masks[2]);
            } else {
                r.Set(0x00FF0000), g.Set(0x0000FF00), b.Set(0x000000FF);
            }
        }
        const size_t stride = ((static_cast<size_t>(W) * bpp + 31) / 32) * 4;
        if (stride * static_cast<size_t>(H) > pixBytes)
            return FailIfNoCause("truncated BMP data: " + std::to_string(pixBytes) +
                                 " bytes of pixels where " + std::to_string(stride * static_cast<size_t>(H)) +
                                 " are needed");
        const int64_t outStride = CDib::RowBytes(W, 24);
        if (outStride <= 0 || outStride > INT32_MAX ||
            !image.CreateWithStride(W, H, 24, static_cast<int32_t>(outStride)))
            return false;
        for (int32_t y = 0; y < H; ++y) {
            const int32_t src = topDown ? y : H - 1 - y;
            const uint8_t* s = pix + stride * static_cast<size_t>(src);
            uint8_t* o = image.Row(y);
            if (bpp == 24) {
                std::memcpy(o, s, static_cast<size_t>(W) * 3);
                continue;
            }
            for (int32_t x = 0; x < W; ++x) {
                const uint32_t v = bpp == 16 ? U16(s + 2 * x) : U32(s + 4 * x);
                o[3 * x] = b.Get(v);
                o[3 * x + 1] = g.Get(v);
                o[3 * x + 2] = r.Get(v);
            }
        }
    }
    image.xResolution = DpiFromPerMetre(xppm);
    image.yResolution = DpiFromPerMetre(yppm);
    KeepStatedDensity(image, xppm, yppm, CDib::kDensityPerMetre);
    return true;
}

bool EncodeBmp(const CDib& image, std::vector<uint8_t>& out) {
    out.clear();
    if (!image.HasPixels()) return false;
    const int bpp = image.bitCount;
    if (bpp != 1 && bpp != 8 && bpp != 24) return false;
    const uint32_t paletteCount = bpp == 1 ? 2 : bpp == 8 ? 256 : 0;
    const size_t stride = ((static_cast<size_t>(image.width) * bpp + 31) / 32) * 4;
    const size_t offBits = 14 + 40 + 4 * paletteCount;
    const size_t total = offBits + stride * static_cast<size_t>(image.height);
    if (total > 0xFFFFFFFFu) return false;
    out.reserve(total);
    out.push_back('B');
    out.push_back('M');
    Put32(out, static_cast<uint32_t>(total));
    Put32(out, 0);
    Put32(out, static_cast<uint32_t>(offBits));
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(image.width));
    Put32(out, static_cast<uint32_t>(image.height));  // positive: bottom-up rows
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(bpp));
    Put32(out, 0);
    Put32(out, static_cast<uint32_t>(stride * static_cast<size_t>(image.height)));
    Put32(out, static_cast<uint32_t>(PerMetreFromDpi(image.xResolution)));
    Put32(out, static_cast<uint32_t>(PerMetreFromDpi(image.yResolution)));
    Put32(out, paletteCount);
    Put32(out, 0);
    // 1-bit files carry the usual palette (0 black, 1 white), so ink is a
    // clear bit in the file; 8-bit files carry the gray ramp.
    for (uint32_t i = 0; i < paletteCount; ++i) {
        const uint8_t v = bpp == 1 ? static_cast<uint8_t>(i ? 255 : 0) : static_cast<uint8_t>(i);
        out.push_back(v);
        out.push_back(v);
        out.push_back(v);
        out.push_back(0);
    }
    const size_t used =
        bpp == 1 ? (static_cast<size_t>(image.width) + 7) / 8 : static_cast<size_t>(image.width) * (bpp / 8);
    for (int32_t y = image.height - 1; y >= 0; --y) {
        const uint8_t* row = image.Row(y);
        const size_t start = out.size();
        out.insert(out.end(), row, row + used);
        out.resize(start + stride, 0);
        if (bpp == 1) {
            for (size_t k = start; k < start + used; ++k) out[k] = static_cast<uint8_t>(~out[k]);
            // Keep the bits past the last pixel clear.
            const int tail = image.width & 7;
            if (tail) out[start + used - 1] &= static_cast<uint8_t>(0xFF << (8 - tail));
        }
    }
    return true;
}

}  // namespace imagefile

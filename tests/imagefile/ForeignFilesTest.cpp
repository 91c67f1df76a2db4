// Files as other programs write them, built here byte by byte or through the
// codec libraries directly: bilevel ink under either convention, palettes,
// BMP variants, TIFF layouts and units, JPEG density units and colour
// spaces, multi-frame GIF and TIFF.
#include <gtest/gtest.h>

#include <gif_lib.h>
#include <tiffio.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "ImageFileTestUtil.h"
#include "image/Dib.h"
#include "imagefile/DibReaderWriter.h"
#include "imagefile/ImageFile.h"

using namespace imagefile_test;

namespace {

// ---------------------------------------------------------------- BMP builder

void Put16(std::vector<uint8_t>& o, uint32_t v) {
    o.push_back(v & 0xFF);
    o.push_back((v >> 8) & 0xFF);
}
void Put32(std::vector<uint8_t>& o, uint32_t v) {
    Put16(o, v & 0xFFFF);
    Put16(o, v >> 16);
}

struct BmpSpec {
    int width = 0, height = 0;  // height < 0: top-down
    int bpp = 8;
    uint32_t compression = 0;
    std::vector<uint32_t> palette;  // 0x00RRGGBB
    std::vector<uint32_t> masks;    // written after a 40-byte header
    std::vector<uint8_t> pixels;    // as stored in the file
    int ppm = 11811;
};

std::vector<uint8_t> BuildBmp(const BmpSpec& s) {
    std::vector<uint8_t> o;
    const uint32_t off = 14 + 40 + 4 * static_cast<uint32_t>(s.masks.size() + s.palette.size());
    o.push_back('B');
    o.push_back('M');
    Put32(o, off + static_cast<uint32_t>(s.pixels.size()));
    Put32(o, 0);
    Put32(o, off);
    Put32(o, 40);
    Put32(o, static_cast<uint32_t>(s.width));
    Put32(o, static_cast<uint32_t>(s.height));
    Put16(o, 1);
    Put16(o, static_cast<uint32_t>(s.bpp));
    Put32(o, s.compression);
    Put32(o, static_cast<uint32_t>(s.pixels.size()));
    Put32(o, static_cast<uint32_t>(s.ppm));
    Put32(o, static_cast<uint32_t>(s.ppm));
    Put32(o, static_cast<uint32_t>(s.palette.size()));
    Put32(o, 0);
    for (uint32_t m : s.masks) Put32(o, m);
    for (uint32_t c : s.palette) Put32(o, c);
    o.insert(o.end(), s.pixels.begin(), s.pixels.end());
    return o;
}

bool LoadBytes(CRawImage& img, const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = TempPath(name);
    if (!WriteBytes(path, bytes)) return false;
    return imagefile::LoadImageFile(img, U16(path));
}

// ---------------------------------------------------------------- bilevel ink

TEST(BilevelInk, BmpPaletteDecidesWhichBitIsInk) {
    // 8x2 page: top row ink in the left half, bottom row all paper.
    for (bool zeroIsBlack : {true, false}) {
        BmpSpec s;
        s.width = 8;
        s.height = 2;
        s.bpp = 1;
        s.palette = zeroIsBlack ? std::vector<uint32_t>{0x000000, 0xFFFFFF}
                                : std::vector<uint32_t>{0xFFFFFF, 0x000000};
        const uint8_t ink = zeroIsBlack ? 0x0F : 0xF0;  // left four pixels black
        const uint8_t paper = zeroIsBlack ? 0xFF : 0x00;
        s.pixels = {paper, 0, 0, 0, ink, 0, 0, 0};  // bottom-up: bottom row first
        CRawImage img;
        ASSERT_TRUE(LoadBytes(img, zeroIsBlack ? "ink0.bmp" : "ink1.bmp", BuildBmp(s)));
        ASSERT_EQ(img.bitCount, 1);
        EXPECT_EQ(img.Row(0)[0], 0xF0) << zeroIsBlack;
        EXPECT_EQ(img.Row(1)[0], 0x00) << zeroIsBlack;
    }
}

void WriteBilevelTiff(const std::string& path, uint16_t photometric, uint16_t compression, bool withPalette) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 16u);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 2u);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 2u);
    uint16_t red[2] = {65535, 0}, green[2] = {65535, 0}, blue[2] = {65535, 0};  // 0 white, 1 black
    if (withPalette) TIFFSetField(tif, TIFFTAG_COLORMAP, red, green, blue);
    // Ink (left 4 pixels of row 0) in the file's own convention.
    const bool setIsInk = photometric == PHOTOMETRIC_MINISWHITE || withPalette;
    uint8_t row0[2] = {static_cast<uint8_t>(setIsInk ? 0xF0 : 0x0F),
                       static_cast<uint8_t>(setIsInk ? 0x00 : 0xFF)};
    uint8_t row1[2] = {static_cast<uint8_t>(setIsInk ? 0x00 : 0xFF),
                       static_cast<uint8_t>(setIsInk ? 0x00 : 0xFF)};
    TIFFWriteScanline(tif, row0, 0, 0);
    TIFFWriteScanline(tif, row1, 1, 0);
    TIFFClose(tif);
}

TEST(BilevelInk, TiffPhotometricDecidesWhichBitIsInk) {
    struct Case {
        const char* name;
        uint16_t photometric, compression;
        bool palette;
    } cases[] = {
        {"miniswhite.tif", PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE, false},
        {"minisblack.tif", PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, false},
        {"miniswhite_g4.tif", PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4, false},
        {"minisblack_g4.tif", PHOTOMETRIC_MINISBLACK, COMPRESSION_CCITTFAX4, false},
        {"minisblack_g3.tif", PHOTOMETRIC_MINISBLACK, COMPRESSION_CCITTFAX3, false},
        {"minisblack_lzw.tif", PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW, false},
        {"palette.tif", PHOTOMETRIC_PALETTE, COMPRESSION_NONE, true},
    };
    for (const auto& c : cases) {
        const std::string path = TempPath(c.name);
        WriteBilevelTiff(path, c.photometric, c.compression, c.palette);
        CRawImage img;
        ASSERT_TRUE(imagefile::LoadImageFile(img, U16(path))) << c.name;
        ASSERT_EQ(img.bitCount, 1) << c.name;
        EXPECT_EQ(img.Row(0)[0], 0xF0) << c.name;
        EXPECT_EQ(img.Row(0)[1], 0x00) << c.name;
        EXPECT_EQ(img.Row(1)[0], 0x00) << c.name;
    }
}

// ---------------------------------------------------------------- palettes

TEST(Palette, ColourPalettesExpandGrayRampsStay) {
    struct Case {
        const char* name;
        std::vector<uint32_t> palette;
        int bitCount;
    } cases[] = {
        {"ramp.bmp", {}, 8},     // filled below with the gray ramp
        {"colour.bmp", {}, 24},  // a colour palette
        {"grays.bmp", {}, 8},    // gray entries out of order: still gray
    };
    cases[0].palette.resize(256);
    cases[1].palette.resize(256);
    cases[2].palette.resize(256);
    for (uint32_t i = 0; i < 256; ++i) {
        cases[0].palette[i] = i * 0x010101;
        cases[1].palette[i] = (i << 16) | ((255 - i) << 8) | (i / 2);
        cases[2].palette[i] = (255 - i) * 0x010101;
    }
    for (const auto& c : cases) {
        BmpSpec s;
        s.width = 4;
        s.height = 1;
        s.bpp = 8;
        s.palette = c.palette;
        s.pixels = {0, 10, 200, 255};
        CRawImage img;
        ASSERT_TRUE(LoadBytes(img, c.name, BuildBmp(s))) << c.name;
        ASSERT_EQ(img.bitCount, c.bitCount) << c.name;
        for (int x = 0; x < 4; ++x) {
            const uint32_t e = c.palette[s.pixels[x]];
            if (c.bitCount == 8) {
                EXPECT_EQ(img.Row(0)[x], e & 0xFF) << c.name << " " << x;
            } else {
                EXPECT_EQ(img.Row(0)[3 * x], e & 0xFF) << c.name;
                EXPECT_EQ(img.Row(0)[3 * x + 1], (e >> 8) & 0xFF) << c.name;
                EXPECT_EQ(img.Row(0)[3 * x + 2], (e >> 16) & 0xFF) << c.name;
            }
        }
    }
}

TEST(Palette, TiffColourPaletteExpands) {
    const std::string path = TempPath("palette8.tif");
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 3u);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1u);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
    std::vector<uint16_t> r(256, 0), g(256, 0), b(256, 0);
    r[1] = 65535;  // 1 red
    g[2] = 65535;  // 2 green
    b[3] = 65535;  // 3 blue
    TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
    uint8_t row[3] = {1, 2, 3};
    TIFFWriteScanline(tif, row, 0, 0);
    TIFFClose(tif);
    CRawImage img;
    ASSERT_TRUE(imagefile::LoadImageFile(img, U16(path)));
    ASSERT_EQ(img.bitCount, 24);
    const uint8_t expected[9] = {0, 0, 255, 0, 255, 0, 255, 0, 0};
    EXPECT_EQ(std::memcmp(img.Row(0), expected, 9), 0);
}

// ---------------------------------------------------------------- BMP variants

TEST(BmpVariants, DecodeToTheSamePixels) {
    // Reference: a 4x2 page, top row (red, green, blue, white), bottom row black.
    const uint32_t top[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    auto check = [&](const CRawImage& img, const char* name) {
        ASSERT_EQ(img.width, 4) << name;
        ASSERT_EQ(img.height, 2) << name;
        ASSERT_EQ(img.bitCount, 24) << name;
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(img.Row(0)[3 * x + 2], (top[x] >> 16) & 0xFF) << name << " " << x;
            EXPECT_EQ(img.Row(0)[3 * x + 1], (top[x] >> 8) & 0xFF) << name << " " << x;
            EXPECT_EQ(img.Row(0)[3 * x], top[x] & 0xFF) << name << " " << x;
            EXPECT_EQ(img.Row(1)[3 * x], 0) << name;
        }
    };
    const std::vector<uint32_t> pal = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    std::vector<std::pair<const char*, BmpSpec>> layouts;
    {
        BmpSpec s;  // 24-bit bottom-up
        s.width = 4, s.height = 2, s.bpp = 24;
        s.pixels.assign(12, 0);
        for (uint32_t c : top)
            s.pixels.insert(s.pixels.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
        layouts.push_back({"v24.bmp", s});
        BmpSpec t = s;  // 24-bit top-down
        t.height = -2;
        t.pixels.clear();
        for (uint32_t c : top)
            t.pixels.insert(t.pixels.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
        t.pixels.insert(t.pixels.end(), 12, 0);
        layouts.push_back({"v24top.bmp", t});
    }
    {
        BmpSpec s;  // 32-bit plain
        s.width = 4, s.height = 2, s.bpp = 32;
        s.pixels.assign(16, 0);
        for (uint32_t c : top)
            s.pixels.insert(s.pixels.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
        layouts.push_back({"v32.bmp", s});
        BmpSpec b = s;  // 32-bit bit fields in RGBA byte order
        b.compression = 3;
        b.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
        b.pixels.assign(16, 0);
        for (uint32_t c : top)
            b.pixels.insert(b.pixels.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255});
        layouts.push_back({"v32fields.bmp", b});
    }
    {
        BmpSpec s;  // 16-bit 5-6-5 bit fields
        s.width = 4, s.height = 2, s.bpp = 16, s.compression = 3;
        s.masks = {0xF800, 0x07E0, 0x001F};
        s.pixels.assign(8, 0);
        for (uint32_t c : top) {
            const uint16_t v = static_cast<uint16_t>((((c >> 16) & 0xFF) >> 3) << 11 |
                                                     (((c >> 8) & 0xFF) >> 2) << 5 | ((c & 0xFF) >> 3));
            s.pixels.insert(s.pixels.end(), {uint8_t(v), uint8_t(v >> 8)});
        }
        layouts.push_back({"v16.bmp", s});
        BmpSpec d = s;  // 16-bit default 5-5-5
        d.compression = 0;
        d.masks.clear();
        d.pixels.assign(8, 0);
        for (uint32_t c : top) {
            const uint16_t v = static_cast<uint16_t>((((c >> 16) & 0xFF) >> 3) << 10 |
                                                     (((c >> 8) & 0xFF) >> 3) << 5 | ((c & 0xFF) >> 3));
            d.pixels.insert(d.pixels.end(), {uint8_t(v), uint8_t(v >> 8)});
        }
        layouts.push_back({"v555.bmp", d});
    }
    {
        BmpSpec s;  // 4-bit palette
        s.width = 4, s.height = 2, s.bpp = 4, s.palette = pal;
        s.pixels = {0x00, 0x00, 0, 0, 0x12, 0x34, 0, 0};
        layouts.push_back({"v4.bmp", s});
        BmpSpec r = s;  // RLE4: bottom row 4 x index 0, top row absolute 1 2 3 4
        r.compression = 2;
        r.pixels = {4, 0x00, 0, 0, 0, 4, 0x12, 0x34, 0, 1};
        layouts.push_back({"rle4.bmp", r});
        BmpSpec e;  // 8-bit palette and RLE8 in encoded runs (the delta has its own test)
        e.width = 4, e.height = 2, e.bpp = 8, e.palette = pal, e.compression = 1;
        // Bottom row: a run of 4 x index 0, end of line; top row: runs of one
        // pixel of 1, 2, 3 and 4; end of bitmap.
        e.pixels = {4, 0, 0, 0, 1, 1, 1, 2, 1, 3, 1, 4, 0, 1};
        layouts.push_back({"rle8.bmp", e});
    }
    for (auto& [name, layout] : layouts) {
        CRawImage img;
        ASSERT_TRUE(LoadBytes(img, name, BuildBmp(layout))) << name;
        check(img, name);
        EXPECT_EQ(img.xResolution, 300) << name;
    }
}

TEST(BmpVariants, NarrowChannelsScaleToTheNearestByte) {
    // One row of 64 pixels in 5-6-5 bit fields: red x % 32, green x, blue
    // 31 - x % 32. Each level v of an n-bit channel must read as the byte
    // nearest to v * 255 / (2^n - 1), so full scale is 255 and mid levels
    // round rather than truncate.
    BmpSpec s;
    s.width = 64, s.height = 1, s.bpp = 16, s.compression = 3;
    s.masks = {0xF800, 0x07E0, 0x001F};
    for (int x = 0; x < 64; ++x) {
        const uint16_t v = static_cast<uint16_t>((x % 32) << 11 | x << 5 | (31 - x % 32));
        s.pixels.insert(s.pixels.end(), {uint8_t(v), uint8_t(v >> 8)});
    }
    CRawImage img;
    ASSERT_TRUE(LoadBytes(img, "levels565.bmp", BuildBmp(s)));
    ASSERT_EQ(img.bitCount, 24);
    auto nearest = [](int v, int levels) { return static_cast<int>(std::lround(v * 255.0 / levels)); };
    for (int x = 0; x < 64; ++x) {
        EXPECT_EQ(img.Row(0)[3 * x + 2], nearest(x % 32, 31)) << "red level " << x % 32;
        EXPECT_EQ(img.Row(0)[3 * x + 1], nearest(x, 63)) << "green level " << x;
        EXPECT_EQ(img.Row(0)[3 * x], nearest(31 - x % 32, 31)) << "blue level " << 31 - x % 32;
    }
}

TEST(BmpVariants, RleDeltaLeavesSkippedPixelsAtIndexZero) {
    BmpSpec s;
    s.width = 4, s.height = 1, s.bpp = 8, s.compression = 1;
    s.palette = {0x000000, 0xFFFFFF};
    s.pixels = {1, 1, 0, 2, 2, 0, 1, 1, 0, 1};  // pixel 0 white, delta 2 right, pixel 3 white
    CRawImage img;
    ASSERT_TRUE(LoadBytes(img, "delta.bmp", BuildBmp(s)));
    ASSERT_EQ(img.bitCount, 1);      // a black and white palette gives a bilevel page
    EXPECT_EQ(img.Row(0)[0], 0x60);  // pixels 1 and 2 are ink
}

TEST(BmpVariants, MalformedHeadersAreRefused) {
    BmpSpec good;
    good.width = 4, good.height = 2, good.bpp = 24;
    good.pixels.assign(24, 0x80);
    const auto base = BuildBmp(good);
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> damage;
    } cases[] = {
        {"truncated pixels", [](std::vector<uint8_t>& b) { b.resize(b.size() - 5); }},
        {"header only", [](std::vector<uint8_t>& b) { b.resize(30); }},
        {"zero width", [](std::vector<uint8_t>& b) { std::memset(&b[18], 0, 4); }},
        {"width above 65535",
         [](std::vector<uint8_t>& b) { b[18] = 0x70, b[19] = 0x11, b[20] = 0x01, b[21] = 0; }},
        {"huge height", [](std::vector<uint8_t>& b) { b[22] = 0xFF, b[23] = 0xFF, b[24] = 0x00, b[25] = 0; }},
        {"bit count 7", [](std::vector<uint8_t>& b) { b[28] = 7; }},
        {"unknown compression", [](std::vector<uint8_t>& b) { b[30] = 9; }},
        {"pixel offset past end", [](std::vector<uint8_t>& b) { b[10] = 0xFF, b[11] = 0xFF; }},
        {"header size 13", [](std::vector<uint8_t>& b) { b[14] = 13; }},
    };
    for (const auto& c : cases) {
        auto bytes = base;
        c.damage(bytes);
        CRawImage img;
        EXPECT_FALSE(LoadBytes(img, "bad.bmp", bytes)) << c.name;
        EXPECT_FALSE(img.HasPixels()) << c.name;
    }
}

// ---------------------------------------------------------------- TIFF layouts

TEST(TiffLayouts, ResolutionUnitsAndFirstPage) {
    const std::string path = TempPath("twopages_cm.tif");
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    for (int page = 0; page < 2; ++page) {
        const uint32_t w = page == 0 ? 10 : 20;
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 3u);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, 118.11f);  // dots per centimetre = 300 dpi
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, 78.74f);   // 200 dpi
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
        std::vector<uint8_t> row(w, static_cast<uint8_t>(page == 0 ? 11 : 99));
        for (uint32_t y = 0; y < 3; ++y) TIFFWriteScanline(tif, row.data(), y, 0);
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    CRawImage img;
    ASSERT_TRUE(imagefile::LoadImageFile(img, U16(path)));
    EXPECT_EQ(img.width, 10);
    EXPECT_EQ(img.Row(2)[9], 11);
    EXPECT_EQ(img.xResolution, 300);
    EXPECT_EQ(img.yResolution, 200);
    EXPECT_EQ(CDibRWOri().GetFrameCount(U16(path)), 2);
}

TEST(TiffLayouts, TiledPlanarAndSixteenBitGoThroughTheGeneralReader) {
    struct Case {
        const char* name;
        bool tiled;
        uint16_t planar, bps, spp, photometric;
        int bitCount;
    } cases[] = {
        {"tiled_gray.tif", true, PLANARCONFIG_CONTIG, 8, 1, PHOTOMETRIC_MINISBLACK, 8},
        {"planar_rgb.tif", false, PLANARCONFIG_SEPARATE, 8, 3, PHOTOMETRIC_RGB, 24},
        {"gray16.tif", false, PLANARCONFIG_CONTIG, 16, 1, PHOTOMETRIC_MINISBLACK, 8},
        {"rgb16.tif", false, PLANARCONFIG_CONTIG, 16, 3, PHOTOMETRIC_RGB, 24},
    };
    const uint32_t w = 32, h = 32;
    for (const auto& c : cases) {
        const std::string path = TempPath(c.name);
        TIFF* tif = TIFFOpen(path.c_str(), "w");
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, c.bps);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, c.spp);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, c.planar);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, c.photometric);
        // Sample value: 0x8000 (16-bit) or 0x80 (8-bit) everywhere, the
        // first sample of pixel (5, 7) set to the maximum.
        const size_t bytes = c.bps / 8;
        if (c.tiled) {
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16u);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, 16u);
            std::vector<uint8_t> tile(16 * 16 * bytes, 0x80);
            for (uint32_t ty = 0; ty < h; ty += 16)
                for (uint32_t tx = 0; tx < w; tx += 16) {
                    std::fill(tile.begin(), tile.end(), 0x80);
                    if (tx == 0 && ty == 0) tile[7 * 16 + 5] = 0xFF;
                    TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0);
                }
        } else if (c.planar == PLANARCONFIG_SEPARATE) {
            for (uint16_t s = 0; s < c.spp; ++s)
                for (uint32_t y = 0; y < h; ++y) {
                    std::vector<uint8_t> row(w, 0x80);
                    if (y == 7 && s == 0) row[5] = 0xFF;
                    TIFFWriteScanline(tif, row.data(), y, s);
                }
        } else {
            for (uint32_t y = 0; y < h; ++y) {
                std::vector<uint16_t> row(w * c.spp, 0x8000);
                if (y == 7) row[5 * c.spp] = 0xFFFF;
                TIFFWriteScanline(tif, row.data(), y, 0);
            }
        }
        TIFFClose(tif);
        CRawImage img;
        ASSERT_TRUE(imagefile::LoadImageFile(img, U16(path))) << c.name;
        ASSERT_EQ(img.bitCount, c.bitCount) << c.name;
        const int first = c.bitCount == 8 ? 0 : 2;  // red is the third byte
        const int n = c.bitCount / 8;
        EXPECT_EQ(img.Row(7)[5 * n + first], 0xFF) << c.name;
        EXPECT_EQ(img.Row(8)[5 * n + first], 0x80) << c.name;
        EXPECT_EQ(img.Row(20)[20 * n], 0x80) << c.name;
    }
}

TEST(TiffLayouts, OversizedAndDamagedFilesAreRefused) {
    CRawImage page;
    MakePage(page, 64, 48, 1);
    const std::string g4 = TempPath("damage_g4.tif");
    ASSERT_TRUE(imagefile::SaveImageFile(page, U16(g4), MakeSaveOption(1, 3)));
    const auto bytes = ReadBytes(g4);
    for (size_t keep : {size_t(8), size_t(16), bytes.size() / 2}) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(keep));
        CRawImage img;
        EXPECT_FALSE(LoadBytes(img, "cut.tif", cut)) << keep;
    }
    // Losing the tail of the directory may cost a tag, never the pixels.
    for (size_t lost = 1; lost < 40; lost += 3) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.end() - static_cast<long>(lost));
        CRawImage img;
        if (LoadBytes(img, "tail.tif", cut)) {
            EXPECT_EQ(MaxDifference(img, page), 0) << lost;
        }
    }
    const std::string wide = TempPath("wide.tif");
    TIFF* tif = TIFFOpen(wide.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 70000u);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1u);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    std::vector<uint8_t> row(70000 / 8, 0);
    TIFFWriteScanline(tif, row.data(), 0, 0);
    TIFFClose(tif);
    CRawImage img;
    EXPECT_FALSE(imagefile::LoadImageFile(img, U16(wide)));
}

// ---------------------------------------------------------------- JPEG

struct JpegSpec {
    int components = 3;
    J_COLOR_SPACE space = JCS_RGB;
    UINT8 unit = 1;
    UINT16 xDensity = 300, yDensity = 300;
    bool adobe = false;
};

std::vector<uint8_t> BuildJpeg(const JpegSpec& s, int w = 16, int h = 16) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buf, &size);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = s.components;
    cinfo.in_color_space = s.space;
    jpeg_set_defaults(&cinfo);
    if (s.space == JCS_CMYK) jpeg_set_colorspace(&cinfo, JCS_CMYK);
    cinfo.write_Adobe_marker = s.adobe ? TRUE : FALSE;
    cinfo.write_JFIF_header = TRUE;
    cinfo.density_unit = s.unit;
    cinfo.X_density = s.xDensity;
    cinfo.Y_density = s.yDensity;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(w) * s.components, 0);
    for (int x = 0; x < w; ++x)
        for (int k = 0; k < s.components; ++k)
            row[x * s.components + k] = static_cast<uint8_t>(k == 0 ? 255 : 0);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(buf, buf + size);
    jpeg_destroy_compress(&cinfo);
    free(buf);
    return out;
}

TEST(JpegFiles, DensityUnitsWhateverTheSuffix) {
    struct Case {
        const char* suffix;
        UINT8 unit;
        UINT16 density;
        int expected;  // after the plausibility rule of Load
    } cases[] = {
        {"jpg", 1, 200, 200},   {"jpeg", 1, 200, 200},
        {"jpg", 2, 118, 300},  // the format is known by its bytes: 118 dots per cm = 300 dpi
        {"jpeg", 2, 118, 300},  {"jfif", 2, 79, 201},
        {"jpg", 0, 1, 300},     // aspect ratio only: 1 -> implausible -> 300
        {"jpeg", 0, 100, 300},  // aspect ratio only: no resolution
        {"JPG", 1, 1200, 1200}, {"jpg", 1, 1201, 300},
    };
    for (const auto& c : cases) {
        JpegSpec s;
        s.unit = c.unit;
        s.xDensity = s.yDensity = c.density;
        CRawImage img;
        ASSERT_TRUE(LoadBytes(img, std::string("density.") + c.suffix, BuildJpeg(s))) << c.suffix;
        EXPECT_EQ(img.xResolution, c.expected) << c.suffix << " unit " << int(c.unit) << " " << c.density;
        EXPECT_EQ(img.bitCount, 24);
    }
}

TEST(JpegFiles, CmykReadAlikeWhateverTheSuffix) {
    JpegSpec s;
    s.components = 4;
    s.space = JCS_CMYK;
    s.adobe = true;
    const auto bytes = BuildJpeg(s);
    for (const char* name : {"cmyk.jpg", "cmyk.jpeg", "cmyk.png", "cmyk"}) {
        CRawImage page;
        ASSERT_TRUE(LoadBytes(page, name, bytes)) << name;
        EXPECT_EQ(page.bitCount, 24) << name;
    }
}

TEST(JpegFiles, TruncatedAndOversizedAreRefused) {
    JpegSpec s;
    const auto bytes = BuildJpeg(s, 64, 64);
    for (size_t keep : {size_t(3), size_t(100), bytes.size() / 2, bytes.size() - 2}) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(keep));
        for (const char* suffix : {"jpg", "jpeg"}) {
            CRawImage img;
            EXPECT_FALSE(LoadBytes(img, std::string("cut.") + suffix, cut)) << keep << " " << suffix;
        }
    }
    // A header claiming 65000 x 65000 pixels is refused before decoding.
    auto big = bytes;
    for (size_t i = 2; i + 9 < big.size(); ++i)
        if (big[i] == 0xFF && big[i + 1] == 0xC0) {
            big[i + 5] = 0xFD, big[i + 6] = 0xE8, big[i + 7] = 0xFD, big[i + 8] = 0xE8;
            break;
        }
    CRawImage img;
    EXPECT_FALSE(LoadBytes(img, "big.jpg", big));
}

// ---------------------------------------------------------------- GIF

int GifOut(GifFileType* gif, const GifByteType* data, int n) {
    auto* v = static_cast<std::vector<uint8_t>*>(gif->UserData);
    v->insert(v->end(), data, data + n);
    return n;
}

std::vector<uint8_t> BuildTwoFrameGif(bool interlace) {
    std::vector<uint8_t> out;
    int err = 0;
    GifFileType* gif = EGifOpen(&out, GifOut, &err);
    GifColorType colors[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    ColorMapObject* map = GifMakeMapObject(4, colors);
    EGifPutScreenDesc(gif, 8, 10, 8, 0, map);
    for (int frame = 0; frame < 2; ++frame) {
        // frame 0: row y has index y % 4 (interlaced when asked); frame 1: all blue
        EGifPutImageDesc(gif, 0, 0, 8, 10, interlace && frame == 0, nullptr);
        std::vector<int> order;
        if (interlace && frame == 0) {
            for (int start : {0, 4, 2, 1})
                for (int y = start; y < 10; y += (start == 0 || start == 4) ? 8 : start == 2 ? 4 : 2)
                    order.push_back(y);
        } else {
            for (int y = 0; y < 10; ++y) order.push_back(y);
        }
        for (int y : order) {
            std::vector<GifPixelType> line(8, static_cast<GifPixelType>(frame == 0 ? y % 4 : 3));
            EGifPutLine(gif, line.data(), 8);
        }
    }
    GifFreeMapObject(map);
    EGifCloseFile(gif, &err);
    return out;
}

TEST(GifFiles, FirstFrameInterlacedOrNot) {
    for (bool interlace : {false, true}) {
        const auto bytes = BuildTwoFrameGif(interlace);
        CRawImage img;
        const std::string name = interlace ? "frames_i.gif" : "frames.gif";
        ASSERT_TRUE(LoadBytes(img, name, bytes)) << interlace;
        ASSERT_EQ(img.bitCount, 24);
        ASSERT_EQ(img.height, 10);
        const uint8_t expected[4][3] = {
            {0, 0, 0}, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}};  // blue, green, red
        for (int y = 0; y < 10; ++y)
            EXPECT_EQ(std::memcmp(img.Row(y) + 3 * 4, expected[y % 4], 3), 0) << interlace << " row " << y;
        EXPECT_EQ(CDibRWOri().GetFrameCount(U16(TempPath(name))), 2);
        for (size_t keep : {size_t(6), size_t(20), bytes.size() / 3}) {
            std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(keep));
            CRawImage bad;
            EXPECT_FALSE(LoadBytes(bad, "cut.gif", cut)) << keep;
        }
    }
}

// ---------------------------------------------------------------- unused slots

TEST(ReaderWriterSlots, BehaveAsDescribed) {
    CRawImage page;
    MakePage(page, 100, 50, 24, 240);
    const std::string path = TempPath("slots.png");
    ASSERT_TRUE(imagefile::SaveImageFile(page, U16(path), 0));
    CDibRWOri rw;
    int32_t w = 0, h = 0, bpp = 0, xr = 0, yr = 0;
    EXPECT_EQ(rw.GetInfo(U16(path), w, h, bpp, xr, yr), 1);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 50);
    EXPECT_EQ(bpp, 24);
    EXPECT_EQ(xr, 240);
    EXPECT_EQ(rw.GetInfo(U16(TempPath("absent.png")), w, h, bpp, xr, yr), 0);
    EXPECT_EQ(rw.Probe(U16(path)), 1);
    EXPECT_EQ(rw.GetFrameCount(U16(path)), 1);
    EXPECT_EQ(rw.GetFrameCount(U16(TempPath("absent.png"))), 0);
    CRawImage thumb;
    thumb.xResolution = thumb.yResolution = 123;
    EXPECT_EQ(rw.LoadThumbnail(thumb, U16(path), 40, 40), 1);
    EXPECT_EQ(thumb.width, 40);
    EXPECT_EQ(thumb.height, 20);
    EXPECT_EQ(thumb.xResolution, 123);  // a thumbnail sets no resolution
    EXPECT_EQ(rw.LoadThumbnail(thumb, U16(path), 10, 40), 1);
    EXPECT_EQ(thumb.width, 10);
    EXPECT_EQ(thumb.height, 5);
    EXPECT_EQ(rw.FromBitmapHandle(thumb, nullptr, nullptr), 0);
    CDibRWCodecs codecs;
    EXPECT_EQ(codecs.LoadFromMemory(thumb, nullptr, 0, 0), 0);
    CDibRWGeneral general;
    EXPECT_EQ(general.Probe(U16(path)), 1);
    EXPECT_EQ(general.GetFrameCount(U16(path)), 0);
    EXPECT_EQ(general.GetInfo(U16(path), w, h, bpp, xr, yr), 1);
    EXPECT_EQ(general.LoadThumbnail(thumb, U16(path), 1, 1), 1);
}

TEST(ReaderWriterSlots, GeneralReaderWriter) {
    CRawImage page;
    MakePage(page, 64, 32, 24, 150);
    CDibRWGeneral general;
    const std::string jpg = TempPath("general.jpg");
    EXPECT_EQ(general.Save(page, U16(jpg), 1), 0);  // a non-zero flag refuses
    EXPECT_FALSE(FileExists(jpg));
    ASSERT_EQ(general.Save(page, U16(jpg), 0), 1);
    CRawImage gray;
    MakePage(gray, 8, 8, 8);
    EXPECT_EQ(general.Save(gray, U16(TempPath("general8.jpg")), 0), 0);  // 24-bit only
    CRawImage back;
    EXPECT_EQ(general.Load(back, U16(jpg), 1), 0);
    ASSERT_EQ(general.Load(back, U16(jpg), 0), 1);
    EXPECT_EQ(back.width, 64);
    EXPECT_EQ(back.xResolution, 150);

    // Memory readers: JPEG (0), BMP (1), JPEG-2000 codestream (2).
    const auto jpgBytes = ReadBytes(jpg);
    CRawImage mem;
    EXPECT_EQ(general.LoadFromMemory(mem, jpgBytes.data(), static_cast<int32_t>(jpgBytes.size()), 0), 1);
    EXPECT_EQ(mem.width, 64);
    const std::string bmp = TempPath("general.bmp"), j2k = TempPath("general.j2k");
    ASSERT_TRUE(imagefile::SaveImageFile(page, U16(bmp), 0));
    ASSERT_TRUE(imagefile::SaveImageFile(page, U16(j2k), 0));
    const auto bmpBytes = ReadBytes(bmp), j2kBytes = ReadBytes(j2k);
    EXPECT_EQ(general.LoadFromMemory(mem, bmpBytes.data(), static_cast<int32_t>(bmpBytes.size()), 1), 1);
    EXPECT_EQ(MaxDifference(mem, page), 0);
    EXPECT_EQ(general.LoadFromMemory(mem, j2kBytes.data(), static_cast<int32_t>(j2kBytes.size()), 2), 1);
    EXPECT_LE(MaxDifference(mem, page), 3);
    EXPECT_EQ(general.LoadFromMemory(mem, bmpBytes.data(), static_cast<int32_t>(bmpBytes.size()), 3), 0);
    EXPECT_EQ(general.LoadFromMemory(mem, bmpBytes.data(), static_cast<int32_t>(bmpBytes.size()), 0), 0);
    EXPECT_FALSE(mem.HasPixels());
    CDibRWOri ori;
    EXPECT_EQ(ori.LoadFromMemory(mem, bmpBytes.data(), static_cast<int32_t>(bmpBytes.size()), 1), 1);
}

}  // namespace

// Small files that declare huge pages or endless work: each is refused from
// its header, before the decoder allocates, and corrupt data never reads as a
// good page.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ImageFileTestUtil.h"
#include "image/Dib.h"
#include "imagefile/ImageCodecs.h"
#include "imagefile/J2kCodec.h"

using namespace imagefile_test;

namespace {

void Put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x >> 8));
    v.push_back(static_cast<uint8_t>(x));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
    Put16(v, x >> 16);
    Put16(v, x & 0xFFFF);
}

struct J2kHeader {
    uint32_t width, height, comps, tileW, tileH;
    int levels = 5;
    int layers = 1;
};

// SOC, SIZ, COD, QCD, one empty tile-part, EOC: what a reader sees first.
std::vector<uint8_t> J2kCodestream(const J2kHeader& h) {
    std::vector<uint8_t> cs = {0xFF, 0x4F, 0xFF, 0x51};
    Put16(cs, 38 + 3 * h.comps);
    Put16(cs, 0);
    for (uint32_t v : {h.width, h.height, 0u, 0u, h.tileW, h.tileH, 0u, 0u}) Put32(cs, v);
    Put16(cs, h.comps);
    for (uint32_t c = 0; c < h.comps; ++c) cs.insert(cs.end(), {7, 1, 1});
    cs.insert(cs.end(), {0xFF, 0x52});
    Put16(cs, 12);
    cs.push_back(0);
    cs.push_back(0);
    Put16(cs, static_cast<uint32_t>(h.layers));
    cs.insert(cs.end(), {static_cast<uint8_t>(h.comps >= 3), static_cast<uint8_t>(h.levels), 4, 4, 0, 1});
    cs.insert(cs.end(), {0xFF, 0x5C});
    Put16(cs, static_cast<uint32_t>(3 + 3 * h.levels + 1));
    cs.push_back(0x40);
    for (int i = 0; i < 3 * h.levels + 1; ++i) cs.push_back(0x40);
    cs.insert(cs.end(), {0xFF, 0x90});
    Put16(cs, 10);
    Put16(cs, 0);
    Put32(cs, 12 + 2 + 4);
    cs.insert(cs.end(), {0, 1, 0xFF, 0x93, 0, 0, 0, 0, 0xFF, 0xD9});
    return cs;
}

TEST(HostileFiles, J2kMainHeaderIsCheckedBeforeTheCodecReadsIt) {
    // The header rules at a stated budget of 200 million pixels and 1 GiB.
    imagefile::DecodeLimits limits;
    limits.maxPixels = 200000000;
    limits.maxMemory = int64_t(1) << 30;
    struct Case {
        const char* name;
        J2kHeader header;
        bool page;     // as an image file (one or three components)
        bool export_;  // through the codestream export (any component count)
    } cases[] = {
        {"ordinary gray page", {640, 480, 1, 640, 480}, true, true},
        {"ordinary colour page in 256-pixel tiles", {2480, 3508, 3, 256, 256}, true, true},
        {"65535 one-pixel tiles of 60 components", {65535, 1, 60, 1, 1}, false, false},
        {"32768 x 32768 colour", {32768, 32768, 3, 32768, 32768}, false, false},
        {"2000 components", {256, 256, 2000, 256, 256}, false, true},
        {"4 components", {256, 256, 4, 256, 256}, false, true},
        {"65535 layers", {4096, 4096, 1, 4096, 4096, 5, 65535}, false, false},
        {"33 resolution levels", {4096, 4096, 1, 4096, 4096, 33, 1}, false, false},
    };
    for (const Case& c : cases) {
        const auto cs = J2kCodestream(c.header);
        EXPECT_EQ(imagefile::J2kMainHeaderAllowed(cs.data(), cs.size(), limits, true), c.page) << c.name;
        EXPECT_EQ(imagefile::J2kMainHeaderAllowed(cs.data(), cs.size(), limits, false), c.export_) << c.name;
        if (!c.page) {
            CRawImage img;
            EXPECT_FALSE(imagefile::DecodeJ2k(cs.data(), cs.size(), img)) << c.name;
            EXPECT_FALSE(img.HasPixels()) << c.name;
        }
    }
    // Truncated headers are refused, never read past their end.
    const auto cs = J2kCodestream({64, 64, 3, 64, 64});
    for (size_t n : {size_t(0), size_t(4), size_t(20), size_t(46)})
        EXPECT_FALSE(imagefile::J2kMainHeaderAllowed(cs.data(), n, limits, false)) << n;
}

TEST(HostileFiles, PageBudgetGovernsEveryDecoder) {
    CRawImage page;
    MakePage(page, 60, 40, 8);  // 2400 pixels
    std::vector<uint8_t> png, bmp, gif, jpg;
    ASSERT_TRUE(imagefile::EncodePng(page, png));
    ASSERT_TRUE(imagefile::EncodeBmp(page, bmp));
    ASSERT_TRUE(imagefile::EncodeGif(page, gif));
    ASSERT_TRUE(imagefile::EncodeJpeg(page, 90, true, jpg));
    imagefile::PageBudget& budget = imagefile::CurrentPageBudget();
    const imagefile::PageBudget saved = budget;
    for (int64_t maxPixels : {int64_t(2400), int64_t(2399)}) {
        budget.maxPixels = maxPixels;
        const bool fits = maxPixels >= 2400;
        for (const auto* bytes : {&png, &bmp, &gif, &jpg}) {
            CRawImage img;
            EXPECT_EQ(imagefile::DecodeAny(bytes->data(), bytes->size(), img), fits) << maxPixels;
        }
    }
    budget = saved;
}

TEST(HostileFiles, CorruptOrCutJpegDataFails) {
    CRawImage page;
    MakePage(page, 320, 240, 24);
    std::vector<uint8_t> jpg;
    ASSERT_TRUE(imagefile::EncodeJpeg(page, 90, true, jpg));
    CRawImage good;
    ASSERT_TRUE(imagefile::DecodeJpeg(jpg.data(), jpg.size(), good, imagefile::JpegDensity::AsStored, false));

    // Cut in half and closed with an end-of-image marker.
    std::vector<uint8_t> cut(jpg.begin(), jpg.begin() + static_cast<long>(jpg.size() / 2));
    cut.push_back(0xFF);
    cut.push_back(0xD9);
    CRawImage img;
    EXPECT_FALSE(imagefile::DecodeJpeg(cut.data(), cut.size(), img, imagefile::JpegDensity::AsStored, false));
    EXPECT_FALSE(img.HasPixels());

    // A restart-like marker planted in the middle of the entropy data.
    std::vector<uint8_t> marked = jpg;
    const size_t middle = marked.size() / 2;
    marked[middle] = 0xFF;
    marked[middle + 1] = 0xD4;
    EXPECT_FALSE(
        imagefile::DecodeJpeg(marked.data(), marked.size(), img, imagefile::JpegDensity::AsStored, false));
}

std::vector<uint8_t> OnePixelGif(uint16_t screenW, uint16_t screenH, uint16_t left, uint16_t top, uint16_t w,
                                 uint16_t h) {
    std::vector<uint8_t> g = {'G', 'I', 'F', '8', '9', 'a'};
    auto le16 = [&](uint16_t v) {
        g.push_back(static_cast<uint8_t>(v));
        g.push_back(static_cast<uint8_t>(v >> 8));
    };
    le16(screenW);
    le16(screenH);
    g.insert(g.end(), {0x80, 1, 0, 0, 0, 0, 255, 255, 255});  // table: black, white; background white
    g.push_back(0x2C);
    le16(left);
    le16(top);
    le16(w);
    le16(h);
    g.push_back(0);
    // LZW (minimum code size 2) for one black pixel.
    // Codes are 3 bits, packed from the low bit: 4 = clear, 0 = black, 5 = end.
    g.insert(g.end(), {2, 2, 0x44, 0x01, 0, 0x3B});
    return g;
}

TEST(HostileFiles, GifFramesAreClippedToTheLogicalScreen) {
    // A one-pixel frame far outside its 16 x 16 screen: the page is the
    // screen, white, and nothing of the size the offset claims is allocated.
    auto far = OnePixelGif(16, 16, 65534, 16383, 1, 1);
    CRawImage img;
    ASSERT_TRUE(imagefile::DecodeGif(far.data(), far.size(), img));
    EXPECT_EQ(img.width, 16);
    EXPECT_EQ(img.height, 16);
    // A frame inside the screen still shows: its black pixel at (3, 2).
    auto inside = OnePixelGif(16, 16, 3, 2, 1, 1);
    ASSERT_TRUE(imagefile::DecodeGif(inside.data(), inside.size(), img));
    ASSERT_EQ(img.width, 16);
    ASSERT_EQ(img.bitCount, 1);
    EXPECT_EQ(PixelBit(img, 3, 2), 1);
    EXPECT_EQ(PixelBit(img, 4, 2), 0);
    EXPECT_EQ(PixelBit(img, 3, 3), 0);
    // A screen over the page budget is refused.
    auto huge = OnePixelGif(65535, 16384, 0, 0, 1, 1);
    EXPECT_FALSE(imagefile::DecodeGif(huge.data(), huge.size(), img));
}

TEST(HostileFiles, RleBmpDeclaringAHugePageIsRefused) {
    std::vector<uint8_t> b = {'B', 'M'};
    auto le32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto le16 = [&](uint16_t v) {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
    };
    le32(14 + 40 + 8 + 2);
    le32(0);
    le32(14 + 40 + 8);
    le32(40);
    le32(32768);
    le32(32768);
    le16(1);
    le16(8);
    le32(1);  // RLE8
    le32(2);
    le32(2835);
    le32(2835);
    le32(2);
    le32(2);
    b.insert(b.end(), {0, 0, 0, 0, 255, 255, 255, 0, 0, 1});
    CRawImage img;
    EXPECT_FALSE(imagefile::DecodeBmp(b.data(), b.size(), img));
    EXPECT_FALSE(img.HasPixels());
}

}  // namespace

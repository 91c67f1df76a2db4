// PngSuite: every valid PNG reads; opaque ones match the 32-bit BMP
// rendering of the same name pixel for pixel; every corrupt file is refused.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "ImageFileTestUtil.h"
#include "SharedData.h"
#include "image/Dib.h"
#include "imagefile/ImageCodecs.h"
#include "imagefile/ImageFile.h"

using namespace imagefile_test;

namespace {

const std::string kSuite = morvane_test::SharedPath("testdata/pngsuite");

std::vector<std::string> ListPngs() {
    std::vector<std::string> names;
    if (DIR* dir = opendir((kSuite + "/png").c_str())) {
        while (dirent* e = readdir(dir)) {
            std::string n = e->d_name;
            if (n.size() > 4 && n.substr(n.size() - 4) == ".png") names.push_back(n.substr(0, n.size() - 4));
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
    return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (uint32_t(d[at + 3]) << 24);
}

// True when every pixel of the 32-bit BMP rendering has full alpha.
bool BmpIsOpaque(const std::vector<uint8_t>& bmp) {
    if (bmp.size() < 70 || Le32(bmp, 14) < 56 || (Le32(bmp, 28) & 0xFFFF) != 32) return false;
    const uint32_t alphaMask = Le32(bmp, 66);
    if (alphaMask == 0) return true;
    int shift = 0;
    while (!((alphaMask >> shift) & 1)) ++shift;
    const uint32_t off = Le32(bmp, 10);
    const int w = static_cast<int>(Le32(bmp, 18));
    const int h = std::abs(static_cast<int>(Le32(bmp, 22)));
    for (size_t i = 0; i < size_t(w) * h; ++i) {
        const size_t at = off + 4 * i;
        if (at + 4 > bmp.size()) return false;
        if (((Le32(bmp, at) & alphaMask) >> shift) != (alphaMask >> shift)) return false;
    }
    return true;
}

// Pixel (x, y) as blue, green, red whatever the bit count.
void Bgr(const CDib& img, int x, int y, uint8_t out[3]) {
    if (img.bitCount == 1) {
        out[0] = out[1] = out[2] = PixelBit(img, x, y) ? 0 : 255;
    } else if (img.bitCount == 8) {
        out[0] = out[1] = out[2] = img.Row(y)[x];
    } else {
        for (int k = 0; k < 3; ++k) out[k] = img.Row(y)[3 * x + k];
    }
}

TEST(PngSuite, ValidFilesReadAndOpaqueOnesMatchTheirBmp) {
    MORVANE_NEED_SHARED_DATA("testdata/pngsuite/png");
    const auto names = ListPngs();
    ASSERT_FALSE(names.empty()) << "no PngSuite files under " << kSuite;
    int compared = 0;
    for (const auto& name : names) {
        if (name[0] == 'x') continue;
        SCOPED_TRACE(name);
        CRawImage png;
        ASSERT_TRUE(imagefile::LoadImageFile(png, U16(kSuite + "/png/" + name + ".png")));
        ASSERT_TRUE(png.HasPixels());
        const auto bmpBytes = ReadBytes(kSuite + "/bmp/" + name + ".bmp");
        if (bmpBytes.empty() || !BmpIsOpaque(bmpBytes)) continue;
        CRawImage bmp;
        ASSERT_TRUE(imagefile::LoadImageFile(bmp, U16(kSuite + "/bmp/" + name + ".bmp")));
        ASSERT_EQ(bmp.bitCount, 24);
        ASSERT_EQ(png.width, bmp.width);
        ASSERT_EQ(png.height, bmp.height);
        // 16-bit samples are reduced to their high byte; the reference
        // rendering rounds some gray levels the other way, never by more
        // than one step.
        const int tolerance = name.compare(name.size() - 2, 2, "16") == 0 ? 1 : 0;
        int mismatches = 0;
        for (int y = 0; y < png.height && mismatches < 3; ++y)
            for (int x = 0; x < png.width && mismatches < 3; ++x) {
                uint8_t a[3], b[3];
                Bgr(png, x, y, a);
                Bgr(bmp, x, y, b);
                if (std::abs(a[0] - b[0]) > tolerance || std::abs(a[1] - b[1]) > tolerance ||
                    std::abs(a[2] - b[2]) > tolerance) {
                    ++mismatches;
                    ADD_FAILURE() << "pixel " << x << "," << y << " png " << int(a[2]) << "," << int(a[1])
                                  << "," << int(a[0]) << " bmp " << int(b[2]) << "," << int(b[1]) << ","
                                  << int(b[0]);
                }
            }
        ++compared;
    }
    EXPECT_GT(compared, 0);
}

TEST(PngSuite, BitDepthFollowsColourType) {
    MORVANE_NEED_SHARED_DATA("testdata/pngsuite/png");
    struct Case {
        const char* name;
        int bitCount;
    } cases[] = {
        {"basn0g01", 1},  // 1-bit gray stays bilevel
        {"basn0g02", 8},  {"basn0g04", 8},  {"basn0g08", 8},  {"basn0g16", 8},
        {"basn2c08", 24}, {"basn2c16", 24}, {"basn3p01", 24},  // two colours that are not black and white
        {"basn3p04", 24},                                      // a 4-bit colour palette
        {"basn3p08", 24}, {"basi0g01", 1},  {"basn4a08", 8},  {"basn6a16", 24},
    };
    for (const auto& c : cases) {
        CRawImage img;
        ASSERT_TRUE(imagefile::LoadImageFile(img, U16(kSuite + "/png/" + c.name + ".png"))) << c.name;
        EXPECT_EQ(img.bitCount, c.bitCount) << c.name;
        EXPECT_EQ(img.width, 32) << c.name;
    }
}

TEST(PngSuite, CorruptFilesAreRefused) {
    MORVANE_NEED_SHARED_DATA("testdata/pngsuite/png");
    int refused = 0;
    for (const auto& name : ListPngs()) {
        if (name[0] != 'x') continue;
        CRawImage img;
        EXPECT_FALSE(imagefile::LoadImageFile(img, U16(kSuite + "/png/" + name + ".png"))) << name;
        EXPECT_FALSE(img.HasPixels()) << name;
        ++refused;
    }
    EXPECT_GT(refused, 0);
}

TEST(PngSuite, InterlacedMatchesProgressiveTwin) {
    MORVANE_NEED_SHARED_DATA("testdata/pngsuite/png");
    for (const char* pair : {"0g01", "0g04", "2c08", "3p04", "6a16", "0g16"}) {
        CRawImage a, b;
        ASSERT_TRUE(imagefile::LoadImageFile(a, U16(kSuite + "/png/basi" + pair + ".png"))) << pair;
        ASSERT_TRUE(imagefile::LoadImageFile(b, U16(kSuite + "/png/basn" + pair + ".png"))) << pair;
        EXPECT_EQ(MaxDifference(a, b), 0) << pair;
    }
}

}  // namespace

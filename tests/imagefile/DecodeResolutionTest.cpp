// Decoding JPEG and JPEG-2000 pages straight to a lower working resolution:
// the scale chosen, the size and resolution of the page read, its content,
// and the page budget measured on the reduced page.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ImageFileTestUtil.h"
#include "image/Dib.h"
#include "imagefile/ImageCodecs.h"
#include "imagefile/ImageFile.h"

namespace {

using imagefile::DecodeOptions;
using imagefile_test::TempPath;
using imagefile_test::U16;
using imagefile_test::WriteBytes;

TEST(DecodeResolution, ScaleChoiceKeepsAtLeastTheTarget) {
    struct Case {
        int32_t dpi, target, eighths;
    };
    const Case jpeg[] = {
        {300, 150, 4}, {300, 200, 6},  // 5/8 would give 187.5
        {300, 300, 8}, {300, 400, 8},  {300, 0, 8},  {0, 150, 8},
        {600, 150, 2}, {1200, 100, 1}, {300, 20, 2},  // never below 75 dpi
    };
    for (const Case& c : jpeg)
        EXPECT_EQ(imagefile::JpegScaleEighths(c.dpi, c.target), c.eighths) << c.dpi << " " << c.target;
    struct Levels {
        int32_t dpi, target;
        int maxLevels, levels;
    };
    const Levels j2k[] = {
        {300, 150, 5, 1}, {300, 75, 5, 2},  {300, 200, 5, 0},
        {300, 400, 5, 0}, {300, 150, 0, 0}, {2400, 75, 2, 2},  // bounded by the codestream's levels
        {300, 20, 5, 2},                                       // never below 75 dpi
        {300, 0, 5, 0},
    };
    for (const Levels& c : j2k)
        EXPECT_EQ(imagefile::J2kLevelsToDrop(c.dpi, c.target, c.maxLevels), c.levels)
            << c.dpi << " " << c.target;
    EXPECT_EQ(imagefile::ScaledDpi(300, 5, 8), 188);
    EXPECT_EQ(imagefile::ScaledDpi(300, 1, 4), 75);
    EXPECT_EQ(imagefile::ScaledDpi(0, 1, 2), 0);
}

// A smooth colour page (blue across, green down, a red block) that a
// reduced decode must reproduce at its own scale.
void MakeSmoothPage(CDib& image, int w, int h, int dpi) {
    ASSERT_EQ(image.Create(w, h, 24, dpi), 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = image.Row(y) + 3 * x;
            p[0] = static_cast<uint8_t>(x * 255 / (w - 1));
            p[1] = static_cast<uint8_t>(y * 255 / (h - 1));
            p[2] = (x > w / 4 && x < w / 2 && y > h / 3 && y < 2 * h / 3) ? 230 : 40;
        }
}

// Mean absolute difference between a reduced page and the full page sampled
// at the same places.
double MeanDifferenceToFull(const CDib& reduced, const CDib& full) {
    double sum = 0;
    for (int y = 0; y < reduced.height; ++y)
        for (int x = 0; x < reduced.width; ++x) {
            const int fx = static_cast<int>((x + 0.5) * full.width / reduced.width);
            const int fy = static_cast<int>((y + 0.5) * full.height / reduced.height);
            for (int k = 0; k < 3; ++k) sum += std::abs(reduced.Row(y)[3 * x + k] - full.Row(fy)[3 * fx + k]);
        }
    return sum / (3.0 * reduced.width * reduced.height);
}

struct Expect {
    int32_t target, pageDpi;  // pageDpi: the host's page resolution, 0 none
    int32_t width, height, dpi, scaleNum, scaleDen;
};

void CheckReads(const std::string& path, const CDib& full, const std::vector<Expect>& cases) {
    for (const Expect& c : cases) {
        SCOPED_TRACE(path + " target " + std::to_string(c.target) + " page " + std::to_string(c.pageDpi));
        DecodeOptions options;
        options.targetDpi = c.target;
        options.pageXDpi = options.pageYDpi = c.pageDpi;
        CDib page;
        ASSERT_TRUE(imagefile::LoadImageFile(page, U16(path), &options));
        EXPECT_EQ(page.width, c.width);
        EXPECT_EQ(page.height, c.height);
        EXPECT_EQ(page.xResolution, c.dpi);
        EXPECT_EQ(page.yResolution, c.dpi);
        EXPECT_EQ(options.scaleNum, c.scaleNum);
        EXPECT_EQ(options.scaleDen, c.scaleDen);
        EXPECT_LT(MeanDifferenceToFull(page, full), 6.0);
    }
}

TEST(DecodeResolution, JpegDecodesByDctScaling) {
    CDib source;
    MakeSmoothPage(source, 600, 840, 300);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(imagefile::EncodeJpeg(source, 95, false, bytes));
    // Read as stored (".jpg") and in dots per inch (".jpeg") alike.
    for (const std::string name : {"dpi300.jpg", "dpi300.jpeg"}) {
        const std::string path = TempPath(name);
        ASSERT_TRUE(WriteBytes(path, bytes));
        CDib full;
        ASSERT_TRUE(imagefile::LoadImageFile(full, U16(path)));
        ASSERT_EQ(full.width, 600);
        CheckReads(path, full,
                   {{150, 0, 300, 420, 150, 4, 8},
                    {200, 0, 450, 630, 225, 6, 8},  // 5/8 would give 187.5 dpi
                    {180, 0, 375, 525, 188, 5, 8},
                    {250, 0, 525, 735, 263, 7, 8},
                    {100, 0, 225, 315, 113, 3, 8},
                    {400, 0, 600, 840, 300, 1, 1},
                    {0, 0, 600, 840, 300, 1, 1},
                    {150, 600, 150, 210, 150, 2, 8}});  // the host's 600 dpi
    }
}

TEST(DecodeResolution, JpegWithoutAStatedResolutionIsReadAtFullSize) {
    CDib source;
    MakeSmoothPage(source, 400, 300, 0);  // written without a density: aspect ratio only
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(imagefile::EncodeJpeg(source, 90, false, bytes));
    const std::string path = TempPath("nodpi.jpg");
    ASSERT_TRUE(WriteBytes(path, bytes));
    CDib full;
    ASSERT_TRUE(imagefile::LoadImageFile(full, U16(path)));
    // The reader assumes 300 dpi but reduces nothing on that guess; the host's
    // own resolution is believed.
    CheckReads(path, full, {{150, 0, 400, 300, 300, 1, 1}, {150, 300, 200, 150, 150, 4, 8}});

    // A density in dots per centimetre (118 = 300 dpi) is a resolution,
    // whatever the file is called.
    CDib stated;
    MakeSmoothPage(stated, 400, 300, 300);
    ASSERT_TRUE(imagefile::EncodeJpeg(stated, 90, false, bytes));
    ASSERT_GT(bytes.size(), 18u);
    ASSERT_EQ(bytes[13], 1);  // JFIF units
    bytes[13] = 2;
    bytes[14] = bytes[16] = 0;
    bytes[15] = bytes[17] = 118;
    const std::string cm = TempPath("dpcm.jpeg"), cmStored = TempPath("dpcm.jpg");
    ASSERT_TRUE(WriteBytes(cm, bytes));
    ASSERT_TRUE(WriteBytes(cmStored, bytes));
    ASSERT_TRUE(imagefile::LoadImageFile(full, U16(cm)));
    CheckReads(cm, full, {{150, 0, 200, 150, 150, 4, 8}});
    ASSERT_TRUE(imagefile::LoadImageFile(full, U16(cmStored)));
    CheckReads(cmStored, full, {{150, 0, 200, 150, 150, 4, 8}});
}

TEST(DecodeResolution, PageBudgetHoldsForTheReducedJpeg) {
    CDib source;
    MakeSmoothPage(source, 600, 800, 300);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(imagefile::EncodeJpeg(source, 90, false, bytes));
    imagefile::DecodeLimits limits;
    limits.maxPixels = 200000;  // the full page has 480000
    CDib page;
    EXPECT_FALSE(imagefile::DecodeJpeg(bytes.data(), bytes.size(), page, imagefile::JpegDensity::DotsPerInch,
                                       false, limits));
    DecodeOptions options;
    options.targetDpi = 150;
    limits.options = &options;
    ASSERT_TRUE(imagefile::DecodeJpeg(bytes.data(), bytes.size(), page, imagefile::JpegDensity::DotsPerInch,
                                      false, limits));
    EXPECT_EQ(page.width, 300);
    EXPECT_EQ(page.height, 400);
    options.targetDpi = 250;  // 7/8 of the size: still over budget
    EXPECT_FALSE(imagefile::DecodeJpeg(bytes.data(), bytes.size(), page, imagefile::JpegDensity::DotsPerInch,
                                       false, limits));
}

TEST(DecodeResolution, J2kDropsResolutionLevels) {
    CDib source;
    MakeSmoothPage(source, 600, 840, 300);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(imagefile::EncodeJ2k(source, bytes));  // five decomposition levels
    const std::string path = TempPath("page.j2k");
    ASSERT_TRUE(WriteBytes(path, bytes));
    CDib full;
    ASSERT_TRUE(imagefile::LoadImageFile(full, U16(path)));
    ASSERT_EQ(full.width, 600);
    ASSERT_EQ(full.xResolution, 300);
    CheckReads(path, full,
               {{150, 0, 300, 420, 150, 1, 2},
                {200, 0, 600, 840, 300, 1, 1},  // half would be 150 dpi
                {75, 0, 150, 210, 75, 1, 4},
                {400, 0, 600, 840, 300, 1, 1},
                {0, 0, 600, 840, 300, 1, 1},
                {150, 600, 150, 210, 150, 1, 4},   // the host's 600 dpi, a quarter of it
                {75, 9600, 19, 27, 300, 1, 32}});  // all five levels and no more
}

TEST(DecodeResolution, J2kThreadsDecodeTheSamePixels) {
    CDib source;
    MakeSmoothPage(source, 700, 500, 300);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(imagefile::EncodeJ2k(source, bytes));
    CDib pages[3];
    const int threads[3] = {1, 2, 0};
    for (int i = 0; i < 3; ++i) {
        DecodeOptions options;
        options.threads = threads[i];
        imagefile::DecodeLimits limits;
        limits.options = &options;
        ASSERT_TRUE(imagefile::DecodeJ2k(bytes.data(), bytes.size(), pages[i], limits)) << threads[i];
    }
    EXPECT_EQ(imagefile_test::MaxDifference(pages[0], pages[1]), 0);
    EXPECT_EQ(imagefile_test::MaxDifference(pages[0], pages[2]), 0);
}

}  // namespace

// Writing and reading back through CRawImage Save/Load for every writable
// format and bit count, save options, suffix handling and resolutions.
#include <gtest/gtest.h>

#include <tiffio.h>

#include <cmath>
#include <string>

#include "ImageFileTestUtil.h"
#include "image/Dib.h"
#include "imagefile/DibReaderWriter.h"
#include "imagefile/ImageCodecs.h"
#include "imagefile/ImageFile.h"

using namespace imagefile_test;

namespace {

double MeanDifference(const CDib& a, const CDib& b) {
    double sum = 0;
    const int n = a.bitCount / 8;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width * n; ++x) sum += std::abs(int(a.Row(y)[x]) - int(b.Row(y)[x]));
    return sum / (double(a.width) * a.height * n);
}

struct RoundTrip {
    const char* suffix;
    int bitCount;
    int readBitCount;   // bit count read back
    int maxDifference;  // -1: lossy, judged by the mean difference
    bool keepsResolution;
    double meanLimit = 0;  // lossy formats: limit of the mean difference
};

TEST(ImageFileRoundTrip, EveryWritableFormatAndBitCount) {
    const RoundTrip cases[] = {
        {"bmp", 1, 1, 0, true},
        {"bmp", 8, 8, 0, true},
        {"bmp", 24, 24, 0, true},
        {"tif", 1, 1, 0, true},
        {"tif", 8, 8, 0, true},
        {"tif", 24, 24, 0, true},
        {"png", 1, 1, 0, true},
        {"png", 8, 8, 0, true},
        {"png", 24, 24, 0, true},
        {"gif", 1, 1, 0, false},
        {"gif", 8, 8, 0, false},
        {"gif", 24, 24, -1, false, 12},
        // The test page's red channel alternates at a fine pitch, which
        // chroma subsampling smears.
        {"jpg", 8, 8, -1, true, 10},
        {"jpg", 24, 24, -1, true, 30},
        {"jpeg", 24, 24, -1, true, 30},
        {"jpg", 1, 8, -1, true},  // bilevel pages are written as gray
        {"j2k", 8, 8, -1, false, 1},
        {"j2k", 24, 24, -1, false, 1},
    };
    for (const auto& c : cases) {
        const std::string label = std::string(c.suffix) + "/" + std::to_string(c.bitCount);
        SCOPED_TRACE(label);
        CRawImage page;
        MakePage(page, 157, 83, c.bitCount, 200);
        const std::string path = TempPath("round_" + std::to_string(c.bitCount) + "." + c.suffix);
        ASSERT_TRUE(imagefile::SaveImageFile(page, U16(path), 0));
        CRawImage back;
        ASSERT_TRUE(imagefile::LoadImageFile(back, U16(path)));
        ASSERT_EQ(back.bitCount, c.readBitCount);
        ASSERT_EQ(back.width, page.width);
        ASSERT_EQ(back.height, page.height);
        EXPECT_EQ(back.bytesPerRow % 4, 0);
        if (c.maxDifference >= 0) {
            EXPECT_EQ(MaxDifference(page, back), c.maxDifference);
        } else if (c.readBitCount == c.bitCount) {
            EXPECT_LT(MeanDifference(page, back), c.meanLimit);
        } else {  // 1-bit written as gray: ink dark, paper light
            for (int y = 0; y < page.height; y += 7)
                for (int x = 0; x < page.width; x += 5)
                    EXPECT_EQ(back.Row(y)[x] < 128, PixelBit(page, x, y) == 1) << x << "," << y;
        }
        // GIF declares no resolution and JPEG-2000 files are read at 300.
        EXPECT_EQ(back.xResolution, c.keepsResolution ? 200 : 300);
    }
}

TEST(ImageFileRoundTrip, J2kIsNearlyLossless) {
    for (int bpp : {8, 24}) {
        CRawImage page;
        MakePage(page, 300, 211, bpp);
        const std::string path = TempPath("near_" + std::to_string(bpp) + ".j2k");
        ASSERT_TRUE(imagefile::SaveImageFile(page, U16(path), 0));
        CRawImage back;
        ASSERT_TRUE(imagefile::LoadImageFile(back, U16(path)));
        EXPECT_LE(MaxDifference(page, back), 3) << bpp;
    }
}

TEST(ImageFileRoundTrip, ColourChannelsKeepTheirOrder) {
    // Left half pure red, right half pure blue, for every colour writer.
    for (const char* suffix : {"bmp", "tif", "png", "gif", "jpg", "jpeg", "j2k"}) {
        CRawImage page;
        ASSERT_EQ(page.Create(64, 32, 24, 300), 1);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 64; ++x) {
                uint8_t* p = page.Row(y) + 3 * x;
                p[0] = x < 32 ? 0 : 255;  // blue
                p[1] = 0;                 // green
                p[2] = x < 32 ? 255 : 0;  // red
            }
        const std::string path = TempPath(std::string("channels.") + suffix);
        ASSERT_TRUE(imagefile::SaveImageFile(page, U16(path), 0)) << suffix;
        CRawImage back;
        ASSERT_TRUE(imagefile::LoadImageFile(back, U16(path))) << suffix;
        ASSERT_EQ(back.bitCount, 24) << suffix;
        const uint8_t* left = back.Row(16) + 3 * 8;
        const uint8_t* right = back.Row(16) + 3 * 56;
        EXPECT_GT(left[2], 200) << suffix;
        EXPECT_LT(left[0], 50) << suffix;
        EXPECT_GT(right[0], 200) << suffix;
        EXPECT_LT(right[2], 50) << suffix;
    }
}

TEST(ImageFileRoundTrip, UppercaseSuffixesWork) {
    for (const char* suffix : {"BMP", "TIF", "PNG", "GIF", "JPG", "J2K", "Tiff", "JPEG"}) {
        CRawImage page;
        MakePage(page, 40, 30, 8, 300);
        const std::string path = TempPath(std::string("upper.") + suffix);
        ASSERT_TRUE(imagefile::SaveImageFile(page, U16(path), 0)) << suffix;
        CRawImage back;
        EXPECT_TRUE(imagefile::LoadImageFile(back, U16(path))) << suffix;
        EXPECT_EQ(back.bitCount, 8) << suffix;
    }
}

// What a saved file really is, from its first bytes.
imagefile::ImageFormat FormatOf(const std::string& path) {
    const auto bytes = ReadBytes(path);
    return imagefile::SniffFormat(bytes.data(), bytes.size());
}

uint16_t TiffCompressionOf(const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return 0;
    uint16_t c = 0;
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &c);
    TIFFClose(tif);
    return c;
}

TEST(ImageFileSaveOption, KindsChooseEncoderAndCompression) {
    struct Case {
        const char* suffix;
        int bitCount;
        uint32_t option;
        imagefile::ImageFormat format;
        uint16_t tiffCompression;  // 0: not a TIFF
    } cases[] = {
        {"tif", 1, MakeSaveOption(1, 3), imagefile::ImageFormat::Tiff, COMPRESSION_CCITTFAX4},
        {"tif", 1, MakeSaveOption(1, 9), imagefile::ImageFormat::Tiff, COMPRESSION_CCITTFAX3},
        {"tif", 1, MakeSaveOption(1, 2), imagefile::ImageFormat::Tiff,
         COMPRESSION_NONE},  // LZW is for gray and colour
        {"tif", 8, MakeSaveOption(1, 2), imagefile::ImageFormat::Tiff, COMPRESSION_LZW},
        {"tif", 24, MakeSaveOption(1, 2), imagefile::ImageFormat::Tiff, COMPRESSION_LZW},
        {"tif", 24, MakeSaveOption(1, 3), imagefile::ImageFormat::Tiff, COMPRESSION_NONE},
        {"tif", 8, 0, imagefile::ImageFormat::Tiff, COMPRESSION_NONE},
        {"tif", 8, MakeSaveOption(7, 3), imagefile::ImageFormat::Tiff, COMPRESSION_NONE},
        // JPEG quality: gray and colour pages become JPEG whatever the suffix.
        {"bmp", 24, MakeSaveOption(2, 80), imagefile::ImageFormat::Jpeg, 0},
        {"tif", 8, MakeSaveOption(2, 50), imagefile::ImageFormat::Jpeg, 0},
        {"png", 8, MakeSaveOption(2, 90), imagefile::ImageFormat::Jpeg, 0},
        {"bmp", 1, MakeSaveOption(2, 80), imagefile::ImageFormat::Bmp, 0},
        {"gif", 8, 0, imagefile::ImageFormat::Gif, 0},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.suffix) + " " + std::to_string(c.bitCount) + " option " +
                     std::to_string(c.option));
        CRawImage page;
        MakePage(page, 120, 64, c.bitCount);
        const std::string path = TempPath("option" + std::to_string(index++) + "." + c.suffix);
        ASSERT_TRUE(imagefile::SaveImageFile(page, U16(path), c.option));
        EXPECT_EQ(FormatOf(path), c.format);
        if (c.tiffCompression) {
            EXPECT_EQ(TiffCompressionOf(path), c.tiffCompression);
        }
        CRawImage back;
        ASSERT_TRUE(imagefile::LoadImageFile(back, U16(path)));
        EXPECT_EQ(back.width, 120);
        if (c.tiffCompression) {
            EXPECT_EQ(MaxDifference(page, back), 0);
        }
    }
}

TEST(ImageFileSaveOption, JpegQualityChangesTheFile) {
    CRawImage page;
    MakePage(page, 200, 120, 24);
    const std::string low = TempPath("q10.jpg"), high = TempPath("q95.jpg"), plain = TempPath("qdefault.jpg"),
                      q75 = TempPath("q75.jpg");
    ASSERT_TRUE(imagefile::SaveImageFile(page, U16(low), MakeSaveOption(2, 10)));
    ASSERT_TRUE(imagefile::SaveImageFile(page, U16(high), MakeSaveOption(2, 95)));
    ASSERT_TRUE(imagefile::SaveImageFile(page, U16(plain), 0));
    ASSERT_TRUE(imagefile::SaveImageFile(page, U16(q75), MakeSaveOption(2, 75)));
    EXPECT_LT(ReadBytes(low).size(), ReadBytes(high).size());
    EXPECT_EQ(ReadBytes(plain), ReadBytes(q75));  // quality 75 when none is given
}

TEST(ImageFileSave, FailuresWriteNothingAndReportFalse) {
    CRawImage page;
    MakePage(page, 30, 20, 8);
    struct Case {
        std::string path;
        int bitCount;
    } cases[] = {
        {TempPath("nowriter.xyz"), 8},
        {TempPath("noextension"), 8},
        {TempPath("missing_dir/page.bmp"), 8},
        {TempPath("onebit.j2k"), 1},  // JPEG-2000 takes gray and colour only
    };
    for (const auto& c : cases) {
        CRawImage img;
        MakePage(img, 30, 20, c.bitCount);
        EXPECT_FALSE(imagefile::SaveImageFile(img, U16(c.path), 0)) << c.path;
        EXPECT_FALSE(FileExists(c.path)) << c.path;
    }
    CRawImage empty;
    EXPECT_FALSE(imagefile::SaveImageFile(empty, U16(TempPath("empty.bmp")), 0));
    EXPECT_FALSE(FileExists(TempPath("empty.bmp")));
    CRawImage odd;
    odd.Create(10, 10, 4, 300);  // keeps bitCount 4 without pixels
    odd.bitCount = 4;
    EXPECT_FALSE(imagefile::SaveImageFile(odd, U16(TempPath("odd.bmp")), 0));
}

TEST(ImageFileSave, UnsupportedBitCountIsMinusOne) {
    CRawImage page;
    MakePage(page, 16, 16, 8);
    page.bitCount = 16;  // pixels present, bit count outside the model
    EXPECT_EQ(CDibRWOri().Save(page, U16(TempPath("sixteen.bmp")), 0), -1);
    EXPECT_FALSE(imagefile::SaveImageFile(page, U16(TempPath("sixteen.bmp")), 0));
    page.bitCount = 8;
}

// Resolution written by each writer and read back through Load, with the
// plausibility rule of Load applied (below 75 or above 1200 becomes 300).
TEST(ImageFileResolution, EdgeValuesThroughEveryWriter) {
    struct Case {
        int dpi;
        int expected;
    } values[] = {{0, 300}, {72, 300}, {75, 75}, {1200, 1200}, {1201, 300}, {600, 600}};
    for (const char* suffix : {"bmp", "tif", "png", "jpg", "jpeg"}) {
        for (const auto& v : values) {
            CRawImage page;
            MakePage(page, 24, 24, 8, v.dpi);
            const std::string path = TempPath("dpi" + std::to_string(v.dpi) + "." + suffix);
            ASSERT_TRUE(imagefile::SaveImageFile(page, U16(path), 0));
            CRawImage back;
            ASSERT_TRUE(imagefile::LoadImageFile(back, U16(path)));
            EXPECT_EQ(back.xResolution, v.expected) << suffix << " " << v.dpi;
            EXPECT_EQ(back.yResolution, v.expected) << suffix << " " << v.dpi;
        }
    }
}

TEST(ImageFileResolution, ReaderReportsDeclaredValueBeforePlausibility) {
    // The codecs report what the file declares; only CDib::Load corrects it.
    CRawImage page;
    MakePage(page, 24, 24, 24, 1201);
    const std::string path = TempPath("raw1201.png");
    ASSERT_TRUE(imagefile::SaveImageFile(page, U16(path), 0));
    CRawImage back;
    ASSERT_EQ(CDibRWOri().Load(back, U16(path), 0), 1);
    EXPECT_EQ(back.xResolution, 1201);
}

TEST(ImageFileLoad, MissingAndEmptyFilesFail) {
    WriteBytes(TempPath("empty.png"), {});
    for (const std::string& p : {TempPath("does_not_exist.png"), TempPath("empty.png"),
                                 TempPath("nothing.j2k"), TempPath("nothing.jpg")}) {
        CRawImage img;
        EXPECT_FALSE(imagefile::LoadImageFile(img, U16(p))) << p;
        EXPECT_FALSE(img.HasPixels());
    }
}

TEST(ImageFileLoad, ContentDecidesWhateverTheName) {
    CRawImage page;
    MakePage(page, 50, 40, 24);
    const std::string png = TempPath("content.png");
    ASSERT_TRUE(imagefile::SaveImageFile(page, U16(png), 0));
    const auto bytes = ReadBytes(png);
    // A PNG under any name, "jpg" and "j2k" included, is read as the PNG it is.
    for (const char* name : {"really_png.bmp", "really_png.tif", "really_png.dat", "really_png.jpg",
                             "really_png.JPG", "really_png.j2k", "really_png"}) {
        ASSERT_TRUE(WriteBytes(TempPath(name), bytes));
        CRawImage img;
        EXPECT_TRUE(imagefile::LoadImageFile(img, U16(TempPath(name)))) << name;
        EXPECT_EQ(MaxDifference(page, img), 0) << name;
    }
    // Bytes no codec recognises are refused by their signature, and say so.
    std::vector<uint8_t> text(bytes.size(), 'x');
    ASSERT_TRUE(WriteBytes(TempPath("text.png"), text));
    CRawImage img;
    EXPECT_FALSE(imagefile::LoadImageFile(img, U16(TempPath("text.png"))));
    EXPECT_EQ(imagefile::LastReadFailure(),
              "unknown format by signature (first bytes 78 78 78 78 78 78 78 78)");
}

}  // namespace

namespace {

TEST(ImageFileLimits, PageSizeAndResolutionUnits) {
    const imagefile::DecodeLimits limits;
    struct Size {
        int64_t w, h;
        bool allowed;
    } sizes[] = {
        {1, 1, true},        {65535, 549, true},    {65536, 1, false},
        {1, 65536, false},   {65535, 16384, false},  // below the side limit, above the 36-megapixel budget
        {6000, 6000, true},                          // exactly 36 000 000 pixels
        {6000, 6001, false}, {4961, 7016, true},     // A4 at 600 dpi
        {0, 10, false},      {10, -1, false},
    };
    for (const auto& s : sizes)
        EXPECT_EQ(imagefile::PageSizeAllowed(s.w, s.h, limits), s.allowed) << s.w << "x" << s.h;
    struct Unit {
        double perMetre;
        int dpi;
    } metres[] = {{0, 0}, {2835, 72}, {11811, 300}, {47244, 1200}, {47283, 1201}, {-5, 0}};
    for (const auto& u : metres) EXPECT_EQ(imagefile::DpiFromPerMetre(u.perMetre), u.dpi) << u.perMetre;
    EXPECT_EQ(imagefile::DpiFromPerCentimetre(118.11), 300);
    EXPECT_EQ(imagefile::PerMetreFromDpi(300), 11811);
    EXPECT_EQ(imagefile::PerMetreFromDpi(0), 0);
}

}  // namespace

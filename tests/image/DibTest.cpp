#include <gtest/gtest.h>

#include "image/Dib.h"
#include "imagefile/ImageFile.h"

namespace {

TEST(Dib, RowLengths) {
    struct Case { int w, bpp, stride; } cases[] = {
        {1, 1, 4}, {32, 1, 4}, {33, 1, 8}, {4, 8, 4}, {5, 8, 8}, {5, 24, 16}, {1, 24, 4}, {4, 24, 12},
    };
    for (const auto& c : cases) {
        CRawImage image;
        ASSERT_EQ(image.Create(c.w, 2, c.bpp, 200), 1);
        EXPECT_EQ(image.bytesPerRow, c.stride) << c.w << "x" << c.bpp;
        EXPECT_EQ(image.rows[1] - image.rows[0], c.stride);
        EXPECT_EQ(image.xResolution, 200);
        EXPECT_EQ(image.yResolution, 200);
    }
}

TEST(Dib, RefusesBadGeometry) {
    CRawImage image;
    EXPECT_EQ(image.Create(10, 10, 4, 300), 0);
    EXPECT_FALSE(image.HasPixels());
    EXPECT_EQ(image.width, 10);  // geometry stays stored
    struct Case { int w, h, bpp; } bad[] = {
        {0, 5, 8}, {5, 0, 8}, {-1, 5, 8}, {5, -3, 24}, {70000, 70000, 24}, {2147483647, 1, 24}, {1, 2147483647, 8},
    };
    for (const auto& c : bad) {
        CRawImage img;
        EXPECT_EQ(img.Create(c.w, c.h, c.bpp, 300), 0) << c.w << "x" << c.h;
        EXPECT_FALSE(img.HasPixels());
    }
}

TEST(Dib, SameGeometryClearsAndKeepsResolution) {
    CRawImage image;
    ASSERT_EQ(image.Create(7, 3, 8, 200), 1);
    image.rows[2][6] = 99;
    ASSERT_EQ(image.Create(7, 3, 8, 600), 1);
    EXPECT_EQ(image.rows[2][6], 0);
    EXPECT_EQ(image.xResolution, 200);
}

TEST(Dib, CopySemantics) {
    CRawImage src;
    ASSERT_EQ(src.Create(5, 2, 24, 300), 1);
    src.yResolution = 150;
    src.rows[1][14] = 7;
    src.SetFileName(u"a.bmp");

    CRawImage copy(src);
    EXPECT_EQ(copy.xResolution, 300);
    EXPECT_EQ(copy.yResolution, 300);
    EXPECT_EQ(copy.rows[1][14], 7);
    EXPECT_NE(copy.bits.get(), src.bits.get());
    EXPECT_EQ(copy.FileName(), u"a.bmp");

    CRawImage other;
    EXPECT_EQ(other.Copy(src), 1);
    EXPECT_EQ(other.FileName(), u"");

    CRawImage empty;
    empty.SetFileName(u"e.png");
    copy = empty;
    EXPECT_FALSE(copy.HasPixels());
    EXPECT_EQ(copy.FileName(), u"e.png");
    EXPECT_EQ(other.Copy(empty), 0);
    EXPECT_FALSE(other.HasPixels());

    uint8_t* before = src.bits.get();
    const CRawImage& alias = src;
    src = alias;
    EXPECT_EQ(src.bits.get(), before);
    EXPECT_EQ(src.rows[1][14], 7);
}

TEST(Dib, LongFileNameIsCut) {
    CRawImage image;
    image.SetFileName(std::u16string(400, u'x'));
    EXPECT_EQ(image.FileName().size(), 255u);
}

TEST(Dib, LoadOfMissingFileFailsAndLeavesImageEmpty) {
    CRawImage image;
    ASSERT_EQ(image.Create(3, 3, 8, 300), 1);
    EXPECT_FALSE(imagefile::LoadImageFile(image, u"/nonexistent/file.png"));
    EXPECT_FALSE(image.HasPixels());
    EXPECT_EQ(image.FileName(), u"/nonexistent/file.png");
}

TEST(Dib, BinToGray) {
    CRawImage bin;
    ASSERT_EQ(bin.Create(11, 2, 1, 300), 1);
    CRawImage gray;
    ASSERT_EQ(bin.BinToGray(&gray), 1);
    ASSERT_EQ(gray.bitCount, 8);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 11; ++x) EXPECT_EQ(gray.rows[y][x], 255);
    bin.rows[0][0] = 0x80;
    bin.rows[1][1] = 0x20;  // pixel 10
    ASSERT_EQ(bin.BinToGray(nullptr), 1);
    EXPECT_EQ(bin.bitCount, 8);
    EXPECT_EQ(bin.rows[0][0], 0);
    EXPECT_EQ(bin.rows[0][1], 255);
    EXPECT_EQ(bin.rows[1][10], 0);
    EXPECT_EQ(bin.rows[1][9], 255);
    CRawImage empty, out;
    EXPECT_EQ(empty.BinToGray(&out), 0);
    EXPECT_EQ(gray.BinToGray(&out), 0);  // wrong bit count
}

}  // namespace

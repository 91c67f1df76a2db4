#include <gtest/gtest.h>

#include <cstring>

#include "image/Dib.h"
#include "imagefile/ImageFile.h"

namespace {

TEST(Dib, RowLengths) {
    struct Case {
        int w, bpp, stride;
    } cases[] = {
        {1, 1, 4}, {32, 1, 4}, {33, 1, 8}, {4, 8, 4}, {5, 8, 8}, {5, 24, 16}, {1, 24, 4}, {4, 24, 12},
    };
    for (const auto& c : cases) {
        CRawImage image;
        ASSERT_EQ(image.Create(c.w, 2, c.bpp, 200), 1);
        EXPECT_EQ(image.bytesPerRow, c.stride) << c.w << "x" << c.bpp;
        EXPECT_EQ(image.Row(1) - image.Row(0), c.stride);
        EXPECT_EQ(image.xResolution, 200);
        EXPECT_EQ(image.yResolution, 200);
    }
}

TEST(Dib, RefusesBadGeometry) {
    CRawImage image;
    EXPECT_EQ(image.Create(10, 10, 4, 300), 0);
    EXPECT_FALSE(image.HasPixels());
    EXPECT_EQ(image.width, 10);  // geometry stays stored
    struct Case {
        int w, h, bpp;
    } bad[] = {
        {0, 5, 8},          {5, 0, 8},           {-1, 5, 8},         {5, -3, 24},
        {70000, 70000, 24}, {2147483647, 1, 24}, {1, 2147483647, 8},
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
    image.Row(2)[6] = 99;
    ASSERT_EQ(image.Create(7, 3, 8, 600), 1);
    EXPECT_EQ(image.Row(2)[6], 0);
    EXPECT_EQ(image.xResolution, 200);
}

TEST(Dib, CopySemantics) {
    CRawImage src;
    ASSERT_EQ(src.Create(5, 2, 24, 300), 1);
    src.yResolution = 150;
    src.Row(1)[14] = 7;
    src.SetFileName(u"a.bmp");

    CRawImage copy(src);
    EXPECT_EQ(copy.xResolution, 300);
    EXPECT_EQ(copy.yResolution, 300);
    EXPECT_EQ(copy.Row(1)[14], 7);
    EXPECT_NE(copy.Bits(), src.Bits());
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

    uint8_t* before = src.Bits();
    const CRawImage& alias = src;
    src = alias;
    EXPECT_EQ(src.Bits(), before);
    EXPECT_EQ(src.Row(1)[14], 7);
}

TEST(Dib, LongFileNameIsKeptWhole) {
    CRawImage image;
    const std::u16string name = std::u16string(400, u'x') + u".png";
    image.SetFileName(name);
    EXPECT_EQ(image.FileName(), name);
    const CRawImage copy(image);
    EXPECT_EQ(copy.FileName(), name);
}

TEST(Dib, CopyFollowsSwappedRows) {
    CRawImage src;
    ASSERT_EQ(src.Create(6, 4, 8, 300), 1);
    for (int y = 0; y < 4; ++y) src.Row(y)[0] = static_cast<uint8_t>(10 + y);
    src.SwapRows(0, 3);
    EXPECT_EQ(src.Row(0)[0], 13);
    const CRawImage copy(src);
    for (int y = 0; y < 4; ++y) EXPECT_EQ(copy.Row(y)[0], src.Row(y)[0]) << y;
}

TEST(Dib, ConstShortcutsWriteOnlyTheirDestination) {
    CRawImage page;
    ASSERT_EQ(page.Create(40, 30, 24, 300), 1);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 120; ++x) page.Row(y)[x] = static_cast<uint8_t>((x * 7 + y * 3) & 0xFF);
    const CRawImage before(page);
    const CRawImage& view = page;
    CRawImage gray, binary, cut, turned, back;
    EXPECT_EQ(view.TrueColorToGray(&gray, 0), 1);
    EXPECT_EQ(gray.bitCount, 8);
    const CRawImage& grayView = gray;
    EXPECT_EQ(grayView.GrayToBinary(&binary, 0), 1);
    EXPECT_EQ(binary.bitCount, 1);
    const CRawImage& binaryView = binary;
    EXPECT_EQ(binaryView.BinToGray(&back), 1);
    EXPECT_EQ(back.bitCount, 8);
    EXPECT_EQ(view.Crop(&cut, 5, 6, 25, 16), 1);
    EXPECT_EQ(cut.width, 20);
    EXPECT_EQ(cut.height, 10);
    EXPECT_EQ(cut.Row(0)[0], page.Row(6)[15]);
    EXPECT_EQ(view.Rotate(&turned, 1, 0.0, 0, 0, 1), 1);
    EXPECT_EQ(turned.width, 30);
    // A const image cannot be changed in place: a null destination is refused.
    EXPECT_EQ(view.Crop(nullptr, 5, 6, 25, 16), 0);
    EXPECT_EQ(view.Rotate(nullptr, 1, 0.0, 0, 0, 1), 0);
    EXPECT_EQ(view.TrueColorToGray(nullptr, 0), 0);
    EXPECT_EQ(grayView.GrayToBinary(nullptr, 0), 0);
    EXPECT_EQ(binaryView.BinToGray(nullptr), 0);
    ASSERT_EQ(page.width, before.width);
    ASSERT_EQ(page.bitCount, 24);
    for (int y = 0; y < 30; ++y) EXPECT_EQ(0, std::memcmp(page.Row(y), before.Row(y), 120)) << y;
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
        for (int x = 0; x < 11; ++x) EXPECT_EQ(gray.Row(y)[x], 255);
    bin.Row(0)[0] = 0x80;
    bin.Row(1)[1] = 0x20;  // pixel 10
    ASSERT_EQ(bin.BinToGray(nullptr), 1);
    EXPECT_EQ(bin.bitCount, 8);
    EXPECT_EQ(bin.Row(0)[0], 0);
    EXPECT_EQ(bin.Row(0)[1], 255);
    EXPECT_EQ(bin.Row(1)[10], 0);
    EXPECT_EQ(bin.Row(1)[9], 255);
    CRawImage empty, out;
    EXPECT_EQ(empty.BinToGray(&out), 0);
    EXPECT_EQ(gray.BinToGray(&out), 0);  // wrong bit count
}

}  // namespace

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "image/BinToGray.h"
#include "image/Cropper.h"
#include "image/MorphoProcessor.h"
#include "image/PixelTestUtil.h"

namespace {

using pixeltest::Bit;
using pixeltest::RandomBinary;

TEST(Cropper, OneBitCutOutsMatchPixelByPixel) {
    CRawImage src = RandomBinary(77, 19, 0.4, 11);
    // Every left offset within a byte, ranges inside one byte, ranges ending
    // at the image width.
    struct Rect {
        int l, t, r, b;
    } rects[] = {{0, 0, 77, 19}, {1, 2, 9, 5},    {3, 0, 5, 19},   {7, 1, 77, 18},   {8, 0, 16, 1},
                 {9, 4, 12, 6},  {13, 3, 70, 19}, {63, 0, 77, 19}, {76, 18, 77, 19}, {5, 5, 64, 10}};
    for (const Rect& rc : rects) {
        CRawImage dst;
        ASSERT_EQ(src.Crop(&dst, rc.l, rc.t, rc.r, rc.b), 1);
        ASSERT_EQ(dst.width, rc.r - rc.l);
        ASSERT_EQ(dst.height, rc.b - rc.t);
        for (int y = 0; y < dst.height; ++y) {
            for (int x = 0; x < dst.width; ++x)
                ASSERT_EQ(Bit(dst, x, y), Bit(src, rc.l + x, rc.t + y)) << rc.l << " " << x << "," << y;
            // Bits past the width stay white.
            for (int x = dst.width; x < dst.bytesPerRow * 8; ++x)
                ASSERT_FALSE(Bit(dst, x, y)) << rc.l << " pad " << x;
        }
    }
}

// Long rows take the word path: every left offset within a byte, widths
// around whole words, into a destination reused from an all-black cut-out of
// the same size (the crop writes every byte, padding included, without
// clearing first).
TEST(Cropper, OneBitWordCopiesMatchAndOverwriteReusedPixels) {
    CRawImage src = RandomBinary(333, 5, 0.5, 29);
    CRawImage black;
    ASSERT_EQ(black.Create(333, 5, 1, 300), 1);
    for (int y = 0; y < 5; ++y) std::memset(black.Row(y), 0xFF, static_cast<size_t>(black.bytesPerRow));
    for (int left = 0; left < 16; ++left) {
        for (int w : {63, 64, 65, 127, 128, 129, 200, 333 - left}) {
            CRawImage dst;
            ASSERT_EQ(black.Crop(&dst, left, 0, left + w, 5), 1);
            ASSERT_EQ(src.Crop(&dst, left, 0, left + w, 5), 1);
            ASSERT_EQ(dst.width, w);
            for (int y = 0; y < 5; ++y) {
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(Bit(dst, x, y), Bit(src, left + x, y))
                        << left << " " << w << " " << x << "," << y;
                for (int x = w; x < dst.bytesPerRow * 8; ++x)
                    ASSERT_FALSE(Bit(dst, x, y)) << left << " pad " << x;
            }
        }
    }
}

TEST(Cropper, GrayPaddingIsClearedInReusedPixels) {
    for (int bpp : {8, 24}) {
        CRawImage src;
        ASSERT_EQ(src.Create(10, 3, bpp, 300), 1);
        for (int y = 0; y < 3; ++y) std::memset(src.Row(y), 0xAB, static_cast<size_t>(src.bytesPerRow));
        CRawImage dst;
        ASSERT_EQ(dst.Create(5, 2, bpp, 300), 1);
        for (int y = 0; y < 2; ++y) std::memset(dst.Row(y), 0xFF, static_cast<size_t>(dst.bytesPerRow));
        ASSERT_EQ(src.Crop(&dst, 1, 1, 6, 3), 1);
        const int used = 5 * bpp / 8;
        ASSERT_GT(dst.bytesPerRow, used);
        for (int y = 0; y < 2; ++y)
            for (int i = 0; i < dst.bytesPerRow; ++i)
                EXPECT_EQ(dst.Row(y)[i], i < used ? 0xAB : 0) << bpp << " " << i;
    }
}

TEST(Cropper, GrayAndColourAndClamping) {
    for (int bpp : {8, 24}) {
        CRawImage src;
        src.Create(10, 6, bpp, 200);
        for (int y = 0; y < 6; ++y)
            for (int i = 0; i < src.bytesPerRow; ++i) src.Row(y)[i] = static_cast<uint8_t>(y * 40 + i);
        CRawImage dst;
        // Larger than the image on every side: clamped to the whole image.
        CCropper cropper(&src);
        cropper.left = -5;
        cropper.top = -2;
        cropper.right = 50;
        cropper.bottom = 9;
        ASSERT_EQ(cropper.Process(dst), 1);
        EXPECT_EQ(cropper.left, 0);
        EXPECT_EQ(cropper.top, 0);
        EXPECT_EQ(cropper.right, 10);
        EXPECT_EQ(cropper.bottom, 6);
        EXPECT_EQ(dst.width, 10);
        EXPECT_EQ(dst.height, 6);
        EXPECT_EQ(dst.bitCount, bpp);
        EXPECT_EQ(dst.xResolution, 200);
        ASSERT_EQ(src.Crop(&dst, 3, 2, 7, 5), 1);
        const int bytes = bpp / 8;
        for (int y = 0; y < 3; ++y)
            for (int i = 0; i < 4 * bytes; ++i) ASSERT_EQ(dst.Row(y)[i], src.Row(2 + y)[3 * bytes + i]);
    }
}

TEST(Cropper, EmptyAndInvertedRectangles) {
    CRawImage src;
    src.Create(16, 16, 8, 300);
    CRawImage dst;
    EXPECT_EQ(src.Crop(&dst, 5, 0, 5, 16), 1);  // width 0
    EXPECT_EQ(dst.width, 0);
    EXPECT_FALSE(dst.HasPixels());
    EXPECT_EQ(src.Crop(&dst, 6, 0, 5, 16), 0);  // inverted
    EXPECT_EQ(src.Crop(&dst, 0, 9, 16, 8), 0);
    EXPECT_EQ(src.Crop(&dst, 20, 0, 30, 16), 0);  // left clamps nothing, right clamps to 16 < 20
    CRawImage empty;
    EXPECT_EQ(empty.Crop(&dst, 0, 0, 1, 1), 0);
}

TEST(Cropper, InPlace) {
    CRawImage img = RandomBinary(40, 30, 0.5, 3);
    CRawImage ref(img);
    ASSERT_EQ(img.Crop(nullptr, 10, 5, 31, 25), 1);
    ASSERT_EQ(img.width, 21);
    ASSERT_EQ(img.height, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 21; ++x) ASSERT_EQ(Bit(img, x, y), Bit(ref, 10 + x, 5 + y));
}

// Reference thickening, straight from the definition.
bool Thick(const CRawImage& before, int x, int y, int kind, int length) {
    for (int k = 0; k < length; ++k) {
        if (kind == 1 && y - k >= 0 && Bit(before, x, y - k)) return true;
        if (kind == 2 && x + k < before.width && Bit(before, x + k, y)) return true;
    }
    return false;
}

TEST(Morpho, PassesMatchTheDefinition) {
    struct Case {
        int w, h;
        double density;
        int length;
    } cases[] = {{50, 40, 0.03, 2}, {50, 40, 0.03, 5},    {33, 70, 0.01, 17}, {70, 9, 0.02, 64},
                 {9, 70, 0.05, 3},  {64, 64, 0.005, 100}, {1, 1, 1.0, 4},     {31, 5, 0.1, INT_MAX}};
    uint32_t start = 1;
    for (const Case& c : cases)
        for (int kind : {1, 2}) {
            CRawImage img = RandomBinary(c.w, c.h, c.density, start++);
            const CRawImage before(img);
            EXPECT_EQ(img.Morpho(kind, c.length), 1);
            const int len = c.length == INT_MAX ? 1000 : c.length;
            for (int y = 0; y < c.h; ++y)
                for (int x = 0; x < c.w; ++x)
                    ASSERT_EQ(Bit(img, x, y), Thick(before, x, y, kind, len))
                        << "kind " << kind << " len " << c.length << " at " << x << "," << y;
        }
}

TEST(Morpho, WorkedCasesAndKinds) {
    // Length 5 on a single pixel in column 10: columns 6 to 10.
    CRawImage img = pixeltest::Binary(32, 3, [](int x, int y) { return x == 10 && y == 1; });
    ASSERT_EQ(img.Morpho(2, 5), 1);
    for (int x = 0; x < 32; ++x) EXPECT_EQ(Bit(img, x, 1), x >= 6 && x <= 10) << x;
    // Length 1 and lengths below it change nothing.
    CRawImage rnd = RandomBinary(40, 40, 0.2, 5);
    const CRawImage copy(rnd);
    for (int kind : {1, 2, 3})
        for (int len : {1, 0, -4}) {
            rnd.Morpho(kind, len);
            ASSERT_EQ(0, std::memcmp(rnd.Bits(), copy.Bits(), copy.height * copy.bytesPerRow));
        }
    // Kind 3: vertical, then horizontal: a single pixel grows into a block.
    CRawImage dot = pixeltest::Binary(20, 20, [](int x, int y) { return x == 10 && y == 10; });
    EXPECT_EQ(dot.Morpho(3, 3), 1);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) EXPECT_EQ(Bit(dot, x, y), x >= 8 && x <= 10 && y >= 10 && y <= 12);
    // Unknown kinds do nothing and report 1; wrong formats report 0 for the
    // kinds whose pass result is returned.
    EXPECT_EQ(dot.Morpho(7, 3), 1);
    CRawImage gray;
    gray.Create(8, 8, 8, 300);
    EXPECT_EQ(gray.Morpho(1, 3), 0);
    EXPECT_EQ(gray.Morpho(2, 3), 1);
    EXPECT_EQ(gray.Morpho(3, 3), 0);
    CRawImage empty;
    EXPECT_EQ(empty.Morpho(1, 3), 0);
}

TEST(BinToGrayShortcut, WhitePageBecomesAll255) {
    CRawImage img;
    img.Create(13, 4, 1, 300);
    ASSERT_EQ(img.BinToGray(nullptr), 1);
    ASSERT_EQ(img.bitCount, 8);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 13; ++x) EXPECT_EQ(img.Row(y)[x], 255);
}

}  // namespace

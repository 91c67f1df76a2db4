#include <gtest/gtest.h>

#include <vector>

#include "image/PixelTestUtil.h"
#include "image/SimdTierTest.h"
#include "image/TrueColorToGray.h"

namespace {

MORVANE_TIER_SUITE(TrueColorToGray);

struct Bgr {
    int b, g, r;
};

CRawImage ColourRow(const std::vector<Bgr>& pixels) {
    CRawImage img;
    img.Create(static_cast<int>(pixels.size()), 1, 24, 240);
    for (size_t i = 0; i < pixels.size(); ++i) {
        img.Row(0)[3 * i] = static_cast<uint8_t>(pixels[i].b);
        img.Row(0)[3 * i + 1] = static_cast<uint8_t>(pixels[i].g);
        img.Row(0)[3 * i + 2] = static_cast<uint8_t>(pixels[i].r);
    }
    return img;
}

int Convert(int method, Bgr p) {
    CRawImage src = ColourRow({p});
    CRawImage dst;
    CTrueColorToGray conv(&src);
    conv.method = method;
    EXPECT_EQ(conv.Process(dst), 1);
    return dst.Row(0)[0];
}

TEST_P(TrueColorToGray, FormulaTable) {
    struct Case {
        int method;
        Bgr pixel;
        int gray;
    } cases[] = {
        // 0: red stays red, otherwise (3B + 10G - 2R) / 10 clamped
        {0, {10, 10, 200}, 200},
        {0, {0, 10, 30}, 4},  // R - G = 20 is not above 20
        {0, {100, 50, 30}, 74},
        {0, {0, 0, 10}, 0},       // -20 / 10 clamps to 0
        {0, {255, 255, 0}, 255},  // 3315 / 10 clamps to 255
        {1, {1, 2, 3}, 3},
        {2, {1, 2, 3}, 2},
        {3, {1, 2, 3}, 1},
        // 5: t = 3R - G - B
        {5, {0, 0, 60}, 255},
        {5, {10, 20, 50}, 27},  // 15 + 11 + 1, each term truncated
        {5, {40, 40, 80}, 51},  // t = 160 exactly: luminance
        {5, {100, 100, 50}, 0},
        // 6: t = 3G - B - R
        {6, {0, 60, 0}, 255},
        {6, {50, 40, 50}, 43},
        {6, {100, 0, 0}, 0},
        // 7: t = 3B - G - R
        {7, {60, 0, 0}, 255},
        {7, {50, 20, 10}, 19},
        {7, {0, 100, 0}, 0},
        // 8: as 7 with 245 where B + R < 2G - 5
        {8, {100, 100, 50}, 245},
        {8, {100, 60, 100}, 76},
        {8, {0, 0, 0}, 0},
        {8, {60, 0, 0}, 255},
        // 9: 5 when R > B, else 7
        {9, {10, 20, 50}, 27},
        {9, {50, 20, 10}, 19},
        {9, {30, 200, 30}, 0},
        // 10: white becomes 245
        {10, {255, 255, 255}, 245},
        {10, {0, 0, 255}, 76},
        {10, {254, 255, 255}, 254},
        {11, {9, 4, 7}, 4},
        {12, {100, 50, 30}, 74},
        {12, {10, 10, 200}, 0},  // no red exception in 12
        {-1, {0, 0, 255}, 76},
        {13, {0, 255, 0}, 149},
        {-7, {255, 0, 0}, 29},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Convert(c.method, c.pixel), c.gray)
            << "method " << c.method << " bgr " << c.pixel.b << "," << c.pixel.g << "," << c.pixel.r;
}

TEST_P(TrueColorToGray, RunningMaximumSpansTheWholeImage) {
    CRawImage src;
    src.Create(4, 2, 24, 300);
    const Bgr px[2][4] = {{{50, 10, 100}, {200, 30, 10}, {20, 40, 5}, {20, 40, 50}},
                          {{1, 2, 0}, {0, 0, 9}, {3, 250, 1}, {0, 0, 0}}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            src.Row(y)[3 * x] = static_cast<uint8_t>(px[y][x].b);
            src.Row(y)[3 * x + 1] = static_cast<uint8_t>(px[y][x].g);
            src.Row(y)[3 * x + 2] = static_cast<uint8_t>(px[y][x].r);
        }
    CRawImage dst;
    ASSERT_EQ(src.TrueColorToGray(&dst, 4), 1);
    const int expected[2][4] = {{10, 200, 200, 20}, {200, 0, 250, 0}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.Row(y)[x], expected[y][x]) << x << "," << y;
}

TEST_P(TrueColorToGray, IntegerLuminanceMatchesTheDoubleExpressionEverywhere) {
    int mismatches = 0;
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b) {
                const int want = static_cast<int>(0.114 * b + 0.587 * g + 0.299 * r);
                if (GrayLuminance(static_cast<uint8_t>(b), static_cast<uint8_t>(g),
                                  static_cast<uint8_t>(r)) != want)
                    ++mismatches;
            }
    EXPECT_EQ(mismatches, 0);
}

TEST_P(TrueColorToGray, GeometryAndRefusals) {
    CRawImage src;
    ASSERT_EQ(src.Create(5, 3, 24, 150), 1);
    src.yResolution = 600;
    CRawImage dst;
    CTrueColorToGray conv(&src);
    ASSERT_EQ(conv.Process(dst), 1);
    EXPECT_EQ(dst.bitCount, 8);
    EXPECT_EQ(dst.width, 5);
    EXPECT_EQ(dst.height, 3);
    EXPECT_EQ(dst.xResolution, 150);
    EXPECT_EQ(dst.yResolution, 150);

    // 8-bit, 1-bit and empty sources are refused and dst stays as it was.
    for (int bpp : {1, 8, 0}) {
        CRawImage other;
        if (bpp) other.Create(4, 4, bpp, 300);
        CRawImage out;
        out.Create(2, 2, 8, 300);
        out.Row(0)[0] = 77;
        CTrueColorToGray c(&other);
        EXPECT_EQ(c.Process(out), 0) << bpp;
        EXPECT_EQ(out.width, 2);
        EXPECT_EQ(out.Row(0)[0], 77);
    }
}

TEST_P(TrueColorToGray, InPlaceAndWhitePage) {
    CRawImage page;
    page.Create(3, 2, 24, 300);
    std::fill(page.Bits(), page.Bits() + page.height * page.bytesPerRow, 255);
    EXPECT_EQ(page.TrueColorToGray(nullptr, 10), 1);
    ASSERT_EQ(page.bitCount, 8);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(page.Row(y)[x], 245);
}

}  // namespace

namespace {

int DoubleLuminance(int b, int g, int r) { return static_cast<int>(0.114 * b + 0.587 * g + 0.299 * r); }

}  // namespace

// The row conversion of the default formula (vector code where the processor
// has it) gives the double expression for every colour: a 4096 x 4096 image
// holds each of the 2^24 colours once.
TEST_P(TrueColorToGray, DefaultFormulaOverEveryColourInAnImage) {
    CRawImage src;
    ASSERT_EQ(src.Create(4096, 4096, 24, 300), 1);
    for (int y = 0; y < 4096; ++y)
        for (int x = 0; x < 4096; ++x) {
            const uint32_t c = static_cast<uint32_t>(y) * 4096u + static_cast<uint32_t>(x);
            src.Row(y)[3 * x] = static_cast<uint8_t>(c);
            src.Row(y)[3 * x + 1] = static_cast<uint8_t>(c >> 8);
            src.Row(y)[3 * x + 2] = static_cast<uint8_t>(c >> 16);
        }
    CRawImage dst;
    CTrueColorToGray conv(&src);
    ASSERT_EQ(conv.Process(dst), 1);
    int mismatches = 0;
    for (int y = 0; y < 4096; ++y)
        for (int x = 0; x < 4096; ++x) {
            const uint8_t* p = src.Row(y) + 3 * x;
            if (dst.Row(y)[x] != DoubleLuminance(p[0], p[1], p[2])) ++mismatches;
        }
    EXPECT_EQ(mismatches, 0);
}

// Narrow and odd widths: rows shorter than one vector step, and rows whose
// last pixels fall after the final full step, end on the same values.
TEST_P(TrueColorToGray, DefaultFormulaOnEveryRowWidthUpToForty) {
    uint32_t state = 12345u;
    for (int width = 1; width <= 40; ++width) {
        CRawImage src;
        ASSERT_EQ(src.Create(width, 3, 24, 300), 1);
        for (int y = 0; y < 3; ++y)
            for (int i = 0; i < 3 * width; ++i) {
                state = state * 1103515245u + 12345u;
                src.Row(y)[i] = static_cast<uint8_t>(state >> 16);
            }
        src.Row(1)[0] = src.Row(1)[1] = src.Row(1)[2] =
            254;  // a gray whose double sum falls just short of 254
        CRawImage dst;
        CTrueColorToGray conv(&src);
        ASSERT_EQ(conv.Process(dst), 1);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = src.Row(y) + 3 * x;
                EXPECT_EQ(dst.Row(y)[x], DoubleLuminance(p[0], p[1], p[2]))
                    << "width " << width << " at " << x << "," << y;
            }
        EXPECT_EQ(dst.Row(1)[0], 253);
    }
}

// Pages of grays, as scanned documents are: runs of gray pixels of every
// level, some rows broken by one coloured pixel, give the double expression
// (among them the grays whose double sum falls just below the level).
TEST_P(TrueColorToGray, DefaultFormulaOnGrayRunsOfEveryLevel) {
    const int width = 77;
    CRawImage src;
    ASSERT_EQ(src.Create(width, 512, 24, 300), 1);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < width; ++x) {
            const int v = y < 256 ? y : (y + x) & 255;  // flat rows, then ramps
            uint8_t* p = src.Row(y) + 3 * x;
            p[0] = p[1] = p[2] = static_cast<uint8_t>(v);
            if (y % 3 == 1 && x == (y * 7) % width) p[y % 2] = static_cast<uint8_t>(v ^ 1);
        }
    CRawImage dst;
    CTrueColorToGray conv(&src);
    ASSERT_EQ(conv.Process(dst), 1);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = src.Row(y) + 3 * x;
            ASSERT_EQ(dst.Row(y)[x], DoubleLuminance(p[0], p[1], p[2])) << x << "," << y;
        }
    EXPECT_EQ(dst.Row(254)[0], 253);
    EXPECT_EQ(dst.Row(255)[0], 255);
}

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "image/GrayToBinary.h"
#include "image/PixelTestUtil.h"
#include "image/SimdTierTest.h"
#include "image/ThresholdEngines.h"

namespace {

MORVANE_TIER_SUITE(GrayToBinary);
MORVANE_TIER_SUITE(GrayToBinaryBlock);

using pixeltest::Bit;
using pixeltest::BlackCount;
using pixeltest::Gray;

CRawImage Binarise(CRawImage& src, int method, int* result = nullptr, int* threshold = nullptr) {
    CRawImage dst;
    CGrayToBinary conv(&src);
    conv.method = method;
    const int r = conv.Process(dst);
    if (result) *result = r;
    if (threshold) *threshold = conv.lastThreshold;
    return dst;
}

// A page of light background (level bg) with dark bars (level ink) of
// `stroke` pixels every `pitch` pixels, both ways, inside a margin.
CRawImage TextLikePage(int w, int h, int bg, int ink, int stroke, int pitch, int margin) {
    return Gray(w, h, [=](int x, int y) {
        if (x < margin || y < margin || x >= w - margin || y >= h - margin) return bg;
        const bool bar = (x % pitch) < stroke || (y % pitch) < stroke;
        return bar ? ink : bg;
    });
}

bool IsInk(int x, int y, int w, int h, int stroke, int pitch, int margin) {
    if (x < margin || y < margin || x >= w - margin || y >= h - margin) return false;
    return (x % pitch) < stroke || (y % pitch) < stroke;
}

TEST_P(GrayToBinary, NothingAndUnknownMethodsGiveWhitePages) {
    CRawImage src = Gray(37, 21, [](int x, int y) { return (x * 7 + y * 3) % 256; });
    for (int method : {4, 9, 10, -1, 1000}) {
        int result = -5;
        CRawImage dst = Binarise(src, method, &result);
        EXPECT_EQ(result, method == 4 ? 1 : 0) << method;
        ASSERT_TRUE(dst.HasPixels());
        EXPECT_EQ(dst.bitCount, 1);
        EXPECT_EQ(dst.width, 37);
        EXPECT_EQ(dst.height, 21);
        EXPECT_EQ(BlackCount(dst), 0) << method;
    }
}

TEST_P(GrayToBinary, RefusesOtherFormats) {
    for (int bpp : {0, 1, 24}) {
        CRawImage src;
        if (bpp) src.Create(9, 9, bpp, 300);
        CRawImage dst;
        dst.Create(3, 3, 8, 300);
        CGrayToBinary conv(&src);
        conv.method = 7;
        EXPECT_EQ(conv.Process(dst), 0) << bpp;
        EXPECT_EQ(dst.bitCount, 8);
        EXPECT_EQ(dst.width, 3);
    }
}

TEST_P(GrayToBinary, OtsuOnUniformPagesUses128) {
    struct Case {
        int level;
        bool black;
    } cases[] = {{127, true}, {128, false}, {0, true}, {255, false}};
    for (const Case& c : cases) {
        CRawImage src = Gray(30, 20, [&](int, int) { return c.level; });
        int t = 0;
        CRawImage dst = Binarise(src, 7, nullptr, &t);
        EXPECT_EQ(t, 128) << c.level;
        EXPECT_EQ(BlackCount(dst), c.black ? 600 : 0) << c.level;
    }
}

TEST_P(GrayToBinary, OtsuSeparatesTwoLevels) {
    CRawImage src = Gray(64, 40, [](int x, int y) { return (x / 8 + y / 8) % 3 == 0 ? 40 : 190; });
    int t = 0;
    CRawImage dst = Binarise(src, 7, nullptr, &t);
    EXPECT_GT(t, 40);
    EXPECT_LE(t, 190);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 64; ++x) ASSERT_EQ(Bit(dst, x, y), src.Row(y)[x] == 40) << x << "," << y;
}

TEST_P(GrayToBinary, PercentileWalk) {
    // Inner histogram empty (the page is too small): mode 0, the walk starts
    // at 255 and stops 19 levels above it.
    {
        CRawImage src = Gray(50, 50, [](int x, int) { return x < 25 ? 18 : 19; });
        int t = 0;
        CRawImage dst = Binarise(src, 0, nullptr, &t);
        EXPECT_EQ(t, 19);
        EXPECT_EQ(BlackCount(dst), 25 * 50);
    }
    // Bright mode: the walk goes up from 0. Limit = 100 * 100 / 33 = 303
    // pixels of the inner page (rows and columns 100 to 199).
    struct Case {
        int darkPixels;
        int threshold;
    } cases[] = {{200, 181}, {400, 30}};
    for (const Case& c : cases) {
        CRawImage src = Gray(300, 300, [&](int x, int y) {
            const bool inner = x >= 100 && x < 200 && y >= 100 && y < 200;
            return inner && (y - 100) * 100 + (x - 100) < c.darkPixels ? 30 : 200;
        });
        int t = 0;
        CRawImage dst = Binarise(src, 0, nullptr, &t);
        EXPECT_EQ(t, c.threshold) << c.darkPixels;
        EXPECT_EQ(BlackCount(dst), c.threshold > 30 ? c.darkPixels : 0);
    }
}

TEST_P(GrayToBinary, EdgeCrossingThreshold) {
    // Uniform page: no edges, so Otsu's fallback finds no split and takes
    // the most frequent level - 1.
    {
        CRawImage src = Gray(40, 40, [](int, int) { return 100; });
        int t = 0;
        CRawImage dst = Binarise(src, 1, nullptr, &t);
        EXPECT_EQ(t, 99);
        EXPECT_EQ(BlackCount(dst), 0);
    }
    // A white page leaves 255 out of the fallback statistics entirely.
    {
        CRawImage src = Gray(40, 40, [](int, int) { return 255; });
        int t = 0;
        Binarise(src, 1, nullptr, &t);
        EXPECT_EQ(t, -1);
    }
    // Dark strokes on a light page: the edge levels give a threshold between
    // the two, so ink is black and paper white.
    {
        const int w = 200, h = 160;
        CRawImage src = TextLikePage(w, h, 215, 35, 3, 12, 20);
        int t = 0;
        CRawImage dst = Binarise(src, 1, nullptr, &t);
        EXPECT_GT(t, 35);
        EXPECT_LE(t, 215);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(Bit(dst, x, y), IsInk(x, y, w, h, 3, 12, 20)) << x << "," << y;
    }
}

TEST_P(GrayToBinary, LocalContrastMarksThinDarkLinesInsideTheBorder) {
    const int w = 60, h = 50;
    // A 3-row dark line on white across the whole width.
    CRawImage src = Gray(w, h, [](int, int y) { return y >= 24 && y <= 26 ? 0 : 255; });
    CRawImage dst = Binarise(src, 2);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool want = y >= 24 && y <= 26 && x >= 8 && x < w - 8;
            ASSERT_EQ(Bit(dst, x, y), want) << x << "," << y;
        }
    // Flat page: nothing is darker than its surroundings.
    CRawImage flat = Gray(w, h, [](int, int) { return 90; });
    EXPECT_EQ(BlackCount(Binarise(flat, 2)), 0);
}

TEST_P(GrayToBinary, NiblackSmallPagesThresholdAt128) {
    // 7 x 7 is below the window size: flattened values below 128 are black.
    CRawImage src = Gray(7, 7, [](int x, int y) { return x < 2 ? 60 + y : 200 + x; });
    CRawImage dst = Binarise(src, 3);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x) EXPECT_EQ(Bit(dst, x, y), x < 2) << x << "," << y;
}

TEST_P(GrayToBinary, NiblackFindsInkAndLeavesPaper) {
    const int w = 180, h = 140;
    CRawImage src = TextLikePage(w, h, 205, 40, 3, 11, 15);
    CRawImage dst = Binarise(src, 3);
    int64_t wrongInk = 0, wrongPaper = 0, ink = 0;
    for (int y = 0; y < h - 1; ++y)
        for (int x = 0; x < w - 1; ++x) {
            const bool want = IsInk(x, y, w, h, 3, 11, 15);
            ink += want;
            if (want && !Bit(dst, x, y)) ++wrongInk;
            if (!want && Bit(dst, x, y)) ++wrongPaper;
        }
    EXPECT_EQ(wrongInk, 0);
    EXPECT_EQ(wrongPaper, 0);
    EXPECT_GT(ink, 1000);
    // The last row and column are outside the tables and stay white.
    for (int x = 0; x < w; ++x) EXPECT_FALSE(Bit(dst, x, h - 1));
    for (int y = 0; y < h; ++y) EXPECT_FALSE(Bit(dst, w - 1, y));
}

TEST_P(GrayToBinary, BlockMethodOnUniformPages) {
    // No block has contrast: every threshold becomes 128. The first and last
    // rows are never thresholded.
    struct Case {
        int level;
        bool black;
    } cases[] = {{100, true}, {127, true}, {128, false}, {200, false}};
    for (const Case& c : cases) {
        CRawImage src = Gray(41, 30, [&](int, int) { return c.level; });
        CRawImage dst = Binarise(src, 6);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 41; ++x)
                ASSERT_EQ(Bit(dst, x, y), c.black && y > 0 && y < 29) << c.level << " " << x << "," << y;
    }
}

TEST_P(GrayToBinary, BlockMethodSeparatesInkFromPaper) {
    const int w = 160, h = 120;
    CRawImage src = TextLikePage(w, h, 220, 30, 4, 10, 0);
    CRawImage dst = Binarise(src, 6);
    // Away from the stroke edges (where the 3 x 3 smoothing mixes levels)
    // the result is exact.
    for (int y = 1; y < h - 1; ++y)
        for (int x = 0; x < w; ++x) {
            const int px = x % 10, py = y % 10;
            const bool inkCore = (px >= 1 && px <= 2) || (py >= 1 && py <= 2);
            const bool paperCore = px >= 5 && px <= 8 && py >= 5 && py <= 8;
            if (inkCore) {
                ASSERT_TRUE(Bit(dst, x, y)) << x << "," << y;
            }
            if (paperCore) {
                ASSERT_FALSE(Bit(dst, x, y)) << x << "," << y;
            }
        }
}

TEST_P(GrayToBinary, AdaptiveBackgroundMethod) {
    // Uniform page: nothing is foreground, the page stays white.
    CRawImage flat = Gray(50, 50, [](int, int) { return 120; });
    int result = 0;
    EXPECT_EQ(BlackCount(Binarise(flat, 8, &result)), 0);
    EXPECT_EQ(result, 1);
    // Dark strokes on a light page with a brightness ramp.
    const int w = 200, h = 150;
    CRawImage src = Gray(w, h, [&](int x, int y) {
        const int paper = 170 + x * 60 / w;
        return IsInk(x, y, w, h, 3, 14, 10) ? 40 : paper;
    });
    CRawImage dst = Binarise(src, 8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(Bit(dst, x, y), IsInk(x, y, w, h, 3, 14, 10)) << x << "," << y;
}

TEST_P(GrayToBinary, FuzzyMethodDecisions) {
    // Dark runs (eleven pixels of 0 and one of 5) lead into runs of a middle
    // level of growing length; a few separate pairs of the middle level
    // follow, then white. Below the upper threshold the most frequent run is
    // a pair; below the lower one (between 0 and 5) every run has length 11,
    // and those outnumber the pairs.
    std::vector<int> row;
    for (int k = 1; k <= 11; ++k) {
        row.insert(row.end(), 11, 0);
        row.push_back(5);
        row.insert(row.end(), k, 110);
        row.push_back(250);
        if (k <= 6) row.insert(row.end(), {110, 110, 250});
        row.insert(row.end(), 5, 250);
    }
    const int w = static_cast<int>(row.size());
    CRawImage src = Gray(w, 8, [&](int x, int) { return row[x]; });
    CFuzz fuzz;
    CRawImage dst;
    dst.Create(w, 8, 1, 300);
    ASSERT_EQ(fuzz.Run(src.Rows(), w, 8, dst.Rows()), 1);
    EXPECT_EQ(fuzz.t1, 249);
    EXPECT_EQ(fuzz.t2, 5);
    // Modal run of the first threshold (2) shorter than that of the second
    // (11): threshold 0, nothing black.
    EXPECT_EQ(fuzz.threshold, 0);
    EXPECT_EQ(BlackCount(dst), 0);

    // Plain two-level text page: the result separates the two levels.
    const int pw = 120, ph = 90;
    CRawImage page = TextLikePage(pw, ph, 210, 20, 2, 9, 5);
    CRawImage out = Binarise(page, 5);
    for (int y = 0; y < ph; ++y)
        for (int x = 0; x < pw; ++x) ASSERT_EQ(Bit(out, x, y), IsInk(x, y, pw, ph, 2, 9, 5)) << x << "," << y;
}

TEST_P(GrayToBinary, TinyPagesNeverFail) {
    struct Size {
        int w, h;
    } sizes[] = {{1, 1}, {1, 2}, {2, 1},   {2, 2},   {3, 3},  {5, 5},  {6, 7},
                 {7, 7}, {8, 8}, {1, 300}, {300, 1}, {16, 9}, {17, 10}};
    for (const Size& s : sizes)
        for (int method = 0; method <= 8; ++method) {
            CRawImage src = Gray(s.w, s.h, [](int x, int y) { return (x * 37 + y * 91) % 256; });
            int result = 0;
            CRawImage dst = Binarise(src, method, &result);
            EXPECT_EQ(result, 1) << method << " " << s.w << "x" << s.h;
            EXPECT_EQ(dst.width, s.w);
            EXPECT_EQ(dst.height, s.h);
            EXPECT_EQ(dst.bitCount, 1);
        }
}

TEST_P(GrayToBinaryBlock, StripsAndRemainder) {
    // 1001 columns in two strips of 500: column 1000 is never processed.
    CRawImage src = Gray(1001, 12, [](int, int) { return 10; });
    CRawImage dst;
    ASSERT_EQ(src.GrayToBinaryBlock(&dst, 2, 7), 1);
    for (int y = 0; y < 12; ++y) {
        EXPECT_TRUE(Bit(dst, 0, y));
        EXPECT_TRUE(Bit(dst, 999, y));
        EXPECT_FALSE(Bit(dst, 1000, y));
    }
    EXPECT_EQ(BlackCount(dst), 1000 * 12);
}

TEST_P(GrayToBinaryBlock, StripsAreThresholdedSeparately) {
    // Left half 60, right half 100. As one page Otsu splits at 60, and no
    // pixel is below 60; each strip alone is uniform, so each takes 128 and
    // both turn black.
    CRawImage src = Gray(64, 10, [](int x, int) { return x < 32 ? 60 : 100; });
    CRawImage whole, strips;
    ASSERT_EQ(src.GrayToBinaryBlock(&whole, 1, 7), 1);
    ASSERT_EQ(src.GrayToBinaryBlock(&strips, 2, 7), 1);
    EXPECT_EQ(BlackCount(whole), 0);
    EXPECT_EQ(BlackCount(strips), 64 * 10);
}

TEST_P(GrayToBinaryBlock, StripCountEdgeCases) {
    CRawImage src = Gray(40, 16, [](int x, int y) { return (x + y) % 2 ? 20 : 230; });
    CRawImage plain;
    {
        CGrayToBinary conv(&src);
        conv.method = 7;
        ASSERT_EQ(conv.Process(plain), 1);
    }
    struct Case {
        int blocks;
        bool samAsPlain;
    } cases[] = {{1, true}, {0, true}, {-3, false}, {41, false}, {2147483647, false}};
    for (const Case& c : cases) {
        CRawImage dst;
        EXPECT_EQ(src.GrayToBinaryBlock(&dst, c.blocks, 7), 1) << c.blocks;
        ASSERT_EQ(dst.bitCount, 1);
        ASSERT_EQ(dst.width, 40);
        if (c.samAsPlain) {
            EXPECT_EQ(0, std::memcmp(dst.Bits(), plain.Bits(), plain.height * plain.bytesPerRow)) << c.blocks;
        } else {
            EXPECT_EQ(BlackCount(dst), 0) << c.blocks;
        }
    }
    // Wrong format: 0 and dst untouched; the shortcut still reports 1 and
    // leaves a 24-bit image as it was.
    CRawImage colour;
    colour.Create(8, 8, 24, 300);
    CGrayToBinaryBlock block(&colour);
    CRawImage out;
    EXPECT_EQ(block.Process(out), 0);
    EXPECT_FALSE(out.HasPixels());
    EXPECT_EQ(colour.GrayToBinaryBlock(nullptr, 1, 6), 1);
    EXPECT_EQ(colour.bitCount, 24);
}

TEST_P(GrayToBinary, InPlaceShortcut) {
    CRawImage page = Gray(20, 20, [](int x, int) { return x < 10 ? 30 : 220; });
    EXPECT_EQ(page.GrayToBinary(nullptr, 7), 1);
    ASSERT_EQ(page.bitCount, 1);
    EXPECT_TRUE(Bit(page, 0, 0));
    EXPECT_FALSE(Bit(page, 19, 19));
}

}  // namespace

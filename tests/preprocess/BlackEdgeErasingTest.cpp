#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "image/SkewPageUtil.h"
#include "preprocess/BlackEdgeErasing.h"
#include "preprocess/ImageProcessing.h"

namespace libMorvaneClassifier {
namespace {

// A white page in the given format with black rectangles [left, right) x
// [top, bottom).
struct Rect {
    int left, top, right, bottom;
};
CRawImage Page(int w, int h, int bitCount, std::initializer_list<Rect> black = {}) {
    CRawImage img;
    EXPECT_EQ(img.Create(w, h, bitCount, 300), 1);
    if (bitCount != 1) std::memset(img.Bits(), 255, static_cast<size_t>(img.bytesPerRow) * h);
    for (const Rect& r : black)
        for (int y = r.top; y < std::min(r.bottom, h); ++y)
            for (int x = r.left; x < std::min(r.right, w); ++x) {
                if (bitCount == 1)
                    skewpage::SetBlack(img, x, y);
                else if (bitCount == 8)
                    img.Row(y)[x] = 0;
                else
                    std::memset(img.Row(y) + 3 * x, 0, 3);
            }
    return img;
}

bool SamePixels(const CRawImage& a, const CRawImage& b) {
    if (a.width != b.width || a.height != b.height || a.bitCount != b.bitCount ||
        a.bytesPerRow != b.bytesPerRow)
        return false;
    for (int32_t y = 0; y < a.height; ++y)
        if (std::memcmp(a.Row(y), b.Row(y), static_cast<size_t>(a.bytesPerRow)) != 0) return false;
    return true;
}

TEST(BlackEdgeLimits, FromThreshold) {
    struct Case {
        int32_t threshold;
        float hi, lo;
    } cases[] = {
        {85, 0.85f, 0.1f}, {95, 0.95f, 1.0f - 0.95f}, {0, 0.0f, 0.1f}, {100, 1.0f, 0.0f}, {50, 0.5f, 0.1f},
    };
    for (const auto& c : cases) {
        const BlackEdgeLimits l = BlackEdgeLimitsFor(c.threshold);
        EXPECT_EQ(l.hi, c.hi) << c.threshold;
        EXPECT_EQ(l.lo, c.lo) << c.threshold;
    }
    EXPECT_NEAR(BlackEdgeLimitsFor(95).lo, 0.05f, 1e-6f);
}

TEST(BlackEdgeScan, RunsDarkestLineAndLongestWhiteRun) {
    // Profiles normalised by 10, limits 0.85 / 0.1: values above 8.5 are
    // black lines, below 1 white, others grey.
    const BlackEdgeLimits limits = BlackEdgeLimitsFor(85);
    struct Case {
        const char* what;
        std::vector<float> p;
        bool outerAtStart;
        int maxIdx, black, white, longest, M;
    } cases[] = {
        // Scanned 5,4,3,2,1: white 5,4,3, grey 2, black 1.
        // The outer end (10) stays darker than the black line at index 1.
        {"top: white then black at the edge", {10, 9, 5, 0, 0, 0}, true, 0, 1, 0, 3, 3},
        // Scanned 4..1: all white; the longest run ends at index 1.
        {"top: all white", {0, 0, 0, 0, 0}, true, 0, 0, 4, 4, 1},
        // Scanned 1..4: black 1,2 (the second darker), white 3, black 4.
        {"bottom: black, white, black", {0, 9, 9.5f, 0, 9}, false, 2, 1, 0, 1, 3},
        // Equal black lines: the first in scan order is the darkest.
        {"bottom: equal black lines", {0, 9, 9, 0, 0}, false, 1, 0, 2, 2, 4},
        // Outer end darker than every scanned line stays the darkest.
        {"top: dark outer end", {10, 9, 9, 0}, true, 0, 2, 0, 1, 3},
    };
    for (const auto& c : cases) {
        const BlackEdgeScan s = ScanBlackEdgeBand(c.p, 10, c.outerAtStart, limits);
        EXPECT_EQ(s.maxIdx, c.maxIdx) << c.what;
        EXPECT_EQ(s.black, c.black) << c.what;
        EXPECT_EQ(s.white, c.white) << c.what;
        EXPECT_EQ(s.longest, c.longest) << c.what;
        EXPECT_EQ(s.M, c.M) << c.what;
    }
}

TEST(BlackEdgeErase, WhitePageLosesOneLineOnEachSide) {
    for (int bitCount : {1, 8, 24}) {
        CRawImage img = Page(160, 120, bitCount);
        CBlackEdgesErasingInfo step;
        BlackEdgeBox box;
        ASSERT_TRUE(EraseBlackEdges(img, step, &box)) << bitCount;
        EXPECT_EQ(box.left, 1);
        EXPECT_EQ(box.top, 1);
        EXPECT_EQ(box.right, 159);
        EXPECT_EQ(box.bottom, 119);
        EXPECT_EQ(img.width, 158) << bitCount;
        EXPECT_EQ(img.height, 118) << bitCount;
        EXPECT_EQ(img.bitCount, bitCount);
    }
}

TEST(BlackEdgeErase, TopMarginIsCutBelowItsEdge) {
    // The default binarisation of the working copy (8 x 8 blocks) leaves the
    // first and last rows white, so on gray and colour pages the darkest line
    // lies inside the margin; the cut still falls where the black run that
    // reaches the edge ends, not a margin width further in. On a 1-bit page
    // the darkest line is the outer one. Either way the cut lies just below
    // the margin.
    struct Case {
        int bitCount;
        int minTop, maxTop;
    } cases[] = {{1, 30, 32}, {8, 30, 32}, {24, 30, 32}};
    for (const auto& c : cases) {
        const int bitCount = c.bitCount;
        CRawImage img = Page(400, 480, bitCount, {{0, 0, 400, 30}});
        CBlackEdgesErasingInfo step;
        BlackEdgeBox box;
        ASSERT_TRUE(EraseBlackEdges(img, step, &box)) << bitCount;
        EXPECT_GE(box.top, c.minTop) << bitCount;
        EXPECT_LE(box.top, c.maxTop) << bitCount;
        EXPECT_EQ(box.left, 1);
        EXPECT_EQ(box.right, 399);
        EXPECT_EQ(box.bottom, 479);
        EXPECT_EQ(img.height, 479 - box.top);
        EXPECT_EQ(img.bitCount, bitCount);
        // No black is left in the first row.
        if (bitCount == 24) {
            for (int x = 0; x < img.width; ++x) ASSERT_EQ(img.Row(0)[3 * x + 1], 255) << x;
        }
    }
}

TEST(BlackEdgeErase, ScannerFrameAroundTextIsRemoved) {
    // A gray page with black margins of 25, 18, 30 and 22 pixels (left, top,
    // right, bottom) and text blocks inside.
    const int W = 640, H = 800;
    CRawImage img = Page(W, H, 8, {{0, 0, 25, H}, {0, 0, W, 18}, {W - 30, 0, W, H}, {0, H - 22, W, H}});
    for (int row = 0; row < 10; ++row)
        for (int i = 0; i < 20; ++i) {
            const int x = 80 + 24 * i, y = 120 + 55 * row;
            for (int yy = y; yy < y + 16; ++yy) std::memset(img.Row(yy) + x, 0, 12);
        }
    CBlackEdgesErasingInfo step;
    BlackEdgeBox box;
    ASSERT_TRUE(EraseBlackEdges(img, step, &box));
    // Each cut lies past the margin and inside its band (an eighth of the
    // page).
    EXPECT_GE(box.left, 25);
    EXPECT_LT(box.left, W / 8);
    EXPECT_GE(box.top, 18);
    EXPECT_LT(box.top, H / 8);
    EXPECT_LE(box.right, W - 30);
    EXPECT_GE(box.right, 7 * W / 8);
    EXPECT_LE(box.bottom, H - 22);
    EXPECT_GE(box.bottom, 7 * H / 8);
    EXPECT_EQ(img.width, box.right - box.left);
    EXPECT_EQ(img.height, box.bottom - box.top);
    // The text survives and the frame is gone from the page border.
    for (int y = 0; y < img.height; ++y) {
        ASSERT_EQ(img.Row(y)[0], 255) << y;
        ASSERT_EQ(img.Row(y)[img.width - 1], 255) << y;
    }
    for (int x = 0; x < img.width; ++x) {
        ASSERT_EQ(img.Row(0)[x], 255) << x;
        ASSERT_EQ(img.Row(img.height - 1)[x], 255) << x;
    }
    EXPECT_EQ(img.Row(120 - box.top)[80 - box.left], 0);
}

TEST(BlackEdgeErase, GrayPageEdgesLandOnTheMargins) {
    // A gray page (background 240, ink 15) of 1132 x 714 pixels with black
    // margins of 38 rows and 60 columns on every side and lines of text
    // blocks inside: the page that remains begins and ends at the margins.
    const int W = 1132, H = 714, mx = 60, my = 38;
    for (int bitCount : {8, 24}) {
        CRawImage img;
        ASSERT_EQ(img.Create(W, H, bitCount, 300), 1);
        const int bpp = bitCount / 8;
        for (int y = 0; y < H; ++y) {
            const bool marginRow = y < my || y >= H - my;
            for (int x = 0; x < W; ++x) {
                const bool margin = marginRow || x < mx || x >= W - mx;
                const bool text = !margin && y >= 120 && y < 600 && (y - 120) % 40 < 14 && x >= 150 &&
                                  x < 980 && (x - 150) % 18 < 11;
                std::memset(img.Row(y) + bpp * x, margin || text ? 15 : 240, static_cast<size_t>(bpp));
            }
        }
        CBlackEdgesErasingInfo step;
        BlackEdgeBox box;
        ASSERT_TRUE(EraseBlackEdges(img, step, &box)) << bitCount;
        EXPECT_NEAR(box.left, mx, 2) << bitCount;
        EXPECT_NEAR(box.top, my, 2) << bitCount;
        EXPECT_NEAR(box.right, W - mx, 2) << bitCount;
        EXPECT_NEAR(box.bottom, H - my, 2) << bitCount;
        EXPECT_EQ(img.width, box.right - box.left);
        EXPECT_EQ(img.height, box.bottom - box.top);
    }
}

TEST(BlackEdgeMargin, EdgeOfTheRunReachingTheImageEdge) {
    // Profiles normalised by 10, limits 0.85 / 0.1 (half level 0.475).
    const BlackEdgeLimits limits = BlackEdgeLimitsFor(85);
    struct Case {
        const char* what;
        std::vector<float> p;
        bool outerAtStart;
        int edge;
    } cases[] = {
        // Outermost line white (binarisation), darkest line inside the run
        // 1..4, then a smoothed edge: 6 at 5 (grey), 3 at 6 (below half).
        {"top: darkest inside the run", {0, 9, 10, 9, 9, 6, 3, 0, 0, 0}, true, 6},
        {"top: darkest at the outer end", {10, 9, 9, 9, 4, 0, 0, 0}, true, 4},
        {"top: no run at the edge", {10, 0, 0, 9.5f, 9.5f, 0, 0}, true, -1},
        {"top: darker bar further in", {0, 9, 0, 0, 10, 10, 0, 0}, true, -1},
        {"top: run never ends", {0, 9, 9, 9}, true, 3},
        // The bottom scan reaches the outer end itself: left grey there.
        {"bottom: darkest inside the run", {0, 0, 0, 3, 6, 9, 9, 10, 9, 7}, false, 4},
        {"bottom: darkest at the outer end", {0, 0, 0, 0, 4, 9, 9, 10}, false, 5},
        {"bottom: no run at the edge", {0, 0, 9.5f, 9.5f, 0, 0, 0}, false, -1},
    };
    for (const auto& c : cases) {
        const BlackEdgeScan s = ScanBlackEdgeBand(c.p, 10, c.outerAtStart, limits);
        EXPECT_EQ(MarginEdge(c.p, 10, s, c.outerAtStart, limits), c.edge) << c.what;
    }
}

TEST(BlackEdgeErase, DarkerBarInsideTheBandAddsTheEdgeRunToItsPosition) {
    // A 400 x 800 1-bit page whose top band (rows 0..99) holds a grey-black
    // margin at the edge (90 % of each row black) and a solid bar further in;
    // the bottom band (rows 700..799) holds the mirror image. The solid bar
    // is darker than the margin, so the darkest line is not in the run that
    // reaches the edge and the cut is placed by the darkest line, the black
    // run at the edge and the longest white run. The figures below were
    // worked out separately from the profile rules (row counts of the band's
    // middle half, Gaussian of sigma 2 over 15 taps, edges replicated,
    // limits 0.85 / 0.1):
    //  - bar below the longest white run: top scan gives darkest line 62
    //    (last row of the bar whose window is all bar), edge run 16, longest
    //    white run ending at 73, so top = max(73, 62 + 16) = 78; the bottom
    //    scan gives 37, 17 and 26 in band indices, so bottom =
    //    min(26, 37 - 17) + 700 = 720;
    //  - bar below a longer white run next to the margin: the scan ends in
    //    the edge run (no white run reaches the edge), top = 82 + 6 = 88 and
    //    bottom = 17 - 7 + 700 = 710.
    struct Band {
        int top, bottom;
        bool solid;
    };
    struct Case {
        const char* what;
        std::vector<Band> bands;  // in top-band rows; mirrored at the bottom
        int top, bottom;
    } cases[] = {
        {"bar below the longest white run", {{0, 20, false}, {40, 70, true}}, 78, 720},
        {"bar with the longest white run outside it", {{0, 10, false}, {60, 90, true}}, 88, 710},
    };
    for (const auto& c : cases) {
        CRawImage img = Page(400, 800, 1);
        for (const Band& b : c.bands)
            for (int y = b.top; y < b.bottom; ++y)
                for (int x = 0; x < 400; ++x) {
                    if (!b.solid && x % 10 == 0) continue;
                    skewpage::SetBlack(img, x, y);
                    skewpage::SetBlack(img, x, 799 - y);
                }
        BlackEdgeBox box;
        ASSERT_TRUE(MeasureBlackEdges(img, 85, &box)) << c.what;
        EXPECT_EQ(box.top, c.top) << c.what;
        EXPECT_EQ(box.bottom, c.bottom) << c.what;
        EXPECT_EQ(box.left, 1) << c.what;
        EXPECT_EQ(box.right, 399) << c.what;
    }
}

TEST(BlackEdgeErase, ThresholdZeroCountsAnyInkAsBlack) {
    // One black pixel in every row of the top band's columns: far below the
    // white limit with the default threshold, but a black line with 0.
    const int W = 160, H = 160;
    CRawImage base = Page(W, H, 1);
    for (int y = 0; y < H / 8; ++y) skewpage::SetBlack(base, W / 2, y);

    CRawImage img(base);
    CBlackEdgesErasingInfo step;
    BlackEdgeBox box;
    ASSERT_TRUE(EraseBlackEdges(img, step, &box));
    EXPECT_EQ(box.top, 1);

    img = base;
    step.threshold = 0;
    ASSERT_TRUE(EraseBlackEdges(img, step, &box));
    // Every scanned line is black and of equal darkness: the darkest stays at
    // the outer end, the black run covers lines n - 1 .. 1.
    EXPECT_EQ(box.top, H / 8 - 1);
    EXPECT_EQ(box.bottom, H - 1);
}

TEST(BlackEdgeErase, SmallPagesAreLeftUnchanged) {
    struct Case {
        int w, h, bitCount;
    } cases[] = {{7, 20, 1}, {20, 7, 8}, {1, 1, 24}, {7, 7, 1}};
    for (const auto& c : cases) {
        CRawImage img = Page(c.w, c.h, c.bitCount, {{0, 0, 2, 2}});
        const CRawImage before(img);
        CBlackEdgesErasingInfo step;
        EXPECT_TRUE(EraseBlackEdges(img, step)) << c.w << "x" << c.h;
        EXPECT_TRUE(SamePixels(img, before)) << c.w << "x" << c.h;
    }
    // From 8 x 8 on the page is measured. With one-line bands nothing is
    // scanned: top and left stay 0, bottom and right fall on the band's own
    // line (H - 1, W - 1). With two-line bands one line goes on every side.
    struct Sized {
        int size, kept, offset;
    } sizes[] = {{8, 7, 0}, {15, 14, 0}, {16, 14, 1}};
    for (const auto& c : sizes) {
        CRawImage img = Page(c.size, c.size, 1);
        CBlackEdgesErasingInfo step;
        BlackEdgeBox box;
        ASSERT_TRUE(EraseBlackEdges(img, step, &box)) << c.size;
        EXPECT_EQ(img.width, c.kept) << c.size;
        EXPECT_EQ(img.height, c.kept) << c.size;
        EXPECT_EQ(box.left, c.offset) << c.size;
        EXPECT_EQ(box.top, c.offset) << c.size;
    }
}

TEST(BlackEdgeErase, EmptyPageFails) {
    CRawImage empty;
    CBlackEdgesErasingInfo step;
    EXPECT_FALSE(EraseBlackEdges(empty, step));
    EXPECT_FALSE(empty.HasPixels());
}

TEST(GeometrySteps, ChainThroughTheExecutor) {
    // Through the executor, erasing (method 0) crops; the cropping placeholder
    // fails and leaves the page as it was (that its failure stops a chain is
    // the executor's own test).
    CRawImage img = Page(160, 120, 24);
    auto erase = CreateImageProcessingInfo(3);
    ASSERT_TRUE(erase);
    EXPECT_TRUE(ApplyImageProcessing(img, *erase));
    EXPECT_EQ(img.width, 158);
    EXPECT_EQ(img.bitCount, 24);

    auto crop = CreateImageProcessingInfo(9);
    ASSERT_TRUE(crop);
    const CRawImage before(img);
    EXPECT_FALSE(ApplyImageProcessing(img, *crop));
    EXPECT_TRUE(SamePixels(img, before));
}

}  // namespace
}  // namespace libMorvaneClassifier

#include <gtest/gtest.h>

#include <chrono>

#include "LayoutTestUtil.h"
#include "image/PixelTestUtil.h"
#include "layout/LayoutAnalyzer.h"
#include "layout/LayoutBase.h"
#include "layout/ZoneAnalyzer.h"

namespace libMorvaneClassifier {
namespace {

using namespace layouttest;

// Five lines of 20 glyphs (24 rows high) on a 600 x 400 page.
struct FivePage {
    CRawImage img = WhitePage(600, 400);
    std::vector<TextBox> lines;
    FivePage() {
        lines = DrawPage(img, {{30, 40, 20}, {90, 40, 20}, {150, 40, 20}, {210, 40, 20}, {270, 40, 20}});
    }
};

CLineLocationInfo Range(int l, int t, int r, int b) {
    CLineLocationInfo info;
    info.Left = l;
    info.Top = t;
    info.Right = r;
    info.Bottom = b;
    return info;
}

TEST(LayoutFactories, FollowTheTypeTable) {
    EXPECT_EQ(CreateLineAnalyser(0), nullptr);
    EXPECT_NE(dynamic_cast<CGrayscaleDifference*>(CreateLineAnalyser(1).get()), nullptr);
    EXPECT_NE(dynamic_cast<CBinaryProjection*>(CreateLineAnalyser(2).get()), nullptr);
    EXPECT_NE(dynamic_cast<CLayoutAnalyzer*>(CreateLineAnalyser(3).get()), nullptr);
    EXPECT_NE(dynamic_cast<CConnectedDomainAnalyzer*>(CreateCharAnalyser(0).get()), nullptr);
    EXPECT_EQ(CreateCharAnalyser(1), nullptr);
    EXPECT_NE(dynamic_cast<CBinaryProjection*>(CreateCharAnalyser(2).get()), nullptr);
    EXPECT_NE(dynamic_cast<CLayoutAnalyzer*>(CreateCharAnalyser(3).get()), nullptr);
    EXPECT_NE(dynamic_cast<CZoneLineAnalyzer*>(CreateLineAnalyser(4).get()), nullptr);
    EXPECT_EQ(CreateCharAnalyser(4), nullptr);
    for (int t : {-1, 5, 99, INT32_MIN}) {
        EXPECT_EQ(CreateLineAnalyser(t), nullptr);
        EXPECT_EQ(CreateCharAnalyser(t), nullptr);
    }
}

TEST(LayoutRefineLineExtents, RemovesSparseAndThinLinesAndMeasuresTheRest) {
    CRawImage img = WhitePage(200, 60);
    FillRect(img, 40, 2, 160, 12);   // rows 2..11: 120 columns of 10 black pixels
    FillRect(img, 10, 20, 30, 30);   // rows 20..29: 20 columns = a tenth of 200: removed
    FillRect(img, 10, 40, 150, 45);  // rows 40..44: 5 pixels per column: removed
    CLineProperty p = LineProp(0, 0, 0, 1000, 0, 100, 0, 100);
    TextBoxList boxes = {{7, 0, 9, 14}, {0, 18, 5, 32}, {0, 38, 5, 46}, {0, 50, 5, 50}};
    ASSERT_TRUE(RefineLineExtents(img, p, boxes));
    ASSERT_EQ(boxes.size(), 1u);
    // Columns 40..159 are the run; the last kept column is 159.
    EXPECT_EQ(boxes[0], (TextBox{40, 0, 159, 14}));

    // Outside the length limits: removed.
    boxes = {{0, 0, 0, 14}};
    CLineProperty shortMax = LineProp(0, 0, 0, 100, 0, 100, 0, 100);
    ASSERT_TRUE(RefineLineExtents(img, shortMax, boxes));
    EXPECT_TRUE(boxes.empty());
    // bottom is clipped to the image height.
    boxes = {{0, 0, 0, 500}};
    ASSERT_TRUE(RefineLineExtents(img, p, boxes));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].bottom, 60);

    CRawImage gray = pixeltest::Gray(10, 10, [](int, int) { return 0; });
    EXPECT_FALSE(RefineLineExtents(gray, p, boxes));
    EXPECT_FALSE(RefineLineExtents(CRawImage(), p, boxes));
}

// Every line analyser on the five-line page, and the frame of a positive Top.
TEST(LayoutLineAnalysers, FindTheLinesAndReportThemInImageRows) {
    FivePage page;
    CLineProperty p = LineProp(1, 0, 100, 600, 15, 40, 5, 60);
    for (int type : {2, 3}) {
        SCOPED_TRACE(type);
        auto a = CreateLineAnalyser(type);
        TextBoxList lines;
        ASSERT_TRUE(a->LocateLines(page.img, p, Range(0, 0, 100, 100), lines));
        ASSERT_EQ(lines.size(), page.lines.size());
        // The projection's smoothed profile (sigma 2) widens a line by a few
        // rows; the component analyser measures the glyphs themselves.
        const int tol = type == 2 ? 5 : 2;
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_NEAR(lines[i].top, page.lines[i].top, tol) << i;
            EXPECT_NEAR(lines[i].bottom, page.lines[i].bottom, tol) << i;
            EXPECT_NEAR(lines[i].left, page.lines[i].left, 2) << i;
            EXPECT_NEAR(lines[i].right, page.lines[i].right, 2) << i;
        }

        // Top 50: the lines of the lower half (rows 200..399), in page rows,
        // exactly as a crop of that half gives them moved down by 200.
        TextBoxList lower, cropped;
        ASSERT_TRUE(a->LocateLines(page.img, p, Range(0, 50, 100, 100), lower));
        CRawImage half;
        ASSERT_EQ(page.img.Crop(&half, 0, 200, 600, 400), 1);
        ASSERT_TRUE(a->LocateLines(half, p, Range(0, 0, 100, 100), cropped));
        ASSERT_EQ(lower.size(), 2u);
        ASSERT_EQ(cropped.size(), 2u);
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(lower[i], (TextBox{cropped[i].left, cropped[i].top + 200, cropped[i].right,
                                         cropped[i].bottom + 200}));
            EXPECT_NEAR(lower[i].top, page.lines[3 + i].top, tol);
        }
    }
}

TEST(LayoutLineAnalysers, RejectBadRangesImagesAndLimits) {
    FivePage page;
    CLineProperty p = LineProp(1, 0, 100, 600, 15, 40, 5, 60);
    CLineProperty zero;
    CRawImage gray = pixeltest::Gray(50, 50, [](int, int) { return 255; });
    for (int type : {1, 2, 3}) {
        SCOPED_TRACE(type);
        auto a = CreateLineAnalyser(type);
        TextBoxList lines;
        const CRawImage& img = type == 1 ? gray : page.img;
        EXPECT_FALSE(a->LocateLines(img, p, Range(60, 0, 40, 100), lines));    // Left > Right
        EXPECT_FALSE(a->LocateLines(img, p, Range(0, 70, 100, 30), lines));    // Top > Bottom
        EXPECT_FALSE(a->LocateLines(img, p, Range(120, 0, 300, 100), lines));  // clamped to 100..100
        EXPECT_FALSE(a->LocateLines(CRawImage(), p, Range(0, 0, 100, 100), lines));
        EXPECT_TRUE(lines.empty());
    }
    // All limits 0 (a property never read): nothing can be found. The
    // component analyser fails (every component is large, elongated or
    // removed); the projection succeeds with every line refined away.
    TextBoxList none;
    EXPECT_FALSE(CLayoutAnalyzer().LocateLines(page.img, zero, Range(0, 0, 100, 100), none));
    EXPECT_TRUE(CBinaryProjection().LocateLines(page.img, zero, Range(0, 0, 100, 100), none));
    EXPECT_TRUE(none.empty());
    // A range beyond 0..100 on the wide side is clamped: same as the full page.
    TextBoxList full, wide;
    ASSERT_TRUE(CBinaryProjection().LocateLines(page.img, p, Range(0, 0, 100, 100), full));
    ASSERT_TRUE(CBinaryProjection().LocateLines(page.img, p, Range(-50, -10, 400, 250), wide));
    EXPECT_EQ(full, wide);
    // Binary analysers refuse gray images and the gray one binary images.
    TextBoxList lines;
    EXPECT_FALSE(CBinaryProjection().LocateLines(gray, p, Range(0, 0, 100, 100), lines));
    EXPECT_FALSE(CLayoutAnalyzer().LocateLines(gray, p, Range(0, 0, 100, 100), lines));
    EXPECT_FALSE(CGrayscaleDifference().LocateLines(page.img, p, Range(0, 0, 100, 100), lines));
    EXPECT_FALSE(CConnectedDomainAnalyzer().LocateLines(page.img, p, Range(0, 0, 100, 100), lines));
}

TEST(LayoutBinaryProjection, FaintProfileFindsNoLines) {
    // Two black pixels per row: the smoothed row profile never reaches 5.
    CRawImage img = WhitePage(100, 60);
    for (int y = 10; y < 40; ++y) {
        SetBlack(img, 10, y);
        SetBlack(img, 50, y);
    }
    TextBoxList lines;
    EXPECT_FALSE(CBinaryProjection().LocateLines(img, LineProp(0, 0, 0, 100, 0, 100, 0, 100),
                                                 Range(0, 0, 100, 100), lines));
}

TEST(LayoutBinaryProjection, TouchingLinesAreSplitThenMergedWithinMaxHeight) {
    // Two text bands whose profile dips only slightly between them: the
    // profile rises again after falling, so two boxes are closed; the merge
    // pass joins them when the union fits in MaxHeightPx.
    CRawImage img = WhitePage(300, 80);
    FillRect(img, 20, 10, 280, 30);
    FillRect(img, 20, 30, 280, 32);
    for (int x = 20; x < 280; x += 2) FillRect(img, x, 32, x + 1, 34);  // half-inked rows 32..33
    FillRect(img, 20, 34, 280, 56);
    TextBoxList merged, split;
    ASSERT_TRUE(CBinaryProjection().LocateLines(img, LineProp(0, 0, 10, 300, 5, 60, 0, 10),
                                                Range(0, 0, 100, 100), merged));
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_NEAR(merged[0].top, 10, 5);
    EXPECT_NEAR(merged[0].bottom, 55, 5);
    ASSERT_TRUE(CBinaryProjection().LocateLines(img, LineProp(0, 0, 10, 300, 5, 30, 0, 10),
                                                Range(0, 0, 100, 100), split));
    EXPECT_EQ(split.size(), 2u);
}

TEST(LayoutBinaryProjection, CharsOfALineWithInclusiveBoxes) {
    CRawImage img = WhitePage(220, 40);
    const auto glyphs = DrawLine(img, 10, 8, 8, 16, 24, 8);
    TextBoxList chars;
    ASSERT_TRUE(CBinaryProjection().LocateChars(img, CharProp(8, 0, 5, 30, 10, 40), chars));
    ASSERT_EQ(chars.size(), glyphs.size());
    for (size_t i = 0; i < chars.size(); ++i) {
        EXPECT_NEAR(chars[i].left, glyphs[i].left, 1) << i;
        EXPECT_NEAR(chars[i].right, glyphs[i].right - 1, 1) << i;
        EXPECT_NEAR(chars[i].top, glyphs[i].top, 1) << i;
        EXPECT_NEAR(chars[i].bottom, glyphs[i].bottom - 1, 2) << i;
    }
    // MinNum above the count found: false.
    EXPECT_FALSE(CBinaryProjection().LocateChars(img, CharProp(9, 0, 5, 30, 10, 40), chars));
    // 8-bit image: false at once.
    EXPECT_FALSE(CBinaryProjection().LocateChars(pixeltest::Gray(30, 30, [](int, int) { return 0; }),
                                                 CharProp(0, 0, 5, 30, 10, 40), chars));
}

TEST(LayoutConnectedDomain, BoxesInImageCoordinatesAndComponentLimits) {
    CRawImage img = WhitePage(40, 20);
    FillRect(img, 3, 2, 8, 10);   // columns 3..7, rows 2..9
    FillRect(img, 20, 5, 22, 7);  // 4 pixels: ignored
    FillRect(img, 30, 1, 31, 6);  // 5 pixels in a column: kept
    TextBoxList chars;
    ASSERT_TRUE(CConnectedDomainAnalyzer().LocateChars(img, CharProp(0, 10, 0, 0, 0, 0), chars));
    ASSERT_EQ(chars.size(), 2u);
    EXPECT_EQ(chars[0], (TextBox{3, 2, 7, 9}));
    EXPECT_EQ(chars[1], (TextBox{30, 1, 30, 5}));
    // Diagonal contact does not connect (4-connectivity): two components.
    CRawImage diag = WhitePage(20, 20);
    FillRect(diag, 0, 0, 3, 3);
    FillRect(diag, 3, 3, 6, 6);
    ASSERT_TRUE(CConnectedDomainAnalyzer().LocateChars(diag, CharProp(0, 10, 0, 0, 0, 0), chars));
    EXPECT_EQ(chars.size(), 2u);

    // 141 / 201 separate 3 x 2 specks: MaxNum 10 allows 140, MaxNum 50 allows 200.
    auto specks = [](int n) {
        CRawImage s = WhitePage(4 * 50, 4 * ((n + 49) / 50));
        for (int i = 0; i < n; ++i)
            FillRect(s, (i % 50) * 4, (i / 50) * 4, (i % 50) * 4 + 3, (i / 50) * 4 + 2);
        return s;
    };
    EXPECT_TRUE(CConnectedDomainAnalyzer().LocateChars(specks(140), CharProp(0, 10, 0, 0, 0, 0), chars));
    EXPECT_EQ(chars.size(), 140u);
    EXPECT_FALSE(CConnectedDomainAnalyzer().LocateChars(specks(141), CharProp(0, 10, 0, 0, 0, 0), chars));
    EXPECT_TRUE(chars.empty());
    EXPECT_TRUE(CConnectedDomainAnalyzer().LocateChars(specks(200), CharProp(0, 50, 0, 0, 0, 0), chars));
    EXPECT_FALSE(CConnectedDomainAnalyzer().LocateChars(specks(201), CharProp(0, 50, 0, 0, 0, 0), chars));
    EXPECT_FALSE(CConnectedDomainAnalyzer().LocateChars(pixeltest::Gray(5, 5, [](int, int) { return 0; }),
                                                        CharProp(0, 50, 0, 0, 0, 0), chars));
}

// A gray page: dark text-like rows with contrast on a light background.
CRawImage GrayPage(int w, int h, const std::vector<std::pair<int, int>>& bands) {
    return pixeltest::Gray(w, h, [&](int x, int y) {
        for (const auto& b : bands)
            if (y >= b.first && y < b.second && x >= 40 && x < w - 40) return ((x / 4) % 2) ? 20 : 230;
        return 240;
    });
}

TEST(LayoutGrayscaleDifference, FindsContrastBandsAndHandlesDegenerateStrips) {
    CRawImage page = GrayPage(400, 200, {{30, 50}, {90, 110}, {150, 170}});
    TextBoxList lines;
    ASSERT_TRUE(CGrayscaleDifference().LocateLines(page, LineProp(0, 0, 50, 400, 10, 30, 5, 40),
                                                   Range(0, 0, 100, 100), lines));
    ASSERT_EQ(lines.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(lines[i].top, 30 + 60 * static_cast<int>(i), 3) << i;
        EXPECT_NEAR(lines[i].bottom, 50 + 60 * static_cast<int>(i), 3) << i;
        EXPECT_NEAR(lines[i].left, 40, 8) << i;
        EXPECT_NEAR(lines[i].right, 370, 10) << i;  // the right edge is pushed 10 columns out
    }
    // Fewer than 6 rows: no seeds, success without lines.
    CRawImage flat = pixeltest::Gray(50, 5, [](int x, int) { return x * 5; });
    lines = {{1, 1, 1, 1}};
    EXPECT_TRUE(CGrayscaleDifference().LocateLines(flat, LineProp(0, 0, 1, 50, 1, 5, 0, 5),
                                                   Range(0, 0, 100, 100), lines));
    EXPECT_TRUE(lines.empty());
    // A flat strip: every row is a darkest row of its neighbourhood, so
    // there are more than 200 seeds and the search fails.
    CRawImage stripes = pixeltest::Gray(20, 300, [](int, int) { return 128; });
    EXPECT_FALSE(CGrayscaleDifference().LocateLines(stripes, LineProp(0, 0, 1, 50, 1, 5, 0, 5),
                                                    Range(0, 0, 100, 100), lines));
    EXPECT_FALSE(CGrayscaleDifference().LocateChars(page, CharProp(0, 0, 0, 0, 0, 0), lines));
}

}  // namespace
}  // namespace libMorvaneClassifier

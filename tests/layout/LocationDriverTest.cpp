#include <gtest/gtest.h>

#include "CpuStopwatch.h"
#include "LayoutTestUtil.h"
#include "image/PixelTestUtil.h"
#include "layout/CharLocation.h"
#include "layout/LayoutBase.h"
#include "layout/LineLocation.h"
#include "preprocess/ImageProcessingInfo.h"
#include "xml/XmlDocument.h"

using morvane::test::CpuStopwatch;

namespace libMorvaneClassifier {
namespace {

using namespace layouttest;

std::unique_ptr<CLineLocationMethod> LineMethod(int type, int binarise = -1) {
    auto m = std::make_unique<CLineLocationMethod>();
    m->type = type;
    if (binarise >= 0) {
        auto step = std::make_unique<CGrayToBinInfo>();
        step->method = binarise;
        m->steps = std::make_unique<CImageProcessingList>();
        m->steps->Append(std::move(step));
    }
    return m;
}

CLineLocationInfo LineInfo(const CLineProperty& p,
                           std::vector<std::unique_ptr<CLineLocationMethod>> methods) {
    CLineLocationInfo info;
    info.property = std::make_unique<CLineProperty>(p);
    info.methods = std::make_unique<CLineLocationMethodList>();
    for (auto& m : methods) info.methods->Append(std::move(m));
    return info;
}

std::vector<std::unique_ptr<CLineLocationMethod>> One(int type) {
    std::vector<std::unique_ptr<CLineLocationMethod>> v;
    v.push_back(LineMethod(type));
    return v;
}

CCharLocationInfo CharInfo(const CCharProperty& p, std::vector<int> types) {
    CCharLocationInfo info;
    info.property = std::make_unique<CCharProperty>(p);
    info.methods = std::make_unique<CCharLocationMethodList>();
    for (int t : types) {
        auto m = std::make_unique<CCharLocationMethod>();
        m->type = t;
        info.methods->Append(std::move(m));
    }
    return info;
}

// Five lines of 20 glyphs on a 600 x 400 page; the third line runs from
// column 2 to 596 (near both edges).
struct Page {
    CRawImage img = WhitePage(600, 400);
    std::vector<TextBox> lines;
    Page() {
        lines = DrawPage(img, {{30, 40, 20}, {90, 40, 20}, {150, 2, 30}, {210, 40, 20}, {270, 40, 20}});
    }
};

const CLineProperty kLines = LineProp(1, 0, 100, 600, 15, 40, 5, 60);

TEST(LocateTextLines, MarginsAreAddedAndClippedToTheImage) {
    Page page;
    CLineProperty p = kLines;
    p.LeftPlus = -20;
    p.RightPlus = 20;
    p.TopPlus = -2;
    p.BottomPlus = 3;
    TextBoxList boxes;
    ASSERT_TRUE(LocateTextLines(page.img, LineInfo(p, One(3)), boxes));
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(boxes[2].left, 0);
    EXPECT_EQ(boxes[2].right, 599);
    EXPECT_EQ(boxes[0].left, page.lines[0].left - 20);
    EXPECT_NEAR(boxes[0].top, page.lines[0].top - 2, 2);
    EXPECT_NEAR(boxes[0].bottom, page.lines[0].bottom + 3, 2);
}

TEST(LocateTextLines, CountLimitsAndMethodOrder) {
    Page page;
    TextBoxList boxes;
    // MaxNum 0: any count from MinNum on.
    ASSERT_TRUE(LocateTextLines(page.img, LineInfo(LineProp(5, 0, 100, 600, 15, 40, 5, 60), One(3)), boxes));
    EXPECT_EQ(boxes.size(), 5u);
    // MinNum above the count, or MaxNum below it: false, boxes untouched.
    const TextBoxList before = {{1, 2, 3, 4}};
    for (const CLineProperty& p :
         {LineProp(6, 0, 100, 600, 15, 40, 5, 60), LineProp(1, 4, 100, 600, 15, 40, 5, 60),
          LineProp(INT32_MAX, INT32_MIN, 100, 600, 15, 40, 5, 60)}) {
        boxes = before;
        EXPECT_FALSE(LocateTextLines(page.img, LineInfo(p, One(3)), boxes));
        EXPECT_EQ(boxes, before);
    }
    // Methods without an analyser, or whose analyser fails, are skipped: the
    // gray analyser on a binary page fails, type 7 has no analyser.
    std::vector<std::unique_ptr<CLineLocationMethod>> methods;
    methods.push_back(LineMethod(7));
    methods.push_back(LineMethod(1));
    methods.push_back(LineMethod(2));
    boxes.clear();
    ASSERT_TRUE(LocateTextLines(page.img, LineInfo(kLines, std::move(methods)), boxes));
    EXPECT_EQ(boxes.size(), 5u);
    // No methods, or no property: nothing is located.
    CLineLocationInfo bare = LineInfo(kLines, {});
    EXPECT_FALSE(LocateTextLines(page.img, bare, boxes));
    bare.methods.reset();
    EXPECT_FALSE(LocateTextLines(page.img, bare, boxes));
    CLineLocationInfo noProperty = LineInfo(kLines, One(3));
    noProperty.property.reset();
    EXPECT_FALSE(LocateTextLines(page.img, noProperty, boxes));
    // MinNum 0 on a blank page: the empty result is acceptable but the
    // driver still answers false.
    CRawImage blank = WhitePage(600, 400);
    EXPECT_FALSE(LocateTextLines(blank, LineInfo(LineProp(0, 0, 100, 600, 15, 40, 5, 60), One(2)), boxes));
}

TEST(LocateTextLines, NextMethodWhenTheCountIsNotAccepted) {
    // Seven lines, four of them light gray: the 8 x 8 block binarisation
    // keeps all seven, Otsu's threshold only the three dark ones.
    CRawImage gray = pixeltest::Gray(600, 500, [](int, int) { return 255; });
    CRawImage mask = WhitePage(600, 500);
    DrawPage(mask, {{20, 40, 20},
                    {80, 40, 20},
                    {140, 40, 20},
                    {200, 40, 20},
                    {260, 40, 20},
                    {320, 40, 20},
                    {380, 40, 20}});
    for (int y = 0; y < 500; ++y)
        for (int x = 0; x < 600; ++x)
            if (pixeltest::Bit(mask, x, y)) gray.Row(y)[x] = (y / 60) % 2 ? 0 : 150;
    auto methods = [] {
        std::vector<std::unique_ptr<CLineLocationMethod>> v;
        v.push_back(LineMethod(3, 6));
        v.push_back(LineMethod(3, 7));
        return v;
    };
    TextBoxList boxes;
    // At most 5 lines: the first method's 7 are refused, the second's 3 used.
    ASSERT_TRUE(LocateTextLines(gray, LineInfo(LineProp(1, 5, 100, 600, 15, 40, 5, 200), methods()), boxes));
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_NEAR(boxes[0].top, 80, 2);
    // Any number: the first method's 7.
    ASSERT_TRUE(LocateTextLines(gray, LineInfo(LineProp(1, 0, 100, 600, 15, 40, 5, 200), methods()), boxes));
    EXPECT_EQ(boxes.size(), 7u);
    // The working copies are the methods' own: the input stays gray.
    EXPECT_EQ(gray.bitCount, 8);
}

TEST(LocateTextLines, RepeatedDefaultMethodsRunOnce) {
    // A list declaring 100000 methods and holding none: every slot has the
    // defaults (type 3, no steps). Locating with an unreachable MinNum must
    // not run the same analysis 100000 times.
    Page page;
    CXmlDocument xml;
    ASSERT_TRUE(
        xml.ParseText(u"<H><LineLocation MinNum=\"99\" MaxHeight=\"40\" MinHeight=\"15\" MaxLength=\"600\">"
                      u"<LineLocationMethodList Size=\"100000\"/></LineLocation></H>") &&
        xml.FindElement(u"H") && xml.EnterElement());
    CLineLocationInfo info;
    ASSERT_TRUE(info.Read(xml));
    ASSERT_EQ(info.methods->Count(), 100000);
    info.SetImageSize(10000, 10000);
    TextBoxList boxes;
    const CpuStopwatch clock;
    EXPECT_FALSE(LocateTextLines(page.img, info, boxes));
    EXPECT_LT(clock.Seconds(), 5.0);
}

TEST(LineBoxPasses, MergeSideBySideBoxes) {
    CLineProperty p = LineProp(0, 0, 0, 500, 0, 40, 0, 12);
    // 12 columns apart on one line: merged.
    TextBoxList boxes = {{10, 100, 110, 120}, {122, 102, 300, 121}};
    MergeLineBoxes(boxes, p);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], (TextBox{10, 100, 300, 121}));
    // Overlapping by 3 columns (chained gap -3): not merged.
    boxes = {{10, 100, 110, 120}, {107, 102, 300, 121}};
    MergeLineBoxes(boxes, p);
    EXPECT_EQ(boxes.size(), 2u);
    // Too far apart, or a union too long or too high: not merged.
    for (const TextBoxList& pair : {TextBoxList{{10, 100, 110, 120}, {123, 100, 200, 120}},
                                    TextBoxList{{10, 100, 300, 120}, {310, 100, 600, 120}},
                                    TextBoxList{{10, 100, 110, 120}, {115, 130, 200, 150}}}) {
        boxes = pair;
        MergeLineBoxes(boxes, p);
        EXPECT_EQ(boxes.size(), 2u);
    }
    // Three pieces of one line: the chained gap counts every step.
    boxes = {{10, 100, 100, 120}, {104, 100, 200, 120}, {204, 100, 300, 120}};
    MergeLineBoxes(boxes, p);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].right, 300);
    // Empty boxes are removed.
    boxes = {{10, 100, 10, 120}, {50, 10, 90, 10}, {0, 0, 5, 5}};
    MergeLineBoxes(boxes, p);
    EXPECT_EQ(boxes.size(), 1u);
}

TEST(LineBoxPasses, SizeFilterAndIsolatedLines) {
    CLineProperty p = LineProp(0, 0, 50, 400, 10, 20, 0, 100);
    TextBoxList boxes = {{0, 0, 49, 15}, {0, 0, 500, 15}, {0, 0, 501, 15},
                         {0, 0, 100, 9}, {0, 0, 100, 25}, {0, 0, 100, 26}};
    EXPECT_TRUE(FilterLineSizes(boxes, p));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].right, 500);
    EXPECT_EQ(boxes[1].bottom, 25);
    boxes.clear();
    EXPECT_FALSE(FilterLineSizes(boxes, p));
    EXPECT_FALSE(TrimIsolatedLines(boxes, p));

    // First line 300 rows above the next, last line 300 below its
    // predecessor, MaxSpacePx 100: both removed.
    boxes = {{0, 0, 100, 20}, {0, 320, 100, 340}, {0, 360, 100, 380}, {0, 680, 100, 700}};
    EXPECT_TRUE(TrimIsolatedLines(boxes, p));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].top, 320);
    boxes = {{0, 0, 100, 20}};
    EXPECT_TRUE(TrimIsolatedLines(boxes, p));
    EXPECT_EQ(boxes.size(), 1u);
}

// ---- characters ----

TEST(CharBoxPasses, SizeFilter) {
    CCharProperty p = CharProp(0, 0, 10, 40, 20, 50);
    // Tiny in both directions, and too big in both: removed.
    TextBoxList boxes = {{0, 0, 2, 5}, {0, 0, 41, 51}, {0, 0, 2, 30}, {0, 0, 41, 30}, {0, 0, 20, 30}};
    FilterCharSizes(boxes, p);
    EXPECT_EQ(boxes, (TextBoxList{{0, 0, 2, 30}, {0, 0, 41, 30}, {0, 0, 20, 30}}));
    // Zero limits never count as "below".
    boxes = {{0, 0, 1, 1}};
    FilterCharSizes(boxes, CharProp(0, 0, 0, 40, 0, 50));
    EXPECT_EQ(boxes.size(), 1u);
}

TEST(CharBoxPasses, ShapeFilterRemovesAndSplits) {
    // Width 300, height 20, MaxWidthPx 40 (g = 125): too wide, removed.
    CRawImage img = WhitePage(400, 60);
    const auto glyphs = DrawLine(img, 10, 10, 10, 20, 20, 10);
    TextBoxList boxes = {{10, 10, 310, 30}};
    FilterCharShapes(img, boxes, CharProp(0, 0, 5, 40, 10, 30, 0, 200));
    EXPECT_TRUE(boxes.empty());
    // MaxWidthPx 160 (g = 320): offered to the horizontal split, which cuts
    // at the gaps between the glyphs.
    boxes = {{10, 10, 310, 30}};
    FilterCharShapes(img, boxes, CharProp(0, 0, 5, 160, 10, 30, 0, 200));
    ASSERT_GE(boxes.size(), 8u);
    for (size_t i = 1; i < boxes.size(); ++i) EXPECT_EQ(boxes[i].left, boxes[i - 1].right);
    EXPECT_EQ(boxes.front().left, 10);
    EXPECT_EQ(boxes.back().right, 310);
    for (size_t i = 0; i + 1 < boxes.size(); ++i) EXPECT_LE(boxes[i].Width(), 45);

    // Height 1.2 x MaxHeightPx with a blank row in the middle: split there.
    CRawImage two = WhitePage(40, 60);
    FillRect(two, 5, 5, 25, 17);
    FillRect(two, 5, 18, 25, 29);  // row 17 blank
    boxes = {{5, 5, 25, 29}};      // height 24 = 1.2 x 20
    FilterCharShapes(two, boxes, CharProp(0, 0, 5, 40, 1, 20, 0, 500));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], (TextBox{5, 5, 25, 16}));
    EXPECT_EQ(boxes[1], (TextBox{5, 17, 25, 29}));
    // Far too high: removed.
    boxes = {{5, 0, 25, 40}};
    FilterCharShapes(two, boxes, CharProp(0, 0, 5, 40, 1, 20, 0, 500));
    EXPECT_TRUE(boxes.empty());
}

TEST(CharBoxPasses, OverlapMerge) {
    CCharProperty p = CharProp(0, 0, 1, 40, 1, 30);
    // Columns overlapping by 90% of the narrower: merged when low and narrow.
    TextBoxList boxes = {{10, 5, 20, 15}, {11, 16, 21, 25}, {40, 5, 50, 25}};
    MergeOverlappingChars(boxes, p);
    EXPECT_EQ(boxes, (TextBoxList{{10, 5, 21, 25}, {40, 5, 50, 25}}));
    // Union taller than MaxHeightPx: the lower box is dropped.
    boxes = {{10, 0, 20, 25}, {11, 26, 21, 36}};
    MergeOverlappingChars(boxes, p);
    EXPECT_EQ(boxes, (TextBoxList{{10, 0, 20, 25}}));
    boxes = {{10, 0, 20, 8}, {11, 9, 21, 36}};
    MergeOverlappingChars(boxes, p);
    EXPECT_EQ(boxes, (TextBoxList{{11, 9, 21, 36}}));
    // Union as wide as MaxWidthPx: left alone.
    boxes = {{0, 0, 40, 10}, {1, 11, 40, 20}};
    MergeOverlappingChars(boxes, p);
    EXPECT_EQ(boxes.size(), 2u);
}

TEST(LocateCharacters, CountsMethodsAndUntouchedOutput) {
    CRawImage img = WhitePage(300, 40);
    const auto glyphs = DrawLine(img, 10, 8, 10, 16, 24, 10);
    CCharProperty p = CharProp(1, 0, 5, 30, 10, 40, 10, 200);
    TextBoxList boxes;
    ASSERT_TRUE(LocateCharacters(img, CharInfo(p, {3}), boxes));
    EXPECT_EQ(boxes, TextBoxList(glyphs.begin(), glyphs.end()));
    // Connected components and projection find the same glyphs (inclusive boxes).
    for (int type : {0, 2}) {
        boxes.clear();
        ASSERT_TRUE(LocateCharacters(img, CharInfo(p, {type}), boxes)) << type;
        EXPECT_EQ(boxes.size(), glyphs.size()) << type;
    }
    // Ten are too many for MaxNum 9 whatever the method (type 1 has no
    // analyser, the projection also finds ten): false, output untouched.
    const TextBoxList before = {{7, 7, 7, 7}};
    boxes = before;
    EXPECT_FALSE(LocateCharacters(img, CharInfo(CharProp(1, 9, 5, 30, 10, 40, 10, 200), {3, 1, 2}), boxes));
    EXPECT_EQ(boxes, before);
    EXPECT_FALSE(LocateCharacters(CRawImage(), CharInfo(p, {3}), boxes));
    EXPECT_FALSE(LocateCharacters(img, CharInfo(p, {}), boxes));
    EXPECT_EQ(boxes, before);
}

TEST(LocateText, LinesThenCharactersInRegionCoordinates) {
    CRawImage img = WhitePage(500, 200);
    const auto l1 = DrawLine(img, 30, 40, 12, 16, 24, 10);
    const auto l2 = DrawLine(img, 30, 110, 9, 16, 24, 10);
    CLineLocationInfo lines = LineInfo(LineProp(1, 0, 100, 500, 15, 40, 5, 100), One(3));
    lines.property->LeftPlus = -4;
    lines.property->RightPlus = 4;
    lines.property->TopPlus = -4;
    lines.property->BottomPlus = 4;
    CCharLocationInfo chars = CharInfo(CharProp(1, 0, 5, 30, 10, 40, 10, 200), {3});
    chars.property->SetImageSize(10000, 10000);
    std::vector<TextLineResult> results;
    ASSERT_EQ(LocateText(img, lines, chars, results), 0);
    ASSERT_EQ(results.size(), 2u);
    ASSERT_EQ(results[0].chars.size(), l1.size());
    ASSERT_EQ(results[1].chars.size(), l2.size());
    for (size_t i = 0; i < l2.size(); ++i) EXPECT_EQ(results[1].chars[i], l2[i]) << i;
    EXPECT_EQ(results[0].chars[0], l1[0]);

    // No pixels: -61 with the results untouched.
    EXPECT_EQ(LocateText(CRawImage(), lines, chars, results), -61);
    EXPECT_EQ(results.size(), 2u);
    // No lines: -10.
    CRawImage blank = WhitePage(500, 200);
    EXPECT_EQ(LocateText(blank, lines, chars, results), -10);
    EXPECT_TRUE(results.empty());
    // Lines found but no characters in any of them: -11.
    CCharLocationInfo impossible = CharInfo(CharProp(50, 0, 5, 30, 10, 40, 10, 200), {3});
    EXPECT_EQ(LocateText(img, lines, impossible, results), -11);
    EXPECT_TRUE(results.empty());
}

// Degenerate images through every analyser and both drivers: a result, no
// crash, bounded time.
TEST(LayoutBadInput, DegenerateImagesAndLimits) {
    std::vector<CRawImage> images;
    images.push_back(WhitePage(1, 1));
    images.push_back(WhitePage(1, 100000));
    images.push_back(WhitePage(100000, 1));
    CRawImage black = WhitePage(300, 200);
    FillRect(black, 0, 0, 300, 200);
    images.push_back(black);
    images.push_back(WhitePage(300, 200));
    CRawImage dot = WhitePage(1, 1);
    SetBlack(dot, 0, 0);
    images.push_back(dot);
    CRawImage tall = WhitePage(1, 100000);
    FillRect(tall, 0, 0, 1, 100000);
    images.push_back(tall);
    images.push_back(pixeltest::Gray(1, 1, [](int, int) { return 0; }));
    images.push_back(pixeltest::Gray(1, 3000, [](int, int y) { return y % 7 ? 255 : 0; }));

    const CLineProperty lineProps[] = {
        CLineProperty(), LineProp(1, 0, 1, 600, 1, 40, 1, 60), LineProp(-5, -5, -100, -1, 50, 10, -3, -9),
        LineProp(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX)};
    const CCharProperty charProps[] = {
        CCharProperty(), CharProp(1, 0, 1, 30, 1, 40, 10, 200), CharProp(-4, -4, -10, -1, 60, 2, 300, -20),
        CharProp(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX)};
    const CpuStopwatch clock;
    for (const CRawImage& img : images) {
        for (const CLineProperty& lp : lineProps) {
            for (int type : {1, 2, 3}) {
                CLineLocationInfo range;
                range.Left = 80;
                range.Right = 20;  // inverted: must fail, not crash
                TextBoxList out;
                EXPECT_FALSE(CreateLineAnalyser(type)->LocateLines(img, lp, range, out));
                range.Left = 0;
                range.Right = 100;
                CreateLineAnalyser(type)->LocateLines(img, lp, range, out);
                for (const TextBox& b : out) {
                    EXPECT_GE(b.bottom, b.top - 1);
                    EXPECT_LE(b.bottom, img.height);
                }
            }
            TextBoxList boxes;
            CLineLocationInfo info = LineInfo(lp, One(3));
            info.methods->Append(LineMethod(2));
            info.methods->Append(LineMethod(1));
            if (LocateTextLines(img, info, boxes)) {
                for (const TextBox& b : boxes) {
                    EXPECT_GE(b.left, 0);
                    EXPECT_LE(b.right, img.width - 1);
                }
            }
        }
        for (const CCharProperty& cp : charProps) {
            for (int type : {0, 2, 3}) {
                TextBoxList out;
                CreateCharAnalyser(type)->LocateChars(img, cp, out);
            }
            TextBoxList boxes;
            LocateCharacters(img, CharInfo(cp, {0, 2, 3}), boxes);
            std::vector<TextLineResult> results;
            const int32_t code =
                LocateText(img, LineInfo(lineProps[1], One(3)), CharInfo(cp, {3, 0}), results);
            EXPECT_TRUE(code == 0 || code == -10 || code == -11) << code;
            EXPECT_EQ(code == 0, !results.empty());
        }
    }
    EXPECT_LT(clock.Seconds(), 60.0);
}

}  // namespace
}  // namespace libMorvaneClassifier

#include <gtest/gtest.h>

#include "LayoutTestUtil.h"
#include "image/PixelTestUtil.h"
#include "layout/LayoutAnalyzer.h"

namespace libMorvaneClassifier {
namespace {

using namespace layouttest;
using namespace layout_detail;

TEST(LayoutComponents, ShortRunsNeedInkBelow) {
    CRawImage img = WhitePage(40, 10);
    FillRect(img, 2, 2, 4, 3);    // 2-pixel run, nothing below: noise
    FillRect(img, 10, 2, 12, 3);  // 2-pixel run with a pixel below: a component
    SetBlack(img, 12, 3);         // diagonal contact
    FillRect(img, 20, 2, 23, 3);  // 3-pixel run: a component on its own
    std::vector<Component> comps;
    ASSERT_TRUE(LabelComponents(img, comps));
    ASSERT_EQ(comps.size(), 2u);
    EXPECT_EQ(comps[0].left, 10);
    EXPECT_EQ(comps[0].right, 13);
    EXPECT_EQ(comps[0].top, 2);
    EXPECT_EQ(comps[0].bottom, 4);  // the row after the last
    EXPECT_EQ(comps[0].pixels, 3);
    EXPECT_EQ(comps[1].left, 20);
    EXPECT_EQ(comps[1].pixels, 3);
}

TEST(LayoutComponents, MergesInOnePassAndKeepsTheSmallerIndex) {
    // A "U": two strokes started separately, joined by the bottom bar.
    CRawImage img = WhitePage(30, 20);
    FillRect(img, 2, 2, 5, 15);
    FillRect(img, 12, 2, 15, 15);
    FillRect(img, 2, 15, 15, 17);
    // A component touching the last row: bottom is clipped to height - 1.
    FillRect(img, 20, 18, 26, 20);
    std::vector<Component> comps;
    ASSERT_TRUE(LabelComponents(img, comps));
    ASSERT_EQ(comps.size(), 3u);
    EXPECT_EQ(comps[0].kind, kKindNormal);
    EXPECT_EQ(comps[0].left, 2);
    EXPECT_EQ(comps[0].right, 15);
    EXPECT_EQ(comps[0].bottom, 17);
    EXPECT_EQ(comps[0].pixels, 3 * 13 * 2 + 13 * 2);
    EXPECT_EQ(comps[1].kind, kKindRemoved);
    EXPECT_EQ(comps[2].bottom, 19);
    EXPECT_FALSE(LabelComponents(pixeltest::Gray(4, 4, [](int, int) { return 0; }), comps));
}

TEST(LayoutComponents, ClassificationBySizeAndShape) {
    CRawImage img = WhitePage(700, 60);
    FillRect(img, 10, 5, 610, 8);     // rule 600 x 3: elongated
    FillRect(img, 10, 20, 16, 26);    // speck 6 x 6: small
    FillRect(img, 40, 20, 52, 40);    // glyph 12 x 20: normal
    FillRect(img, 100, 10, 300, 58);  // block 200 x 48: large
    FillRect(img, 400, 59, 420, 60);  // in the last row: zero height, removed
    std::vector<Component> comps;
    ASSERT_TRUE(LabelComponents(img, comps));
    ClassifyComponents(comps, 30);
    ASSERT_EQ(comps.size(), 5u);
    auto kindAt = [&](int left, int top) {
        for (const Component& c : comps)
            if (c.left == left && c.top == top) return static_cast<int>(c.kind);
        return -1;
    };
    EXPECT_EQ(kindAt(10, 5), kKindElongated);
    EXPECT_EQ(kindAt(10, 20), kKindSmall);
    EXPECT_EQ(kindAt(40, 20), kKindNormal);
    EXPECT_EQ(kindAt(100, 10), kKindLarge);
    EXPECT_EQ(kindAt(400, 59), kKindRemoved);
    // MaxHeightPx 0: nothing is normal or small.
    ClassifyComponents(comps, 0);
    for (const Component& c : comps) EXPECT_TRUE(c.kind >= kKindElongated) << c.left;
    RemoveKinds(comps, false, false, true, true);
    EXPECT_TRUE(comps.empty());
}

TEST(LayoutComponents, BrokenGlyphIsMergedByTheRowRule) {
    // A bracket and a bar inside its box, not touching: rows overlap fully,
    // columns overlap: rule 1 merges them and adds the pixels.
    CRawImage img = WhitePage(40, 40);
    FillRect(img, 10, 10, 21, 12);
    FillRect(img, 10, 10, 12, 31);
    FillRect(img, 10, 29, 21, 31);
    FillRect(img, 16, 15, 19, 26);
    std::vector<Component> comps;
    ASSERT_TRUE(LabelComponents(img, comps));
    ClassifyComponents(comps, 30);
    RemoveKinds(comps, false, false, true, true);
    ASSERT_EQ(comps.size(), 2u);
    const int32_t total = comps[0].pixels + comps[1].pixels;
    MergeComponents(comps, 1);
    ASSERT_EQ(comps.size(), 1u);
    EXPECT_EQ(comps[0].left, 10);
    EXPECT_EQ(comps[0].right, 21);
    EXPECT_EQ(comps[0].pixels, total);
    // Rule 3 merges without adding pixels.
    ASSERT_TRUE(LabelComponents(img, comps));
    ClassifyComponents(comps, 30);
    RemoveKinds(comps, false, false, true, true);
    comps[1] = comps[0];
    comps[1].pixels = 5;
    const int32_t first = comps[0].pixels;
    MergeComponents(comps, 3);
    ASSERT_EQ(comps.size(), 1u);
    EXPECT_EQ(comps[0].pixels, first);
}

TEST(LayoutAnalyzerChars, OneLineGivesItsGlyphBoxes) {
    CRawImage img = WhitePage(300, 40);
    const auto glyphs = DrawLine(img, 10, 8, 10, 16, 24, 10);
    SetBlack(img, 200, 2);  // a stray pixel: noise, not a component
    TextBoxList chars;
    ASSERT_TRUE(CLayoutAnalyzer().LocateChars(img, CharProp(1, 40, 5, 30, 10, 40), chars));
    ASSERT_EQ(chars.size(), glyphs.size());
    for (size_t i = 0; i < chars.size(); ++i) EXPECT_EQ(chars[i], glyphs[i]) << i;

    // Limits all 0: every component is large or removed: failure.
    EXPECT_FALSE(CLayoutAnalyzer().LocateChars(img, CCharProperty(), chars));
    // Fewer than 6 rows, or a gray image: failure.
    CRawImage flat = WhitePage(50, 5);
    FillRect(flat, 2, 0, 40, 5);
    EXPECT_FALSE(CLayoutAnalyzer().LocateChars(flat, CharProp(0, 0, 1, 100, 1, 100), chars));
    EXPECT_FALSE(CLayoutAnalyzer().LocateChars(pixeltest::Gray(20, 20, [](int, int) { return 0; }),
                                               CharProp(0, 0, 1, 100, 1, 100), chars));
}

TEST(LayoutAnalyzerChars, DotsAreDroppedOnRequest) {
    CRawImage img = WhitePage(300, 40);
    const auto glyphs = DrawLine(img, 10, 8, 6, 16, 24, 20);
    FillRect(img, 138, 26, 143, 31);  // a 5 x 5 dot on the base line between glyphs
    CCharProperty p = CharProp(1, 40, 5, 30, 10, 40);
    TextBoxList chars;
    ASSERT_TRUE(CLayoutAnalyzer().LocateChars(img, p, chars));
    EXPECT_EQ(chars.size(), 7u);
    p.IsIgnorePoint = 1;
    p.MaxPointWidth = 6;
    p.MaxPointHeight = 6;
    chars.clear();
    ASSERT_TRUE(CLayoutAnalyzer().LocateChars(img, p, chars));
    EXPECT_EQ(chars.size(), 6u);
}

// Three lines of increasing height: the tallest-line filter drops the
// first; of the two groups left only one can have an accepted count.
struct ThreeLines {
    CRawImage img = WhitePage(400, 150);
    std::vector<TextBox> mid, tall;
    ThreeLines() {
        DrawLine(img, 10, 10, 4, 12, 14, 10);
        mid = DrawLine(img, 10, 45, 9, 14, 22, 10);
        tall = DrawLine(img, 10, 95, 3, 16, 30, 10);
    }
};

TEST(LayoutAnalyzerChars, GroupsOutsideTheCountRangeAreNeverChosen) {
    ThreeLines t;
    TextBoxList chars;
    // The first group (9 members) qualifies; the later one (3) is out of
    // range and must not displace the choice.
    ASSERT_TRUE(CLayoutAnalyzer().LocateChars(t.img, CharProp(5, 12, 5, 30, 10, 45), chars));
    ASSERT_EQ(chars.size(), t.mid.size());
    for (size_t i = 0; i < chars.size(); ++i) EXPECT_EQ(chars[i], t.mid[i]) << i;
    // MaxNum 0 means no upper limit here too.
    chars.clear();
    ASSERT_TRUE(CLayoutAnalyzer().LocateChars(t.img, CharProp(5, 0, 5, 30, 10, 45), chars));
    EXPECT_EQ(chars.size(), t.mid.size());
    // The taller group with the count range 2..4 (exclusive bounds).
    chars.clear();
    ASSERT_TRUE(CLayoutAnalyzer().LocateChars(t.img, CharProp(2, 4, 5, 30, 10, 45), chars));
    ASSERT_EQ(chars.size(), t.tall.size());
    EXPECT_EQ(chars[0], t.tall[0]);
    // No group in range: success without characters.
    chars.clear();
    EXPECT_TRUE(CLayoutAnalyzer().LocateChars(t.img, CharProp(9, 12, 5, 30, 10, 45), chars));
    EXPECT_TRUE(chars.empty());
    EXPECT_TRUE(CLayoutAnalyzer().LocateChars(t.img, CharProp(20, 30, 5, 30, 10, 45), chars));
    EXPECT_TRUE(chars.empty());
    // The first, lowest line (4 glyphs) would qualify for 3 < n < 5, but the
    // tallest-line filter has dropped it: no characters.
    EXPECT_TRUE(CLayoutAnalyzer().LocateChars(t.img, CharProp(3, 5, 5, 30, 10, 45), chars));
    EXPECT_TRUE(chars.empty());
    // On its own (a crop of the first line) it is the lone candidate: kept.
    CRawImage first;
    ASSERT_EQ(t.img.Crop(&first, 0, 0, 400, 35), 1);
    ASSERT_TRUE(CLayoutAnalyzer().LocateChars(first, CharProp(3, 5, 5, 30, 5, 45), chars));
    EXPECT_EQ(chars.size(), 4u);
}

}  // namespace
}  // namespace libMorvaneClassifier

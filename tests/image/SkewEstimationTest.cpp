#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "image/SkewEstimation.h"
#include "image/SkewPageUtil.h"

namespace {

using skewpage::FillRect;

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

CRawImage BlankPage(int w, int h) {
    CRawImage img;
    EXPECT_EQ(img.Create(w, h, 1, 300), 1);
    return img;
}

// Draws `count` equal blocks of size bw x bh from x = left with the given gap;
// block i has its top at tops[i].
void DrawRow(CRawImage& img, int left, int bw, int bh, int gap, const std::vector<int>& tops) {
    for (size_t i = 0; i < tops.size(); ++i) {
        const int x = left + static_cast<int>(i) * (bw + gap);
        FillRect(img, x, tops[i], x + bw, tops[i] + bh);
    }
}

TEST(SkewComponents, BoxesOfDiagonalNeighboursAndLastRow) {
    CRawImage img = BlankPage(20, 10);
    skewpage::SetBlack(img, 3, 2);
    skewpage::SetBlack(img, 4, 3);  // touches (3,2) diagonally
    FillRect(img, 10, 7, 13, 10);   // reaches the last row
    skewpage::SetBlack(img, 19, 0);
    std::vector<SkewBox> boxes;
    ASSERT_TRUE(FindComponentBoxes(img, &boxes));
    ASSERT_EQ(boxes.size(), 3u);
    // Ordered by their first pixel.
    EXPECT_EQ(boxes[0].left, 19);
    EXPECT_EQ(boxes[1].left, 3);
    EXPECT_EQ(boxes[1].top, 2);
    EXPECT_EQ(boxes[1].right, 5);
    EXPECT_EQ(boxes[1].bottom, 4);
    EXPECT_EQ(boxes[2].top, 7);
    EXPECT_EQ(boxes[2].bottom, 9);  // height - 1, not height
    EXPECT_EQ(boxes[2].right, 13);
}

TEST(SkewComponents, UShapeMergesIntoOneBoxAndPaddingIsIgnored) {
    CRawImage img = BlankPage(13, 8);
    FillRect(img, 1, 1, 2, 6);  // left arm
    FillRect(img, 6, 1, 7, 6);  // right arm
    FillRect(img, 1, 5, 7, 6);  // base joins them below
    img.Row(3)[1] |= 0x07;      // padding bits past column 12 in row 3
    img.Row(3)[2] = 0xFF;       // padding byte
    std::vector<SkewBox> boxes;
    ASSERT_TRUE(FindComponentBoxes(img, &boxes));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].left, 1);
    EXPECT_EQ(boxes[0].right, 7);
    EXPECT_EQ(boxes[0].top, 1);
    EXPECT_EQ(boxes[0].bottom, 6);
}

TEST(SkewThicken, SameAsTheHorizontalMorphologyPass) {
    std::mt19937 rng(42);
    for (int w : {1, 7, 8, 9, 31, 63, 64, 65, 130, 200}) {
        for (int length : {0, 1, 2, 6, 9, 64, 65, 70, 300}) {
            CRawImage a;
            ASSERT_EQ(a.Create(w, 5, 1, 300), 1);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < w; ++x)
                    if (rng() % 23 == 0) skewpage::SetBlack(a, x, y);
            a.Row(2)[a.bytesPerRow - 1] = 0xFF;  // padding must not spread
            CRawImage b(a);
            ThickenLeftward(a, length);
            b.Morpho(2, length);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(skewpage::IsBlack(a, x, y), skewpage::IsBlack(b, x, y))
                        << "width " << w << " length " << length << " at " << x << "," << y;
        }
    }
    // A single pixel in column 10 spreads over columns 5 to 10 with length 6.
    CRawImage one;
    ASSERT_EQ(one.Create(40, 1, 1, 300), 1);
    skewpage::SetBlack(one, 10, 0);
    ThickenLeftward(one, 6);
    for (int x = 0; x < 40; ++x) EXPECT_EQ(skewpage::IsBlack(one, x, 0), x >= 5 && x <= 10) << x;
}

TEST(SkewTallRuns, RunsOfElevenOrMoreGoShorterOnesStay) {
    // Each column holds vertical runs of known lengths, some touching the top
    // or bottom edge; a pixel must survive exactly when its run is shorter
    // than 11 pixels.
    struct Run {
        int column, top, length;
    };
    std::vector<Run> runs;
    for (int len = 1; len <= 30; ++len) runs.push_back({len, (len * 7) % (41 - len), len});
    runs.push_back({33, 0, 10});   // top edge, kept
    runs.push_back({34, 0, 11});   // top edge, erased
    runs.push_back({35, 30, 10});  // bottom edge, kept
    runs.push_back({36, 29, 11});  // bottom edge, erased
    runs.push_back({37, 2, 10});   // two runs of 10 one pixel apart: both kept
    runs.push_back({37, 13, 10});
    runs.push_back({38, 0, 40});  // the full height
    CRawImage img;
    ASSERT_EQ(img.Create(70, 40, 1, 300), 1);
    auto set = [&](int x, int y) { img.Row(y)[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7)); };
    auto get = [&](int x, int y) { return (img.Row(y)[x >> 3] >> (7 - (x & 7))) & 1; };
    for (const Run& r : runs)
        for (int y = r.top; y < r.top + r.length; ++y) set(r.column, y);
    EraseTallRuns(img);
    for (int x = 0; x < 70; ++x)
        for (int y = 0; y < 40; ++y) {
            int expected = 0;
            for (const Run& r : runs)
                if (r.column == x && y >= r.top && y < r.top + r.length && r.length < 11) expected = 1;
            EXPECT_EQ(get(x, y), expected) << "column " << x << " row " << y;
        }
}

TEST(SkewEstimate, SingleFallingLineUsesCentres) {
    // Six equal characters whose centres drop by one pixel each: 5 pixels
    // over the 420 pixels between the first and last centre.
    CRawImage img = BlankPage(800, 300);
    DrawRow(img, 100, 40, 45, 44, {100, 101, 102, 103, 104, 105});
    EXPECT_NEAR(img.EstimateSkew(), std::atan(-5.0 / 420.0), 1e-12);
    // Rising the other way.
    CRawImage up = BlankPage(800, 300);
    DrawRow(up, 100, 40, 45, 44, {105, 104, 103, 102, 101, 100});
    EXPECT_NEAR(up.EstimateSkew(), std::atan(5.0 / 420.0), 1e-12);
}

TEST(SkewEstimate, TooShortOrWrongFormatGivesZero) {
    CRawImage four = BlankPage(800, 300);
    DrawRow(four, 100, 20, 20, 10, {100, 101, 102, 103});
    EXPECT_EQ(four.EstimateSkew(), 0.0);

    CRawImage five = BlankPage(800, 300);
    DrawRow(five, 100, 20, 20, 10, {100, 101, 102, 103, 104});
    EXPECT_NEAR(five.EstimateSkew(), std::atan(-4.0 / 120.0), 1e-12);

    CRawImage gray;
    ASSERT_EQ(gray.Create(800, 300, 8, 300), 1);
    EXPECT_EQ(gray.EstimateSkew(), 0.0);
    CRawImage empty;
    EXPECT_EQ(empty.EstimateSkew(), 0.0);
    CRawImage blank = BlankPage(50, 50);
    EXPECT_EQ(blank.EstimateSkew(), 0.0);
}

TEST(SkewEstimate, OnlyCharacterSizedComponentsCount) {
    // Width at most 40, height at most 50, both above 5.
    struct Case {
        int w, h, gap;
        bool found;
    } cases[] = {
        {40, 50, 50, true}, {41, 30, 20, false}, {30, 51, 40, false}, {5, 20, 10, false},
        {20, 5, 3, false},  {6, 6, 5, true},     {12, 18, 12, true},
    };
    for (const auto& c : cases) {
        CRawImage img = BlankPage(1000, 300);
        DrawRow(img, 50, c.w, c.h, c.gap, {100, 100, 100, 100, 100, 100});
        CSkewEstimation est;
        const double a = est.Estimate(img);
        EXPECT_EQ(a, 0.0) << c.w << "x" << c.h;  // a level line
        EXPECT_EQ(est.lines.empty(), !c.found) << c.w << "x" << c.h;
        if (c.found) {
            EXPECT_EQ(est.lines[0].size(), 6u) << c.w << "x" << c.h;
        }
    }
}

TEST(SkewEstimate, ChainBreaksOnGapHeightAndOffset) {
    // Ten blocks 20 x 20 (H = 20: gap limit 24, height and centre-offset
    // limits 4); block 5 is made to differ so that one joint may fail. The
    // blocks before it then form a chain of five.
    struct Case {
        const char* what;
        int gap;
        int height;
        int shift;
        size_t longest;
    } cases[] = {
        {"nothing broken", 10, 20, 0, 10},  {"gap 23 joins", 23, 20, 0, 10},
        {"gap 24 breaks", 24, 20, 0, 5},    {"height 23 joins", 10, 23, 0, 10},
        {"height 24 breaks", 10, 24, 0, 5}, {"offset 3 joins", 10, 20, 3, 10},
        {"offset 4 breaks", 10, 20, 4, 5},
    };
    for (const auto& c : cases) {
        CRawImage img = BlankPage(1000, 200);
        int x = 50;
        for (int i = 0; i < 10; ++i) {
            if (i == 5) x += c.gap - 10;
            const int top = i == 5 ? 80 + c.shift : 80;
            const int h = i == 5 ? c.height : 20;
            FillRect(img, x, top, x + 20, top + h);
            x += 30;
        }
        CSkewEstimation est;
        est.Estimate(img);
        ASSERT_FALSE(est.lines.empty()) << c.what;
        EXPECT_EQ(est.lines[0].size(), c.longest) << c.what;
    }
}

TEST(SkewEstimate, ThreeLinesTakeTheMedianOfBottomSlopes) {
    // Lines of 8, 7 and 6 blocks with bottoms dropping by 0, 1 and 3 pixels
    // per block, and a 2-block line with a steep slope that is not among
    // the three longest.
    CRawImage img = BlankPage(1000, 900);
    auto line = [&](int y, int count, int step) {
        std::vector<int> tops;
        for (int i = 0; i < count; ++i) tops.push_back(y + i * step);
        DrawRow(img, 100, 20, 20, 10, tops);
    };
    line(100, 8, 0);
    line(300, 7, 1);
    line(500, 6, 3);
    line(750, 2, -3);
    CSkewEstimation est;
    const double a = est.Estimate(img);
    ASSERT_EQ(est.lines.size(), 4u);
    // Middle slope: the 7-block line, bottoms dropping 6 over 180 pixels.
    EXPECT_NEAR(a, std::atan(-6.0 / 180.0), 1e-12);
}

TEST(SkewEstimate, InterleavedRowsInOneBandDoNotChain) {
    // Two rows 12 pixels apart share one band; sorted by left edge their
    // blocks alternate, and every neighbour is off by more than H / 5.
    CRawImage img = BlankPage(1000, 300);
    for (int i = 0; i < 10; ++i) {
        FillRect(img, 50 + 40 * i, 100, 64 + 40 * i, 120);
        FillRect(img, 70 + 40 * i, 112, 84 + 40 * i, 132);
    }
    CSkewEstimation est;
    EXPECT_EQ(est.Estimate(img), 0.0);
    EXPECT_EQ(est.components.size(), 20u);
    EXPECT_TRUE(est.lines.empty());
}

struct AccuracyCase {
    const char* how;
    CRawImage (*make)(int, int, double, unsigned, const skewpage::TextStyle&);
    skewpage::TextStyle style;
    double tolerance;  // degrees
    int stepTenths;    // skews from -4.5 to +4.5 degrees in this step
};

skewpage::TextStyle MixedHeights() {
    skewpage::TextStyle st;
    st.tallEvery = 5;
    st.lowEvery = 8;
    return st;
}

TEST(SkewEstimate, GeneratedPagesAtKnownSkews) {
    const AccuracyCase makers[] = {
        {"drawn tilted", &skewpage::MakeTiltedTextPage, {}, 0.15, 5},
        {"rotated", &skewpage::MakeRotatedTextPage, {}, 0.15, 15},
        // Blocks of three heights break the chains into short pieces, so the
        // longest lines span less of the row and the estimate is coarser.
        {"drawn tilted with ascenders and descenders", &skewpage::MakeTiltedTextPage, MixedHeights(), 0.25,
         5},
    };
    for (const auto& m : makers) {
        double worst = 0.0;
        for (int tenths = -45; tenths <= 45; tenths += m.stepTenths) {
            const double truth = tenths / 10.0 * kDeg;
            CRawImage page = m.make(1400, 1800, truth, static_cast<unsigned>(tenths + 100), m.style);
            CSkewEstimation est;
            const double a = est.Estimate(page);
            const double err = std::fabs(a - truth) / kDeg;
            worst = std::max(worst, err);
            EXPECT_LT(err, m.tolerance)
                << m.how << " at " << tenths / 10.0 << " degrees: estimate " << a / kDeg;
        }
        {
            char summary[512];
            std::snprintf(
                summary, sizeof summary,
                "[ skew ] %s pages, -4.5 to +4.5 degrees in steps of %.1f: largest error %.4f degrees\n",
                m.how, m.stepTenths / 10.0, worst);
            // In the XML report, not on stdout.
            ::testing::Test::RecordProperty("case" + std::to_string(&m - makers), summary);
        }
    }
}

TEST(SkewRuledLines, LongLinesDecideOnSparseForms) {
    // A form with a few short labels (never five characters in a row) and
    // long ruled lines crossed by vertical borders; the lines rise by the
    // given angle.
    for (double deg : {-3.0, -1.2, 0.8, 2.5}) {
        const double t = deg * kDeg;
        CRawImage img = BlankPage(1800, 1400);
        for (int k = 0; k < 6; ++k) {
            const int y0 = 300 + 150 * k;
            for (int x = 150; x < 1650; ++x) {
                const int y = y0 - static_cast<int>(std::lround(std::tan(t) * (x - 150)));
                FillRect(img, x, y, x + 1, y + 3);
            }
            DrawRow(img, 200, 14, 20, 8, {y0 - 60, y0 - 60, y0 - 60});
        }
        for (int x : {150, 900, 1649}) FillRect(img, x, 150, x + 3, 1250);

        CSkewEstimation textOnly;
        std::vector<SkewBox> boxes;
        ASSERT_TRUE(FindComponentBoxes(img, &boxes));
        double a = 1.0;
        EXPECT_FALSE(textOnly.EstimateFromComponents(boxes, img.height, &a)) << deg;
        EXPECT_EQ(a, 0.0);

        CSkewEstimation est;
        double ruled = 0.0;
        ASSERT_TRUE(est.EstimateFromRuledLines(img, &ruled)) << deg;
        EXPECT_NEAR(ruled / kDeg, deg, 0.05) << deg;
        EXPECT_DOUBLE_EQ(img.EstimateSkew(), ruled);
    }
}

TEST(SkewRuledLines, FewerThanThreeLongLinesLeaveItToTheText) {
    CRawImage img = BlankPage(1800, 800);
    FillRect(img, 100, 100, 1700, 103);
    FillRect(img, 100, 700, 1700, 703);
    // A text row falling by 1 pixel per block.
    std::vector<int> tops;
    for (int i = 0; i < 8; ++i) tops.push_back(400 + i);
    DrawRow(img, 300, 20, 20, 10, tops);
    CSkewEstimation est;
    double ruled = 1.0;
    EXPECT_FALSE(est.EstimateFromRuledLines(img, &ruled));
    EXPECT_EQ(ruled, 0.0);
    EXPECT_NEAR(img.EstimateSkew(), std::atan(-7.0 / 210.0), 1e-12);
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "filters/FrameLineDetector.h"
#include "filters/FrameLinePages.h"

using namespace libMorvaneClassifier;
using namespace framelines_test;

namespace {

constexpr double kPi = 3.14159265358979323846;

int Detect(CFrameLine& det, CRawImage& page) {
    return det.Detect(page, 0, 0, page.width - 1, page.height - 1);
}

TEST(FrameLineDetect, LineAngleConvention) {
    struct Case {
        int32_t x1, y1, x2, y2;
        double angle;
    } cases[] = {
        {0, 0, 10, 0, 0.0}, {0, 0, 0, 10, -kPi / 2}, {0, 10, 0, 0, kPi / 2},   {10, 0, 0, 0, kPi},
        {5, 5, 5, 5, 0.0},  {0, 10, 10, 0, kPi / 4}, {0, 0, 10, 10, -kPi / 4}, {10, 0, 0, 10, -3 * kPi / 4},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(c.angle, LineAngle(c.x1, c.y1, c.x2, c.y2), 1e-12)
            << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
}

TEST(FrameLineDetect, FailsWithoutPixelsOrRectangle) {
    CFrameLine det;
    CRawImage empty;
    EXPECT_EQ(-1, det.Detect(empty, 0, 0, 10, 10));
    EXPECT_FALSE(det.Finished());
    CRawImage page;
    MakePage(page, 200, 100, 1, 300);
    struct Rect {
        int32_t l, t, r, b, result;
    } rects[] = {
        {0, 0, 199, 99, 0},    {-50, -50, 500, 500, 0},  // cut to the image
        {10, 10, 9, 50, -1},   {10, 50, 100, 49, -1},    // empty
        {200, 0, 300, 99, -1}, {0, 100, 199, 200, -1},   // outside
        {-20, 0, -1, 99, -1},
    };
    for (const Rect& r : rects)
        EXPECT_EQ(r.result, det.Detect(page, r.l, r.t, r.r, r.b)) << r.l << " " << r.t;
    // a bit depth the image model does not have
    CRawImage odd;
    MakePage(odd, 64, 64, 8, 300);
    odd.bitCount = 4;
    EXPECT_EQ(-1, det.Detect(odd, 0, 0, 63, 63));
    odd.bitCount = 8;
}

TEST(FrameLineDetect, SingleRule) {
    CRawImage page;
    MakePage(page, 800, 300, 1, 300);
    DrawLine(page, nullptr, true, 100, 699, 150, 3);
    CFrameLine det;
    ASSERT_EQ(0, Detect(det, page));
    EXPECT_TRUE(det.Finished());
    ASSERT_EQ(1u, det.Horizontal().size());
    EXPECT_TRUE(det.Vertical().empty());
    const DetectedLine& l = det.Horizontal()[0];
    EXPECT_EQ(100, l.x1);
    EXPECT_EQ(699, l.x2);
    EXPECT_EQ(151, l.y1);
    EXPECT_EQ(151, l.y2);
    EXPECT_NEAR(3.0, l.thickness, 0.25);
    EXPECT_GT(l.quality, 0.8);
    EXPECT_NEAR(0.0, l.angle, 1e-3);
    EXPECT_EQ(0, l.style);
}

TEST(FrameLineDetect, ThicknessesAndDirections) {
    // thickness 1 to 13 are lines; 14 and more are not
    for (int32_t t = 1; t <= 16; ++t) {
        for (bool horizontal : {true, false}) {
            CRawImage page;
            MakePage(page, 700, 700, 1, 300);
            std::vector<TruthLine> truth;
            DrawLine(page, &truth, horizontal, 50, 649, 300, t);
            CFrameLine det;
            ASSERT_EQ(0, Detect(det, page));
            const auto& same = horizontal ? det.Horizontal() : det.Vertical();
            const auto& other = horizontal ? det.Vertical() : det.Horizontal();
            if (t >= 14) {
                EXPECT_TRUE(same.empty()) << t;
                continue;
            }
            ASSERT_EQ(1u, same.size()) << "thickness " << t << (horizontal ? " horizontal" : " vertical");
            EXPECT_TRUE(Matches(truth[0], same[0], 3)) << t;
            EXPECT_NEAR(t, same[0].thickness, 0.5) << t;
            EXPECT_NEAR(horizontal ? 0.0 : -kPi / 2, same[0].angle, 0.01) << t;
            EXPECT_TRUE(other.empty()) << t;
        }
    }
}

TEST(FrameLineDetect, RulesNearStripBordersAreReportedOnce) {
    // strips start every 400 rows and are 420 long: rows 400 to 419 are in two
    for (int32_t y : {385, 395, 398, 400, 405, 409, 410, 412, 417, 419, 421, 795, 801}) {
        CRawImage page;
        MakePage(page, 900, 1200, 1, 300);
        std::vector<TruthLine> truth;
        DrawLine(page, &truth, true, 100, 799, y, 4);
        CFrameLine det;
        ASSERT_EQ(0, Detect(det, page));
        ASSERT_EQ(1u, det.Horizontal().size()) << "row " << y;
        EXPECT_TRUE(Matches(truth[0], det.Horizontal()[0], 3)) << "row " << y;
    }
}

TEST(FrameLineDetect, RectangleOffsetsStrips) {
    // the same rule seen through a rectangle that starts at row 137
    CRawImage page;
    MakePage(page, 900, 1200, 1, 300);
    std::vector<TruthLine> truth;
    DrawLine(page, &truth, true, 100, 799, 537, 3);
    DrawLine(page, &truth, true, 100, 799, 150, 3);
    CFrameLine det;
    ASSERT_EQ(0, det.Detect(page, 50, 137, 850, 1100));
    ASSERT_EQ(2u, det.Horizontal().size());
    EXPECT_TRUE(Matches(truth[1], det.Horizontal()[0], 3));
    EXPECT_TRUE(Matches(truth[0], det.Horizontal()[1], 3));
    // a rectangle that leaves the rule outside does not see it
    ASSERT_EQ(0, det.Detect(page, 50, 200, 850, 500));
    EXPECT_TRUE(det.Horizontal().empty());
}

TEST(FrameLineDetect, DashedRules) {
    struct Case {
        int32_t dash, gap;
        bool one;
    } cases[] = {{20, 5, true}, {12, 8, true}, {30, 14, true}, {6, 3, true}, {150, 100, false}};
    for (const Case& c : cases) {
        CRawImage page;
        MakePage(page, 1300, 400, 1, 300);
        // whole dashes from x = 100, the last one ending the rule
        int32_t x = 100, end = 100;
        while (x + c.dash <= 1200) {
            DrawLine(page, nullptr, true, x, x + c.dash - 1, 200, 3);
            end = x + c.dash - 1;
            x += c.dash + c.gap;
        }
        const TruthLine whole{true, 100, end, 200, 3};
        CFrameLine det;
        ASSERT_EQ(0, Detect(det, page));
        if (c.one) {
            ASSERT_EQ(1u, det.Horizontal().size()) << c.dash << "/" << c.gap;
            EXPECT_TRUE(Matches(whole, det.Horizontal()[0], 3)) << c.dash << "/" << c.gap;
        } else {
            // gaps beyond the bridge limit and the join distance: one line per dash
            EXPECT_EQ(static_cast<size_t>((end - 100 + c.gap + 1) / (c.dash + c.gap)),
                      det.Horizontal().size());
            for (const DetectedLine& l : det.Horizontal()) EXPECT_EQ(c.dash - 1, l.x2 - l.x1);
        }
    }
}

TEST(FrameLineDetect, TextMakesNoLines) {
    for (int32_t h : {24, 30, 40, 48}) {
        for (uint32_t start = 1; start <= 3; ++start) {
            CRawImage page;
            MakePage(page, 1600, 900, 1, 300);
            std::mt19937 rng(start * 31u + static_cast<uint32_t>(h));
            DrawText(page, rng, 50, 50, 1500, 12, h);
            CFrameLine det;
            ASSERT_EQ(0, Detect(det, page));
            EXPECT_TRUE(det.Horizontal().empty()) << "glyph height " << h << " variant " << start;
            EXPECT_TRUE(det.Vertical().empty()) << "glyph height " << h << " variant " << start;
        }
    }
}

TEST(FrameLineDetect, UnderlineUnderText) {
    CRawImage page;
    MakePage(page, 1400, 400, 1, 300);
    std::mt19937 rng(5);
    DrawText(page, rng, 100, 100, 1200, 1, 30);
    std::vector<TruthLine> truth;
    DrawLine(page, &truth, true, 100, 1299, 134, 2);  // 4 px below the glyphs
    CFrameLine det;
    ASSERT_EQ(0, Detect(det, page));
    ASSERT_EQ(1u, det.Horizontal().size());
    EXPECT_TRUE(Matches(truth[0], det.Horizontal()[0], 3));
    EXPECT_TRUE(det.Vertical().empty());
}

TEST(FrameLineDetect, CloseRunsAreMergedAndPainted) {
    // two rules two rows apart become one, and the rows between them are
    // painted black in the image
    CRawImage page;
    MakePage(page, 800, 300, 1, 300);
    DrawLine(page, nullptr, true, 100, 699, 100, 3);
    DrawLine(page, nullptr, true, 100, 699, 105, 3);
    auto black = [&](int32_t x, int32_t y) { return (page.Row(y)[x >> 3] & (0x80 >> (x & 7))) != 0; };
    ASSERT_FALSE(black(300, 103));
    CFrameLine det;
    ASSERT_EQ(0, Detect(det, page));
    EXPECT_TRUE(black(300, 103));
    EXPECT_TRUE(black(300, 104));
    ASSERT_EQ(1u, det.Horizontal().size());
    EXPECT_NEAR(8.0, det.Horizontal()[0].thickness, 0.5);
    // five rows apart they stay two lines and nothing is painted
    CRawImage apart;
    MakePage(apart, 800, 300, 1, 300);
    DrawLine(apart, nullptr, true, 100, 699, 100, 3);
    DrawLine(apart, nullptr, true, 100, 699, 108, 3);
    ASSERT_EQ(0, Detect(det, apart));
    EXPECT_EQ(0, apart.Row(104)[300 >> 3] & (0x80 >> (300 & 7)));
    EXPECT_EQ(2u, det.Horizontal().size());
}

TEST(FrameLineDetect, GrayAndColourPagesLikeBinary) {
    struct Case {
        int32_t bits;
        uint8_t ink, paper;
    } cases[] = {{8, 0, 255}, {8, 60, 200}, {24, 30, 230}};
    for (const Case& c : cases) {
        CRawImage page;
        MakePage(page, 900, 700, c.bits, 300);
        std::fill(page.Bits(), page.Bits() + static_cast<size_t>(page.bytesPerRow) * page.height, c.paper);
        std::vector<TruthLine> truth;
        DrawLine(page, &truth, true, 100, 799, 200, 3, 0, 0, c.ink);
        DrawLine(page, &truth, true, 100, 799, 450, 5, 0, 0, c.ink);
        DrawLine(page, &truth, false, 150, 600, 400, 2, 0, 0, c.ink);
        CFrameLine det;
        ASSERT_EQ(0, Detect(det, page));
        const Score s = Evaluate(truth, det.Horizontal(), det.Vertical(), 3);
        EXPECT_EQ(3, s.found) << c.bits << " bits, ink " << int(c.ink);
        EXPECT_EQ(0, s.spurious) << c.bits << " bits, ink " << int(c.ink);
        EXPECT_EQ(0, s.duplicates);
    }
    // too little contrast: no line
    CRawImage faint;
    MakePage(faint, 900, 700, 8, 300);
    DrawLine(faint, nullptr, true, 100, 799, 200, 3, 0, 0, 235);
    CFrameLine det;
    ASSERT_EQ(0, Detect(det, faint));
    EXPECT_TRUE(det.Horizontal().empty());
}

DetectedLine H(int32_t x1, int32_t x2, int32_t y, double t = 3, double q = 0.9) {
    DetectedLine l;
    l.x1 = x1;
    l.x2 = x2;
    l.y1 = l.y2 = y;
    l.angle = LineAngle(l.x1, l.y1, l.x2, l.y2);
    l.thickness = t;
    l.quality = q;
    return l;
}

DetectedLine V(int32_t y1, int32_t y2, int32_t x) {
    DetectedLine l;
    l.y1 = y1;
    l.y2 = y2;
    l.x1 = l.x2 = x;
    l.angle = LineAngle(l.x1, l.y1, l.x2, l.y2);
    l.thickness = 2;
    l.quality = 1;
    return l;
}

TEST(FrameLineDetect, JoinBrokenLines) {
    struct Case {
        const char* name;
        std::vector<DetectedLine> lines, others;
        size_t after;
    };
    DetectedLine slanted = H(300, 600, 100);
    slanted.y2 = 100 + 70;  // about 13 degrees
    slanted.angle = LineAngle(slanted.x1, slanted.y1, slanted.x2, slanted.y2);
    const Case cases[] = {
        {"gap below the limit", {H(100, 260, 100), H(300, 600, 101)}, {}, 1},
        {"gap at the limit", {H(100, 250, 100), H(300, 600, 100)}, {}, 2},
        {"positions too far apart", {H(100, 260, 100), H(300, 600, 107)}, {}, 2},
        {"overlapping pieces", {H(100, 400, 100), H(300, 600, 102)}, {}, 1},
        {"angles too different", {H(100, 260, 100), slanted}, {}, 2},
        {"two crossings allowed",
         {H(100, 260, 100), H(300, 600, 100)},
         {V(50, 150, 270), V(50, 150, 280)},
         1},
        {"three crossings keep them apart",
         {H(100, 260, 100), H(300, 600, 100)},
         {V(50, 150, 270), V(50, 150, 280), V(50, 150, 290)},
         2},
        {"crossings far from the gap do not count",
         {H(100, 260, 100), H(300, 600, 100)},
         {V(50, 150, 400), V(50, 150, 450), V(50, 150, 500)},
         1},
    };
    for (const Case& c : cases) {
        std::vector<DetectedLine> lines = c.lines;
        JoinBrokenLines(lines, c.others, true, 50);
        EXPECT_EQ(c.after, lines.size()) << c.name;
        if (c.after == 1) {
            EXPECT_EQ(100, lines[0].x1) << c.name;
            EXPECT_EQ(600, lines[0].x2) << c.name;
        }
    }
    // a joined line keeps the larger thickness and the smaller quality
    std::vector<DetectedLine> two = {H(100, 260, 100, 2, 0.95), H(300, 600, 100, 4, 0.85)};
    JoinBrokenLines(two, {}, true, 50);
    ASSERT_EQ(1u, two.size());
    EXPECT_EQ(4, two[0].thickness);
    EXPECT_EQ(0.85, two[0].quality);
    // vertical pieces, sorted by x afterwards
    std::vector<DetectedLine> vert = {V(400, 700, 300), V(100, 370, 301), V(100, 700, 50)};
    JoinBrokenLines(vert, {}, false, 50);
    ASSERT_EQ(2u, vert.size());
    EXPECT_EQ(50, vert[0].x1);
    EXPECT_EQ(100, vert[1].y1);
    EXPECT_EQ(700, vert[1].y2);
}

// Generated A4 form pages: every drawn line (each longer than a tenth of
// the page) is found exactly once with both ends within 3 pixels, and no
// detection is longer than a tenth of the page without being a drawn line.
TEST(FrameLineDetect, FormPagesAccuracy) {
    int32_t truthTotal = 0, found = 0, detected = 0, spurious = 0, duplicates = 0;
    for (int32_t dpi : {200, 300}) {
        for (uint32_t v = 0; v < 6; ++v) {
            CRawImage page;
            std::vector<TruthLine> truth;
            MakeForm(page, dpi, v, truth);
            CFrameLine det;
            ASSERT_EQ(0, Detect(det, page));
            const Score s = Evaluate(truth, det.Horizontal(), det.Vertical(), 3);
            EXPECT_EQ(s.truth, s.found) << dpi << " dpi, variant " << v;
            EXPECT_EQ(0, s.duplicates) << dpi << " dpi, variant " << v;
            truthTotal += s.truth;
            found += s.found;
            detected += s.detected;
            spurious += s.spurious;
            duplicates += s.duplicates;
            for (const DetectedLine& l : det.Horizontal()) {
                if (l.x2 - l.x1 <= page.width / 10) continue;
                bool drawn = false;
                for (const TruthLine& t : truth) drawn = drawn || (t.horizontal && Matches(t, l, 3));
                EXPECT_TRUE(drawn) << dpi << " dpi, variant " << v << ": (" << l.x1 << "," << l.y1 << ")-("
                                   << l.x2 << "," << l.y2 << ")";
            }
            for (const DetectedLine& l : det.Vertical()) {
                if (l.y2 - l.y1 <= page.height / 10) continue;
                bool drawn = false;
                for (const TruthLine& t : truth) drawn = drawn || (!t.horizontal && Matches(t, l, 3));
                EXPECT_TRUE(drawn) << dpi << " dpi, variant " << v;
            }
        }
    }
    {
        char summary[512];
        std::snprintf(summary, sizeof summary,
                      "form pages: %d drawn lines, %d found (recall %.4f), %d detections, %d not drawn "
                      "(precision %.4f), "
                      "%d duplicates\n",
                      truthTotal, found, double(found) / truthTotal, detected, spurious,
                      double(detected - spurious) / detected, duplicates);
        ::testing::Test::RecordProperty("summary1", summary);  // in the XML report, not on stdout
    }
}

TEST(FrameLineDetect, GrayFormPage) {
    CRawImage page;
    std::vector<TruthLine> truth;
    MakeForm(page, 200, 1, truth, 8);
    CFrameLine det;
    ASSERT_EQ(0, Detect(det, page));
    const Score s = Evaluate(truth, det.Horizontal(), det.Vertical(), 3);
    EXPECT_EQ(s.truth, s.found);
    EXPECT_EQ(0, s.duplicates);
    {
        char summary[512];
        std::snprintf(summary, sizeof summary,
                      "gray form page: %d drawn, %d found, %d detections, %d not drawn\n", s.truth, s.found,
                      s.detected, s.spurious);
        ::testing::Test::RecordProperty("summary2", summary);  // in the XML report, not on stdout
    }
}

}  // namespace

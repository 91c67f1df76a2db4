#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "layout/LayoutTestUtil.h"
#include "layout/ZoneAnalyzer.h"
#include "preprocess/ImageProcessingInfo.h"
#include "preprocess/NormalizeTextSize.h"
#include "preprocess/StraightenZone.h"
#include "preprocess/ZoneFinder.h"
#include "xml/XmlDocument.h"

namespace {

using namespace libMorvaneClassifier;
using layouttest::SetBlack;

// A zone of block glyphs and chevron fillers drawn along a line tilted by
// `degrees` (positive: falling to the right), glyphs 20 px high on a 14 px
// pitch. `zone` holds one string per line: '<' a filler, anything else a
// full-height glyph; `pointRight` draws the fillers as '>' (a zone turned
// by half a turn).
void DrawZone(CRawImage& img, int left, int top, const std::vector<std::string>& zone, double degrees,
              bool pointRight = false, int stroke = 2) {
    const double slope = std::tan(degrees * 3.14159265358979323846 / 180.0);
    const int h = 20, pitch = 14, w = 10, lineStep = 34;
    for (size_t l = 0; l < zone.size(); ++l)
        for (size_t i = 0; i < zone[l].size(); ++i) {
            const int x0 = left + static_cast<int>(i) * pitch;
            const int y0 =
                top + static_cast<int>(l) * lineStep + static_cast<int>(std::lround(slope * (x0 - left)));
            if (zone[l][i] == '<') {
                // A chevron 12 px high, centred on the line.
                const int ch = 12, cy = y0 + h / 2;
                for (int k = 0; k <= ch / 2; ++k)
                    for (int t = 0; t < (stroke > 2 ? stroke + 1 : stroke); ++t) {
                        const int x = pointRight ? x0 + w - k * w / (ch / 2) : x0 + k * w / (ch / 2);
                        SetBlack(img, x + t, cy - k);
                        SetBlack(img, x + t, cy + k);
                    }
            } else {
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        if (x < stroke || x >= w - stroke || y < stroke || y >= h - stroke ||
                            (y >= h / 2 - 1 && y <= h / 2))
                            SetBlack(img, x0 + x, y0 + y + static_cast<int>(std::lround(slope * x)));
            }
        }
}

const std::vector<std::string> kTD3 = {"P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<",
                                       "L898902C36UTO7408122F1204159ZE184226B<<<<<10"};

TEST(ZoneFinder, FindsBothLinesAmongTextAndBorders) {
    CRawImage img = layouttest::WhitePage(900, 500);
    // Ordinary text above (no fillers), a page border and a card edge beside
    // the zone.
    layouttest::DrawLine(img, 60, 60, 30, 14, 20, 8);
    layouttest::FillRect(img, 0, 0, 900, 3);
    DrawZone(img, 100, 300, kTD3, 0.0);
    layouttest::FillRect(img, 100 + 44 * 14 + 4, 280, 100 + 44 * 14 + 7, 380);  // a vertical edge close by
    ZoneFound zone;
    ASSERT_TRUE(FindMachineReadableZone(img, zone));
    ASSERT_EQ(zone.lines.size(), 2u);
    EXPECT_EQ(zone.lines[0].glyphs.size(), 44u);
    EXPECT_EQ(zone.lines[1].glyphs.size(), 44u);
    EXPECT_EQ(zone.lines[0].left, 100);
    EXPECT_LE(zone.lines[0].right, 100 + 44 * 14);  // the edge is not a glyph
    EXPECT_NEAR(zone.charHeight, 20.0, 1.0);
    EXPECT_NEAR(zone.pitch, 14.0, 0.5);
    EXPECT_FALSE(zone.upsideDown);
    EXPECT_NEAR(zone.angle, 0.0, 0.2);
    EXPECT_EQ(zone.opened, 0);  // found as the page lies
}

// A mesh of 1-pixel lines (fine patterned print after binarisation) over
// the area [l, r) x [t, b): every 5th row and every 7th column.
void DrawMesh(CRawImage& img, int l, int t, int r, int b) {
    for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x)
            if ((y - t) % 5 == 0 || (x - l) % 7 == 0) SetBlack(img, x, y);
}

bool IsBlack(const CRawImage& img, int x, int y) { return (img.Row(y)[x >> 3] >> (7 - (x & 7))) & 1; }

TEST(ZoneFinder, OpeningKeepsStrokesAsWideAsItsSquare) {
    // Bars 1-4 px wide (upright and lying) against squares of 2 and 3.
    for (int k : {2, 3})
        for (int width = 1; width <= 4; ++width) {
            CRawImage img = layouttest::WhitePage(80, 80);
            layouttest::FillRect(img, 10, 10, 10 + width, 60);  // upright
            layouttest::FillRect(img, 20, 70, 70, 70 + width);  // lying
            CRawImage opened;
            ASSERT_TRUE(OpenThinStrokes(img, opened, k));
            const bool kept = width >= k;
            EXPECT_EQ(IsBlack(opened, 10, 30), kept) << k << " " << width;
            EXPECT_EQ(IsBlack(opened, 40, 70), kept) << k << " " << width;
            EXPECT_EQ(IsBlack(opened, 10 + width, 30), false) << k << " " << width;  // never grows
        }
    CRawImage gray, out;
    gray.Create(20, 20, 8, 0);
    EXPECT_FALSE(OpenThinStrokes(gray, out, 2));
}

TEST(ZoneFinder, ZoneBehindAMeshOfThinLines) {
    CRawImage img = layouttest::WhitePage(900, 500);
    DrawZone(img, 100, 300, kTD3, 0.0, false, 3);
    DrawMesh(img, 80, 280, 760, 380);  // joins every glyph of both lines
    ZoneFound zone;
    ASSERT_TRUE(FindMachineReadableZone(img, zone));
    EXPECT_EQ(zone.opened, 2);  // found only without the 1-pixel lines
    ASSERT_EQ(zone.lines.size(), 2u);
    // A few chevrons whose edges the mesh thickened may be lost; the lines
    // stay whole.
    EXPECT_GE(zone.lines[0].glyphs.size(), 35u);
    EXPECT_EQ(zone.lines[1].glyphs.size(), 44u);

    // The step goes on with the page without them, where the zone is found
    // as the page lies.
    CStraightenZoneInfo step;
    StraightenZoneResult r;
    ASSERT_TRUE(StraightenZone(img, step, &r));
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.opened, 2);
    EXPECT_FALSE(IsBlack(img, 83, 285));  // a mesh crossing away from the glyphs
    ASSERT_TRUE(FindMachineReadableZone(img, zone));
    EXPECT_EQ(zone.opened, 0);

    // Without a zone under the mesh nothing is found and the page stays.
    CRawImage bare = layouttest::WhitePage(900, 500);
    DrawMesh(bare, 80, 280, 760, 380);
    ASSERT_TRUE(StraightenZone(bare, step, &r));
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.opened, 0);
    EXPECT_TRUE(IsBlack(bare, 83, 285));
}

TEST(ZoneFinder, TextSizeStepTakesTheZoneOverSmallerPrint) {
    // Many lines of 12-px print and a zone of 20-px glyphs: the small print
    // is the dominant height; with "Zone" the zone's glyphs decide.
    struct Case {
        int zone;
        double scale;  // expected
    };
    for (const Case c : {Case{0, 20.0 / 12.0}, Case{1, 1.0}}) {
        CRawImage img = layouttest::WhitePage(900, 500);
        for (int i = 0; i < 12; ++i) layouttest::DrawLine(img, 20, 10 + 20 * i, 55, 12, 12, 3);
        DrawZone(img, 100, 300, kTD3, 0.0);
        CNormalizeTextSizeInfo step;
        step.height = 20;
        step.zone = c.zone;
        NormalizeTextSizeResult r;
        ASSERT_TRUE(NormalizeTextSize(img, step, &r)) << c.zone;
        EXPECT_NEAR(r.scale, c.scale, 0.05) << c.zone;
    }
}

TEST(ZoneFinder, MeasuresSkewAndTurn) {
    struct Case {
        double degrees;
        bool turned;
    };
    for (const Case c :
         {Case{-12.0, false}, Case{-3.0, false}, Case{4.0, false}, Case{9.0, true}, Case{0.0, true}}) {
        CRawImage img = layouttest::WhitePage(1000, 700);
        DrawZone(img, 150, 250, kTD3, c.degrees, c.turned);
        ZoneFound zone;
        ASSERT_TRUE(FindMachineReadableZone(img, zone)) << c.degrees;
        EXPECT_NEAR(zone.angle, c.degrees, 0.5) << c.degrees;
        EXPECT_EQ(zone.upsideDown, c.turned) << c.degrees;
        EXPECT_EQ(zone.lines.size(), 2u) << c.degrees;
    }
}

TEST(ZoneFinder, ThreeLinesOfACard) {
    CRawImage img = layouttest::WhitePage(600, 400);
    DrawZone(img, 60, 200,
             {"I<UTOD231458907<<<<<<<<<<<<<<<", "7408122F1204159UTO<<<<<<<<<<<6",
              "ERIKSSON<<ANNA<MARIA<<<<<<<<<<"},
             1.0);
    ZoneFound zone;
    ASSERT_TRUE(FindMachineReadableZone(img, zone));
    ASSERT_EQ(zone.lines.size(), 3u);
    for (const ZoneLine& l : zone.lines) EXPECT_EQ(l.glyphs.size(), 30u);
}

TEST(ZoneFinder, NoZoneInPlainText) {
    CRawImage img = layouttest::WhitePage(900, 500);
    for (int i = 0; i < 6; ++i) layouttest::DrawLine(img, 60, 60 + 40 * i, 44, 10, 20, 4);
    ZoneFound zone;
    EXPECT_FALSE(FindMachineReadableZone(img, zone));  // no fillers
    CRawImage gray;
    gray.Create(50, 50, 8, 300);
    EXPECT_FALSE(FindMachineReadableZone(gray, zone));  // not 1-bit
}

TEST(ZoneFinder, StepLevelsAndTurnsTheZone) {
    CRawImage img = layouttest::WhitePage(1000, 700);
    DrawZone(img, 150, 250, kTD3, 6.0, true);
    CStraightenZoneInfo step;
    StraightenZoneResult r;
    ASSERT_TRUE(StraightenZone(img, step, &r));
    EXPECT_TRUE(r.found);
    EXPECT_TRUE(r.turned);
    EXPECT_NEAR(r.angle, 6.0, 0.5);
    ZoneFound zone;
    ASSERT_TRUE(FindMachineReadableZone(img, zone));
    EXPECT_NEAR(zone.angle, 0.0, 0.5);
    EXPECT_FALSE(zone.upsideDown);

    // The line analyser then gives the two lines as boxes, top to bottom.
    CZoneLineAnalyzer analyser;
    CLineProperty prop;
    CLineLocationInfo range;
    TextBoxList lines;
    ASSERT_TRUE(analyser.LocateLines(img, prop, range, lines));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_LT(lines[0].bottom, lines[1].top + 4);
    EXPECT_GT(lines[0].right - lines[0].left, 44 * 14 - 10);
}

}  // namespace

namespace {

TEST(ZoneFinder, StepRecordKeepsDefaultsOfAbsentAttributes) {
    using namespace libMorvaneClassifier;
    CXmlDocument xml;
    ASSERT_TRUE(xml.ParseText(u"<StraightenZone MaxAngle=\"8\" Turn=\"0\"/>"));
    std::unique_ptr<CImageProcessingInfo> info = CreateImageProcessingInfo(kStepStraightenZone);
    ASSERT_NE(info, nullptr);
    ASSERT_TRUE(info->ReadXml(xml));
    const auto* s = dynamic_cast<const CStraightenZoneInfo*>(info.get());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->maxAngle, 8);
    EXPECT_EQ(s->turn, 0);
    EXPECT_EQ(s->binaryMethod, 8);  // absent: the default
    EXPECT_EQ(CreateLineAnalyser(4) != nullptr, true);
    EXPECT_EQ(CreateCharAnalyser(4), nullptr);
}

}  // namespace

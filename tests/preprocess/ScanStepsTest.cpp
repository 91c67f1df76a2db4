// The steps for scanned pages: finding the document on the bed (type 20),
// normalising the resolution (type 21) and the tilt correction's
// row-profile estimator, with their XML forms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "CpuStopwatch.h"
#include "preprocess/FindDocument.h"
#include "preprocess/ImageProcessing.h"
#include "preprocess/ImageProcessingList.h"
#include "preprocess/NormalizeResolution.h"
#include "preprocess/PreprocessTestUtil.h"
#include "preprocess/ScanSteps.h"
#include "preprocess/TiltCorrection.h"
#include "xml/XmlDocument.h"

using morvane::test::CpuStopwatch;

namespace libMorvaneClassifier {
namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

void Fill(CRawImage& img, int l, int t, int r, int b, uint8_t blue, uint8_t green, uint8_t red) {
    for (int y = std::max(0, t); y < std::min(b, img.height); ++y)
        for (int x = std::max(0, l); x < std::min(r, img.width); ++x) {
            uint8_t* p = img.Row(y) + 3 * x;
            p[0] = blue;
            p[1] = green;
            p[2] = red;
        }
}

// A colour ID-1-like card of w x h pixels: tinted background, a title bar, a
// photo block and lines of text blocks. With `shadow` its outermost pixels
// are the gray line a flatbed's lamp leaves along a document's edges.
CRawImage Card(int w, int h, bool shadow) {
    CRawImage img;
    EXPECT_EQ(img.Create(w, h, 24, 300), 1);
    Fill(img, 0, 0, w, h, 246, 238, 232);
    Fill(img, w / 20, h / 20, w * 19 / 20, h * 13 / 100, 110, 50, 40);
    Fill(img, w / 20, h / 4, w * 32 / 100, h * 88 / 100, 80, 80, 84);
    for (int row = 0; row < 6; ++row)
        for (int x = w * 38 / 100; x < w * 9 / 10; x += w / 25)
            Fill(img, x, h / 4 + row * h / 10, x + w / 35, h / 4 + row * h / 10 + h / 30, 30, 30, 35);
    if (shadow) {
        Fill(img, 0, 0, w, 1, 170, 170, 170);
        Fill(img, 0, h - 1, w, h, 170, 170, 170);
        Fill(img, 0, 0, 1, h, 170, 170, 170);
        Fill(img, w - 1, 0, w, h, 170, 170, 170);
    }
    return img;
}

// A bed of bw x bh pixels (level `bed`) with `doc` turned so that its top
// edge rises by `degrees`, its (turned) box placed at (x, y).
CRawImage OnBed(const CRawImage& doc, double degrees, int bw, int bh, int x, int y, uint8_t bed) {
    CRawImage turned;
    if (std::fabs(degrees) > 0) {
        EXPECT_EQ(const_cast<CRawImage&>(doc).Rotate(&turned, 0, -degrees * kDeg, 1, 0, bed > 128 ? 1 : 0),
                  1);
    } else {
        turned = doc;
    }
    CRawImage out;
    EXPECT_EQ(out.Create(bw, bh, 24, 300), 1);
    std::memset(out.Bits(), bed, static_cast<size_t>(out.bytesPerRow) * bh);
    for (int yy = 0; yy < turned.height; ++yy) {
        if (y + yy < 0 || y + yy >= bh) continue;
        for (int xx = 0; xx < turned.width; ++xx) {
            if (x + xx < 0 || x + xx >= bw) continue;
            const uint8_t* p = turned.Row(yy) + 3 * xx;
            // The rotation's fill is the bed itself.
            if (bed > 128 ? (p[0] == 255 && p[1] == 255 && p[2] == 255)
                          : (p[0] == 0 && p[1] == 0 && p[2] == 0))
                continue;
            std::memcpy(out.Row(y + yy) + 3 * (x + xx), p, 3);
        }
    }
    return out;
}

// Fraction of the pixels in the outer two-pixel ring of a 24-bit image that
// are darker than 60 (bed left over on a dark bed).
double DarkRing(const CRawImage& img) {
    int dark = 0, n = 0;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            if (x >= 2 && y >= 2 && x < img.width - 2 && y < img.height - 2) continue;
            const uint8_t* p = img.Row(y) + 3 * x;
            ++n;
            if (p[1] < 60) ++dark;
        }
    return n ? static_cast<double>(dark) / n : 0;
}

TEST(FindDocument, CardOnDarkBedIsStraightenedAndCropped) {
    // 300 dpi: an ID-1 card is 1011 x 638 pixels.
    const CRawImage card = Card(1011, 638, false);
    struct Case {
        double degrees;
        int x, y, bw, bh;
    } cases[] = {
        {0.0, 60, 40, 1200, 800},
        {-4.0, 30, 100, 1250, 900},
        {2.5, 0, 20, 1150, 760},
        {-1.2, 150, 170, 1400, 1000},
    };
    for (const auto& c : cases) {
        CRawImage img = OnBed(card, c.degrees, c.bw, c.bh, c.x, c.y, 8);
        CFindDocumentInfo step;
        DocumentPlacement p;
        ASSERT_TRUE(FindDocument(img, step, &p)) << c.degrees;
        ASSERT_TRUE(p.found) << c.degrees;
        EXPECT_TRUE(p.dark);
        EXPECT_NEAR(p.angle / kDeg, c.degrees, 0.3) << c.degrees;
        EXPECT_NEAR(img.width, 1011, 16) << c.degrees;
        EXPECT_NEAR(img.height, 638, 16) << c.degrees;
        EXPECT_EQ(img.bitCount, 24);
        EXPECT_EQ(img.xResolution, 300);
        EXPECT_LT(DarkRing(img), 0.02) << c.degrees;
    }
}

TEST(FindDocument, CardOnWhiteGlassIsFound) {
    // A card with its edge shadow on A4 glass at 150 dpi (1240 x 1754), in a
    // corner and further in, and on a strip of glass a few millimetres wide.
    const CRawImage card = Card(506, 319, true);
    struct Case {
        double degrees;
        int x, y, bw, bh;
    } cases[] = {
        {0.0, 5, 5, 1240, 1754},
        {1.3, 300, 500, 1240, 1754},
        {-0.8, 30, 25, 570, 380},
    };
    for (const auto& c : cases) {
        CRawImage img = OnBed(card, c.degrees, c.bw, c.bh, c.x, c.y, 252);
        CFindDocumentInfo step;
        DocumentPlacement p;
        ASSERT_TRUE(FindDocument(img, step, &p));
        ASSERT_TRUE(p.found) << c.degrees << " at " << c.x;
        EXPECT_FALSE(p.dark);
        EXPECT_NEAR(p.angle / kDeg, c.degrees, 0.5);
        EXPECT_NEAR(img.width, 506, 14) << c.degrees;
        EXPECT_NEAR(img.height, 319, 14) << c.degrees;
    }
}

TEST(FindDocument, PagesThatFillTheImageAreLeftAlone) {
    // A text page, a page with a printed frame and a title outside it, and a
    // card image cut exactly at its edges.
    CRawImage text;
    ASSERT_EQ(text.Create(850, 1100, 24, 100), 1);
    Fill(text, 0, 0, 850, 1100, 250, 250, 250);
    for (int row = 0; row < 30; ++row)
        for (int x = 80; x < 760 - (row % 5) * 40; x += 30)
            Fill(text, x, 100 + row * 30, x + 22, 112 + row * 30, 20, 20, 20);
    CRawImage framed(text);
    Fill(framed, 60, 300, 790, 303, 0, 0, 0);
    Fill(framed, 60, 900, 790, 903, 0, 0, 0);
    Fill(framed, 60, 300, 63, 903, 0, 0, 0);
    Fill(framed, 787, 300, 790, 903, 0, 0, 0);
    const CRawImage card = Card(1011, 638, false);
    const CRawImage* pages[] = {&text, &framed, &card};
    for (const CRawImage* page : pages) {
        CRawImage img(*page);
        CFindDocumentInfo step;
        DocumentPlacement p;
        ASSERT_TRUE(FindDocument(img, step, &p));
        EXPECT_FALSE(p.found) << page->width;
        EXPECT_EQ(img.width, page->width);
        EXPECT_EQ(img.height, page->height);
    }
}

TEST(FindDocument, BadInputHasDefinedResults) {
    CFindDocumentInfo step;
    // All bed, dark and light: nothing found, unchanged.
    for (uint8_t bed : {0, 12, 255}) {
        CRawImage img;
        ASSERT_EQ(img.Create(900, 700, 24, 300), 1);
        std::memset(img.Bits(), bed, static_cast<size_t>(img.bytesPerRow) * img.height);
        DocumentPlacement p;
        EXPECT_TRUE(FindDocument(img, step, &p));
        EXPECT_FALSE(p.found) << int(bed);
        EXPECT_EQ(img.width, 900);
    }
    // Tiny images and odd formats.
    for (int bpp : {1, 8, 24}) {
        CRawImage one;
        ASSERT_EQ(one.Create(1, 1, bpp, 300), 1);
        EXPECT_TRUE(FindDocument(one, step));
        EXPECT_EQ(one.width, 1);
    }
    CRawImage empty;
    EXPECT_FALSE(FindDocument(empty, step));

    const CRawImage card = Card(505, 319, false);
    // A card on a whole A4 black lid (under a tenth of the image).
    {
        CRawImage img = OnBed(card, -1.5, 1240, 1754, 500, 900, 10);
        DocumentPlacement p;
        ASSERT_TRUE(FindDocument(img, step, &p));
        ASSERT_TRUE(p.found);
        EXPECT_NEAR(img.width, 505, 12);
        EXPECT_NEAR(img.height, 319, 12);
    }
    // Two documents on a dark bed: the larger one is taken.
    {
        CRawImage img = OnBed(card, 1.0, 1300, 700, 40, 60, 5);
        const CRawImage small = Card(300, 190, false);
        for (int y = 0; y < small.height; ++y) std::memcpy(img.Row(400 + y) + 3 * 800, small.Row(y), 3 * 300);
        DocumentPlacement p;
        ASSERT_TRUE(FindDocument(img, step, &p));
        ASSERT_TRUE(p.found);
        EXPECT_NEAR(img.width, 505, 12);
        EXPECT_NEAR(img.height, 319, 12);
    }
    // A document running off two image edges: what is visible is kept.
    {
        CRawImage img = OnBed(card, 0.0, 700, 500, 300, 250, 5);
        DocumentPlacement p;
        ASSERT_TRUE(FindDocument(img, step, &p));
        ASSERT_TRUE(p.found);
        EXPECT_NEAR(img.width, 400, 12);
        EXPECT_NEAR(img.height, 250, 12);
    }
    // A torn corner: the border still gives the angle and the size.
    {
        CRawImage img = OnBed(card, -2.0, 800, 600, 120, 100, 5);
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 800; ++x)
                if (x + y < 330) std::memset(img.Row(y) + 3 * x, 5, 3);
        DocumentPlacement p;
        ASSERT_TRUE(FindDocument(img, step, &p));
        ASSERT_TRUE(p.found);
        EXPECT_NEAR(p.angle / kDeg, -2.0, 0.4);
        EXPECT_NEAR(img.width, 505, 12);
        EXPECT_NEAR(img.height, 319, 12);
    }
    // The resolution plays no part in finding and is kept as it was.
    for (int32_t res : {0, 1000000}) {
        CRawImage img = OnBed(card, 2.0, 800, 600, 100, 90, 5);
        img.xResolution = img.yResolution = res;
        DocumentPlacement p;
        ASSERT_TRUE(FindDocument(img, step, &p));
        EXPECT_TRUE(p.found) << res;
        EXPECT_NEAR(img.width, 505, 12) << res;
        EXPECT_EQ(img.xResolution, res);
    }
}

TEST(FindDocument, TimeIsBoundedOnLargePages) {
    // A card on A4 glass at 600 dpi: the search runs on a reduced copy, so
    // even a debug build finishes in well under a few seconds.
    const CRawImage card = Card(2022, 1276, true);
    CRawImage img = OnBed(card, 0.7, 4960, 7016, 40, 40, 252);
    CFindDocumentInfo step;
    DocumentPlacement p;
    const CpuStopwatch clock;
    ASSERT_TRUE(FindDocument(img, step, &p));
    const double s = clock.Seconds();
    EXPECT_TRUE(p.found);
    EXPECT_LT(s, 5.0);
    EXPECT_NEAR(img.width, 2022, 30);
}

TEST(NormalizeResolution, RescalesToTheTemplateResolution) {
    // A 600-dpi gray page with a 10-pixel rule becomes a 300-dpi page with a
    // 5-pixel rule; a 150-dpi page doubles.
    CRawImage page;
    ASSERT_EQ(page.Create(1200, 800, 8, 600), 1);
    std::memset(page.Bits(), 250, static_cast<size_t>(page.bytesPerRow) * page.height);
    for (int y = 400; y < 410; ++y) std::memset(page.Row(y) + 100, 10, 1000);
    CNormalizeResolutionInfo step;
    CRawImage img(page);
    ASSERT_TRUE(NormalizeResolution(img, step));
    EXPECT_EQ(img.width, 600);
    EXPECT_EQ(img.height, 400);
    EXPECT_EQ(img.xResolution, 300);
    EXPECT_EQ(img.yResolution, 300);
    int ruleRows = 0;
    for (int y = 0; y < img.height; ++y) ruleRows += img.Row(y)[300] < 128;
    EXPECT_EQ(ruleRows, 5);

    CRawImage low(page);
    low.xResolution = low.yResolution = 150;
    ASSERT_TRUE(NormalizeResolution(low, step));
    EXPECT_EQ(low.width, 2400);
    EXPECT_EQ(low.height, 1600);

    // 1-bit and colour pages keep their format.
    for (int bpp : {1, 24}) {
        CRawImage other;
        ASSERT_EQ(other.Create(400, 300, bpp, 600), 1);
        ASSERT_TRUE(NormalizeResolution(other, step)) << bpp;
        EXPECT_EQ(other.width, 200);
        EXPECT_EQ(other.bitCount, bpp);
    }
}

TEST(NormalizeResolution, ImplausibleOrCloseResolutionsLeaveThePage) {
    struct Case {
        int32_t pageDpi, stepDpi, tolerance;
    } cases[] = {
        {0, 300, 10},       {1000000, 300, 10}, {-300, 300, 10}, {600, 0, 10},
        {600, 1000000, 10}, {310, 300, 10},     {300, 300, 0},
    };
    for (const auto& c : cases) {
        CRawImage img;
        ASSERT_EQ(img.Create(100, 80, 8, 300), 1);
        img.xResolution = img.yResolution = c.pageDpi;
        CNormalizeResolutionInfo step;
        step.dpi = c.stepDpi;
        step.tolerance = c.tolerance;
        ASSERT_TRUE(NormalizeResolution(img, step)) << c.pageDpi;
        EXPECT_EQ(img.width, 100) << c.pageDpi << " " << c.stepDpi;
        EXPECT_EQ(img.xResolution, c.pageDpi);
    }
    CRawImage empty;
    EXPECT_FALSE(NormalizeResolution(empty, CNormalizeResolutionInfo{}));
    // A result beyond the size limit is refused, page unchanged.
    CRawImage wide;
    ASSERT_EQ(wide.Create(20000, 2, 8, 50), 1);
    CNormalizeResolutionInfo step;
    step.dpi = 2400;
    ASSERT_TRUE(NormalizeResolution(wide, step));
    EXPECT_EQ(wide.width, 20000);
}

TEST(ScanSteps, XmlFormsAndTheExecutor) {
    CXmlDocument xml;
    ASSERT_TRUE(xml.ParseText(
        u"<Owner><ImageProcessingList Size=\"3\">"
        u"<ImageProcessing Type=\"21\"><NormalizeResolution Dpi=\"200\" Tolerance=\"5\"/></ImageProcessing>"
        u"<ImageProcessing Type=\"20\"><FindDocument Bed=\"1\" Straighten=\"0\" MaxAngle=\"7\" "
        u"Contrast=\"30\"/>"
        u"</ImageProcessing>"
        u"<ImageProcessing Type=\"8\"><TiltCorrection IsOriginalSize=\"1\" FillColor=\"1\" MinAngle=\"0\" "
        u"MaxAngle=\"5\" GrayType=\"0\" BinaryType=\"6\" Estimator=\"1\"/></ImageProcessing>"
        u"</ImageProcessingList></Owner>"));
    ASSERT_TRUE(xml.FindElement(u"Owner"));
    ASSERT_TRUE(xml.EnterElement());
    CImageProcessingList list;
    ASSERT_TRUE(list.Read(xml));
    ASSERT_EQ(list.GetCount(), 3);
    auto* norm = dynamic_cast<CNormalizeResolutionInfo*>(list.GetItem(0));
    auto* find = dynamic_cast<CFindDocumentInfo*>(list.GetItem(1));
    auto* tilt = dynamic_cast<CTiltCorrectionInfo*>(list.GetItem(2));
    ASSERT_TRUE(norm && find && tilt);
    EXPECT_EQ(norm->type, 21);
    EXPECT_EQ(test::ParamsOf(*norm),
              (test::Params{{u"NormalizeResolution", 8, 0}, {u"Dpi", 22, 200}, {u"Tolerance", 22, 5}}));
    EXPECT_EQ(test::ParamsOf(*find), (test::Params{{u"FindDocument", 8, 0},
                                                   {u"Bed", 22, 1},
                                                   {u"Straighten", 11, 0},
                                                   {u"MaxAngle", 22, 7},
                                                   {u"Contrast", 22, 30}}));
    EXPECT_EQ(tilt->estimator, 1);

    // Copies keep every field; writing and reading back gives the same list.
    CImageProcessingList copy;
    copy.Assign(list);
    ASSERT_EQ(copy.GetCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(test::ParamsOf(*copy.GetItem(i)), test::ParamsOf(*list.GetItem(i))) << i;
    CXmlDocument out;
    ASSERT_TRUE(out.ParseText(u"<Owner/>"));
    ASSERT_TRUE(out.FindElement(u"Owner"));
    ASSERT_TRUE(out.EnterElement());
    ASSERT_TRUE(copy.Write(out));
    const std::u16string text = out.Text();
    EXPECT_NE(text.find(u"Estimator=\"1\""), std::u16string::npos);
    EXPECT_NE(text.find(u"<FindDocument Bed=\"1\" Straighten=\"0\" MaxAngle=\"7\" Contrast=\"30\""),
              std::u16string::npos);

    // A tilt correction without the attribute writes no "Estimator".
    CImageProcessingList plain;
    auto classic = CreateImageProcessingInfo(8);
    ASSERT_TRUE(classic);
    plain.Append(std::move(classic));
    CXmlDocument out2;
    ASSERT_TRUE(out2.ParseText(u"<Owner/>"));
    ASSERT_TRUE(out2.FindElement(u"Owner"));
    ASSERT_TRUE(out2.EnterElement());
    ASSERT_TRUE(plain.Write(out2));
    EXPECT_EQ(out2.Text().find(u"Estimator"), std::u16string::npos);

    // Numbers between the classic ones and the new ones stay unknown.
    for (int32_t type : {13, 14, 19, 24}) EXPECT_EQ(CreateImageProcessingInfo(type), nullptr) << type;

    // The executor runs the new steps.
    CRawImage img;
    ASSERT_EQ(img.Create(400, 200, 8, 400), 1);
    EXPECT_TRUE(ApplyImageProcessing(img, *norm));
    EXPECT_EQ(img.width, 200);
    EXPECT_TRUE(ApplyImageProcessing(img, *find));
}

TEST(TiltCorrectionEstimator, ProjectionEstimateStraightensBoxedPages) {
    // A page of 3-pixel boxes and short text blocks, tilted by -2.5 and by 1.7
    // degrees: the row-profile estimator measures the tilt and the step
    // levels it.
    CRawImage level;
    ASSERT_EQ(level.Create(900, 1000, 8, 300), 1);
    std::memset(level.Bits(), 255, static_cast<size_t>(level.bytesPerRow) * level.height);
    auto box = [&](int l, int t, int r, int b) {
        for (int y = t; y < b; ++y)
            for (int x = l; x < r; ++x)
                if (y < t + 3 || y >= b - 3 || x < l + 3 || x >= r - 3) level.Row(y)[x] = 0;
    };
    box(80, 150, 820, 350);
    box(80, 400, 820, 520);
    box(80, 570, 820, 880);
    for (int k = 0; k < 5; ++k)
        for (int y = 600 + 50 * k; y < 612 + 50 * k; ++y) std::memset(level.Row(y) + 110, 0, 200 + 40 * k);
    for (double degrees : {-2.5, 1.7}) {
        CRawImage page;
        ASSERT_EQ(level.Rotate(&page, 0, -degrees * kDeg, 1, 1, 1), 1);
        CTiltCorrectionInfo step;
        step.minAngle = 0;
        step.estimator = kTiltEstimatorProjection;
        EXPECT_NEAR(MeasureTiltFor(page, step) / kDeg, degrees, 0.15) << degrees;
        double measured = 0;
        ASSERT_TRUE(CorrectTilt(page, step, &measured));
        EXPECT_NEAR(MeasureTiltFor(page, step) / kDeg, 0.0, 0.15) << degrees;
    }
}

}  // namespace
}  // namespace libMorvaneClassifier

// The find step on documents of every common size lying on scanner glass
// of every common size, and the whole scanned-page chain on bad input. Pages
// are drawn here: a document rectangle turned about its centre, with text
// lines and a photo block, on a light bed (with the thin shadow a flatbed's
// lamp leaves along a document's edges) or a dark one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "CpuStopwatch.h"
#include "preprocess/FindDocument.h"
#include "preprocess/ImageProcessing.h"
#include "preprocess/ImageProcessingList.h"
#include "preprocess/TiltCorrection.h"
#include "xml/XmlDocument.h"

using morvane::test::CpuStopwatch;

namespace libMorvaneClassifier {
namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;
constexpr int kDpi = 100;  // low enough for a debug build, high enough for millimetres

double Px(double mm) { return mm * kDpi / 25.4; }
double Mm(double px) { return px * 25.4 / kDpi; }

struct Size {
    const char* name;
    double w, h;  // millimetres
};
constexpr Size kId1{"ID-1", 85.6, 54.0};
constexpr Size kPassport{"passport page", 125.0, 88.0};
constexpr Size kA5{"A5", 148.0, 210.0};
constexpr Size kA4{"A4", 210.0, 297.0};
constexpr Size kLetter{"Letter", 215.9, 279.4};
constexpr Size kLegal{"Legal", 215.9, 355.6};

// A 24-bit bed of the glass's size at kDpi with a document of `doc` size
// whose top edge rises by `degrees`, its turned outline `left`/`top` mm from
// the bed's left and top edges. `bed`: gray level of the bed.
CRawImage Scene(const Size& glass, const Size& doc, double degrees, double left, double top, uint8_t bed) {
    CRawImage img;
    EXPECT_EQ(img.Create(static_cast<int>(std::lround(Px(glass.w))),
                         static_cast<int>(std::lround(Px(glass.h))), 24, kDpi),
              1);
    const double a = degrees * kDeg, c = std::cos(a), s = std::sin(a);
    const double W = Px(doc.w), H = Px(doc.h);
    // Half extents of the turned outline, to place its box.
    const double ex = 0.5 * (W * c + H * std::fabs(s)), ey = 0.5 * (W * std::fabs(s) + H * c);
    const double cx = Px(left) + ex, cy = Px(top) + ey;
    const bool light = bed > 128;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            // Document coordinates of the pixel centre: u along the top edge,
            // v down the left edge (the inverse of the turn).
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            const double u = dx * c - dy * s + 0.5 * W, v = dx * s + dy * c + 0.5 * H;
            uint8_t* p = img.Row(y) + 3 * x;
            if (u < 0 || v < 0 || u >= W || v >= H) {
                std::memset(p, bed, 3);
                continue;
            }
            uint8_t b = 232, g = 238, r = 243;  // paper
            const double um = Mm(u), vm = Mm(v);
            const bool photo = um > 6 && um < 6 + 0.25 * doc.w && vm > 0.3 * doc.h && vm < 0.85 * doc.h;
            const bool text = um > 0.35 * doc.w && um < doc.w - 6 && vm > 8 && vm < doc.h - 6 &&
                              std::fmod(vm, 5.0) < 2.0 && std::fmod(um, 9.0) < 7.0;
            if (photo) b = g = r = 90;
            if (text) b = g = r = 30;
            // The lamp's shadow along the edges on a light bed.
            if (light && (u < 1 || v < 1 || u >= W - 1 || v >= H - 1)) b = g = r = 170;
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    return img;
}

TEST(FindDocument, DocumentsOfEverySizeOnGlassOfEverySize) {
    struct Case {
        Size doc, glass;
        double degrees, left, top;  // bed beside the document, mm
        bool lightBed;
    } cases[] = {
        {kId1, kA4, 1.5, 20, 30, true},
        {kId1, kA4, -3.0, 3, 3, false},
        {kId1, kLetter, 0.0, 50, 50, true},
        {kId1, kLegal, 2.2, 40, 150, false},
        {kPassport, kA4, -1.0, 10, 10, true},
        {kPassport, kLetter, 2.8, 45, 120, false},
        {kPassport, kLegal, -2.0, 5, 200, true},
        {kA5, kA4, 1.2, 30, 40, true},
        {kA5, kLetter, -2.5, 3, 5, false},
        {kA5, kLegal, 0.6, 50, 50, true},
        {kA4, kLegal, -0.8, 2, 20, true},
        {kA4, kLegal, 1.7, 2, 40, false},
        {kA5, kA4, 0.0, 0, 0, false},
        {kId1, kA4, 0.0, 0, 0, true},
    };
    for (const Case& k : cases) {
        const std::string what = std::string(k.doc.name) + " on " + k.glass.name + " at " +
                                 std::to_string(k.degrees) + (k.lightBed ? " light" : " dark");
        CRawImage img = Scene(k.glass, k.doc, k.degrees, k.left, k.top, k.lightBed ? 250 : 14);
        CFindDocumentInfo step;
        DocumentPlacement p;
        ASSERT_TRUE(FindDocument(img, step, &p)) << what;
        ASSERT_TRUE(p.found) << what;
        EXPECT_EQ(p.dark, !k.lightBed) << what;
        EXPECT_NEAR(p.angle / kDeg, k.degrees, 0.3) << what;
        // Straightened and cropped: the image is the document, within 1.5 mm.
        EXPECT_NEAR(Mm(img.width), k.doc.w, 1.5) << what;
        EXPECT_NEAR(Mm(img.height), k.doc.h, 1.5) << what;
        EXPECT_EQ(img.bitCount, 24) << what;
        EXPECT_EQ(img.xResolution, kDpi) << what;
        // No bed is left along the edges: the middle of each side is paper
        // (or its shadow), not bed.
        const int midX = img.width / 2, midY = img.height / 2;
        const uint8_t sides[4] = {img.Row(0)[3 * midX + 1], img.Row(img.height - 1)[3 * midX + 1],
                                  img.Row(midY)[1], img.Row(midY)[3 * (img.width - 1) + 1]};
        for (uint8_t v : sides) {
            if (k.lightBed) {
                EXPECT_LT(v, 246) << what;
            } else {
                EXPECT_GT(v, 60) << what;
            }
        }
    }
}

TEST(FindDocument, PagesThatFillTheGlassAreLeftUntouched) {
    // A4 on A4 glass and Letter on Letter glass, level, no bed: the image is
    // the page already and comes back byte for byte.
    for (const Size& s : {kA4, kLetter}) {
        for (uint8_t bed : {250, 14}) {
            const CRawImage page = Scene(s, s, 0.0, 0, 0, bed);
            CRawImage img(page);
            CFindDocumentInfo step;
            DocumentPlacement p;
            ASSERT_TRUE(FindDocument(img, step, &p)) << s.name;
            EXPECT_FALSE(p.found) << s.name << " bed " << int(bed);
            ASSERT_EQ(img.width, page.width);
            ASSERT_EQ(img.height, page.height);
            EXPECT_EQ(std::memcmp(img.Bits(), page.Bits(), static_cast<size_t>(img.bytesPerRow) * img.height),
                      0)
                << s.name;
        }
    }
}

// The steps of examples/templates/scanned.xml, and the resolution step the
// filters use.
CImageProcessingList ScannedChain() {
    CXmlDocument xml;
    EXPECT_TRUE(xml.ParseText(
        u"<Owner><ImageProcessingList Size=\"4\">"
        u"<ImageProcessing Type=\"20\"><FindDocument Bed=\"0\" Straighten=\"1\" MaxAngle=\"10\" "
        u"Contrast=\"0\"/>"
        u"</ImageProcessing>"
        u"<ImageProcessing Type=\"1\"><ColorToGray ColorFilter=\"-1\"/></ImageProcessing>"
        u"<ImageProcessing Type=\"8\"><TiltCorrection IsOriginalSize=\"1\" FillColor=\"1\" MinAngle=\"0\" "
        u"MaxAngle=\"5\" GrayType=\"0\" BinaryType=\"6\" Estimator=\"1\"/></ImageProcessing>"
        u"<ImageProcessing Type=\"21\"><NormalizeResolution Dpi=\"300\" Tolerance=\"10\"/></ImageProcessing>"
        u"</ImageProcessingList></Owner>"));
    EXPECT_TRUE(xml.FindElement(u"Owner"));
    EXPECT_TRUE(xml.EnterElement());
    CImageProcessingList list;
    EXPECT_TRUE(list.Read(xml));
    EXPECT_EQ(list.GetCount(), 4);
    return list;
}

TEST(ScanChain, BadInputHasDefinedResults) {
    const CImageProcessingList chain = ScannedChain();
    // Results after the whole chain, in pixels of the image at its own
    // resolution then normalised to 300 dpi (kDpi pages triple).
    struct Case {
        const char* what;
        CRawImage image;
        int32_t width, height;  // expected after the chain
        double tolerance;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, CRawImage img, int32_t w, int32_t h, double tol) {
        cases.push_back({what, std::move(img), w, h, tol});
    };
    const int a4w = static_cast<int>(std::lround(Px(kA4.w))), a4h = static_cast<int>(std::lround(Px(kA4.h)));
    // All bed, dark and light: the page stays whole (only levelled and
    // rescaled).
    for (uint8_t bed : {8, 250}) {
        CRawImage img;
        EXPECT_EQ(img.Create(a4w, a4h, 24, kDpi), 1);
        std::memset(img.Bits(), bed, static_cast<size_t>(img.bytesPerRow) * img.height);
        add(bed < 128 ? "all dark bed" : "all light bed", std::move(img), 3 * a4w, 3 * a4h, 3);
    }
    // Two documents on a dark bed: the larger (a passport page) is taken.
    {
        CRawImage img = Scene(kA4, kPassport, 1.0, 20, 20, 12);
        const CRawImage card = Scene(kId1, kId1, 0.0, 0, 0, 12);
        for (int y = 0; y < card.height; ++y)
            std::memcpy(img.Row(static_cast<int>(Px(180)) + y) + 3 * static_cast<int>(Px(40)), card.Row(y),
                        3 * static_cast<size_t>(card.width));
        add("two documents", std::move(img), static_cast<int32_t>(3 * Px(kPassport.w)),
            static_cast<int32_t>(3 * Px(kPassport.h)), 3 * Px(1.5));
    }
    // A card touching the right and bottom image edges: the visible part.
    {
        CRawImage img = Scene(kA5, kId1, 0.0, kA5.w - 60, kA5.h - 40, 12);
        add("touching two edges", std::move(img), static_cast<int32_t>(3 * Px(60)),
            static_cast<int32_t>(3 * Px(40)), 3 * Px(1.5));
    }
    // A torn corner: the remaining border gives the size.
    {
        CRawImage img = Scene(kA5, kPassport, -2.0, 10, 30, 12);
        const int cut = static_cast<int>(Px(20));
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x)
                if (x + y < static_cast<int>(Px(10)) + static_cast<int>(Px(30)) + cut)
                    std::memset(img.Row(y) + 3 * x, 12, 3);
        add("torn corner", std::move(img), static_cast<int32_t>(3 * Px(kPassport.w)),
            static_cast<int32_t>(3 * Px(kPassport.h)), 3 * Px(1.5));
    }
    // One pixel of each format: nothing to find, level or rescale beyond
    // the factor of three.
    for (int bpp : {1, 8, 24}) {
        CRawImage img;
        EXPECT_EQ(img.Create(1, 1, bpp, kDpi), 1);
        add("one pixel", std::move(img), 3, 3, 0);
    }
    // Resolutions of 0 and 10^6 are not believed: the document is found as
    // at any resolution and the page is not rescaled.
    for (int32_t res : {0, 1000000}) {
        CRawImage img = Scene(kA5, kId1, 1.5, 20, 30, 12);
        img.xResolution = img.yResolution = res;
        add(res == 0 ? "resolution 0" : "resolution 10^6", std::move(img), static_cast<int32_t>(Px(kId1.w)),
            static_cast<int32_t>(Px(kId1.h)), Px(1.5));
    }
    for (Case& c : cases) {
        const CpuStopwatch clock;
        ASSERT_TRUE(ApplyImageProcessingList(c.image, chain)) << c.what;
        const double seconds = clock.Seconds();
        EXPECT_LT(seconds, 10.0) << c.what;  // a debug build; far less in a release one
        ASSERT_TRUE(c.image.HasPixels()) << c.what;
        EXPECT_EQ(c.image.bitCount, 8) << c.what;
        EXPECT_NEAR(c.image.width, c.width, c.tolerance) << c.what;
        EXPECT_NEAR(c.image.height, c.height, c.tolerance) << c.what;
    }
}

// Straight-edged test pages for the row-profile estimate at a width where
// the page is squeezed sideways before measuring: text lines and a boxed
// form, 8-bit, turned by the classic rotation.
TEST(TiltCorrectionEstimator, WidePagesAreMeasuredAsAccuratelyAsNarrowOnes) {
    CRawImage level;
    ASSERT_EQ(level.Create(1800, 1300, 8, 300), 1);
    std::memset(level.Bits(), 250, static_cast<size_t>(level.bytesPerRow) * level.height);
    auto rect = [&](int l, int t, int r, int b) {
        for (int y = t; y < b; ++y) std::memset(level.Row(y) + l, 15, static_cast<size_t>(r - l));
    };
    for (int row = 0; row < 14; ++row)
        for (int x = 150; x < 1650 - (row % 4) * 90; x += 60 + (row * 17 + x) % 35)
            rect(x, 120 + row * 45, x + 40, 120 + row * 45 + 18);
    rect(150, 800, 1650, 803);
    rect(150, 1150, 1650, 1153);
    rect(150, 800, 153, 1153);
    rect(1647, 800, 1650, 1153);
    for (int k = 1; k < 6; ++k) rect(150, 800 + 58 * k, 1650, 802 + 58 * k);
    std::vector<double> errors;
    for (double degrees : {-4.5, -2.5, -1.0, -0.4, 0.7, 1.5, 3.2, 4.5}) {
        CRawImage page;
        ASSERT_EQ(level.Rotate(&page, 0, -degrees * kDeg, 1, 1, 1), 1);
        CTiltCorrectionInfo step;
        step.minAngle = 0;
        step.estimator = kTiltEstimatorProjection;
        const double measured = MeasureTiltFor(page, step) / kDeg;
        EXPECT_NEAR(measured, degrees, 0.15) << degrees;
        errors.push_back(std::fabs(measured - degrees));
    }
    std::sort(errors.begin(), errors.end());
    EXPECT_LE(errors[errors.size() / 2], 0.05);
}

}  // namespace
}  // namespace libMorvaneClassifier

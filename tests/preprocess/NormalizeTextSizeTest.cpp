#include "preprocess/NormalizeTextSize.h"

#include <gtest/gtest.h>

#include "image/Dib.h"
#include "imagefile/ImageCodecs.h"
#include "preprocess/ImageProcessingInfo.h"
#include "xml/XmlDocument.h"

namespace {

using namespace libMorvaneClassifier;

void Black(CRawImage& img, int x, int y) { img.Row(y)[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7)); }

// A 1-bit page with `lines` lines of 30 ring-shaped "characters" `h` pixels
// high, and a few specks and one tall bar that are no characters.
CRawImage TextPage(int w, int hgt, int h, int lines, int dpi = 0) {
    CRawImage img;
    img.Create(w, hgt, 1, dpi);
    const int cw = std::max(3, h * 2 / 3), pitch = cw + std::max(2, h / 4);
    for (int l = 0; l < lines; ++l)
        for (int i = 0; i < 30; ++i) {
            const int x0 = 10 + i * pitch, y0 = 10 + l * 2 * h;
            if (x0 + cw >= w || y0 + h >= hgt) continue;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < cw; ++x)
                    if (x == 0 || y == 0 || x == cw - 1 || y == h - 1) Black(img, x0 + x, y0 + y);
        }
    for (int y = 0; y < hgt * 3 / 5; ++y) Black(img, w - 5, y);  // a rule
    Black(img, w - 20, hgt - 10);
    return img;
}

TEST(NormalizeTextSize, MeasuresTheDominantHeight) {
    for (int h : {6, 9, 14, 30}) {
        const CRawImage page = TextPage(1600, 1200, h, 4);
        EXPECT_EQ(DominantCharHeight(page), h) << h;
    }
    CRawImage empty;
    empty.Create(100, 100, 1, 0);
    EXPECT_EQ(DominantCharHeight(empty), 0);  // nothing to measure
}

TEST(NormalizeTextSize, ScalesUpToTheTargetWithinItsCaps) {
    struct Case {
        int charHeight;
        int target;
        double scale;  // expected
    };
    const Case cases[] = {
        {8, 24, 3.0},   // up to the target
        {4, 28, 4.0},   // capped at 4 times
        {40, 20, 0.5},  // down
        {22, 24, 1.0},  // within the tolerance: left alone
    };
    for (const Case& c : cases) {
        CRawImage page = TextPage(600, 600, c.charHeight, 3, 150);
        CNormalizeTextSizeInfo step;
        step.height = c.target;
        NormalizeTextSizeResult r;
        ASSERT_TRUE(NormalizeTextSize(page, step, &r)) << c.charHeight;
        EXPECT_NEAR(r.scale, c.scale, 0.02) << c.charHeight;
        EXPECT_NEAR(page.width, 600 * c.scale, 1.0) << c.charHeight;
        EXPECT_NEAR(page.xResolution, 150 * c.scale, 1.0) << c.charHeight;  // physical size kept
        EXPECT_EQ(page.bitCount, 1);
    }
}

TEST(NormalizeTextSize, NeverPastThePageBudget) {
    imagefile::PageBudget& budget = imagefile::CurrentPageBudget();
    const imagefile::PageBudget saved = budget;
    budget.maxPixels = 600 * 600 * 4;  // room for twice the width and height only
    CRawImage page = TextPage(600, 600, 6, 3);
    CNormalizeTextSizeInfo step;
    step.height = 24;  // would ask for 4 times
    NormalizeTextSizeResult r;
    ASSERT_TRUE(NormalizeTextSize(page, step, &r));
    budget = saved;
    EXPECT_LE(static_cast<int64_t>(page.width) * page.height, 600 * 600 * 4);
    EXPECT_NEAR(r.scale, 2.0, 0.01);
    EXPECT_EQ(page.xResolution, 0);  // no resolution stays none
}

TEST(NormalizeTextSize, RecordReadsDefaultsAndTheFactoryKnowsIt) {
    CXmlDocument xml;
    ASSERT_TRUE(xml.ParseText(u"<NormalizeTextSize Height=\"30\"/>"));
    std::unique_ptr<CImageProcessingInfo> info = CreateImageProcessingInfo(kStepNormalizeTextSize);
    ASSERT_NE(info, nullptr);
    ASSERT_TRUE(info->ReadXml(xml));
    const auto* s = dynamic_cast<const CNormalizeTextSizeInfo*>(info.get());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->height, 30);
    EXPECT_EQ(s->tolerance, 15);
    EXPECT_EQ(s->maxUp, 400);
    // Out-of-range target: nothing happens.
    CRawImage page = TextPage(300, 300, 8, 2);
    CNormalizeTextSizeInfo off;
    off.height = 2;
    ASSERT_TRUE(NormalizeTextSize(page, off));
    EXPECT_EQ(page.width, 300);
    CRawImage none;
    EXPECT_FALSE(NormalizeTextSize(none, off));
}

}  // namespace

#include "preprocess/NormalizeTextSize.h"

#include <gtest/gtest.h>

#include "image/Dib.h"
#include "imagefile/ImageCodecs.h"
#include "preprocess/ImageProcessing.h"
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

// The 1-bit page drawn in gray: ink 40 on a background that darkens from
// 230 at the left to 170 at the right (uneven light).
CRawImage GrayPage(int w, int hgt, int h, int dpi) {
    const CRawImage bits = TextPage(w, hgt, h, 3, dpi);
    CRawImage img;
    img.Create(w, hgt, 8, dpi);
    for (int y = 0; y < hgt; ++y)
        for (int x = 0; x < w; ++x) {
            const bool ink = (bits.Row(y)[x >> 3] >> (7 - (x & 7))) & 1;
            img.Row(y)[x] = static_cast<uint8_t>(ink ? 40 : 230 - 60 * x / w);
        }
    return img;
}

bool SamePixels(const CRawImage& a, const CRawImage& b) {
    if (a.width != b.width || a.height != b.height || a.bitCount != b.bitCount) return false;
    const size_t bytes = (static_cast<size_t>(a.width) * a.bitCount + 7) / 8;
    for (int y = 0; y < a.height; ++y)
        if (!std::equal(a.Row(y), a.Row(y) + bytes, b.Row(y))) return false;
    return true;
}

TEST(NormalizeTextSize, BinaryMethodLeavesWhatAGrayToBinStepWould) {
    struct Case {
        int charHeight, target, method;
        bool rescaled;
    };
    const Case cases[] = {
        {20, 20, 8, false},  // nothing to rescale: the measured copy is the page
        {10, 20, 8, true},   // enlarged, then binarised
        {40, 20, 8, true},   // reduced, then binarised
        {20, 20, 7, false},  // another method than the measuring one
        {20, 2, 8, false},   // a target out of range rescales nothing but still binarises
    };
    for (const Case& c : cases) {
        CRawImage once = GrayPage(500, 400, c.charHeight, 200);
        CRawImage twice(once);
        CNormalizeTextSizeInfo step;
        step.height = c.target;
        ASSERT_TRUE(NormalizeTextSize(twice, step)) << c.charHeight;
        EXPECT_EQ(twice.bitCount, 8);  // without the option the page stays gray
        CGrayToBinInfo bin;
        bin.method = c.method;
        bin.blockNum = 1;
        ASSERT_TRUE(ApplyImageProcessing(twice, bin));
        step.binaryMethod = c.method;
        NormalizeTextSizeResult r;
        ASSERT_TRUE(NormalizeTextSize(once, step, &r)) << c.charHeight;
        EXPECT_EQ(r.scale != 1.0, c.rescaled) << c.charHeight;
        EXPECT_EQ(once.bitCount, 1) << c.charHeight;
        EXPECT_TRUE(SamePixels(once, twice)) << c.charHeight << " " << c.method;
        EXPECT_EQ(once.xResolution, twice.xResolution) << c.charHeight;
        EXPECT_EQ(once.yResolution, twice.yResolution) << c.charHeight;
    }
    // A colour page is left in colour, as a GrayToBin step leaves it.
    CRawImage colour;
    ASSERT_TRUE(colour.Create(64, 64, 24, 0));
    CNormalizeTextSizeInfo step;
    step.binaryMethod = 8;
    ASSERT_TRUE(NormalizeTextSize(colour, step));
    EXPECT_EQ(colour.bitCount, 24);
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
    EXPECT_EQ(s->binaryMethod, -1);  // absent: the page keeps its format
    EXPECT_EQ(s->zone, 0);
    ASSERT_TRUE(xml.ParseText(u"<NormalizeTextSize Height=\"30\" BinaryMethod=\"8\" Zone=\"1\"/>"));
    ASSERT_TRUE(info->ReadXml(xml));
    EXPECT_EQ(s->binaryMethod, 8);
    EXPECT_EQ(s->zone, 1);
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

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "image/SkewPageUtil.h"
#include "preprocess/ImageProcessing.h"
#include "preprocess/TiltCorrection.h"

namespace libMorvaneClassifier {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

bool SamePixels(const CRawImage& a, const CRawImage& b) {
    if (a.width != b.width || a.height != b.height || a.bitCount != b.bitCount ||
        a.bytesPerRow != b.bytesPerRow)
        return false;
    for (int32_t y = 0; y < a.height; ++y)
        if (std::memcmp(a.Row(y), b.Row(y), static_cast<size_t>(a.bytesPerRow)) != 0) return false;
    return true;
}

// A text page with rows rising by `degrees`, as 1-bit, 8-bit gray or 24-bit
// colour (dark blue ink on white paper). Kept small: the working copies go
// through the full gray and binary conversions.
constexpr int kPageWidth = 1000;
constexpr int kPageHeight = 900;
CRawImage TextPage(double degrees, int bitCount, unsigned start = 7) {
    skewpage::TextStyle style;
    style.lineLength = 700;
    style.marginLeft = 150;
    style.marginTop = 100;
    style.marginBottom = 100;
    CRawImage bin = skewpage::MakeTiltedTextPage(kPageWidth, kPageHeight, degrees * kDeg, start, style);
    if (bitCount == 1) return bin;
    CRawImage out;
    EXPECT_EQ(out.Create(bin.width, bin.height, bitCount, 300), 1);
    for (int y = 0; y < bin.height; ++y)
        for (int x = 0; x < bin.width; ++x) {
            const bool ink = skewpage::IsBlack(bin, x, y);
            if (bitCount == 8) {
                out.Row(y)[x] = ink ? 30 : 235;
            } else {
                uint8_t* p = out.Row(y) + 3 * x;
                p[0] = ink ? 110 : 250;  // blue
                p[1] = ink ? 30 : 248;   // green
                p[2] = ink ? 20 : 245;   // red
            }
        }
    return out;
}

TEST(TiltWindow, BothLimitsAreExclusiveAndSignIsIgnored) {
    const double lo = TiltLimitRadians(1), hi = TiltLimitRadians(5);
    struct Case {
        const char* what;
        double angle;
        bool inside;
    } cases[] = {
        {"0.5 degree", 0.5 * kDeg, false},
        {"exactly the lower limit", lo, false},
        {"exactly minus the lower limit", -lo, false},
        {"just above the lower limit", std::nextafter(lo, 1.0), true},
        // The limit uses 3.14159265, a little below pi: one degree computed
        // with the full pi lies just above it.
        {"one degree with the full pi", 1.0 * kDeg, true},
        {"3 degrees", 3 * kDeg, true},
        {"-3 degrees", -3 * kDeg, true},
        {"exactly the upper limit", hi, false},
        {"5 degrees with the full pi", 5 * kDeg, false},
        {"just below the upper limit", std::nextafter(hi, 0.0), true},
        {"-6 degrees", -6 * kDeg, false},
        {"0", 0.0, false},
    };
    for (const auto& c : cases) EXPECT_EQ(TiltInWindow(c.angle, 1, 5), c.inside) << c.what;
    EXPECT_DOUBLE_EQ(TiltLimitRadians(1), 3.14159265 / 180);
    // Other windows, including a negative lower limit that lets 0 in.
    EXPECT_TRUE(TiltInWindow(0.0, -1, 5));
    EXPECT_FALSE(TiltInWindow(2 * kDeg, 3, 10));
    EXPECT_TRUE(TiltInWindow(-4 * kDeg, 3, 10));
    EXPECT_FALSE(TiltInWindow(3 * kDeg, 5, 1));
}

TEST(TiltRotate, FlagsReachTheRotation) {
    // isOriginalSize: any non-zero value keeps the size; fillColor is the
    // white-fill argument as it is (0 gives black corners on a 1-bit page).
    struct Case {
        int32_t isOriginalSize, fillColor;
        bool sameSize;
        bool whiteCorners;
    } cases[] = {
        {1, 1, true, true},  {7, 7, true, true},   {0, 1, false, true},
        {1, 0, true, false}, {-2, 0, true, false},
    };
    for (const auto& c : cases) {
        CRawImage img;
        ASSERT_EQ(img.Create(300, 200, 1, 300), 1);
        CTiltCorrectionInfo step;
        step.isOriginalSize = c.isOriginalSize;
        step.fillColor = c.fillColor;
        ASSERT_TRUE(RotateIfTilted(img, 3 * kDeg, step));
        EXPECT_EQ(img.width == 300 && img.height == 200, c.sameSize) << c.isOriginalSize;
        EXPECT_EQ(skewpage::IsBlack(img, 0, 0), !c.whiteCorners) << c.fillColor;
        EXPECT_FALSE(skewpage::IsBlack(img, img.width / 2, img.height / 2));
    }
}

TEST(TiltRotate, OutsideTheWindowLeavesThePageAlone) {
    CRawImage img = TextPage(0, 1);
    const CRawImage before(img);
    CTiltCorrectionInfo step;
    for (double deg : {0.0, 0.5, 0.9999, 5.5, -7.0}) {
        EXPECT_TRUE(RotateIfTilted(img, deg * kDeg, step)) << deg;
        EXPECT_TRUE(SamePixels(img, before)) << deg;
    }
}

TEST(TiltCorrect, StraightensPagesInEveryFormat) {
    struct Case {
        int bitCount;
        double degrees;
    } cases[] = {
        {1, 3.0},
        {1, -2.5},
        {8, -4.0},
        {24, 3.5},
    };
    for (const auto& c : cases) {
        CRawImage page = TextPage(c.degrees, c.bitCount);
        CTiltCorrectionInfo step;  // defaults: window (1, 5) degrees, gray 0, method 6
        double measured = 0.0;
        ASSERT_TRUE(CorrectTilt(page, step, &measured)) << c.bitCount << " " << c.degrees;
        EXPECT_NEAR(measured / kDeg, c.degrees, 0.15) << c.bitCount;
        EXPECT_EQ(page.bitCount, c.bitCount);
        EXPECT_EQ(page.width, kPageWidth);
        EXPECT_EQ(page.height, kPageHeight);
        // Measured again, the page is level.
        const double after = MeasureTilt(page, step.grayType, step.binaryType);
        EXPECT_LT(std::fabs(after / kDeg), 0.15) << c.bitCount << " " << c.degrees;
    }
}

TEST(TiltCorrect, SmallOrLargeSkewsAreLeftAsTheyAre) {
    for (double deg : {0.5, -0.7}) {
        CRawImage page = TextPage(deg, deg > 0 ? 24 : 1);
        const CRawImage before(page);
        CTiltCorrectionInfo step;
        double measured = 1.0;
        ASSERT_TRUE(CorrectTilt(page, step, &measured)) << deg;
        EXPECT_NEAR(measured / kDeg, deg, 0.15);
        EXPECT_TRUE(SamePixels(page, before)) << deg;
    }
    // A narrower window: 3 degrees is beyond a maximum of 2.
    CRawImage page = TextPage(3.0, 1);
    const CRawImage before(page);
    CTiltCorrectionInfo step;
    step.maxAngle = 2;
    ASSERT_TRUE(CorrectTilt(page, step));
    EXPECT_TRUE(SamePixels(page, before));
}

TEST(TiltCorrect, EmptyPageSucceedsUnlessTheWindowHoldsZero) {
    CTiltCorrectionInfo step;
    CRawImage empty;
    EXPECT_TRUE(CorrectTilt(empty, step));
    EXPECT_FALSE(empty.HasPixels());
    // With a negative lower limit the angle 0 is inside the window and the
    // rotation of an empty page fails.
    step.minAngle = -1;
    EXPECT_FALSE(CorrectTilt(empty, step));
}

TEST(TiltCorrect, ThroughTheExecutorForBothTypeNumbers) {
    for (int32_t type : {8, 12}) {
        auto step = CreateImageProcessingInfo(type);
        ASSERT_TRUE(step) << type;
        EXPECT_EQ(step->type, 8);
        CRawImage page = TextPage(type == 8 ? 2.0 : -2.0, 1);
        const CRawImage before(page);
        ASSERT_TRUE(ApplyImageProcessing(page, *step)) << type;
        EXPECT_FALSE(SamePixels(page, before)) << type;
        EXPECT_LT(std::fabs(MeasureTilt(page, 0, 6) / kDeg), 0.15) << type;
    }
}

}  // namespace
}  // namespace libMorvaneClassifier

// Applying steps and chains to images.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "preprocess/ImageProcessing.h"

namespace libMorvaneClassifier {
namespace {

CRawImage MakeImage(int32_t width, int32_t height, int32_t bitCount) {
    CRawImage image;
    EXPECT_EQ(image.Create(width, height, bitCount, 300), 1);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < image.bytesPerRow; ++x)
            image.Row(y)[x] = static_cast<uint8_t>(x * 31 + y * 7);
    return image;
}

bool SamePixels(const CRawImage& a, const CRawImage& b) {
    if (a.width != b.width || a.height != b.height || a.bitCount != b.bitCount ||
        a.bytesPerRow != b.bytesPerRow)
        return false;
    for (int32_t y = 0; y < a.height; ++y)
        if (std::memcmp(a.Row(y), b.Row(y), static_cast<size_t>(a.bytesPerRow)) != 0) return false;
    return true;
}

std::unique_ptr<CImageProcessingInfo> EraseStep(int32_t method) {
    auto step = std::make_unique<CBlackEdgesErasingInfo>();
    step->method = method;
    return step;
}

TEST(ApplyStep, EraseWithNonZeroMethodDoesNothingAndSucceeds) {
    for (int32_t method : {1, 2, -1, 1000}) {
        CRawImage image = MakeImage(20, 12, 24);
        const CRawImage before = image;
        auto step = EraseStep(method);
        EXPECT_TRUE(ApplyImageProcessing(image, *step)) << method;
        EXPECT_TRUE(SamePixels(image, before)) << method;
    }
}

TEST(ApplyStep, CroppingPlaceholderFailsAndLeavesImage) {
    CRawImage image = MakeImage(9, 9, 8);
    const CRawImage before = image;
    CImageCroppingInfo crop;
    EXPECT_FALSE(ApplyImageProcessing(image, crop));
    EXPECT_TRUE(SamePixels(image, before));
}

TEST(ApplyStep, TypeWithoutActionFails) {
    // A record whose type number was changed to one without an action, or to
    // the number of another record class, is not applied.
    struct Case {
        std::unique_ptr<CImageProcessingInfo> step;
        int32_t type;
    };
    Case cases[] = {
        {std::make_unique<CColorToGrayInfo>(), 5},   {std::make_unique<CColorToGrayInfo>(), 0},
        {std::make_unique<CColorToGrayInfo>(), 3},  // not an erase record
        {std::make_unique<CImageCroppingInfo>(), 8}, {std::make_unique<CImageCroppingInfo>(), 1},
        {std::make_unique<CImageCroppingInfo>(), 2},
    };
    for (auto& c : cases) {
        CRawImage image = MakeImage(9, 9, 8);
        const CRawImage before = image;
        c.step->type = c.type;
        EXPECT_FALSE(ApplyImageProcessing(image, *c.step)) << c.type;
        EXPECT_TRUE(SamePixels(image, before)) << c.type;
    }
}

TEST(ApplyList, NoStepsSucceeds) {
    CRawImage image = MakeImage(5, 5, 1);
    const CRawImage before = image;
    CImageProcessingList empty;
    EXPECT_TRUE(ApplyImageProcessingList(image, empty));
    EXPECT_TRUE(ApplyImageProcessingList(image, static_cast<const CImageProcessingList*>(nullptr)));
    EXPECT_TRUE(SamePixels(image, before));
}

TEST(ApplyList, StopsAtTheFirstFailingStep) {
    struct Case {
        std::vector<int32_t> methods;  // erase methods; 0 marks the cropping placeholder
        bool ok;
    } cases[] = {
        {{1, 2, 3}, true},
        {{1, 0}, false},
        {{0, 1}, false},
        {{1, 2, 0, 3}, false},
    };
    for (const auto& c : cases) {
        CImageProcessingList list;
        for (int32_t m : c.methods) list.Append(m == 0 ? CreateImageProcessingInfo(9) : EraseStep(m));
        CRawImage image = MakeImage(7, 7, 24);
        EXPECT_EQ(ApplyImageProcessingList(image, list), c.ok);
        EXPECT_EQ(ApplyImageProcessingList(image, &list), c.ok);
    }
}

// The real colour actions: a chain 1, 9, 2 converts to gray, stops at the
// placeholder and never binarises.
TEST(ApplyList, GrayThenPlaceholderThenBinary) {
    CImageProcessingList list;
    list.Append(CreateImageProcessingInfo(1));
    list.Append(CreateImageProcessingInfo(9));
    list.Append(CreateImageProcessingInfo(2));
    CRawImage image = MakeImage(16, 10, 24);
    EXPECT_FALSE(ApplyImageProcessingList(image, list));
    EXPECT_EQ(image.bitCount, 8);
    EXPECT_EQ(image.width, 16);
    EXPECT_EQ(image.height, 10);

    // Without the placeholder the chain reaches binarisation.
    CImageProcessingList full;
    full.Append(CreateImageProcessingInfo(1));
    full.Append(CreateImageProcessingInfo(2));
    CRawImage image2 = MakeImage(16, 10, 24);
    EXPECT_TRUE(ApplyImageProcessingList(image2, full));
    EXPECT_EQ(image2.bitCount, 1);
}

}  // namespace
}  // namespace libMorvaneClassifier

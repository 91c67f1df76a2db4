// Loading local image files into a device and saving its captured images.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "core/TextConv.h"
#include "devices/Device.h"
#include "imagefile/ImageFile.h"

namespace libMorvaneClassifier {
namespace {

class CHoldingDevice : public CDevNull {
public:
    CRawImage* Add() { return AddCapturedImage(); }
};

class DeviceFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/morvane-devices-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }
    std::u16string Path(const char* name) const { return Utf8ToUtf16(dir_ + "/" + name); }

    // A page whose pixels tell it apart from the others.
    static void Fill(CRawImage& image, int32_t width, int32_t height, int32_t bitCount, uint8_t mark) {
        ASSERT_EQ(image.Create(width, height, bitCount, 200), 1);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < image.bytesPerRow; ++x)
                image.Row(y)[x] = static_cast<uint8_t>(mark + x + y);
    }

    std::string dir_;
};

TEST_F(DeviceFiles, LoadLocalImageReplacesTheCapturedImages) {
    CRawImage page;
    Fill(page, 30, 20, 8, 5);
    ASSERT_TRUE(imagefile::SaveImageFile(page, Path("page.bmp"), 0));

    CHoldingDevice device;
    Fill(*device.Add(), 4, 4, 24, 0);
    Fill(*device.Add(), 4, 4, 24, 0);
    ASSERT_EQ(device.LoadLocalImage(Path("page.bmp")), kDeviceOk);
    ASSERT_EQ(device.GetCapturedImageCount(), 1);
    const CRawImage* loaded = device.GetCapturedImage(0);
    EXPECT_EQ(loaded->width, 30);
    EXPECT_EQ(loaded->height, 20);
    EXPECT_EQ(loaded->bitCount, 8);
    EXPECT_EQ(loaded->Row(7)[11], page.Row(7)[11]);
}

TEST_F(DeviceFiles, UnreadableFilesLeaveNoImage) {
    struct Case {
        const char* name;
        const char* content;
    } cases[] = {
        {"garbage.bmp", "this is not an image"},
        {"empty.jpg", ""},
        {"truncated.bmp", "BM\x36\x00\x00\x00"},
    };
    for (const auto& c : cases) {
        std::FILE* f = std::fopen((dir_ + "/" + c.name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs(c.content, f);
        std::fclose(f);
        CHoldingDevice device;
        Fill(*device.Add(), 4, 4, 8, 0);
        EXPECT_EQ(device.LoadLocalImage(Path(c.name)), kDeviceFileFailed) << c.name;
        EXPECT_EQ(device.GetCapturedImageCount(), 0) << c.name;
    }
}

TEST_F(DeviceFiles, SaveNamesEveryPageAfterThePath) {
    CHoldingDevice device;
    Fill(*device.Add(), 12, 9, 24, 1);
    Fill(*device.Add(), 13, 8, 8, 2);
    Fill(*device.Add(), 40, 3, 1, 3);
    ASSERT_EQ(device.SaveCapturedImage(Path("a.bmp"), 0), kDeviceOk);

    const char* names[] = {"a.bmp", "a1.bmp", "a2.bmp"};
    for (int32_t i = 0; i < 3; ++i) {
        CRawImage back;
        ASSERT_TRUE(imagefile::LoadImageFile(back, Path(names[i]))) << names[i];
        const CRawImage* original = device.GetCapturedImage(i);
        EXPECT_EQ(back.width, original->width) << names[i];
        EXPECT_EQ(back.height, original->height) << names[i];
        EXPECT_EQ(back.bitCount, original->bitCount) << names[i];
        if (original->bitCount != 1) {
            EXPECT_EQ(back.Row(2)[5], original->Row(2)[5]) << names[i];
        }
    }
    std::FILE* extra = std::fopen((dir_ + "/a3.bmp").c_str(), "rb");
    EXPECT_EQ(extra, nullptr);
    if (extra) std::fclose(extra);
}

TEST_F(DeviceFiles, AFailedPageFailsTheSaveButTheOthersAreWritten) {
    CHoldingDevice device;
    Fill(*device.Add(), 12, 9, 8, 1);
    device.Add();  // a page without pixels cannot be written
    Fill(*device.Add(), 12, 9, 8, 3);
    EXPECT_EQ(device.SaveCapturedImage(Path("b.bmp"), 0), kDeviceFileFailed);
    CRawImage first, third;
    EXPECT_TRUE(imagefile::LoadImageFile(first, Path("b.bmp")));
    EXPECT_TRUE(imagefile::LoadImageFile(third, Path("b2.bmp")));
}

}  // namespace
}  // namespace libMorvaneClassifier

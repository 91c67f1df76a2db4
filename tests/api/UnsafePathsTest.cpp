// Paths that are not regular files (FIFOs, devices, directories) and working
// directories written without a trailing separator, through the exported
// functions.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "ApiTestUtil.h"
#include "TemplateSetFixture.h"

namespace {

class UnsafePathsTest : public ::testing::Test {
protected:
    void TearDown() override { FreeClassifier(); }
    TempDir dir_;
};

TEST_F(UnsafePathsTest, WorkingDirectoryWithoutTrailingSeparator) {
    dir_.Write("ClasDevices.dat", NullDeviceList());
    std::string bare = dir_.path();
    bare.pop_back();  // TempDir paths end in '/'
    EXPECT_EQ(LoadClassifier(nullptr, W(U(bare.c_str()))), 0);
}

TEST_F(UnsafePathsTest, FifosAndDevicesAreRefusedPromptly) {
    dir_.Write("ClasDevices.dat", NullDeviceList());
    ASSERT_EQ(LoadClassifier(nullptr, W(U(dir_.path().c_str()))), 0);
    const std::string fifo = dir_.path() + "page.png";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string zero = dir_.path() + "zero.bmp";
    ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ClassifyImageFile(W(U(fifo.c_str())), 0), MORVANE_ERR_READ_IMAGE);
    EXPECT_EQ(LoadLocalImage(W(U(fifo.c_str()))), MORVANE_ERR_READ_IMAGE);
    EXPECT_EQ(ClassifyImageFile(W(U(zero.c_str())), 0), MORVANE_ERR_READ_IMAGE);
    EXPECT_EQ(ClassifyImageFile(W(U(dir_.path().c_str())), 0), MORVANE_ERR_READ_IMAGE);
    int index = -1;
    EXPECT_EQ(AddMainTemplate(W(U(fifo.c_str())), &index), MORVANE_ERR_READ_MAIN_TEMPLATE);
    EXPECT_EQ(AddMainTemplate(W(U(zero.c_str())), &index), MORVANE_ERR_READ_MAIN_TEMPLATE);
    // A blocked open would never come back; reaching here at all is the check,
    // the bound only reports a read that ran on.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST_F(UnsafePathsTest, DeviceListThatIsAFifoOrTooLarge) {
    const std::string list = dir_.path() + "ClasDevices.dat";
    ASSERT_EQ(mkfifo(list.c_str(), 0600), 0);
    EXPECT_EQ(LoadClassifier(nullptr, W(U(dir_.path().c_str()))), MORVANE_ERR_READ_DEVICE_FILE);
    unlink(list.c_str());
    // Over the 1 MiB limit of a device list: a valid list padded with a comment.
    dir_.Write("ClasDevices.dat", NullDeviceList() + "<!--" + std::string(size_t(1) << 20, 'x') + "-->");
    EXPECT_EQ(LoadClassifier(nullptr, W(U(dir_.path().c_str()))), MORVANE_ERR_READ_DEVICE_FILE);
    dir_.Write("ClasDevices.dat", NullDeviceList() + "<!--" + std::string(1000, 'x') + "-->");
    EXPECT_EQ(LoadClassifier(nullptr, W(U(dir_.path().c_str()))), 0);
}

}  // namespace

namespace {

TEST(PageBudget, SetterChecksItsArgumentsAndGovernsFileReads) {
    TempDir dir;
    dir.Write("ClasDevices.dat", NullDeviceList());
    ASSERT_EQ(LoadClassifier(nullptr, W(U(dir.path().c_str()))), 0);
    // A 3 x 2 gray page: an 8-bit BMP written by hand.
    std::string bmp = "BM";
    auto le32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) bmp.push_back(static_cast<char>(v >> (8 * i)));
    };
    auto le16 = [&](uint16_t v) {
        bmp.push_back(static_cast<char>(v));
        bmp.push_back(static_cast<char>(v >> 8));
    };
    const uint32_t offset = 14 + 40 + 256 * 4;
    le32(offset + 8);
    le32(0);
    le32(offset);
    le32(40);
    le32(3);
    le32(2);
    le16(1);
    le16(8);
    le32(0);
    le32(8);
    le32(11811);
    le32(11811);
    le32(256);
    le32(0);
    for (int i = 0; i < 256; ++i) {
        for (int k = 0; k < 3; ++k) bmp.push_back(static_cast<char>(i));
        bmp.push_back(0);
    }
    bmp.append(8, '\x80');
    dir.Write("page.bmp", bmp);
    const std::string page = dir.path() + "page.bmp";

    EXPECT_EQ(MorvaneSetPageBudget(-1, 0), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(MorvaneSetPageBudget(0, -1), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(MorvaneSetPageBudget(5, 0), 0);
    EXPECT_EQ(LoadLocalImage(W(U(page.c_str()))), MORVANE_ERR_READ_IMAGE);
    EXPECT_EQ(MorvaneSetPageBudget(6, 0), 0);
    EXPECT_EQ(LoadLocalImage(W(U(page.c_str()))), 0);
    EXPECT_EQ(MorvaneSetPageBudget(0, 0), 0);  // defaults again
    EXPECT_EQ(LoadLocalImage(W(U(page.c_str()))), 0);
    FreeClassifier();
}

}  // namespace

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
    EXPECT_EQ(ClassifyImageFile(W(U(fifo.c_str())), 0), -16);
    EXPECT_EQ(LoadLocalImage(W(U(fifo.c_str()))), -16);
    EXPECT_EQ(ClassifyImageFile(W(U(zero.c_str())), 0), -16);
    EXPECT_EQ(ClassifyImageFile(W(U(dir_.path().c_str())), 0), -16);
    int index = -1;
    EXPECT_EQ(AddMainTemplate(W(U(fifo.c_str())), &index), -4);
    EXPECT_EQ(AddMainTemplate(W(U(zero.c_str())), &index), -4);
    // A blocked open would never come back; reaching here at all is the check,
    // the bound only reports a read that ran on.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST_F(UnsafePathsTest, DeviceListThatIsAFifoOrTooLarge) {
    const std::string list = dir_.path() + "ClasDevices.dat";
    ASSERT_EQ(mkfifo(list.c_str(), 0600), 0);
    EXPECT_EQ(LoadClassifier(nullptr, W(U(dir_.path().c_str()))), -2);
    unlink(list.c_str());
    // Over the 1 MiB limit of a device list: a valid list padded with a comment.
    dir_.Write("ClasDevices.dat", NullDeviceList() + "<!--" + std::string(size_t(1) << 20, 'x') + "-->");
    EXPECT_EQ(LoadClassifier(nullptr, W(U(dir_.path().c_str()))), -2);
    dir_.Write("ClasDevices.dat", NullDeviceList() + "<!--" + std::string(1000, 'x') + "-->");
    EXPECT_EQ(LoadClassifier(nullptr, W(U(dir_.path().c_str()))), 0);
}

}  // namespace

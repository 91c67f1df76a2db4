// Device operations: the null device, the scanner without its adapter,
// captured images and opening devices through the manager.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "core/TextConv.h"
#include "devices/DevScanner.h"
#include "devices/DeviceManager.h"

namespace libMorvaneClassifier {
namespace {

// A device whose Open answers a chosen code, recording what it was given.
class CFakeDevice : public CDevice {
public:
    CFakeDevice(int32_t openResult, int32_t priority) : CDevice(kDeviceNull), openResult_(openResult) {
        GetInfo()->priority = priority;
    }
    int32_t Open(const std::u16string& dir) override {
        openedWith = dir;
        ++openCalls;
        if (openResult_ == kDeviceOk) SetOpened(true);
        return openResult_;
    }
    bool IsPresent() override { return openResult_ != kDeviceNotPresent; }
    // Lets the tests put images into the captured list.
    CRawImage* Add() { return AddCapturedImage(); }

    std::u16string openedWith;
    int openCalls = 0;

private:
    int32_t openResult_;
};

std::unique_ptr<CFakeDevice> Fake(int32_t openResult, int32_t priority) {
    return std::make_unique<CFakeDevice>(openResult, priority);
}

TEST(Devices, FactoryByType) {
    struct Case {
        int32_t type;
        bool made;
    } cases[] = {{0, true}, {2, true}, {1, false}, {3, false}, {5, false}, {-1, false}};
    for (const auto& c : cases) {
        auto device = CreateDevice(c.type);
        EXPECT_EQ(device != nullptr, c.made) << c.type;
        if (device) {
            EXPECT_EQ(device->GetType(), c.type);
        }
        auto info = CreateDeviceInfo(c.type);
        EXPECT_EQ(info != nullptr, c.made) << c.type;
    }
    EXPECT_NE(dynamic_cast<CDevNull*>(CreateDevice(0).get()), nullptr);
    EXPECT_NE(dynamic_cast<CDevScanner*>(CreateDevice(2).get()), nullptr);
    EXPECT_NE(dynamic_cast<CDevScannerInfo*>(CreateDeviceInfo(2).get()), nullptr);
    EXPECT_NE(dynamic_cast<CDevNullInfo*>(CreateDeviceInfo(0).get()), nullptr);
}

TEST(Devices, InfoIsCreatedOnFirstRequest) {
    CDevNull device;
    EXPECT_EQ(device.PeekInfo(), nullptr);
    EXPECT_EQ(device.GetPriority(), 0);
    EXPECT_EQ(device.GetName(), u"");
    CDeviceInfo* info = device.GetInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(device.GetInfo(), info);
    info->priority = 6;
    info->name = std::u16string(u"N");  // (a literal assignment trips a false GCC 12 -Wrestrict)
    EXPECT_EQ(device.GetPriority(), 6);
    EXPECT_EQ(device.GetName(), u"N");

    CDevScanner scanner;
    auto* sinfo = dynamic_cast<CDevScannerInfo*>(scanner.GetInfo());
    ASSERT_NE(sinfo, nullptr);
    EXPECT_EQ(sinfo->resolution, 300);
    EXPECT_EQ(sinfo->imageType, 2);
    EXPECT_EQ(sinfo->priority, 0);
}

TEST(Devices, NullDeviceAnswers) {
    CDevNull device;
    device.GetInfo()->priority = 2;
    EXPECT_TRUE(device.IsPresent());
    EXPECT_EQ(device.Open(u"/any/"), kDeviceOk);
    EXPECT_TRUE(device.IsOpened());
    EXPECT_EQ(device.Capture(), kDeviceNotSupported);
    EXPECT_EQ(device.SetCapturedAttribute(10, 600), kDeviceNotSupported);
    EXPECT_EQ(device.SetCapturedRange(0, 0, 100, 100), kDeviceNotSupported);
    EXPECT_EQ(device.HavePaper(), kDeviceNotSupported);
    EXPECT_EQ(device.GetCapturedImageCount(), 0);
    device.Close();
    EXPECT_FALSE(device.IsOpened());
    EXPECT_EQ(device.PeekInfo(), nullptr);
    EXPECT_EQ(device.GetPriority(), 0);
}

TEST(Devices, ScannerWithoutAdapterIsNotPresent) {
    CDevScanner scanner;
    scanner.GetInfo()->priority = 9;
    EXPECT_FALSE(scanner.IsPresent());
    EXPECT_EQ(scanner.Open(u"/any/"), kDeviceNotPresent);
    EXPECT_FALSE(scanner.IsOpened());
    // Operations on a scanner that is not opened.
    EXPECT_EQ(scanner.Capture(), kDeviceNotOpened);
    EXPECT_EQ(scanner.SetCapturedAttribute(11, 1), kDeviceNotOpened);
    EXPECT_EQ(scanner.SetCapturedRange(100, 200, 50, 150), kDeviceNotOpened);
    EXPECT_EQ(scanner.HavePaper(), kDeviceNotOpened);
    scanner.Close();
    EXPECT_EQ(scanner.GetPriority(), 9);  // the scanner keeps its record
}

TEST(Devices, OpenPassesTheWorkingDirectoryAndClosesFailures) {
    CDeviceManager manager;
    manager.SetWorkingDirectory(u"/work/dir/");
    auto* refused = Fake(kDeviceFailed, 100).release();
    auto* absent = Fake(kDeviceNotPresent, 50).release();
    auto* low = Fake(kDeviceOk, 1).release();
    auto* high = Fake(kDeviceOk, 2).release();
    manager.AddDevice(std::unique_ptr<CDevice>(refused));
    manager.AddDevice(std::unique_ptr<CDevice>(absent));
    manager.AddDevice(std::unique_ptr<CDevice>(low));
    manager.AddDevice(std::unique_ptr<CDevice>(high));
    manager.AddDevice(nullptr);
    ASSERT_EQ(manager.GetDeviceCount(), 4);

    ASSERT_TRUE(manager.OpenDevices());
    EXPECT_EQ(manager.GetActiveDevice(), high);
    for (auto* d : {refused, absent, low, high}) {
        EXPECT_EQ(d->openCalls, 1);
        EXPECT_EQ(d->openedWith, u"/work/dir/");
    }
    // Devices that did not open were closed and lost their record.
    EXPECT_EQ(refused->PeekInfo(), nullptr);
    EXPECT_EQ(absent->PeekInfo(), nullptr);
    EXPECT_FALSE(low->IsOpened());
    EXPECT_TRUE(high->IsOpened());
    EXPECT_EQ(manager.GetDevice(4), nullptr);
    EXPECT_EQ(manager.GetDevice(-1), nullptr);
}

TEST(Devices, NoDeviceOpens) {
    CDeviceManager manager;
    EXPECT_FALSE(manager.OpenDevices());
    manager.AddDevice(Fake(kDeviceNotOpened, 5));
    manager.AddDevice(Fake(kDeviceNotPresent, 5));
    EXPECT_FALSE(manager.OpenDevices());
    EXPECT_EQ(manager.GetActiveDevice(), nullptr);
}

TEST(CapturedImages, IndexBounds) {
    CFakeDevice device(kDeviceOk, 0);
    EXPECT_EQ(device.GetCapturedImage(0), nullptr);
    CRawImage* a = device.Add();
    CRawImage* b = device.Add();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(device.GetCapturedImageCount(), 2);
    EXPECT_EQ(device.GetCapturedImage(0), a);
    EXPECT_EQ(device.GetCapturedImage(1), b);
    EXPECT_EQ(device.GetCapturedImage(2), nullptr);
    EXPECT_EQ(device.GetCapturedImage(-1), nullptr);
}

TEST(CapturedImages, LoadingAMissingFileEmptiesTheList) {
    CFakeDevice device(kDeviceOk, 0);
    ASSERT_EQ(device.Add()->Create(8, 8, 8, 300), 1);
    const std::u16string missing =
        Utf8ToUtf16(std::string(MORVANE_TEST_DIR) + "/devices/data/no_such_image.bmp");
    EXPECT_EQ(device.LoadLocalImage(missing), kDeviceFileFailed);
    EXPECT_EQ(device.GetCapturedImageCount(), 0);
    EXPECT_EQ(device.LoadLocalImage(u""), kDeviceFileFailed);
    EXPECT_EQ(device.GetCapturedImageCount(), 0);
}

TEST(CapturedImages, FileNames) {
    struct Case {
        const char16_t* path;
        int32_t index;
        const char16_t* name;
    } cases[] = {
        {u"page.jpg", 0, u"page.jpg"},
        {u"page.jpg", 1, u"page1.jpg"},
        {u"page.jpg", 2, u"page2.jpg"},
        {u"page.jpg", 12, u"page12.jpg"},
        {u"C:\\out\\a.bmp", 1, u"C:\\out\\a1.bmp"},
        {u"/tmp/scan.tiff", 3, u"/tmp/scan.3tiff"},  // always the last four characters
        {u"ab", 1, u"1ab"},
        {u"", 2, u"2"},
        {u"", 0, u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CDevice::CapturedImageFileName(c.path, c.index), c.name)
            << Utf16ToUtf8(c.path) << " " << c.index;
}

TEST(CapturedImages, SavingNothingSucceedsAndAFailedWriteIsAFailure) {
    CFakeDevice device(kDeviceOk, 0);
    EXPECT_EQ(device.SaveCapturedImage(u"/tmp/none.bmp", 0), kDeviceOk);
    ASSERT_EQ(device.Add()->Create(8, 8, 8, 300), 1);
    ASSERT_EQ(device.Add()->Create(8, 8, 24, 300), 1);
    const std::u16string unwritable = u"/nonexistent-directory-for-tests/page.bmp";
    EXPECT_EQ(device.SaveCapturedImage(unwritable, 0), kDeviceFileFailed);
    EXPECT_EQ(device.GetCapturedImageCount(), 2);  // the images stay

    // The first page is written, the second cannot be (its name is taken by a
    // folder): the whole save reports the failure and keeps the images.
    char dir[] = "/tmp/morvane-save-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string first = std::string(dir) + "/page.bmp";
    const std::string second = std::string(dir) + "/page1.bmp";
    ASSERT_EQ(mkdir(second.c_str(), 0700), 0);
    EXPECT_EQ(device.SaveCapturedImage(Utf8ToUtf16(first), 0), kDeviceFileFailed);
    struct stat st {};
    EXPECT_EQ(stat(first.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_GT(st.st_size, 0);
    EXPECT_EQ(device.GetCapturedImageCount(), 2);
    unlink(first.c_str());
    rmdir(second.c_str());
    rmdir(dir);
}

}  // namespace
}  // namespace libMorvaneClassifier

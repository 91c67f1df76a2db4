// Reading the device list and choosing the active device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/TextConv.h"
#include "devices/DevScanner.h"
#include "devices/DeviceManager.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {
namespace {

std::u16string DataDir(const char* sub) {
    return Utf8ToUtf16(std::string(MORVANE_TEST_DIR) + "/devices/data/" + sub);
}

bool LoadText(CDeviceManager& manager, const std::u16string& text) {
    CXmlDocument xml;
    if (!xml.ParseText(text)) return false;
    return manager.LoadDeviceList(xml);
}

std::u16string NullDevice(int32_t priority, const std::u16string& name = u"n") {
    return u"<Device Type=\"0\"><BasicInfo Name=\"" + name + u"\" Priority=\"" +
           Utf8ToUtf16(std::to_string(priority)) + u"\"/></Device>";
}

TEST(DeviceList, ReadsTheFileInTheWorkingDirectory) {
    CDeviceManager manager;
    manager.SetWorkingDirectory(DataDir("one_null/"));
    ASSERT_TRUE(manager.LoadDeviceList());
    ASSERT_EQ(manager.GetDeviceCount(), 1);
    CDevice* device = manager.GetDevice(0);
    EXPECT_EQ(device->GetType(), kDeviceNull);
    ASSERT_NE(device->PeekInfo(), nullptr);
    EXPECT_EQ(device->GetName(), u"Local files");
    EXPECT_EQ(device->PeekInfo()->version, u"1.0");
    EXPECT_EQ(device->GetPriority(), 4);
    EXPECT_EQ(device->PeekInfo()->pageCtrl, 2);
    EXPECT_FALSE(device->IsOpened());
    EXPECT_EQ(manager.GetActiveDevice(), nullptr);

    ASSERT_TRUE(manager.OpenDevices());
    EXPECT_EQ(manager.GetActiveDevice(), device);
    EXPECT_TRUE(device->IsOpened());
    EXPECT_EQ(device->HavePaper(), kDeviceNotSupported);
}

TEST(DeviceList, FilesThatCannotBeUsed) {
    struct Case {
        const char* dir;
        bool ok;
    } cases[] = {
        {"no_such_directory/", false},
        {"malformed/", false},
        {"wrong_root/", false},
        {"empty_list/", true},
    };
    for (const auto& c : cases) {
        CDeviceManager manager;
        manager.SetWorkingDirectory(DataDir("one_null/"));
        ASSERT_TRUE(manager.LoadDeviceList());
        ASSERT_TRUE(manager.OpenDevices());
        // A new read replaces the earlier devices, whatever its outcome.
        manager.SetWorkingDirectory(DataDir(c.dir));
        EXPECT_EQ(manager.LoadDeviceList(), c.ok) << c.dir;
        EXPECT_EQ(manager.GetDeviceCount(), 0) << c.dir;
        EXPECT_EQ(manager.GetActiveDevice(), nullptr) << c.dir;
        EXPECT_FALSE(manager.OpenDevices()) << c.dir;
        EXPECT_EQ(manager.GetActiveDevice(), nullptr) << c.dir;
    }
}

TEST(DeviceList, ReadingTwiceDoesNotDuplicate) {
    CDeviceManager manager;
    manager.SetWorkingDirectory(DataDir("one_null/"));
    ASSERT_TRUE(manager.LoadDeviceList());
    ASSERT_TRUE(manager.LoadDeviceList());
    EXPECT_EQ(manager.GetDeviceCount(), 1);
}

TEST(DeviceList, SkipRules) {
    CXmlDocument xml;
    ASSERT_TRUE(xml.Load(DataDir("mixed_devices.xml")));
    CDeviceManager manager;
    ASSERT_TRUE(manager.LoadDeviceList(xml));
    struct Expected {
        int32_t type;
        const char16_t* name;
        int32_t priority;
    } expected[] = {
        {kDeviceNull, u"First", 1},
        {kDeviceScanner, u"Desk scanner", 90},
        {kDeviceNull, u"", 0},
        {kDeviceNull, u"Last", 3},
    };
    ASSERT_EQ(manager.GetDeviceCount(), 4);
    for (int32_t i = 0; i < 4; ++i) {
        CDevice* d = manager.GetDevice(i);
        EXPECT_EQ(d->GetType(), expected[i].type) << i;
        EXPECT_EQ(d->GetName(), expected[i].name) << i;
        EXPECT_EQ(d->GetPriority(), expected[i].priority) << i;
    }
    EXPECT_EQ(manager.GetDevice(2)->PeekInfo()->version, u"");
    EXPECT_EQ(manager.GetDevice(3)->PeekInfo()->pageCtrl, 7);

    auto* scanner = dynamic_cast<const CDevScannerInfo*>(manager.GetDevice(1)->PeekInfo());
    ASSERT_NE(scanner, nullptr);
    EXPECT_EQ(scanner->version, u"2.1");
    EXPECT_EQ(scanner->pageCtrl, 1);
    EXPECT_EQ(scanner->invert, 1);
    EXPECT_EQ(scanner->filterColor, 2);
    EXPECT_EQ(scanner->resolution, 600);
    EXPECT_EQ(scanner->imageType, 0);
    EXPECT_EQ(scanner->autoDuplex, 1);
    EXPECT_EQ(scanner->autoCrop, 1);
    EXPECT_EQ(scanner->autoRotate, 1);
    EXPECT_EQ(scanner->showUI, 1);
    EXPECT_EQ(scanner->driverPath, u"\\drv\\scan.dll");
    EXPECT_EQ(scanner->rotate, 180);
    EXPECT_EQ(scanner->attribute3, 0);
    EXPECT_EQ(scanner->rangeWidth, 0);

    // The scanner cannot be opened, so the null device of highest priority
    // wins; the scanner keeps its record when closed.
    ASSERT_TRUE(manager.OpenDevices());
    EXPECT_EQ(manager.GetActiveDevice(), manager.GetDevice(3));
    for (int32_t i = 0; i < 3; ++i) EXPECT_FALSE(manager.GetDevice(i)->IsOpened()) << i;
    EXPECT_EQ(manager.GetDevice(1)->GetPriority(), 90);
    EXPECT_EQ(manager.GetDevice(0)->PeekInfo(), nullptr);  // closed null device drops its record
}

TEST(DeviceList, MissingScannerAttributesReadZero) {
    CDeviceManager manager;
    ASSERT_TRUE(
        LoadText(manager, u"<DeviceList><Device Type=\"2\"><BasicInfo/><Scanner/></Device></DeviceList>"));
    ASSERT_EQ(manager.GetDeviceCount(), 1);
    auto* info = dynamic_cast<const CDevScannerInfo*>(manager.GetDevice(0)->PeekInfo());
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->resolution, 0);  // not the constructor value 300
    EXPECT_EQ(info->imageType, 0);
    EXPECT_EQ(info->driverPath, u"");
}

TEST(DeviceList, ActiveDeviceByPriority) {
    struct Case {
        std::vector<int32_t> priorities;
        int32_t active;
    } cases[] = {
        {{3, 7}, 1}, {{7, 3}, 0}, {{5, 5}, 0}, {{1, 9, 9}, 1}, {{-4, -2}, 1}, {{0}, 0}, {{2, 8, 1, 8, 6}, 1},
    };
    for (const auto& c : cases) {
        std::u16string text = u"<DeviceList>";
        for (int32_t p : c.priorities) text += NullDevice(p);
        text += u"</DeviceList>";
        CDeviceManager manager;
        ASSERT_TRUE(LoadText(manager, text));
        ASSERT_TRUE(manager.OpenDevices());
        ASSERT_EQ(manager.GetActiveDevice(), manager.GetDevice(c.active)) << c.active;
        EXPECT_EQ(manager.GetActiveDevice()->GetPriority(), c.priorities[static_cast<size_t>(c.active)]);
        for (int32_t i = 0; i < manager.GetDeviceCount(); ++i) {
            EXPECT_EQ(manager.GetDevice(i)->IsOpened(), i == c.active) << i;
            if (i != c.active) {
                EXPECT_EQ(manager.GetDevice(i)->GetPriority(), 0) << i;
            }
        }
    }
}

TEST(DeviceList, ThousandsOfDevices) {
    constexpr int32_t kCount = 5000;
    std::u16string text = u"<DeviceList>";
    for (int32_t i = 0; i < kCount; ++i) text += NullDevice(i == 3210 ? 100000 : i % 997);
    text += u"</DeviceList>";
    CDeviceManager manager;
    ASSERT_TRUE(LoadText(manager, text));
    ASSERT_EQ(manager.GetDeviceCount(), kCount);
    ASSERT_TRUE(manager.OpenDevices());
    EXPECT_EQ(manager.GetActiveDevice(), manager.GetDevice(3210));
    int32_t opened = 0;
    for (int32_t i = 0; i < kCount; ++i) opened += manager.GetDevice(i)->IsOpened() ? 1 : 0;
    EXPECT_EQ(opened, 1);
}

TEST(DeviceList, OnlyAScannerGivesNoActiveDevice) {
    CDeviceManager manager;
    ASSERT_TRUE(LoadText(manager,
                         u"<DeviceList><Device Type=\"2\"><BasicInfo Name=\"S\" Priority=\"1\"/>"
                         u"<Scanner/></Device></DeviceList>"));
    ASSERT_EQ(manager.GetDeviceCount(), 1);
    EXPECT_FALSE(manager.OpenDevices());
    EXPECT_EQ(manager.GetActiveDevice(), nullptr);
    EXPECT_FALSE(manager.GetDevice(0)->IsOpened());
}

TEST(DeviceList, NoDeviceListElement) {
    for (const char16_t* text :
         {u"<Other><Device Type=\"0\"><BasicInfo/></Device></Other>",
          u"<Root><DeviceList><Device Type=\"0\"><BasicInfo/></Device></DeviceList></Root>"}) {
        CDeviceManager manager;
        EXPECT_FALSE(LoadText(manager, text)) << Utf16ToUtf8(text);
        EXPECT_EQ(manager.GetDeviceCount(), 0);
    }
    CXmlDocument empty;
    CDeviceManager manager;
    EXPECT_FALSE(manager.LoadDeviceList(empty));
}

TEST(DeviceList, DevicesNestedDeeperAreNotRead) {
    CDeviceManager manager;
    ASSERT_TRUE(LoadText(manager,
                         u"<DeviceList><Group><Device Type=\"0\"><BasicInfo/></Device></Group>"
                         u"<Device Type=\"0\"><Group><BasicInfo/></Group></Device></DeviceList>"));
    EXPECT_EQ(manager.GetDeviceCount(), 0);
}

}  // namespace
}  // namespace libMorvaneClassifier

// The scanner device over its two outside libraries: stand-in libraries for
// the answers a real scanner cannot be made to give, SANE's test backend
// through the project's own plug-ins for real pages.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "core/TextConv.h"
#include "devices/DevScanner.h"
#include "devices/DeviceManager.h"
#include "devices/ScannerTestUtil.h"
#include "fakes/FakeScanControl.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {
namespace {

using scannertest::Pixels;
using scannertest::SaneTestBackend;
using scannertest::TempFolder;

std::u16string U16(const std::string& s) { return Utf8ToUtf16(s); }

// Keeps a stand-in library loaded for the test's lifetime so that its
// control record survives the device's loading and unloading.
class FakeHandle {
public:
    explicit FakeHandle(const char* file)
        : handle_(
              dlopen((std::string(MORVANE_FAKE_SCANNER_DIR) + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    ~FakeHandle() {
        if (handle_) dlclose(handle_);
    }
    template <class T>
    T* Control(const char* function) const {
        if (!handle_) return nullptr;
        auto get = reinterpret_cast<T* (*)()>(dlsym(handle_, function));
        return get ? get() : nullptr;
    }

private:
    void* handle_;
};

class ScannerFake : public ::testing::Test {
protected:
    void SetUp() override {
        scan = scanLib.Control<FakeScanControl>("FakeScanState");
        driver = driverLib.Control<FakeDriverControl>("FakeDriverState");
        ASSERT_NE(scan, nullptr);
        ASSERT_NE(driver, nullptr);
        *scan = FakeScanControl{};
        scan->selectResult = scan->scanResult = 1;
        Page(16, 4, 8, 16);
        *driver = FakeDriverControl{};
        std::strcpy(driver->name, "Fake FS-100 document scanner");
        driver->initDriver = driver->initScanner = driver->ability = 1;
    }

    void Page(int width, int height, int bitCount, int bytesPerRow) {
        scan->width = width;
        scan->height = height;
        scan->bitCount = bitCount;
        scan->bytesPerRow = bytesPerRow;
    }

    // A scanner configured for the stand-in libraries.
    std::unique_ptr<CDevScanner> Scanner(const char* name = "FS-100",
                                         const char* driverPath = "\\FakeDriver.dll",
                                         const char* scanLibrary = "FakeScan.dll") {
        auto device = std::make_unique<CDevScanner>();
        auto* info = dynamic_cast<CDevScannerInfo*>(device->GetInfo());
        info->name = U16(name);
        info->driverPath = U16(driverPath);
        info->scanLibrary = U16(scanLibrary);
        info->systemDirectory = U16(MORVANE_FAKE_SCANNER_DIR);
        return device;
    }

    std::unique_ptr<CDevScanner> Opened() {
        auto device = Scanner();
        EXPECT_EQ(device->Open(u"/nonexistent/"), kDeviceOk);
        return device;
    }

    FakeHandle scanLib{"libFakeScan.so"};
    FakeHandle driverLib{"libFakeDriver.so"};
    FakeScanControl* scan = nullptr;
    FakeDriverControl* driver = nullptr;
};

TEST_F(ScannerFake, OpenAnswersEachFailureWithItsCode) {
    struct Case {
        const char* what;
        const char* name;
        const char* driverPath;
        const char* scanLibrary;
        int initDriver, ability, select;
        int32_t expected;
    } cases[] = {
        {"attached", "FS-100", "\\FakeDriver.dll", "FakeScan.dll", 1, 1, 1, kDeviceOk},
        {"empty name matches any scanner", "", "\\FakeDriver.dll", "FakeScan.dll", 1, 1, 1, kDeviceOk},
        {"driver library missing", "FS-100", "\\NoSuchDriver.dll", "FakeScan.dll", 1, 1, 1,
         kDeviceNotPresent},
        {"no driver path", "FS-100", "", "FakeScan.dll", 1, 1, 1, kDeviceNotPresent},
        {"driver lacks a function", "FS-100", "\\FakeDriverPartial.dll", "FakeScan.dll", 1, 1, 1,
         kDeviceNotPresent},
        {"driver does not start", "FS-100", "\\FakeDriver.dll", "FakeScan.dll", 0, 1, 1, kDeviceNotPresent},
        {"no ability record", "FS-100", "\\FakeDriver.dll", "FakeScan.dll", 1, 0, 1, kDeviceNotPresent},
        {"another scanner attached", "XZ-9", "\\FakeDriver.dll", "FakeScan.dll", 1, 1, 1, kDeviceNotPresent},
        {"scanning library missing", "FS-100", "\\FakeDriver.dll", "NoSuchScan.dll", 1, 1, 1,
         kDeviceNotOpened},
        {"scanning library lacks a function", "FS-100", "\\FakeDriver.dll", "FakeScanPartial.dll", 1, 1, 1,
         kDeviceNotOpened},
        {"source cannot be selected", "FS-100", "\\FakeDriver.dll", "FakeScan.dll", 1, 1, 0, kDeviceFailed},
    };
    for (const Case& c : cases) {
        driver->initDriver = c.initDriver;
        driver->ability = c.ability;
        driver->terminateCalls = 0;
        scan->selectResult = c.select;
        auto device = Scanner(c.name, c.driverPath, c.scanLibrary);
        EXPECT_EQ(device->Open(u"/nonexistent/"), c.expected) << c.what;
        EXPECT_EQ(device->IsOpened(), c.expected == kDeviceOk) << c.what;
        // The driver is ended whenever it was started to be asked.
        if (std::strstr(c.driverPath, "FakeDriver.dll")) {
            EXPECT_EQ(driver->terminateCalls, 1) << c.what;
        }
        if (c.expected == kDeviceOk) {
            EXPECT_STREQ(scan->selectedName, c.name) << c.what;
            EXPECT_STREQ(scan->sourceName, c.name) << c.what;
        }
    }
}

TEST_F(ScannerFake, AbilityNameFillingTheWholeRecordIsReadWithinIt) {
    std::memset(driver->name, 'A', sizeof(driver->name));  // no terminator at all
    auto device = Scanner("AAAA");
    EXPECT_TRUE(device->IsPresent());
    auto longer = Scanner(std::string(MORVANE_SCANNER_NAME_SIZE, 'A').c_str());
    EXPECT_FALSE(longer->IsPresent());
}

TEST_F(ScannerFake, ScanLibraryIsFoundInTheWorkingDirectoryFirst) {
    // An unloadable file of the library's name in the working directory is
    // tried first; a bare name then falls back to the plug-in directory, a
    // path does not.
    TempFolder work;
    ASSERT_TRUE(work.Write("libFakeScan.so", "not a library"));
    auto device = Scanner();
    EXPECT_EQ(device->Open(U16(work.Path() + "/")), kDeviceOk);
    auto withPath = Scanner("FS-100", "\\FakeDriver.dll", "sub/FakeScan.dll");
    EXPECT_EQ(withPath->Open(U16(work.Path() + "/")), kDeviceNotOpened);
}

TEST_F(ScannerFake, EveryStartSendsTheFifteenValues) {
    auto device = Opened();
    auto* info = dynamic_cast<CDevScannerInfo*>(device->GetInfo());
    info->showUI = 1;
    info->imageType = 0;
    info->resolution = 600;
    info->rotate = 2;
    info->invert = 1;
    info->autoCrop = 1;
    info->autoRotate = 1;
    info->autoDuplex = 1;
    info->filterColor = 3;
    scan->pages = 5;
    ASSERT_EQ(device->SetCapturedAttribute(3, 31), kDeviceOk);
    ASSERT_EQ(device->SetCapturedAttribute(4, 41), kDeviceOk);
    ASSERT_EQ(device->SetCapturedRange(10, 20, 110, 220), kDeviceOk);
    const int expected[15] = {0, 1, 0, 600, 31, 41, 10, 20, 100, 200, 2, 1, 1, 1, 1};
    for (int capture = 0; capture < 2; ++capture) {
        const int starts = scan->startCalls;
        ASSERT_EQ(device->Capture(), kDeviceOk);
        EXPECT_EQ(scan->startCalls, starts + 1);
        for (int i = 0; i < 15; ++i) EXPECT_EQ(scan->lastStart[i], expected[i]) << "value " << i;
        EXPECT_EQ(scan->advanced[0], 1);  // line art
        EXPECT_EQ(scan->advanced[1], 3);
        EXPECT_EQ(scan->advanced[2], 0);
    }
}

TEST_F(ScannerFake, AttributesAreStoredByNumberAndRestartTheScan) {
    auto device = Opened();
    auto* info = dynamic_cast<CDevScannerInfo*>(device->GetInfo());
    int32_t CDevScannerInfo::*fields[] = {
        &CDevScannerInfo::autoCrop,   &CDevScannerInfo::autoDuplex, &CDevScannerInfo::autoRotate,
        &CDevScannerInfo::attribute3, &CDevScannerInfo::attribute4, &CDevScannerInfo::filterColor,
        &CDevScannerInfo::invert,     &CDevScannerInfo::showUI,     &CDevScannerInfo::rotate,
        &CDevScannerInfo::imageType,  &CDevScannerInfo::resolution,
    };
    for (int32_t number = 0; number <= 12; ++number) {
        const int starts = scan->startCalls, ends = scan->endCalls;
        const CDevScannerInfo before = *info;
        EXPECT_EQ(device->SetCapturedAttribute(number, 1000 + number), kDeviceOk);
        EXPECT_EQ(scan->startCalls, starts + 1) << number;
        EXPECT_EQ(scan->endCalls, ends + 1) << number;
        if (number <= 10) {
            EXPECT_EQ(info->*fields[number], 1000 + number);
            EXPECT_EQ(scan->lastStart[number == 10  ? 3
                                      : number == 9 ? 2
                                                    : 0],
                      number >= 9 ? 1000 + number : 0);
        } else {
            for (auto field : fields) EXPECT_EQ(info->*field, before.*field) << number;
        }
    }
}

TEST_F(ScannerFake, RangeKeepsWidthAndHeightAtLeastZero) {
    auto device = Opened();
    auto* info = dynamic_cast<CDevScannerInfo*>(device->GetInfo());
    struct Case {
        int32_t l, t, r, b, left, top, width, height;
    } cases[] = {
        {100, 200, 50, 150, 100, 200, 0, 0},
        {-5, -7, 10, 20, -5, -7, 15, 27},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MIN, INT_MIN, INT_MAX, INT_MAX},
        {INT_MAX, INT_MAX, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(device->SetCapturedRange(c.l, c.t, c.r, c.b), kDeviceOk);
        EXPECT_EQ(info->rangeLeft, c.left);
        EXPECT_EQ(info->rangeTop, c.top);
        EXPECT_EQ(info->rangeWidth, c.width);
        EXPECT_EQ(info->rangeHeight, c.height);
        EXPECT_EQ(scan->lastStart[8], c.width);
        EXPECT_EQ(scan->lastStart[9], c.height);
    }
}

TEST_F(ScannerFake, PagesAreCopiedRowByRowWithTheirOwnRowLength) {
    struct Case {
        int width, height, bitCount, bytesPerRow;
    } cases[] = {
        {16, 4, 8, 16},  // the row length the image computes
        {5, 3, 24, 16},  // padded to four bytes, as the image pads
        {5, 3, 24, 15},  // unpadded rows
        {5, 3, 24, 40},  // wider rows than needed
        {13, 5, 1, 2},   // 1-bit rows of two bytes; three bits past the width
        {13, 5, 1, 9},  {7, 2, 8, 7},
    };
    auto device = Opened();
    dynamic_cast<CDevScannerInfo*>(device->GetInfo())->resolution = 600;
    for (const Case& c : cases) {
        Page(c.width, c.height, c.bitCount, c.bytesPerRow);
        ASSERT_EQ(device->Capture(), kDeviceOk);
        ASSERT_EQ(device->GetCapturedImageCount(), 1);
        const CRawImage* image = device->GetCapturedImage(0);
        ASSERT_TRUE(image->HasPixels());
        EXPECT_EQ(image->width, c.width);
        EXPECT_EQ(image->height, c.height);
        EXPECT_EQ(image->bitCount, c.bitCount);
        EXPECT_EQ(image->bytesPerRow, CDib::RowBytes(c.width, c.bitCount));
        EXPECT_EQ(image->xResolution, 300);  // whatever resolution was asked
        EXPECT_EQ(image->yResolution, 300);
        const int pixelBytes = (c.width * c.bitCount + 7) / 8;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < image->bytesPerRow; ++x) {
                uint8_t expected = x < pixelBytes ? FAKE_PIXEL(x, y) : 0;
                if (c.bitCount == 1 && x == pixelBytes - 1 && c.width % 8)
                    expected &= static_cast<uint8_t>(0xFF00 >> (c.width % 8));
                ASSERT_EQ(image->Row(y)[x], expected)
                    << c.width << "x" << c.height << "/" << c.bitCount << " stride " << c.bytesPerRow
                    << " at " << x << "," << y;
            }
        }
    }
}

TEST_F(ScannerFake, ImageOfThePreviousPageIsReusedAsNew) {
    auto device = Opened();
    ASSERT_EQ(device->Capture(), kDeviceOk);
    CRawImage* first = device->GetCapturedImage(0);
    // As a page loaded from a file would be.
    first->xResolution = first->yResolution = 150;
    first->SetFileName(u"/some/page.png");
    std::memset(first->Bits(), 0x5A, static_cast<size_t>(first->height) * first->bytesPerRow);
    Page(16, 4, 8, 20);
    ASSERT_EQ(device->Capture(), kDeviceOk);
    ASSERT_EQ(device->GetCapturedImageCount(), 1);
    const CRawImage* image = device->GetCapturedImage(0);
    EXPECT_EQ(image->xResolution, 300);
    EXPECT_EQ(image->yResolution, 300);
    EXPECT_EQ(image->FileName(), u"");
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(image->Row(y)[x], FAKE_PIXEL(x, y));
}

TEST_F(ScannerFake, UnusablePagesAppendNothing) {
    struct Case {
        const char* what;
        int width, height, bitCount, bytesPerRow;
        int scanResult, leaveBuffer, nullBuffer;
    } cases[] = {
        {"4-bit page", 8, 2, 4, 4, 1, 0, 0},
        {"16-bit page", 8, 2, 16, 16, 1, 0, 0},
        {"rows shorter than their pixels", 10, 2, 24, 28, 1, 0, 0},
        {"width of a million", 1000000, 1, 24, 3000000, 1, 0, 0},
        {"height of a million", 1, 1000000, 8, 0, 1, 0, 0},
        {"zero width", 0, 2, 8, 4, 1, 0, 0},
        {"negative row length", 4, 2, 8, -4, 1, 0, 0},
        {"null buffer", 16, 4, 8, 16, 1, 0, 1},
        {"scan failing half way", 16, 4, 8, 16, 0, 1, 0},
        {"scanner gone since Open", 16, 4, 8, 16, 0, 0, 0},
    };
    auto device = Opened();
    for (const Case& c : cases) {
        // A good page first: a failed capture must not leave it behind.
        Page(16, 4, 8, 16);
        scan->scanResult = 1;
        scan->nullBuffer = scan->leaveBuffer = 0;
        ASSERT_EQ(device->Capture(), kDeviceOk);
        ASSERT_EQ(device->GetCapturedImageCount(), 1);
        Page(c.width, c.height, c.bitCount, c.bytesPerRow);
        scan->scanResult = c.scanResult;
        scan->leaveBuffer = c.leaveBuffer;
        scan->nullBuffer = c.nullBuffer;
        const int ends = scan->endCalls;
        EXPECT_EQ(device->Capture(), kDeviceFailed) << c.what;
        EXPECT_EQ(device->GetCapturedImageCount(), 0) << c.what;
        if (!c.scanResult) {
            EXPECT_EQ(scan->endCalls, ends + 1) << c.what;  // a failed scan is ended
        }
    }
}

TEST_F(ScannerFake, FeederScanStaysStartedWhilePaperIsWaiting) {
    auto device = Opened();
    scan->pages = 3;
    EXPECT_EQ(device->HavePaper(), kDeviceOk);
    for (int page = 1; page <= 3; ++page) {
        const int ends = scan->endCalls;
        ASSERT_EQ(device->Capture(), kDeviceOk);
        EXPECT_EQ(scan->endCalls, ends + (page == 3 ? 1 : 0)) << page;
        EXPECT_EQ(device->HavePaper(), page == 3 ? kDeviceNoPaper : kDeviceOk) << page;
    }
}

TEST_F(ScannerFake, OperationsOnAClosedScanner) {
    CDevScanner never;
    EXPECT_EQ(never.HavePaper(), kDeviceNotOpened);
    EXPECT_EQ(never.Capture(), kDeviceNotOpened);
    EXPECT_EQ(never.SetCapturedAttribute(11, 1), kDeviceNotOpened);
    EXPECT_EQ(never.SetCapturedRange(100, 200, 50, 150), kDeviceNotOpened);

    auto device = Opened();
    ASSERT_EQ(device->Capture(), kDeviceOk);
    device->Close();
    EXPECT_FALSE(device->IsOpened());
    EXPECT_EQ(device->Library(), nullptr);   // the scanning library is unloaded
    EXPECT_NE(device->PeekInfo(), nullptr);  // the record is kept
    EXPECT_EQ(device->Capture(), kDeviceNotOpened);
    EXPECT_EQ(device->HavePaper(), kDeviceNotOpened);
    // Opened again, it loads the library anew.
    EXPECT_EQ(device->Open(u"/nonexistent/"), kDeviceOk);
    EXPECT_EQ(device->Capture(), kDeviceOk);
}

TEST_F(ScannerFake, DeviceListScannerBecomesActive) {
    CDeviceManager manager;
    CXmlDocument xml;
    const std::string list =
        std::string(
            "<DeviceList><Device Type=\"0\"><BasicInfo Name=\"files\" Priority=\"1\"/></Device>"
            "<Device Type=\"2\"><BasicInfo Name=\"FS-100\" Priority=\"5\"/>"
            "<Scanner Resolution=\"200\" ImageType=\"1\" DriverPath=\"\\FakeDriver.dll\" "
            "ScanLibrary=\"FakeScan.dll\" SystemDirectory=\"") +
        MORVANE_FAKE_SCANNER_DIR + "\"/></Device></DeviceList>";
    ASSERT_TRUE(xml.ParseText(U16(list)));
    ASSERT_TRUE(manager.LoadDeviceList(xml));
    ASSERT_TRUE(manager.OpenDevices());
    ASSERT_EQ(manager.GetActiveDevice(), manager.GetDevice(1));
    EXPECT_EQ(manager.GetActiveDevice()->Capture(), kDeviceOk);
    EXPECT_EQ(scan->lastStart[2], 1);
    EXPECT_EQ(scan->lastStart[3], 200);
}

// ---- SANE's test backend through the project's plug-ins -------------------

#ifdef MORVANE_SCANNER_PLUGIN_DIR

class ScannerSane : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(backend.Ok()); }

    std::unique_ptr<CDevScanner> Scanner(const char* name = "test:0") {
        auto device = std::make_unique<CDevScanner>();
        auto* info = dynamic_cast<CDevScannerInfo*>(device->GetInfo());
        info->name = U16(name);
        info->driverPath = u"\\MorvaneSaneDriver.dll";
        info->systemDirectory = U16(MORVANE_SCANNER_PLUGIN_DIR);
        return device;
    }
    std::unique_ptr<CDevScanner> Opened() {
        auto device = Scanner();
        EXPECT_EQ(device->Open(u"/nonexistent/"), kDeviceOk);
        return device;
    }

    SaneTestBackend backend;
};

TEST_F(ScannerSane, OpensByNameOrModel) {
    struct Case {
        const char* name;
        int32_t expected;
    } cases[] = {{"test:0", kDeviceOk},
                 {"test:1", kDeviceOk},
                 {"frontend-tester", kDeviceOk},
                 {"test:7", kDeviceNotPresent},
                 {"epson2:net", kDeviceNotPresent}};
    for (const Case& c : cases) EXPECT_EQ(Scanner(c.name)->Open(u"/nonexistent/"), c.expected) << c.name;
}

TEST_F(ScannerSane, PagesHaveTheAskedTypeAndSize) {
    struct Case {
        int imageType, dpi, left, top, right, bottom;
        int bitCount;
        uint8_t ink;  // every pixel byte of the solid black page
    } cases[] = {
        {0, 100, 0, 0, 2000, 1000, 1, 0xFF},
        {1, 150, 500, 500, 3500, 2500, 8, 0x00},
        {2, 300, 1000, 0, 4370, 2126, 24, 0x00},
        {2, 75, 0, 0, 0, 0, 24, 0x00},  // no range: the whole bed (200 mm square)
    };
    auto device = Opened();
    for (const Case& c : cases) {
        ASSERT_EQ(device->SetCapturedAttribute(9, c.imageType), kDeviceOk);
        ASSERT_EQ(device->SetCapturedAttribute(10, c.dpi), kDeviceOk);
        ASSERT_EQ(device->SetCapturedRange(c.left, c.top, c.right, c.bottom), kDeviceOk);
        ASSERT_EQ(device->Capture(), kDeviceOk) << c.imageType << " at " << c.dpi;
        ASSERT_EQ(device->GetCapturedImageCount(), 1);
        const CRawImage* image = device->GetCapturedImage(0);
        const int widthMils = c.right ? c.right - c.left : 200000 * 10 / 254;
        const int heightMils = c.bottom ? c.bottom - c.top : 200000 * 10 / 254;
        EXPECT_EQ(image->bitCount, c.bitCount);
        EXPECT_NEAR(image->width, Pixels(widthMils, c.dpi), c.right ? 0 : 1);
        EXPECT_NEAR(image->height, Pixels(heightMils, c.dpi), c.bottom ? 0 : 1);
        EXPECT_EQ(image->bytesPerRow, CDib::RowBytes(image->width, c.bitCount));
        const int pixelBytes = image->width * c.bitCount / 8;  // whole bytes of pixels
        for (int y = 0; y < image->height; y += 7)
            for (int x = 0; x < pixelBytes; x += 5) ASSERT_EQ(image->Row(y)[x], c.ink) << x << "," << y;
        // Asked nothing else, a flatbed has no further page.
        EXPECT_EQ(device->HavePaper(), kDeviceNoPaper);
    }
}

TEST_F(ScannerSane, InvertAndRotateApplyToThePage) {
    auto device = Opened();
    ASSERT_EQ(device->SetCapturedAttribute(10, 100), kDeviceOk);
    ASSERT_EQ(device->SetCapturedAttribute(9, 1), kDeviceOk);
    ASSERT_EQ(device->SetCapturedAttribute(6, 1), kDeviceOk);   // invert: white
    ASSERT_EQ(device->SetCapturedAttribute(8, 90), kDeviceOk);  // a quarter turn
    ASSERT_EQ(device->SetCapturedRange(0, 0, 2000, 1000), kDeviceOk);
    ASSERT_EQ(device->Capture(), kDeviceOk);
    const CRawImage* image = device->GetCapturedImage(0);
    EXPECT_EQ(image->width, 100);
    EXPECT_EQ(image->height, 200);
    EXPECT_EQ(image->Row(0)[0], 0xFF);
    EXPECT_EQ(image->Row(199)[99], 0xFF);
}

TEST_F(ScannerSane, FeederRunsDryAfterItsTenSheets) {
    auto device = Opened();
    ASSERT_EQ(device->SetCapturedAttribute(10, 50), kDeviceOk);
    ASSERT_EQ(device->SetCapturedAttribute(3, 1), kDeviceOk);  // the feeder
    ASSERT_EQ(device->SetCapturedRange(0, 0, 1000, 1000), kDeviceOk);
    for (int page = 1; page <= 10; ++page) {
        ASSERT_EQ(device->Capture(), kDeviceOk) << page;
        EXPECT_EQ(device->GetCapturedImageCount(), 1);
        EXPECT_EQ(device->HavePaper(), page < 10 ? kDeviceOk : kDeviceNoPaper) << page;
    }
    // Asking again does not feed anything.
    EXPECT_EQ(device->HavePaper(), kDeviceNoPaper);
    EXPECT_EQ(device->GetCapturedImageCount(), 1);
}

TEST_F(ScannerSane, ChangesRestartTheScanWithTheNewValues) {
    auto device = Opened();
    ASSERT_EQ(device->SetCapturedAttribute(10, 100), kDeviceOk);
    ASSERT_EQ(device->SetCapturedAttribute(3, 1), kDeviceOk);
    ASSERT_EQ(device->SetCapturedRange(0, 0, 1000, 2000), kDeviceOk);
    ASSERT_EQ(device->Capture(), kDeviceOk);
    EXPECT_EQ(device->GetCapturedImage(0)->width, 100);
    ASSERT_EQ(device->HavePaper(), kDeviceOk);  // the next sheet waits

    ASSERT_EQ(device->SetCapturedAttribute(10, 200), kDeviceOk);
    ASSERT_EQ(device->Capture(), kDeviceOk);
    EXPECT_EQ(device->GetCapturedImage(0)->width, 200);
    EXPECT_EQ(device->GetCapturedImage(0)->height, 400);

    ASSERT_EQ(device->SetCapturedRange(500, 0, 1000, 1000), kDeviceOk);
    ASSERT_EQ(device->Capture(), kDeviceOk);
    EXPECT_EQ(device->GetCapturedImage(0)->width, 100);
    EXPECT_EQ(device->GetCapturedImage(0)->height, 200);

    ASSERT_EQ(device->SetCapturedAttribute(9, 2), kDeviceOk);
    ASSERT_EQ(device->Capture(), kDeviceOk);
    EXPECT_EQ(device->GetCapturedImage(0)->bitCount, 24);
}

TEST_F(ScannerSane, AbsurdValuesFailTheCaptureUntilMended) {
    struct Case {
        const char* what;
        int32_t attribute, value;  // attribute -1: the range below
        int32_t l, t, r, b;
    } cases[] = {
        {"resolution 0", 10, 0, 0, 0, 0, 0},
        {"resolution a million", 10, 1000000, 0, 0, 0, 0},
        {"resolution below the scanner's least", 10, -300, 0, 0, 0, 0},
        {"image type 7", 9, 7, 0, 0, 0, 0},
        {"image type -1", 9, -1, 0, 0, 0, 0},
        {"rotation 45", 8, 45, 0, 0, 0, 0},
        {"negative left", -1, 0, -1000, 0, 1000, 1000},
        {"negative top", -1, 0, 0, -5, 1000, 1000},
        {"area beyond the bed", -1, 0, 0, 0, 100000, 1000},
        {"origin beyond the bed", -1, 0, 9000, 0, 9500, 1000},
    };
    auto device = Opened();
    ASSERT_EQ(device->SetCapturedAttribute(10, 100), kDeviceOk);
    ASSERT_EQ(device->SetCapturedAttribute(9, 1), kDeviceOk);
    for (const Case& c : cases) {
        auto* info = dynamic_cast<CDevScannerInfo*>(device->GetInfo());
        const CDevScannerInfo saved = *info;
        ASSERT_EQ(device->SetCapturedRange(0, 0, 1000, 1000), kDeviceOk);
        ASSERT_EQ(device->Capture(), kDeviceOk) << c.what;
        if (c.attribute >= 0)
            EXPECT_EQ(device->SetCapturedAttribute(c.attribute, c.value), kDeviceOk) << c.what;
        else
            EXPECT_EQ(device->SetCapturedRange(c.l, c.t, c.r, c.b), kDeviceOk) << c.what;
        EXPECT_EQ(device->Capture(), kDeviceFailed) << c.what;
        EXPECT_EQ(device->GetCapturedImageCount(), 0) << c.what;
        info->resolution = saved.resolution;
        info->imageType = saved.imageType;
        info->rotate = saved.rotate;
    }
    ASSERT_EQ(device->SetCapturedRange(0, 0, 1000, 1000), kDeviceOk);
    EXPECT_EQ(device->Capture(), kDeviceOk);
}

// The colour test pattern at 100 dpi over 5 by 2 inches, captured by the
// device with the backend configured by `extra`.
std::vector<uint8_t> CapturePattern(const std::string& extra, int& width, int& height) {
    SaneTestBackend backend("test-picture \"Color pattern\"\n" + extra);
    EXPECT_TRUE(backend.Ok());
    CDevScanner device;
    auto* info = dynamic_cast<CDevScannerInfo*>(device.GetInfo());
    info->name = u"test:0";
    info->driverPath = u"\\MorvaneSaneDriver.dll";
    info->systemDirectory = U16(MORVANE_SCANNER_PLUGIN_DIR);
    info->resolution = 100;
    info->imageType = 2;
    EXPECT_EQ(device.Open(u"/nonexistent/"), kDeviceOk);
    EXPECT_EQ(device.SetCapturedRange(0, 0, 5000, 2000), kDeviceOk);
    if (device.Capture() != kDeviceOk) return {};
    const CRawImage* image = device.GetCapturedImage(0);
    width = image->width;
    height = image->height;
    std::vector<uint8_t> pixels;
    for (int y = 0; y < image->height; ++y)
        pixels.insert(pixels.end(), image->Row(y), image->Row(y) + width * 3);
    return pixels;
}

TEST(ScannerSanePattern, ColourPagesAreBlueGreenRedAsScanimageSeesThem) {
    int width = 0, height = 0;
    const std::vector<uint8_t> page = CapturePattern("", width, height);
    ASSERT_EQ(width, 500);
    ASSERT_EQ(height, 200);
    // The pattern has colours whose red and blue differ, so a swap shows.
    size_t unequal = 0;
    for (size_t i = 0; i < page.size(); i += 3) unequal += page[i] != page[i + 2] ? 1 : 0;
    EXPECT_GT(unequal, page.size() / 30);

    // scanimage writes the same area as a binary PPM, red, green, blue.
    TempFolder conf;
    ASSERT_TRUE(conf.Write("dll.conf", "test\n"));
    ASSERT_TRUE(conf.Write("test.conf", "geometry_quant 0.0\n"));
    const std::string command =
        "SANE_CONFIG_DIR=" + conf.Path() +
        " scanimage -d test:0 --mode Color --test-picture 'Color pattern' --resolution 100"
        " -l 0 -t 0 -x 127 -y 50.8 --format=pnm 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<uint8_t> ppm;
    uint8_t chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof(chunk), pipe)) > 0) ppm.insert(ppm.end(), chunk, chunk + n);
    ASSERT_EQ(pclose(pipe), 0) << "scanimage (sane-utils) failed";
    const size_t pixels = static_cast<size_t>(width) * height * 3;
    ASSERT_GE(ppm.size(), pixels);
    const uint8_t* rgb = ppm.data() + ppm.size() - pixels;  // past the header
    for (size_t i = 0; i < pixels; i += 3) {
        ASSERT_EQ(page[i], rgb[i + 2]) << i;
        ASSERT_EQ(page[i + 1], rgb[i + 1]) << i;
        ASSERT_EQ(page[i + 2], rgb[i]) << i;
    }

    // A scanner sending red, green and blue as three frames gives the same page.
    int w3 = 0, h3 = 0;
    const std::vector<uint8_t> threePass = CapturePattern("three-pass true\n", w3, h3);
    EXPECT_EQ(w3, width);
    EXPECT_EQ(h3, height);
    EXPECT_TRUE(threePass == page);
}

TEST_F(ScannerSane, ScannersShareOneSaneSession) {
    // The second scanner's presence check starts and ends the driver while
    // the first one has its device open; the first must still scan.
    auto first = Opened();
    ASSERT_EQ(first->SetCapturedAttribute(10, 50), kDeviceOk);
    auto second = Scanner("test:1");
    ASSERT_EQ(second->Open(u"/nonexistent/"), kDeviceOk);
    EXPECT_EQ(first->Capture(), kDeviceOk);
    second.reset();
    EXPECT_EQ(first->Capture(), kDeviceOk);
}

#else

TEST(ScannerSane, PluginsBuilt) {
    GTEST_SKIP() << "the SANE scanner plug-ins are not built (libsane-dev missing)";
}

#endif

}  // namespace
}  // namespace libMorvaneClassifier

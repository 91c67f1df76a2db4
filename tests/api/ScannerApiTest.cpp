// The capture functions with a scanner as the active device, through the
// exported interface, on SANE's test backend.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "api/ApiTestUtil.h"
#include "devices/ScannerTestUtil.h"

#ifdef MORVANE_SCANNER_PLUGIN_DIR

namespace {

using scannertest::SaneTestBackend;
using scannertest::TempFolder;

std::string Text(int (*getter)(MorvaneChar*, int*)) {
    int n = 0;
    if (getter(nullptr, &n) != -61 || n <= 0) return "<none>";
    std::u16string buffer(static_cast<size_t>(n), u'\0');
    if (getter(reinterpret_cast<MorvaneChar*>(&buffer[0]), &n) != 0) return "<error>";
    return std::string(buffer.begin(), buffer.begin() + n - 1);
}

std::string DeviceList(const std::string& name, const std::string& scanner) {
    return "<?xml version=\"1.0\"?>\n<DeviceList><Device Type=\"2\"><BasicInfo Name=\"" + name +
           "\" Priority=\"1\"/><Scanner " + scanner + "/></Device></DeviceList>\n";
}

class ScannerApi : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(backend.Ok()); }
    void TearDown() override { FreeClassifier(); }

    int Load(const std::string& name, const std::string& scanner) {
        if (!work.Write("ClasDevices.dat", DeviceList(name, scanner))) return 1;
        return LoadClassifier(nullptr, W(U((work.Path() + "/").c_str())));
    }
    int LoadTestScanner(const std::string& extra = "") {
        return Load("test:0",
                    "Resolution=\"300\" ImageType=\"1\" DriverPath=\"\\MorvaneSaneDriver.dll\" " + extra);
    }

    SaneTestBackend backend;
    TempFolder work;
};

TEST_F(ScannerApi, CapturedCardIsClassifiedAndSaved) {
    ASSERT_EQ(LoadTestScanner(), 0);
    int index = -1;
    ASSERT_EQ(AddMainTemplate(W(U(MORVANE_SOURCE_DIR "/examples/templates/main.xml")), &index), 0);
    EXPECT_EQ(Classify(index), MORVANE_ERR_READ_IMAGE);  // nothing captured yet
    EXPECT_EQ(SaveCapturedImage(W(U("/tmp/x.png")), 0), MORVANE_ERR_CALL_ORDER);
    // An ID-1 card: 85.6 mm by 54 mm, in thousandths of an inch.
    ASSERT_EQ(SetCapturedRange(0, 0, 3370, 2126), 0);
    ASSERT_EQ(CaptureImage(), 0);
    ASSERT_EQ(Classify(index), 0);
    EXPECT_EQ(Text(GetTemplateID), "ID1");
    EXPECT_EQ(IsHavePaper(), MORVANE_ERR_NO_PAPER);  // the flatbed's one page is taken

    const std::string saved = work.Path() + "/card.png";
    ASSERT_EQ(SaveCapturedImage(W(U(saved.c_str())), 0), 0);
    struct stat st;
    EXPECT_EQ(stat(saved.c_str(), &st), 0);
    EXPECT_GT(st.st_size, 0);
}

TEST_F(ScannerApi, FeederPagesUntilItIsEmpty) {
    ASSERT_EQ(LoadTestScanner("AutoDuplex=\"1\""), 0);
    ASSERT_EQ(SetCapturedAttribute(10, 50), 0);
    int pages = 0;
    do {
        ASSERT_EQ(CaptureImage(), 0);
        ++pages;
    } while (IsHavePaper() == 0 && pages < 20);
    EXPECT_EQ(pages, 10);
    EXPECT_EQ(IsHavePaper(), MORVANE_ERR_NO_PAPER);
}

TEST_F(ScannerApi, DeviceAnswersMapToTheirCodes) {
    ASSERT_EQ(LoadTestScanner(), 0);
    EXPECT_EQ(SetCapturedAttribute(10, 1000000), 0);  // stored; the scan refuses it
    EXPECT_EQ(CaptureImage(), MORVANE_ERR_CAPTURE);
    EXPECT_EQ(Classify(0), MORVANE_ERR_INVALID_PARAMETER);  // no template added
    EXPECT_EQ(SaveCapturedImage(W(U("/tmp/x.png")), 0), MORVANE_ERR_CALL_ORDER);
    EXPECT_EQ(SetCapturedAttribute(10, 100), 0);
    EXPECT_EQ(SetCapturedAttribute(99, 1), 0);  // unknown numbers restart and succeed
    EXPECT_EQ(SetCapturedRange(100, 200, 50, 150), 0);
    EXPECT_EQ(CaptureImage(), 0);
}

TEST_F(ScannerApi, ScannerThatCannotOpenLeavesNoActiveDevice) {
    const std::string driver = "DriverPath=\"\\MorvaneSaneDriver.dll\"";
    const struct {
        const char* what;
        std::string name, scanner;
    } cases[] = {
        {"no such scanner", "nosuch:device", driver},
        {"driver library missing", "test:0", "DriverPath=\"\\NoDriver.dll\""},
        {"scanning library missing", "test:0", driver + " ScanLibrary=\"NoScan.dll\""},
        {"system directory without the driver", "test:0", driver + " SystemDirectory=\"/nonexistent\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Load(c.name, c.scanner), MORVANE_ERR_OPEN_DEVICE) << c.what;
        EXPECT_EQ(CaptureImage(), MORVANE_ERR_UNINITIALIZED) << c.what;
        EXPECT_EQ(IsHavePaper(), MORVANE_ERR_UNINITIALIZED) << c.what;
    }
}

}  // namespace

#endif

// Leak-check suppressions of this test program (used only under
// LeakSanitizer): SANE's test backend loses the buffer of a page that was
// started and then cancelled before it was read.
extern "C" const char* __lsan_default_suppressions() { return "leak:libsane-test.so\n"; }

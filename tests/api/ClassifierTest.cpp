#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "api/ApiTestUtil.h"
#include "api/TemplateSetFixture.h"

namespace {

std::string Text(int (*getter)(MorvaneChar*, int*)) {
    int n = 0;
    if (getter(nullptr, &n) != -61 || n <= 0) return "<none>";
    std::u16string buffer(static_cast<size_t>(n), u'\0');
    if (getter(reinterpret_cast<MorvaneChar*>(&buffer[0]), &n) != 0) return "<error>";
    return std::string(buffer.begin(), buffer.begin() + n - 1);
}

// A gray page of the given pixel size whose rows all share one buffer.
struct GrayPage {
    std::vector<unsigned char> row;
    std::vector<unsigned char*> rows;
    GrayPage(int w, int h) : row(static_cast<size_t>(w), 255), rows(static_cast<size_t>(h), row.data()) {}
};

class ClassifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        work_.Write("ClasDevices.dat", NullDeviceList());
        ASSERT_EQ(LoadClassifier(nullptr, W(U(work_.path().c_str()))), 0);
    }
    void TearDown() override { FreeClassifier(); }

    int Add(const std::string& mainPath) {
        int index = -1;
        const int code = AddMainTemplate(W(U(mainPath.c_str())), &index);
        return code == 0 ? index : code;
    }
    // Classifies a w x h gray page; returns the code and the result ID.
    std::pair<int, std::string> Run(int w, int h, int index = 0) {
        GrayPage page(w, h);
        const int code = ClassifyImageMemory(page.rows.data(), w, h, 8, index);
        return {code, code == 0 ? Text(GetTemplateID) : std::string()};
    }

    TempDir work_;
    TempDir set_;
};

// Pages of 300 dpi. A4 (210 x 297 mm) is 8268 x 11693 thousandths of an inch,
// rounded; its page of 2480 x 3508 pixels measures 8266 x 11693 (truncated).
const SubSpec kA4{1, "A4", "A4out", 8268, 11693};
const SubSpec kCard{2, "CARD", "1", 3370, 2126};
const SubSpec kOther{3, "OTHER", "3", 0, 0};

GroupSpec Leaf(const char* name, int attached, int action = 1) {
    GroupSpec g;
    g.name = name;
    g.attached = attached;
    g.action = action;
    return g;
}

GroupSpec Root(std::vector<GroupSpec> children) {
    GroupSpec g;
    g.name = "root";
    g.attached = -1;
    g.children = std::move(children);
    return g;
}

TEST_F(ClassifierTest, StateAfterLoad) {
    MorvaneChar buffer[16];
    int n = 16;
    EXPECT_EQ(GetTemplateName(buffer, &n), MORVANE_ERR_CLASSIFY);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(Classify(0), MORVANE_ERR_INVALID_PARAMETER);  // no main template yet
    EXPECT_EQ(SaveCapturedImage(W(U("/tmp/x.bmp")), 0), MORVANE_ERR_CALL_ORDER);
    EXPECT_EQ(LoadLocalImage(nullptr), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LoadLocalImage(W(U(""))), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LoadLocalImage(W(U("/nonexistent/page.png"))), MORVANE_ERR_READ_IMAGE);
    EXPECT_EQ(ClassifyImageFile(W(U("/nonexistent/page.png")), 0), MORVANE_ERR_READ_IMAGE);
    EXPECT_EQ(SetAttribute(1, 1, 0), 0);
    // The null device supports no capture operation.
    EXPECT_EQ(CaptureImage(), MORVANE_ERR_NOT_SUPPORTED);
    EXPECT_EQ(IsHavePaper(), MORVANE_ERR_NOT_SUPPORTED);
    EXPECT_EQ(SetCapturedAttribute(1, 2), MORVANE_ERR_NOT_SUPPORTED);
    EXPECT_EQ(SetCapturedRange(0, 0, 1, 1), MORVANE_ERR_NOT_SUPPORTED);
}

TEST_F(ClassifierTest, LoadFailures) {
    TempDir empty;
    EXPECT_EQ(LoadClassifier(nullptr, W(U(empty.path().c_str()))), MORVANE_ERR_READ_DEVICE_FILE);
    empty.Write("ClasDevices.dat", "<DeviceList><Device Type=\"5\"><BasicInfo/></Device></DeviceList>");
    EXPECT_EQ(LoadClassifier(nullptr, W(U(empty.path().c_str()))), MORVANE_ERR_OPEN_DEVICE);
    EXPECT_EQ(Classify(0), MORVANE_ERR_UNINITIALIZED);
    // Host directory: the test program's directory holds a device list.
    EXPECT_EQ(LoadClassifier(nullptr, nullptr), 0);
    EXPECT_EQ(LoadClassifier(nullptr, W(U(""))), 0);
}

TEST_F(ClassifierTest, AddMainTemplateIndexesAndCodes) {
    const std::string main = WriteTemplateSet(set_, Root({Leaf("a4", 1)}), {kA4}, SizeFilterTemplate(300));
    EXPECT_EQ(Add(main), 0);
    EXPECT_EQ(Add(main), 1);
    EXPECT_EQ(Add(set_.path() + "missing.xml"), MORVANE_ERR_READ_MAIN_TEMPLATE);
    EXPECT_EQ(Add(main), 2);  // a failure adds nothing
    ASSERT_EQ(LoadClassifier(nullptr, W(U(work_.path().c_str()))), 0);
    EXPECT_EQ(Add(main), 0);

    TempDir broken;
    const std::string noFilters = WriteTemplateSet(broken, Root({Leaf("a4", 1)}), {kA4}, "<Nothing/>");
    EXPECT_EQ(Add(noFilters), MORVANE_ERR_READ_FILTER_TEMPLATE);
    broken.Write("filters.xml", SizeFilterTemplate(300));
    broken.Write("list.xml", "<SubTemplateList Size=\"0\"/>");
    EXPECT_EQ(Add(noFilters), MORVANE_ERR_READ_SUBTEMPLATE);
}

TEST_F(ClassifierTest, Settings) {
    const std::string main = WriteTemplateSet(set_, Root({Leaf("a4", 1)}), {kA4}, SizeFilterTemplate(300));
    ASSERT_EQ(Add(main), 0);
    EXPECT_EQ(SetPixelResolution(-1, 300, 0), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(SetPixelResolution(300, -1, 0), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(SetPixelResolution(300, 300, 1), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(SetPixelResolution(300, 300, -1), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(SetPixelResolution(0, 0, 0), 0);
    EXPECT_EQ(SetTemplateValid(nullptr, 0, 0), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(SetTemplateValid(W(U("A4")), 0, 0), 0);
    EXPECT_EQ(ResetAllTemplates(1, 0), 0);
    // Indexes that were never handed out are ignored rather than trusted.
    EXPECT_EQ(SetTemplateValid(W(U("A4")), 0, 5), 0);
    EXPECT_EQ(ResetAllTemplates(0, MORVANE_ERR_OPEN_DEVICE), 0);
    EXPECT_EQ(SetAttribute(0, 1, 99), 0);
}

TEST_F(ClassifierTest, ClassifyImageMemoryArguments) {
    const std::string main = WriteTemplateSet(set_, Root({Leaf("a4", 1)}), {kA4}, SizeFilterTemplate(300));
    ASSERT_EQ(Add(main), 0);
    GrayPage page(8, 8);
    EXPECT_EQ(ClassifyImageMemory(page.rows.data(), 8, 8, 16, 0), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(ClassifyImageMemory(page.rows.data(), 0, 8, 8, 0), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(ClassifyImageMemory(page.rows.data(), 8, -1, 8, 0), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(ClassifyImageMemory(nullptr, 8, 8, 8, 0), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(ClassifyImageMemory(page.rows.data(), 8, 8, 8, 1), MORVANE_ERR_INVALID_PARAMETER);
    // Sizes whose pixel count cannot be held are refused, not allocated.
    EXPECT_EQ(ClassifyImageMemory(page.rows.data(), 2000000000, 8, 24, 0), MORVANE_ERR_INVALID_PARAMETER);
}

TEST_F(ClassifierTest, ClassifiesBySizeAndKeepsResultOnArgumentFailure) {
    const std::string main =
        WriteTemplateSet(set_, Root({Leaf("other", 3, 0), Leaf("a4", 1), Leaf("card", 2)}),
                         {kA4, kCard, kOther}, SizeFilterTemplate(300));
    ASSERT_EQ(Add(main), 0);
    auto [code, id] = Run(2480, 3508);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(id, "A4");
    EXPECT_EQ(Text(GetTemplateName), "Name of A4");
    EXPECT_EQ(Text(GetTemplateOutputID), "A4out");
    EXPECT_EQ(Run(1011, 638).second, "CARD");
    // A page that matches nothing takes the default branch.
    EXPECT_EQ(Run(1000, 1000).second, "OTHER");
    EXPECT_EQ(Run(1, 1).second, "OTHER");
    // An argument failure leaves the last result readable.
    EXPECT_EQ(ClassifyImageMemory(nullptr, 5, 5, 8, 0), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(Text(GetTemplateID), "OTHER");
    // The host's resolution replaces the template's: at 200 dpi the same
    // pixels measure a larger page.
    ASSERT_EQ(SetPixelResolution(200, 200, 0), 0);
    EXPECT_EQ(Run(1654, 2339).second, "A4");
}

TEST_F(ClassifierTest, OneBitRowsAreClassified) {
    const std::string main = WriteTemplateSet(set_, Root({Leaf("other", 3, 0), Leaf("card", 2)}),
                                              {kCard, kOther}, SizeFilterTemplate(300));
    ASSERT_EQ(Add(main), 0);
    const int w = 1011, h = 638;
    std::vector<unsigned char> row(static_cast<size_t>((w + 7) / 8), 0x80);
    std::vector<unsigned char*> rows(static_cast<size_t>(h), row.data());
    EXPECT_EQ(ClassifyImageMemory(rows.data(), w, h, 1, 0), 0);
    EXPECT_EQ(Text(GetTemplateID), "CARD");
}

TEST_F(ClassifierTest, ChildChoiceRules) {
    // Two children with the same reference: equal scores, the first wins.
    {
        TempDir d;
        SubSpec twin{4, "TWIN", "4", 8268, 11693};
        ASSERT_EQ(Add(WriteTemplateSet(d, Root({Leaf("a", 1), Leaf("b", 4)}), {kA4, twin},
                                       SizeFilterTemplate(300))),
                  0);
        EXPECT_EQ(Run(2480, 3508, 0).second, "A4");
    }
    // Default child A not valid and B scoring 0: the run fails.
    {
        TempDir d;
        ASSERT_EQ(Add(WriteTemplateSet(d, Root({Leaf("default", 1, 0), Leaf("zero", 3)}), {kA4, kOther},
                                       SizeFilterTemplate(300))),
                  1);
        EXPECT_EQ(Run(2480, 3508, 1).first, 0);  // default branch taken
        EXPECT_EQ(Text(GetTemplateID), "A4");
        ASSERT_EQ(ResetAllTemplates(0, 1), 0);
        ASSERT_EQ(SetTemplateValid(W(U("OTHER")), 0, 1), 0);
        EXPECT_EQ(Run(2480, 3508, 1).first, MORVANE_ERR_CLASSIFY);
        MorvaneChar buffer[8];
        int n = 8;
        EXPECT_EQ(GetTemplateID(buffer, &n), MORVANE_ERR_CLASSIFY);
        // Nothing valid at all: the root is final and has no sub-template.
        ASSERT_EQ(ResetAllTemplates(0, 1), 0);
        EXPECT_EQ(Run(2480, 3508, 1).first, 0);
        EXPECT_EQ(GetTemplateID(buffer, &n), MORVANE_ERR_CLASSIFY);
        ASSERT_EQ(ResetAllTemplates(1, 1), 0);
        EXPECT_EQ(Run(2480, 3508, 1).second, "A4");
    }
    // A group with children but without filter configs ends the run with -8.
    {
        TempDir d;
        GroupSpec root = Root({Leaf("a", 1)});
        root.withConfig = false;
        ASSERT_EQ(Add(WriteTemplateSet(d, root, {kA4}, SizeFilterTemplate(300))), 2);
        EXPECT_EQ(Run(2480, 3508, 2).first, MORVANE_ERR_CLASSIFY);
    }
    // A root without children: success without a result.
    {
        TempDir d;
        ASSERT_EQ(Add(WriteTemplateSet(d, Root({}), {kA4}, SizeFilterTemplate(300))), 3);
        EXPECT_EQ(Run(100, 100, 3).first, 0);
        MorvaneChar buffer[8];
        int n = 8;
        EXPECT_EQ(GetTemplateID(buffer, &n), MORVANE_ERR_CLASSIFY);
    }
}

TEST_F(ClassifierTest, FilterWithoutResolutionFallsBackToDefault) {
    const std::string main = WriteTemplateSet(set_, Root({Leaf("other", 3, 0), Leaf("a4", 1)}), {kA4, kOther},
                                              SizeFilterTemplate(0));
    ASSERT_EQ(Add(main), 0);
    EXPECT_EQ(Run(2480, 3508).second, "OTHER");
    ASSERT_EQ(SetPixelResolution(300, 300, 0), 0);
    EXPECT_EQ(Run(2480, 3508).second, "A4");
}

TEST_F(ClassifierTest, Shortcut) {
    const std::string main =
        WriteTemplateSet(set_, Root({Leaf("a4", 1), Leaf("card", 2)}), {kA4, kCard}, SizeFilterTemplate(300));
    ASSERT_EQ(Add(main), 0);
    ASSERT_EQ(SetAttribute(0, 1, 0), 0);
    ASSERT_EQ(ResetAllTemplates(0, 0), 0);
    ASSERT_EQ(SetTemplateValid(W(U("CARD")), 0, 0), 0);
    ASSERT_EQ(SetTemplateValid(W(U("CARD")), 0, 0), 0);  // kept once: still a single valid ID
    // CARD's OutputID is "1": the answer comes without looking at the page.
    EXPECT_EQ(Run(2480, 3508).second, "CARD");
    // With a second valid ID the walk runs (and finds A4 by size).
    ASSERT_EQ(SetTemplateValid(W(U("A4")), 0, 0), 0);
    EXPECT_EQ(Run(2480, 3508).second, "A4");
    // A4's OutputID is not "1": no shortcut, the walk runs over the one valid path.
    ASSERT_EQ(ResetAllTemplates(0, 0), 0);
    ASSERT_EQ(SetTemplateValid(W(U("A4")), 0, 0), 0);
    EXPECT_EQ(Run(1011, 638).first, MORVANE_ERR_CLASSIFY);
    ASSERT_EQ(SetAttribute(0, 0, 0), 0);
    ASSERT_EQ(ResetAllTemplates(0, 0), 0);
    ASSERT_EQ(SetTemplateValid(W(U("CARD")), 0, 0), 0);
    EXPECT_EQ(Run(2480, 3508).first, MORVANE_ERR_CLASSIFY);
}

TEST_F(ClassifierTest, HugePageDoesNotCrash) {
    const std::string main = WriteTemplateSet(set_, Root({Leaf("other", 3, 0), Leaf("a4", 1)}), {kA4, kOther},
                                              SizeFilterTemplate(300));
    ASSERT_EQ(Add(main), 0);
    EXPECT_EQ(Run(20000, 20000).second, "OTHER");
}

}  // namespace

namespace {

TEST_F(ClassifierTest, LocalImagesLoadSaveAndClassify) {
    const std::string main = WriteTemplateSet(set_, Root({Leaf("other", 3, 0), Leaf("a4", 1)}), {kA4, kOther},
                                              SizeFilterTemplate(300));
    ASSERT_EQ(Add(main), 0);
    EXPECT_EQ(Classify(0), MORVANE_ERR_READ_IMAGE);  // nothing captured or loaded yet
    const std::string page = std::string(MORVANE_SOURCE_DIR) + "/examples/pages/300dpi/A4_page.png";
    ASSERT_EQ(LoadLocalImage(W(U(page.c_str()))), 0);
    // The loaded page stays in the device: it can be classified repeatedly.
    EXPECT_EQ(Classify(0), 0);
    EXPECT_EQ(Text(GetTemplateID), "A4");
    EXPECT_EQ(Classify(0), 0);
    EXPECT_EQ(Classify(1), MORVANE_ERR_INVALID_PARAMETER);

    TempDir out;
    const std::string saved = out.path() + "page.bmp";
    EXPECT_EQ(SaveCapturedImage(W(U(saved.c_str())), 0), 0);
    EXPECT_EQ(ClassifyImageFile(W(U(saved.c_str())), 0), 0);
    EXPECT_EQ(Text(GetTemplateID), "A4");
    // No writer for the suffix, or a directory that does not exist: failure.
    EXPECT_EQ(SaveCapturedImage(W(U((out.path() + "page.xyz").c_str())), 0), MORVANE_ERR_SAVE_IMAGES);
    EXPECT_EQ(SaveCapturedImage(W(U("/nonexistent/dir/page.bmp")), 0), MORVANE_ERR_SAVE_IMAGES);
    // A page that cannot be read empties the device: Classify then has nothing.
    EXPECT_EQ(LoadLocalImage(W(U((out.path() + "missing.png").c_str()))), MORVANE_ERR_READ_IMAGE);
    EXPECT_EQ(Classify(0), MORVANE_ERR_READ_IMAGE);
    EXPECT_EQ(SaveCapturedImage(W(U(saved.c_str())), 0), MORVANE_ERR_CALL_ORDER);
}

}  // namespace

namespace {

// A main template in UTF-16LE with a byte-order mark, backslash paths, and a
// sub-template declared as GB2312 whose name comes back to the host intact.
TEST_F(ClassifierTest, EncodedTemplateFilesReachTheHostAsUtf16) {
    const std::string main = WriteTemplateSet(set_, Root({Leaf("a4", 1)}), {kA4}, SizeFilterTemplate(300));
    std::ifstream in(main, std::ios::binary);
    const std::string ascii((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string utf16 = "\xFF\xFE";
    for (char c : ascii) {
        utf16.push_back(c);
        utf16.push_back('\0');
    }
    set_.Write("main.xml", utf16);
    // "身份证" (identity card) in GB2312.
    set_.Write("sub/s1.xml",
               "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<SubTemplate Index=\"1\" ID=\"A4\" Name=\""
               "\xC9\xED\xB7\xDD\xD6\xA4\" OutputID=\"A4out\"><FilterInfoList Size=\"1\"><FilterInfo "
               "RefFilter=\"1\" "
               "Type=\"1\"><PhysicalSize Width=\"8268\" "
               "Height=\"11693\"/></FilterInfo></FilterInfoList></SubTemplate>");
    ASSERT_EQ(Add(main), 0);
    GrayPage page(2480, 3508);
    ASSERT_EQ(ClassifyImageMemory(page.rows.data(), 2480, 3508, 8, 0), 0);
    int n = 0;
    ASSERT_EQ(GetTemplateName(nullptr, &n), MORVANE_ERR_INVALID_PARAMETER);
    ASSERT_EQ(n, 4);
    MorvaneChar name[4];
    ASSERT_EQ(GetTemplateName(name, &n), 0);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(name)), u"\u8EAB\u4EFD\u8BC1");
}

}  // namespace

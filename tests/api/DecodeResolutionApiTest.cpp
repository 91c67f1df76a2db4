// MorvaneSetDecodeResolution and MorvaneSetDecodeThreads: their argument
// checks, and bundled example pages classified from files decoded at a
// working resolution.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "ApiTestUtil.h"
#include "TemplateSetFixture.h"

namespace {

std::string Id() {
    int length = 0;
    if (GetTemplateID(nullptr, &length) != -61 || length <= 0) return "<none>";
    std::u16string buffer(static_cast<size_t>(length), u'\0');
    if (GetTemplateID(reinterpret_cast<MorvaneChar*>(&buffer[0]), &length) != 0) return "<error>";
    return std::string(buffer.begin(), buffer.end() - 1);
}

// Width of a BMP file written by SaveCapturedImage.
int32_t BmpWidth(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char header[22] = {};
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return -1;
    return int32_t(header[18]) | int32_t(header[19]) << 8 | int32_t(header[20]) << 16 |
           int32_t(header[21]) << 24;
}

TEST(DecodeResolutionApi, SettersCheckTheirArguments) {
    struct Case {
        int value, dpiCode, threadsCode;
    };
    const Case cases[] = {{-1, -61, -61}, {0, 0, 0},        {1, -61, 0},       {64, -61, 0},
                          {65, -61, -61}, {74, -61, -61},   {75, 0, -61},      {150, 0, -61},
                          {1200, 0, -61}, {1201, -61, -61}, {100000, -61, -61}};
    // No classifier loaded: these are settings of the process.
    for (const Case& c : cases) {
        EXPECT_EQ(MorvaneSetDecodeResolution(c.value), c.dpiCode) << c.value;
        EXPECT_EQ(MorvaneSetDecodeThreads(c.value), c.threadsCode) << c.value;
    }
    EXPECT_EQ(MorvaneSetDecodeResolution(0), 0);
    EXPECT_EQ(MorvaneSetDecodeThreads(0), 0);
}

class DecodeResolutionPages : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(LoadClassifier(nullptr, W(U(MORVANE_SOURCE_DIR "/examples/workdir/"))), 0);
        ASSERT_EQ(AddMainTemplate(W(U(MORVANE_SOURCE_DIR "/examples/templates/main.xml")), &index_), 0);
    }
    void TearDown() override {
        MorvaneSetDecodeResolution(0);
        MorvaneSetDecodeThreads(0);
        FreeClassifier();
    }
    int index_ = -1;
};

// The JPEG example pages (the ID their name starts with, their resolution)
// come out at 150 dpi as at full size, with the resolution given by the host
// (then as their name says) and without it (the size filter then assumes
// the filter template's 300 dpi, reduced with the page).
TEST_F(DecodeResolutionPages, JpegExamplesClassifyTheSameAt150Dpi) {
    struct Page {
        const char* file;
        int dpi;
        const char* id;
    };
    const Page pages[] = {{"200dpi/A4_page.jpg", 200, "A4"},
                          {"200dpi/UNKNOWN_receipt.jpg", 200, "UNKNOWN"},
                          {"300dpi/A5_page.jpg", 300, "A5"},
                          {"300dpi/DRIVING_photo_right.jpg", 300, "DRIVING"},
                          {"300dpi/IDCARD_photo_left.jpg", 300, "IDCARD"},
                          {"400dpi/LETTER_page.jpg", 400, "LETTER"},
                          {"400dpi/TD3_passport.jpg", 400, "TD3"}};
    for (bool hostDpi : {true, false}) {
        for (const Page& p : pages) {
            SCOPED_TRACE(std::string(p.file) + (hostDpi ? " host dpi" : " no host dpi"));
            ASSERT_EQ(SetPixelResolution(hostDpi ? p.dpi : 0, hostDpi ? p.dpi : 0, index_), 0);
            const std::string path = std::string(MORVANE_SOURCE_DIR) + "/examples/pages/" + p.file;
            std::string ids[2];
            for (int i = 0; i < 2; ++i) {
                ASSERT_EQ(MorvaneSetDecodeResolution(i == 0 ? 0 : 150), 0);
                const int code = ClassifyImageFile(W(U(path.c_str())), index_);
                ids[i] = code == 0 ? Id() : "code " + std::to_string(code);
            }
            EXPECT_EQ(ids[1], ids[0]);
            if (hostDpi || p.dpi == 300) {
                EXPECT_EQ(ids[0], p.id);
            }
        }
    }
}

// The page ClassifyImageFile reads is held at the reduced size; classifying
// it again later still measures with the host's resolution reduced alike,
// and a page loaded with LoadLocalImage is always full size.
TEST_F(DecodeResolutionPages, ReducedPageStaysConsistentForLaterCalls) {
    TempDir out;
    const std::string page = MORVANE_SOURCE_DIR "/examples/pages/300dpi/A5_page.jpg";  // 1748 pixels wide
    const std::string saved = out.path() + "page.bmp";
    ASSERT_EQ(SetPixelResolution(300, 300, index_), 0);
    ASSERT_EQ(MorvaneSetDecodeResolution(150), 0);
    ASSERT_EQ(ClassifyImageFile(W(U(page.c_str())), index_), 0);
    EXPECT_EQ(Id(), "A5");
    ASSERT_EQ(SaveCapturedImage(W(U(saved.c_str())), 0), 0);
    EXPECT_EQ(BmpWidth(saved), 874);
    ASSERT_EQ(Classify(index_), 0);
    EXPECT_EQ(Id(), "A5");

    ASSERT_EQ(LoadLocalImage(W(U(page.c_str()))), 0);
    ASSERT_EQ(SaveCapturedImage(W(U(saved.c_str())), 0), 0);
    EXPECT_EQ(BmpWidth(saved), 1748);
    ASSERT_EQ(Classify(index_), 0);
    EXPECT_EQ(Id(), "A5");

    // Off again: the file is read at full size.
    ASSERT_EQ(MorvaneSetDecodeResolution(0), 0);
    ASSERT_EQ(ClassifyImageFile(W(U(page.c_str())), index_), 0);
    ASSERT_EQ(SaveCapturedImage(W(U(saved.c_str())), 0), 0);
    EXPECT_EQ(BmpWidth(saved), 1748);
}

// A main template may ask for the working resolution itself with a
// "DecodeResolution" element; the host's setting, when given, wins, and a
// value outside 75-1200 dpi asks for nothing.
TEST(DecodeResolutionApi, MainTemplateAsksForItsWorkingResolution) {
    TempDir dir;
    // Beside a copy of the example set, whose paths are relative to the main template.
    std::filesystem::copy(MORVANE_SOURCE_DIR "/examples/templates/", dir.path(),
                          std::filesystem::copy_options::recursive);
    std::ifstream in(dir.path() + "main.xml", std::ios::binary);
    const std::string main((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t end = main.rfind("</MainTemplate>");
    ASSERT_NE(end, std::string::npos);
    const std::string page = MORVANE_SOURCE_DIR "/examples/pages/300dpi/A5_page.jpg";  // 1748 pixels wide
    const std::string saved = dir.path() + "page.bmp";
    struct Case {
        const char* element;
        bool first;  // before the path elements instead of after the tree
        int hostDecodeDpi;
        int width;
    } cases[] = {{"<DecodeResolution Dpi=\"150\"/>", false, 0, 874},
                 {"<DecodeResolution Dpi=\"150\"/>", true, 0, 874},
                 {"<DecodeResolution Dpi=\"150\"/>", false, 200, 1311},
                 {"<DecodeResolution Dpi=\"5\"/>", false, 0, 1748},
                 {"", false, 0, 1748}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.element) + (c.first ? " first" : "") + " host " +
                     std::to_string(c.hostDecodeDpi));
        std::string text = main;
        const size_t at = c.first ? main.find("<MainTemplate>") + std::string("<MainTemplate>").size() : end;
        text.insert(at, std::string("  ") + c.element + "\n");
        dir.Write("asking.xml", text);
        ASSERT_EQ(LoadClassifier(nullptr, W(U(MORVANE_SOURCE_DIR "/examples/workdir/"))), 0);
        int index = -1;
        ASSERT_EQ(AddMainTemplate(W(U((dir.path() + "asking.xml").c_str())), &index), 0);
        ASSERT_EQ(SetPixelResolution(300, 300, index), 0);
        ASSERT_EQ(MorvaneSetDecodeResolution(c.hostDecodeDpi), 0);
        ASSERT_EQ(ClassifyImageFile(W(U(page.c_str())), index), 0);
        EXPECT_EQ(Id(), "A5");
        ASSERT_EQ(SaveCapturedImage(W(U(saved.c_str())), 0), 0);
        EXPECT_EQ(BmpWidth(saved), c.width);
        MorvaneSetDecodeResolution(0);
        FreeClassifier();
    }
}

}  // namespace

// The engine plug-ins built in this repository, loaded as the classifier
// loads them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "EngineTestUtil.h"
#include "engines/KernelInfo.h"

using namespace libMorvaneClassifier;
using namespace engine_test;

namespace {

#ifdef MORVANE_ENGINE_BUILD_DIR
constexpr bool kHaveEngines = true;
const char* const kBuildDir = MORVANE_ENGINE_BUILD_DIR;
#else
constexpr bool kHaveEngines = false;
const char* const kBuildDir = "";
#endif

// Renders text with ImageMagick into an 8-bit page; false when it fails.
bool Render(const std::string& dir, const std::string& font, int pointSize, const std::string& text,
            CRawImage& image) {
    const std::string out = dir + "/render.pgm";
    const std::string cmd = "convert -density 300 -font '" + font + "' -pointsize " +
                            std::to_string(pointSize) + " 'label:" + text + "' -depth 8 '" + out +
                            "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return false;
    std::ifstream in(out, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    in >> magic >> w >> h >> maxval;
    in.get();
    bool ok = in && magic == "P5" && maxval == 255 && w > 0 && h > 0 && image.Create(w, h, 8, 300) == 1;
    for (int y = 0; ok && y < h; ++y)
        ok = static_cast<bool>(in.read(reinterpret_cast<char*>(image.Row(y)), w));
    unlink(out.c_str());
    return ok;
}

// Confidence the text filter gives a result without character ratios:
// the share of the other candidates' scores in the five leading ones.
int Confidence(const RecogResult& r) {
    int sum = 0, n = RecogCandidateCount(r);
    if (n > 5) n = 5;
    for (int i = 0; i < n; ++i) sum += r.scores[i];
    if (n == 0) return 0;
    return (sum - r.scores[0]) * 90 / (sum > 0 ? sum : 1);
}

class PluginEngines : public EngineDirFixture {
protected:
    void SetUp() override {
        if (!kHaveEngines) GTEST_SKIP() << "engine plug-ins are not built (MORVANE_BUILD_ENGINES=OFF)";
        EngineDirFixture::SetUp();
        EngineDirectory() = std::string(kBuildDir) + "/";
    }
};

const char* const kOcrb = "/usr/share/fonts/opentype/ocr-b/OCRB.otf";
const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

}  // namespace

TEST_F(PluginEngines, CleanGlyphIsMoreConfidentThanMergedOrHalfGlyphs) {
    CRawImage a, ab;
    ASSERT_TRUE(Render(dir_, kOcrb, 11, "K", a));
    ASSERT_TRUE(Render(dir_, kOcrb, 11, "KB", ab));
    CKernelInfo k;
    k.subType = 6;  // passport zone file
    RecogResult clean, merged, half;
    ASSERT_EQ(RecognizeRegion(a, 0, 0, a.width, a.height, k, clean), 0);
    EXPECT_EQ(clean.candidates[0], u'K');
    EXPECT_GE(RecogCandidateCount(clean), 5);
    for (int i = 1; i < 5; ++i) EXPECT_GE(clean.scores[i], clean.scores[i - 1]);
    ASSERT_EQ(RecognizeRegion(ab, 0, 0, ab.width, ab.height, k, merged), 0);
    ASSERT_EQ(RecognizeRegion(a, 0, 0, a.width / 2, a.height, k, half), 0);
    EXPECT_GT(Confidence(clean), Confidence(merged));
    EXPECT_GT(Confidence(clean), Confidence(half));

    // The same through the general file.
    CKernelInfo g;
    g.subType = 7;
    g.filterType = 255;
    ASSERT_EQ(RecognizeRegion(a, 0, 0, a.width, a.height, g, clean), 0);
    ASSERT_EQ(RecognizeRegion(ab, 0, 0, ab.width, ab.height, g, merged), 0);
    ASSERT_EQ(RecognizeRegion(a, 0, 0, a.width / 2, a.height, g, half), 0);
    EXPECT_EQ(clean.candidates[0], u'K');
    EXPECT_GT(Confidence(clean), Confidence(merged));
    EXPECT_GT(Confidence(clean), Confidence(half));
}

TEST_F(PluginEngines, RangesRestrictTheAnswers) {
    CRawImage o;
    ASSERT_TRUE(Render(dir_, kDejaVu, 12, "O", o));
    CKernelInfo k;
    k.subType = 7;
    k.filterType = 1;  // digits only
    RecogResult r;
    ASSERT_EQ(RecognizeRegion(o, 0, 0, o.width, o.height, k, r), 0);
    for (int i = 0; i < RecogCandidateCount(r); ++i)
        EXPECT_TRUE(r.candidates[i] >= u'0' && r.candidates[i] <= u'9');
    k.filterType = 2;  // upper-case letters
    ASSERT_EQ(RecognizeRegion(o, 0, 0, o.width, o.height, k, r), 0);
    EXPECT_EQ(r.candidates[0], u'O');
}

TEST_F(PluginEngines, LineEngineReportsEveryCharacterWithAlternatives) {
    CRawImage line;
    ASSERT_TRUE(Render(dir_, kDejaVu, 12, "P<UTOERIKSSON", line));
    CKernelInfo k;
    k.subType = 0;
    RecogResult r;
    ASSERT_EQ(RecognizeRegion(line, 0, 0, line.width, line.height, k, r), 0);
    EXPECT_EQ(r.candidates[0], u'P');
    EXPECT_GE(RecogCandidateCount(r), 2);
    std::u16string text;
    for (const LineCharEntry& e : GeneralRecog().LineCharacters()) {
        if (e.lineEnd) continue;
        text.push_back(e.info.code);
        EXPECT_NE(e.info.candidates[1], 0) << "a lone candidate for " << static_cast<char>(e.info.code);
    }
    EXPECT_EQ(text, u"P<UTOERIKSSON");
    ASSERT_FALSE(GeneralRecog().LineCharacters().empty());
    EXPECT_TRUE(GeneralRecog().LineCharacters().back().lineEnd);
}

TEST_F(PluginEngines, BadRegionsAndDataFail) {
    CRawImage blank;
    MakeGray(blank, 30, 30, 255);
    CKernelInfo k;
    k.subType = 6;
    RecogResult r;
    EXPECT_EQ(RecognizeRegion(blank, 0, 0, 30, 30, k, r), 1);  // no ink
    EXPECT_EQ(RecognizeRegion(blank, 3, 3, 4, 4, k, r), 1);    // 1 x 1
    CRawImage dot;
    MakeGray(dot, 5, 5, 0);
    EXPECT_NE(RecognizeRegion(dot, 0, 0, 1, 1, k, r), 5);

    // A 100000-pixel-wide line is refused by the line engine, not read.
    CRawImage wide;
    MakeGray(wide, 100000, 40, 255);
    CKernelInfo line;
    line.subType = 1;
    EXPECT_EQ(RecognizeRegion(wide, 0, 0, 100000, 40, line, r), 3);
    // The gray family reads its left 255 columns.
    EXPECT_EQ(RecognizeRegion(wide, 0, 0, 100000, 40, k, r), 1);
}

TEST_F(PluginEngines, DataFilesThatCannotStartFail) {
    // A private engine directory holding only data files; the plug-in itself
    // comes from the build directory.
    EngineDirectory() = dir_ + "/";
    SetEngineFileName(EngineRole::GrayCore, std::string(kBuildDir) + "/libGrayCore.so");
    struct Case {
        const char* what;
        std::string text;
    } cases[] = {
        {"language not installed", "language zzz\ncharset ABC\nglyphs grayocr_glyphs.dat\n"},
        {"unknown key", "colour red\ncharset ABC\nglyphs grayocr_glyphs.dat\n"},
        {"no glyphs", "language eng\ncharset ABC\nglyphs nowhere.dat\n"},
        {"no charset", "language eng\nglyphs grayocr_glyphs.dat\n"},
        {"binary", std::string("\x7f"
                               "ELF\x01\x02",
                               6)},
    };
    CRawImage page;
    MakeGray(page, 20, 20, 0);
    for (const Case& c : cases) {
        ResetGeneralRecog();
        WriteFile("grayocr_pspt.lib", c.text);
        files_.pop_back();
        CKernelInfo k;
        k.subType = 6;
        RecogResult r;
        EXPECT_EQ(RecognizeRegion(page, 0, 0, 20, 20, k, r), 1) << c.what;
        EXPECT_EQ(GeneralRecog().StartStatus(6), 1) << c.what;
    }
    files_.push_back(dir_ + "/grayocr_pspt.lib");
}

// Runs in a fresh process started by the test below (a forked copy of a
// process whose recogniser threads are running could deadlock): the
// engines' output during recognition is captured in the file named by
// MORVANE_QUIET_CAPTURE.
TEST_F(PluginEngines, DISABLED_QuietChild) {
    const char* capture = std::getenv("MORVANE_QUIET_CAPTURE");
    ASSERT_NE(capture, nullptr);
    fflush(stdout);
    fflush(stderr);
    const int savedOut = dup(1), savedErr = dup(2);
    FILE* f = std::fopen(capture, "w");
    ASSERT_NE(f, nullptr);
    dup2(fileno(f), 1);
    dup2(fileno(f), 2);
    CRawImage img;
    MakeGray(img, 60, 40, 255);
    for (int y = 10; y < 30; ++y)
        for (int x = 20; x < 24; ++x) img.Row(y)[x] = 0;
    // Odd shapes, a stroke alone: the cases where Tesseract would warn.
    CKernelInfo line;
    line.subType = 0;
    CKernelInfo gray;
    gray.subType = 7;
    gray.filterType = 255;
    RecogResult r;
    RecognizeRegion(img, 0, 0, 60, 40, line, r);
    RecognizeRegion(img, 0, 0, 60, 40, gray, r);
    RecognizeRegion(img, 0, 0, 60, 2, line, r);
    RecognizeRegion(img, 18, 8, 26, 32, gray, r);
    ResetGeneralRecog();
    fflush(stdout);
    fflush(stderr);
    dup2(savedOut, 1);
    dup2(savedErr, 2);
    close(savedOut);
    close(savedErr);
    std::fclose(f);
}

TEST_F(PluginEngines, TesseractPrintsNothingOnTheHostsStreams) {
    const std::string capture = dir_ + "/capture.txt";
    // This program again, running only the child test.
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    const std::string run =
        "MORVANE_QUIET_CAPTURE='" + capture + "' '" + self +
        "' --gtest_filter=PluginEngines.DISABLED_QuietChild --gtest_also_run_disabled_tests >/dev/null 2>&1";
    ASSERT_EQ(std::system(run.c_str()), 0);
    std::ifstream in(capture);
    ASSERT_TRUE(in.good());
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    unlink(capture.c_str());
    EXPECT_EQ(text, "");
}

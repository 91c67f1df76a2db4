// Where the resolution a page is measured with comes from: the host's
// setting, the density its file states (MorvaneSetFileResolution), or the
// size filter's own; and the winning score with its margin.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ApiTestUtil.h"

namespace {

std::string Id() {
    int length = 0;
    if (GetTemplateID(nullptr, &length) != MORVANE_ERR_INVALID_PARAMETER || length <= 0) return "<none>";
    std::u16string buffer(static_cast<size_t>(length), u'\0');
    if (GetTemplateID(reinterpret_cast<MorvaneChar*>(&buffer[0]), &length) != MORVANE_OK) return "<error>";
    return std::string(buffer.begin(), buffer.end() - 1);
}

std::string Trace() {
    int length = 0;
    MorvaneGetDecisionTrace(nullptr, &length);
    if (length <= 0) return "";
    std::u16string buffer(static_cast<size_t>(length), u'\0');
    if (MorvaneGetDecisionTrace(reinterpret_cast<MorvaneChar*>(&buffer[0]), &length) != MORVANE_OK) return "";
    return std::string(buffer.begin(), buffer.end() - 1);  // the trace is ASCII here
}

void Put32(std::vector<char>& bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
}

class PageResolution : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(LoadClassifier(nullptr, W(U(MORVANE_SOURCE_DIR "/examples/workdir/"))), MORVANE_OK);
        ASSERT_EQ(AddMainTemplate(W(U(MORVANE_SOURCE_DIR "/examples/templates/main.xml")), &index_),
                  MORVANE_OK);
        dir_ = std::filesystem::temp_directory_path() / ("morvane_resolution_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        // A 200-dpi card as a BMP whose stated density the cases rewrite.
        std::ifstream in(MORVANE_SOURCE_DIR "/examples/pages/200dpi/ID1_card.bmp", std::ios::binary);
        card_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        ASSERT_GT(card_.size(), 54u);
    }
    void TearDown() override {
        MorvaneSetFileResolution(0);
        FreeClassifier();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    // The card stating `xppm` by `yppm` pixels per metre.
    std::string CardStating(uint32_t xppm, uint32_t yppm) {
        std::vector<char> bytes = card_;
        Put32(bytes, 38, xppm);
        Put32(bytes, 42, yppm);
        const std::string path =
            (dir_ / ("card_" + std::to_string(xppm) + "_" + std::to_string(yppm) + ".bmp")).string();
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    int index_ = -1;
    std::filesystem::path dir_;
    std::vector<char> card_;
};

TEST_F(PageResolution, ArgumentsAndCallOrder) {
    int x = 0, y = 0, source = 0, score = 0, margin = 0;
    EXPECT_EQ(MorvaneGetPageResolution(&x, &y, &source), MORVANE_ERR_CALL_ORDER);
    EXPECT_EQ(MorvaneGetDecisionMargin(&score, &margin), MORVANE_ERR_CALL_ORDER);
    EXPECT_EQ(MorvaneGetPageResolution(nullptr, &y, &source), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(MorvaneGetPageResolution(&x, &y, nullptr), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(MorvaneGetDecisionMargin(&score, nullptr), MORVANE_ERR_INVALID_PARAMETER);
    FreeClassifier();
    EXPECT_EQ(MorvaneGetPageResolution(&x, &y, &source), MORVANE_ERR_UNINITIALIZED);
    EXPECT_EQ(MorvaneGetDecisionMargin(&score, &margin), MORVANE_ERR_UNINITIALIZED);
}

// The stated density is used only when trusted, only when asked for, and
// never over the host's own setting.
TEST_F(PageResolution, SourceFollowsTheOrderOptionFileTemplate) {
    struct Case {
        const char* what;
        uint32_t xppm, yppm;  // stated pixels per metre
        bool fileOn;
        int hostDpi;       // 0: none
        int source, x, y;  // expected; x, y 0 for the template's own
    };
    const Case cases[] = {
        {"200 dpi stated", 7874, 7874, true, 0, MORVANE_RESOLUTION_FILE, 200, 200},
        {"200 by 400 dpi", 7874, 15748, true, 0, MORVANE_RESOLUTION_FILE, 200, 400},
        {"asked not to", 7874, 7874, false, 0, MORVANE_RESOLUTION_TEMPLATE, 0, 0},
        {"host's wins", 7874, 7874, true, 400, MORVANE_RESOLUTION_OPTION, 400, 400},
        {"72 dpi is a default", 2835, 2835, true, 0, MORVANE_RESOLUTION_TEMPLATE, 0, 0},
        {"96 dpi is a default", 3780, 3780, true, 0, MORVANE_RESOLUTION_TEMPLATE, 0, 0},
        {"none stated", 0, 0, true, 0, MORVANE_RESOLUTION_TEMPLATE, 0, 0},
        {"below 75 dpi", 2900, 2900, true, 0, MORVANE_RESOLUTION_TEMPLATE, 0, 0},
        {"above 1200 dpi", 59055, 59055, true, 0, MORVANE_RESOLUTION_TEMPLATE, 0, 0},
        {"one direction untrusted", 7874, 3780, true, 0, MORVANE_RESOLUTION_TEMPLATE, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(MorvaneSetFileResolution(c.fileOn ? 1 : 0), MORVANE_OK);
        ASSERT_EQ(SetPixelResolution(c.hostDpi, c.hostDpi, index_), MORVANE_OK);
        ClassifyImageFile(W(U(CardStating(c.xppm, c.yppm).c_str())), index_);
        int x = -1, y = -1, source = -1;
        ASSERT_EQ(MorvaneGetPageResolution(&x, &y, &source), MORVANE_OK);
        EXPECT_EQ(source, c.source);
        if (c.source == MORVANE_RESOLUTION_TEMPLATE) {
            // The size filter's own resolution: the bundled filters say 300.
            EXPECT_EQ(x, 300);
            EXPECT_EQ(y, 300);
        } else {
            EXPECT_EQ(x, c.x);
            EXPECT_EQ(y, c.y);
        }
        const char* names[] = {"template", "file", "option"};
        const std::string shown = "\"resolution\":{\"x\":" + std::to_string(x) +
                                  ",\"y\":" + std::to_string(y) + ",\"source\":\"" + names[source] + "\"}";
        EXPECT_NE(Trace().find(shown), std::string::npos) << Trace().substr(0, 300);
    }
}

// Told nothing, the 200-dpi card is a card only when its file's density is
// taken; the template's 300 dpi measures it too small.
TEST_F(PageResolution, StatedDensityGivesTheRightAnswer) {
    const std::string card = CardStating(7874, 7874);
    ASSERT_EQ(MorvaneSetFileResolution(1), MORVANE_OK);
    ASSERT_EQ(ClassifyImageFile(W(U(card.c_str())), index_), MORVANE_OK);
    EXPECT_EQ(Id(), "ID1");
    // The same page loaded first, then classified, is measured alike.
    ASSERT_EQ(LoadLocalImage(W(U(card.c_str()))), MORVANE_OK);
    ASSERT_EQ(Classify(index_), MORVANE_OK);
    EXPECT_EQ(Id(), "ID1");
    ASSERT_EQ(MorvaneSetFileResolution(0), MORVANE_OK);
    ClassifyImageFile(W(U(card.c_str())), index_);
    EXPECT_NE(Id(), "ID1");
}

// The margin is the chosen child's lead at the deepest level decided by
// score, as the trace shows it.
TEST_F(PageResolution, MarginMatchesTheTrace) {
    ASSERT_EQ(SetPixelResolution(300, 300, index_), MORVANE_OK);
    const std::string page = MORVANE_SOURCE_DIR "/examples/pages/300dpi/A5_page.jpg";
    ASSERT_EQ(ClassifyImageFile(W(U(page.c_str())), index_), MORVANE_OK);
    int score = -1, margin = -1;
    ASSERT_EQ(MorvaneGetDecisionMargin(&score, &margin), MORVANE_OK);
    EXPECT_GT(score, 0);
    EXPECT_GE(margin, 0);
    EXPECT_LE(margin, score);
    const std::string trace = Trace();
    const std::string shown =
        "\"score\":" + std::to_string(score) + ",\"margin\":" + std::to_string(margin) + "}";
    EXPECT_NE(trace.find("\"decision\":{\"level\":"), std::string::npos);
    EXPECT_NE(trace.find(shown), std::string::npos);

    // Restricted to one ID that the page is not, nothing is decided by score.
    ASSERT_EQ(ResetAllTemplates(0, index_), MORVANE_OK);
    ASSERT_EQ(SetTemplateValid(W(U("TD3")), 0, index_), MORVANE_OK);
    ClassifyImageFile(W(U(page.c_str())), index_);
    ASSERT_EQ(MorvaneGetDecisionMargin(&score, &margin), MORVANE_OK);
    EXPECT_EQ(score, -1);
    EXPECT_EQ(margin, -1);
    EXPECT_NE(Trace().find("\"decision\":null"), std::string::npos);
}

}  // namespace

// What a host meets at the edges of the interface: template load failures
// that say where, sizes whose byte count overflows, and two host threads on
// the one classifier.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "ApiTestUtil.h"

namespace {

std::string Detail() {
    int length = 0;
    if (MorvaneGetLastErrorDetail(nullptr, &length) != MORVANE_ERR_INVALID_PARAMETER || length <= 0)
        return "<none>";
    std::u16string buffer(static_cast<size_t>(length), u'\0');
    if (MorvaneGetLastErrorDetail(reinterpret_cast<MorvaneChar*>(&buffer[0]), &length) != MORVANE_OK)
        return "<error>";
    std::string out;
    for (char16_t c : buffer.substr(0, buffer.size() - 1))
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

std::string Id() {
    int length = 0;
    if (GetTemplateID(nullptr, &length) != MORVANE_ERR_INVALID_PARAMETER || length <= 0) return "<none>";
    std::u16string buffer(static_cast<size_t>(length), u'\0');
    if (GetTemplateID(reinterpret_cast<MorvaneChar*>(&buffer[0]), &length) != MORVANE_OK) return "<error>";
    return std::string(buffer.begin(), buffer.end() - 1);
}

class TemplateCopy : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("morvane_hostsafety_" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::copy(MORVANE_SOURCE_DIR "/examples/templates", dir_,
                              std::filesystem::copy_options::recursive);
        ASSERT_EQ(LoadClassifier(nullptr, W(U(MORVANE_SOURCE_DIR "/examples/workdir/"))), MORVANE_OK);
    }
    void TearDown() override {
        FreeClassifier();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    // Replaces the first `from` in one file of the copied set by `to`.
    void Edit(const std::string& file, const std::string& from, const std::string& to) {
        const std::string path = (dir_ / file).string();
        std::ifstream in(path, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }
    std::string Main() const { return (dir_ / "main.xml").string(); }
    std::filesystem::path dir_;
};

// Each failure names the file, and the line and element or attribute when
// the text is at fault.
TEST_F(TemplateCopy, LoadFailuresSayWhere) {
    struct Case {
        const char* what;
        const char* file;
        const char* from;
        const char* to;
        int code;
        const char* detail;  // a pattern the detail must match
    };
    const Case cases[] = {
        {"typo in the filter template", "filters.xml", "<FilterList", "<FilterList <",
         MORVANE_ERR_READ_FILTER_TEMPLATE, "filters\\.xml: not well-formed XML \\(.*\\) at line [0-9]+$"},
        {"missing filter template", "main.xml", "filters.xml", "nothere.xml",
         MORVANE_ERR_READ_FILTER_TEMPLATE, "nothere\\.xml: cannot read the file: No such file or directory$"},
        {"negative root ChildNum", "main.xml", "ChildNum=\"", "ChildNum=\"-1", MORVANE_ERR_READ_MAIN_TEMPLATE,
         "main\\.xml: line [0-9]+: TemplateGroup Index=\"[0-9]+\": attribute ChildNum=\"-1[0-9]*\" is "
         "negative$"},
        {"broken main template", "main.xml", "</MainTemplate>", "</MainTemplat>",
         MORVANE_ERR_READ_MAIN_TEMPLATE, "main\\.xml: not well-formed XML \\(.*\\) at line [0-9]+$"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        Edit(c.file, c.from, c.to);
        int index = -1;
        EXPECT_EQ(AddMainTemplate(W(U(Main().c_str())), &index), c.code);
        const std::string detail = Detail();
        EXPECT_TRUE(std::regex_search(detail, std::regex(c.detail))) << detail;
    }
    // A template that loads clears the detail.
    TearDown();
    SetUp();
    int index = -1;
    ASSERT_EQ(AddMainTemplate(W(U(Main().c_str())), &index), MORVANE_OK);
    EXPECT_EQ(Detail(), "");
    int length = 0;
    EXPECT_EQ(MorvaneGetLastErrorDetail(nullptr, nullptr), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(MorvaneGetLastErrorDetail(nullptr, &length), MORVANE_ERR_INVALID_PARAMETER);
    EXPECT_EQ(length, 1);
}

// Sizes whose byte count does not fit are refused before any pixel is
// touched, with no overflow on the way.
TEST(HostSafety, HugeMemoryPagesAreRefused) {
    ASSERT_EQ(LoadClassifier(nullptr, W(U(MORVANE_SOURCE_DIR "/examples/workdir/"))), MORVANE_OK);
    int index = -1;
    ASSERT_EQ(AddMainTemplate(W(U(MORVANE_SOURCE_DIR "/examples/templates/main.xml")), &index), MORVANE_OK);
    unsigned char row[4] = {};
    unsigned char* rows[1] = {row};
    struct Case {
        int width, height, bits;
    };
    const Case cases[] = {{INT_MAX, INT_MAX, 24}, {INT_MAX, INT_MAX, 8}, {INT_MAX, INT_MAX, 1},
                          {INT_MAX, 2, 24},       {1, INT_MAX, 24},      {46341, 46341, 24}};
    for (const Case& c : cases)
        EXPECT_EQ(ClassifyImageMemory(rows, c.width, c.height, c.bits, index), MORVANE_ERR_INVALID_PARAMETER)
            << c.width << "x" << c.height << "x" << c.bits;
    FreeClassifier();
}

// Two host threads classify pages at once: the calls are served one after
// the other, every answer is right, nothing is corrupted (the ThreadSanitizer
// job runs this test too).
TEST(HostThreads, TwoThreadsGetSerialisedResults) {
    ASSERT_EQ(LoadClassifier(nullptr, W(U(MORVANE_SOURCE_DIR "/examples/workdir/"))), MORVANE_OK);
    int index = -1;
    ASSERT_EQ(AddMainTemplate(W(U(MORVANE_SOURCE_DIR "/examples/templates/main.xml")), &index), MORVANE_OK);
    ASSERT_EQ(SetPixelResolution(300, 300, index), MORVANE_OK);
    // Each thread classifies its own page from memory (a white page of the
    // size of an A5 and of an ID-1 card at 300 dpi) and reads the ID under a
    // lock of its own, so its classify-then-read sequence stays together.
    struct Page {
        int width, height;
        std::string id;
    };
    const Page pages[2] = {{1748, 2480, "A5"}, {1011, 638, "ID1"}};
    std::mutex sequence;
    std::atomic<int> wrong{0};
    auto run = [&](const Page& p) {
        std::vector<unsigned char> pixels(static_cast<size_t>(p.width) * p.height, 255);
        std::vector<unsigned char*> rows(static_cast<size_t>(p.height));
        for (int y = 0; y < p.height; ++y)
            rows[static_cast<size_t>(y)] = &pixels[static_cast<size_t>(y) * p.width];
        for (int i = 0; i < 4; ++i) {
            // Unsequenced calls from the other thread in between are fine.
            // (reading the whole last trace while the other classifies).
            int length = 0;
            MorvaneGetDecisionTrace(nullptr, &length);
            std::lock_guard<std::mutex> hold(sequence);
            if (ClassifyImageMemory(rows.data(), p.width, p.height, 8, index) != MORVANE_OK || Id() != p.id)
                ++wrong;
        }
    };
    std::thread a(run, std::cref(pages[0]));
    std::thread b(run, std::cref(pages[1]));
    a.join();
    b.join();
    EXPECT_EQ(wrong.load(), 0);
    FreeClassifier();
}

}  // namespace

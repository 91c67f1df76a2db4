// The example set's scanned.xml (find the document, level it, classify) on
// bad input through the exported functions: every page gets a defined
// result in bounded time, and nothing crashes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ApiTestUtil.h"
#include "CpuStopwatch.h"

using morvane::test::CpuStopwatch;

namespace {

// A 24-bit page held as rows, the way a host hands one in.
struct Page {
    int width = 0, height = 0;
    std::vector<unsigned char> bytes;
    std::vector<unsigned char*> rows;
    Page(int w, int h, unsigned char bed) : width(w), height(h), bytes(static_cast<size_t>(3) * w * h, bed) {
        for (int y = 0; y < h; ++y) rows.push_back(&bytes[static_cast<size_t>(3) * w * y]);
    }
    void Fill(int l, int t, int r, int b, unsigned char v) {
        for (int y = std::max(0, t); y < std::min(b, height); ++y)
            for (int x = std::max(0, l); x < std::min(r, width); ++x) std::memset(rows[y] + 3 * x, v, 3);
    }
    // A document of w x h pixels at (l, t): paper with a photo block and
    // lines of text.
    void Document(int l, int t, int w, int h) {
        Fill(l, t, l + w, t + h, 238);
        Fill(l + w / 20, t + h / 4, l + w * 3 / 10, t + h * 17 / 20, 85);
        for (int row = 0; row < 6; ++row)
            for (int x = l + w * 38 / 100; x < l + w * 9 / 10; x += w / 25)
                Fill(x, t + h / 4 + row * h / 10, x + w / 35, t + h / 4 + row * h / 10 + h / 30, 30);
    }
};

class ScannedBadInput : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string root = MORVANE_SOURCE_DIR;
        ASSERT_EQ(LoadClassifier(nullptr, W(U((root + "/examples/workdir/").c_str()))), 0);
        ASSERT_EQ(AddMainTemplate(W(U((root + "/examples/templates/scanned.xml").c_str())), &index_), 0);
    }
    void TearDown() override { FreeClassifier(); }

    // Classification code and template ID of a page at `dpi`.
    std::pair<int, std::string> Run(Page& page, int dpi) {
        EXPECT_EQ(SetPixelResolution(dpi, dpi, index_), 0);
        const int code = ClassifyImageMemory(page.rows.data(), page.width, page.height, 24, index_);
        MorvaneChar id[64] = {};
        int n = 64;
        std::string text;
        if (code == 0 && GetTemplateID(id, &n) == 0)
            for (int i = 0; i < n && id[i]; ++i) text.push_back(static_cast<char>(id[i]));
        return {code, text};
    }

    int index_ = -1;
};

TEST_F(ScannedBadInput, EveryPageGetsADefinedResult) {
    // Pages at 150 dpi: A4 is 1240 x 1754, an ID-1 card 506 x 319, a
    // passport page 738 x 520.
    struct Case {
        const char* what;
        Page page;
        int dpi;
        const char* id;  // expected template ID
    };
    std::vector<Case> cases;
    cases.push_back({"all dark bed", Page(1240, 1754, 10), 150, "A4"});
    cases.push_back({"all light bed", Page(1240, 1754, 250), 150, "A4"});
    {
        // Two documents: the passport page is larger and is taken.
        Page p(1240, 1754, 10);
        p.Document(100, 100, 738, 520);
        p.Document(200, 1000, 506, 319);
        cases.push_back({"two documents", std::move(p), 150, "TD3"});
    }
    {
        // A card running off the right and bottom edges: the visible part
        // (300 x 200 pixels, 51 x 34 mm) is no known document.
        Page p(1240, 1754, 10);
        p.Document(940, 1554, 506, 319);
        cases.push_back({"touching two edges", std::move(p), 150, "UNKNOWN"});
    }
    {
        // A card with a torn corner is still an ID-1 card (its layout no
        // longer matches a known card).
        Page p(1240, 1754, 10);
        p.Document(300, 400, 506, 319);
        for (int y = 400; y < 460; ++y) p.Fill(300, y, 300 + 460 - y, y + 1, 10);
        cases.push_back({"torn corner", std::move(p), 150, "ID1"});
    }
    cases.push_back({"one pixel", Page(1, 1, 128), 150, "UNKNOWN"});
    // A host resolution of 0 sets none: the template's 300 dpi counts and
    // the 150-dpi card measures 43 mm wide; at 10^6 dpi it measures under a
    // millimetre. Neither is a known document.
    for (int dpi : {0, 1000000}) {
        Page p(1240, 1754, 10);
        p.Document(300, 400, 506, 319);
        cases.push_back({dpi == 0 ? "resolution 0" : "resolution 10^6", std::move(p), dpi, "UNKNOWN"});
    }
    for (Case& c : cases) {
        const CpuStopwatch clock;
        const auto [code, id] = Run(c.page, c.dpi);
        const double seconds = clock.Seconds();
        EXPECT_EQ(code, 0) << c.what;
        EXPECT_EQ(id, c.id) << c.what;
        EXPECT_LT(seconds, 20.0)
            << c.what;  // debug and sanitizer builds; well under a second in a release one
    }
}

}  // namespace

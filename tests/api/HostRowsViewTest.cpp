// Host rows classified in place (a read-only view, copied only when a step
// writes): the answers equal those for the same pixels read from a file,
// the host's rows are never written, and rows sized exactly to their
// pixels are never read past (AddressSanitizer sees each row's end).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "api/ApiTestUtil.h"
#include "api/TemplateSetFixture.h"

namespace {

// A page whose every row is its own allocation of exactly its pixel bytes.
struct HostPage {
    int width, height, bpp;
    std::vector<std::vector<unsigned char>> lines;
    std::vector<unsigned char*> rows;
    HostPage(int w, int h, int bitsPerPixel) : width(w), height(h), bpp(bitsPerPixel) {
        const size_t n = static_cast<size_t>(w) * static_cast<size_t>(bpp / 8);
        for (int y = 0; y < h; ++y) {
            std::vector<unsigned char> line(n);
            for (int x = 0; x < w; ++x) {
                // Paper, a dark photo block and lines of dark words.
                unsigned char v = 236;
                if (x > w / 20 && x < w * 3 / 10 && y > h / 4 && y < h * 17 / 20) v = 85;
                if (x > w * 38 / 100 && x < w * 9 / 10 && (y / (h / 30 + 1)) % 3 == 1 &&
                    (x / (w / 40 + 1)) % 3 != 2)
                    v = 30;
                for (int c = 0; c < bpp / 8; ++c) line[static_cast<size_t>(x) * (bpp / 8) + c] = v;
            }
            lines.push_back(std::move(line));
        }
        for (auto& l : lines) rows.push_back(l.data());
    }
    // The same pixels as an uncompressed BMP file (bottom row first).
    void WriteBmp(const std::string& path) const {
        const int bytes = bpp / 8;
        const int stride = (width * bytes + 3) / 4 * 4;
        const int palette = bpp == 8 ? 1024 : 0;
        const int offset = 54 + palette;
        const int size = offset + stride * height;
        std::vector<unsigned char> f(static_cast<size_t>(size), 0);
        auto put = [&](int at, int value, int n) {
            for (int i = 0; i < n; ++i)
                f[static_cast<size_t>(at + i)] = static_cast<unsigned char>(value >> (8 * i));
        };
        f[0] = 'B';
        f[1] = 'M';
        put(2, size, 4);
        put(10, offset, 4);
        put(14, 40, 4);
        put(18, width, 4);
        put(22, height, 4);
        put(26, 1, 2);
        put(28, bpp, 2);
        put(34, stride * height, 4);
        put(46, bpp == 8 ? 256 : 0, 4);
        for (int i = 0; i < palette / 4; ++i) put(54 + 4 * i, i | (i << 8) | (i << 16), 4);
        for (int y = 0; y < height; ++y)
            std::memcpy(&f[static_cast<size_t>(offset + (height - 1 - y) * stride)],
                        lines[static_cast<size_t>(y)].data(), lines[static_cast<size_t>(y)].size());
        FILE* out = std::fopen(path.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        ASSERT_EQ(std::fwrite(f.data(), 1, f.size(), out), f.size());
        std::fclose(out);
    }
};

std::string Id() {
    MorvaneChar buffer[64];
    int n = 64;
    if (GetTemplateID(buffer, &n) != 0) return "<none>";
    return std::string(buffer, buffer + n - 1);
}

TEST(HostRowsView, AnswersEqualTheFilesAndRowsStayUntouched) {
    const std::string root = MORVANE_SOURCE_DIR;
    ASSERT_EQ(LoadClassifier(nullptr, W(U((root + "/examples/workdir/").c_str()))), 0);
    struct Set {
        const char* xml;
        int dpi;
    } sets[] = {{"sizes.xml", 150}, {"main.xml", 150}, {"scanned.xml", 150}};
    TempDir dir;
    for (const Set& s : sets) {
        int index = -1;
        ASSERT_EQ(AddMainTemplate(W(U((root + "/examples/templates/" + s.xml).c_str())), &index), 0) << s.xml;
        ASSERT_EQ(SetPixelResolution(s.dpi, s.dpi, index), 0);
        for (int bpp : {8, 24}) {
            HostPage page(1240, 1754, bpp);
            const std::vector<std::vector<unsigned char>> before = page.lines;
            const std::string file = dir.path() + "/page" + std::to_string(bpp) + ".bmp";
            page.WriteBmp(file);
            const int fileCode = ClassifyImageFile(W(U(file.c_str())), index);
            const std::string fileId = fileCode == 0 ? Id() : std::string();
            const int code = ClassifyImageMemory(page.rows.data(), page.width, page.height, bpp, index);
            EXPECT_EQ(code, fileCode) << s.xml << " " << bpp;
            EXPECT_EQ(code == 0 ? Id() : std::string(), fileId) << s.xml << " " << bpp;
            EXPECT_TRUE(page.lines == before) << s.xml << " " << bpp << ": the host's rows were written";
        }
    }
    FreeClassifier();
}

TEST(HostRowsView, SharedRowBufferIsNotWritten) {
    // Every row pointer names the same buffer: a write through any row of
    // the view would show in all of them.
    const std::string root = MORVANE_SOURCE_DIR;
    ASSERT_EQ(LoadClassifier(nullptr, W(U((root + "/examples/workdir/").c_str()))), 0);
    int index = -1;
    ASSERT_EQ(AddMainTemplate(W(U((root + "/examples/templates/scanned.xml").c_str())), &index), 0);
    std::vector<unsigned char> line(static_cast<size_t>(600) * 3);
    for (size_t i = 0; i < line.size(); ++i) line[i] = static_cast<unsigned char>(i % 3 == 0 ? 40 : 220);
    const std::vector<unsigned char> before = line;
    std::vector<unsigned char*> rows(400, line.data());
    ClassifyImageMemory(rows.data(), 600, 400, 24, index);
    EXPECT_TRUE(line == before);
    FreeClassifier();
}

}  // namespace

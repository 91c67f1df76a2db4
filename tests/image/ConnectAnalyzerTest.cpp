#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "image/ConnectAnalyzer.h"
#include "image/PixelTestUtil.h"

namespace {

using pixeltest::Binary;
using pixeltest::Bit;

// Flood-fill reference: components in the raster order of their first
// pixel, with the same box conventions.
std::vector<ComponentRecord> Reference(const CRawImage& img) {
    const int w = img.width, h = img.height;
    std::vector<int> seen(static_cast<size_t>(w) * h, 0);
    std::vector<ComponentRecord> out;
    std::vector<std::pair<int, int>> stack;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!Bit(img, x, y) || seen[y * w + x]) continue;
            ComponentRecord c;
            c.left = x;
            c.right = x + 1;
            c.top = y;
            int lastRow = y;
            c.seedX = x;
            c.seedY = y;
            c.kind = 6;
            stack.push_back({x, y});
            seen[y * w + x] = 1;
            while (!stack.empty()) {
                auto [px, py] = stack.back();
                stack.pop_back();
                ++c.pixelCount;
                c.left = std::min(c.left, px);
                c.right = std::max(c.right, px + 1);
                lastRow = std::max(lastRow, py);
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = px + dx, ny = py + dy;
                        if (nx < 0 || ny < 0 || nx >= w || ny >= h || seen[ny * w + nx] || !Bit(img, nx, ny))
                            continue;
                        seen[ny * w + nx] = 1;
                        stack.push_back({nx, ny});
                    }
            }
            c.bottom = std::min(lastRow + 1, h - 1);
            out.push_back(c);
        }
    return out;
}

auto Key(const ComponentRecord& c) {
    return std::make_tuple(c.left, c.top, c.right, c.bottom, c.pixelCount, c.kind, c.seedX, c.seedY);
}

TEST(ConnectAnalyzer, MatchesFloodFillOnRandomPages) {
    struct Case {
        int w, h;
        double density;
    } cases[] = {{64, 48, 0.2}, {65, 40, 0.45}, {100, 30, 0.6}, {7, 90, 0.5},
                 {90, 7, 0.3},  {1, 20, 0.5},   {20, 1, 0.5}};
    uint32_t start = 17;
    for (const Case& c : cases) {
        CRawImage img = pixeltest::RandomBinary(c.w, c.h, c.density, start++);
        CConnectAnalyzer analyzer(&img);
        ASSERT_EQ(analyzer.Analyze(0), 1);
        const auto want = Reference(img);
        const auto& got = analyzer.Components();
        ASSERT_EQ(got.size(), want.size()) << c.w << "x" << c.h;
        for (size_t i = 0; i < want.size(); ++i)
            ASSERT_EQ(Key(got[i]), Key(want[i])) << c.w << "x" << c.h << " #" << i;
    }
}

TEST(ConnectAnalyzer, WorkedShapes) {
    // Two diagonally touching pixels are one component.
    {
        CRawImage img = Binary(10, 10, [](int x, int y) { return (x == 3 && y == 3) || (x == 4 && y == 4); });
        CConnectAnalyzer a(&img);
        ASSERT_EQ(a.Analyze(0), 1);
        ASSERT_EQ(a.Count(), 1);
        EXPECT_EQ(a.Components()[0].pixelCount, 2);
        EXPECT_EQ(a.Components()[0].right, 5);
        EXPECT_EQ(a.Components()[0].bottom, 5);
    }
    // A component reaching the last row has bottom = height - 1.
    {
        CRawImage img = Binary(6, 5, [](int x, int y) { return x == 2 && y >= 2; });
        CConnectAnalyzer a(&img);
        ASSERT_EQ(a.Analyze(0), 1);
        ASSERT_EQ(a.Count(), 1);
        EXPECT_EQ(a.Components()[0].top, 2);
        EXPECT_EQ(a.Components()[0].bottom, 4);
    }
    // A U: two arms labelled apart, joined by the bottom bar; the record of
    // the left arm (made first) survives with the right arm's box added.
    {
        CRawImage img = Binary(12, 8, [](int x, int y) {
            return ((x == 2 || x == 9) && y >= 1 && y <= 6) || (y == 6 && x >= 2 && x <= 9);
        });
        CConnectAnalyzer a(&img);
        ASSERT_EQ(a.Analyze(0), 1);
        ASSERT_EQ(a.Count(), 1);
        const ComponentRecord& c = a.Components()[0];
        EXPECT_EQ(c.left, 2);
        EXPECT_EQ(c.right, 10);
        EXPECT_EQ(c.top, 1);
        EXPECT_EQ(c.bottom, 7);
        EXPECT_EQ(c.pixelCount, 6 + 6 + 6);
        EXPECT_EQ(c.seedX, 2);
        EXPECT_EQ(c.seedY, 1);
        EXPECT_EQ(c.kind, 6);
    }
    // Padding bits past the width are not pixels.
    {
        CRawImage img;
        img.Create(5, 2, 1, 300);
        img.Row(0)[0] = 0x07;  // columns 5..7 lie in the padding
        img.Row(0)[1] = 0xFF;
        CConnectAnalyzer a(&img);
        ASSERT_EQ(a.Analyze(0), 1);
        EXPECT_EQ(a.Count(), 0);
    }
}

TEST(ConnectAnalyzer, CombOfTeethMergesInLinearTime) {
    // Teeth on every other column joined by a bar every other row: a worst
    // case for label rewriting. Checked against the reference on a small
    // page; the full page must simply finish as one component.
    auto comb = [](int x, int y) { return (x % 2 == 0) || (y % 2 == 1); };
    CRawImage small = Binary(41, 9, comb);
    CConnectAnalyzer a(&small);
    ASSERT_EQ(a.Analyze(0), 1);
    ASSERT_EQ(a.Count(), 1);
    EXPECT_EQ(Key(a.Components()[0]), Key(Reference(small)[0]));
    CRawImage big =
        Binary(2480, 800, [](int x, int y) { return (x % 2 == 0 && y % 2 == 0) || (y % 2 == 1); });
    CConnectAnalyzer b(&big);
    ASSERT_EQ(b.Analyze(0), 1);
    EXPECT_EQ(b.Count(), 1);
}

TEST(ConnectAnalyzer, RefusesOtherImages) {
    CRawImage gray;
    gray.Create(4, 4, 8, 300);
    CConnectAnalyzer a(&gray);
    EXPECT_EQ(a.Analyze(0), 0);
    CRawImage empty;
    CConnectAnalyzer b(&empty);
    EXPECT_EQ(b.Analyze(0), 0);
    CConnectAnalyzer c(nullptr);
    EXPECT_EQ(c.Analyze(0), 0);
}

}  // namespace

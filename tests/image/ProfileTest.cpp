#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "image/PixelTestUtil.h"
#include "image/Profile.h"

namespace libMorvaneClassifier {
namespace {

using pixeltest::Bit;

TEST(RowProfile, MatchesPixelCountsForEveryRange) {
    CRawImage img = pixeltest::RandomBinary(64, 6, 0.35, 21);
    // Ranges inside one byte, across byte boundaries, ending at the width.
    const int ranges[][2] = {{9, 13}, {0, 64}, {56, 64}, {0, 1},  {63, 64},
                             {7, 9},  {8, 16}, {3, 61},  {20, 20}};
    for (const auto& r : ranges) {
        std::vector<ProfileEntry> e(6);
        ASSERT_TRUE(RowProfile(img, e.data(), {r[0], 0, r[1], 6}));
        for (int y = 0; y < 6; ++y) {
            int count = 0, first = -1, last = -1;
            for (int x = r[0]; x < r[1]; ++x)
                if (Bit(img, x, y)) {
                    ++count;
                    if (first < 0) first = x;
                    last = x + 1;
                }
            EXPECT_EQ(e[y].count, count) << r[0] << "-" << r[1] << " row " << y;
            EXPECT_EQ(e[y].first, count ? first : r[0]);
            EXPECT_EQ(e[y].last, count ? last : r[0]);
        }
    }
}

TEST(RowProfile, LastByteAndRefusals) {
    // Only columns 56..63 of a 64-wide page are black.
    CRawImage img = pixeltest::Binary(64, 3, [](int x, int y) { return y == 1 && x >= 56; });
    std::vector<ProfileEntry> e(3);
    ASSERT_TRUE(RowProfile(img, e.data(), {0, 0, 64, 3}));
    EXPECT_EQ(e[1].count, 8);
    EXPECT_EQ(e[1].first, 56);
    EXPECT_EQ(e[1].last, 64);
    EXPECT_EQ(e[0].count, 0);
    EXPECT_EQ(e[0].first, 0);
    // Rectangles not inside the image leave the entries as they were.
    const ProfileRect bad[] = {{-1, 0, 10, 3}, {0, -1, 10, 3}, {0, 0, 65, 3},
                               {65, 0, 65, 3}, {0, 0, 10, 4},  {0, 4, 10, 4}};
    for (const ProfileRect& r : bad) {
        std::vector<ProfileEntry> z(8);
        z[0].count = 42;
        EXPECT_FALSE(RowProfile(img, z.data(), r));
        EXPECT_EQ(z[0].count, 42);
    }
    CRawImage gray;
    gray.Create(8, 8, 8, 300);
    EXPECT_FALSE(RowProfile(gray, e.data(), {0, 0, 8, 3}));
}

TEST(ColumnProfile, CountsOneRowBeyondEachEnd) {
    const int h = 30;
    CRawImage img = pixeltest::RandomBinary(20, h, 0.3, 5);
    struct Case {
        int top, bottom, from, to;
    } cases[] = {{10, 20, 9, 20}, {0, h, 0, h - 1}, {0, 5, 0, 5}, {25, h, 24, h - 1}, {29, 29, 28, 29}};
    for (const Case& c : cases) {
        std::vector<ProfileEntry> e(20);
        ASSERT_TRUE(ColumnProfile(img, e.data(), {2, c.top, 19, c.bottom}));
        for (int x = 2; x < 19; ++x) {
            int count = 0, first = -1, last = -1;
            for (int y = c.from; y <= c.to; ++y)
                if (Bit(img, x, y)) {
                    ++count;
                    if (first < 0) first = y;
                    last = y;
                }
            const ProfileEntry& got = e[x - 2];
            EXPECT_EQ(got.count, count) << c.top << " col " << x;
            EXPECT_EQ(got.first, count ? first : c.top);
            EXPECT_EQ(got.last, count ? last : c.top);
        }
    }
    std::vector<ProfileEntry> z(4);
    z[0].count = 9;
    EXPECT_FALSE(ColumnProfile(img, z.data(), {0, 0, 21, 5}));
    EXPECT_FALSE(ColumnProfile(img, z.data(), {-2, 0, 2, 5}));
    EXPECT_FALSE(ColumnProfile(img, z.data(), {0, 0, 4, h + 1}));
    EXPECT_EQ(z[0].count, 9);
}

TEST(SmoothGaussian, WorkedSeries) {
    // Constant series stay constant.
    std::vector<float> flat(40, 3.5f), out;
    ASSERT_TRUE(SmoothGaussian(out, flat, 2.0));
    ASSERT_EQ(out.size(), 40u);
    for (float v : out) EXPECT_NEAR(v, 3.5f, 1e-5);
    // A single 1 far from the ends spreads over 15 values summing to 1,
    // symmetric and peaked at the centre.
    std::vector<float> pulse(60, 0.0f);
    pulse[30] = 1.0f;
    ASSERT_TRUE(SmoothGaussian(out, pulse, 2.0));
    int nonZero = 0;
    for (size_t i = 0; i < out.size(); ++i)
        if (out[i] != 0.0f) {
            ++nonZero;
            EXPECT_GE(i, 23u);
            EXPECT_LE(i, 37u);
        }
    EXPECT_EQ(nonZero, 15);
    EXPECT_NEAR(std::accumulate(out.begin(), out.end(), 0.0), 1.0, 1e-6);
    EXPECT_NEAR(out[27], out[33], 1e-7);
    const double centre =
        1.0 / (1 + 2 * (std::exp(-0.125) + std::exp(-0.5) + std::exp(-1.125) + std::exp(-2.0) +
                        std::exp(-3.125) + std::exp(-4.5) + std::exp(-6.125)));
    EXPECT_NEAR(out[30], centre, 1e-6);
    // Length 1: the same value comes back.
    std::vector<float> one{7.25f};
    ASSERT_TRUE(SmoothGaussianInPlace(one, 2.0));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_FLOAT_EQ(one[0], 7.25f);
    // Empty input leaves the output as it was.
    std::vector<float> keep{1, 2, 3};
    ASSERT_TRUE(SmoothGaussian(keep, {}, 2.0));
    EXPECT_EQ(keep.size(), 3u);
    // Ends repeat their value: a step keeps its plateaus far from the edge.
    std::vector<float> step(30, 0.0f);
    for (int i = 15; i < 30; ++i) step[i] = 10.0f;
    ASSERT_TRUE(SmoothGaussianInPlace(step, 2.0));
    EXPECT_FLOAT_EQ(step[0], 0.0f);
    EXPECT_NEAR(step[29], 10.0f, 1e-5);
    EXPECT_GT(step[15], 5.0f);
    EXPECT_LT(step[14], 5.0f);
    EXPECT_FALSE(SmoothGaussian(out, pulse, 0.0));
    EXPECT_FALSE(SmoothGaussian(out, pulse, std::nan("")));
}

}  // namespace
}  // namespace libMorvaneClassifier

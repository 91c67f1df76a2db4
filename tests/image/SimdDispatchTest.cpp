#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "image/GrayToBinary.h"
#include "image/PixelTestUtil.h"
#include "image/RotateProcessor.h"
#include "image/TrueColorToGray.h"
#include "image/simd/SimdKernels.h"

namespace {

using simd::Tier;

TEST(SimdDispatch, SettingChoosesATierNeverAboveTheProcessor) {
    struct Case {
        const char* setting;
        Tier supported;
        Tier expected;
    };
    const Case cases[] = {
        {nullptr, Tier::kAvx2, Tier::kAvx2},    {"", Tier::kAvx2, Tier::kAvx2},
        {"scalar", Tier::kAvx2, Tier::kScalar}, {"sse2", Tier::kAvx2, Tier::kSse2},
        {"avx2", Tier::kAvx2, Tier::kAvx2},     {"avx2", Tier::kSse2, Tier::kSse2},
        {"avx2", Tier::kScalar, Tier::kScalar}, {"sse2", Tier::kScalar, Tier::kScalar},
        {"AVX2", Tier::kSse2, Tier::kSse2},     {"avx512", Tier::kAvx2, Tier::kAvx2},
        {"scalar ", Tier::kAvx2, Tier::kAvx2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(simd::TierFromSetting(c.setting, c.supported), c.expected)
            << (c.setting ? c.setting : "(none)") << " on " << simd::TierName(c.supported);
}

TEST(SimdDispatch, SetTierIsLimitedToTheProcessorAndRestores) {
    const Tier before = simd::ActiveTier();
    for (Tier t : {Tier::kScalar, Tier::kSse2, Tier::kAvx2}) {
        const Tier got = simd::SetTier(t);
        EXPECT_EQ(got,
                  static_cast<int>(t) <= static_cast<int>(simd::SupportedTier()) ? t : simd::SupportedTier());
        EXPECT_EQ(simd::ActiveTier(), got);
        EXPECT_EQ(simd::Active().tier, got);
    }
    simd::SetTier(before);
    EXPECT_EQ(simd::ActiveTier(), before);
}

std::vector<uint8_t> Bytes(const CRawImage& img) {
    std::vector<uint8_t> out;
    for (int y = 0; y < img.height; ++y) out.insert(out.end(), img.Row(y), img.Row(y) + img.bytesPerRow);
    return out;
}

// Every engine and kernel on pages whose widths straddle the vector steps
// (2, 4, 8 and 16 pixels, the ten-pixel tail of the luminance loop, the
// window half-widths): every tier gives the scalar tier's bytes.
TEST(SimdDispatch, EveryTierGivesTheScalarBytes) {
    const Tier before = simd::ActiveTier();
    std::mt19937 rng(11);
    const int widths[] = {1, 7, 9, 17, 19, 33, 47, 64, 71};
    const int heights[] = {9, 31, 50};
    int compared = 0;
    for (int w : widths) {
        for (int h : heights) {
            // Blurred noise with ink strokes: both flat and busy regions.
            std::uniform_int_distribution<int> level(0, 255);
            CRawImage gray = pixeltest::Gray(w, h, [&](int x, int y) {
                if ((x + 2 * y) % 13 < 2) return 20 + level(rng) % 40;
                return 150 + level(rng) % 100;
            });
            CRawImage colour;
            ASSERT_TRUE(colour.Create(w, h, 24, 300));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < 3 * w; ++x)
                    colour.Row(y)[x] =
                        (x / 3 + y) % 5 == 0 ? gray.Row(y)[x / 3] : static_cast<uint8_t>(level(rng));
            std::vector<std::vector<uint8_t>> outputs[3];
            for (Tier t : {Tier::kScalar, Tier::kSse2, Tier::kAvx2}) {
                if (simd::SetTier(t) != t) continue;
                auto& out = outputs[static_cast<int>(t)];
                for (int method : {0, 1, 2, 3, 5, 6, 7, 8}) {
                    CRawImage bin;
                    CGrayToBinary conv(&gray);
                    conv.method = method;
                    ASSERT_EQ(conv.Process(bin), 1) << method;
                    out.push_back(Bytes(bin));
                }
                CRawImage g;
                CTrueColorToGray toGray(&colour);
                ASSERT_EQ(toGray.Process(g), 1);
                out.push_back(Bytes(g));
                CRawImage turned;
                CRotateProcessor rot(&gray);
                rot.angle = 0.07;
                ASSERT_EQ(rot.Process(turned), 1);
                out.push_back(Bytes(turned));
            }
            for (int t = 1; t < 3; ++t) {
                if (outputs[t].empty()) continue;
                ASSERT_EQ(outputs[t].size(), outputs[0].size());
                for (size_t k = 0; k < outputs[0].size(); ++k) {
                    EXPECT_EQ(outputs[t][k], outputs[0][k])
                        << simd::TierName(static_cast<Tier>(t)) << " output " << k << " on " << w << "x" << h;
                    ++compared;
                }
            }
        }
    }
    simd::SetTier(before);
    EXPECT_GT(compared, 0);
}

}  // namespace

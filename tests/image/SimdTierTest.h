// Runs a test suite once per vector tier of the pixel kernels: every tier
// must give the same results. A tier the processor lacks is skipped with the
// reason shown.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "image/simd/SimdKernels.h"

namespace pixeltest {

class SimdTierTest : public ::testing::TestWithParam<simd::Tier> {
protected:
    void SetUp() override {
        if (simd::SetTier(GetParam()) != GetParam())
            GTEST_SKIP() << "this processor has no " << simd::TierName(GetParam()) << " tier";
    }
    void TearDown() override { simd::SetTier(previous_); }

private:
    simd::Tier previous_ = simd::ActiveTier();
};

inline auto AllTiers() {
    return ::testing::Values(simd::Tier::kScalar, simd::Tier::kSse2, simd::Tier::kAvx2);
}

inline std::string TierParamName(const ::testing::TestParamInfo<simd::Tier>& info) {
    return simd::TierName(info.param);
}

}  // namespace pixeltest

// Declares the suite's fixture; the suite's TEST_P cases then run at every tier.
#define MORVANE_TIER_SUITE(Suite)                    \
    class Suite : public pixeltest::SimdTierTest {}; \
    INSTANTIATE_TEST_SUITE_P(Tiers, Suite, pixeltest::AllTiers(), pixeltest::TierParamName)

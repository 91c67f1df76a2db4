// The dispatch tables of the three tiers and the choice among them.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "image/simd/SimdKernels.h"
#include "image/simd/SimdTiers.h"

namespace simd {

namespace {

// The scalar tier's kernels do no work: the callers' own loops do it all.
int NoPack(const uint8_t*, int, int, uint8_t*) { return 0; }
int NoPackLess(const uint8_t*, const uint8_t*, int, uint8_t*) { return 0; }
int NoPackFlags(const uint8_t*, int, uint8_t*) { return 0; }
int NoFlatten(const uint8_t*, int, int, int, uint8_t*) { return 0; }
int NoPackedWindowSums(const uint32_t*, int, int, int from, uint32_t*) { return from; }
int NoNiblackCentres(const uint32_t*, int from, int, float, double, uint8_t*) { return from; }
int NoSmoothRow(const uint8_t*, const uint16_t*, const uint16_t*, const uint16_t*, int, int16_t*) {
    return 3;
}
int NoFullWindowSumsPair(const uint32_t*, const uint32_t*, int x, int, int, uint32_t*, uint32_t*) {
    return x;
}
int NoFullWindowSums(const uint32_t*, int x, int, int, uint32_t*) { return x; }
int NoSauvolaRow(const int32_t*, const int32_t*, const double*, double, const uint8_t*, uint8_t*, int) {
    return 0;
}
int NoSurfaceRow(const uint8_t*, const uint8_t*, const uint32_t*, int, uint8_t*, int64_t&, int64_t&,
                 int64_t&) {
    return 0;
}
int NoDecideRow(const uint8_t*, const uint8_t*, const int32_t*, const uint8_t*, int, uint8_t*) { return 0; }
int NoLuminanceRow(const uint8_t*, uint8_t*, int, const uint8_t*) { return 0; }
bool NoRotateGrayRow(const RotateRow&, uint8_t*, int32_t) { return false; }
int NoWarpGrayRow(const WarpRow&, int, uint8_t*) { return 0; }
int NoGraySumRow24(const uint8_t*, int, uint16_t*) { return 0; }
int NoPackedColumnUpdate(uint32_t*, const uint8_t*, const uint8_t*, int) { return 0; }

constexpr KernelTable kScalarTable = {
    Tier::kScalar,      NoPack,           NoPackLess,           NoPackFlags,          NoFlatten,
    NoPackedWindowSums, NoNiblackCentres, NoSmoothRow,          NoFullWindowSumsPair, NoFullWindowSums,
    NoSauvolaRow,       NoSurfaceRow,     NoDecideRow,          NoLuminanceRow,       NoRotateGrayRow,
    NoWarpGrayRow,      NoGraySumRow24,   NoPackedColumnUpdate,
};

#ifdef MORVANE_SIMD_X86
int Sse2SauvolaRow(const int32_t* wa, const int32_t* wb, const double* inverse, double rowsInverse,
                   const uint8_t* row, uint8_t* f, int width) {
    return sse2::SauvolaRow(wa, wb, inverse, rowsInverse, row, f, width, 0);
}

constexpr KernelTable kSse2Table = {
    Tier::kSse2,          sse2::PackBelow,  sse2::PackLess,
    sse2::PackFlags,      sse2::FlattenRow, sse2::PackedWindowSums,
    sse2::NiblackCentres, sse2::SmoothRow,  sse2::FullWindowSumsPair,
    sse2::FullWindowSums, Sse2SauvolaRow,   NoSurfaceRow,
    NoDecideRow,          NoLuminanceRow,   NoRotateGrayRow,
    NoWarpGrayRow,        NoGraySumRow24,   sse2::PackedColumnUpdate,
};

constexpr KernelTable kAvx2Table = {
    Tier::kAvx2,          sse2::PackBelow,    sse2::PackLess,
    sse2::PackFlags,      sse2::FlattenRow,   sse2::PackedWindowSums,
    avx2::NiblackCentres, sse2::SmoothRow,    avx2::FullWindowSumsPair,
    avx2::FullWindowSums, avx2::SauvolaRow,   avx2::SurfaceRow,
    avx2::DecideRow,      avx2::LuminanceRow, avx2::RotateGrayRow,
    avx2::WarpGrayRow,    avx2::GraySumRow24, avx2::PackedColumnUpdate,
};
#endif

const KernelTable* TableOf(Tier tier) {
#ifdef MORVANE_SIMD_X86
    if (tier == Tier::kAvx2) return &kAvx2Table;
    if (tier == Tier::kSse2) return &kSse2Table;
#else
    (void)tier;
#endif
    return &kScalarTable;
}

Tier DetectTier() {
#ifdef MORVANE_SIMD_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return Tier::kAvx2;
    if (__builtin_cpu_supports("sse2")) return Tier::kSse2;
#endif
    return Tier::kScalar;
}

std::atomic<const KernelTable*>& Current() {
    // Chosen once, on first use: the processor's best tier, or the lower one
    // the environment asks for.
    static std::atomic<const KernelTable*> current{
        TableOf(TierFromSetting(std::getenv("MORVANE_SIMD"), SupportedTier()))};
    return current;
}

}  // namespace

const char* TierName(Tier tier) {
    switch (tier) {
        case Tier::kScalar:
            return "scalar";
        case Tier::kSse2:
            return "sse2";
        case Tier::kAvx2:
            return "avx2";
    }
    return "scalar";
}

Tier TierFromSetting(const char* setting, Tier supported) {
    Tier wanted = supported;
    if (setting) {
        for (Tier t : {Tier::kScalar, Tier::kSse2, Tier::kAvx2})
            if (std::strcmp(setting, TierName(t)) == 0) wanted = t;
    }
    return static_cast<int>(wanted) < static_cast<int>(supported) ? wanted : supported;
}

Tier SupportedTier() {
    static const Tier supported = DetectTier();
    return supported;
}

const KernelTable& Active() { return *Current().load(std::memory_order_relaxed); }

Tier ActiveTier() { return Active().tier; }

Tier SetTier(Tier tier) {
    const Tier limit = SupportedTier();
    const Tier chosen = static_cast<int>(tier) < static_cast<int>(limit) ? tier : limit;
    Current().store(TableOf(chosen), std::memory_order_relaxed);
    return chosen;
}

}  // namespace simd

// Method 6: thresholds of 8 x 8 blocks of a smoothed page, spread to the
// blocks whose contrast is too low to decide.
#include <algorithm>
#include <utility>
#include <vector>

#include "image/BitPack.h"
#include "image/ThresholdEngines.h"
#include "image/simd/SimdKernels.h"

namespace {

// The 7 x 7 smoothing kernel; row and column 3 are the centre.
const int kKernel[7][7] = {
    {23, 117, 211, 234, 211, 117, 23},      {117, 540, 915, 1056, 915, 540, 117},
    {211, 915, 1549, 1807, 1549, 915, 211}, {234, 1056, 1807, 2113, 1807, 1056, 234},
    {211, 915, 1549, 1807, 1549, 915, 211}, {117, 540, 915, 1056, 915, 540, 117},
    {23, 117, 211, 234, 211, 117, 23},
};

// out[x] = p[x] + q[x]; one output per loop keeps it vectorisable.
void SumRows(const uint8_t* __restrict p, const uint8_t* __restrict q, int width, uint16_t* __restrict out) {
    for (int x = 0; x < width; ++x) out[x] = static_cast<uint16_t>(p[x] + q[x]);
}

}  // namespace

int BinarizeBlockMinMax(GrayRows src, int width, int height, BitRows dst) {
    const int bw = (width + 7) / 8, bh = (height + 7) / 8;
    const int64_t blocks = static_cast<int64_t>(bw) * bh;
    auto lo = ThresholdScratch<int32_t>(blocks);
    auto hi = ThresholdScratch<int32_t>(blocks);

    auto c1 = ThresholdScratch<uint16_t>(width);
    auto c2 = ThresholdScratch<uint16_t>(width);
    auto c3 = ThresholdScratch<uint16_t>(width);
    auto thr16 = ThresholdScratch<int16_t>(width);
    auto flags = ThresholdScratch<uint8_t>(width);
    if (!lo || !hi || !c1 || !c2 || !c3 || !thr16 || !flags) return 0;
    std::fill(lo.get(), lo.get() + blocks, 0);
    std::fill(hi.get(), hi.get() + blocks, 0);

    // 1-2. Smooth rows 3 .. height - 4 and record block minimum and maximum.
    // Per column minimum and maximum run over the 8 rows of a block row and
    // are folded into the blocks when the block row is complete.
    auto sm = ThresholdScratch<int16_t>(width);
    auto colMin = ThresholdScratch<int16_t>(width);
    auto colMax = ThresholdScratch<int16_t>(width);
    if (!sm || !colMin || !colMax) return 0;
    for (int y = 3; y <= height - 4; ++y) {
        const uint8_t* r0 = src[y];
        {
            const uint8_t *u1 = src[y - 1], *d1 = src[y + 1], *u2 = src[y - 2], *d2 = src[y + 2];
            const uint8_t *u3 = src[y - 3], *d3 = src[y + 3];
            SumRows(u1, d1, width, c1.get());
            SumRows(u2, d2, width, c2.get());
            SumRows(u3, d3, width, c3.get());
        }
        // Inner columns: the 25 positions whose offsets have equal parity,
        // grouped by equal weight: g0 centre (2113), g1 distance 2 on an
        // axis (1056), g2 diagonal 2 (540), g3 diagonal 1 (1549), g4 the
        // (1, 3) knight positions (211), g5 diagonal 3 (23).
        {
            const uint16_t* a = c1.get();
            const uint16_t* b = c2.get();
            const uint16_t* c = c3.get();
            int16_t* out = sm.get();
            int x = simd::Active().smoothRow(r0, a, b, c, width, out);
            for (; x < width - 3; ++x) {
                const int g0 = r0[x];
                const int g1 = r0[x - 2] + r0[x + 2] + b[x];
                const int g2 = b[x - 2] + b[x + 2];
                const int g3 = a[x - 1] + a[x + 1];
                const int g4 = a[x - 3] + a[x + 3] + c[x - 1] + c[x + 1];
                const int g5 = c[x - 3] + c[x + 3];
                out[x] = static_cast<int16_t>(
                    (2113 * g0 + 1056 * g1 + 540 * g2 + 1549 * g3 + 211 * g4 + 23 * g5) >> 14);
            }
        }
        // Three columns at each side: all 49 weights, columns clamped.
        auto border = [&](int x) {
            int s = 0;
            for (int dy = -3; dy <= 3; ++dy) {
                const uint8_t* row = src[y + dy];
                for (int dx = -3; dx <= 3; ++dx) {
                    const int cx = std::clamp(x + dx, 0, width - 1);
                    s += kKernel[dy + 3][dx + 3] * row[cx];
                }
            }
            sm[x] = static_cast<int16_t>(s >> 15);
        };
        for (int x = 0; x < std::min(3, width); ++x) border(x);
        for (int x = std::max(3, width - 3); x < width; ++x) border(x);

        const int phase = (y - 3) & 7;
        int16_t* mn = colMin.get();
        int16_t* mx = colMax.get();
        const int16_t* v = sm.get();
        if (phase == 0) {
            std::copy(v, v + width, mn);
            std::copy(v, v + width, mx);
        } else {
            for (int x = 0; x < width; ++x) {
                mn[x] = std::min(mn[x], v[x]);
                mx[x] = std::max(mx[x], v[x]);
            }
        }
        if (phase == 7 || y == height - 4) {
            const int64_t base = static_cast<int64_t>((y - 3) / 8) * bw;
            for (int bx = 0; bx < bw; ++bx) {
                const int x0 = bx * 8, x1 = std::min(width, x0 + 8);
                int l = mn[x0], h = mx[x0];
                for (int x = x0 + 1; x < x1; ++x) {
                    l = std::min<int>(l, mn[x]);
                    h = std::max<int>(h, mx[x]);
                }
                lo[base + bx] = l;
                hi[base + bx] = h;
            }
        }
    }
    // 3. Block thresholds, 0 where the contrast is too low to decide, in a
    // grid with a border of zeros so that every block has eight neighbours.
    const int pw = bw + 2;
    const int64_t padded = static_cast<int64_t>(pw) * (bh + 2);
    auto padA = ThresholdScratch<int32_t>(padded);
    auto padB = ThresholdScratch<int32_t>(padded);
    if (!padA || !padB) return 0;
    int32_t* cur = padA.get();
    int32_t* next = padB.get();
    std::fill(cur, cur + padded, 0);
    std::fill(next, next + padded, 0);
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            const int64_t b = static_cast<int64_t>(by) * bw + bx;
            cur[(by + 1) * static_cast<int64_t>(pw) + bx + 1] = hi[b] - lo[b] <= 40 ? 0 : (hi[b] + lo[b]) / 2;
        }
    const int64_t offsets[8] = {-pw - 1, -pw, -pw + 1, -1, 1, pw - 1, pw, pw + 1};
    // (sum + n / 2) / n for n = 2..9 by multiplication (sums stay far below
    // 2^24 / 81).
    uint64_t reciprocal[10] = {};
    for (int n = 2; n <= 9; ++n) reciprocal[n] = ((uint64_t{1} << 24) + n - 1) / n;
    auto spread = [&](const int32_t* grid, int64_t p, int32_t& value) {
        int sum = grid[p], n = grid[p] != 0;
        for (int64_t o : offsets) {
            const int v = grid[p + o];
            sum += v;
            n += v != 0;
        }
        if (n <= 1) return false;
        value = static_cast<int32_t>((static_cast<uint64_t>(sum + n / 2) * reciprocal[n]) >> 24);
        return true;
    };
    // 4. Spread: the first two passes renew every block from the rounded
    // mean of the non-zero values around it; later passes only fill blocks
    // still undetermined. Both buffers hold the same values afterwards.
    int pass = 0;
    bool changed = true;
    for (; pass < 2 && pass < 100 && changed; ++pass) {
        changed = false;
        for (int by = 0; by < bh; ++by)
            for (int bx = 0; bx < bw; ++bx) {
                const int64_t p = (by + 1) * static_cast<int64_t>(pw) + bx + 1;
                int32_t v = cur[p];
                spread(cur, p, v);
                next[p] = v;
                changed |= v != cur[p];
            }
        std::swap(cur, next);
    }
    if (changed) {
        std::vector<int64_t> open;
        for (int by = 0; by < bh; ++by)
            for (int bx = 0; bx < bw; ++bx) {
                const int64_t p = (by + 1) * static_cast<int64_t>(pw) + bx + 1;
                if (cur[p] == 0) open.push_back(p);
            }
        std::vector<std::pair<int64_t, int32_t>> filled;
        for (; pass < 100 && !open.empty(); ++pass) {
            filled.clear();
            size_t keep = 0;
            for (int64_t p : open) {
                int32_t v;
                if (spread(cur, p, v))
                    filled.push_back({p, v});
                else
                    open[keep++] = p;
            }
            open.resize(keep);
            if (filled.empty()) break;
            for (const auto& f : filled) cur[f.first] = f.second;
        }
    }
    // Blocks still undetermined take 128; back to an unpadded grid.
    int32_t* thresholds = lo.get();
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            const int32_t v = cur[(by + 1) * static_cast<int64_t>(pw) + bx + 1];
            thresholds[static_cast<int64_t>(by) * bw + bx] = v == 0 ? 128 : v;
        }

    // 5. Threshold the 1-2-1 weighted 3 x 3 sums of the original page.
    const int leftCol = width > 1 ? 1 : 0;
    const int rightCol = width > 1 ? width - 2 : 0;
    int thrRow = -1;
    for (int y = 1; y <= height - 2; ++y) {
        const uint8_t* a = src[y - 1];
        const uint8_t* m = src[y];
        const uint8_t* c = src[y + 1];
        uint16_t* col = c1.get();
        for (int x = 0; x < width; ++x) col[x] = static_cast<uint16_t>(a[x] + 2 * m[x] + c[x]);
        if (y / 8 != thrRow) {
            thrRow = y / 8;
            const int32_t* thr = thresholds + static_cast<int64_t>(thrRow) * bw;
            for (int x = 0; x < width; ++x) thr16[x] = static_cast<int16_t>(16 * thr[x >> 3]);
        }
        const int16_t* t = thr16.get();
        uint8_t* f = flags.get();
        const int16_t* cs = reinterpret_cast<const int16_t*>(col);
        f[0] = col[leftCol] + 2 * col[0] + col[width > 1 ? 1 : 0] < t[0];
        for (int x = 1; x < width - 1; ++x)
            f[x] = static_cast<int16_t>(cs[x - 1] + 2 * cs[x] + cs[x + 1]) < t[x];
        if (width > 1) f[width - 1] = col[width - 2] + 2 * col[width - 1] + col[rightCol] < t[width - 1];
        bitpack::PackFlags(f, width, dst[y]);
    }
    return 1;
}

// Engines with a threshold per pixel or per block: methods 2, 3, 6 and 8.
// Window sums come from running column sums and per-row prefix sums, which
// give exactly the sums of summed-area tables with scratch of a few rows.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "image/BitPack.h"
#include "image/ThresholdEngines.h"

namespace {

inline void SetBlack(BitRows dst, int x, int y) { dst[y][x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7)); }

template <typename T>
std::unique_ptr<T[]> Scratch(int64_t n) {
    if (n <= 0) n = 1;
    return std::unique_ptr<T[]>(new (std::nothrow) T[static_cast<size_t>(n)]);
}

}  // namespace

// ---------------------------------------------------------------- method 2

int CImgPro::Run(GrayRows src, int width, int height, BitRows dst) {
    const int r = 4;
    if (width < 17 || height < 18) return 1;  // no pixel has all eight points
    // Window means for rows 4 .. height - 6 and columns 4 .. width - 5,
    // integer means of the 81 values.
    auto means = Scratch<uint8_t>(static_cast<int64_t>(width) * height);
    auto colSum = Scratch<int32_t>(width);
    if (!means || !colSum) return 1;
    for (int x = 0; x < width; ++x) {
        int32_t s = 0;
        for (int k = 0; k <= 2 * r; ++k) s += src[k][x];
        colSum[x] = s;
    }
    for (int y = r; y <= height - 6; ++y) {
        if (y > r)
            for (int x = 0; x < width; ++x) colSum[x] += src[y + r][x] - src[y - r - 1][x];
        uint8_t* m = means.get() + static_cast<size_t>(y) * width;
        int32_t s = 0;
        for (int k = 0; k <= 2 * r; ++k) s += colSum[k];
        for (int x = r; x <= width - 5; ++x) {
            if (x > r) s += colSum[x + r] - colSum[x - r - 1];
            m[x] = static_cast<uint8_t>(s / 81);
        }
    }
    auto mean = [&](int x, int y) { return static_cast<int>(means[static_cast<size_t>(y) * width + x]); };
    for (int y = 8; y < height - 9; ++y) {
        const uint8_t* row = src[y];
        for (int x = 8; x < width - 8; ++x) {
            const int v = row[x];
            auto dark = [&](int dx, int dy) { return mean(x + dx, y + dy) - v > 20.0; };
            if ((dark(-r, 0) && dark(r, 0)) || (dark(0, -r) && dark(0, r))) {
                if ((dark(r, -r) && dark(-r, r)) || (dark(r, r) && dark(-r, -r))) SetBlack(dst, x, y);
            }
        }
    }
    return 1;
}

// ---------------------------------------------------------------- method 3

int CNiblackBinary::Run(GrayRows src, int width, int height, BitRows dst) {
    const int64_t n = static_cast<int64_t>(width) * height;
    auto copy = Scratch<uint8_t>(n);
    if (!copy) return 1;
    for (int y = 0; y < height; ++y) std::memcpy(copy.get() + static_cast<size_t>(y) * width, src[y], width);
    FlattenBackground(copy.get(), n);
    auto px = [&](int x, int y) { return static_cast<int>(copy[static_cast<size_t>(y) * width + x]); };

    if (width < 8 || height < 8) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (px(x, y) < 128) SetBlack(dst, x, y);
        return 1;
    }
    int r = width >= 17 ? 7 : (width - 1) / 2 - 1;
    if (height - 1 < 2 * r + 2) r = (height - 1) / 2 - 1;
    // The tables cover the first width - 1 columns and height - 1 rows.
    const int tw = width - 1, th = height - 1;

    if (r < 3 || static_cast<int64_t>(tw) * th < 500) {
        int64_t s = 0, s2 = 0;
        for (int y = 0; y < th; ++y)
            for (int x = 0; x < tw; ++x) {
                const int v = px(x, y);
                s += v;
                s2 += v * v / 256;
            }
        const int m = static_cast<uint8_t>(s / height / width);
        const double d = std::sqrt(std::fabs(static_cast<double>(s2 * 256 / height / width - m * m)));
        const int t = std::min(255, (m - static_cast<int>(0.2 * d)) & 255);
        for (int y = 0; y < th; ++y)
            for (int x = 0; x < tw; ++x)
                if (px(x, y) < t) SetBlack(dst, x, y);
        return 1;
    }

    // Per pixel: the (2r+1)^2 window centred on the pixel, its centre moved
    // inwards where the window would leave the tabulated area.
    const int side = 2 * r + 1;
    const int area = side * side;
    // trunc(0.2 sqrt(q)) for every possible |variance| q.
    const int maxQ = 256 * 256;
    std::vector<uint8_t> devTerm(maxQ + 1);
    for (int q = 0; q <= maxQ; ++q) devTerm[q] = static_cast<uint8_t>(0.2 * std::sqrt(static_cast<double>(q)));
    auto colSum = Scratch<int32_t>(tw);
    auto colSq = Scratch<int32_t>(tw);
    auto tSum = Scratch<int32_t>(tw);  // window sums per centre column
    auto tSq = Scratch<int32_t>(tw);
    if (!colSum || !colSq || !tSum || !tSq) return 1;
    int windowTop = -1;
    for (int y = 0; y < th; ++y) {
        const int cy = std::clamp(y, r, th - 1 - r);
        const int top = cy - r;
        if (top != windowTop) {
            if (windowTop < 0 || top != windowTop + 1) {
                for (int x = 0; x < tw; ++x) {
                    int32_t s = 0, q = 0;
                    for (int k = top; k < top + side; ++k) {
                        const int v = px(x, k);
                        s += v;
                        q += v * v / 256;
                    }
                    colSum[x] = s;
                    colSq[x] = q;
                }
            } else {
                const uint8_t* addRow = copy.get() + static_cast<size_t>(top + side - 1) * width;
                const uint8_t* subRow = copy.get() + static_cast<size_t>(windowTop) * width;
                for (int x = 0; x < tw; ++x) {
                    const int a = addRow[x], b = subRow[x];
                    colSum[x] += a - b;
                    colSq[x] += a * a / 256 - b * b / 256;
                }
            }
            windowTop = top;
            // Horizontal window sums for every centre column r .. tw - 1 - r.
            int32_t s = 0, q = 0;
            for (int k = 0; k < side; ++k) {
                s += colSum[k];
                q += colSq[k];
            }
            for (int cx = r; cx <= tw - 1 - r; ++cx) {
                if (cx > r) {
                    s += colSum[cx + r] - colSum[cx - r - 1];
                    q += colSq[cx + r] - colSq[cx - r - 1];
                }
                const int m = s / area;
                int var = q * 256 / area - m * m;
                if (var < 0) var = -var;
                const int t = (m - devTerm[std::min(var, maxQ)]) & 255;
                tSum[cx] = t;  // threshold of this centre column
            }
        }
        const uint8_t* row = copy.get() + static_cast<size_t>(y) * width;
        for (int x = 0; x < tw; ++x) {
            const int cx = std::clamp(x, r, tw - 1 - r);
            if (row[x] < tSum[cx]) SetBlack(dst, x, y);
        }
    }
    return 1;
}

// ---------------------------------------------------------------- method 6

namespace {

// The 7 x 7 smoothing kernel; row and column 3 are the centre.
const int kKernel[7][7] = {
    {23, 117, 211, 234, 211, 117, 23},
    {117, 540, 915, 1056, 915, 540, 117},
    {211, 915, 1549, 1807, 1549, 915, 211},
    {234, 1056, 1807, 2113, 1807, 1056, 234},
    {211, 915, 1549, 1807, 1549, 915, 211},
    {117, 540, 915, 1056, 915, 540, 117},
    {23, 117, 211, 234, 211, 117, 23},
};

}  // namespace

int BinarizeBlockMinMax(GrayRows src, int width, int height, BitRows dst) {
    const int bw = (width + 7) / 8, bh = (height + 7) / 8;
    const int64_t blocks = static_cast<int64_t>(bw) * bh;
    auto lo = Scratch<int32_t>(blocks);
    auto hi = Scratch<int32_t>(blocks);

    auto c1 = Scratch<uint16_t>(width);
    auto c2 = Scratch<uint16_t>(width);
    auto c3 = Scratch<uint16_t>(width);
    auto thr16 = Scratch<int16_t>(width);
    auto flags = Scratch<uint8_t>(width);
    if (!lo || !hi || !c1 || !c2 || !c3 || !thr16 || !flags) return 0;
    std::fill(lo.get(), lo.get() + blocks, 0);
    std::fill(hi.get(), hi.get() + blocks, 0);

    // 1-2. Smooth rows 3 .. height - 4 and record block minimum and maximum.
    // Per column minimum and maximum run over the 8 rows of a block row and
    // are folded into the blocks when the block row is complete.
    auto sm = Scratch<int16_t>(width);
    auto colMin = Scratch<int16_t>(width);
    auto colMax = Scratch<int16_t>(width);
    if (!sm || !colMin || !colMax) return 0;
    for (int y = 3; y <= height - 4; ++y) {
        const uint8_t* r0 = src[y];
        {
            const uint8_t *u1 = src[y - 1], *d1 = src[y + 1], *u2 = src[y - 2], *d2 = src[y + 2];
            const uint8_t *u3 = src[y - 3], *d3 = src[y + 3];
            uint16_t* a = c1.get();
            uint16_t* b = c2.get();
            uint16_t* c = c3.get();
            for (int x = 0; x < width; ++x) {
                a[x] = static_cast<uint16_t>(u1[x] + d1[x]);
                b[x] = static_cast<uint16_t>(u2[x] + d2[x]);
                c[x] = static_cast<uint16_t>(u3[x] + d3[x]);
            }
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
            int x = 3;
#if defined(__SSE2__)
            const __m128i zero = _mm_setzero_si128();
            const __m128i k01 = _mm_set1_epi32((1056 << 16) | 2113);
            const __m128i k23 = _mm_set1_epi32((1549 << 16) | 540);
            const __m128i k45 = _mm_set1_epi32((23 << 16) | 211);
            auto bytes = [&](const uint8_t* p) {
                return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
            };
            auto words = [](const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
            for (; x + 8 <= width - 3; x += 8) {
                const __m128i g0 = bytes(r0 + x);
                const __m128i g1 = _mm_add_epi16(_mm_add_epi16(bytes(r0 + x - 2), bytes(r0 + x + 2)), words(b + x));
                const __m128i g2 = _mm_add_epi16(words(b + x - 2), words(b + x + 2));
                const __m128i g3 = _mm_add_epi16(words(a + x - 1), words(a + x + 1));
                const __m128i g4 = _mm_add_epi16(_mm_add_epi16(words(a + x - 3), words(a + x + 3)),
                                                 _mm_add_epi16(words(c + x - 1), words(c + x + 1)));
                const __m128i g5 = _mm_add_epi16(words(c + x - 3), words(c + x + 3));
                const __m128i lo = _mm_add_epi32(
                    _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(g0, g1), k01),
                                  _mm_madd_epi16(_mm_unpacklo_epi16(g2, g3), k23)),
                    _mm_madd_epi16(_mm_unpacklo_epi16(g4, g5), k45));
                const __m128i hi = _mm_add_epi32(
                    _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(g0, g1), k01),
                                  _mm_madd_epi16(_mm_unpackhi_epi16(g2, g3), k23)),
                    _mm_madd_epi16(_mm_unpackhi_epi16(g4, g5), k45));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                                 _mm_packs_epi32(_mm_srai_epi32(lo, 14), _mm_srai_epi32(hi, 14)));
            }
#endif
            for (; x < width - 3; ++x) {
                const int g0 = r0[x];
                const int g1 = r0[x - 2] + r0[x + 2] + b[x];
                const int g2 = b[x - 2] + b[x + 2];
                const int g3 = a[x - 1] + a[x + 1];
                const int g4 = a[x - 3] + a[x + 3] + c[x - 1] + c[x + 1];
                const int g5 = c[x - 3] + c[x + 3];
                out[x] = static_cast<int16_t>((2113 * g0 + 1056 * g1 + 540 * g2 + 1549 * g3 + 211 * g4 + 23 * g5) >> 14);
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
    auto padA = Scratch<int32_t>(padded);
    auto padB = Scratch<int32_t>(padded);
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

// ---------------------------------------------------------------- method 8

int BinarizeAdaptiveBackground(GrayRows src, int width, int height, BitRows dst) {
    if (width <= 0 || height <= 0) return 0;
    const int half = 20;
    const int64_t n = static_cast<int64_t>(width) * height;
    auto fg = Scratch<uint8_t>(n);
    auto surface = Scratch<uint8_t>(n);
    auto colA = Scratch<int64_t>(width);
    auto colB = Scratch<int64_t>(width);
    auto preA = Scratch<int64_t>(width + 1);
    auto preB = Scratch<int64_t>(width + 1);
    if (!fg || !surface || !colA || !colB || !preA || !preB) return 0;

    // Runs f(row, x) -> (a, b) column sums over the rows within +-half of y
    // (clipped) and calls g(y, x, windowA, windowB, windowPixels).
    auto slide = [&](auto valueA, auto valueB, auto use) {
        std::fill(colA.get(), colA.get() + width, 0);
        std::fill(colB.get(), colB.get() + width, 0);
        for (int k = 0; k <= std::min(half, height - 1); ++k)
            for (int x = 0; x < width; ++x) {
                colA[x] += valueA(x, k);
                colB[x] += valueB(x, k);
            }
        for (int y = 0; y < height; ++y) {
            if (y > 0) {
                const int add = y + half, sub = y - half - 1;
                if (add < height)
                    for (int x = 0; x < width; ++x) {
                        colA[x] += valueA(x, add);
                        colB[x] += valueB(x, add);
                    }
                if (sub >= 0)
                    for (int x = 0; x < width; ++x) {
                        colA[x] -= valueA(x, sub);
                        colB[x] -= valueB(x, sub);
                    }
            }
            preA[0] = preB[0] = 0;
            for (int x = 0; x < width; ++x) {
                preA[x + 1] = preA[x] + colA[x];
                preB[x + 1] = preB[x] + colB[x];
            }
            const int rowsIn = std::min(height - 1, y + half) - std::max(0, y - half) + 1;
            for (int x = 0; x < width; ++x) {
                const int x0 = std::max(0, x - half), x1 = std::min(width, x + half + 1);
                use(y, x, preA[x1] - preA[x0], preB[x1] - preB[x0], static_cast<int64_t>(rowsIn) * (x1 - x0));
            }
        }
    };

    // 1. Sauvola pre-binarisation.
    slide([&](int x, int y) -> int64_t { return src[y][x]; },
          [&](int x, int y) -> int64_t { return static_cast<int64_t>(src[y][x]) * src[y][x]; },
          [&](int y, int x, int64_t s, int64_t q, int64_t cnt) {
              const double m = static_cast<double>(s) / cnt;
              const double var = static_cast<double>(q) / cnt - m * m;
              const double sd = var > 0 ? std::sqrt(var) : 0.0;
              const double t = m * (1 + 0.2 * (sd / 128 - 1));
              fg[static_cast<size_t>(y) * width + x] = t > src[y][x] ? 1 : 0;
          });
    // 2. Background surface from the background pixels around each pixel.
    int64_t foreground = 0, background = 0, bgSum = 0, excess = 0;
    slide([&](int x, int y) -> int64_t { return fg[static_cast<size_t>(y) * width + x] ? 0 : src[y][x]; },
          [&](int x, int y) -> int64_t { return fg[static_cast<size_t>(y) * width + x] ? 0 : 1; },
          [&](int y, int x, int64_t s, int64_t cnt, int64_t) {
              const size_t i = static_cast<size_t>(y) * width + x;
              const int v = src[y][x];
              int b;
              if (!fg[i]) {
                  b = v;
                  ++background;
                  bgSum += v;
              } else {
                  b = cnt > 0 ? static_cast<int>(s / cnt) : 0;
                  ++foreground;
              }
              surface[i] = static_cast<uint8_t>(b);
              excess += b - v;
          });
    // A page without foreground or without background has nothing to
    // separate: it stays white.
    if (foreground == 0 || background == 0) return 1;
    // 3-4. Final threshold, a function of the surface value only.
    const double delta = static_cast<double>(excess) / foreground;
    const double meanBg = std::max(static_cast<double>(bgSum) / background, 1e-9);
    const double p1 = 0.5, p2 = 0.8, q = 0.7;
    double limit[256];
    for (int b = 0; b < 256; ++b)
        limit[b] = q * delta * ((1 - p2) / (1 + std::exp(-4.0 * b / (meanBg * (1 - p1)) + 2 * (1 + p1) / (1 - p1))) + p2);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = src[y];
        const uint8_t* srow = surface.get() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x)
            if (srow[x] - row[x] > limit[srow[x]]) SetBlack(dst, x, y);
    }
    return 1;
}

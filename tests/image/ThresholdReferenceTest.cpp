// The fast engines against plain transcriptions of their definitions on
// irregular pages: every bit must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "image/GrayToBinary.h"
#include "image/PixelTestUtil.h"
#include "image/SimdTierTest.h"
#include "image/ThresholdEngines.h"

namespace {

MORVANE_TIER_SUITE(ThresholdReference);

using Plane = std::vector<std::vector<int>>;

Plane ToPlane(const CRawImage& img) {
    Plane p(img.height, std::vector<int>(img.width));
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) p[y][x] = img.Row(y)[x];
    return p;
}

// Paper with a ramp, blotches, strokes and noise.
CRawImage Irregular(int w, int h, uint32_t start) {
    std::mt19937 rng(start);
    std::uniform_int_distribution<int> noise(-12, 12);
    return pixeltest::Gray(w, h, [&](int x, int y) {
        int v = 150 + (x * 70) / w + (y % 23 < 2 ? -90 : 0) + ((x / 5 + y / 7) % 6 == 0 ? -110 : 0);
        if ((x - w / 3) * (x - w / 3) + (y - h / 2) * (y - h / 2) < 60) v = 250;
        return std::clamp(v + noise(rng), 0, 255);
    });
}

Plane Flattened(const CRawImage& img) {
    std::vector<uint8_t> buf(static_cast<size_t>(img.width) * img.height);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) buf[static_cast<size_t>(y) * img.width + x] = img.Row(y)[x];
    FlattenBackground(buf.data(), static_cast<int64_t>(buf.size()));
    Plane p(img.height, std::vector<int>(img.width));
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) p[y][x] = buf[static_cast<size_t>(y) * img.width + x];
    return p;
}

using Bits = std::vector<std::vector<bool>>;

Bits RunMethod(CRawImage& src, int method) {
    CRawImage dst;
    CGrayToBinary conv(&src);
    conv.method = method;
    conv.Process(dst);
    Bits b(src.height, std::vector<bool>(src.width));
    for (int y = 0; y < src.height; ++y)
        for (int x = 0; x < src.width; ++x) b[y][x] = pixeltest::Bit(dst, x, y);
    return b;
}

Bits NiblackReference(const CRawImage& img) {
    const int w = img.width, h = img.height;
    Plane v = Flattened(img);
    Bits out(h, std::vector<bool>(w));
    if (w < 8 || h < 8) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) out[y][x] = v[y][x] < 128;
        return out;
    }
    int r = w >= 17 ? 7 : (w - 1) / 2 - 1;
    if (h - 1 < 2 * r + 2) r = (h - 1) / 2 - 1;
    const int tw = w - 1, th = h - 1;
    if (r < 3 || tw * th < 500) {
        long s = 0, s2 = 0;
        for (int y = 0; y < th; ++y)
            for (int x = 0; x < tw; ++x) {
                s += v[y][x];
                s2 += v[y][x] * v[y][x] / 256;
            }
        const int m = static_cast<uint8_t>(s / h / w);
        const double d = std::sqrt(std::fabs(static_cast<double>(s2 * 256 / h / w - m * m)));
        const int t = std::min(255, ((m - static_cast<int>(0.2 * d)) % 256 + 256) % 256);
        for (int y = 0; y < th; ++y)
            for (int x = 0; x < tw; ++x) out[y][x] = v[y][x] < t;
        return out;
    }
    const int side = 2 * r + 1;
    for (int y = 0; y < th; ++y)
        for (int x = 0; x < tw; ++x) {
            const int cy = std::clamp(y, r, th - 1 - r), cx = std::clamp(x, r, tw - 1 - r);
            long s = 0, s2 = 0;
            for (int yy = cy - r; yy <= cy + r; ++yy)
                for (int xx = cx - r; xx <= cx + r; ++xx) {
                    s += v[yy][xx];
                    s2 += v[yy][xx] * v[yy][xx] / 256;
                }
            const int m = static_cast<int>(s / (side * side));
            const double d = std::sqrt(std::fabs(static_cast<double>(s2 * 256 / (side * side) - m * m)));
            const int t = std::min(255, ((m - static_cast<int>(0.2 * d)) % 256 + 256) % 256);
            out[y][x] = v[y][x] < t;
        }
    return out;
}

Bits BlockReference(const CRawImage& img) {
    static const int K[4][4] = {
        {23, 117, 211, 234}, {117, 540, 915, 1056}, {211, 915, 1549, 1807}, {234, 1056, 1807, 2113}};
    auto weight = [](int dy, int dx) { return K[3 - std::abs(dy)][3 - std::abs(dx)]; };
    const int w = img.width, h = img.height;
    Plane v = ToPlane(img);
    const int bw = (w + 7) / 8, bh = (h + 7) / 8;
    std::vector<int> lo(bw * bh, 0), hi(bw * bh, 0), seen(bw * bh, 0);
    for (int y = 3; y <= h - 4; ++y)
        for (int x = 0; x < w; ++x) {
            long s = 0;
            const bool border = x < 3 || x >= w - 3;
            for (int dy = -3; dy <= 3; ++dy)
                for (int dx = -3; dx <= 3; ++dx) {
                    if (!border && ((dy + dx) & 1)) continue;
                    s += weight(dy, dx) * v[y + dy][std::clamp(x + dx, 0, w - 1)];
                }
            const int sm = static_cast<int>(border ? s >> 15 : s >> 14);
            const int b = ((y - 3) / 8) * bw + x / 8;
            if (!seen[b]) {
                seen[b] = 1;
                lo[b] = hi[b] = sm;
            } else {
                lo[b] = std::min(lo[b], sm);
                hi[b] = std::max(hi[b], sm);
            }
        }
    std::vector<int> cur(bw * bh), next(bw * bh);
    for (int b = 0; b < bw * bh; ++b) cur[b] = hi[b] - lo[b] <= 40 ? 0 : (hi[b] + lo[b]) / 2;
    for (int pass = 0; pass < 100; ++pass) {
        bool changed = false;
        for (int by = 0; by < bh; ++by)
            for (int bx = 0; bx < bw; ++bx) {
                const int b = by * bw + bx;
                next[b] = cur[b];
                if (pass >= 2 && cur[b]) continue;
                int s = 0, n = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int ny = by + dy, nx = bx + dx;
                        if (ny < 0 || nx < 0 || ny >= bh || nx >= bw || !cur[ny * bw + nx]) continue;
                        s += cur[ny * bw + nx];
                        ++n;
                    }
                if (n > 1) next[b] = (s + n / 2) / n;
                changed |= next[b] != cur[b];
            }
        cur.swap(next);
        if (!changed) break;
    }
    Bits out(h, std::vector<bool>(w));
    for (int y = 1; y <= h - 2; ++y)
        for (int x = 0; x < w; ++x) {
            const int l = x == 0 ? std::min(1, w - 1) : x - 1;
            const int r = x == w - 1 ? std::max(w - 2, 0) : x + 1;
            int s = 0;
            const int rowsW[3] = {1, 2, 1};
            for (int k = 0; k < 3; ++k) {
                const auto& row = v[y - 1 + k];
                s += rowsW[k] * (row[l] + 2 * row[x] + row[r]);
            }
            const int t = cur[(y / 8) * bw + x / 8] ? cur[(y / 8) * bw + x / 8] : 128;
            out[y][x] = s < 16 * t;
        }
    return out;
}

Bits AdaptiveReference(const CRawImage& img) {
    const int w = img.width, h = img.height;
    Plane v = ToPlane(img);
    std::vector<std::vector<bool>> fg(h, std::vector<bool>(w));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double s = 0, q = 0;
            int n = 0;
            for (int yy = std::max(0, y - 20); yy <= std::min(h - 1, y + 20); ++yy)
                for (int xx = std::max(0, x - 20); xx <= std::min(w - 1, x + 20); ++xx) {
                    s += v[yy][xx];
                    q += v[yy][xx] * v[yy][xx];
                    ++n;
                }
            const double m = s / n, sd = std::sqrt(std::max(0.0, q / n - m * m));
            fg[y][x] = m * (1 + 0.2 * (sd / 128 - 1)) > v[y][x];
        }
    Plane b(h, std::vector<int>(w));
    long nf = 0, nb = 0, bgSum = 0, excess = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!fg[y][x]) {
                b[y][x] = v[y][x];
                ++nb;
                bgSum += v[y][x];
            } else {
                long s = 0, n = 0;
                for (int yy = std::max(0, y - 20); yy <= std::min(h - 1, y + 20); ++yy)
                    for (int xx = std::max(0, x - 20); xx <= std::min(w - 1, x + 20); ++xx)
                        if (!fg[yy][xx]) {
                            s += v[yy][xx];
                            ++n;
                        }
                b[y][x] = n ? static_cast<int>(s / n) : 0;
                ++nf;
            }
            excess += b[y][x] - v[y][x];
        }
    Bits out(h, std::vector<bool>(w));
    if (!nf || !nb) return out;
    const double delta = static_cast<double>(excess) / nf, mb = static_cast<double>(bgSum) / nb;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double d = 0.7 * delta * (0.2 / (1 + std::exp(-4.0 * b[y][x] / (mb * 0.5) + 6)) + 0.8);
            out[y][x] = b[y][x] - v[y][x] > d;
        }
    return out;
}

int Differences(const Bits& a, const Bits& b) {
    int n = 0;
    for (size_t y = 0; y < a.size(); ++y)
        for (size_t x = 0; x < a[y].size(); ++x) n += a[y][x] != b[y][x];
    return n;
}

struct PageSize {
    int w, h;
};
const PageSize kSizes[] = {{97, 61}, {64, 64},  {30, 90}, {16, 12}, {9, 40},
                           {7, 7},   {120, 33}, {5, 9},   {1, 17},  {23, 1}};

TEST_P(ThresholdReference, NiblackMatchesDirectWindows) {
    uint32_t start = 100;
    for (const PageSize& s : kSizes) {
        CRawImage img = Irregular(s.w, s.h, start++);
        EXPECT_EQ(Differences(RunMethod(img, 3), NiblackReference(img)), 0) << s.w << "x" << s.h;
    }
}

TEST_P(ThresholdReference, BlockMethodMatchesDirectKernel) {
    uint32_t start = 200;
    for (const PageSize& s : kSizes) {
        CRawImage img = Irregular(s.w, s.h, start++);
        EXPECT_EQ(Differences(RunMethod(img, 6), BlockReference(img)), 0) << s.w << "x" << s.h;
    }
}

TEST_P(ThresholdReference, BlockMethodSpreadsAcrossWideMargins) {
    // Textured patches in two corners of a flat page: the thresholds of the
    // flat blocks come from many spreading passes.
    uint32_t start = 250;
    for (const PageSize& s : {PageSize{200, 150}, PageSize{97, 301}}) {
        CRawImage tex = Irregular(s.w, s.h, start++);
        CRawImage img = pixeltest::Gray(s.w, s.h, [&](int x, int y) {
            const bool patch = (x < 20 && y < 24) || (x >= s.w - 12 && y >= s.h - 30);
            return patch ? tex.Row(y)[x] : 150 + (x + y) % 3;
        });
        EXPECT_EQ(Differences(RunMethod(img, 6), BlockReference(img)), 0) << s.w << "x" << s.h;
    }
}

TEST_P(ThresholdReference, AdaptiveBackgroundMatchesDirectWindows) {
    uint32_t start = 300;
    for (const PageSize& s : kSizes) {
        CRawImage img = Irregular(s.w, s.h, start++);
        // Window means in floating point may differ in the last bit from the
        // plain sums on exact ties; allow none on these pages.
        EXPECT_EQ(Differences(RunMethod(img, 8), AdaptiveReference(img)), 0) << s.w << "x" << s.h;
    }
}

// Background flattening levels worked out by hand from the rule: dark level
// D from level 100 up, top quarter U, bright level W and the level S below
// it, then the cut F from the tight (/8) or the spread (/5) formula.
TEST(ThresholdFlatten, LevelsWorkedByHand) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, int64_t>> counts;  // level, pixels
        int cut, white;
    } cases[] = {
        // D 180, U 230, W 230, S 229, no spread: (180 + 201 + 1380) / 8.
        {"tight background", {{230, 9000}, {40, 1000}}, 220, 230},
        // D 180, U 250, W 250: (180 + 209 + 1500) / 8.
        {"two bright halves", {{200, 5000}, {250, 5000}}, 236, 250},
        // D 180, U 240, W 230, S 219, a / c = 10: (180 + 201 + 690) / 5.
        {"spread background", {{240, 3000}, {220, 3000}, {60, 4000}}, 214, 230},
        // 50 pixels: D 100, W = S = 239, c <= 100: (100 + 141 + 717) / 5.
        {"few pixels", {{240, 50}}, 191, 239},
        // Everything at level 20: D 100, W 20, F = 31 raised to 128.
        {"dark page", {{20, 10000}}, 128, 20},
    };
    for (const Case& c : cases) {
        int64_t h[256] = {};
        for (const auto& [level, n] : c.counts) h[level] += n;
        const FlattenLevels f = FlattenFromHistogram(h);
        EXPECT_EQ(f.cut, c.cut) << c.name;
        EXPECT_EQ(f.white, c.white) << c.name;
    }
}

// Method 7 from its definition: Otsu's threshold of the flattened page,
// black below it.
Bits OtsuReference(const CRawImage& img) {
    Plane v = Flattened(img);
    long h[256] = {};
    for (auto& row : v)
        for (int p : row) ++h[p];
    double value[256];
    long total = 0;
    double tw = 0;
    for (int l = 0; l < 256; ++l) {
        total += h[l];
        tw += static_cast<double>(l) * h[l];
    }
    long c0 = 0;
    double s0 = 0;
    for (int t = 0; t < 256; ++t) {
        c0 += h[t];
        s0 += static_cast<double>(t) * h[t];
        const long c1 = total - c0;
        const double m0 = c0 ? s0 / c0 : 0, m1 = c1 ? (tw - s0) / c1 : 0;
        value[t] = (m0 - m1) * (m0 - m1) * c0 * c1;
    }
    int t = 128;
    double best = value[128];
    const double lo = *std::min_element(value, value + 256), hi = *std::max_element(value, value + 256);
    if (hi - lo > 1e-6)
        for (int l = 0; l < 256; ++l)
            if (value[l] > best) {
                best = value[l];
                t = l;
            }
    Bits want(img.height, std::vector<bool>(img.width));
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) want[y][x] = v[y][x] < t;
    return want;
}

TEST_P(ThresholdReference, OtsuMatchesFlattenedHistogram) {
    uint32_t start = 400;
    for (const PageSize& s : kSizes) {
        CRawImage img = Irregular(s.w, s.h, start++);
        EXPECT_EQ(Differences(RunMethod(img, 7), OtsuReference(img)), 0) << s.w << "x" << s.h;
    }
}

// Dark pages (every level below 128) keep levels between their white level
// and the cut, so Otsu's threshold can land above the white level: black is
// then decided per flattened level rather than by one cut of the source.
TEST_P(ThresholdReference, OtsuOnDarkPagesMatchesFlattenedHistogram) {
    uint32_t start = 700;
    for (const PageSize& s : kSizes) {
        std::mt19937 rng(start++);
        std::uniform_int_distribution<int> noise(0, 20);
        CRawImage img = pixeltest::Gray(s.w, s.h, [&](int x, int y) {
            const int v = ((x / 3 + y / 2) % 4 == 0 ? 10 : 60 + (x * 40) / std::max(s.w, 1)) + noise(rng);
            return std::min(v, 127);
        });
        EXPECT_EQ(Differences(RunMethod(img, 7), OtsuReference(img)), 0) << s.w << "x" << s.h;
    }
}

}  // namespace

namespace {

// Wide and tall pages with saturated areas: full black and full white windows push the
// window sums of levels and squares to their largest values, and the widths
// leave every remainder after the four-column steps.
TEST_P(ThresholdReference, NiblackOnWidePagesWithSaturatedAreas) {
    uint32_t start = 500;
    for (const PageSize& s :
         {PageSize{301, 40}, PageSize{258, 37}, PageSize{131, 29}, PageSize{400, 19}, PageSize{90, 131}}) {
        CRawImage tex = Irregular(s.w, s.h, start++);
        CRawImage img = pixeltest::Gray(s.w, s.h, [&](int x, int y) {
            if (x < s.w / 4) return 255;
            if (x < s.w / 3 && y < s.h / 2) return 0;
            if ((x / 20 + y / 9) % 3 == 0) return (x * 7 + y) % 2 ? 255 : 0;
            return static_cast<int>(tex.Row(y)[x]);
        });
        EXPECT_EQ(Differences(RunMethod(img, 3), NiblackReference(img)), 0) << s.w << "x" << s.h;
        EXPECT_EQ(Differences(RunMethod(img, 8), AdaptiveReference(img)), 0) << s.w << "x" << s.h;
    }
}

}  // namespace

namespace {

// White paper with isolated dark dots further apart than a window: the
// window around each dot holds up to 1680 background pixels at 255, the
// largest background sums and counts the adaptive-background windows reach.
TEST_P(ThresholdReference, AdaptiveBackgroundOnWhitePagesWithIsolatedDots) {
    for (const PageSize& s : {PageSize{150, 130}, PageSize{97, 203}, PageSize{261, 45}}) {
        CRawImage img = pixeltest::Gray(s.w, s.h, [&](int x, int y) {
            if (x % 47 == 23 && y % 43 == 21) return 0;
            if (x % 47 == 24 && y % 43 == 21) return 40;
            return 255;
        });
        const Bits want = AdaptiveReference(img);
        int black = 0;
        for (const auto& row : want) black += static_cast<int>(std::count(row.begin(), row.end(), true));
        EXPECT_GT(black, 0) << s.w << "x" << s.h;
        EXPECT_EQ(Differences(RunMethod(img, 8), want), 0) << s.w << "x" << s.h;
    }
}

}  // namespace

// Engines that decide one threshold for the whole page: methods 0, 1, 5 and
// 7, and the background flattening shared with method 3.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "image/BitPack.h"
#include "image/BitPixels.h"
#include "image/ThresholdEngines.h"

void BinarizeBelow(GrayRows src, int width, int height, BitRows dst, int threshold) {
    if (threshold <= 0) return;
    for (int y = 0; y < height; ++y) bitpack::PackBelow(src[y], width, threshold, dst[y]);
}

namespace {}  // namespace

void GrayHistogram(GrayRows src, int width, int height, int64_t hist[256]) {
    // Four partial tables keep consecutive equal pixels from waiting on
    // each other's increments. They are cleared and added into hist once per
    // block of rows: a block holds at most 2^30 pixels, so no 32-bit count
    // overflows (a single row of any width adds under 2^30 to one table).
    static thread_local uint32_t part[4][256];
    std::fill(hist, hist + 256, 0);
    if (width <= 0 || height <= 0) return;
    const int64_t blockRows = std::max<int64_t>(1, (int64_t(1) << 30) / width);
    for (int64_t y0 = 0; y0 < height; y0 += blockRows) {
        const int y1 = static_cast<int>(std::min<int64_t>(height, y0 + blockRows));
        std::fill(&part[0][0], &part[0][0] + 4 * 256, 0u);
        for (int y = static_cast<int>(y0); y < y1; ++y) {
            const uint8_t* in = src[y];
            int x = 0;
            for (; x + 4 <= width; x += 4) {
                ++part[0][in[x]];
                ++part[1][in[x + 1]];
                ++part[2][in[x + 2]];
                ++part[3][in[x + 3]];
            }
            for (; x < width; ++x) ++part[0][in[x]];
        }
        for (int l = 0; l < 256; ++l)
            hist[l] += int64_t(part[0][l]) + int64_t(part[1][l]) + int64_t(part[2][l]) + int64_t(part[3][l]);
    }
}

namespace {

void Histogram(GrayRows src, int width, int height, int64_t hist[256]) {
    GrayHistogram(src, width, height, hist);
}

// Histogram of run lengths of pixels darker than t along the rows, the
// counter running on across row ends. A run (of any length, 0 included) is
// counted each time a pixel not darker than t ends it; longer runs than 255
// count as 255.
void RunLengths(GrayRows src, int width, int height, int t, int64_t hist[256]) {
    std::fill(hist, hist + 256, 0);
    int64_t run = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = src[y];
        for (int x = 0; x < width; ++x) {
            if (in[x] < t) {
                ++run;
            } else {
                ++hist[run > 255 ? 255 : run];
                run = 0;
            }
        }
    }
}

// Most frequent run length from 2 up; the search carries on from an earlier
// maximum (best, mode), replacing it only by a strictly larger count.
void RunMode(const int64_t hist[256], int64_t& best, int& mode) {
    for (int l = 2; l < 256; ++l)
        if (hist[l] > best) {
            best = hist[l];
            mode = l;
        }
}

// Otsu's between-class criterion (muT w - mu)^2 / (w (1 - w)) over the
// levels [0, levels) of hist with total n. Levels where w (1 - w) is 0 are
// skipped unless zeroCounts, in which case they score 0. With higherOnTies
// an equal value moves the answer up. Returns `start` when no level scores
// above `startValue` (or reaches it, with higherOnTies).
int OtsuCriterion(const int64_t* hist, int levels, int64_t n, bool higherOnTies, bool zeroCounts,
                  double startValue, int start) {
    if (n <= 0) return start;
    double muT = 0;
    for (int i = 0; i < levels; ++i) muT += static_cast<double>(i) * hist[i] / n;
    int64_t cum = 0;
    double mu = 0;
    double best = startValue;
    int result = start;
    for (int t = 0; t < levels; ++t) {
        cum += hist[t];
        mu += static_cast<double>(t) * hist[t] / n;
        double value;
        if (cum <= 0 || cum >= n) {
            if (!zeroCounts) continue;
            value = 0;
        } else {
            const double w = static_cast<double>(cum) / n;
            const double num = muT * w - mu;
            value = num * num / (w * (1 - w));
        }
        if (value > best || (higherOnTies && value == best)) {
            best = value;
            result = t;
        }
    }
    return result;
}

}  // namespace

FlattenLevels FlattenFromHistogram(const int64_t h[256]) {
    int64_t n = 0;
    for (int l = 0; l < 256; ++l) n += h[l];
    FlattenLevels out;
    if (n <= 0) return out;

    // Dark level: the darkest 2 % counted from level 100 up.
    int64_t sum = 0, weighted = 0;
    for (int l = 100; l < 256; ++l) {
        sum += h[l];
        weighted += static_cast<int64_t>(l) * h[l];
        if (sum * 50 >= n) break;
    }
    const int64_t dark = sum > 100 ? std::min<int64_t>(180, weighted / sum) : 100;

    // Top quarter from 255 down; its last level is U.
    sum = 0;
    int upper = 255;
    for (int l = 255; l >= 0; --l) {
        sum += h[l];
        upper = l;
        if (sum * 4 >= n) break;
    }
    // Bright half from U down; S is the level below the last one added.
    sum = 0;
    weighted = 0;
    int last = upper;
    for (int l = upper; l >= 0; --l) {
        sum += h[l];
        weighted += static_cast<int64_t>(l) * h[l];
        last = l;
        if (sum * 2 >= n) break;
    }
    const int s = last - 1;
    int64_t white = sum > 100 ? weighted / sum : s;
    white = std::clamp<int64_t>(white, 0, 255);

    int64_t c = 0, a = 0;
    for (int l = std::max(s, 0); l <= upper; ++l) {
        c += h[l];
        a += h[l] * std::llabs(l - white);
    }
    const int64_t dw = std::max<int64_t>(1, dark + white);
    int64_t f;
    if (c > 100 && a < 5 * c)
        f = (dark + 2 * dark * white / dw + 6 * white) / 8;
    else
        f = (dark + 2 * dark * white / dw + 3 * white) / 5;
    out.cut = static_cast<int>(std::max<int64_t>(f, 128));
    out.white = static_cast<int>(white);
    return out;
}

void FlattenTable(const FlattenLevels& levels, uint8_t table[256]) {
    for (int v = 0; v < 256; ++v) table[v] = static_cast<uint8_t>(v > levels.cut ? levels.white : v);
}

void FlattenBackground(uint8_t* pixels, int64_t count) {
    if (count <= 0) return;
    int64_t h[256] = {};
    for (int64_t i = 0; i < count; ++i) ++h[pixels[i]];
    uint8_t table[256];
    FlattenTable(FlattenFromHistogram(h), table);
    for (int64_t i = 0; i < count; ++i) pixels[i] = table[pixels[i]];
}

int CPercentileThreshold::Run(GrayRows src, int width, int height, BitRows dst) {
    int64_t h[256] = {};
    if (height - 100 > 100 && width - 100 > 100) {
        for (int y = 100; y <= height - 101; ++y)
            for (int x = 100; x <= width - 101; ++x) ++h[src[y][x]];
    }
    int mode = 0;
    for (int l = 1; l < 256; ++l)
        if (h[l] > h[mode]) mode = l;
    const int64_t limit = static_cast<int64_t>(width - 200) * (height - 200) / 33;
    const int step = mode < 100 ? -1 : 1;
    int level = mode < 100 ? 255 : 0;
    int64_t sum = 0;
    for (;; level += step) {
        sum += h[level];
        if (sum > limit || std::abs(level - mode) < 20 || level == mode) break;
    }
    threshold = level;
    BinarizeBelow(src, width, height, dst, threshold);
    return 1;
}

int CConThld::Run(GrayRows src, int width, int height, BitRows dst) {
    // Edge-crossing histogram: every level a falling step crosses, from the
    // left and from the upper neighbour, counted through a difference array.
    int64_t diff[258] = {};
    const int my = height * 5 / 100, mx = width * 5 / 100;
    for (int y = my + 1; y <= height - my - 1; ++y) {
        const uint8_t* row = src[y];
        const uint8_t* up = src[y - 1];
        for (int x = mx + 1; x <= width - mx - 1; ++x) {
            const int v = row[x];
            const int l = row[x - 1];
            const int u = up[x];
            if (v < l) {
                ++diff[v + 1];
                --diff[l + 1];
            }
            if (v < u) {
                ++diff[v + 1];
                --diff[u + 1];
            }
        }
    }
    int64_t hist[256];
    int64_t running = 0, peak = 0;
    for (int l = 0; l < 256; ++l) {
        running += diff[l];
        hist[l] = running;
        peak = std::max(peak, running);
    }

    int t = -1;
    if (peak > 0) {
        // Flatness of the histogram around each level.
        double score[256] = {};
        const double scale = peak * 0.3;
        for (int i = 11; i <= 245; ++i) {
            int64_t dev = 0;
            for (int j = i - 10; j <= i + 10; ++j) dev += std::llabs(hist[i] - hist[j]);
            const double s = dev / scale;
            score[i] = 1000.0 * std::exp(-0.5 * s * s);
        }
        // Segments of at least 100, narrowed to their top tenth.
        struct Segment {
            int start, end;
        };
        std::vector<Segment> segments;
        for (int j = 11; j <= 245; ++j) {
            if (score[j] < 100 || (j > 11 && score[j - 1] >= 100)) continue;
            int e = j;
            while (e + 1 <= 245 && score[e + 1] >= 100) ++e;
            double top = 0;
            for (int k = j; k <= e; ++k) top = std::max(top, score[k]);
            const double limit = 0.9 * top;
            int a = j, b = e;
            while (b > a && score[b] <= limit) --b;
            while (a < b && score[a] <= limit) ++a;
            if (!segments.empty() && a - segments.back().end < 20)
                segments.back().end = b;
            else
                segments.push_back({a, b});
            j = e;
        }
        std::vector<int> peaks;
        for (const Segment& seg : segments) {
            int best = seg.end;
            for (int k = seg.end - 1; k >= std::max(seg.start, seg.end - 39); --k)
                if (score[k] > score[best]) best = k;
            peaks.push_back(best);
        }
        if (!peaks.empty()) {
            int64_t e = 0;
            for (int p : peaks) e = std::max(e, hist[p]);
            e /= 10;
            if (peaks.size() > 1 && (hist[peaks.back()] < e || peaks.back() > 235)) peaks.pop_back();
            if (!peaks.empty() && (hist[peaks.front()] < e || peaks.front() < 60)) peaks.erase(peaks.begin());
            if (!peaks.empty() && peaks.back() > 219) peaks.pop_back();
        }
        if (peaks.size() == 1) {
            t = peaks[0];
        } else if (peaks.size() > 1) {
            const int lastPeak = peaks[peaks.size() - 1];
            const int prevPeak = peaks[peaks.size() - 2];
            int64_t runs[256];
            int64_t best = 0;
            int m = 0, l = 0;
            RunLengths(src, width, height, prevPeak, runs);
            RunMode(runs, best, m);
            best = 0;
            RunLengths(src, width, height, lastPeak, runs);
            RunMode(runs, best, l);
            if (std::abs(m - 3) < std::abs(l - 3))
                t = prevPeak;
            else if (l > 10)
                t = 128;
            else
                t = lastPeak;
        }
    }
    if (t < 0) {
        // Fallback: Otsu over the whole page, a dominant pure white left out.
        int64_t h[256];
        Histogram(src, width, height, h);
        int64_t n = static_cast<int64_t>(width) * height;
        if (h[255] * 2 >= n) {
            n -= h[255];
            h[255] = 0;
        }
        t = OtsuCriterion(h, 256, n, true, false, -1.0, -1);
        if (t < 0) {
            int mode = 0;
            for (int l = 1; l < 256; ++l)
                if (h[l] > h[mode]) mode = l;
            t = mode - 1;
        }
    }
    threshold = t;
    BinarizeBelow(src, width, height, dst, threshold);
    return 1;
}

int CFuzz::Run(GrayRows src, int width, int height, BitRows dst) {
    int64_t h[256];
    Histogram(src, width, height, h);
    const int64_t n = static_cast<int64_t>(width) * height;
    t1 = OtsuCriterion(h, 256, n, true, true, 0.0, 0);
    int64_t below = 0;
    for (int l = 0; l < t1; ++l) below += h[l];
    t2 = OtsuCriterion(h, t1, below, false, true, 0.0, t1);

    int64_t h1[256], h2[256];
    RunLengths(src, width, height, t1, h1);
    RunLengths(src, width, height, t2, h2);
    int64_t best = 0;
    int m1 = 0;
    RunMode(h1, best, m1);
    int m2 = m1;
    RunMode(h2, best, m2);

    if (m1 < m2) {
        threshold = 0;
    } else {
        int64_t smallest = -1;
        for (int l = 1; l < m2; ++l) {
            if (l != 1 && h2[l] == 0) continue;
            if (smallest < 0 || h2[l] < smallest) smallest = h2[l];
        }
        if (smallest < 0) smallest = 0;
        const double e = static_cast<double>(smallest) / std::max<int64_t>(1, h2[m2]);
        int64_t long1 = 0, long2 = 0;
        for (int l = 10; l < 256; ++l) {
            long1 += h1[l];
            long2 += h2[l];
        }
        const double f1 = static_cast<double>(long1) / std::max<int64_t>(1, h1[m1]);
        const double f2 = static_cast<double>(long2) / std::max<int64_t>(1, h2[m2]);
        const double ratio = static_cast<double>(h2[m2]) / std::max<int64_t>(1, h1[m1]);
        if (e < 0.55 && f2 < 0.6)
            threshold = t2;
        else if (e > 0.55 && f1 < 1.0 && ratio < 0.4)
            threshold = t1;
        else
            threshold = (t1 + t2) / 2;
    }
    BinarizeBelow(src, width, height, dst, threshold);
    return 1;
}

int COtsu::Run(GrayRows src, int width, int height, BitRows dst) {
    // The flattened copy is never built: flattening maps each level through
    // a table, so its histogram and the final decision follow from the
    // source histogram and that table.
    int64_t source[256];
    GrayHistogram(src, width, height, source);
    const FlattenLevels levels = FlattenFromHistogram(source);
    uint8_t table[256];
    FlattenTable(levels, table);
    int64_t h[256] = {};
    for (int l = 0; l < 256; ++l) h[table[l]] += source[l];

    // Between-class value (mu0 - mu1)^2 c0 c1, class 0 holding levels 0..t.
    double value[256];
    int64_t total = 0;
    double totalWeighted = 0;
    for (int l = 0; l < 256; ++l) {
        total += h[l];
        totalWeighted += static_cast<double>(l) * h[l];
    }
    int64_t c0 = 0;
    double s0 = 0;
    for (int t = 0; t < 256; ++t) {
        c0 += h[t];
        s0 += static_cast<double>(t) * h[t];
        const int64_t c1 = total - c0;
        const double mu0 = c0 ? s0 / c0 : 0.0;
        const double mu1 = c1 ? (totalWeighted - s0) / c1 : 0.0;
        value[t] = (mu0 - mu1) * (mu0 - mu1) * static_cast<double>(c0) * static_cast<double>(c1);
    }
    double lo = value[0], hi = value[0];
    for (int t = 1; t < 256; ++t) {
        lo = std::min(lo, value[t]);
        hi = std::max(hi, value[t]);
    }
    int t = 128;
    if (hi - lo > 1e-6) {
        double best = value[128];
        for (int l = 0; l < 256; ++l)
            if (value[l] > best) {
                best = value[l];
                t = l;
            }
    }
    threshold = t;
    if (levels.white >= t) {
        // Levels above the cut become white >= t: black is v < min(t, cut + 1).
        BinarizeBelow(src, width, height, dst, std::min(t, levels.cut + 1));
    } else {
        // Black is where the flattened level is below t: one table lookup per
        // pixel into a row of flags, packed eight pixels to a byte.
        uint8_t black[256];
        for (int l = 0; l < 256; ++l) black[l] = table[l] < t ? 1 : 0;
        auto flags = ThresholdScratch<uint8_t>(width);
        if (!flags) return 1;
        for (int y = 0; y < height; ++y) {
            const uint8_t* in = src[y];
            for (int x = 0; x < width; ++x) flags[x] = black[in[x]];
            bitpack::PackFlags(flags.get(), width, dst[y]);
        }
    }
    return 1;
}

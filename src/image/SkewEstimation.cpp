#include "image/SkewEstimation.h"

#include "image/BitPixels.h"
#include "image/ConnectAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

struct Point {
    double x, y;
};

// Least-squares slope dy/dx of a point set; false when the x values do not
// spread.
bool FitSlope(const std::vector<Point>& pts, double* slope) {
    if (pts.size() < 2) return false;
    double mx = 0, my = 0;
    for (const Point& p : pts) {
        mx += p.x;
        my += p.y;
    }
    mx /= static_cast<double>(pts.size());
    my /= static_cast<double>(pts.size());
    double sxx = 0, sxy = 0;
    for (const Point& p : pts) {
        sxx += (p.x - mx) * (p.x - mx);
        sxy += (p.x - mx) * (p.y - my);
    }
    if (sxx <= 0) return false;
    *slope = sxy / sxx;
    return true;
}

}  // namespace

// Clears every pixel that belongs to a vertical black run of at least
// 11 pixels. A pixel lies in such a run exactly when one of the 11-row
// windows that contain it is black in its column; the windows are found by
// AND-ing rows at doubling distances (1, 2, 4, then 3: 11 rows), and spread
// back over their rows by OR-ing at the same distances.
void EraseTallRuns(CRawImage& img) {
    const int32_t h = img.height;
    const size_t n = static_cast<size_t>(img.bytesPerRow);
    std::vector<uint8_t> buf(static_cast<size_t>(h) * n);
    for (int32_t y = 0; y < h; ++y) std::memcpy(&buf[static_cast<size_t>(y) * n], img.Row(y), n);
    auto row = [&](int32_t y) { return &buf[static_cast<size_t>(y) * n]; };
    // Ascending rows: row y + d still holds the previous level when row y
    // is combined with it. Rows without d rows below them become white.
    for (const int32_t d : {1, 2, 4, 3}) {
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* r = row(y);
            if (y + d >= h) {
                std::memset(r, 0, n);
                continue;
            }
            const uint8_t* q = row(y + d);
            for (size_t i = 0; i < n; ++i) r[i] &= q[i];
        }
    }
    // Row y now marks the columns black on rows y .. y + 10. Descending rows
    // spread each mark over the 11 rows it covers.
    for (const int32_t d : {1, 2, 4, 3}) {
        for (int32_t y = h - 1; y >= d; --y) {
            uint8_t* r = row(y);
            const uint8_t* q = row(y - d);
            for (size_t i = 0; i < n; ++i) r[i] |= q[i];
        }
    }
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* r = img.Row(y);
        const uint8_t* m = row(y);
        for (size_t i = 0; i < n; ++i) r[i] &= static_cast<uint8_t>(~m[i]);
    }
}

void ThickenLeftward(CRawImage& img, int32_t length) {
    if (!img.HasPixels() || img.bitCount != 1 || length <= 1) return;
    const int32_t w = img.width;
    const size_t bytes = static_cast<size_t>((w + 7) / 8);
    const size_t words = (bytes + 7) / 8;
    const int32_t shifts = static_cast<int32_t>(std::min<int64_t>(length - 1, w));
    const int tail = w & 7;
    const uint8_t tailMask = tail ? static_cast<uint8_t>(0xFF << (8 - tail)) : 0xFF;
    // The row as big-endian 64-bit words, so that a shift towards the most
    // significant bit moves pixels to the left; one extra zero word on the
    // right.
    std::vector<uint64_t> in(words + 1, 0), out(words);
    std::vector<uint8_t> raw(words * 8);
    for (int32_t y = 0; y < img.height; ++y) {
        uint8_t* row = img.Row(y);
        std::fill(raw.begin(), raw.end(), 0);
        std::memcpy(raw.data(), row, bytes);
        raw[bytes - 1] &= tailMask;  // bits past the width are no pixels
        for (size_t i = 0; i < words; ++i) {
            uint64_t v = 0;
            for (int k = 0; k < 8; ++k) v = (v << 8) | raw[i * 8 + static_cast<size_t>(k)];
            in[i] = v;
        }
        for (size_t i = 0; i < words; ++i) {
            uint64_t acc = in[i];
            // Each pixel takes the pixels up to `shifts` columns to its right.
            for (int32_t k = 1; k <= shifts; ++k) {
                if (k < 64) {
                    acc |= (in[i] << k) | (in[i + 1] >> (64 - k));
                } else {
                    // Shifts of a word or more: take whole words further right.
                    const size_t j = i + static_cast<size_t>(k / 64);
                    const int r = k % 64;
                    const uint64_t a = j < words ? in[j] : 0;
                    const uint64_t b = j + 1 < words ? in[j + 1] : 0;
                    acc |= r ? (a << r) | (b >> (64 - r)) : a;
                }
            }
            out[i] = acc;
        }
        for (size_t i = 0; i < words; ++i)
            for (int k = 0; k < 8; ++k)
                raw[i * 8 + static_cast<size_t>(k)] = static_cast<uint8_t>(out[i] >> (56 - 8 * k));
        std::memcpy(row, raw.data(), bytes);
    }
}

namespace {

double CentreX(const SkewBox& b) { return (b.left + b.right) / 2.0; }
double CentreY(const SkewBox& b) { return (b.top + b.bottom) / 2.0; }

}  // namespace

bool FindComponentBoxes(const CRawImage& image, std::vector<SkewBox>* boxes) {
    boxes->clear();
    if (!image.HasPixels() || image.bitCount != 1) return false;
    CConnectAnalyzer analyzer(&image);
    try {
        if (!analyzer.Analyze(0)) return false;
        boxes->reserve(analyzer.Components().size());
        for (const ComponentRecord& c : analyzer.Components())
            boxes->push_back({c.left, c.top, c.right, c.bottom});
    } catch (const std::bad_alloc&) {
        boxes->clear();
        return false;
    }
    return true;
}

bool CSkewEstimation::EstimateFromComponents(const std::vector<SkewBox>& boxes, int32_t imageHeight,
                                             double* angle) {
    *angle = 0.0;
    components.clear();
    lines.clear();
    if (imageHeight <= 0) return false;
    for (const SkewBox& b : boxes) {
        const int32_t bw = b.right - b.left, bh = b.bottom - b.top;
        if (bh <= maxComponentHeight && bw <= maxComponentWidth && bh > 5 && bw > 5) components.push_back(b);
    }
    if (components.empty()) return false;

    // Row profile of triangles peaking at each component's middle row.
    const size_t H = static_cast<size_t>(imageHeight);
    std::vector<double> profile(H, 0.0);
    for (const SkewBox& b : components) {
        const int32_t h = std::max(1, b.bottom - b.top);
        const int32_t from = std::max(0, b.top), to = std::min(imageHeight, b.bottom);
        for (int32_t r = from; r < to; ++r)
            profile[static_cast<size_t>(r)] += 1.0 - std::fabs(static_cast<double>(h - 2 * (r - b.top))) / h;
    }
    std::vector<double> smooth(profile);
    for (size_t r = 1; r + 1 < H; ++r) {
        const double a = profile[r - 1], b = profile[r], c = profile[r + 1];
        smooth[r] = std::max(std::min(a, b), std::min(std::max(a, b), c));
    }

    std::vector<int32_t> band;
    for (size_t r = 0; r < H;) {
        if (!(smooth[r] > 0.5)) {
            ++r;
            continue;
        }
        const int32_t bandTop = static_cast<int32_t>(r);
        ++r;
        while (r < H && !(smooth[r] < 0.5)) ++r;
        const int32_t bandBottom = static_cast<int32_t>(r);

        band.clear();
        for (size_t i = 0; i < components.size(); ++i) {
            const SkewBox& b = components[i];
            if (b.top < bandBottom && b.bottom > bandTop) band.push_back(static_cast<int32_t>(i));
        }
        std::stable_sort(band.begin(), band.end(), [&](int32_t a, int32_t b) {
            return components[static_cast<size_t>(a)].left < components[static_cast<size_t>(b)].left;
        });
        std::vector<int32_t> chain;
        auto flush = [&]() {
            if (chain.size() >= 2) lines.push_back(chain);
            chain.clear();
        };
        for (const int32_t idx : band) {
            if (!chain.empty()) {
                const SkewBox& last = components[static_cast<size_t>(chain.back())];
                const SkewBox& next = components[static_cast<size_t>(idx)];
                const double lh = last.bottom - last.top;
                const double nh = next.bottom - next.top;
                const bool joins = std::fabs(lh - nh) < lh / 5 && next.left - last.right < 1.2 * lh &&
                                   std::fabs(CentreY(last) - CentreY(next)) < lh / 5;
                if (!joins) flush();
            }
            chain.push_back(idx);
        }
        flush();
    }

    std::stable_sort(
        lines.begin(), lines.end(),
        [](const std::vector<int32_t>& a, const std::vector<int32_t>& b) { return a.size() > b.size(); });
    if (lines.empty() || lines[0].size() < 5) return false;

    auto box = [&](int32_t i) -> const SkewBox& { return components[static_cast<size_t>(i)]; };
    if (lines.size() < 3) {
        const SkewBox& first = box(lines[0].front());
        const SkewBox& last = box(lines[0].back());
        *angle = std::atan((CentreY(first) - CentreY(last)) / std::max(1.0, CentreX(last) - CentreX(first)));
        return true;
    }
    double slopes[3];
    for (int k = 0; k < 3; ++k) {
        const SkewBox& first = box(lines[static_cast<size_t>(k)].front());
        const SkewBox& last = box(lines[static_cast<size_t>(k)].back());
        slopes[k] = (first.bottom - last.bottom) / std::max(1.0, std::fabs(CentreX(last) - CentreX(first)));
    }
    std::sort(slopes, slopes + 3);
    *angle = std::atan(slopes[1]);
    return true;
}

bool CSkewEstimation::EstimateFromRuledLines(const CRawImage& image, double* angle) {
    *angle = 0.0;
    if (!image.HasPixels() || image.bitCount != 1) return false;
    CRawImage work;
    if (!work.Copy(image)) return false;
    std::vector<SkewBox> boxes;
    try {
        EraseTallRuns(work);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Closes horizontal gaps of up to 5 pixels: the horizontal thickening
    // pass of length 6 (the image's Morpho kind 2), done word-wise.
    try {
        ThickenLeftward(work, 6);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!FindComponentBoxes(work, &boxes)) return false;

    std::vector<SkewBox> flat;
    for (const SkewBox& b : boxes)
        if (b.bottom - b.top < 100 && b.right - b.left > 400) flat.push_back(b);
    if (flat.size() < 3) return false;
    std::stable_sort(flat.begin(), flat.end(),
                     [](const SkewBox& a, const SkewBox& b) { return a.right - a.left > b.right - b.left; });

    std::vector<double> slopes;
    std::vector<Point> pts;
    for (const SkewBox& b : flat) {
        if (slopes.size() == 3) break;
        // Mid-points of the vertical black runs of every column of the box.
        pts.clear();
        for (int32_t x = b.left; x < b.right; ++x) {
            const size_t byte = bitpixels::ByteOf(x);
            const uint8_t bit = bitpixels::MaskOf(x);
            int32_t runStart = -1;
            for (int32_t y = b.top; y <= b.bottom && y < image.height; ++y) {
                const bool black = y < b.bottom && (work.Row(y)[byte] & bit) != 0;
                if (black && runStart < 0) runStart = y;
                if (!black && runStart >= 0) {
                    pts.push_back({static_cast<double>(x), (runStart + y - 1) / 2.0});
                    runStart = -1;
                }
            }
        }
        double slope;
        if (FitSlope(pts, &slope)) slopes.push_back(slope);
    }
    if (slopes.size() < 3) return false;
    std::sort(slopes.begin(), slopes.end());
    *angle = -std::atan(slopes[1]);
    return true;
}

double CSkewEstimation::Estimate(const CRawImage& image) {
    components.clear();
    lines.clear();
    if (!image.HasPixels() || image.bitCount != 1) return 0.0;
    double angle = 0.0;
    if (EstimateFromRuledLines(image, &angle)) return angle;
    std::vector<SkewBox> boxes;
    if (!FindComponentBoxes(image, &boxes)) return 0.0;
    if (!EstimateFromComponents(boxes, image.height, &angle)) return 0.0;
    return angle;
}

#include "image/SkewEstimation.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

struct Run {
    int32_t start;  // first column
    int32_t end;    // one past the last column
    int32_t row;
};

int32_t FindRoot(std::vector<int32_t>& parent, int32_t i) {
    int32_t root = i;
    while (parent[static_cast<size_t>(root)] != root) root = parent[static_cast<size_t>(root)];
    while (parent[static_cast<size_t>(i)] != root) {
        const int32_t next = parent[static_cast<size_t>(i)];
        parent[static_cast<size_t>(i)] = root;
        i = next;
    }
    return root;
}

inline uint32_t LoadBigEndian32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) | (static_cast<uint32_t>(p[2]) << 8) |
           static_cast<uint32_t>(p[3]);
}

inline int LeadingZeros(uint32_t v) { return __builtin_clz(v); }  // v != 0

// Appends the black runs of one 1-bit row, 32 pixels at a time. Bits past the
// image width are ignored whatever the padding holds. Rows are padded to
// whole 32-bit groups, so every group read lies inside the row.
void RowRuns(const uint8_t* row, int32_t width, int32_t y, std::vector<Run>& runs) {
    const int32_t groups = (width + 31) / 32;
    const int tail = width & 31;
    bool in = false;
    int32_t start = 0;
    for (int32_t g = 0; g < groups; ++g) {
        uint32_t v = LoadBigEndian32(row + 4 * g);
        if (g == groups - 1 && tail) v &= ~0u << (32 - tail);
        if (!in ? v == 0 : v == ~0u) continue;
        int p = 0;
        while (p < 32) {
            if (!in) {
                const uint32_t rest = v << p;
                if (rest == 0) break;
                p += LeadingZeros(rest);
                start = 32 * g + p;
                in = true;
            } else {
                const uint32_t rest = ~v << p;
                if (rest == 0) break;
                p += LeadingZeros(rest);
                runs.push_back({start, 32 * g + p, y});
                in = false;
            }
        }
    }
    if (in) runs.push_back({start, width, y});
}

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

// Clears every pixel that belongs to a vertical black run of at least
// 11 pixels. A pixel lies in such a run exactly when one of the 11-row
// windows that contain it is black in its column; the windows are found by
// AND-ing rows at doubling distances (1, 2, 4, then 3: 11 rows), and spread
// back over their rows by OR-ing at the same distances.
void EraseTallRuns(CRawImage& img) {
    const int32_t h = img.height;
    const size_t n = static_cast<size_t>(img.bytesPerRow);
    std::vector<uint8_t> buf(static_cast<size_t>(h) * n);
    for (int32_t y = 0; y < h; ++y) std::memcpy(&buf[static_cast<size_t>(y) * n], img.rows[y], n);
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
        uint8_t* r = img.rows[y];
        const uint8_t* m = row(y);
        for (size_t i = 0; i < n; ++i) r[i] &= static_cast<uint8_t>(~m[i]);
    }
}

double CentreX(const SkewBox& b) { return (b.left + b.right) / 2.0; }
double CentreY(const SkewBox& b) { return (b.top + b.bottom) / 2.0; }

}  // namespace

bool FindComponentBoxes(const CRawImage& image, std::vector<SkewBox>* boxes) {
    boxes->clear();
    if (!image.HasPixels() || image.bitCount != 1) return false;
    const int32_t w = image.width, h = image.height;
    std::vector<Run> runs;
    std::vector<int32_t> parent;
    try {
        runs.reserve(static_cast<size_t>(h) * 8);
        size_t prevBegin = 0, prevEnd = 0;
        for (int32_t y = 0; y < h; ++y) {
            const size_t curBegin = runs.size();
            RowRuns(image.rows[y], w, y, runs);
            const size_t curEnd = runs.size();
            parent.resize(curEnd);
            // 8-connectivity: a run [s, e) touches a previous-row run [ps, pe)
            // when ps <= e and pe >= s.
            size_t p = prevBegin;
            for (size_t c = curBegin; c < curEnd; ++c) {
                parent[c] = static_cast<int32_t>(c);
                const Run& cur = runs[c];
                while (p < prevEnd && runs[p].end < cur.start) ++p;
                for (size_t q = p; q < prevEnd && runs[q].start <= cur.end; ++q) {
                    const int32_t a = FindRoot(parent, static_cast<int32_t>(c));
                    const int32_t b = FindRoot(parent, static_cast<int32_t>(q));
                    // The earlier run stays the root, so a component keeps the
                    // position of its first pixel.
                    if (a < b)
                        parent[static_cast<size_t>(b)] = a;
                    else if (b < a)
                        parent[static_cast<size_t>(a)] = b;
                }
            }
            prevBegin = curBegin;
            prevEnd = curEnd;
        }
        std::vector<int32_t> slot(runs.size(), -1);
        for (size_t i = 0; i < runs.size(); ++i) {
            const int32_t root = FindRoot(parent, static_cast<int32_t>(i));
            const Run& r = runs[i];
            const int32_t bottom = std::min(r.row + 1, h - 1);
            int32_t& s = slot[static_cast<size_t>(root)];
            if (s < 0) {
                // Roots are met in run order, which is the order of the
                // components' first pixels.
                s = static_cast<int32_t>(boxes->size());
                boxes->push_back({r.start, r.row, r.end, bottom});
                continue;
            }
            SkewBox& b = (*boxes)[static_cast<size_t>(s)];
            b.left = std::min(b.left, r.start);
            b.right = std::max(b.right, r.end);
            b.top = std::min(b.top, r.row);
            b.bottom = std::max(b.bottom, bottom);
        }
    } catch (const std::bad_alloc&) {
        boxes->clear();
        return false;
    }
    return true;
}

bool CSkewEstimation::EstimateFromComponents(const std::vector<SkewBox>& boxes, int32_t imageHeight, double* angle) {
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

    std::stable_sort(lines.begin(), lines.end(),
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
    work.Morpho(2, 6);  // closes horizontal gaps of up to 5 pixels
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
            const int32_t byte = x >> 3;
            const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
            int32_t runStart = -1;
            for (int32_t y = b.top; y <= b.bottom && y < image.height; ++y) {
                const bool black = y < b.bottom && (work.rows[y][byte] & bit) != 0;
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

double CSkewEstimation::Estimate(CRawImage& image) {
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

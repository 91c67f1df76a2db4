#include "layout/LayoutAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "image/Profile.h"
#include "layout/CharLocation.h"
#include "layout/LineLocation.h"

namespace libMorvaneClassifier {

namespace layout_detail {

namespace {

constexpr int32_t kNoLabel = -1;

inline bool AnyBlack(const uint8_t* row, int32_t x0, int32_t x1) {
    for (int32_t x = x0; x <= x1; ++x)
        if (row[x >> 3] & (0x80 >> (x & 7))) return true;
    return false;
}

// Rewrites label `from` to `to` in columns [left, right) of a label row.
inline void Relabel(std::vector<int32_t>& labels, int32_t from, int32_t to, int32_t left, int32_t right) {
    for (int32_t x = std::max(left, 0); x < right && x < static_cast<int32_t>(labels.size()); ++x)
        if (labels[static_cast<size_t>(x)] == from) labels[static_cast<size_t>(x)] = to;
}

}  // namespace

bool LabelComponents(const CRawImage& image, std::vector<Component>& comps) {
    comps.clear();
    if (!IsBinary(image)) return false;
    const int32_t W = image.width, H = image.height;
    std::vector<int32_t> prev(static_cast<size_t>(W), kNoLabel), cur(static_cast<size_t>(W), kNoLabel);
    // Runs written into each label row, so that only they need clearing.
    std::vector<std::pair<int32_t, int32_t>> prevRuns, curRuns;
    const int32_t lastByte = (W - 1) >> 3;
    for (int32_t row = 0; row < H; ++row) {
        const uint8_t* bits = image.Row(row);
        const int32_t bottomRow = std::min(row + 1, H - 1);
        for (const auto& r : curRuns) std::fill(cur.begin() + r.first, cur.begin() + r.second, kNoLabel);
        curRuns.clear();
        int32_t x = 0;
        while (x < W) {
            // Skip white bytes quickly.
            if ((x & 7) == 0) {
                int32_t byte = x >> 3;
                while (byte <= lastByte && bits[byte] == 0) ++byte;
                x = byte << 3;
                if (x >= W) break;
            }
            if (!(bits[x >> 3] & (0x80 >> (x & 7)))) {
                ++x;
                continue;
            }
            const int32_t b = x;
            while (x < W && (bits[x >> 3] & (0x80 >> (x & 7)))) ++x;
            const int32_t i = x;  // run [b, i)
            const int32_t lo = std::max(b - 1, 0), hi = std::min(i + 1, W) - 1;
            int32_t label = kNoLabel;
            for (int32_t c = lo; c <= hi; ++c) {
                const int32_t l = prev[static_cast<size_t>(c)];
                if (l == kNoLabel || l == label) continue;
                if (label == kNoLabel) {
                    label = l;
                    Component& k = comps[static_cast<size_t>(l)];
                    k.left = std::min(k.left, b);
                    k.right = std::max(k.right, i);
                    k.pixels += i - b;
                    k.bottom = bottomRow;
                    continue;
                }
                const int32_t keep = std::min(l, label), gone = std::max(l, label);
                Component& kk = comps[static_cast<size_t>(keep)];
                Component& kg = comps[static_cast<size_t>(gone)];
                const int32_t goneLeft = kg.left, goneRight = kg.right;
                kk.left = std::min(kk.left, kg.left);
                kk.top = std::min(kk.top, kg.top);
                kk.right = std::max(kk.right, kg.right);
                kk.bottom = bottomRow;
                kk.pixels += kg.pixels;
                kg.kind = kKindRemoved;
                kg.pixels = 0;
                Relabel(prev, gone, keep, goneLeft, goneRight);
                Relabel(cur, gone, keep, goneLeft, goneRight);
                label = keep;
            }
            if (label == kNoLabel) {
                const bool longRun = i - b > 2;
                const bool touchesBelow = row + 1 < H && AnyBlack(image.Row(row + 1), lo, hi);
                if (!longRun && !touchesBelow) continue;  // noise: stays unlabelled
                Component k;
                k.left = b;
                k.top = row;
                k.right = i;
                k.bottom = bottomRow;
                k.pixels = i - b;
                k.kind = kKindNormal;
                label = static_cast<int32_t>(comps.size());
                comps.push_back(k);
            }
            std::fill(cur.begin() + b, cur.begin() + i, label);
            curRuns.emplace_back(b, i);
        }
        std::swap(prev, cur);
        std::swap(prevRuns, curRuns);
    }
    return true;
}

void ClassifyComponents(std::vector<Component>& comps, int32_t maxHeight) {
    const int64_t a = maxHeight;
    for (Component& c : comps) {
        if (c.kind == kKindRemoved) continue;
        const int64_t h = static_cast<int64_t>(c.bottom) - c.top, w = static_cast<int64_t>(c.right) - c.left;
        const int64_t area = h * w;
        if (area <= 9) {
            c.kind = kKindRemoved;
        } else if (area <= std::max<int64_t>(4 * h * h, 22500)) {
            const int64_t longer = std::max(h, w), shorter = std::max<int64_t>(std::min(h, w), 1);
            if (longer / shorter > 25) {
                c.kind = kKindElongated;
            } else if (static_cast<double>(h) <= 1.25 * static_cast<double>(a) && area <= a * a) {
                c.kind = (h <= 8 && w <= 8) ? kKindSmall : kKindNormal;
            } else {
                c.kind = kKindLarge;
            }
        } else {
            c.kind = kKindLarge;
        }
    }
}

void RemoveKinds(std::vector<Component>& comps, bool normal, bool small, bool elongated, bool large) {
    comps.erase(std::remove_if(comps.begin(), comps.end(),
                               [&](const Component& c) {
                                   switch (c.kind) {
                                       case kKindNormal:
                                           return normal;
                                       case kKindSmall:
                                           return small;
                                       case kKindElongated:
                                           return elongated;
                                       case kKindLarge:
                                           return large;
                                       default:
                                           return true;
                                   }
                               }),
                comps.end());
}

namespace {

double OverlapRatio(int32_t a0, int32_t a1, int32_t b0, int32_t b1) {
    const int64_t common = static_cast<int64_t>(std::min(a1, b1)) - std::max(a0, b0);
    if (common <= 0) return 0.0;
    const int64_t m = std::min<int64_t>(static_cast<int64_t>(a1) - a0, static_cast<int64_t>(b1) - b0);
    if (m <= 0) return 0.0;
    return static_cast<double>(common) / static_cast<double>(m);
}

void StableSortByLeft(std::vector<Component>& comps) {
    std::stable_sort(comps.begin(), comps.end(),
                     [](const Component& a, const Component& b) { return a.left < b.left; });
}

}  // namespace

void MergeComponents(std::vector<Component>& comps, int rule) {
    const size_t n = comps.size();
    for (size_t pi = 0; pi < n; ++pi) {
        Component& p = comps[pi];
        if (p.kind == kKindRemoved) continue;
        for (size_t qi = pi + 1; qi < n; ++qi) {
            Component& q = comps[qi];
            // Every rule needs the columns to overlap; the array is sorted by
            // left and p's left never changes, so no later q can overlap.
            if (q.left >= p.right) break;
            if (q.kind == kKindRemoved) continue;
            const double v = OverlapRatio(p.top, p.bottom, q.top, q.bottom);
            const double h = OverlapRatio(p.left, p.right, q.left, q.right);
            bool merge = false;
            bool addPixels = true;
            if (rule == 1) {
                merge = v > 0.7 && h > 0;
            } else if (rule == 2) {
                merge = v > 0 && h > 0.7;
            } else {
                merge = v > 0.9 && h > 0.9;
                addPixels = false;
            }
            if (!merge) continue;
            p.left = std::min(p.left, q.left);
            p.top = std::min(p.top, q.top);
            p.right = std::max(p.right, q.right);
            p.bottom = std::max(p.bottom, q.bottom);
            if (addPixels) p.pixels += q.pixels;
            q.kind = kKindRemoved;
        }
    }
    comps.erase(
        std::remove_if(comps.begin(), comps.end(), [](const Component& c) { return c.kind == kKindRemoved; }),
        comps.end());
}

}  // namespace layout_detail

using namespace layout_detail;

namespace {

struct LineCandidate {
    int32_t centre = 0;
    int32_t height = 0;
    int32_t top = 0;
    int32_t bottom = 0;
    int32_t state = 1;  // 1 live, 3 absorbed or rejected
};

struct LineGroup {
    std::vector<Component> members;
    float slope = 0;
    float orientation = 1.0f;
    float intercept = 0;
    bool fitted = false;
    int32_t lineHeight = 0;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// Step D: weight (triangle peaking mid-height) and width profiles.
bool BuildProfiles(const std::vector<Component>& comps, int32_t H, std::vector<float>& A,
                   std::vector<float>& B) {
    if (comps.empty()) return false;
    A.assign(static_cast<size_t>(H), 0.0f);
    B.assign(static_cast<size_t>(H), 0.0f);
    for (const Component& c : comps) {
        const int32_t h = c.bottom - c.top;
        const float w = static_cast<float>(c.right - c.left);
        for (int32_t k = 0; k < h; ++k) {
            const int32_t y = c.top + k;
            if (y < 0 || y >= H) continue;
            A[static_cast<size_t>(y)] +=
                1.0f - static_cast<float>(std::abs(h - 2 * k)) / static_cast<float>(h);
            B[static_cast<size_t>(y)] += w;
        }
    }
    return true;
}

// Step E: line candidates from the peaks of the smoothed weight.
void FindPeaks(const std::vector<float>& A, std::vector<LineCandidate>& cands) {
    const int32_t N = static_cast<int32_t>(A.size());
    enum { kNone, kRising, kFalling } dir = kNone;
    int32_t start = 0, end = 0, peak = 0;
    auto emit = [&]() {
        if (start < end) {
            LineCandidate c;
            c.centre = peak;
            c.height = end - start;
            c.top = start;
            c.bottom = end;
            cands.push_back(c);
        }
        start = end + 1;
        dir = kNone;
    };
    for (int32_t i = 0; i + 1 < N; ++i) {
        const float a = A[static_cast<size_t>(i)], next = A[static_cast<size_t>(i + 1)];
        if (std::fabs(next - a) < 0.001f) continue;
        if (a >= 0.3f) {
            if (next <= a) {
                if (dir == kFalling) {
                    end += 1;
                } else {
                    dir = kFalling;
                    end = i;
                    peak = i;
                }
            } else {
                if (dir == kNone) {
                    dir = kRising;
                    start = i;
                }
                if (dir == kFalling) emit();
            }
            if (i == N - 2 && dir == kFalling && start < end &&
                (cands.empty() || cands.back().bottom <= start))
                emit();
        } else {
            if (dir == kFalling)
                emit();
            else
                start += 1;
        }
    }
}

// Integer mean of B over rows [from, to] with the running sum truncated
// after every addition.
double TruncatedMean(const std::vector<float>& B, int32_t from, int32_t to) {
    const int32_t N = static_cast<int32_t>(B.size());
    int64_t sum = 0;
    int64_t rows = 0;
    for (int32_t y = std::max(from, 0); y <= to && y < N; ++y) {
        sum = static_cast<int64_t>(static_cast<double>(sum) + B[static_cast<size_t>(y)]);
        ++rows;
    }
    return rows > 1 ? static_cast<double>(sum / rows) : static_cast<double>(sum);
}

float At(const std::vector<float>& v, int32_t i) {
    if (v.empty()) return 0.0f;
    return v[static_cast<size_t>(std::clamp<int32_t>(i, 0, static_cast<int32_t>(v.size()) - 1))];
}

bool WidthsAgree(const std::vector<float>& B, int32_t c1, int32_t c2, double m) {
    const float b1 = At(B, c1), b2 = At(B, c2);
    if (std::fabs(b1) < 0.000001f || m / b1 < 0.65) return false;
    if (std::fabs(b2) < 0.000001f || m / b2 < 0.65) return false;
    return true;
}

// Step F: merges neighbouring candidates of one line.
void MergeCandidates(std::vector<LineCandidate>& cands, const std::vector<float>& B, int32_t a, int32_t b,
                     int32_t c) {
    const size_t n = cands.size();
    const double tall = 1.25 * b;
    for (size_t pi = 0; pi < n; ++pi) {
        LineCandidate& p = cands[pi];
        if (p.state != 1) continue;
        for (size_t qi = pi; qi-- > 0;) {
            LineCandidate& q = cands[qi];
            if (static_cast<int64_t>(p.centre) - q.centre >= a ||
                static_cast<int64_t>(p.top) - q.bottom >= c ||
                static_cast<double>(static_cast<int64_t>(p.bottom) - q.top) > tall)
                break;
            const double m = TruncatedMean(B, q.centre, p.centre);
            if (!WidthsAgree(B, p.centre, q.centre, m)) break;
            p.top = q.top;
            p.height = p.bottom - p.top;
            p.centre = (p.bottom + p.top) / 2;
            q.state = 3;
        }
        for (size_t qi = pi + 1; qi < n; ++qi) {
            LineCandidate& q = cands[qi];
            if (static_cast<int64_t>(q.centre) - p.centre >= a ||
                static_cast<int64_t>(q.top) - p.bottom >= c ||
                static_cast<double>(static_cast<int64_t>(q.bottom) - p.top) > tall)
                break;
            const double m = TruncatedMean(B, p.centre, q.centre);
            if (!WidthsAgree(B, p.centre, q.centre, m)) break;
            p.bottom = q.bottom;
            p.height = p.bottom - p.top;
            p.centre = (p.bottom + p.top) / 2;
            q.state = 3;
        }
    }
    cands.erase(
        std::remove_if(cands.begin(), cands.end(), [](const LineCandidate& x) { return x.state == 3; }),
        cands.end());
}

// Step G: candidate rows from the smoothed width profile.
void RefineCandidates(std::vector<LineCandidate>& cands, const std::vector<float>& B) {
    const int32_t N = static_cast<int32_t>(B.size());
    if (N == 0) return;
    for (LineCandidate& c : cands) {
        const int32_t cent = std::clamp(c.centre, 0, N - 1);
        const float half = 0.5f * B[static_cast<size_t>(cent)];
        int32_t t = c.top, d = c.bottom;
        for (int32_t y = std::max(c.top, 0); y < cent; ++y)
            if (B[static_cast<size_t>(y)] > half) {
                t = y;
                break;
            }
        for (int32_t y = std::min(c.bottom, N - 1); y > cent; --y)
            if (B[static_cast<size_t>(y)] > half) {
                d = y;
                break;
            }
        if (cent - t < d - cent) {
            double sum = 0;
            for (int32_t y = std::max(cent, 0); y < d && y < N; ++y) sum += B[static_cast<size_t>(y)];
            const double mean = d != cent ? sum / (d - cent) : sum;
            const int32_t bound = std::max(cent - (d - cent), 0);
            while (t >= bound && t < N && B[static_cast<size_t>(t)] >= 0.75 * mean) --t;
        } else {
            double sum = 0;
            for (int32_t y = std::max(t, 0); y < cent; ++y) sum += B[static_cast<size_t>(y)];
            const double mean = cent != t ? sum / (cent - t) : sum;
            const int32_t bound = std::min(N - 1, cent + (cent - t));
            while (d <= bound && d >= 0 && B[static_cast<size_t>(d)] >= 0.75 * mean) ++d;
        }
        c.top = t;
        c.bottom = d;
        c.height = d - t;
        c.centre = (d + t) / 2;
    }
}

int32_t TypicalHeight(const std::vector<Component>& members) {
    if (members.empty()) return 0;
    int64_t sum = 0;
    for (const Component& m : members) sum += m.bottom - m.top;
    const int64_t mean = sum / static_cast<int64_t>(members.size());
    int64_t s2 = 0, n2 = 0;
    for (const Component& m : members) {
        const int64_t h = m.bottom - m.top;
        if (static_cast<double>(h) > 0.75 * static_cast<double>(mean) &&
            static_cast<double>(h) < 1.35 * static_cast<double>(mean)) {
            s2 += h;
            ++n2;
        }
    }
    return n2 ? static_cast<int32_t>(s2 / n2) : 0;
}

// Fits the base line of a group through the centres of its tall members.
void FitGroup(LineGroup& g) {
    g.fitted = false;
    if (g.members.empty()) return;
    if (g.members.size() == 1) {
        const Component& m = g.members[0];
        g.orientation = 1.0f;
        g.intercept = static_cast<float>((m.top + m.bottom) / 2);
        g.slope = 0.0f;
        g.fitted = true;
        return;
    }
    __int128 n = 0, sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    for (const Component& m : g.members) {
        if (static_cast<double>(m.bottom - m.top) < 0.7 * static_cast<double>(g.lineHeight)) continue;
        const int64_t x = (static_cast<int64_t>(m.left) + m.right) / 2;
        const int64_t y = (static_cast<int64_t>(m.top) + m.bottom) / 2;
        ++n;
        sx += x;
        sy += y;
        sxx += static_cast<__int128>(x) * x;
        syy += static_cast<__int128>(y) * y;
        sxy += static_cast<__int128>(x) * y;
    }
    if (n == 0) return;
    const __int128 dx = n * sxx - sx * sx, dy = n * syy - sy * sy;
    if (dx == 0) {
        if (dy == 0) return;
        g.orientation = 0.0f;
        g.slope = static_cast<float>(static_cast<double>(n * sxy - sx * sy) / static_cast<double>(dy));
        g.intercept = static_cast<float>(-(static_cast<double>(sx) - static_cast<double>(sy) * g.slope) /
                                         static_cast<double>(n));
    } else {
        g.orientation = 1.0f;
        g.slope = static_cast<float>(static_cast<double>(n * sxy - sx * sy) / static_cast<double>(dx));
        g.intercept = static_cast<float>((static_cast<double>(sy) - static_cast<double>(sx) * g.slope) /
                                         static_cast<double>(n));
    }
    g.fitted = true;
}

// Step H: assigns the components to the candidates and fits the groups.
void AssignComponents(std::vector<Component>& comps, const std::vector<LineCandidate>& cands,
                      std::vector<LineGroup>& groups) {
    groups.assign(cands.size(), LineGroup{});
    for (size_t k = 0; k < cands.size(); ++k) groups[k].lineHeight = cands[k].height;
    std::vector<Component> rest;
    rest.reserve(comps.size());
    for (const Component& c : comps) {
        int64_t bestOverlap = 0;
        size_t best = cands.size();
        for (size_t k = 0; k < cands.size(); ++k) {
            const int64_t o =
                static_cast<int64_t>(std::min(c.bottom, cands[k].bottom)) - std::max(c.top, cands[k].top);
            if (o > bestOverlap) {
                bestOverlap = o;
                best = k;
            }
        }
        if (best < cands.size() && cands[best].height > 0) {
            const double ch = cands[best].height;
            if (static_cast<double>(bestOverlap) / ch > 0.7 &&
                static_cast<double>(c.bottom - c.top) / ch < 1.3) {
                groups[best].members.push_back(c);
                continue;
            }
        }
        rest.push_back(c);
    }
    for (LineGroup& g : groups) FitGroup(g);
    for (const Component& c : rest) {
        const int64_t l = c.left, r = c.right, tp = c.top, bt = c.bottom;
        if (bt - tp <= 0) continue;
        int64_t bestOverlap = 0;
        size_t best = groups.size();
        for (size_t k = 0; k < groups.size(); ++k) {
            LineGroup& g = groups[k];
            if (g.members.empty()) continue;
            int64_t centreRow;
            if (g.members.size() >= 2 && g.fitted && g.orientation == 1.0f) {
                centreRow = static_cast<int64_t>(g.intercept + static_cast<float>((l + r) / 2) * g.slope);
            } else {
                // One member, or a group whose base line cannot predict a row
                // (no fit, or a vertical fit): the middle row of its members.
                int32_t top = g.members[0].top, bottom = g.members[0].bottom;
                for (const Component& m : g.members) {
                    top = std::min(top, m.top);
                    bottom = std::max(bottom, m.bottom);
                }
                centreRow = (static_cast<int64_t>(top) + bottom) / 2;
            }
            int64_t hh = g.lineHeight;
            if (hh <= 0) {
                g.lineHeight = TypicalHeight(g.members);
                hh = g.lineHeight;
            }
            const int64_t top = centreRow - hh / 2;
            const int64_t o = std::min(top + hh, bt) - std::max(tp, top);
            if (o > bestOverlap) {
                bestOverlap = o;
                best = k;
            }
        }
        if (best < groups.size() && static_cast<double>(bestOverlap) / static_cast<double>(bt - tp) > 0.7)
            groups[best].members.push_back(c);
    }
    comps.clear();
    for (LineGroup& g : groups) FitGroup(g);
}

// Steps D to G shared by both operations; false when a profile is too short
// or there are no components.
bool Candidates(const std::vector<Component>& comps, int32_t H, int32_t a, int32_t b, int32_t c,
                std::vector<LineCandidate>& cands, std::vector<float>& B, bool tallestOnly, int32_t minH,
                int32_t maxH, bool rejectBySize) {
    std::vector<float> A;
    if (!BuildProfiles(comps, H, A, B)) return false;
    if (H < 6) return false;
    SmoothGaussianInPlace(A, 2.0);
    FindPeaks(A, cands);
    MergeCandidates(cands, B, a, b, c);
    if (rejectBySize) {
        cands.erase(std::remove_if(cands.begin(), cands.end(),
                                   [&](const LineCandidate& x) {
                                       return x.height < minH || static_cast<double>(x.height) >
                                                                     1.25 * static_cast<double>(maxH);
                                   }),
                    cands.end());
    }
    if (tallestOnly && !cands.empty()) {
        int32_t best = cands[0].height;
        bool laterTaller = false;
        for (size_t k = 1; k < cands.size(); ++k) {
            if (cands[k].height > best) {
                best = cands[k].height;
                laterTaller = true;
            } else {
                cands[k].state = 3;
            }
        }
        if (laterTaller) cands[0].state = 3;
        cands.erase(
            std::remove_if(cands.begin(), cands.end(), [](const LineCandidate& x) { return x.state == 3; }),
            cands.end());
    }
    SmoothGaussianInPlace(B, 2.0);
    RefineCandidates(cands, B);
    return true;
}

}  // namespace

bool CLayoutAnalyzer::LocateLines(const CRawImage& image, const CLineProperty& prop,
                                  const CLineLocationInfo& range, TextBoxList& lines) {
    if (!IsBinary(image)) return false;
    RangeFrame f;
    if (!ComputeRangeFrame(image.width, image.height, range, f)) return false;
    CRawImage strip;
    if (!CropInto(image, strip, f.left, f.top, f.right, f.bottom)) return false;
    const int32_t maxH = prop.MaxHeightPx(), minH = prop.MinHeightPx();

    std::vector<Component> comps;
    if (!LabelComponents(strip, comps)) return false;
    ClassifyComponents(comps, maxH);
    RemoveKinds(comps, false, true, true, true);
    StableSortByLeft(comps);
    MergeComponents(comps, 1);
    MergeComponents(comps, 2);
    MergeComponents(comps, 3);
    StableSortByLeft(comps);

    std::vector<LineCandidate> cands;
    std::vector<float> B;
    if (!Candidates(comps, strip.height, minH, maxH, prop.MinSpacePx(), cands, B, false, minH, maxH, true))
        return false;
    std::vector<LineGroup> groups;
    AssignComponents(comps, cands, groups);

    TextBoxList found;
    for (LineGroup& g : groups) {
        if (g.members.empty()) continue;
        TextBox box{g.members[0].left, g.members[0].top, g.members[0].right, g.members[0].bottom};
        for (const Component& m : g.members) {
            box.left = std::min(box.left, m.left);
            box.top = std::min(box.top, m.top);
            box.right = std::max(box.right, m.right);
            box.bottom = std::max(box.bottom, m.bottom);
        }
        const int32_t h = std::min(box.bottom - box.top, g.lineHeight);
        if (minH <= h && h <= maxH) found.push_back(box);
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const TextBox& a, const TextBox& b) { return a.top < b.top; });
    if (found.empty()) return false;
    CRawImage band;
    if (!CropInto(image, band, 0, f.top, image.width, f.bottom)) return false;
    if (!RefineLineExtents(band, prop, found)) return false;
    for (TextBox& b : found) {
        b.top += f.top;
        b.bottom += f.top;
    }
    lines = std::move(found);
    return true;
}

bool CLayoutAnalyzer::LocateChars(const CRawImage& image, const CCharProperty& prop, TextBoxList& chars) {
    if (!IsBinary(image)) return false;
    const int32_t maxH = prop.MaxHeightPx(), minH = prop.MinHeightPx();
    std::vector<Component> comps;
    if (!LabelComponents(image, comps)) return false;
    ClassifyComponents(comps, maxH);
    RemoveKinds(comps, false, false, true, true);
    StableSortByLeft(comps);
    for (int pass = 0; pass < 2; ++pass) {
        MergeComponents(comps, 1);
        MergeComponents(comps, 2);
        MergeComponents(comps, 3);
    }
    StableSortByLeft(comps);
    const int32_t pw = prop.MaxPointWidthPx(), ph = prop.MaxPointHeightPx();
    if (prop.IsIgnorePoint && pw > 0 && ph > 0) {
        comps.erase(std::remove_if(
                        comps.begin(), comps.end(),
                        [&](const Component& c) { return c.bottom - c.top <= ph && c.right - c.left <= pw; }),
                    comps.end());
    }
    std::vector<LineCandidate> cands;
    std::vector<float> B;
    if (!Candidates(comps, image.height, minH, maxH, 5, cands, B, true, minH, maxH, false)) return false;
    std::vector<LineGroup> groups;
    AssignComponents(comps, cands, groups);

    const LineGroup* chosen = nullptr;
    if (groups.size() == 1) {
        chosen = &groups[0];
    } else {
        // Only a group whose member count lies strictly between MinNum and
        // MaxNum (MaxNum < 1: no upper limit, as for the driver) can be
        // chosen; no qualifying group: no characters.
        const int64_t minNum = prop.MinNum;
        const int64_t maxNum = prop.MaxNum < 1 ? INT64_MAX : prop.MaxNum;
        size_t bestCount = 0;
        for (const LineGroup& g : groups) {
            const int64_t n = static_cast<int64_t>(g.members.size());
            if (n == 0 || !(minNum < n && n < maxNum)) continue;
            int64_t sw = 0, sh = 0;
            int32_t top = g.members[0].top, bottom = g.members[0].bottom;
            for (const Component& m : g.members) {
                sw += m.right - m.left;
                sh += m.bottom - m.top;
                top = std::min(top, m.top);
                bottom = std::max(bottom, m.bottom);
            }
            const int64_t span = static_cast<int64_t>(bottom) - top;
            if (sw / n >= prop.MaxWidthPx() || sh / n >= maxH) continue;
            if (!(minH < span && span < maxH)) continue;
            if (!chosen || static_cast<size_t>(n) > bestCount) {
                chosen = &g;
                bestCount = static_cast<size_t>(n);
            }
        }
    }
    if (!chosen) return true;
    std::vector<Component> members = chosen->members;
    StableSortByLeft(members);
    for (const Component& m : members) chars.push_back(TextBox{m.left, m.top, m.right, m.bottom});
    return true;
}

}  // namespace libMorvaneClassifier

#include "layout/LayoutBase.h"

#include <algorithm>
#include <cmath>
#include <deque>

#include "image/Cropper.h"
#include "image/Profile.h"
#include "layout/CharLocation.h"
#include "layout/LayoutAnalyzer.h"
#include "layout/LineLocation.h"
#include "layout/ZoneAnalyzer.h"

namespace libMorvaneClassifier {

namespace layout_detail {

bool ComputeRangeFrame(int32_t width, int32_t height, const CLineLocationInfo& range, RangeFrame& frame) {
    // Percentages outside 0..100 are clamped; the products cannot overflow.
    const int64_t l = std::clamp(range.Left, 0, 100), r = std::clamp(range.Right, 0, 100);
    const int64_t t = std::clamp(range.Top, 0, 100), b = std::clamp(range.Bottom, 0, 100);
    frame.left = static_cast<int32_t>(width * l / 100);
    frame.right = static_cast<int32_t>(width * r / 100);
    frame.top = static_cast<int32_t>(height * t / 100);
    frame.bottom = static_cast<int32_t>(height * b / 100);
    return frame.right > frame.left && frame.bottom > frame.top;
}

bool CropInto(const CRawImage& src, CRawImage& dst, int32_t left, int32_t top, int32_t right,
              int32_t bottom) {
    if (!src.HasPixels()) return false;
    // The cropper only reads its source when given a destination.
    CCropper cropper(&src);
    cropper.left = left;
    cropper.top = top;
    cropper.right = right;
    cropper.bottom = bottom;
    if (!cropper.Process(dst)) return false;
    return dst.HasPixels() && dst.width > 0 && dst.height > 0;
}

}  // namespace layout_detail

using namespace layout_detail;

std::unique_ptr<CLayoutBase> CreateLineAnalyser(int32_t type) {
    switch (type) {
        case 1:
            return std::make_unique<CGrayscaleDifference>();
        case 2:
            return std::make_unique<CBinaryProjection>();
        case 3:
            return std::make_unique<CLayoutAnalyzer>();
        case 4:
            return std::make_unique<CZoneLineAnalyzer>();
        default:
            return nullptr;
    }
}

std::unique_ptr<CLayoutBase> CreateCharAnalyser(int32_t type) {
    switch (type) {
        case 0:
            return std::make_unique<CConnectedDomainAnalyzer>();
        case 2:
            return std::make_unique<CBinaryProjection>();
        case 3:
            return std::make_unique<CLayoutAnalyzer>();
        default:
            return nullptr;
    }
}

namespace {

// Runs of entries with count >= threshold; the last entry never joins a run.
// Calls f(s, e) (both inclusive) for each run of at least three entries.
template <class F>
void ForEachRun(const ProfileEntry* entries, int32_t n, double threshold, F&& f) {
    int32_t start = -1;
    for (int32_t x = 0; x < n; ++x) {
        const bool joins = x != n - 1 && entries[x].count >= threshold;
        if (joins) {
            if (start < 0) start = x;
            continue;
        }
        if (start >= 0) {
            const int32_t e = x - 1;
            if (e - start > 1) f(start, e);
            start = -1;
        }
    }
}

inline bool Black(const CRawImage& img, int32_t x, int32_t y) {
    return (img.Row(y)[x >> 3] & (0x80 >> (x & 7))) != 0;
}

// Shifts the boxes of a row band back to image rows.
void ShiftRows(TextBoxList& boxes, int32_t dy) {
    for (TextBox& b : boxes) {
        b.top += dy;
        b.bottom += dy;
    }
}

}  // namespace

bool RefineLineExtents(const CRawImage& image, const CLineProperty& lineProperty, TextBoxList& lines) {
    if (!IsBinary(image)) return false;
    const int64_t minLen = lineProperty.MinLengthPx(), maxLen = lineProperty.MaxLengthPx();
    const int32_t n = image.width;
    std::vector<ProfileEntry> prof(static_cast<size_t>(n));
    size_t w = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        TextBox b = lines[i];
        b.left = 0;
        b.right = n;
        b.bottom = std::min(b.bottom, image.height);
        b.top = std::max(b.top, 0);
        if (b.top >= b.bottom) continue;
        // The column profile of the band rows [top, bottom), read through the
        // image's own row pointers instead of a copied band.
        std::fill(prof.begin(), prof.end(), ProfileEntry{});
        const int32_t bandH = b.bottom - b.top;
        ProfileRect rect{0, 0, n, bandH};
        if (!ColumnProfile(image.Rows() + b.top, n, bandH, prof.data(), rect)) continue;
        int64_t inked = 0, sum = 0;
        for (int32_t x = 0; x < n; ++x)
            if (prof[static_cast<size_t>(x)].count > 0) {
                ++inked;
                sum += prof[static_cast<size_t>(x)].count;
            }
        if (inked == 0 || inked <= n / 10) continue;
        const int64_t avg = sum / inked;
        if (avg <= 5) continue;
        const double v = static_cast<double>(avg) * 0.5;
        int32_t minS = n, maxE = 0;
        bool kept = false;
        ForEachRun(prof.data(), n, v, [&](int32_t s, int32_t e) {
            minS = std::min(minS, s);
            maxE = std::max(maxE, e);
            kept = true;
        });
        if (!kept) continue;  // no run of three columns: nothing to measure
        const int64_t length = static_cast<int64_t>(maxE) - minS;
        if (length < minLen || length > maxLen) continue;
        b.left = minS;
        b.right = maxE;
        lines[w++] = b;
    }
    lines.resize(w);
    return true;
}

// ---- CBinaryProjection ----

namespace {

bool FindProjectionLines(const CRawImage& strip, const CLineProperty& prop, TextBoxList& out) {
    const int32_t H = strip.height, W = strip.width;
    std::vector<ProfileEntry> rows(static_cast<size_t>(H));
    if (!RowProfile(strip, rows.data(), ProfileRect{0, 0, W, H})) return false;
    std::vector<float> P;
    SmoothGaussian(P, ProfileCounts(rows.data(), H), 2.0);
    if (static_cast<int32_t>(P.size()) != H) return false;

    TextBoxList boxes;
    std::vector<double> avgs;
    bool inside = false;
    int32_t s = 0;
    double sum = 0;
    auto close = [&](int32_t y) {
        const double avg = y != s ? sum / (y - s + 1) : sum;
        avgs.push_back(avg);
        if (s < y && P[static_cast<size_t>(s)] < avg / 3) s += 1;
        int32_t b = y;
        if (s <= y && P[static_cast<size_t>(y)] < avg / 3) b = y - 1;
        boxes.push_back(TextBox{0, s, W, b});
        sum = 0;
        s = y + 1;
        inside = false;
    };
    for (int32_t y = 0; y + 1 < H; ++y) {
        const float p = P[static_cast<size_t>(y)], next = P[static_cast<size_t>(y + 1)];
        if (p >= 5) {
            if (p <= next && inside) {
                close(y);
                continue;
            }
            if (p > next && !inside) inside = true;
            sum += p;
        } else if (inside) {
            close(y);
        } else {
            sum = 0;
            s = y;
        }
    }
    if (boxes.empty() || static_cast<int64_t>(boxes.size()) < prop.MinNum) return false;

    // Merge pass over consecutive boxes; the last box is never an A.
    const int64_t minH = prop.MinHeightPx(), maxH = prop.MaxHeightPx();
    const int64_t gapMax = std::max<int64_t>(prop.MaxSpacePx(), 5);
    TextBoxList merged;
    merged.reserve(boxes.size());
    TextBox a = boxes[0];
    double avgA = avgs[0];
    for (size_t j = 1; j < boxes.size(); ++j) {
        TextBox b = boxes[j];
        double avgB = avgs[j];
        const int64_t hA = static_cast<int64_t>(a.bottom) - a.top;
        bool keepA = false, mergeA = false;
        if (hA >= maxH) {
            keepA = false;
        } else {
            const int64_t gap = static_cast<int64_t>(b.top) - a.bottom;
            if (gap >= gapMax) {
                keepA = hA >= minH;
            } else {
                double m = 0;
                const int32_t y0 = std::max(a.bottom, 0), y1 = std::min(b.top, H - 1);
                for (int32_t y = y0; y <= y1; ++y) m += P[static_cast<size_t>(y)];
                m /= static_cast<double>(std::max<int64_t>(gap + 1, 1));
                const bool weak = avgA <= 0 || avgB <= 0 || m / avgA <= 0.65 || m / avgB <= 0.65;
                if (weak) {
                    keepA = hA >= minH;
                } else if (static_cast<int64_t>(b.bottom) - a.top > maxH) {
                    keepA = hA >= minH;
                } else {
                    mergeA = true;
                }
            }
        }
        if (mergeA) {
            const int64_t hB = static_cast<int64_t>(b.bottom) - b.top;
            if (hA + hB != 0)
                avgB = (static_cast<double>(hA) * avgA + static_cast<double>(hB) * avgB) /
                       static_cast<double>(hA + hB);
            b.top = a.top;
        } else if (keepA) {
            merged.push_back(a);
        }
        a = b;
        avgA = avgB;
    }
    merged.push_back(a);
    out = std::move(merged);
    return true;
}

}  // namespace

bool CBinaryProjection::LocateLines(const CRawImage& image, const CLineProperty& lineProperty,
                                    const CLineLocationInfo& range, TextBoxList& lines) {
    if (!IsBinary(image)) return false;
    RangeFrame f;
    if (!ComputeRangeFrame(image.width, image.height, range, f)) return false;
    CRawImage strip, band;
    if (!CropInto(image, strip, f.left, f.top, f.right, f.bottom)) return false;
    TextBoxList found;
    if (!FindProjectionLines(strip, lineProperty, found)) return false;
    if (!CropInto(image, band, 0, f.top, image.width, f.bottom)) return false;
    if (!RefineLineExtents(band, lineProperty, found)) return false;
    ShiftRows(found, f.top);
    lines = std::move(found);
    return true;
}

bool CBinaryProjection::LocateChars(const CRawImage& image, const CCharProperty& charProperty,
                                    TextBoxList& chars) {
    if (!IsBinary(image)) return false;
    chars.clear();
    const int32_t W = image.width, H = image.height;
    std::vector<ProfileEntry> cols(static_cast<size_t>(W));
    if (!ColumnProfile(image, cols.data(), ProfileRect{0, 0, W, H})) return false;
    int64_t inked = 0, sum = 0;
    for (const ProfileEntry& e : cols)
        if (e.count > 5) {
            ++inked;
            sum += e.count;
        }
    if (inked == 0) return false;
    const int64_t avg = sum / inked;
    if (avg <= 7) return false;
    const double m = static_cast<double>(avg) * 0.5;
    TextBoxList result;
    std::vector<ProfileEntry> rows(static_cast<size_t>(H));
    ForEachRun(cols.data(), W, m, [&](int32_t s, int32_t e) {
        // The band's rows, counted on columns [s, e) of the image itself.
        std::fill(rows.begin(), rows.end(), ProfileEntry{});
        if (!RowProfile(image, rows.data(), ProfileRect{s, 0, e, H})) return;
        int64_t total = 0;
        for (const ProfileEntry& r : rows) total += r.count;
        const int64_t g = total / H;
        if (g <= 1) return;
        const double h = static_cast<double>(g) * 0.6;
        {
            int32_t start = -1;
            for (int32_t y = 0; y < H; ++y) {
                const bool joins = y != H - 1 && rows[static_cast<size_t>(y)].count >= h;
                if (joins) {
                    if (start < 0) start = y;
                    continue;
                }
                if (start >= 0) {
                    if (y - 1 - start > 0) result.push_back(TextBox{s, start, e, y - 1});
                    start = -1;
                }
            }
        }
    });
    if (static_cast<int64_t>(result.size()) < charProperty.MinNum) return false;
    chars = std::move(result);
    return true;
}

// ---- CConnectedDomainAnalyzer ----

bool CConnectedDomainAnalyzer::LocateLines(const CRawImage&, const CLineProperty&, const CLineLocationInfo&,
                                           TextBoxList&) {
    return false;
}

bool CConnectedDomainAnalyzer::LocateChars(const CRawImage& image, const CCharProperty& charProperty,
                                           TextBoxList& chars) {
    if (!IsBinary(image)) return false;
    const int32_t W = image.width, H = image.height;
    const int64_t limit = std::max<int64_t>(4 * static_cast<int64_t>(charProperty.MaxNum), 140);
    std::vector<uint8_t> seen(static_cast<size_t>(W) * static_cast<size_t>(H), 0);
    std::vector<int32_t> queue;
    TextBoxList boxes;
    for (int32_t y = 0; y < H; ++y) {
        for (int32_t x = 0; x < W; ++x) {
            const size_t at = static_cast<size_t>(y) * static_cast<size_t>(W) + static_cast<size_t>(x);
            if (seen[at] || !Black(image, x, y)) continue;
            // Breadth-first fill over the 4-neighbours.
            TextBox b{x, y, x, y};
            int64_t pixels = 0;
            queue.clear();
            queue.push_back(static_cast<int32_t>(x));
            queue.push_back(static_cast<int32_t>(y));
            seen[at] = 1;
            for (size_t head = 0; head < queue.size(); head += 2) {
                const int32_t px = queue[head], py = queue[head + 1];
                ++pixels;
                b.left = std::min(b.left, px);
                b.right = std::max(b.right, px);
                b.top = std::min(b.top, py);
                b.bottom = std::max(b.bottom, py);
                const int32_t nx[4] = {px, px, px - 1, px + 1};
                const int32_t ny[4] = {py - 1, py + 1, py, py};
                for (int k = 0; k < 4; ++k) {
                    if (nx[k] < 0 || ny[k] < 0 || nx[k] >= W || ny[k] >= H) continue;
                    const size_t n =
                        static_cast<size_t>(ny[k]) * static_cast<size_t>(W) + static_cast<size_t>(nx[k]);
                    if (seen[n] || !Black(image, nx[k], ny[k])) continue;
                    seen[n] = 1;
                    queue.push_back(nx[k]);
                    queue.push_back(ny[k]);
                }
            }
            if (pixels > 4) {
                boxes.push_back(b);
                if (static_cast<int64_t>(boxes.size()) > limit) {  // too many: no need to label further
                    chars.clear();
                    return false;
                }
            }
        }
    }
    std::stable_sort(boxes.begin(), boxes.end(), [](const TextBox& a, const TextBox& b) {
        return a.left != b.left ? a.left < b.left : a.right < b.right;
    });
    chars = std::move(boxes);
    return true;
}

// ---- CGrayscaleDifference ----

namespace {

// Mean and standard deviation of the block [x0, x1) x [y0, y1) of an 8-bit
// image; an empty block leaves the previous values.
struct BlockStats {
    float mean = 0;
    float sd = 0;
};

void Measure(const CRawImage& img, int32_t x0, int32_t x1, int32_t y0, int32_t y1, BlockStats& s) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, img.width);
    y1 = std::min(y1, img.height);
    if (x1 <= x0 || y1 <= y0) return;
    double sum = 0, sq = 0;
    for (int32_t y = y0; y < y1; ++y) {
        const uint8_t* r = img.Row(y);
        for (int32_t x = x0; x < x1; ++x) {
            sum += r[x];
            sq += static_cast<double>(r[x]) * r[x];
        }
    }
    const double n = static_cast<double>(x1 - x0) * (y1 - y0);
    const float mean = static_cast<float>(sum / n);
    s.mean = mean;
    s.sd = std::sqrt(std::fabs(static_cast<float>(sq / n) - mean * mean));
}

// Mean and sd from column sums over [x0, x1) (prefix arrays of length W + 1).
void MeasureColumns(const std::vector<double>& ps, const std::vector<double>& pq, int32_t rows, int32_t x0,
                    int32_t x1, BlockStats& s) {
    const int32_t W = static_cast<int32_t>(ps.size()) - 1;
    x0 = std::max(x0, 0);
    x1 = std::min(x1, W);
    if (x1 <= x0 || rows <= 0) return;
    const double n = static_cast<double>(x1 - x0) * rows;
    const float mean = static_cast<float>((ps[static_cast<size_t>(x1)] - ps[static_cast<size_t>(x0)]) / n);
    const float sq = static_cast<float>((pq[static_cast<size_t>(x1)] - pq[static_cast<size_t>(x0)]) / n);
    s.mean = mean;
    s.sd = std::sqrt(std::fabs(sq - mean * mean));
}

bool FindGrayLines(const CRawImage& strip, const CLineProperty& prop, TextBoxList& out) {
    const int32_t W = strip.width, H = strip.height;
    std::vector<float> M(static_cast<size_t>(H)), S(static_cast<size_t>(H));
    double sumM = 0, sumS = 0;
    BlockStats st;
    for (int32_t y = 0; y < H; ++y) {
        Measure(strip, 0, W, y, y + 1, st);
        M[static_cast<size_t>(y)] = st.mean;
        S[static_cast<size_t>(y)] = st.sd;
        sumM += st.mean;
        sumS += st.sd;
    }
    const float meanAll = static_cast<float>(sumM / std::max(H, 1));
    const float sdAll = static_cast<float>(sumS / std::max(H, 1));

    std::vector<int32_t> seeds;
    for (int32_t k = 0; k + 5 < H; ++k) {
        if (seeds.size() >= 200) return false;
        const int32_t lo = std::max(k - 5, 0), hi = std::min(k + 5, H - 1);
        bool darkest = true;
        for (int32_t j = lo; j <= hi && darkest; ++j)
            if (M[static_cast<size_t>(j)] < M[static_cast<size_t>(k)]) darkest = false;
        if (darkest) seeds.push_back(k);
    }

    const int64_t minH = prop.MinHeightPx(), maxH = prop.MaxHeightPx(), spaceMax = prop.MinSpacePx();
    auto m = [&](int32_t y) { return M[static_cast<size_t>(y)]; };
    auto s = [&](int32_t y) { return S[static_cast<size_t>(y)]; };
    TextBoxList boxes;
    for (int32_t k : seeds) {
        const int64_t lo = std::max<int64_t>(k - minH / 2, 0), hi = std::min<int64_t>(k + minH / 2, H - 1);
        if (hi < lo) continue;
        double acc = 0;
        for (int64_t y = lo; y <= hi; ++y) acc += S[static_cast<size_t>(y)];
        const double avgS = acc / static_cast<double>(hi - lo + 1);
        if (!(avgS >= sdAll * 8.0 / 9.0)) continue;
        if (!boxes.empty() && !(k > boxes.back().bottom - 10)) continue;

        // Grow the line from its starting row.
        int32_t top = k, bottom = k;
        bool up = true, down = true;
        for (int64_t guard = 0; bottom - top < maxH && guard < 4 * static_cast<int64_t>(H) + 8; ++guard) {
            if (s(bottom) > s(top)) {
                if (s(bottom) < 0.8f * sdAll || m(bottom) > 1.25f * meanAll || bottom >= H - 1)
                    down = false;
                else
                    ++bottom;
            } else {
                if (s(top) < 0.8f * sdAll || m(top) > 1.25f * meanAll || top < 1)
                    up = false;
                else
                    --top;
            }
            if (s(bottom) <= s(top) && (top == 0 || !up)) down = false;
            if (s(bottom) <= s(top) || (bottom != H - 1 && down)) {
                if (!up && !down) break;
            } else {
                up = false;
                if (!down) break;
            }
        }
        if (0.8 * static_cast<double>(minH) < bottom - top && bottom - top < minH) {
            const float t = 0.7f * sdAll;
            if (s(top) >= t) {
                while (m(top) <= 1.25f * meanAll && top >= 1 && bottom - top <= maxH) {
                    --top;
                    if (s(top) < t) break;
                }
            }
            if (!(s(bottom) < t)) {
                while (m(bottom) <= 1.25f * meanAll && bottom < H - 1 && bottom - top <= maxH) {
                    ++bottom;
                    if (s(bottom) < t) break;
                }
            }
        }
        if (bottom - top < minH) continue;

        const TextBox n{0, top, W, bottom};
        if (boxes.empty()) {
            boxes.push_back(n);
            continue;
        }
        TextBox& L = boxes.back();
        const int64_t gap = static_cast<int64_t>(n.top) - L.bottom;
        const TextBox u{0, std::min(L.top, n.top), W, std::max(L.bottom, n.bottom)};
        const int64_t uH = static_cast<int64_t>(u.bottom) - u.top;
        if (uH <= maxH && gap <= spaceMax) {
            L.top = u.top;
            L.bottom = u.bottom;
        } else if (gap >= 0) {
            boxes.push_back(n);
        } else {
            const int64_t o = -gap * 100;
            const int64_t d1 = o / std::max<int64_t>(L.Height(), 1);
            const int64_t d2 = o / std::max<int64_t>(n.Height(), 1);
            const int64_t r = std::max(d1, d2);
            if (r < 20) {
                if (static_cast<double>(uH) > 1.2 * static_cast<double>(maxH)) {
                    boxes.push_back(n);
                } else {
                    L.top = u.top;
                    L.bottom = u.bottom;
                }
            } else if (r < 60) {
                boxes.push_back(n);
            } else if (d1 < d2) {
                L = n;
            }
        }
    }
    out = std::move(boxes);
    return true;
}

bool RefineGrayLines(const CRawImage& img, const CLineProperty& prop, TextBoxList& lines) {
    if (!img.HasPixels() || img.bitCount != 8) return false;
    const int32_t W = img.width;
    const int64_t minLen = prop.MinLengthPx();
    const int32_t d = std::max(W / 40, 1);
    std::vector<double> ps(static_cast<size_t>(W) + 1), pq(static_cast<size_t>(W) + 1);
    size_t keep = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        TextBox b = lines[i];
        const int32_t y0 = std::max(b.top, 0), y1 = std::min(b.bottom, img.height);
        const int32_t rows = y1 - y0;
        // Column sums of the box rows, so that every block costs O(1).
        std::fill(ps.begin(), ps.end(), 0.0);
        std::fill(pq.begin(), pq.end(), 0.0);
        for (int32_t y = y0; y < y1; ++y) {
            const uint8_t* r = img.Row(y);
            for (int32_t x = 0; x < W; ++x) {
                ps[static_cast<size_t>(x) + 1] += r[x];
                pq[static_cast<size_t>(x) + 1] += static_cast<double>(r[x]) * r[x];
            }
        }
        for (int32_t x = 0; x < W; ++x) {
            ps[static_cast<size_t>(x) + 1] += ps[static_cast<size_t>(x)];
            pq[static_cast<size_t>(x) + 1] += pq[static_cast<size_t>(x)];
        }
        BlockStats line, block;
        MeasureColumns(ps, pq, rows, 0, W, line);
        int32_t c = W;
        for (int32_t off = W; off >= W / 7 + 1; --off) {
            MeasureColumns(ps, pq, rows, off - d, off, block);
            if (line.mean * 10.0f / 9.0f >= block.mean && line.sd * 2.0f / 3.0f <= block.sd) {
                c = std::min(W, off + 10);
                break;
            }
        }
        MeasureColumns(ps, pq, rows, 0, c, line);
        int32_t left = 0;
        for (int32_t off = 0; off < c / 2; ++off) {
            MeasureColumns(ps, pq, rows, off, off + d, block);
            if (line.mean * 10.0f / 9.0f >= block.mean && line.sd / 3.0f <= block.sd) {
                left = std::max(off - 5, 0);
                break;
            }
        }
        if (static_cast<int64_t>(c) - left < minLen) continue;
        b.left = left;
        b.right = c;
        lines[keep++] = b;
    }
    lines.resize(keep);
    return true;
}

}  // namespace

bool CGrayscaleDifference::LocateLines(const CRawImage& image, const CLineProperty& lineProperty,
                                       const CLineLocationInfo& range, TextBoxList& lines) {
    if (!image.HasPixels() || image.bitCount != 8 || image.width < 1 || image.height < 1) return false;
    RangeFrame f;
    if (!ComputeRangeFrame(image.width, image.height, range, f)) return false;
    CRawImage strip, band;
    if (!CropInto(image, strip, f.left, f.top, f.right, f.bottom)) return false;
    TextBoxList found;
    if (!FindGrayLines(strip, lineProperty, found)) return false;
    if (!CropInto(image, band, 0, f.top, image.width, f.bottom)) return false;
    if (!RefineGrayLines(band, lineProperty, found)) return false;
    ShiftRows(found, f.top);
    lines = std::move(found);
    return true;
}

bool CGrayscaleDifference::LocateChars(const CRawImage&, const CCharProperty&, TextBoxList&) { return false; }

}  // namespace libMorvaneClassifier

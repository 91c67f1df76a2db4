#include "preprocess/ZoneFinder.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "image/ConnectAnalyzer.h"

namespace libMorvaneClassifier {

namespace {

constexpr double kMaxSlope = 0.2679;       // tan(15 degrees)
constexpr size_t kMaxComponents = 400000;  // beyond this the page is noise, not text

struct Piece {
    int32_t left, top, right, bottom;
    double cx, cy;
    int32_t h, w;
    int32_t next = -1, prev = -1;
};

bool Black(const CRawImage& img, int32_t x, int32_t y) { return (img.Row(y)[x >> 3] >> (7 - (x & 7))) & 1; }

// +1 for a chevron pointing left ('<'), -1 pointing right ('>'), 0 for
// anything else. At its point a chevron has ink only in its middle rows; at
// its open side ink near the top and the bottom and none in the middle
// (letters such as K, L, J or X fail one of the two).
int ChevronDirection(const CRawImage& img, const ZoneGlyph& g) {
    const int32_t w = g.right - g.left, h = g.bottom - g.top;
    if (w < 3 || h < 4) return 0;
    const int32_t q = std::max(1, w / 4);
    const int32_t midTop = g.top + h / 2 - std::max(1, h / 6),
                  midBottom = g.top + (h + 1) / 2 + std::max(1, h / 6);
    // Inked rows of columns [x0, x1): in the middle band, above it, below it.
    auto rows = [&](int32_t x0, int32_t x1, int32_t& above, int32_t& middle, int32_t& below) {
        above = middle = below = 0;
        for (int32_t y = g.top; y < g.bottom; ++y) {
            bool ink = false;
            for (int32_t x = x0; x < x1 && !ink; ++x) ink = Black(img, x, y);
            if (!ink) continue;
            if (y < midTop)
                ++above;
            else if (y >= midBottom)
                ++below;
            else
                ++middle;
        }
    };
    int32_t la, lm, lb, ra, rm, rb;
    rows(g.left, g.left + q, la, lm, lb);
    rows(g.right - q, g.right, ra, rm, rb);
    auto point = [](int32_t a, int32_t m, int32_t b) { return m > 0 && a <= 1 && b <= 1; };
    auto open = [](int32_t a, int32_t m, int32_t b) { return a > 0 && b > 0 && m == 0; };
    if (point(la, lm, lb) && open(ra, rm, rb)) return 1;
    if (point(ra, rm, rb) && open(la, lm, lb)) return -1;
    return 0;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    const size_t m = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(m), v.end());
    return v[m];
}

// Least-squares line through the glyph centres.
void FitLine(ZoneLine& line) {
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    const double n = static_cast<double>(line.glyphs.size());
    for (const ZoneGlyph& g : line.glyphs) {
        const double x = 0.5 * (g.left + g.right), y = 0.5 * (g.top + g.bottom);
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double d = n * sxx - sx * sx;
    line.slope = d > 1e-9 ? (n * sxy - sx * sy) / d : 0.0;
    line.centre = (sy - line.slope * sx) / n;
}

// Glyph height, pitch, box and fillers of a line from its glyphs.
void Measure(ZoneLine& line) {
    std::vector<double> hs, ds;
    for (const ZoneGlyph& g : line.glyphs) hs.push_back(g.bottom - g.top);
    std::sort(hs.begin(), hs.end());
    // Full-height glyphs are the upper part of the heights; fillers are lower.
    line.height = hs.empty() ? 0.0 : hs[hs.size() * 3 / 4];
    for (size_t i = 1; i < line.glyphs.size(); ++i)
        ds.push_back(0.5 * (line.glyphs[i].left + line.glyphs[i].right - line.glyphs[i - 1].left -
                            line.glyphs[i - 1].right));
    line.pitch = Median(ds);
    line.left = line.top = INT32_MAX;
    line.right = line.bottom = INT32_MIN;
    line.fillers = 0;
    for (const ZoneGlyph& g : line.glyphs) {
        line.left = std::min(line.left, g.left);
        line.top = std::min(line.top, g.top);
        line.right = std::max(line.right, g.right);
        line.bottom = std::max(line.bottom, g.bottom);
        line.fillers += g.filler ? 1 : 0;
    }
    FitLine(line);
}

// A glyph of a zone line with height H and pitch P: full height, or a filler
// (lower, about a pitch wide at most), centred on the line.
bool FitsLine(const ZoneGlyph& g, double H, double P, double lineY) {
    const double h = g.bottom - g.top, w = g.right - g.left, cy = 0.5 * (g.top + g.bottom);
    if (std::fabs(cy - lineY) > 0.35 * H) return false;
    if (w > 1.6 * P) return false;
    if (h >= 0.72 * H && h <= 1.3 * H) return true;
    return h >= 0.35 * H && h < 0.72 * H && w >= 0.3 * P;
}

// Cuts a chain to its glyphs: drops members that do not fit the line's
// height and centre, then end members farther from their neighbour than
// the pitch allows (a border or a mark beside the zone).
void CutToGlyphs(ZoneLine& line) {
    for (int pass = 0; pass < 2 && line.glyphs.size() >= 3; ++pass) {
        Measure(line);
        const double H = line.height, P = line.pitch;
        std::vector<ZoneGlyph> kept;
        for (const ZoneGlyph& g : line.glyphs) {
            const double cx = 0.5 * (g.left + g.right);
            if (FitsLine(g, H, P, line.centre + line.slope * cx)) kept.push_back(g);
        }
        line.glyphs.swap(kept);
    }
    if (line.glyphs.size() < 3) return;
    Measure(line);
    auto gap = [&](size_t a, size_t b) {
        return 0.5 *
               (line.glyphs[b].left + line.glyphs[b].right - line.glyphs[a].left - line.glyphs[a].right);
    };
    while (line.glyphs.size() >= 3 && gap(0, 1) > 1.6 * line.pitch) line.glyphs.erase(line.glyphs.begin());
    while (line.glyphs.size() >= 3 && gap(line.glyphs.size() - 2, line.glyphs.size() - 1) > 1.6 * line.pitch)
        line.glyphs.pop_back();
    Measure(line);
}

bool FindZoneOn(const CRawImage& binary, ZoneFound& zone, int32_t minGlyphs, int32_t minHeight,
                int32_t maxHeight);

}  // namespace

bool OpenThinStrokes(const CRawImage& src, CRawImage& dst, int32_t k) try {
    if (!src.HasPixels() || src.bitCount != 1 || k < 1) return false;
    const int32_t w = src.width, h = src.height;
    if (!dst.Create(w, h, 1, src.xResolution)) return false;
    dst.yResolution = src.yResolution;
    std::vector<uint8_t> a(static_cast<size_t>(w) * static_cast<size_t>(h)), b(a.size());
    auto at = [w](std::vector<uint8_t>& v, int32_t x, int32_t y) -> uint8_t& {
        return v[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)];
    };
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) at(a, x, y) = Black(src, x, y) ? 1 : 0;
    // Erosion: black where the k pixels from here to the right (then
    // downwards) are all black, counted as runs of black from the far end.
    for (int32_t y = 0; y < h; ++y) {
        int32_t run = 0;
        for (int32_t x = w - 1; x >= 0; --x) {
            run = at(a, x, y) ? run + 1 : 0;
            at(b, x, y) = run >= k;
        }
    }
    for (int32_t x = 0; x < w; ++x) {
        int32_t run = 0;
        for (int32_t y = h - 1; y >= 0; --y) {
            run = at(b, x, y) ? run + 1 : 0;
            at(a, x, y) = run >= k;
        }
    }
    // Dilation: black where any of the k pixels from here to the left (then
    // upwards) is black.
    for (int32_t y = 0; y < h; ++y) {
        int32_t since = k;
        for (int32_t x = 0; x < w; ++x) {
            since = at(a, x, y) ? 0 : since + 1;
            at(b, x, y) = since < k;
        }
    }
    for (int32_t x = 0; x < w; ++x) {
        int32_t since = k;
        for (int32_t y = 0; y < h; ++y) {
            since = at(b, x, y) ? 0 : since + 1;
            if (since < k) dst.Row(y)[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
    }
    return true;
} catch (const std::bad_alloc&) {
    dst.Free();
    return false;
}

bool FindMachineReadableZone(const CRawImage& binary, ZoneFound& zone, int32_t minGlyphs, int32_t minHeight,
                             int32_t maxHeight) try {
    zone = ZoneFound{};
    if (!binary.HasPixels() || binary.bitCount != 1 || binary.width < 8 || binary.height < 8) return false;
    if (FindZoneOn(binary, zone, minGlyphs, minHeight, maxHeight)) return true;
    // No zone as the page lies: perhaps patterned print behind it, joined
    // to the glyphs by binarisation. Once more without strokes thinner than
    // 2, then 3 pixels. Pages whose zone is found at once are not touched.
    for (int32_t k : {2, 3}) {
        CRawImage opened;
        if (!OpenThinStrokes(binary, opened, k)) return false;
        if (FindZoneOn(opened, zone, minGlyphs, minHeight, maxHeight)) {
            zone.opened = k;
            return true;
        }
    }
    zone = ZoneFound{};
    return false;
} catch (const std::bad_alloc&) {
    zone = ZoneFound{};
    return false;
}

namespace {

bool FindZoneOn(const CRawImage& binary, ZoneFound& zone, int32_t minGlyphs, int32_t minHeight,
                int32_t maxHeight) {
    zone = ZoneFound{};
    CConnectAnalyzer analyzer(&binary);
    analyzer.areaRight = binary.width;
    analyzer.areaBottom = binary.height;
    if (!analyzer.Analyze() || analyzer.Components().size() > kMaxComponents) return false;

    // Glyph-sized components.
    const int32_t hMin = std::max(6, minHeight);
    const int32_t hMax = maxHeight > 0 ? maxHeight : std::max(hMin + 1, binary.height / 5);
    std::vector<Piece> pieces;
    for (const ComponentRecord& c : analyzer.Components()) {
        const int32_t w = c.right - c.left, h = c.bottom - c.top + 1;
        if (h < std::max(4, hMin * 2 / 3) || h > hMax || w < 1 || w > 2 * h + 2) continue;
        Piece p{c.left, c.top, c.right, c.top + h, 0.5 * (c.left + c.right), c.top + 0.5 * h, h, w};
        pieces.push_back(p);
    }
    if (pieces.size() < static_cast<size_t>(2 * minGlyphs)) return false;
    std::sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.cx < b.cx; });

    // Nearest right neighbour of each piece, kept when it is mutual.
    const size_t n = pieces.size();
    std::vector<int32_t> right(n, -1), left(n, -1);
    std::vector<double> rightDist(n, 1e300), leftDist(n, 1e300);
    for (size_t i = 0; i < n; ++i) {
        const Piece& a = pieces[i];
        for (size_t j = i + 1; j < n; ++j) {
            const Piece& b = pieces[j];
            const double dx = b.cx - a.cx;
            if (dx > 4.0 * a.h) break;
            const double hm = std::max(a.h, b.h);
            if (dx > 1.8 * hm) continue;
            if (dx < 0.3 * std::min(a.h, b.h)) continue;
            const double ratio = static_cast<double>(std::max(a.h, b.h)) / std::min(a.h, b.h);
            if (ratio > 2.4) continue;
            const double dy = std::fabs(b.cy - a.cy);
            if (dy > kMaxSlope * dx + 0.2 * hm) continue;
            const double d = dx + 2.0 * dy;
            if (d < rightDist[i]) {
                rightDist[i] = d;
                right[i] = static_cast<int32_t>(j);
            }
            if (d < leftDist[j]) {
                leftDist[j] = d;
                left[j] = static_cast<int32_t>(i);
            }
        }
    }
    for (size_t i = 0; i < n; ++i)
        if (right[i] >= 0 && left[static_cast<size_t>(right[i])] == static_cast<int32_t>(i)) {
            pieces[i].next = right[i];
            pieces[static_cast<size_t>(right[i])].prev = static_cast<int32_t>(i);
        }

    // Chains of linked pieces.
    std::vector<ZoneLine> chains;
    for (size_t i = 0; i < n; ++i) {
        if (pieces[i].prev >= 0) continue;
        ZoneLine line;
        for (int32_t k = static_cast<int32_t>(i); k >= 0; k = pieces[static_cast<size_t>(k)].next) {
            const Piece& p = pieces[static_cast<size_t>(k)];
            line.glyphs.push_back(ZoneGlyph{p.left, p.top, p.right, p.bottom, false});
        }
        if (line.glyphs.size() >= 5) {
            Measure(line);
            chains.push_back(std::move(line));
        }
    }
    std::sort(chains.begin(), chains.end(),
              [](const ZoneLine& a, const ZoneLine& b) { return a.left < b.left; });

    // Chains continuing one another across a lost glyph are joined.
    bool joined = true;
    while (joined) {
        joined = false;
        for (size_t a = 0; a < chains.size() && !joined; ++a)
            for (size_t b = 0; b < chains.size() && !joined; ++b) {
                if (a == b || chains[a].glyphs.empty() || chains[b].glyphs.empty()) continue;
                ZoneLine& A = chains[a];
                ZoneLine& B = chains[b];
                if (B.left < A.right) continue;
                const double H = std::max(A.height, B.height), P = std::max(A.pitch, B.pitch);
                if (std::fabs(A.height - B.height) > 0.25 * H || std::fabs(A.pitch - B.pitch) > 0.25 * P)
                    continue;
                const double gap = B.left - A.right;
                if (gap > 4.0 * P) continue;
                const ZoneGlyph& g = B.glyphs.front();
                const double bx = 0.5 * (g.left + g.right), by = 0.5 * (g.top + g.bottom);
                if (std::fabs(A.centre + A.slope * bx - by) > 0.4 * H) continue;
                A.glyphs.insert(A.glyphs.end(), B.glyphs.begin(), B.glyphs.end());
                B.glyphs.clear();
                Measure(A);
                joined = true;
            }
    }

    std::vector<ZoneLine> lines;
    for (ZoneLine& c : chains) {
        if (c.glyphs.size() < static_cast<size_t>(minGlyphs)) continue;
        CutToGlyphs(c);
        if (c.glyphs.size() < static_cast<size_t>(minGlyphs) || c.pitch <= 0 || c.height <= 0) continue;
        // Equal pitch: most neighbours one pitch apart.
        int32_t regular = 0;
        for (size_t i = 1; i < c.glyphs.size(); ++i) {
            const double d =
                0.5 * (c.glyphs[i].left + c.glyphs[i].right - c.glyphs[i - 1].left - c.glyphs[i - 1].right);
            if (std::fabs(d - c.pitch) < 0.3 * c.pitch) ++regular;
        }
        if (regular * 10 < static_cast<int32_t>(c.glyphs.size() - 1) * 7) continue;
        if (c.pitch < 0.45 * c.height || c.pitch > 1.3 * c.height) continue;
        // Fillers: lower than full height and shaped like a chevron.
        int32_t dir = 0;
        for (ZoneGlyph& g : c.glyphs) {
            const int d = ChevronDirection(binary, g);
            if (d != 0) {
                g.filler = true;
                dir += d;
            }
        }
        Measure(c);
        (void)dir;
        lines.push_back(std::move(c));
    }
    if (lines.size() < 2) return false;
    std::sort(lines.begin(), lines.end(), [](const ZoneLine& a, const ZoneLine& b) {
        return a.centre + a.slope * 0.5 * (a.left + a.right) < b.centre + b.slope * 0.5 * (b.left + b.right);
    });

    // Zones: consecutive lines alike in slope, height and pitch, close
    // together and overlapping. The one with the most glyphs and fillers wins.
    double best = -1;
    size_t bestStart = 0, bestCount = 0;
    for (size_t s = 0; s < lines.size(); ++s) {
        size_t count = 1;
        for (size_t k = s + 1; k < lines.size() && count < 3; ++k) {
            const ZoneLine& a = lines[k - 1];
            const ZoneLine& b = lines[k];
            const double H = std::max(a.height, b.height), P = std::max(a.pitch, b.pitch);
            if (std::fabs(a.height - b.height) > 0.25 * H || std::fabs(a.pitch - b.pitch) > 0.2 * P) break;
            if (std::fabs(std::atan(a.slope) - std::atan(b.slope)) > 0.04) break;
            const double mid = 0.5 * (std::max(a.left, b.left) + std::min(a.right, b.right));
            const double dist = (b.centre + b.slope * mid) - (a.centre + a.slope * mid);
            if (dist < 1.1 * H || dist > 3.5 * H) break;
            const double overlap = std::min(a.right, b.right) - std::max(a.left, b.left);
            if (overlap < 0.5 * std::min(a.right - a.left, b.right - b.left)) break;
            ++count;
        }
        if (count < 2) continue;
        int32_t glyphs = 0, fillers = 0;
        for (size_t k = s; k < s + count; ++k) {
            glyphs += static_cast<int32_t>(lines[k].glyphs.size());
            fillers += lines[k].fillers;
        }
        if (fillers < 2) continue;
        const double score = glyphs + 2.0 * fillers;
        if (score > best) {
            best = score;
            bestStart = s;
            bestCount = count;
        }
    }
    if (best < 0) return false;

    // Three lines only when the three are about the same length (TD1);
    // otherwise the pair with the most glyphs.
    if (bestCount == 3) {
        const double l0 = lines[bestStart].glyphs.size(), l1 = lines[bestStart + 1].glyphs.size(),
                     l2 = lines[bestStart + 2].glyphs.size();
        const double lo = std::min({l0, l1, l2}), hi = std::max({l0, l1, l2});
        if (lo < 0.75 * hi) {
            if (l0 + l1 >= l1 + l2) {
                bestCount = 2;
            } else {
                ++bestStart;
                bestCount = 2;
            }
        }
    }
    int32_t dir = 0;
    double slope = 0;
    for (size_t k = bestStart; k < bestStart + bestCount; ++k) {
        ZoneLine& l = lines[k];
        for (const ZoneGlyph& g : l.glyphs)
            if (g.filler) dir += ChevronDirection(binary, g);
        slope += l.slope;
        zone.glyphs += static_cast<int32_t>(l.glyphs.size());
        zone.fillers += l.fillers;
        zone.charHeight += l.height / static_cast<double>(bestCount);
        zone.pitch += l.pitch / static_cast<double>(bestCount);
        zone.lines.push_back(std::move(l));
    }
    zone.angle = std::atan(slope / static_cast<double>(bestCount)) * 180.0 / 3.14159265358979323846;
    zone.upsideDown = dir < 0;
    return true;
}

}  // namespace

}  // namespace libMorvaneClassifier

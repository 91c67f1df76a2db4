#include "preprocess/FindDocument.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "image/Warp.h"
#include "image/simd/SimdKernels.h"
#include "preprocess/ScanSteps.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

// ---- record ----------------------------------------------------------------

CFindDocumentInfo::CFindDocumentInfo() : CImageProcessingInfo(kStepFindDocument) {}

void CFindDocumentInfo::ListParameters(ParameterList& list) {
    BeginParameters(list, u"FindDocument");
    AddParameter(list, u"Bed", &bed, kParamInteger);
    AddParameter(list, u"Straighten", &straighten, kParamFlag);
    AddParameter(list, u"MaxAngle", &maxAngle, kParamInteger);
    AddParameter(list, u"Contrast", &contrast, kParamInteger);
}

void CFindDocumentInfo::Assign(const CImageProcessingInfo& other) {
    if (&other == this) return;
    CImageProcessingInfo::Assign(other);
    if (auto* o = dynamic_cast<const CFindDocumentInfo*>(&other)) {
        bed = o->bed;
        straighten = o->straighten;
        maxAngle = o->maxAngle;
        contrast = o->contrast;
    }
}

bool CFindDocumentInfo::ReadXml(CXmlDocument& xml) {
    if (!xml.FindElement(u"FindDocument")) return false;
    bed = xml.ReadIntAttribute(u"Bed");
    straighten = xml.ReadIntAttribute(u"Straighten");
    maxAngle = xml.ReadIntAttribute(u"MaxAngle");
    contrast = xml.ReadIntAttribute(u"Contrast");
    return true;
}

bool CFindDocumentInfo::WriteXml(CXmlDocument& xml) const {
    return xml.AppendElement(u"FindDocument") && xml.WriteAttribute(u"Bed", bed) &&
           xml.WriteAttribute(u"Straighten", straighten) && xml.WriteAttribute(u"MaxAngle", maxAngle) &&
           xml.WriteAttribute(u"Contrast", contrast);
}

// ---- measuring ---------------------------------------------------------------

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kReducedSide = 640;  // longer side of the reduced copy, about
constexpr int32_t kMinReduced = 16;    // smaller reduced images are not searched

// Gray copy reduced by an integer factor: each pixel is the mean of an f x f
// block (gray = (B + 2G + R) / 4 for colour, 0 / 255 for 1-bit).
// Beside the mean, the darkest pixel of each block: a document's thin edge
// shadow on white glass survives in it where a mean would wash it out.
struct Reduced {
    int32_t w = 0, h = 0, f = 1;
    std::vector<uint8_t> px;
    std::vector<uint8_t> mn;
    uint8_t at(int32_t x, int32_t y) const { return px[static_cast<size_t>(y) * w + x]; }
};

// Gray sum B + 2G + R (0 .. 1020) of each pixel of a 24-bit row.
void GraySums24(const uint8_t* __restrict row, int32_t n, uint16_t* __restrict g) {
    for (int32_t x = simd::Active().graySumRow24(row, n, g); x < n; ++x)
        g[x] = static_cast<uint16_t>(row[3 * x] + 2 * row[3 * x + 1] + row[3 * x + 2]);
}

// Four times each pixel of an 8-bit row, on the same scale.
void GraySums8(const uint8_t* __restrict row, int32_t n, uint16_t* __restrict g) {
    for (int32_t x = 0; x < n; ++x) g[x] = static_cast<uint16_t>(4 * row[x]);
}

// Column sums and minima over the rows of a band (plain loops over whole
// rows, which the compiler vectorises).
void AddColumns(const uint16_t* __restrict g, int32_t n, uint32_t* __restrict sum, uint16_t* __restrict mn) {
    for (int32_t x = 0; x < n; ++x) {
        sum[x] += g[x];
        mn[x] = std::min(mn[x], g[x]);
    }
}

bool Reduce(const CRawImage& img, Reduced* out) {
    const int32_t longer = std::max(img.width, img.height);
    const int32_t f = std::max(1, (longer + kReducedSide - 1) / kReducedSide);
    const int32_t w = img.width / f, h = img.height / f;
    if (w < kMinReduced || h < kMinReduced) return false;
    out->w = w;
    out->h = h;
    out->f = f;
    out->px.assign(static_cast<size_t>(w) * h, 0);
    out->mn.assign(static_cast<size_t>(w) * h, 255);
    // Per source column over the f rows of a band: the sum and the minimum
    // of the gray sums; then f columns at a time into the reduced pixel.
    const int32_t n = w * f;
    std::vector<uint16_t> g(static_cast<size_t>(n));
    std::vector<uint32_t> colSum(static_cast<size_t>(n));
    std::vector<uint16_t> colMin(static_cast<size_t>(n));
    const uint32_t area = static_cast<uint32_t>(f) * static_cast<uint32_t>(f);
    for (int32_t by = 0; by < h; ++by) {
        std::fill(colSum.begin(), colSum.end(), 0u);
        std::fill(colMin.begin(), colMin.end(), static_cast<uint16_t>(1020));
        for (int32_t dy = 0; dy < f; ++dy) {
            const uint8_t* row = img.Row(by * f + dy);
            if (img.bitCount == 24) {
                GraySums24(row, n, g.data());
            } else if (img.bitCount == 8) {
                GraySums8(row, n, g.data());
            } else {
                for (int32_t x = 0; x < n; ++x)
                    g[static_cast<size_t>(x)] = (row[x >> 3] & (0x80 >> (x & 7))) ? 0 : 1020;
            }
            AddColumns(g.data(), n, colSum.data(), colMin.data());
        }
        uint8_t* dst = &out->px[static_cast<size_t>(by) * w];
        uint8_t* mn = &out->mn[static_cast<size_t>(by) * w];
        for (int32_t bx = 0; bx < w; ++bx) {
            uint32_t s = 0;
            uint16_t m = 1020;
            for (int32_t dx = 0; dx < f; ++dx) {
                const size_t x = static_cast<size_t>(bx) * f + dx;
                s += colSum[x];
                m = std::min(m, colMin[x]);
            }
            dst[bx] = static_cast<uint8_t>(s / (4u * area));
            mn[bx] = static_cast<uint8_t>(m >> 2);
        }
    }
    return true;
}

// The gray level below which `fraction` of the histogram's count lies.
int Percentile(const uint32_t (&hist)[256], uint64_t total, double fraction) {
    const uint64_t want = static_cast<uint64_t>(fraction * static_cast<double>(total));
    uint64_t seen = 0;
    for (int v = 0; v < 256; ++v) {
        seen += hist[v];
        if (seen > want) return v;
    }
    return 255;
}

struct Point {
    int32_t x, y;
};

// Extents of the points along the axes turned by `angle` (see Frame).
struct Extent {
    double u0, u1, v0, v1;
    double Area() const { return (u1 - u0 + 1) * (v1 - v0 + 1); }
};

// u runs along the document's top edge, v down its left edge: for a
// document whose top edge rises to the right by a, u = x cos a - y sin a and
// v = x sin a + y cos a are level coordinates.
Extent ExtentAt(const std::vector<Point>& pts, double a) {
    const double c = std::cos(a), s = std::sin(a);
    Extent e{1e300, -1e300, 1e300, -1e300};
    for (const Point& p : pts) {
        const double u = p.x * c - p.y * s, v = p.x * s + p.y * c;
        e.u0 = std::min(e.u0, u);
        e.u1 = std::max(e.u1, u);
        e.v0 = std::min(e.v0, v);
        e.v1 = std::max(e.v1, v);
    }
    return e;
}

// The angle of the smallest enclosing rectangle of the points, searched over
// -maxRad .. maxRad.
double MinAreaAngle(const std::vector<Point>& pts, double maxRad) {
    const double coarse = 0.5 * kPi / 180;
    double best = 0, bestArea = ExtentAt(pts, 0).Area();
    for (double a = -maxRad; a <= maxRad + 1e-12; a += coarse) {
        const double area = ExtentAt(pts, a).Area();
        if (area < bestArea) {
            bestArea = area;
            best = a;
        }
    }
    const double fine = 0.02 * kPi / 180;
    const double centre = best;
    for (double a = centre - coarse; a <= centre + coarse + 1e-12; a += fine) {
        if (std::fabs(a) > maxRad) continue;
        const double area = ExtentAt(pts, a).Area();
        if (area < bestArea) {
            bestArea = area;
            best = a;
        }
    }
    return best;
}

// A connected region of the mask with its bounding box.
struct Region {
    int32_t label = 0;
    int64_t count = 0;
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // inclusive
    int64_t BoxArea() const { return static_cast<int64_t>(x1 - x0 + 1) * (y1 - y0 + 1); }
};

// 8-connected labelling of a 0/1 mask (labels from 1) with an explicit stack.
std::vector<Region> Label(const std::vector<uint8_t>& mask, int32_t w, int32_t h,
                          std::vector<int32_t>* labels) {
    labels->assign(mask.size(), 0);
    std::vector<Region> regions;
    std::vector<int32_t> stack;
    for (int32_t start = 0; start < w * h; ++start) {
        if (!mask[static_cast<size_t>(start)] || (*labels)[static_cast<size_t>(start)]) continue;
        Region r;
        r.label = static_cast<int32_t>(regions.size()) + 1;
        r.x0 = r.x1 = start % w;
        r.y0 = r.y1 = start / w;
        (*labels)[static_cast<size_t>(start)] = r.label;
        stack.push_back(start);
        while (!stack.empty()) {
            const int32_t i = stack.back();
            stack.pop_back();
            ++r.count;
            const int32_t x = i % w, y = i / w;
            r.x0 = std::min(r.x0, x);
            r.x1 = std::max(r.x1, x);
            r.y0 = std::min(r.y0, y);
            r.y1 = std::max(r.y1, y);
            for (int32_t dy = -1; dy <= 1; ++dy) {
                const int32_t yy = y + dy;
                if (yy < 0 || yy >= h) continue;
                for (int32_t dx = -1; dx <= 1; ++dx) {
                    const int32_t xx = x + dx;
                    if (xx < 0 || xx >= w) continue;
                    const size_t j = static_cast<size_t>(yy) * w + xx;
                    if (mask[j] && !(*labels)[j]) {
                        (*labels)[j] = r.label;
                        stack.push_back(static_cast<int32_t>(j));
                    }
                }
            }
        }
        regions.push_back(r);
    }
    return regions;
}

// The outline of a region: its first and last pixel on every row and column.
std::vector<Point> Outline(const std::vector<int32_t>& labels, int32_t w, const Region& r) {
    std::vector<Point> pts;
    for (int32_t y = r.y0; y <= r.y1; ++y) {
        const int32_t* row = &labels[static_cast<size_t>(y) * w];
        int32_t a = -1, b = -1;
        for (int32_t x = r.x0; x <= r.x1; ++x)
            if (row[x] == r.label) {
                if (a < 0) a = x;
                b = x;
            }
        if (a >= 0) {
            pts.push_back({a, y});
            if (b != a) pts.push_back({b, y});
        }
    }
    for (int32_t x = r.x0; x <= r.x1; ++x) {
        int32_t a = -1, b = -1;
        for (int32_t y = r.y0; y <= r.y1; ++y)
            if (labels[static_cast<size_t>(y) * w + x] == r.label) {
                if (a < 0) a = y;
                b = y;
            }
        if (a >= 0) {
            pts.push_back({x, a});
            if (b != a) pts.push_back({x, b});
        }
    }
    return pts;
}

// True when most outline points lie on the sides of the rectangle: each
// side holds at least 55 % of the outline points that face it, so ragged
// shapes such as a paragraph of text are refused. Points on the image's own
// border count as lying on a side (a document cut by the image edge).
bool LooksRectangular(const std::vector<Point>& pts, double a, const Extent& e, int32_t w, int32_t h) {
    const double c = std::cos(a), s = std::sin(a);
    const double tol = 1.5 + 0.01 * std::max(e.u1 - e.u0, e.v1 - e.v0);
    int32_t near[4] = {0, 0, 0, 0}, facing[4] = {0, 0, 0, 0};
    for (const Point& p : pts) {
        const double u = p.x * c - p.y * s, v = p.x * s + p.y * c;
        const double d[4] = {u - e.u0, e.u1 - u, v - e.v0, e.v1 - v};
        int32_t side = 0;
        for (int32_t k = 1; k < 4; ++k)
            if (d[k] < d[side]) side = k;
        ++facing[side];
        const bool onBorder = p.x == 0 || p.y == 0 || p.x == w - 1 || p.y == h - 1;
        if (d[side] <= tol || onBorder) ++near[side];
    }
    for (int32_t k = 0; k < 4; ++k)
        if (facing[k] < 4 || near[k] * 100 < facing[k] * 55) return false;
    return true;
}

// Refines the angle by straight-line fits to the outline points that lie on
// each side (the middle 80 % of the side, within 2 pixels of it), and puts
// each side at the median position of its points. Returns false (nothing
// changed) when no side has enough points.
bool RefineBySides(const std::vector<Point>& pts, double* angle, Extent* e) {
    const double a0 = *angle;
    const double c = std::cos(a0), s = std::sin(a0);
    std::vector<double> us, vs;
    us.reserve(pts.size());
    vs.reserve(pts.size());
    for (const Point& p : pts) {
        us.push_back(p.x * c - p.y * s);
        vs.push_back(p.x * s + p.y * c);
    }
    const double du = e->u1 - e->u0, dv = e->v1 - e->v0;
    double sumW = 0, sumA = 0;
    for (int32_t side = 0; side < 4; ++side) {
        // Sides 0, 1: top and bottom (v against u); 2, 3: left and right.
        const bool horizontal = side < 2;
        const double pos = side == 0 ? e->v0 : side == 1 ? e->v1 : side == 2 ? e->u0 : e->u1;
        double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (size_t i = 0; i < pts.size(); ++i) {
            const double along = horizontal ? us[i] : vs[i], across = horizontal ? vs[i] : us[i];
            const double lo = horizontal ? e->u0 + 0.1 * du : e->v0 + 0.1 * dv;
            const double hi = horizontal ? e->u1 - 0.1 * du : e->v1 - 0.1 * dv;
            if (along < lo || along > hi || std::fabs(across - pos) > 2.0) continue;
            n += 1;
            sx += along;
            sy += across;
            sxx += along * along;
            sxy += along * across;
        }
        const double den = n * sxx - sx * sx;
        if (n < 8 || den <= 0) continue;
        const double slope = (n * sxy - sx * sy) / den;
        // A top or bottom side whose v grows with u is turned by -atan(slope)
        // against the trial angle; a left or right side by +atan(slope).
        const double a = horizontal ? a0 - std::atan(slope) : a0 + std::atan(slope);
        sumW += n;
        sumA += n * a;
    }
    if (sumW <= 0) return false;
    const double a = sumA / sumW;
    if (std::fabs(a - a0) > 1.0 * kPi / 180) return false;  // fits that disagree this much are not trusted
    const Extent ext = ExtentAt(pts, a);
    // Each side at the median of its points' positions.
    const double ca = std::cos(a), sa = std::sin(a);
    Extent med = ext;
    for (int32_t side = 0; side < 4; ++side) {
        const bool horizontal = side < 2;
        const double pos = side == 0 ? ext.v0 : side == 1 ? ext.v1 : side == 2 ? ext.u0 : ext.u1;
        std::vector<double> at;
        for (const Point& p : pts) {
            const double u = p.x * ca - p.y * sa, v = p.x * sa + p.y * ca;
            const double across = horizontal ? v : u;
            if (std::fabs(across - pos) <= 2.0) at.push_back(across);
        }
        if (at.size() < 8) continue;
        std::nth_element(at.begin(), at.begin() + static_cast<long>(at.size() / 2), at.end());
        const double m = at[at.size() / 2];
        (side == 0 ? med.v0 : side == 1 ? med.v1 : side == 2 ? med.u0 : med.u1) = m;
    }
    *angle = a;
    *e = med;
    return true;
}

// True when the point (x, y) lies inside the rectangle grown by `grow`
// (c, s: cosine and sine of the rectangle's angle).
bool InsideGrown(double x, double y, double c, double s, const Extent& e, double grow) {
    const double u = x * c - y * s, v = x * s + y * c;
    return u >= e.u0 - grow && u <= e.u1 + grow && v >= e.v0 - grow && v <= e.v1 + grow;
}

}  // namespace

DocumentPlacement LocateDocument(const CRawImage& image, const CFindDocumentInfo& step) {
    DocumentPlacement none;
    if (!image.HasPixels() || (image.bitCount != 1 && image.bitCount != 8 && image.bitCount != 24))
        return none;
    Reduced r;
    if (!Reduce(image, &r)) return none;
    const int32_t w = r.w, h = r.h;

    // The bed's level and noise from the outer ring of the reduced copy.
    uint32_t ring[256] = {}, all[256] = {};
    uint64_t ringCount = 0;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t v = r.at(x, y);
            ++all[v];
            if (x < 2 || y < 2 || x >= w - 2 || y >= h - 2) {
                ++ring[v];
                ++ringCount;
            }
        }
    const uint64_t allCount = static_cast<uint64_t>(w) * h;
    const int bedLevel = Percentile(ring, ringCount, 0.5);
    // The paper's level: the brightest tenth of the image, or for a small
    // document on a large dark bed the brightest 3 % or 1 %.
    int paper = Percentile(all, allCount, 0.9);
    if (paper - bedLevel < 40) paper = Percentile(all, allCount, 0.97);
    if (paper - bedLevel < 40) paper = Percentile(all, allCount, 0.99);

    bool dark;
    if (step.bed == kBedDark)
        dark = true;
    else if (step.bed == kBedLight)
        dark = false;
    else if (bedLevel < 96)
        dark = true;
    else if (bedLevel > 150)
        dark = false;
    else
        dark = paper - bedLevel > 60;

    std::vector<uint8_t> mask(static_cast<size_t>(w) * h, 0);
    if (dark) {
        int threshold;
        if (step.contrast > 0) {
            threshold = bedLevel + step.contrast;
        } else {
            if (paper - bedLevel < 40) return none;  // all bed, or no bright paper on it
            threshold = (bedLevel + paper) / 2;
        }
        for (size_t i = 0; i < mask.size(); ++i) mask[i] = r.px[i] > threshold;
    } else {
        // On a light bed the block minima are measured against the ring's
        // block minima, so that a one-pixel edge shadow counts in full.
        uint32_t ringMin[256] = {};
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                if (x < 2 || y < 2 || x >= w - 2 || y >= h - 2)
                    ++ringMin[r.mn[static_cast<size_t>(y) * w + x]];
        const int bedMin = Percentile(ringMin, ringCount, 0.5);
        uint32_t devMin[256] = {};
        for (int v = 0; v < 256; ++v) devMin[std::abs(v - bedMin)] += ringMin[v];
        const double sigmaMin = 1.4826 * Percentile(devMin, ringCount, 0.5);
        const double t = step.contrast > 0 ? step.contrast : std::max(8.0, 4.0 * sigmaMin + 2.0);
        std::vector<uint8_t> raw(mask.size());
        for (size_t i = 0; i < raw.size(); ++i) raw[i] = std::abs(static_cast<int>(r.mn[i]) - bedMin) > t;
        // Grow by one pixel so that a document's thin edge shadow, broken
        // here and there by noise, holds together.
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                if (!raw[static_cast<size_t>(y) * w + x]) continue;
                for (int32_t yy = std::max(0, y - 1); yy <= std::min(h - 1, y + 1); ++yy)
                    for (int32_t xx = std::max(0, x - 1); xx <= std::min(w - 1, x + 1); ++xx)
                        mask[static_cast<size_t>(yy) * w + xx] = 1;
            }
    }

    std::vector<int32_t> labels;
    std::vector<Region> regions = Label(mask, w, h, &labels);
    std::sort(regions.begin(), regions.end(),
              [](const Region& a, const Region& b) { return a.BoxArea() > b.BoxArea(); });
    const int32_t minSide = std::max<int32_t>(12, std::min(w, h) / 10);
    const double maxRad = std::clamp(step.maxAngle, 1, 45) * kPi / 180;
    const size_t tries = std::min<size_t>(regions.size(), 4);
    for (size_t k = 0; k < tries; ++k) {
        const Region& reg = regions[k];
        if (reg.x1 - reg.x0 + 1 < minSide || reg.y1 - reg.y0 + 1 < minSide)
            break;  // sorted: the rest are smaller
        const std::vector<Point> pts = Outline(labels, w, reg);
        if (pts.size() < 16) continue;
        double a = step.straighten ? MinAreaAngle(pts, maxRad) : 0.0;
        Extent e = ExtentAt(pts, a);
        if (e.u1 - e.u0 + 1 < minSide || e.v1 - e.v0 + 1 < minSide) continue;
        if (!LooksRectangular(pts, a, e, w, h)) continue;
        if (!dark) {
            // On a light bed the document must stand alone: outside it the
            // bed is bare. This keeps a frame or table printed on a page that
            // fills the image from being taken for a document.
            int64_t outside = 0, outsideInk = 0;
            const double ca = std::cos(a), sa = std::sin(a);
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) {
                    if (InsideGrown(x, y, ca, sa, e, 2.0)) continue;
                    ++outside;
                    if (mask[static_cast<size_t>(y) * w + x]) ++outsideInk;
                }
            if (outsideInk * 1000 > outside * 3) continue;
        }
        if (step.straighten) RefineBySides(pts, &a, &e);
        // A document that covers (nearly) the whole image needs no finding.
        const double spanU = e.u1 - e.u0 + 1, spanV = e.v1 - e.v0 + 1;
        if (std::fabs(a) < 0.3 * kPi / 180 && spanU >= 0.97 * w && spanV >= 0.97 * h) return none;

        DocumentPlacement p;
        p.found = true;
        p.dark = dark;
        p.angle = a;
        // Centre of the rectangle back in reduced pixels, then in pixels of
        // the image (a reduced pixel i covers image pixels i f .. i f + f - 1).
        const double uc = 0.5 * (e.u0 + e.u1), vc = 0.5 * (e.v0 + e.v1);
        const double c = std::cos(a), s = std::sin(a);
        p.centreX = (uc * c + vc * s + 0.5) * r.f;
        p.centreY = (-uc * s + vc * c + 0.5) * r.f;
        // The sides run through the centres of the outline pixels, which are
        // mixed with the bed (dark bed) or are the edge shadow (light bed):
        // half an outline pixel more, and one image pixel, stays out.
        const double inset = dark ? 0.0 : 1.0;
        p.width = std::max(1.0, (spanU - 1 - inset) * r.f - 2);
        p.height = std::max(1.0, (spanV - 1 - inset) * r.f - 2);
        return p;
    }
    return none;
}

bool FindDocument(CRawImage& image, const CFindDocumentInfo& step, DocumentPlacement* placement) {
    if (!image.HasPixels()) return false;
    DocumentPlacement p;
    try {
        p = LocateDocument(image, step);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (placement) *placement = p;
    if (!p.found) return true;
    const double c = std::cos(p.angle), s = std::sin(p.angle);
    const double hw = 0.5 * p.width, hh = 0.5 * p.height;
    CRawImage out;
    if (std::fabs(p.angle) < 0.02 * kPi / 180) {
        const int32_t l = std::max(0, static_cast<int32_t>(std::lround(p.centreX - hw)));
        const int32_t t = std::max(0, static_cast<int32_t>(std::lround(p.centreY - hh)));
        const int32_t rr = std::min(image.width, static_cast<int32_t>(std::lround(p.centreX + hw)));
        const int32_t b = std::min(image.height, static_cast<int32_t>(std::lround(p.centreY + hh)));
        if (rr - l < 1 || b - t < 1) return true;
        image.Crop(&out, l, t, rr, b);
        if (!out.HasPixels()) return false;
    } else if (image.bitCount != 1) {
        // The level document is sampled straight from the page along its
        // turned axes: one pass over the document's own pixels. Pixel i
        // covers i .. i + 1, so its centre is i + 0.5.
        const int32_t W = std::max(1, static_cast<int32_t>(std::lround(p.width)));
        const int32_t H = std::max(1, static_cast<int32_t>(std::lround(p.height)));
        const double u0 = 0.5 * (W - 1), v0 = 0.5 * (H - 1);
        WarpGrid g;
        g.x0 = p.centreX - 0.5 - u0 * c - v0 * s;
        g.y0 = p.centreY - 0.5 + u0 * s - v0 * c;
        g.dxCol = c;
        g.dyCol = -s;
        g.dxRow = s;
        g.dyRow = c;
        if (!WarpImage(image, g, W, H, 255, &out)) return false;
    } else {
        // 1-bit pages: cut out the box around the turned document first, so
        // that only that part is rotated, then take the level rectangle from
        // its middle.
        double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
        for (const double su : {-hw, hw})
            for (const double sv : {-hh, hh}) {
                const double x = p.centreX + su * c + sv * s, y = p.centreY - su * s + sv * c;
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
        const int32_t l = std::max(0, static_cast<int32_t>(std::floor(minX)) - 2);
        const int32_t t = std::max(0, static_cast<int32_t>(std::floor(minY)) - 2);
        const int32_t rr = std::min(image.width, static_cast<int32_t>(std::ceil(maxX)) + 2);
        const int32_t b = std::min(image.height, static_cast<int32_t>(std::ceil(maxY)) + 2);
        if (rr - l < 2 || b - t < 2) return true;
        CRawImage box;
        image.Crop(&box, l, t, rr, b);
        if (!box.HasPixels()) return false;
        CRawImage turned;
        if (box.Rotate(&turned, 0, p.angle, 1, 0, 1) != 1 || !turned.HasPixels()) return false;
        // The document's centre relative to the box centre, carried through
        // the rotation (which turns about the middle of each image).
        const double dX = p.centreX - l - 0.5 * (box.width - 1), dY = p.centreY - t - 0.5 * (box.height - 1);
        const double cx = 0.5 * (turned.width - 1) + c * dX - s * dY;
        const double cy = 0.5 * (turned.height - 1) + s * dX + c * dY;
        const int32_t L = std::max(0, static_cast<int32_t>(std::lround(cx - hw + 0.5)));
        const int32_t T = std::max(0, static_cast<int32_t>(std::lround(cy - hh + 0.5)));
        const int32_t R = std::min(turned.width, static_cast<int32_t>(std::lround(cx + hw + 0.5)));
        const int32_t B = std::min(turned.height, static_cast<int32_t>(std::lround(cy + hh + 0.5)));
        if (R - L < 1 || B - T < 1) return true;
        turned.Crop(&out, L, T, R, B);
        if (!out.HasPixels()) return false;
    }
    // Resolution and file name stay the page's.
    image.TakePixels(out);
    return true;
}

}  // namespace libMorvaneClassifier

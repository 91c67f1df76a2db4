#include "filters/FrameLineDetector.h"
#include "image/BitPixels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace libMorvaneClassifier {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr int32_t kStripStep = 400;
constexpr int32_t kStripLength = 420;
constexpr double kNoCost = 1e99;
// Gray pixels darker than this count as black where a black/white decision
// is needed (verification scan).
constexpr int kGrayBlack = 128;

// The image as seen by one tracker: scan line `along` is row `along` of the
// plane, across positions are the pixels of that row. For the horizontal
// tracker the plane is the transposed image (row x holds column x).
struct ScanPlane {
    int32_t lines = 0;
    int32_t length = 0;
    bool binary = false;
    std::vector<uint8_t*> rows;
    std::vector<uint8_t> store;

    bool Black(int32_t along, int32_t across) const {
        if (along < 0 || along >= lines || across < 0 || across >= length) return false;
        const uint8_t* r = rows[static_cast<size_t>(along)];
        if (binary) return bitpixels::Get(r, across);
        return r[across] < kGrayBlack;
    }
};

void SetBit(uint8_t* row, int32_t x) { bitpixels::Set(row, x); }

// Builds the plane whose scan lines are the rows of the image.
void RowPlane(CRawImage& image, ScanPlane& plane) {
    plane.lines = image.height;
    plane.length = image.width;
    plane.binary = image.bitCount == 1;
    plane.rows.assign(static_cast<size_t>(image.height), nullptr);
    if (image.bitCount == 24) {
        const size_t stride = static_cast<size_t>(image.width);
        plane.store.assign(stride * static_cast<size_t>(image.height), 0);
        for (int32_t y = 0; y < image.height; ++y) {
            uint8_t* dst = plane.store.data() + stride * static_cast<size_t>(y);
            const uint8_t* src = image.Row(y);
            for (int32_t x = 0; x < image.width; ++x) dst[x] = src[3 * x];
            plane.rows[static_cast<size_t>(y)] = dst;
        }
    } else {
        plane.store.clear();
        for (int32_t y = 0; y < image.height; ++y) plane.rows[static_cast<size_t>(y)] = image.Row(y);
    }
}

// Builds the plane whose scan lines are the columns of the image.
void ColumnPlane(const CRawImage& image, ScanPlane& plane) {
    const int32_t w = image.width;
    const int32_t h = image.height;
    plane.lines = w;
    plane.length = h;
    plane.binary = image.bitCount == 1;
    plane.rows.assign(static_cast<size_t>(w), nullptr);
    if (plane.binary) {
        const size_t stride = static_cast<size_t>((h + 31) / 32) * 4;
        plane.store.assign(stride * static_cast<size_t>(w), 0);
        for (int32_t x = 0; x < w; ++x) plane.rows[static_cast<size_t>(x)] = plane.store.data() + stride * x;
        // Blocks of eight rows by one byte: most of a form is white, so empty
        // blocks are skipped and the writes stay within eight plane rows.
        const int32_t byteCols = (w + 7) / 8;
        for (int32_t y0 = 0; y0 < h; y0 += 8) {
            const int32_t yn = std::min(8, h - y0);
            for (int32_t bx = 0; bx < byteCols; ++bx) {
                uint8_t a[8] = {0, 0, 0, 0, 0, 0, 0, 0};
                uint8_t any = 0;
                for (int32_t i = 0; i < yn; ++i) {
                    a[i] = image.Row(y0 + i)[bx];
                    any |= a[i];
                }
                if (!any) continue;
                for (int32_t i = 0; i < yn; ++i) {
                    uint8_t v = a[i];
                    while (v) {
                        const int j = __builtin_clz(static_cast<unsigned>(v)) - 24;
                        v = static_cast<uint8_t>(v & ~bitpixels::MaskAt(j));
                        const int32_t x = bx * 8 + j;
                        if (x < w) SetBit(plane.rows[static_cast<size_t>(x)], y0 + i);
                    }
                }
            }
        }
    } else {
        const size_t stride = static_cast<size_t>(h);
        plane.store.assign(stride * static_cast<size_t>(w), 0);
        const int32_t step = image.bitCount == 24 ? 3 : 1;
        for (int32_t x = 0; x < w; ++x) plane.rows[static_cast<size_t>(x)] = plane.store.data() + stride * x;
        for (int32_t y0 = 0; y0 < h; y0 += 64) {
            const int32_t y1 = std::min(h, y0 + 64);
            for (int32_t x = 0; x < w; ++x) {
                uint8_t* dst = plane.rows[static_cast<size_t>(x)];
                for (int32_t y = y0; y < y1; ++y) dst[y] = image.Row(y)[step * x];
            }
        }
    }
}

// First position p in [x, end] whose pixel is black (want = true) or white,
// or end + 1. Whole 64-bit words are skipped at a time.
int32_t NextPixel(const uint8_t* row, int32_t x, int32_t end, bool want) {
    if (x > end) return end + 1;
    const uint8_t flip = want ? 0 : 0xFF;
    int32_t b = x >> 3;
    const int32_t lastByte = end >> 3;
    uint32_t v = static_cast<uint8_t>(row[b] ^ flip) & (0xFFu >> (x & 7));
    while (true) {
        if (v) {
            const int32_t p = b * 8 + (__builtin_clz(v) - 24);
            return p <= end ? p : end + 1;
        }
        ++b;
        while (b + 7 <= lastByte) {
            uint64_t w;
            std::memcpy(&w, row + b, 8);
            w = __builtin_bswap64(w);
            if (!want) w = ~w;
            if (w) {
                const int32_t p = b * 8 + __builtin_clzll(w);
                return p <= end ? p : end + 1;
            }
            b += 8;
        }
        if (b > lastByte) return end + 1;
        v = static_cast<uint8_t>(row[b] ^ flip);
    }
}

struct ScanRun {
    int32_t start, end, along;
    int32_t succFirst, nSucc;  // runs of the next scan line that overlap: [succFirst, succFirst + nSucc)
    int32_t predFirst, nPred;  // runs of the previous scan line that overlap
    int32_t Length() const { return end - start + 1; }
    double Centre() const { return (start + end) * 0.5; }
};

struct FitSums {
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    void Add(double x, double y) {
        n += 1;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    void Add(const FitSums& o) {
        n += o.n;
        sx += o.sx;
        sy += o.sy;
        sxx += o.sxx;
        sxy += o.sxy;
    }
    // across = a + b * along
    void Line(double& a, double& b) const {
        if (n <= 0) {
            a = 0;
            b = 0;
            return;
        }
        const double den = n * sxx - sx * sx;
        if (n < 2 || std::fabs(den) < 1e-9) {
            b = 0;
            a = sy / n;
            return;
        }
        b = (n * sxy - sx * sy) / den;
        a = (sy - b * sx) / n;
    }
};

struct Chain {
    int32_t runBegin = 0, runCount = 0;  // into chainRuns
    int32_t firstAlong = 0, lastAlong = 0;
    FitSums fit;
    double a = 0, b = 0;  // fitted across = a + b * along
    double thickness = 0;
    double straight = 1;
    bool unusable = false;
    bool inLine = false;
    double AcrossAt(double along) const { return a + b * along; }
};

struct WorkLine {
    FitSums fit;
    double a = 0, b = 0;
    int32_t first = 0, last = 0;
    double thickness = 0;
    std::vector<int32_t> chains;  // in along order
    double AcrossAt(double along) const { return a + b * along; }
    void Refit() { fit.Line(a, b); }
};

// A line kept from a strip, with what the final selection needs after the
// strip's run graph is gone.
struct StripLine {
    int32_t first = 0, last = 0;
    double a = 0, b = 0;
    double thickness = 0;
    double quality = 0;
    int32_t fitted = 0;
    // Connected components of the first runs of the chains with more than
    // nine fitted points: extent along, extent across, black pixels.
    std::vector<int32_t> comps;
};

struct Candidate {
    int32_t chain = -1;
    double cost = kNoCost;
    int32_t gap = 0;
};

}  // namespace

class CFrameLineTracker {
public:
    CFrameLineTracker(const FrameLineParams& p, bool horizontal) : params_(p), horizontal_(horizontal) {}

    // along range [a0, a1], across range [c0, c1]; paint = image to paint
    // bridged gaps into (horizontal tracker on 1-bit pages only).
    int Run(ScanPlane& plane, CRawImage* paint, int32_t a0, int32_t a1, int32_t c0, int32_t c1);

    std::vector<DetectedLine> result;
    int32_t alongSize = 0;
    int32_t acrossSize = 0;

private:
    void CollectRuns(ScanPlane& plane, CRawImage* paint, int32_t s0, int32_t s1);
    void BinaryRuns(ScanPlane& plane, CRawImage* paint, int32_t along, int32_t s0, int32_t s1);
    void GrayRuns(const ScanPlane& plane, int32_t along, int32_t s0, int32_t s1);
    void LinkRuns();
    void Components();
    int32_t Find(int32_t i);
    void BuildChains(int32_t s0, int32_t s1);
    void FitChain(Chain& c);
    void JoinChains();
    bool Extend(WorkLine& line, bool forward);
    bool Bridged(const WorkLine& line, int32_t from, int32_t to, double t) const;
    double MeanSquare(const Chain& c, const WorkLine& line) const;
    bool PathWithin(int32_t runA, int32_t runB, double cap);
    void EndOnCrossings(const ScanPlane& plane, WorkLine& line) const;
    void KeepLines(const ScanPlane& plane, int32_t strip, int32_t stripCount, int32_t s0, int32_t s1,
                   int32_t c1);
    double Quality(const WorkLine& line);
    void UpdateSizes(int32_t strip, int32_t stripCount);
    void Select(const ScanPlane& plane);
    bool VerifyFails(const ScanPlane& plane, const StripLine& l) const;
    bool TextLike(const ScanPlane& plane, const StripLine& l) const;

    FrameLineParams params_;
    bool horizontal_;
    int32_t a0_ = 0, a1_ = 0;

    // Run graph of the current strip.
    std::vector<ScanRun> runs_;
    std::vector<int32_t> lineStart_;  // first run of scan line (along - a0), size lines + 1
    std::vector<int32_t> parent_;
    std::vector<int32_t> compMinA_, compMaxA_, compMinC_, compMaxC_, compPixels_;
    std::vector<int32_t> visitStamp_;
    int32_t stamp_ = 0;
    std::vector<int32_t> queue_;

    std::vector<int32_t> chainRuns_;
    std::vector<Chain> chains_;
    std::vector<int32_t> runChain_;
    std::vector<int32_t> byFirst_, byFirstStart_, byLast_, byLastStart_;
    std::vector<WorkLine> work_;
    std::vector<StripLine> kept_;
};

int32_t CFrameLineTracker::Find(int32_t i) {
    while (parent_[static_cast<size_t>(i)] != i) {
        parent_[static_cast<size_t>(i)] = parent_[static_cast<size_t>(parent_[static_cast<size_t>(i)])];
        i = parent_[static_cast<size_t>(i)];
    }
    return i;
}

void CFrameLineTracker::BinaryRuns(ScanPlane& plane, CRawImage* paint, int32_t along, int32_t s0,
                                   int32_t s1) {
    uint8_t* row = plane.rows[static_cast<size_t>(along)];
    const size_t firstNew = runs_.size();
    auto bit = [row](int32_t p) { return bitpixels::Get(row, p); };
    int32_t x = s0;
    while (x <= s1) {
        x = NextPixel(row, x, s1, true);
        if (x > s1) break;
        const int32_t e = NextPixel(row, x, s1, false) - 1;
        ScanRun r{};
        r.start = x;
        r.end = e;
        r.along = along;
        if (params_.mergeCloseRuns && runs_.size() > firstNew) {
            ScanRun& prev = runs_.back();
            const int32_t d = r.start - prev.end;
            const bool apart = d >= 4 && (d > 6 || prev.end - prev.start <= 20 || r.end - r.start <= 20);
            if (!apart) {
                if (paint) {
                    // Fill the gap so the tracker of the other direction sees
                    // one piece.
                    for (int32_t p = prev.end + 1; p < r.start; ++p) {
                        SetBit(row, p);
                        SetBit(paint->Row(p), along);
                    }
                }
                prev.end = r.end;
                x = e + 2;
                continue;
            }
        }
        runs_.push_back(r);
        x = e + 2;
    }
    // Runs touching the strip's edges continue while the image stays black.
    if (runs_.size() > firstNew) {
        ScanRun& f = runs_[firstNew];
        if (f.start == s0)
            while (f.start > 0 && bit(f.start - 1)) --f.start;
        ScanRun& l = runs_.back();
        if (l.end == s1)
            while (l.end + 1 < plane.length && bit(l.end + 1)) ++l.end;
    }
}

// Dark runs on a gray scan line: a stretch of pixels each at least `contrast`
// darker than the brighter of its two flanks (the brightest pixel among the
// maxThickness + 1 pixels on either side). A stretch of at most maxThickness
// pixels is a possible line cross-section. A longer one (a letter stem
// across the scan line, the edge of a dark area) is still entered in the run
// graph, as the long runs of a 1-bit scan line are: it ends chains and
// belongs to the connected components that tell text from lines, but its
// length keeps it out of every fit and thickness.
void CFrameLineTracker::GrayRuns(const ScanPlane& plane, int32_t along, int32_t s0, int32_t s1) {
    const uint8_t* row = plane.rows[static_cast<size_t>(along)];
    const int32_t flank = params_.maxThickness + 1;
    const int32_t contrast = params_.contrast;
    auto dark = [&](int32_t p) {
        const int v = row[p];
        if (v + contrast > 255) return false;
        int best = 0;
        const int32_t lo = std::max(0, p - flank), hi = std::min(plane.length - 1, p + flank);
        for (int32_t q = lo; q <= hi; ++q)
            if (row[q] > best) best = row[q];
        return v + contrast <= best;
    };
    int32_t x = s0;
    while (x <= s1) {
        if (!dark(x)) {
            ++x;
            continue;
        }
        int32_t e = x;
        while (e + 1 <= s1 && dark(e + 1)) ++e;
        ScanRun r{};
        r.start = x;
        r.end = e;
        r.along = along;
        runs_.push_back(r);
        x = e + 1;
    }
}

void CFrameLineTracker::CollectRuns(ScanPlane& plane, CRawImage* paint, int32_t s0, int32_t s1) {
    runs_.clear();
    const int32_t lines = a1_ - a0_ + 1;
    lineStart_.assign(static_cast<size_t>(lines) + 1, 0);
    for (int32_t a = a0_; a <= a1_; ++a) {
        lineStart_[static_cast<size_t>(a - a0_)] = static_cast<int32_t>(runs_.size());
        if (plane.binary)
            BinaryRuns(plane, paint, a, s0, s1);
        else
            GrayRuns(plane, a, s0, s1);
    }
    lineStart_[static_cast<size_t>(lines)] = static_cast<int32_t>(runs_.size());
}

void CFrameLineTracker::LinkRuns() {
    const int32_t lines = a1_ - a0_ + 1;
    for (ScanRun& r : runs_) {
        r.succFirst = r.predFirst = 0;
        r.nSucc = r.nPred = 0;
    }
    for (int32_t l = 0; l + 1 < lines; ++l) {
        const int32_t b0 = lineStart_[static_cast<size_t>(l)], b1 = lineStart_[static_cast<size_t>(l) + 1];
        const int32_t n1 = lineStart_[static_cast<size_t>(l) + 2];
        // successors
        int32_t j = b1;
        for (int32_t i = b0; i < b1; ++i) {
            ScanRun& r = runs_[static_cast<size_t>(i)];
            while (j < n1 && runs_[static_cast<size_t>(j)].end < r.start) ++j;
            int32_t k = j;
            while (k < n1 && runs_[static_cast<size_t>(k)].start <= r.end) ++k;
            r.succFirst = j;
            r.nSucc = k - j;
        }
        // predecessors
        int32_t i = b0;
        for (int32_t q = b1; q < n1; ++q) {
            ScanRun& r = runs_[static_cast<size_t>(q)];
            while (i < b1 && runs_[static_cast<size_t>(i)].end < r.start) ++i;
            int32_t k = i;
            while (k < b1 && runs_[static_cast<size_t>(k)].start <= r.end) ++k;
            r.predFirst = i;
            r.nPred = k - i;
        }
    }
}

void CFrameLineTracker::Components() {
    const size_t n = runs_.size();
    parent_.resize(n);
    for (size_t i = 0; i < n; ++i) parent_[i] = static_cast<int32_t>(i);
    for (size_t i = 0; i < n; ++i) {
        const ScanRun& r = runs_[i];
        for (int32_t k = 0; k < r.nSucc; ++k) {
            const int32_t x = Find(static_cast<int32_t>(i)), y = Find(r.succFirst + k);
            if (x != y) parent_[static_cast<size_t>(std::max(x, y))] = std::min(x, y);
        }
    }
    compMinA_.assign(n, 0);
    compMaxA_.assign(n, 0);
    compMinC_.assign(n, 0);
    compMaxC_.assign(n, 0);
    compPixels_.assign(n, 0);
    for (size_t i = 0; i < n; ++i) {
        const int32_t root = Find(static_cast<int32_t>(i));
        const ScanRun& r = runs_[i];
        const size_t k = static_cast<size_t>(root);
        if (compPixels_[k] == 0) {
            compMinA_[k] = compMaxA_[k] = r.along;
            compMinC_[k] = r.start;
            compMaxC_[k] = r.end;
        } else {
            compMinA_[k] = std::min(compMinA_[k], r.along);
            compMaxA_[k] = std::max(compMaxA_[k], r.along);
            compMinC_[k] = std::min(compMinC_[k], r.start);
            compMaxC_[k] = std::max(compMaxC_[k], r.end);
        }
        compPixels_[k] += r.Length();
    }
}

void CFrameLineTracker::BuildChains(int32_t s0, int32_t s1) {
    chains_.clear();
    chainRuns_.clear();
    runChain_.assign(runs_.size(), -1);
    std::vector<uint8_t> visited(runs_.size(), 0);
    auto borderLong = [&](const ScanRun& r) {
        return r.end - r.start >= 100 && (r.start <= s0 || r.end >= s1);
    };
    for (size_t i = 0; i < runs_.size(); ++i) {
        if (visited[i]) continue;
        visited[i] = 1;
        if (borderLong(runs_[i])) continue;
        Chain c;
        c.runBegin = static_cast<int32_t>(chainRuns_.size());
        chainRuns_.push_back(static_cast<int32_t>(i));
        int32_t cur = static_cast<int32_t>(i);
        while (runs_[static_cast<size_t>(cur)].nSucc == 1) {
            const int32_t nxt = runs_[static_cast<size_t>(cur)].succFirst;
            const ScanRun& rn = runs_[static_cast<size_t>(nxt)];
            if (rn.nPred != 1 || visited[static_cast<size_t>(nxt)] || borderLong(rn)) break;
            visited[static_cast<size_t>(nxt)] = 1;
            chainRuns_.push_back(nxt);
            cur = nxt;
        }
        c.runCount = static_cast<int32_t>(chainRuns_.size()) - c.runBegin;
        const ScanRun& first = runs_[static_cast<size_t>(i)];
        const ScanRun& last = runs_[static_cast<size_t>(cur)];
        c.firstAlong = first.along;
        c.lastAlong = last.along;
        bool drop = false;
        if (params_.dropShortChains) {
            if (c.runCount < 3) drop = true;
            if (c.runCount <= 4 && first.nPred == 0 && last.nSucc == 0) drop = true;
        }
        if (drop) {
            chainRuns_.resize(static_cast<size_t>(c.runBegin));
            continue;
        }
        const int32_t id = static_cast<int32_t>(chains_.size());
        for (int32_t k = 0; k < c.runCount; ++k)
            runChain_[static_cast<size_t>(chainRuns_[static_cast<size_t>(c.runBegin + k)])] = id;
        FitChain(c);
        chains_.push_back(c);
    }
}

void CFrameLineTracker::FitChain(Chain& c) {
    const int32_t* ids = chainRuns_.data() + c.runBegin;
    const int32_t n = c.runCount;
    double thin = 0;
    int32_t thinCount = 0;
    for (int32_t k = 0; k < n; ++k) {
        const ScanRun& r = runs_[static_cast<size_t>(ids[k])];
        if (r.Length() < params_.maxThickness) {
            thin += r.Length();
            ++thinCount;
        }
    }
    const double d = thinCount ? thin / thinCount : 3.0;
    c.fit = FitSums();
    for (int32_t k = 0; k < n; ++k) {
        const ScanRun& r = runs_[static_cast<size_t>(ids[k])];
        if (r.Length() <= 2 * d) c.fit.Add(r.along, r.Centre());
    }
    if (c.fit.n > 0) {
        c.fit.Line(c.a, c.b);
    } else {
        double s = 0;
        for (int32_t k = 0; k < n; ++k) s += runs_[static_cast<size_t>(ids[k])].Centre();
        c.a = s / n;
        c.b = 0;
    }
    // Steady runs: the inner runs of ordinary thickness.
    double dev = 0, steadyLen = 0;
    int32_t steady = 0;
    double su = 0, sv = 0;
    for (int32_t k = 1; k + 1 < n; ++k) {
        const ScanRun& r = runs_[static_cast<size_t>(ids[k])];
        if (r.Length() > 1.5 * d) continue;
        ++steady;
        steadyLen += r.Length();
        dev += std::fabs(r.Centre() - c.AcrossAt(r.along));
        su += r.along + r.Centre();
        sv += r.Centre() - r.along;
    }
    c.unusable = n < 50 && dev > 1.5 * steady;
    c.straight = 1.0;
    if (n >= 9 && steady > 0) {
        const double mu = su / steady, mv = sv / steady;
        double suv = 0, suu = 0, svv = 0;
        for (int32_t k = 1; k + 1 < n; ++k) {
            const ScanRun& r = runs_[static_cast<size_t>(ids[k])];
            if (r.Length() > 1.5 * d) continue;
            const double u = r.along + r.Centre() - mu, v = r.Centre() - r.along - mv;
            suv += u * v;
            suu += u * u;
            svv += v * v;
        }
        if (suu >= 1e-7 && svv >= 1e-7) c.straight = std::fabs(suv) / std::sqrt(suu * svv);
    }
    c.thickness = steady ? steadyLen / steady : d;
    if (n >= 9 && c.thickness >= 8) c.thickness *= std::cos(std::atan(c.b));
}

double CFrameLineTracker::MeanSquare(const Chain& c, const WorkLine& line) const {
    double s = 0;
    for (int32_t k = 0; k < c.runCount; ++k) {
        const ScanRun& r = runs_[static_cast<size_t>(chainRuns_[static_cast<size_t>(c.runBegin + k)])];
        const double e = r.Centre() - line.AcrossAt(r.along);
        s += e * e;
    }
    return s / c.runCount;
}

// The gap strictly between scan positions `from` and `to` is bridged when the
// runs found at the line's predicted position make it look continuous.
bool CFrameLineTracker::Bridged(const WorkLine& line, int32_t from, int32_t to, double t) const {
    const int32_t g = to - from - 1;
    if (g <= 0) return true;
    const double m = std::min(t, 4.0);
    int32_t n = 0, longest = -1;
    for (int32_t p = from + 1; p < to; ++p) {
        const double q = line.AcrossAt(p);
        const double lo = q - m, hi = q + m;
        const int32_t b0 = lineStart_[static_cast<size_t>(p - a0_)],
                      b1 = lineStart_[static_cast<size_t>(p - a0_) + 1];
        // runs of a scan line are ordered and disjoint, so their ends ascend
        int32_t lo_i = b0, hi_i = b1;
        while (lo_i < hi_i) {
            const int32_t mid = (lo_i + hi_i) / 2;
            if (runs_[static_cast<size_t>(mid)].end < lo)
                lo_i = mid + 1;
            else
                hi_i = mid;
        }
        bool found = false;
        for (int32_t k = lo_i; k < b1 && runs_[static_cast<size_t>(k)].start <= hi; ++k) {
            found = true;
            longest = std::max(longest, runs_[static_cast<size_t>(k)].Length());
        }
        if (found) ++n;
    }
    if (g - n <= 1) return true;
    if (n <= 1 && g < params_.bridgeLimit) return true;
    if (n > 0 && longest < 2 * t && g - n < 15) return true;
    if (n > 0 && longest >= 2 * t && g < 4) return true;
    return false;
}

bool CFrameLineTracker::Extend(WorkLine& line, bool forward) {
    const int32_t extent = line.last - line.first;
    const int32_t w = std::min(80, std::max(40, 2 * extent + 2));
    const int32_t window = forward ? w : (alongSize > 0 ? alongSize : w);
    Candidate best[3];
    auto consider = [&](int32_t chainId, int32_t gap) {
        const Chain& c = chains_[static_cast<size_t>(chainId)];
        if (c.inLine || c.unusable) return;
        const int32_t at = forward ? c.firstAlong : c.lastAlong;
        const double fitted = forward ? c.AcrossAt(c.firstAlong) : c.AcrossAt(c.lastAlong);
        if (!(std::fabs(fitted - line.AcrossAt(at)) < 15)) return;
        const double cost = MeanSquare(c, line) + gap;
        if (!(cost < best[2].cost)) return;
        int32_t slot = 2;
        while (slot > 0 && cost < best[slot - 1].cost) {
            best[slot] = best[slot - 1];
            --slot;
        }
        best[slot] = Candidate{chainId, cost, gap};
    };
    if (forward) {
        const int32_t stop = std::min(a1_, line.last + window);
        for (int32_t p = line.last + 1; p <= stop; ++p) {
            if (p - line.last > best[2].cost) break;
            const int32_t gap = p - line.last - 1;
            const size_t k = static_cast<size_t>(p - a0_);
            for (int32_t i = byFirstStart_[k]; i < byFirstStart_[k + 1]; ++i)
                consider(byFirst_[static_cast<size_t>(i)], gap);
        }
    } else {
        const int32_t stop = std::max(a0_, line.first - window);
        for (int32_t p = line.first - 1; p >= stop; --p) {
            if (line.first - p > best[2].cost) break;
            const int32_t gap = line.first - p - 1;
            const size_t k = static_cast<size_t>(p - a0_);
            for (int32_t i = byLastStart_[k]; i < byLastStart_[k + 1]; ++i)
                consider(byLast_[static_cast<size_t>(i)], gap);
        }
    }
    const double t = line.thickness;
    for (const Candidate& cand : best) {
        if (cand.chain < 0 || cand.cost >= kNoCost) break;
        Chain& c = chains_[static_cast<size_t>(cand.chain)];
        const double excess = std::max(0.0, cand.cost - cand.gap);
        const double r = forward ? std::sqrt(excess / 2) : std::sqrt(excess);
        if (!(c.thickness <= 8 || c.thickness <= 2 * t)) continue;
        const bool close = c.runCount < 20 ? r < std::max(t, 3.0) : r < 1.5 * t;
        if (!close) continue;
        const bool ok =
            forward ? Bridged(line, line.last, c.firstAlong, t) : Bridged(line, c.lastAlong, line.first, t);
        if (!ok) continue;
        // Accept: the line takes the chain's points and grows to its end.
        double runsBefore = 0;
        for (int32_t id : line.chains) runsBefore += chains_[static_cast<size_t>(id)].runCount;
        line.thickness = (line.thickness * runsBefore + c.thickness * c.runCount) / (runsBefore + c.runCount);
        line.fit.Add(c.fit);
        line.Refit();
        c.inLine = true;
        if (forward) {
            line.last = c.lastAlong;
            line.chains.push_back(cand.chain);
        } else {
            line.first = c.firstAlong;
            line.chains.insert(line.chains.begin(), cand.chain);
        }
        return true;
    }
    return false;
}

void CFrameLineTracker::JoinChains() {
    work_.clear();
    const int32_t lines = a1_ - a0_ + 1;
    // Chains indexed by their first and by their last scan position.
    byFirstStart_.assign(static_cast<size_t>(lines) + 1, 0);
    byLastStart_.assign(static_cast<size_t>(lines) + 1, 0);
    for (const Chain& c : chains_) {
        ++byFirstStart_[static_cast<size_t>(c.firstAlong - a0_) + 1];
        ++byLastStart_[static_cast<size_t>(c.lastAlong - a0_) + 1];
    }
    for (int32_t i = 0; i < lines; ++i) {
        byFirstStart_[static_cast<size_t>(i) + 1] += byFirstStart_[static_cast<size_t>(i)];
        byLastStart_[static_cast<size_t>(i) + 1] += byLastStart_[static_cast<size_t>(i)];
    }
    byFirst_.assign(chains_.size(), 0);
    byLast_.assign(chains_.size(), 0);
    {
        std::vector<int32_t> f(byFirstStart_.begin(), byFirstStart_.end() - 1),
            l(byLastStart_.begin(), byLastStart_.end() - 1);
        for (size_t i = 0; i < chains_.size(); ++i) {
            byFirst_[static_cast<size_t>(f[static_cast<size_t>(chains_[i].firstAlong - a0_)]++)] =
                static_cast<int32_t>(i);
            byLast_[static_cast<size_t>(l[static_cast<size_t>(chains_[i].lastAlong - a0_)]++)] =
                static_cast<int32_t>(i);
        }
    }
    std::vector<int32_t> order(chains_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int32_t>(i);
    std::stable_sort(order.begin(), order.end(), [&](int32_t x, int32_t y) {
        const Chain& cx = chains_[static_cast<size_t>(x)];
        const Chain& cy = chains_[static_cast<size_t>(y)];
        return cx.lastAlong - cx.firstAlong > cy.lastAlong - cy.firstAlong;
    });
    for (int32_t id : order) {
        Chain& c = chains_[static_cast<size_t>(id)];
        if (c.inLine || 2 * c.fit.n < c.runCount) continue;
        WorkLine line;
        line.fit = c.fit;
        line.a = c.a;
        line.b = c.b;
        line.first = c.firstAlong;
        line.last = c.lastAlong;
        line.thickness = c.thickness;
        line.chains.push_back(id);
        c.inLine = true;
        while (Extend(line, true)) {
        }
        while (Extend(line, false)) {
        }
        if (line.chains.size() == 1 && line.last - line.first + 1 < 30) {
            c.inLine = false;
            continue;
        }
        work_.push_back(std::move(line));
    }
}

// Whether linked runs no longer than cap connect runA to runB, moving only
// between their two scan positions.
bool CFrameLineTracker::PathWithin(int32_t runA, int32_t runB, double cap) {
    if (visitStamp_.size() < runs_.size()) visitStamp_.assign(runs_.size(), 0);
    if (++stamp_ == 0) {
        std::fill(visitStamp_.begin(), visitStamp_.end(), 0);
        stamp_ = 1;
    }
    const int32_t lo =
        std::min(runs_[static_cast<size_t>(runA)].along, runs_[static_cast<size_t>(runB)].along);
    const int32_t hi =
        std::max(runs_[static_cast<size_t>(runA)].along, runs_[static_cast<size_t>(runB)].along);
    queue_.clear();
    queue_.push_back(runA);
    visitStamp_[static_cast<size_t>(runA)] = stamp_;
    for (size_t q = 0; q < queue_.size(); ++q) {
        const int32_t cur = queue_[q];
        if (cur == runB) return true;
        const ScanRun& r = runs_[static_cast<size_t>(cur)];
        auto visit = [&](int32_t first, int32_t count) {
            for (int32_t k = first; k < first + count; ++k) {
                const ScanRun& o = runs_[static_cast<size_t>(k)];
                if (visitStamp_[static_cast<size_t>(k)] == stamp_ || o.along < lo || o.along > hi) continue;
                if (k != runB && o.Length() > cap) continue;
                visitStamp_[static_cast<size_t>(k)] = stamp_;
                queue_.push_back(k);
            }
        };
        visit(r.succFirst, r.nSucc);
        visit(r.predFirst, r.nPred);
    }
    return false;
}

double CFrameLineTracker::Quality(const WorkLine& line) {
    const double extent = line.last - line.first + 1;
    const double t = line.thickness;
    double counted = 0, bridgedLen = 0;
    int32_t countedGaps = 0;
    for (size_t i = 0; i + 1 < line.chains.size(); ++i) {
        const Chain& p = chains_[static_cast<size_t>(line.chains[i])];
        const Chain& n = chains_[static_cast<size_t>(line.chains[i + 1])];
        const int32_t gap = n.firstAlong - p.lastAlong - 1;
        if (gap <= 0) continue;
        const int32_t lastRun = chainRuns_[static_cast<size_t>(p.runBegin + p.runCount - 1)];
        const int32_t firstRun = chainRuns_[static_cast<size_t>(n.runBegin)];
        if (PathWithin(lastRun, firstRun, 2 * t)) {
            bridgedLen += gap;
        } else {
            counted += gap;
            ++countedGaps;
        }
    }
    const double k = countedGaps ? std::sqrt(std::max(0.0, 1.0 - (counted / countedGaps) / extent)) : 1.0;
    // Straightness of all run centres, measured in coordinates turned by 45
    // degrees so that a level line correlates fully.
    double n = 0, su = 0, sv = 0, straightSum = 0, straightW = 0;
    for (int32_t id : line.chains) {
        const Chain& c = chains_[static_cast<size_t>(id)];
        straightSum += c.straight * c.runCount;
        straightW += c.runCount;
        for (int32_t j = 0; j < c.runCount; ++j) {
            const ScanRun& r = runs_[static_cast<size_t>(chainRuns_[static_cast<size_t>(c.runBegin + j)])];
            su += r.along + r.Centre();
            sv += r.Centre() - r.along;
            n += 1;
        }
    }
    const double mu = su / n, mv = sv / n;
    double suv = 0, suu = 0, svv = 0;
    for (int32_t id : line.chains) {
        const Chain& c = chains_[static_cast<size_t>(id)];
        for (int32_t j = 0; j < c.runCount; ++j) {
            const ScanRun& r = runs_[static_cast<size_t>(chainRuns_[static_cast<size_t>(c.runBegin + j)])];
            const double u = r.along + r.Centre() - mu, v = r.Centre() - r.along - mv;
            suv += u * v;
            suu += u * u;
            svv += v * v;
        }
    }
    const double den = std::sqrt(suu * svv);
    const double s = den < 1e-8 ? 1.0 : std::fabs(suv) / den;
    const double angle = std::fabs(std::atan(line.b));
    const double factor = angle <= 30 * kDeg ? (straightSum / straightW) * s * s * k : k;
    const double covered = line.fit.n + bridgedLen;
    const double span = extent - counted;
    double r = span > 0 ? std::min(1.0, covered / span) : 0.0;
    const double power = countedGaps == 0 ? 0.25 : (countedGaps <= 2 ? 0.333 : 0.5);
    r = std::pow(r, power);
    return factor * r;
}

// A line that ends on a crossing line (a table border, the side of a box)
// has its last cross-sections inside the crossing line's long runs, which
// no chain takes. The line is carried through them to the crossing line's
// far edge, when that edge is at most the maximum thickness away.
void CFrameLineTracker::EndOnCrossings(const ScanPlane& plane, WorkLine& line) const {
    const double cap = 2 * line.thickness;
    // Black pixels across the scan line through the predicted position,
    // counted up to a little beyond what a cross-section of the line can be.
    const int32_t limit = static_cast<int32_t>(cap) + 2;
    auto crossing = [&](int32_t along) {
        const int32_t c = static_cast<int32_t>(std::lround(line.AcrossAt(along)));
        if (!plane.Black(along, c)) return false;
        int32_t n = 1;
        for (int32_t d = 1; n <= limit && plane.Black(along, c - d); ++d) ++n;
        for (int32_t d = 1; n <= limit && plane.Black(along, c + d); ++d) ++n;
        return n > cap;
    };
    for (int dir = -1; dir <= 1; dir += 2) {
        const int32_t from = dir > 0 ? line.last : line.first;
        int32_t p = from + dir, n = 0;
        while (n <= params_.maxThickness && p >= a0_ && p <= a1_ && crossing(p)) {
            ++n;
            p += dir;
        }
        if (n == 0 || n > params_.maxThickness) continue;
        if (dir > 0)
            line.last += n;
        else
            line.first -= n;
    }
}

void CFrameLineTracker::KeepLines(const ScanPlane& plane, int32_t strip, int32_t stripCount, int32_t s0,
                                  int32_t s1, int32_t c1) {
    for (WorkLine& line : work_) {
        EndOnCrossings(plane, line);
        const double p0 = line.AcrossAt(line.first), p1 = line.AcrossAt(line.last);
        if (strip > 0 && p0 < s0 + 10 && p1 < s0 + 10) continue;
        if (strip + 1 < stripCount && p0 > s1 - 10 && p1 > s1 - 10 && s1 < c1 - 20) continue;
        StripLine out;
        out.first = line.first;
        out.last = line.last;
        out.a = line.a;
        out.b = line.b;
        out.thickness = line.thickness;
        out.fitted = static_cast<int32_t>(line.fit.n);
        out.quality = Quality(line);
        for (int32_t id : line.chains) {
            const Chain& c = chains_[static_cast<size_t>(id)];
            if (c.fit.n <= 9) continue;
            const int32_t root = Find(chainRuns_[static_cast<size_t>(c.runBegin)]);
            const size_t k = static_cast<size_t>(root);
            out.comps.push_back(compMaxA_[k] - compMinA_[k] + 1);
            out.comps.push_back(compMaxC_[k] - compMinC_[k] + 1);
            out.comps.push_back(compPixels_[k]);
        }
        kept_.push_back(std::move(out));
    }
}

void CFrameLineTracker::UpdateSizes(int32_t strip, int32_t stripCount) {
    if (alongSize > 0 && acrossSize > 0) return;
    int32_t ha[129] = {0}, hc[129] = {0};
    for (size_t i = 0; i < runs_.size(); ++i) {
        if (parent_[i] != static_cast<int32_t>(i)) continue;
        const int32_t va = compMaxA_[i] - compMinA_[i], vc = compMaxC_[i] - compMinC_[i];
        if (va >= 128 || vc >= 128) continue;
        if (va > 15) ++ha[va];
        if (vc > 15) ++hc[vc];
    }
    struct Peaks {
        int32_t value[5], count[5];
        int32_t n = 0;
        int32_t top = -1;  // index of the highest peak
    };
    auto peaks = [](const int32_t* h) {
        Peaks p;
        for (int32_t b = 127; b > 15 && p.n < 5; --b) {
            if (h[b] > 9 && h[b] > h[b + 1] && h[b] >= h[b - 1]) {
                p.value[p.n] = b;
                p.count[p.n] = h[b];
                if (p.top < 0 || h[b] > p.count[p.top]) p.top = p.n;
                ++p.n;
            }
        }
        return p;
    };
    const Peaks pa = peaks(ha), pc = peaks(hc);
    auto largestStrong = [](const Peaks& p) {
        const int32_t limit = p.count[p.top] / 3;
        int32_t v = p.value[p.top];
        for (int32_t i = 0; i < p.n; ++i)
            if (p.count[i] > limit) {
                v = p.value[i];
                break;  // peaks are listed from the largest value down
            }
        return v;
    };
    if (strip >= 2 && pa.top >= 0 && pc.top >= 0 && pa.count[pa.top] >= 16 && pc.count[pc.top] >= 16) {
        alongSize = largestStrong(pa);
        acrossSize = largestStrong(pc);
    } else if (strip + 1 == stripCount) {
        auto windowSum = [](const int32_t* h, int32_t centre) {
            int32_t s = 0;
            for (int32_t b = centre - 2; b <= centre + 2; ++b)
                if (b >= 0 && b < 128) s += h[b];
            return s;
        };
        if (pa.top < 0 || pc.top < 0 || windowSum(ha, pa.value[pa.top]) < 31 ||
            windowSum(hc, pc.value[pc.top]) < 31) {
            alongSize = 40;
            acrossSize = 20;
        } else {
            alongSize = pa.value[pa.top];
            acrossSize = pc.value[pc.top];
        }
    }
    if (params_.widthOverride) alongSize = params_.widthOverride;
    if (params_.heightOverride) acrossSize = params_.heightOverride;
}

bool CFrameLineTracker::VerifyFails(const ScanPlane& plane, const StripLine& l) const {
    const int32_t t = static_cast<int32_t>(l.thickness);
    const int32_t half = (t + 5) / 2;
    int32_t empty = 0, crossed = 0;
    auto anyBlack = [&](int32_t along, int32_t from, int32_t to) {
        for (int32_t c = from; c <= to; ++c)
            if (plane.Black(along, c)) return true;
        return false;
    };
    for (int32_t a = l.first; a <= l.last; ++a) {
        const int32_t p = static_cast<int32_t>(std::lround(l.a + l.b * a));
        const bool on = anyBlack(a, p - half, p + half);
        const bool side = anyBlack(a, p - t - 10, p - t - 5) || anyBlack(a, p + t + 5, p + t + 10);
        if (!on && !side) ++empty;
        if (on && side) ++crossed;
    }
    return 3 * empty + 2 * crossed >= 2 * (l.last - l.first);
}

bool CFrameLineTracker::TextLike(const ScanPlane& plane, const StripLine& l) const {
    const int32_t w = horizontal_ ? alongSize : acrossSize;
    if (l.fitted > (5 * w / 2) * 2) return false;
    if (l.fitted < 0.9 * (l.last - l.first + 1) && VerifyFails(plane, l)) return true;
    for (size_t i = 0; i + 2 < l.comps.size(); i += 3) {
        const int32_t along = l.comps[i], across = l.comps[i + 1], pixels = l.comps[i + 2];
        if (along > 80 || across > 80) return false;
        if (along > 15 && along < 3 * across && 0.15 * along * across < pixels) return true;
    }
    return false;
}

void CFrameLineTracker::Select(const ScanPlane& plane) {
    result.clear();
    const double minExtent = std::max(alongSize, acrossSize) + 5;
    for (const StripLine& l : kept_) {
        const double extent = l.last - l.first + 1;
        if (!(l.thickness < params_.maxThickness)) continue;
        if (!(extent > std::max(minExtent, 10 * l.thickness))) continue;
        if (!(l.quality > 0.8)) continue;
        if (TextLike(plane, l)) continue;
        DetectedLine d;
        const int32_t p0 = static_cast<int32_t>(std::lround(l.a + l.b * l.first));
        const int32_t p1 = static_cast<int32_t>(std::lround(l.a + l.b * l.last));
        if (horizontal_) {
            d.x1 = l.first;
            d.y1 = p0;
            d.x2 = l.last;
            d.y2 = p1;
        } else {
            d.x1 = p0;
            d.y1 = l.first;
            d.x2 = p1;
            d.y2 = l.last;
        }
        d.angle = LineAngle(d.x1, d.y1, d.x2, d.y2);
        d.thickness = l.thickness;
        d.quality = l.quality;
        // Far from the tracker's direction: not one of its lines.
        const double dev = horizontal_ ? std::min(std::fabs(d.angle), std::fabs(kPi - std::fabs(d.angle)))
                                       : std::fabs(std::fabs(d.angle) - kPi / 2);
        if (dev > 45 * kDeg) continue;
        result.push_back(d);
    }
}

int CFrameLineTracker::Run(ScanPlane& plane, CRawImage* paint, int32_t a0, int32_t a1, int32_t c0,
                           int32_t c1) {
    a0_ = a0;
    a1_ = a1;
    kept_.clear();
    result.clear();
    alongSize = params_.widthOverride;
    acrossSize = params_.heightOverride;
    const int32_t stripCount = (c1 - c0 + 1 + kStripStep - 1) / kStripStep;
    if (stripCount <= 0) return -1;
    for (int32_t s = 0; s < stripCount; ++s) {
        const int32_t s0 = c0 + kStripStep * s;
        const int32_t s1 = std::min(c1, s0 + kStripLength - 1);
        CollectRuns(plane, paint, s0, s1);
        LinkRuns();
        Components();
        BuildChains(s0, s1);
        JoinChains();
        KeepLines(plane, s, stripCount, s0, s1, c1);
        UpdateSizes(s, stripCount);
    }
    Select(plane);
    return 0;
}

namespace {

// Along and across coordinates of a point for one direction.
struct Axis {
    bool horizontal;
    double Along(double x, double y) const { return horizontal ? x : y; }
    double Across(double x, double y) const { return horizontal ? y : x; }
    int32_t A1(const DetectedLine& l) const { return horizontal ? l.x1 : l.y1; }
    int32_t A2(const DetectedLine& l) const { return horizontal ? l.x2 : l.y2; }
    int32_t C1(const DetectedLine& l) const { return horizontal ? l.y1 : l.x1; }
    int32_t C2(const DetectedLine& l) const { return horizontal ? l.y2 : l.x2; }
    // Across position of the line (extended) at along position a.
    double At(const DetectedLine& l, double a) const {
        const double a1 = A1(l), a2 = A2(l);
        if (a1 == a2) return (C1(l) + C2(l)) * 0.5;
        return C1(l) + (C2(l) - C1(l)) * (a - a1) / (a2 - a1);
    }
    double Lo(const DetectedLine& l) const { return std::min(A1(l), A2(l)); }
    double Hi(const DetectedLine& l) const { return std::max(A1(l), A2(l)); }
};

// Difference of two line directions, folded so that opposite directions
// count as equal.
double AngleDiff(double a, double b) {
    double d = std::fmod(std::fabs(a - b), kPi);
    return std::min(d, kPi - d);
}

// One line spanning both, start from the one that starts first along.
DetectedLine Span(const Axis& ax, const DetectedLine& p, const DetectedLine& q) {
    auto startOf = [&](const DetectedLine& l, int32_t& x, int32_t& y) {
        if (ax.A1(l) <= ax.A2(l)) {
            x = l.x1;
            y = l.y1;
        } else {
            x = l.x2;
            y = l.y2;
        }
    };
    auto endOf = [&](const DetectedLine& l, int32_t& x, int32_t& y) {
        if (ax.A1(l) <= ax.A2(l)) {
            x = l.x2;
            y = l.y2;
        } else {
            x = l.x1;
            y = l.y1;
        }
    };
    DetectedLine r;
    if (ax.Lo(p) <= ax.Lo(q))
        startOf(p, r.x1, r.y1);
    else
        startOf(q, r.x1, r.y1);
    if (ax.Hi(p) >= ax.Hi(q))
        endOf(p, r.x2, r.y2);
    else
        endOf(q, r.x2, r.y2);
    r.angle = LineAngle(r.x1, r.y1, r.x2, r.y2);
    r.thickness = std::max(p.thickness, q.thickness);
    r.quality = std::min(p.quality, q.quality);
    r.style = 0;
    return r;
}

void SortLines(std::vector<DetectedLine>& lines, bool horizontal) {
    std::stable_sort(lines.begin(), lines.end(), [horizontal](const DetectedLine& a, const DetectedLine& b) {
        return horizontal ? a.y1 < b.y1 : a.x1 < b.x1;
    });
}

// Merges lines found twice (in overlapping strips, or as parallel pieces of
// one thick line), then sorts by position.
void MergeDuplicates(std::vector<DetectedLine>& lines, bool horizontal) {
    const Axis ax{horizontal};
    bool changed = true;
    while (changed) {
        changed = false;
        for (size_t i = 0; i < lines.size() && !changed; ++i) {
            for (size_t j = i + 1; j < lines.size() && !changed; ++j) {
                const DetectedLine& p = lines[i];
                const DetectedLine& q = lines[j];
                if (AngleDiff(p.angle, q.angle) > 1.5 * kDeg) continue;
                const double lo = std::max(ax.Lo(p), ax.Lo(q)), hi = std::min(ax.Hi(p), ax.Hi(q));
                if (hi - lo + 1 < 5) continue;
                const double tol = std::max(p.thickness, q.thickness) / 2 + 3;
                if (!(std::fabs(ax.At(p, lo) - ax.At(q, lo)) < tol &&
                      std::fabs(ax.At(p, hi) - ax.At(q, hi)) < tol))
                    continue;
                lines[i] = Span(ax, p, q);
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(j));
                changed = true;
            }
        }
    }
    SortLines(lines, horizontal);
}

}  // namespace

double LineAngle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (x1 == x2 && y1 == y2) return 0.0;
    return std::atan2(static_cast<double>(y1) - y2, static_cast<double>(x2) - x1);
}

void JoinBrokenLines(std::vector<DetectedLine>& lines, const std::vector<DetectedLine>& others,
                     bool horizontal, double g) {
    const Axis ax{horizontal};
    const Axis ox{!horizontal};
    bool changed = true;
    while (changed) {
        changed = false;
        for (size_t i = 0; i < lines.size() && !changed; ++i) {
            for (size_t j = i + 1; j < lines.size() && !changed; ++j) {
                const DetectedLine& p = lines[i];
                const DetectedLine& q = lines[j];
                const double lo = std::max(ax.Lo(p), ax.Lo(q)), hi = std::min(ax.Hi(p), ax.Hi(q));
                const double mid = (lo + hi) / 2;  // middle of the overlap, or of the gap
                if (std::fabs(ax.At(p, mid) - ax.At(q, mid)) > 5) continue;
                const double diff = AngleDiff(p.angle, q.angle);
                bool join = false;
                if (hi >= lo) {
                    join = diff < 2 * kDeg;
                } else if (diff < 10 * kDeg) {
                    // facing ends: the end of the earlier line, the start of the later one
                    const DetectedLine& e = ax.Lo(p) <= ax.Lo(q) ? p : q;
                    const DetectedLine& s = ax.Lo(p) <= ax.Lo(q) ? q : p;
                    const double ea = ax.Hi(e), sa = ax.Lo(s);
                    const double ec = ax.At(e, ea), sc = ax.At(s, sa);
                    const double gapLen = sa - ea;
                    const double dist = std::hypot(sa - ea, sc - ec);
                    if (gapLen < g && dist < g) {
                        const double midC = (ec + sc) / 2;
                        int32_t crossing = 0;
                        for (const DetectedLine& o : others) {
                            // o runs along the across axis of this direction
                            const double oc = ox.At(o, midC);  // its position along this direction
                            if (oc < ea - 3 || oc > sa + 3) continue;
                            if (midC < ox.Lo(o) - g / 2 || midC > ox.Hi(o) + g / 2) continue;
                            ++crossing;
                        }
                        join = crossing <= 2;
                    }
                }
                if (!join) continue;
                lines[i] = Span(ax, p, q);
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(j));
                changed = true;
            }
        }
    }
    SortLines(lines, horizontal);
}

CFrameLine::CFrameLine() = default;
CFrameLine::~CFrameLine() = default;

int CFrameLine::Detect(CRawImage& image, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    finished_ = false;
    horizontal_.clear();
    vertical_.clear();
    hAlong_ = hAcross_ = vAlong_ = vAcross_ = 0;
    if (!image.HasPixels()) return -1;
    if (image.bitCount != 1 && image.bitCount != 8 && image.bitCount != 24) return -1;
    if (image.width <= 0 || image.height <= 0) return -1;
    // A region reaching past the image (a whole-page region ends one pixel
    // beyond the last column) is cut to the image.
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, image.width - 1);
    bottom = std::min(bottom, image.height - 1);
    if (left > right || top > bottom) return -1;
    try {
        CFrameLineTracker h(params, true), v(params, false);
        {
            ScanPlane plane;
            ColumnPlane(image, plane);
            if (h.Run(plane, image.bitCount == 1 && params.mergeCloseRuns ? &image : nullptr, left, right,
                      top, bottom) != 0)
                return -1;
        }
        {
            ScanPlane plane;
            RowPlane(image, plane);
            if (v.Run(plane, nullptr, top, bottom, left, right) != 0) return -1;
        }
        std::vector<DetectedLine> hl = std::move(h.result), vl = std::move(v.result);
        MergeDuplicates(hl, true);
        MergeDuplicates(vl, false);
        const double g = h.alongSize == 0 ? 50.0 : static_cast<double>(std::max(h.alongSize, h.acrossSize));
        JoinBrokenLines(hl, vl, true, g);
        JoinBrokenLines(vl, hl, false, g);
        horizontal_ = std::move(hl);
        vertical_ = std::move(vl);
        hAlong_ = h.alongSize;
        hAcross_ = h.acrossSize;
        vAlong_ = v.alongSize;
        vAcross_ = v.acrossSize;
    } catch (const std::bad_alloc&) {
        horizontal_.clear();
        vertical_.clear();
        return -1;
    }
    finished_ = true;
    return 0;
}

}  // namespace libMorvaneClassifier

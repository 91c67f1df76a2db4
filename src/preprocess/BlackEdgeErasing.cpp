#include "preprocess/BlackEdgeErasing.h"

#include <algorithm>
#include <new>

#include "image/Profile.h"

namespace libMorvaneClassifier {

namespace {

enum class Side { kTop, kBottom, kLeft, kRight };

// Smoothed black-pixel profile of one band; false when memory runs out.
bool BandProfile(const CRawImage& img, Side side, std::vector<float>* out, int32_t* norm) {
    const int32_t W = img.width, H = img.height;
    ProfileRect rect;
    const bool rowsProfile = side == Side::kTop || side == Side::kBottom;
    if (rowsProfile) {
        rect.left = W / 4;
        rect.right = 3 * W / 4;
        rect.top = side == Side::kTop ? 0 : 7 * H / 8;
        rect.bottom = side == Side::kTop ? H / 8 : H;
        *norm = rect.right - rect.left;
    } else {
        rect.top = H / 4;
        rect.bottom = 3 * H / 4;
        rect.left = side == Side::kLeft ? 0 : 7 * W / 8;
        rect.right = side == Side::kLeft ? W / 8 : W;
        *norm = rect.bottom - rect.top;
    }
    const int32_t n = rowsProfile ? rect.bottom - rect.top : rect.right - rect.left;
    try {
        std::vector<ProfileEntry> entries(static_cast<size_t>(n));
        const bool ok =
            rowsProfile ? RowProfile(img, entries.data(), rect) : ColumnProfile(img, entries.data(), rect);
        if (!ok) return false;
        *out = ProfileCounts(entries.data(), n);
        return SmoothGaussianInPlace(*out, 2.0) && static_cast<int32_t>(out->size()) == n;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace

BlackEdgeLimits BlackEdgeLimitsFor(int32_t threshold) {
    BlackEdgeLimits limits;
    limits.hi = static_cast<float>(threshold) / 100.0f;
    limits.lo = std::min(0.1f, 1.0f - limits.hi);
    return limits;
}

BlackEdgeScan ScanBlackEdgeBand(const std::vector<float>& p, int32_t norm, bool outerAtStart,
                                const BlackEdgeLimits& limits) {
    BlackEdgeScan s;
    const int32_t n = static_cast<int32_t>(p.size());
    if (n < 1) return s;
    s.maxIdx = outerAtStart ? 0 : n - 1;
    float maxVal = p[static_cast<size_t>(s.maxIdx)];
    const float fnorm = static_cast<float>(norm);
    const int32_t step = outerAtStart ? -1 : 1;
    for (int32_t i = outerAtStart ? n - 1 : 1; outerAtStart ? i >= 1 : i <= n - 1; i += step) {
        const float v = p[static_cast<size_t>(i)];
        const float r = v / fnorm;
        if (r > limits.hi) {
            if (v > maxVal) {
                maxVal = v;
                s.maxIdx = i;
            }
            ++s.black;
            s.white = 0;
        } else if (r < limits.lo) {
            ++s.white;
            s.black = 0;
        }
        if (s.white > s.longest) {
            s.longest = s.white;
            s.M = i;
        }
    }
    return s;
}

int32_t MarginEdge(const std::vector<float>& p, int32_t norm, const BlackEdgeScan& s, bool outerAtStart,
                   const BlackEdgeLimits& limits) {
    const int32_t n = static_cast<int32_t>(p.size());
    if (s.black <= 0 || norm <= 0) return -1;
    // The run reaching the edge covers lines 1 .. black (top, left) or
    // n - black .. n - 1 (bottom, right). It is the margin when the darkest
    // line lies in it or is the outer end itself. A binarisation that leaves
    // the outermost line white puts the darkest line inside the margin;
    // counting the run from there would cut a second margin width into the
    // page, so the edge is taken where the run ends instead: at the first
    // line past it whose smoothed darkness falls below halfway between the
    // white and black limits (the smoothing spreads a sharp edge evenly to
    // both sides of that level).
    const float half = 0.5f * (limits.hi + limits.lo);
    const float fnorm = static_cast<float>(norm);
    if (outerAtStart) {
        if (s.maxIdx > s.black) return -1;
        for (int32_t i = s.black + 1; i < n; ++i)
            if (p[static_cast<size_t>(i)] / fnorm < half) return i;
        return s.black;
    }
    if (s.maxIdx < n - s.black) return -1;
    for (int32_t i = n - 1 - s.black; i >= 1; --i)
        if (p[static_cast<size_t>(i)] / fnorm < half) return i + 1;
    return n - 1 - s.black;
}

bool MeasureBlackEdges(const CRawImage& img, int32_t threshold, BlackEdgeBox* box) {
    if (!img.HasPixels() || img.bitCount != 1 || img.width < 8 || img.height < 8) return false;
    const int32_t W = img.width, H = img.height;
    const BlackEdgeLimits limits = BlackEdgeLimitsFor(threshold);
    BlackEdgeBox b;
    b.right = W;
    b.bottom = H;
    std::vector<float> p;
    int32_t norm = 0;
    // Top and left: the outer end is index 0.
    for (const Side side : {Side::kTop, Side::kLeft}) {
        if (!BandProfile(img, side, &p, &norm)) return false;
        const BlackEdgeScan s = ScanBlackEdgeBand(p, norm, true, limits);
        const int32_t margin = MarginEdge(p, norm, s, true, limits);
        int32_t edge = 0;
        if (margin >= 0)
            edge = margin;
        else if (s.M >= s.maxIdx)
            edge = std::max(s.M, s.maxIdx + s.black);
        else if (s.white == 0)
            edge = s.maxIdx + s.black;
        (side == Side::kTop ? b.top : b.left) = edge;
    }
    // Bottom and right: the outer end is index n - 1; band indices are
    // offset by (size - n) in the page.
    for (const Side side : {Side::kBottom, Side::kRight}) {
        if (!BandProfile(img, side, &p, &norm)) return false;
        const int32_t n = static_cast<int32_t>(p.size());
        const int32_t size = side == Side::kBottom ? H : W;
        const BlackEdgeScan s = ScanBlackEdgeBand(p, norm, false, limits);
        const int32_t margin = MarginEdge(p, norm, s, false, limits);
        int32_t edge = size;
        if (margin >= 0)
            edge = margin + size - n;
        else if (s.maxIdx >= s.M)
            edge = std::min(s.M, s.maxIdx - s.black) + size - n;
        else if (s.white == 0)
            edge = s.maxIdx - s.black + size - n;
        (side == Side::kBottom ? b.bottom : b.right) = edge;
    }
    *box = b;
    return true;
}

bool EraseBlackEdges(CRawImage& image, const CBlackEdgesErasingInfo& step, BlackEdgeBox* measured) {
    if (!image.HasPixels()) return false;
    CRawImage work(image);
    if (!work.HasPixels()) return false;
    if (work.bitCount == 24) work.TrueColorToGray(nullptr, step.grayType);
    if (work.bitCount == 8) work.GrayToBinary(nullptr, step.binaryType);
    if (work.bitCount != 1) return false;
    // Narrower or lower than 8 pixels: the top or left band holds no line.
    if (work.width < 8 || work.height < 8) return true;
    BlackEdgeBox box;
    if (!MeasureBlackEdges(work, step.threshold, &box)) return false;
    if (measured) *measured = box;
    image.Crop(nullptr, box.left, box.top, box.right, box.bottom);
    return true;
}

}  // namespace libMorvaneClassifier

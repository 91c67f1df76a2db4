#include "filters/TextScoring.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "filters/TextMatching.h"

namespace libMorvaneClassifier {

namespace {

int32_t Truncate(double v) {
    if (!(v == v)) return 0;  // NaN
    if (v >= double(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    if (v <= double(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);  // toward zero
}

int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// Distance in size between a reference line (w, h) and a feature line (W, H).
float SizeDistance(int32_t w, int32_t h, int32_t W, int32_t H) {
    const float fw = float(w), fh = float(h), fW = float(W), fH = float(H);
    const float shape = std::min(1.0f, (std::fabs(fH - fh) + std::fabs(fW - fw)) / (fw + fh));
    const float ref = fw / fh;
    return shape + std::fabs(fW / fH - ref) / ref;
}

int32_t SizeNearest(const CTextLine& r, const std::vector<CTextLine*>& feature) {
    const int32_t w = r.RegionWidth();
    const int32_t h = r.RegionHeight();
    if (w <= 0 || h <= 0) return -1;
    const float limit = float(w) + float(h);
    int32_t best = -1;
    float bestDist = 0;
    for (size_t k = 0; k < feature.size(); ++k) {
        const int32_t W = feature[k]->RegionWidth();
        const int32_t H = feature[k]->RegionHeight();
        if (H <= 0) continue;
        const float d = SizeDistance(w, h, W, H);
        if (!(d < limit)) continue;
        if (best < 0 || d < bestDist) {
            best = static_cast<int32_t>(k);
            bestDist = d;
        }
    }
    return best;
}

// Feature lines ranked by region height (byHeight) or width, largest first
// unless ascending; ties keep recognised order.
std::vector<int32_t> RankFeatureLines(const std::vector<CTextLine*>& feature, bool byHeight, bool ascending) {
    std::vector<int32_t> order(feature.size());
    std::iota(order.begin(), order.end(), 0);
    auto size = [&](int32_t k) {
        return byHeight ? feature[size_t(k)]->RegionHeight() : feature[size_t(k)]->RegionWidth();
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](int32_t a, int32_t b) { return ascending ? size(a) < size(b) : size(a) > size(b); });
    return order;
}

std::u16string CharsetRestricted(const CTextLine& feature, const std::u16string& charset) {
    std::u16string x;
    for (const RecognitionResult& r : feature.lineResults) {
        const int32_t n = LeadingCandidates(r);
        for (int32_t i = 0; i < n; ++i)
            if (charset.find(r.candidates[i]) != std::u16string::npos) {
                x.push_back(r.candidates[i]);
                break;
            }
    }
    return x;
}

void PlaceAnchors(CTextLine& reference, const CTextLine* feature, int32_t value) {
    if (!feature || !reference.region || !reference.region->anchorList) return;
    const Rect32 r = feature->RegionRect();
    reference.region->LocateAnchors(r.left, r.top, r.right, r.bottom, value);
}

void Note(std::vector<TextLineScore>* out, size_t reference, int32_t feature, int64_t value) {
    if (out) out->push_back(TextLineScore{static_cast<int32_t>(reference), feature, Clamp32(value)});
}

int32_t MethodAlign(int32_t app, const std::vector<CTextLine*>& R, const std::vector<CTextLine*>& F,
                    const std::vector<int32_t>& c, bool place, std::vector<TextLineScore>* out) {
    if (R.empty() || F.empty()) return 0;
    if (std::none_of(c.begin(), c.end(), [](int32_t k) { return k >= 0; })) return 0;
    std::vector<std::u16string> X;
    X.reserve(c.size());
    for (int32_t k : c) X.push_back(k >= 0 ? F[size_t(k)]->text : std::u16string());
    std::vector<std::u16string> T;
    T.reserve(R.size());
    for (CTextLine* r : R) T.push_back(r->text);
    const LineAlignment al = AlignLines(T, X);
    int64_t sumT = 0, sumX = 0;
    for (const auto& t : T) sumT += int64_t(t.size());
    for (const auto& x : X) sumX += int64_t(x.size());

    if (place || out) {
        for (size_t j = 0; j < R.size(); ++j) {
            const int32_t p = al.partner[j];
            if (p < 0) {
                Note(out, j, -1, 0);
                continue;
            }
            const int64_t lenT = int64_t(T[j].size());
            const int64_t lenX = int64_t(X[size_t(p)].size());
            const int64_t w = al.weight[j];
            int64_t value = 0;
            if (app == 0)
                value = lenT > 0 ? w * 1000 / lenT : 0;
            else
                value = lenT + lenX > 0 ? w * 2000 / (lenX + lenT) : 0;
            const int32_t fk = c[size_t(p)];
            if (place) PlaceAnchors(*R[j], fk >= 0 ? F[size_t(fk)] : nullptr, Clamp32(value));
            Note(out, j, fk, value);
        }
    }
    if (app == 0) return sumT > 0 ? Clamp32(al.total * 1000 / sumT) : 0;
    if (sumT <= 0 || sumX <= 0) return 0;
    return Truncate(double(sumT + sumX) * double(al.total) * 1000.0 / (2.0 * double(sumX) * double(sumT)));
}

int32_t MethodEditDistance(int32_t app, const std::vector<CTextLine*>& R, const std::vector<CTextLine*>& F,
                           const std::vector<int32_t>& c, bool place, std::vector<TextLineScore>* out) {
    if (R.empty() || F.size() < R.size()) return 0;
    int64_t sumD = 0, sumT = 0, sumX = 0;
    for (size_t i = 0; i < R.size(); ++i) {
        const CTextLine& r = *R[i];
        const int32_t k = i < c.size() ? c[i] : -1;
        const CTextLine* f = k >= 0 ? F[size_t(k)] : nullptr;
        const std::u16string X = f ? CharsetRestricted(*f, r.charset) : std::u16string();
        const int64_t D = EditDistance(X, r.text);
        const int64_t lenT = int64_t(r.text.size());
        const int64_t lenX = int64_t(X.size());
        sumD += D;
        sumT += lenT;
        sumX += lenX;
        if (!place && !out) continue;
        double value = 0;
        if (app == 0) {
            if (lenT > 0) value = (1.0 - double(D) / double(lenT)) * 1000.0;
        } else if (lenT > 0 && lenX > 0) {
            value = (1.0 - double(lenT + lenX) * double(D) / (2.0 * double(lenX) * double(lenT))) * 1000.0;
        }
        if (place) PlaceAnchors(*R[i], f, Truncate(value));
        Note(out, i, k, Truncate(value));
    }
    if (app == 0) return sumT > 0 ? Truncate((1.0 - double(sumD) / double(sumT)) * 1000.0) : 0;
    if (sumT <= 0 || sumX <= 0) return 0;
    return Truncate((1.0 - double(sumT + sumX) * double(sumD) / (2.0 * double(sumX) * double(sumT))) *
                    1000.0);
}

int32_t MethodPattern(int32_t app, const std::vector<CTextLine*>& R, const std::vector<CTextLine*>& F,
                      const std::vector<int32_t>& c, bool place, std::vector<TextLineScore>* out,
                      bool strict = false) {
    if (R.empty() || F.size() < R.size()) return 0;
    int64_t sum = 0;
    for (size_t i = 0; i < R.size(); ++i) {
        const int32_t k = i < c.size() ? c[i] : -1;
        if (k < 0 || F[size_t(k)]->lineResults.empty()) {
            Note(out, i, k, 0);
            continue;
        }
        const CTextLine& f = *F[size_t(k)];
        const int32_t s = strict ? StrictPatternScore(R[i]->text, f.lineResults.data(), f.lineResults.size())
                                 : PatternScore(R[i]->text, f.lineResults.data(), f.lineResults.size(), app);
        sum += s;
        if (place) PlaceAnchors(*R[i], &f, s);
        Note(out, i, k, s);
    }
    return Clamp32(sum / int64_t(R.size()));
}

int32_t MethodShared(const std::vector<CTextLine*>& R, const std::vector<CTextLine*>& F) {
    if (R.empty() || F.empty()) return 0;
    std::u16string T, X;
    for (CTextLine* r : R) T += r->text;
    for (CTextLine* f : F) X += f->text;
    if (T.empty()) return 0;
    return Clamp32(int64_t(SharedCharCount(T, X)) * 1000 / int64_t(T.size()));
}

int32_t MethodCharset(int32_t app, const std::vector<CTextLine*>& R, const std::vector<CTextLine*>& F,
                      const std::vector<int32_t>& c, bool place, std::vector<TextLineScore>* out) {
    if (R.empty() || F.size() < R.size()) return 0;
    int64_t sumN = 0, sumC = 0, sumK = 0;
    for (size_t i = 0; i < R.size(); ++i) {
        const CTextLine& r = *R[i];
        sumN += r.charNum;
        const int32_t ki = i < c.size() ? c[i] : -1;
        if (ki < 0) {
            Note(out, i, -1, 0);
            continue;
        }
        const CTextLine& f = *F[size_t(ki)];
        const int64_t t = int64_t(f.lineResults.size());
        int64_t k = 0;
        for (const RecognitionResult& res : f.lineResults) {
            const int32_t n = LeadingCandidates(res);
            for (int32_t j = 0; j < n; ++j)
                if (r.charset.find(res.candidates[j]) != std::u16string::npos) {
                    ++k;
                    break;
                }
        }
        sumC += t;
        sumK += k;
        if (!place && !out) continue;
        int64_t value = 0;
        if (app == 0) {
            if (r.charNum != 0) value = k * 1000 / r.charNum;
        } else if (t != 0 && r.charNum != 0) {
            value = (t + r.charNum) * k * 1000 / (2 * t * r.charNum);
        }
        if (place) PlaceAnchors(*R[i], &f, Clamp32(value));
        Note(out, i, ki, value);
    }
    if (app == 0) return sumN != 0 ? Clamp32(sumK * 1000 / sumN) : 0;
    if (sumN == 0 || sumC == 0) return 0;
    return Truncate(double(sumN + sumC) * double(sumK) * 1000.0 / (2.0 * double(sumN) * double(sumC)));
}

}  // namespace

std::vector<int32_t> CorrespondLines(const std::vector<CTextLine*>& R, const std::vector<CTextLine*>& F) {
    const size_t n = R.size();
    const size_t v = F.size();
    std::vector<int32_t> c(n, -1);
    if (v == n) {
        std::iota(c.begin(), c.end(), 0);
        return c;
    }
    const int64_t vv = int64_t(v);
    for (size_t i = 0; i < n; ++i) {
        const CTextLine& r = *R[i];
        const int64_t off = r.offset;
        switch (r.filterType) {
            case 0:
                c.assign(v, 0);
                std::iota(c.begin(), c.end(), 0);
                return c;
            case 1:
                if (off >= 0 && off < vv) c[i] = static_cast<int32_t>(off);
                break;
            case 2:
                if (off >= 0 && off < vv) c[i] = static_cast<int32_t>(vv - off - 1);
                break;
            case 3:
            case 4:
            case 5:
            case 6:
            case 7:
                c[i] = SizeNearest(r, F);
                if (r.filterType <= 6 && off >= 0 && off < vv) {
                    const bool byHeight = r.filterType <= 4;
                    const bool ascending = r.filterType == 4 || r.filterType == 6;
                    c[i] = RankFeatureLines(F, byHeight, ascending)[size_t(off)];
                }
                break;
            default:
                break;
        }
    }
    return c;
}

int32_t MatchTextLines(int32_t method, int32_t app, const std::vector<CTextLine*>& R,
                       const std::vector<CTextLine*>& F, bool place, std::vector<TextLineScore>* out) {
    if (method == kTextMatchShared) return MethodShared(R, F);
    if (method < kTextMatchAlign || method > kTextMatchStrictPattern) return 0;
    const std::vector<int32_t> c = CorrespondLines(R, F);
    switch (method) {
        case kTextMatchAlign:
            return MethodAlign(app, R, F, c, place, out);
        case kTextMatchEditDistance:
            return MethodEditDistance(app, R, F, c, place, out);
        case kTextMatchPattern:
            return MethodPattern(app, R, F, c, place, out);
        case kTextMatchCharset:
            return MethodCharset(app, R, F, c, place, out);
        case kTextMatchStrictPattern:
            return MethodPattern(app, R, F, c, place, out, true);
        default:
            return 0;
    }
}

int32_t RecogniseLocatedLines(const std::vector<LocatedTextLine>& located, const Rect32& region,
                              int32_t pageWidth, int32_t pageHeight, const TextCharLimits& limits,
                              const std::vector<TextEngineRecord>& engines, const TextRecognizeFn& recognize,
                              CTextLineList& lines) {
    lines.Clear();
    std::vector<std::unique_ptr<CTextLine>> kept;
    for (const LocatedTextLine& line : located) {
        std::vector<Rect32> boxes = line.pieces;
        std::vector<RecognitionResult> results;
        if (DynamicMerge(limits, engines, recognize, boxes, results) <= 0) continue;
        // A line none of whose merged boxes an engine recognised gives no
        // characters: it is skipped like a line without pieces.
        bool anyRecognised = false;
        for (const RecognitionResult& r : results)
            anyRecognised = anyRecognised || !IsEmptyCandidate(r.candidates[0]);
        if (!anyRecognised) continue;
        // Each result keeps its merged character box in pixels of the page
        // the filter worked on, where the line's region is placed too, so
        // that a reader can show where every character was read.
        for (size_t i = 0; i < results.size() && i < boxes.size(); ++i) {
            results[i].left = boxes[i].left + region.left;
            results[i].top = boxes[i].top + region.top;
            results[i].right = boxes[i].right + region.left;
            results[i].bottom = boxes[i].bottom + region.top;
        }
        auto t = std::make_unique<CTextLine>();
        for (const RecognitionResult& r : results)
            if (!IsEmptyCandidate(r.candidates[0])) t->text.push_back(r.candidates[0]);
        t->index = static_cast<int32_t>(kept.size());
        t->offset = t->index;
        CRegion reg;
        reg.SetImageSize(pageWidth, pageHeight);
        reg.SetFromPixels(Rect32{line.box.left + region.left, line.box.top + region.top,
                                 line.box.right + region.left, line.box.bottom + region.top});
        t->SetRegion(reg);
        t->SetImageSize(pageWidth, pageHeight);
        t->SetLineResults(results.data(), static_cast<int32_t>(results.size()));
        kept.push_back(std::move(t));
    }
    if (kept.empty()) return -14;  // no line could be recognised
    lines.count = static_cast<int32_t>(kept.size());
    lines.items = std::move(kept);
    return 0;
}

}  // namespace libMorvaneClassifier

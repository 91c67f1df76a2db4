#include "filters/FilterFrameLine.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/ResultCodes.h"
#include "filters/FrameLineDetector.h"
#include "image/Dib.h"
#include "preprocess/ImageProcessing.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

// ---- CFilterFrameLineInfo ----

const RecordTable<CFilterFrameLineInfo>& CFilterFrameLineInfo::Fields() {
    static const RecordTable<CFilterFrameLineInfo> table{
        u"FrameLineFilterInfo",
        {IntField(u"Method", &CFilterFrameLineInfo::method).On(u"LineDetection", WrittenWhen::kAllNonZero),
         ChildField<&CFilterFrameLineInfo::rules>(CFrameLineRule::kListElement),
         ChildField<&CFilterFrameLineInfo::colorMatch>(ColorMatch::kElement),
         ChildField<&CFilterFrameLineInfo::frameLines>(CFrameLineInfo::kListElement)}};
    return table;
}

void CFilterFrameLineInfo::Assign(const CFilterInfoBase& other) {
    if (&other == this) return;
    AssignKindFields(*this, other);
    CFilterInfoBase::Assign(other);
}

bool CFilterFrameLineInfo::ReadXml(CXmlDocument& xml) {
    ReadRegion(xml);
    ReadChildren(*this, Fields(), xml);
    return true;
}

bool CFilterFrameLineInfo::WriteXml(CXmlDocument& xml) const {
    return WriteRegion(xml) && WriteChildren(*this, Fields(), xml);
}

void CFilterFrameLineInfo::SetImageSize(int32_t width, int32_t height) {
    if (rules) rules->SetImageSize(width, height);
    if (frameLines) frameLines->SetImageSize(width, height);
    CFilterInfoBase::SetImageSize(width, height);
}

namespace {

// One entry of a direction's layout: the line's length and its position
// (distance along the stacking axis from the first line). Sentinels carry no
// record.
struct Entry {
    float len = 0;
    float pos = 0;
    int32_t record = -1;
};

// The lines of one direction, sorted by their middle across the direction,
// with the opening and closing sentinels.
std::vector<Entry> Layout(const CFrameLineList& list, int32_t angle) {
    struct Item {
        int32_t record;
        int32_t key;
        int32_t len;
    };
    std::vector<Item> items;
    for (int32_t i = 0; i < list.count; ++i) {
        const CFrameLineInfo* f = list.Get(i);
        if (!f || f->angle != angle) continue;
        const auto mid = f->Midpoint();
        items.push_back(Item{i, angle == 0 ? mid.second : mid.first, f->Length()});
    }
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.key < b.key; });
    std::vector<Entry> out;
    out.reserve(items.size() + 2);
    out.push_back(Entry{});
    float pos = 0;
    for (size_t k = 0; k < items.size(); ++k) {
        if (k > 0) pos += std::fabs(static_cast<float>(items[k].key) - static_cast<float>(items[k - 1].key));
        out.push_back(Entry{static_cast<float>(items[k].len), pos, items[k].record});
    }
    out.push_back(Entry{0, pos, -1});
    return out;
}

struct SideMatch {
    std::vector<float> cost;     // per entry (sentinels 0)
    std::vector<int32_t> match;  // entry of the other layout, or -1
};

// Matches every real entry of a against b by its length and the gaps to its
// neighbours, single precision throughout.
SideMatch MatchLayout(const std::vector<Entry>& a, const std::vector<Entry>& b) {
    SideMatch out;
    out.cost.assign(a.size(), 0.0f);
    out.match.assign(a.size(), -1);
    const size_t n = a.size() - 2, m = b.size() - 2;
    const float inf = std::numeric_limits<float>::infinity();
    for (size_t i = 1; i <= n; ++i) {
        const float L = a[i - 1].len + a[i].len + a[i + 1].len;
        const float D = a[i + 1].pos - a[i - 1].pos;
        const float gl = std::fabs(a[i].pos - a[i - 1].pos);
        const float gr = std::fabs(a[i + 1].pos - a[i].pos);
        float bestGap = D, bestLen = L;
        int32_t best = -1;
        for (size_t j = 1; j <= m; ++j) {
            float lBest = inf, lLen = 0, lGap = 0;
            for (size_t k = 0; k < j; ++k) {
                const float lt = std::fabs(a[i - 1].len - b[k].len) / L;
                const float gt = std::fabs(gl - std::fabs(b[j].pos - b[k].pos)) / D;
                if (lt + gt < lBest) {
                    lBest = lt + gt;
                    lLen = lt;
                    lGap = gt;
                }
            }
            float rBest = inf, rLen = 0, rGap = 0;
            for (size_t k = j + 1; k <= m + 1; ++k) {
                const float lt = std::fabs(a[i + 1].len - b[k].len) / L;
                const float gt = std::fabs(gr - std::fabs(b[k].pos - b[j].pos)) / D;
                if (lt + gt < rBest) {
                    rBest = lt + gt;
                    rLen = lt;
                    rGap = gt;
                }
            }
            if (lBest == inf || rBest == inf) continue;  // no finite part: not a candidate
            const float lenCost = std::fabs(a[i].len - b[j].len) / L + lLen + rLen;
            const float gapCost = lGap + rGap;
            if (lenCost + gapCost < bestLen + bestGap) {
                bestLen = lenCost;
                bestGap = gapCost;
                best = static_cast<int32_t>(j);
            }
        }
        out.cost[i] = (std::min(bestGap, 1.0f) + std::min(bestLen, 1.0f)) / 2;
        out.match[i] = best;
    }
    return out;
}

// Length-weighted mean cost of the real entries of both directions.
float WeightedCost(const std::vector<Entry>& h, const SideMatch& hm, const std::vector<Entry>& v,
                   const SideMatch& vm) {
    float num = 0, den = 0;
    for (size_t i = 1; i + 1 < h.size(); ++i) {
        num += h[i].len * hm.cost[i];
        den += h[i].len;
    }
    for (size_t i = 1; i + 1 < v.size(); ++i) {
        num += v[i].len * vm.cost[i];
        den += v[i].len;
    }
    return den <= 1e-8f ? num : num / den;
}

}  // namespace

FrameLineMatch MatchFrameLines(const CFrameLineList& reference, const CFrameLineList& feature) {
    FrameLineMatch out;
    out.partner.assign(static_cast<size_t>(std::max(reference.count, 0)), -1);
    out.pairSimilarity.assign(out.partner.size(), 0.0f);
    const std::vector<Entry> rh = Layout(reference, 0), rv = Layout(reference, 90);
    const std::vector<Entry> fh = Layout(feature, 0), fv = Layout(feature, 90);
    const SideMatch rhm = MatchLayout(rh, fh), rvm = MatchLayout(rv, fv);
    const SideMatch fhm = MatchLayout(fh, rh), fvm = MatchLayout(fv, rv);
    const float cr = WeightedCost(rh, rhm, rv, rvm);
    const float cf = WeightedCost(fh, fhm, fv, fvm);
    out.similarity = 1.0f - (cr + cf) / 2;
    auto mutual = [&](const std::vector<Entry>& r, const SideMatch& rm, const std::vector<Entry>& f,
                      const SideMatch& fm) {
        for (size_t i = 1; i + 1 < r.size(); ++i) {
            const int32_t j = rm.match[i];
            if (j < 0 || fm.match[static_cast<size_t>(j)] != static_cast<int32_t>(i)) continue;
            const size_t rec = static_cast<size_t>(r[i].record);
            out.partner[rec] = f[static_cast<size_t>(j)].record;
            out.pairSimilarity[rec] = 1.0f - (rm.cost[i] + fm.cost[static_cast<size_t>(j)]) / 2;
        }
    };
    mutual(rh, rhm, fh, fhm);
    mutual(rv, rvm, fv, fvm);
    return out;
}

namespace {

// Places the anchors of the reference's lines on their mutual matches.
void PlaceAnchors(CFrameLineList& reference, const CFrameLineList& feature, const FrameLineMatch& match) {
    for (int32_t i = 0; i < reference.count; ++i) {
        CFrameLineInfo* r = reference.Get(i);
        if (!r || !r->line || !r->line->anchor) continue;
        const int32_t j = match.partner[static_cast<size_t>(i)];
        const CFrameLineInfo* f = feature.Get(j);
        if (!f || !f->line) continue;
        r->line->PlaceAnchor(*f->line, match.pairSimilarity[static_cast<size_t>(i)]);
    }
}

bool HasLines(const std::unique_ptr<CFrameLineList>& list) {
    return list && list->count > 0 && list->HasItems();
}

}  // namespace

int32_t CFilterFrameLineInfo::Compare(CFilterInfoBase* reference) {
    auto* ref = dynamic_cast<CFilterFrameLineInfo*>(reference);
    if (!ref || method != 1) return 0;
    if (!HasLines(ref->frameLines) || !HasLines(frameLines)) return 0;
    const FrameLineMatch match = MatchFrameLines(*ref->frameLines, *frameLines);
    const int32_t score = static_cast<int32_t>(match.similarity * 1000.0f);
    PlaceAnchors(*ref->frameLines, *frameLines, match);
    return score;
}

bool CFilterFrameLineInfo::LocateAnchors(CFilterInfoBase* feature) {
    auto* f = dynamic_cast<CFilterFrameLineInfo*>(feature);
    if (!f || !HasLines(frameLines) || !HasLines(f->frameLines)) return false;
    PlaceAnchors(*frameLines, *f->frameLines, MatchFrameLines(*frameLines, *f->frameLines));
    return true;
}

// ---- CFilterFrameLine ----

int32_t CFilterFrameLine::ExtractFeature(const CRawImage* images, int32_t imageCount,
                                         CFilterInfoBase* feature) {
    if (!images || imageCount <= 0 || !feature) return kErrInvalidParameter;
    auto* out = dynamic_cast<CFilterFrameLineInfo*>(feature);
    auto* r = dynamic_cast<CFilterFrameLineInfo*>(rule.get());
    if (!out) return kErrInvalidParameter;
    const int32_t method = r ? r->method : 0;
    std::unique_ptr<CFrameLineList> lines;
    if (method == 2) return kErrExtractLine;
    if (method == 1) {
        if (!images[0].HasPixels()) return kErrExtractLine;
        CRawImage copy(images[0]);
        ApplyImageProcessingList(copy, steps.get());
        if (!copy.HasPixels()) return kErrExtractLine;
        r->SetImageSize(copy.width, copy.height);
        const std::optional<Rect32> region = r->EffectiveRegion();
        if (!region) return kErrExtractLine;
        CFrameLine detector;
        if (detector.Detect(copy, region->left, region->top, region->right, region->bottom) != 0)
            return kErrExtractLine;
        lines = std::make_unique<CFrameLineList>();
        auto add = [&](const DetectedLine& d, int32_t angle) {
            CFrameLineInfo info;
            info.line = std::make_unique<CLine>();
            info.line->SetImageSize(copy.width, copy.height);
            info.line->SetStart(d.x1, d.y1);
            info.line->SetEnd(d.x2, d.y2);
            info.angle = angle;
            info.style = d.style;
            info.index = lines->count;
            lines->Append(info);
        };
        for (const DetectedLine& d : detector.Horizontal())
            if (AcceptLine(r->rules.get(), d, 0)) add(d, 0);
        for (const DetectedLine& d : detector.Vertical())
            if (AcceptLine(r->rules.get(), d, 90)) add(d, 90);
        if (lines->count == 0) lines.reset();
    }
    out->frameLines = std::move(lines);
    out->refFilter = index;
    out->method = method;
    out->applicationType = applicationType;
    return kSuccess;
}

}  // namespace libMorvaneClassifier

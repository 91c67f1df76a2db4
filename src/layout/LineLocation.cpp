#include "layout/LineLocation.h"

#include <algorithm>

#include "layout/LayoutBase.h"
#include "layout/LocationDriver.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

int32_t PageLengthToPixels(int32_t reference, int32_t tenThousandths) {
    const int64_t v = static_cast<int64_t>(reference) * tenThousandths / 10000;
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// ---- CLineProperty ----

const RecordTable<CLineProperty>& CLineProperty::Fields() {
    static const RecordTable<CLineProperty> table{
        kElement,
        PropertyFields(
            {IntField(u"MinNum", &CLineProperty::MinNum), IntField(u"MaxNum", &CLineProperty::MaxNum),
             IntField(u"MinLength", &CLineProperty::MinLength, kParamPageLength),
             IntField(u"MaxLength", &CLineProperty::MaxLength, kParamPageLength),
             IntField(u"MinHeight", &CLineProperty::MinHeight, kParamPageLength),
             IntField(u"MaxHeight", &CLineProperty::MaxHeight, kParamPageLength),
             IntField(u"MinSpace", &CLineProperty::MinSpace, kParamPageLength),
             IntField(u"MaxSpace", &CLineProperty::MaxSpace, kParamPageLength),
             IntField(u"LeftPlus", &CLineProperty::LeftPlus),
             IntField(u"RightPlus", &CLineProperty::RightPlus), IntField(u"TopPlus", &CLineProperty::TopPlus),
             IntField(u"BottomPlus", &CLineProperty::BottomPlus)}),
        u"LineProperty"};
    return table;
}

// ---- CLineLocationInfo ----

// The editor lists the range's horizontal edges first.
const RecordTable<CLineLocationInfo>& CLineLocationInfo::Fields() {
    static constexpr char16_t kRange[] = u"LineLocationRange";
    static const RecordTable<CLineLocationInfo> table{
        kElement,
        LocationFields({IntField(u"Left", &CLineLocationInfo::Left).On(kRange).Listed(1),
                        IntField(u"Top", &CLineLocationInfo::Top).On(kRange).Listed(3),
                        IntField(u"Right", &CLineLocationInfo::Right).On(kRange).Listed(2),
                        IntField(u"Bottom", &CLineLocationInfo::Bottom).On(kRange).Listed(4)}),
        kRange};
    return table;
}

// ---- post-passes ----

void MergeLineBoxes(TextBoxList& boxes, const CLineProperty& property) {
    if (boxes.size() < 2) return;
    const int64_t maxH = property.MaxHeightPx();
    const int64_t maxLen = property.MaxLengthPx();
    const int64_t maxSp = property.MaxSpacePx();
    const size_t n = boxes.size();
    std::vector<char> removed(n, 0);
    auto pairGap = [](const TextBox& s, const TextBox& t) -> int64_t {
        return static_cast<int64_t>(std::max(s.left, t.left)) - std::min(s.right, t.right);
    };
    std::vector<size_t> chain;  // boxes between q and the current r that were not merged
    for (size_t qi = 0; qi < n; ++qi) {
        if (removed[qi]) continue;
        TextBox& q = boxes[qi];
        if (q.Width() < 1 || q.Height() < 1) {
            removed[qi] = 1;
            continue;
        }
        chain.clear();
        int64_t inner = 0;  // sum of the pair gaps along the chain
        for (size_t ri = qi + 1; ri < n; ++ri) {
            if (removed[ri]) continue;
            const TextBox& r = boxes[ri];
            const int64_t uw = static_cast<int64_t>(std::max(q.right, r.right)) - std::min(q.left, r.left);
            const int64_t uh = static_cast<int64_t>(std::max(q.bottom, r.bottom)) - std::min(q.top, r.top);
            const int64_t gaps =
                chain.empty() ? pairGap(q, r)
                              : pairGap(q, boxes[chain.front()]) + inner + pairGap(boxes[chain.back()], r);
            if (uw <= maxLen && uh <= maxH && gaps <= maxSp && gaps > 0) {
                q.left = std::min(q.left, r.left);
                q.top = std::min(q.top, r.top);
                q.right = std::max(q.right, r.right);
                q.bottom = std::max(q.bottom, r.bottom);
                removed[ri] = 1;
                continue;
            }
            if (static_cast<int64_t>(q.Width()) + r.Width() - uw < 1) break;
            if (!chain.empty()) inner += pairGap(boxes[chain.back()], r);
            chain.push_back(ri);
        }
    }
    size_t w = 0;
    for (size_t i = 0; i < n; ++i)
        if (!removed[i]) boxes[w++] = boxes[i];
    boxes.resize(w);
}

bool FilterLineSizes(TextBoxList& boxes, const CLineProperty& property) {
    if (boxes.empty()) return false;
    const double minLen = property.MinLengthPx(), maxLen = 1.25 * property.MaxLengthPx();
    const double minH = property.MinHeightPx(), maxH = 1.25 * property.MaxHeightPx();
    boxes.erase(std::remove_if(boxes.begin(), boxes.end(),
                               [&](const TextBox& b) {
                                   const double w = b.Width(), h = b.Height();
                                   return w < minLen || w > maxLen || h < minH || h > maxH;
                               }),
                boxes.end());
    return true;
}

bool TrimIsolatedLines(TextBoxList& boxes, const CLineProperty& property) {
    if (boxes.empty()) return false;
    if (boxes.size() == 1) return true;
    const int64_t maxSp = property.MaxSpacePx();
    size_t first = 0, end = boxes.size();
    while (end - first >= 2 && static_cast<int64_t>(boxes[first + 1].top) - boxes[first].bottom > maxSp)
        ++first;
    while (end - first >= 2 && static_cast<int64_t>(boxes[end - 1].top) - boxes[end - 2].bottom > maxSp)
        --end;
    boxes.erase(boxes.begin() + static_cast<std::ptrdiff_t>(end), boxes.end());
    boxes.erase(boxes.begin(), boxes.begin() + static_cast<std::ptrdiff_t>(first));
    return true;
}

// ---- driver ----

namespace {

int32_t AddClamped(int32_t v, int32_t d) {
    return static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(v) + d, INT32_MIN, INT32_MAX));
}

}  // namespace

bool LocateTextLines(const CRawImage& image, const CLineLocationInfo& info, TextBoxList& boxes) {
    if (!image.HasPixels() || image.width < 1 || image.height < 1) return false;
    if (!info.property || !info.methods) return false;
    const CLineProperty& prop = *info.property;
    const bool found = layout_detail::TryLocationMethods(
        image, *info.methods, CreateLineAnalyser, prop.MinNum, prop.MaxNum,
        [&](CLayoutBase& analyser, const CRawImage& work, TextBoxList& list) {
            if (!analyser.LocateLines(work, prop, info, list)) return false;
            MergeLineBoxes(list, prop);
            FilterLineSizes(list, prop);
            TrimIsolatedLines(list, prop);
            return true;
        },
        boxes);
    if (!found) return false;
    // The property's margins, clipped to the image.
    for (TextBox& b : boxes) {
        b.left = std::max(AddClamped(b.left, prop.LeftPlus), 0);
        b.right = std::min(AddClamped(b.right, prop.RightPlus), image.width - 1);
        b.top = std::max(AddClamped(b.top, prop.TopPlus), 0);
        b.bottom = std::min(AddClamped(b.bottom, prop.BottomPlus), image.height - 1);
    }
    return true;
}

}  // namespace libMorvaneClassifier

#include "layout/LineLocation.h"

#include <algorithm>
#include <new>

#include "layout/LayoutBase.h"
#include "preprocess/ImageProcessing.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

int32_t PageLengthToPixels(int32_t reference, int32_t tenThousandths) {
    const int64_t v = static_cast<int64_t>(reference) * tenThousandths / 10000;
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// ---- CLineProperty ----

void CLineProperty::ListParameters(ParameterList& list) {
    BeginParameters(list, u"LineProperty");
    AddParameter(list, u"MinNum", &MinNum, kParamInteger);
    AddParameter(list, u"MaxNum", &MaxNum, kParamInteger);
    AddParameter(list, u"MinLength", &MinLength, kParamPageLength);
    AddParameter(list, u"MaxLength", &MaxLength, kParamPageLength);
    AddParameter(list, u"MinHeight", &MinHeight, kParamPageLength);
    AddParameter(list, u"MaxHeight", &MaxHeight, kParamPageLength);
    AddParameter(list, u"MinSpace", &MinSpace, kParamPageLength);
    AddParameter(list, u"MaxSpace", &MaxSpace, kParamPageLength);
    AddParameter(list, u"LeftPlus", &LeftPlus, kParamInteger);
    AddParameter(list, u"RightPlus", &RightPlus, kParamInteger);
    AddParameter(list, u"TopPlus", &TopPlus, kParamInteger);
    AddParameter(list, u"BottomPlus", &BottomPlus, kParamInteger);
}

void CLineProperty::ReadAttributes(const CXmlDocument& xml) {
    MinNum = xml.ReadIntAttribute(u"MinNum");
    MaxNum = xml.ReadIntAttribute(u"MaxNum");
    MinLength = xml.ReadIntAttribute(u"MinLength");
    MaxLength = xml.ReadIntAttribute(u"MaxLength");
    MinHeight = xml.ReadIntAttribute(u"MinHeight");
    MaxHeight = xml.ReadIntAttribute(u"MaxHeight");
    MinSpace = xml.ReadIntAttribute(u"MinSpace");
    MaxSpace = xml.ReadIntAttribute(u"MaxSpace");
    LeftPlus = xml.ReadIntAttribute(u"LeftPlus");
    RightPlus = xml.ReadIntAttribute(u"RightPlus");
    TopPlus = xml.ReadIntAttribute(u"TopPlus");
    BottomPlus = xml.ReadIntAttribute(u"BottomPlus");
}

bool CLineProperty::WriteAttributes(CXmlDocument& xml) const {
    return xml.WriteAttribute(u"MinNum", MinNum) && xml.WriteAttribute(u"MaxNum", MaxNum) &&
           xml.WriteAttribute(u"MinLength", MinLength) && xml.WriteAttribute(u"MaxLength", MaxLength) &&
           xml.WriteAttribute(u"MinHeight", MinHeight) && xml.WriteAttribute(u"MaxHeight", MaxHeight) &&
           xml.WriteAttribute(u"MinSpace", MinSpace) && xml.WriteAttribute(u"MaxSpace", MaxSpace) &&
           xml.WriteAttribute(u"LeftPlus", LeftPlus) && xml.WriteAttribute(u"RightPlus", RightPlus) &&
           xml.WriteAttribute(u"TopPlus", TopPlus) && xml.WriteAttribute(u"BottomPlus", BottomPlus);
}

void CLineProperty::Assign(const CLineProperty& o) {
    if (&o == this) return;
    MinNum = o.MinNum;
    MaxNum = o.MaxNum;
    MinLength = o.MinLength;
    MaxLength = o.MaxLength;
    MinHeight = o.MinHeight;
    MaxHeight = o.MaxHeight;
    MinSpace = o.MinSpace;
    MaxSpace = o.MaxSpace;
    LeftPlus = o.LeftPlus;
    RightPlus = o.RightPlus;
    TopPlus = o.TopPlus;
    BottomPlus = o.BottomPlus;
    refWidth = o.refWidth;
    refHeight = o.refHeight;
}

void CLineProperty::SetImageSize(int32_t width, int32_t height) {
    refWidth = width;
    refHeight = height;
}

// ---- CLineLocationMethod ----

void CLineLocationMethod::ListParameters(ParameterList& list) {
    BeginParameters(list, u"LineLocationMethod");
    AddParameter(list, u"Type", &type, kParamLineLocationMethod);
}

bool CLineLocationMethod::Read(CXmlDocument& xml) {
    if (!xml.FindElement(kElement)) return false;
    type = xml.ReadIntAttribute(u"Type");
    steps.reset();
    if (xml.EnterElement()) {
        steps = ReadImageProcessingList(xml);
        xml.LeaveElement();
    }
    return true;
}

bool CLineLocationMethod::Write(CXmlDocument& xml) const {
    if (!xml.AppendElement(kElement) || !xml.WriteAttribute(u"Type", type)) return false;
    if (ImageProcessingCount(steps.get()) == 0) return true;
    if (!xml.EnterElement()) return false;
    if (!steps->Write(xml)) return false;
    return xml.LeaveElement();
}

void CLineLocationMethod::Assign(const CLineLocationMethod& o) {
    if (&o == this) return;
    type = o.type;
    steps = CloneImageProcessingList(o.steps.get());
}

// ---- CLineLocationInfo ----

void CLineLocationInfo::ListParameters(ParameterList& list) {
    BeginParameters(list, u"LineLocationRange");
    AddParameter(list, u"Left", &Left, kParamInteger);
    AddParameter(list, u"Right", &Right, kParamInteger);
    AddParameter(list, u"Top", &Top, kParamInteger);
    AddParameter(list, u"Bottom", &Bottom, kParamInteger);
}

bool CLineLocationInfo::Read(CXmlDocument& xml) {
    if (!xml.FindElement(kElement)) return false;
    auto prop = std::make_unique<CLineProperty>();
    prop->ReadAttributes(xml);
    prop->SetImageSize(refWidth, refHeight);
    property = std::move(prop);
    methods.reset();
    if (!xml.EnterElement()) return true;
    if (xml.FindElement(u"LineLocationRange")) {
        Left = xml.ReadIntAttribute(u"Left");
        Top = xml.ReadIntAttribute(u"Top");
        Right = xml.ReadIntAttribute(u"Right");
        Bottom = xml.ReadIntAttribute(u"Bottom");
    }
    methods = ReadLocationList<CLineLocationMethodList>(xml);
    xml.LeaveElement();
    return true;
}

bool CLineLocationInfo::Write(CXmlDocument& xml) const {
    if (!xml.AppendElement(kElement)) return false;
    if (property && !property->WriteAttributes(xml)) return false;
    if (!xml.EnterElement()) return false;
    if (!xml.AppendElement(u"LineLocationRange") || !xml.WriteAttribute(u"Left", Left) ||
        !xml.WriteAttribute(u"Top", Top) || !xml.WriteAttribute(u"Right", Right) ||
        !xml.WriteAttribute(u"Bottom", Bottom))
        return false;
    if (methods && !methods->Write(xml)) return false;
    return xml.LeaveElement();
}

void CLineLocationInfo::Assign(const CLineLocationInfo& o) {
    if (&o == this) return;
    Left = o.Left;
    Top = o.Top;
    Right = o.Right;
    Bottom = o.Bottom;
    if (o.property) {
        auto p = std::make_unique<CLineProperty>();
        p->Assign(*o.property);
        property = std::move(p);
    } else {
        property.reset();
    }
    methods = CopyLocationList(o.methods.get());
    refWidth = o.refWidth;
    refHeight = o.refHeight;
}

void CLineLocationInfo::SetImageSize(int32_t width, int32_t height) {
    refWidth = width;
    refHeight = height;
    if (property) property->SetImageSize(width, height);
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
            const int64_t gaps = chain.empty()
                                     ? pairGap(q, r)
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
    while (end - first >= 2 && static_cast<int64_t>(boxes[first + 1].top) - boxes[first].bottom > maxSp) ++first;
    while (end - first >= 2 && static_cast<int64_t>(boxes[end - 1].top) - boxes[end - 2].bottom > maxSp) --end;
    boxes.erase(boxes.begin() + static_cast<std::ptrdiff_t>(end), boxes.end());
    boxes.erase(boxes.begin(), boxes.begin() + static_cast<std::ptrdiff_t>(first));
    return true;
}

// ---- driver ----

namespace {

int32_t AddClamped(int32_t v, int32_t d) {
    return static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(v) + d, INT32_MIN, INT32_MAX));
}

bool LocateTextLinesImpl(const CRawImage& image, const CLineLocationInfo& info, TextBoxList& boxes) {
    if (!image.HasPixels() || image.width < 1 || image.height < 1) return false;
    if (!info.property || !info.methods) return false;
    const CLineProperty& prop = *info.property;
    const int64_t minNum = prop.MinNum;
    const int64_t maxNum = prop.MaxNum < 1 ? 9999999 : prop.MaxNum;
    std::vector<int32_t> triedWithoutSteps;
    for (const auto& method : info.methods->items) {
        const bool hasSteps = ImageProcessingCount(method->steps.get()) > 0;
        if (!hasSteps) {
            if (std::find(triedWithoutSteps.begin(), triedWithoutSteps.end(), method->type) !=
                triedWithoutSteps.end())
                continue;
            triedWithoutSteps.push_back(method->type);
        }
        std::unique_ptr<CLayoutBase> analyser = CreateLineAnalyser(method->type);
        if (!analyser) continue;
        CRawImage work(image);
        if (!work.HasPixels()) continue;
        if (hasSteps && !ApplyImageProcessingList(work, method->steps.get())) continue;
        TextBoxList list;
        if (!analyser->LocateLines(work, prop, info, list)) continue;
        MergeLineBoxes(list, prop);
        FilterLineSizes(list, prop);
        TrimIsolatedLines(list, prop);
        const int64_t n = static_cast<int64_t>(list.size());
        if (n < minNum || n > maxNum) continue;
        for (TextBox& b : list) {
            b.left = std::max(AddClamped(b.left, prop.LeftPlus), 0);
            b.right = std::min(AddClamped(b.right, prop.RightPlus), image.width - 1);
            b.top = std::max(AddClamped(b.top, prop.TopPlus), 0);
            b.bottom = std::min(AddClamped(b.bottom, prop.BottomPlus), image.height - 1);
        }
        boxes = std::move(list);
        return !boxes.empty();
    }
    return false;
}

}  // namespace

bool LocateTextLines(const CRawImage& image, const CLineLocationInfo& info, TextBoxList& boxes) {
    try {
        return LocateTextLinesImpl(image, info, boxes);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace libMorvaneClassifier

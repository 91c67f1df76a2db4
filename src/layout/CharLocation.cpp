#include "layout/CharLocation.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "layout/LayoutBase.h"
#include "image/Profile.h"
#include "preprocess/ImageProcessing.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

// ---- CCharProperty ----

void CCharProperty::ListParameters(ParameterList& list) {
    BeginParameters(list, u"CharProperty");
    AddParameter(list, u"IsConfirmParams", &IsConfirmParams, kParamFlag);
    AddParameter(list, u"IsIgnorePoint", &IsIgnorePoint, kParamFlag);
    AddParameter(list, u"MaxPointWidth", &MaxPointWidth, kParamPageLength);
    AddParameter(list, u"MaxPointHeight", &MaxPointHeight, kParamPageLength);
    AddParameter(list, u"NumType", &NumType, kParamInteger);
    AddParameter(list, u"MinNum", &MinNum, kParamInteger);
    AddParameter(list, u"MaxNum", &MaxNum, kParamInteger);
    AddParameter(list, u"MinWidth", &MinWidth, kParamPageLength);
    AddParameter(list, u"MaxWidth", &MaxWidth, kParamPageLength);
    AddParameter(list, u"MinHeight", &MinHeight, kParamPageLength);
    AddParameter(list, u"MaxHeight", &MaxHeight, kParamPageLength);
    AddParameter(list, u"MinSpace", &MinSpace, kParamPageLength);
    AddParameter(list, u"MaxSpace", &MaxSpace, kParamPageLength);
    AddParameter(list, u"MinWHRatio", &MinWHRatio, kParamRatio);
    AddParameter(list, u"MaxWHRatio", &MaxWHRatio, kParamRatio);
    AddParameter(list, u"IsRemoveLine", &IsRemoveLine, kParamFlag);
    AddParameter(list, u"LineType", &LineType, kParamInteger);
    AddParameter(list, u"IsEraseStart", &IsEraseStart, kParamFlag);
    AddParameter(list, u"IsSameWidth", &IsSameWidth, kParamFlag);
    AddParameter(list, u"IsSameHeight", &IsSameHeight, kParamFlag);
    AddParameter(list, u"IsSameSpace", &IsSameSpace, kParamFlag);
}

void CCharProperty::ReadAttributes(const CXmlDocument& xml) {
    IsConfirmParams = xml.ReadIntAttribute(u"IsConfirmParams");
    IsIgnorePoint = xml.ReadIntAttribute(u"IsIgnorePoint");
    MaxPointWidth = xml.ReadIntAttribute(u"MaxPointWidth");
    MaxPointHeight = xml.ReadIntAttribute(u"MaxPointHeight");
    NumType = xml.ReadIntAttribute(u"NumType");
    IsSameSpace = xml.ReadIntAttribute(u"IsSameSpace");
    IsSameWidth = xml.ReadIntAttribute(u"IsSameWidth");
    IsSameHeight = xml.ReadIntAttribute(u"IsSameHeight");
    MinNum = xml.ReadIntAttribute(u"MinNum");
    MaxNum = xml.ReadIntAttribute(u"MaxNum");
    MinWidth = xml.ReadIntAttribute(u"MinWidth");
    MaxWidth = xml.ReadIntAttribute(u"MaxWidth");
    MinHeight = xml.ReadIntAttribute(u"MinHeight");
    MaxHeight = xml.ReadIntAttribute(u"MaxHeight");
    MinSpace = xml.ReadIntAttribute(u"MinSpace");
    MaxSpace = xml.ReadIntAttribute(u"MaxSpace");
    MinWHRatio = xml.ReadIntAttribute(u"MinWHRatio");
    MaxWHRatio = xml.ReadIntAttribute(u"MaxWHRatio");
    IsRemoveLine = xml.ReadIntAttribute(u"IsRemoveLine");
    LineType = xml.ReadIntAttribute(u"LineType");
    IsEraseStart = xml.ReadIntAttribute(u"IsEraseStart");
}

bool CCharProperty::WriteAttributes(CXmlDocument& xml) const {
    return xml.WriteAttribute(u"IsConfirmParams", IsConfirmParams) &&
           xml.WriteAttribute(u"IsIgnorePoint", IsIgnorePoint) &&
           xml.WriteAttribute(u"MaxPointWidth", MaxPointWidth) &&
           xml.WriteAttribute(u"MaxPointHeight", MaxPointHeight) && xml.WriteAttribute(u"NumType", NumType) &&
           xml.WriteAttribute(u"IsSameSpace", IsSameSpace) && xml.WriteAttribute(u"IsSameWidth", IsSameWidth) &&
           xml.WriteAttribute(u"IsSameHeight", IsSameHeight) && xml.WriteAttribute(u"MinNum", MinNum) &&
           xml.WriteAttribute(u"MaxNum", MaxNum) && xml.WriteAttribute(u"MinWidth", MinWidth) &&
           xml.WriteAttribute(u"MaxWidth", MaxWidth) && xml.WriteAttribute(u"MinHeight", MinHeight) &&
           xml.WriteAttribute(u"MaxHeight", MaxHeight) && xml.WriteAttribute(u"MinSpace", MinSpace) &&
           xml.WriteAttribute(u"MaxSpace", MaxSpace) && xml.WriteAttribute(u"MinWHRatio", MinWHRatio) &&
           xml.WriteAttribute(u"MaxWHRatio", MaxWHRatio) && xml.WriteAttribute(u"IsRemoveLine", IsRemoveLine) &&
           xml.WriteAttribute(u"LineType", LineType) && xml.WriteAttribute(u"IsEraseStart", IsEraseStart);
}

void CCharProperty::Assign(const CCharProperty& o) {
    if (&o == this) return;
    IsConfirmParams = o.IsConfirmParams;
    IsIgnorePoint = o.IsIgnorePoint;
    MaxPointWidth = o.MaxPointWidth;
    MaxPointHeight = o.MaxPointHeight;
    NumType = o.NumType;
    MinNum = o.MinNum;
    MaxNum = o.MaxNum;
    MinWidth = o.MinWidth;
    MaxWidth = o.MaxWidth;
    MinHeight = o.MinHeight;
    MaxHeight = o.MaxHeight;
    MinSpace = o.MinSpace;
    MaxSpace = o.MaxSpace;
    MinWHRatio = o.MinWHRatio;
    MaxWHRatio = o.MaxWHRatio;
    IsRemoveLine = o.IsRemoveLine;
    LineType = o.LineType;
    IsEraseStart = o.IsEraseStart;
    IsSameWidth = o.IsSameWidth;
    IsSameHeight = o.IsSameHeight;
    IsSameSpace = o.IsSameSpace;
    refWidth = o.refWidth;
    refHeight = o.refHeight;
}

void CCharProperty::SetImageSize(int32_t width, int32_t height) {
    refWidth = width;
    refHeight = height;
}

// ---- CCharLocationMethod ----

void CCharLocationMethod::ListParameters(ParameterList& list) {
    BeginParameters(list, u"CharLocationMethod");
    AddParameter(list, u"Type", &type, kParamCharLocationMethod);
}

bool CCharLocationMethod::Read(CXmlDocument& xml) {
    if (!xml.FindElement(kElement)) return false;
    type = xml.ReadIntAttribute(u"Type");
    steps.reset();
    if (xml.EnterElement()) {
        steps = ReadImageProcessingList(xml);
        xml.LeaveElement();
    }
    return true;
}

bool CCharLocationMethod::Write(CXmlDocument& xml) const {
    if (!xml.AppendElement(kElement) || !xml.WriteAttribute(u"Type", type)) return false;
    if (ImageProcessingCount(steps.get()) == 0) return true;
    if (!xml.EnterElement()) return false;
    if (!steps->Write(xml)) return false;
    return xml.LeaveElement();
}

void CCharLocationMethod::Assign(const CCharLocationMethod& o) {
    if (&o == this) return;
    type = o.type;
    steps = CloneImageProcessingList(o.steps.get());
}

// ---- CCharLocationInfo ----

void CCharLocationInfo::ListParameters(ParameterList& list) { list.clear(); }

bool CCharLocationInfo::Read(CXmlDocument& xml) {
    if (!xml.FindElement(kElement)) return false;
    auto prop = std::make_unique<CCharProperty>();
    prop->ReadAttributes(xml);
    prop->SetImageSize(refWidth, refHeight);
    property = std::move(prop);
    methods.reset();
    if (!xml.EnterElement()) return true;
    methods = ReadLocationList<CCharLocationMethodList>(xml);
    xml.LeaveElement();
    return true;
}

bool CCharLocationInfo::Write(CXmlDocument& xml) const {
    if (!xml.AppendElement(kElement)) return false;
    if (property && !property->WriteAttributes(xml)) return false;
    if (!methods || methods->items.empty()) return true;
    if (!xml.EnterElement()) return false;
    if (!methods->Write(xml)) return false;
    return xml.LeaveElement();
}

void CCharLocationInfo::Assign(const CCharLocationInfo& o) {
    if (&o == this) return;
    if (o.property) {
        auto p = std::make_unique<CCharProperty>();
        p->Assign(*o.property);
        property = std::move(p);
    } else {
        property.reset();
    }
    methods = CopyLocationList(o.methods.get());
    refWidth = o.refWidth;
    refHeight = o.refHeight;
}

void CCharLocationInfo::SetImageSize(int32_t width, int32_t height) {
    refWidth = width;
    refHeight = height;
    if (property) property->SetImageSize(width, height);
}

// ---- CCharRatio ----

void CCharRatio::ListParameters(ParameterList& list) {
    BeginParameters(list, u"CharRatio");
    AddParameter(list, u"CharType", &CharType, kParamCharType);
    AddParameter(list, u"WHRatio", &WHRatio, kParamRatio);
    AddParameter(list, u"Charset", &Charset, kParamText);
}

bool CCharRatio::Read(CXmlDocument& xml) {
    if (!xml.FindElement(kElement)) return false;
    CharType = xml.ReadIntAttribute(u"CharType");
    WHRatio = xml.ReadIntAttribute(u"WHRatio");
    Charset = xml.ReadAttribute(u"Charset");
    return true;
}

bool CCharRatio::Write(CXmlDocument& xml) const {
    return xml.AppendElement(kElement) && xml.WriteAttribute(u"CharType", CharType) &&
           xml.WriteAttribute(u"WHRatio", WHRatio) && xml.WriteAttribute(u"Charset", Charset);
}

void CCharRatio::Assign(const CCharRatio& o) {
    if (&o == this) return;
    CharType = o.CharType;
    WHRatio = o.WHRatio;
    Charset = o.Charset;
}

// ---- post-filters ----

void FilterCharSizes(TextBoxList& boxes, const CCharProperty& property) {
    // A zero limit makes its ratio infinite or undefined, which never counts
    // as below the bound.
    const double minH = property.MinHeightPx(), minW = property.MinWidthPx();
    const int64_t maxH = property.MaxHeightPx(), maxW = property.MaxWidthPx();
    boxes.erase(std::remove_if(boxes.begin(), boxes.end(),
                               [&](const TextBox& b) {
                                   const double h = b.Height(), w = b.Width();
                                   const bool tiny = (h / minH < 0.3) && (w / minW < 0.25);
                                   const bool huge = w > maxW && h > maxH;
                                   return tiny || huge;
                               }),
                boxes.end());
}

namespace {

// Splits boxes[i] at the row of smallest ink extent in its middle three
// quarters: a new box for the upper part is inserted at i. False: no split.
bool SplitVertically(const CRawImage& image, TextBoxList& boxes, size_t i) {
    if (boxes.empty() || !layout_detail::IsBinary(image)) return false;
    const TextBox b = boxes[i];
    const int64_t h = static_cast<int64_t>(b.bottom) - b.top;
    const int64_t r0 = static_cast<int64_t>(0.125 * static_cast<double>(h));
    const int64_t r1 = static_cast<int64_t>(0.875 * static_cast<double>(h));
    if (r1 <= r0) return false;
    ProfileRect rect;
    rect.left = std::clamp(b.left, 0, image.width);
    rect.right = std::clamp(b.right, rect.left, image.width);
    rect.top = std::clamp(b.top, 0, image.height);
    rect.bottom = std::clamp(b.bottom, rect.top, image.height);
    std::vector<ProfileEntry> prof(static_cast<size_t>(rect.bottom - rect.top) + 1);
    const bool measured = rect.bottom > rect.top && rect.right > rect.left && RowProfile(image, prof.data(), rect);
    int64_t best = -1, bestExtent = 0;
    for (int64_t r = r0; r < r1; ++r) {
        const int64_t y = b.top + r;
        int64_t extent = 0;
        if (measured && y >= rect.top && y < rect.bottom) {
            const ProfileEntry& e = prof[static_cast<size_t>(y - rect.top)];
            if (e.count > 0) extent = static_cast<int64_t>(e.last) - e.first;
        }
        if (best < 0 || extent <= bestExtent) {
            best = r;
            bestExtent = extent;
        }
    }
    if (best < 0 || best == r0) return false;
    const int32_t d = static_cast<int32_t>(best);
    TextBox upper{b.left, b.top, b.right, std::max(b.top, b.top + d - 1)};
    boxes[i].top = b.top + d;
    boxes.insert(boxes.begin() + static_cast<std::ptrdiff_t>(i), upper);
    return true;
}

// Cuts boxes[i] at the valleys of its smoothed column weight; the pieces
// replace it, leftmost first, starting at i. False: no split.
bool SplitHorizontally(const CRawImage& image, TextBoxList& boxes, size_t i, int32_t minWidthPx) {
    if (boxes.empty() || !layout_detail::IsBinary(image)) return false;
    TextBox b = boxes[i];
    b.left = std::max(b.left, 0);
    b.top = std::max(b.top, 0);
    b.right = std::min(b.right, image.width);
    b.bottom = std::min(b.bottom, image.height);
    b.left = std::min(b.left, b.right);
    b.top = std::min(b.top, b.bottom);
    const int32_t n = b.right - b.left;
    if (n < 2 || b.bottom <= b.top) return false;
    std::vector<ProfileEntry> prof(static_cast<size_t>(n));
    ProfileRect rect{b.left, b.top, b.right, b.bottom};
    if (!ColumnProfile(image, prof.data(), rect)) return false;
    std::vector<float> v(static_cast<size_t>(n));
    int64_t sum = 0;
    for (int32_t k = 0; k < n; ++k) {
        const ProfileEntry& e = prof[static_cast<size_t>(k)];
        const int64_t value = (8 * static_cast<int64_t>(e.count) + 2 * (static_cast<int64_t>(e.last) - e.first)) / 10;
        v[static_cast<size_t>(k)] = static_cast<float>(value);
        sum += value;
    }
    const double half = static_cast<double>(sum / (2 * static_cast<int64_t>(n)));
    SmoothGaussianInPlace(v, 2.0);
    std::vector<int32_t> valleys;
    bool falling = false;
    for (int32_t k = 1; k < n; ++k) {
        const float a = v[static_cast<size_t>(k - 1)], c = v[static_cast<size_t>(k)];
        if (std::fabs(c - a) < 0.001f) continue;
        if (c < a) {
            falling = true;
        } else {
            if (falling) valleys.push_back(k - 1);
            falling = false;
        }
    }
    valleys.erase(std::remove_if(valleys.begin(), valleys.end(),
                                 [&](int32_t k) { return v[static_cast<size_t>(k)] > half; }),
                  valleys.end());
    size_t first = 0;
    while (first < valleys.size() && valleys[first] < minWidthPx) ++first;
    if (first >= valleys.size()) return false;
    // Pieces from the original left edge, each ending where the next begins.
    const int32_t oldLeft = boxes[i].left;
    TextBoxList pieces;
    int32_t start = oldLeft;
    for (size_t k = first; k < valleys.size(); ++k) {
        const int32_t cut = b.left + valleys[k];
        pieces.push_back(TextBox{start, boxes[i].top, cut, boxes[i].bottom});
        start = cut;
    }
    boxes[i].left = start;
    boxes.insert(boxes.begin() + static_cast<std::ptrdiff_t>(i), pieces.begin(), pieces.end());
    return true;
}

}  // namespace

void FilterCharShapes(const CRawImage& image, TextBoxList& boxes, const CCharProperty& property) {
    const int64_t minH = property.MinHeightPx(), minW = property.MinWidthPx();
    const int64_t maxH = property.MaxHeightPx(), maxW = property.MaxWidthPx();
    const int64_t minR = property.MinWHRatio, maxR = property.MaxWHRatio;
    const int64_t g = std::max<int64_t>(2 * maxW, std::min<int64_t>(4 * maxW, 125));
    // Every split leaves strictly smaller pieces, so the walk ends; the cap
    // only bounds the time on pathological limits.
    size_t budget = 64 * boxes.size() + 100000;
    size_t i = 0;
    while (i < boxes.size() && budget-- > 0) {
        const TextBox& b = boxes[i];
        const int64_t w = b.Width(), h = b.Height();
        int64_t ratio = w * 100 / std::max<int64_t>(h, 1);
        if ((ratio > 300 && h < minH + 10) || w < minW || h < minH + 10) ratio = minR;
        if ((w <= maxW && ratio <= maxR) || w < 2 * minW) {
            if (h <= maxH) {
                ++i;
            } else if (static_cast<double>(h) < 1.4 * static_cast<double>(maxH) && h >= minW) {
                if (!SplitVertically(image, boxes, i)) ++i;  // split: look at the upper part next
            } else {
                boxes.erase(boxes.begin() + static_cast<std::ptrdiff_t>(i));
            }
        } else if (w <= g && h >= minH) {
            if (!SplitHorizontally(image, boxes, i, property.MinWidthPx())) ++i;  // split: leftmost piece next
        } else {
            boxes.erase(boxes.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

void MergeOverlappingChars(TextBoxList& boxes, const CCharProperty& property) {
    if (boxes.size() < 2) return;
    const int64_t maxH = property.MaxHeightPx(), maxW = property.MaxWidthPx();
    TextBoxList out;
    out.reserve(boxes.size());
    TextBox s = boxes[0];
    for (size_t k = 1; k < boxes.size(); ++k) {
        const TextBox& n = boxes[k];
        const int64_t minWidth = std::min(s.Width(), n.Width());
        const int64_t common = static_cast<int64_t>(std::min(s.right, n.right)) - std::max(s.left, n.left);
        const double ov = minWidth > 0 ? static_cast<double>(common) / static_cast<double>(minWidth) : 0.0;
        if (ov < 0.85) {
            out.push_back(s);
            s = n;
            continue;
        }
        const int64_t uh = static_cast<int64_t>(std::max(s.bottom, n.bottom)) - std::min(s.top, n.top);
        if (uh > maxH) {
            // Drop the lower of the two boxes; the survivor goes on.
            if (std::llabs(n.Height()) < std::llabs(s.Height())) continue;
            s = n;
            continue;
        }
        const int64_t uw = static_cast<int64_t>(std::max(s.right, n.right)) - std::min(s.left, n.left);
        if (uw >= maxW) {
            out.push_back(s);
            s = n;
            continue;
        }
        s = TextBox{std::min(s.left, n.left), std::min(s.top, n.top), std::max(s.right, n.right),
                    std::max(s.bottom, n.bottom)};
    }
    out.push_back(s);
    boxes = std::move(out);
}

// ---- drivers ----

namespace {

bool LocateCharactersImpl(const CRawImage& lineImage, const CCharLocationInfo& info, TextBoxList& boxes) {
    if (!lineImage.HasPixels() || lineImage.width < 1 || lineImage.height < 1) return false;
    if (!info.property || !info.methods) return false;
    const CCharProperty& prop = *info.property;
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
        std::unique_ptr<CLayoutBase> analyser = CreateCharAnalyser(method->type);
        if (!analyser) continue;
        CRawImage work(lineImage);
        if (!work.HasPixels()) continue;
        if (hasSteps && !ApplyImageProcessingList(work, method->steps.get())) continue;
        TextBoxList list;
        if (!analyser->LocateChars(work, prop, list)) continue;
        FilterCharSizes(list, prop);
        FilterCharShapes(work, list, prop);
        MergeOverlappingChars(list, prop);
        const int64_t n = static_cast<int64_t>(list.size());
        if (n < minNum || n > maxNum) continue;
        boxes = std::move(list);
        return !boxes.empty();
    }
    return false;
}

}  // namespace

bool LocateCharacters(const CRawImage& lineImage, const CCharLocationInfo& info, TextBoxList& boxes) {
    try {
        return LocateCharactersImpl(lineImage, info, boxes);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

int32_t LocateText(const CRawImage& image, const CLineLocationInfo& lineInfo, const CCharLocationInfo& charInfo,
                   std::vector<TextLineResult>& results) {
    if (!image.HasPixels() || image.width < 1 || image.height < 1) return kLocateTextBadImage;
    try {
        results.clear();
        TextBoxList lines;
        if (!LocateTextLines(image, lineInfo, lines)) return kLocateTextNoLines;
        for (const TextBox& line : lines) {
            CRawImage crop;
            if (!layout_detail::CropInto(image, crop, line.left, line.top, line.right, line.bottom)) continue;
            TextBoxList chars;
            if (!LocateCharacters(crop, charInfo, chars)) continue;
            TextLineResult r;
            r.line = line;
            r.chars = std::move(chars);
            for (TextBox& c : r.chars) {
                c.left += line.left;
                c.right += line.left;
                c.top += line.top;
                c.bottom += line.top;
            }
            results.push_back(std::move(r));
        }
        return results.empty() ? kLocateTextNoChars : kLocateTextOk;
    } catch (const std::bad_alloc&) {
        results.clear();
        return kLocateTextNoMemory;
    }
}

}  // namespace libMorvaneClassifier

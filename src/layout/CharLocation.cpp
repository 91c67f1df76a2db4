#include "layout/CharLocation.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "image/Profile.h"
#include "layout/LayoutBase.h"
#include "layout/LocationDriver.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

// ---- CCharProperty ----

// The element carries the three "IsSame" flags after "NumType"; the editor
// lists them last.
const RecordTable<CCharProperty>& CCharProperty::Fields() {
    static const RecordTable<CCharProperty> table{
        kElement,
        PropertyFields({IntField(u"IsConfirmParams", &CCharProperty::IsConfirmParams, kParamFlag),
                        IntField(u"IsIgnorePoint", &CCharProperty::IsIgnorePoint, kParamFlag),
                        IntField(u"MaxPointWidth", &CCharProperty::MaxPointWidth, kParamPageLength),
                        IntField(u"MaxPointHeight", &CCharProperty::MaxPointHeight, kParamPageLength),
                        IntField(u"NumType", &CCharProperty::NumType),
                        IntField(u"IsSameSpace", &CCharProperty::IsSameSpace, kParamFlag).Listed(24),
                        IntField(u"IsSameWidth", &CCharProperty::IsSameWidth, kParamFlag).Listed(22),
                        IntField(u"IsSameHeight", &CCharProperty::IsSameHeight, kParamFlag).Listed(23),
                        IntField(u"MinNum", &CCharProperty::MinNum),
                        IntField(u"MaxNum", &CCharProperty::MaxNum),
                        IntField(u"MinWidth", &CCharProperty::MinWidth, kParamPageLength),
                        IntField(u"MaxWidth", &CCharProperty::MaxWidth, kParamPageLength),
                        IntField(u"MinHeight", &CCharProperty::MinHeight, kParamPageLength),
                        IntField(u"MaxHeight", &CCharProperty::MaxHeight, kParamPageLength),
                        IntField(u"MinSpace", &CCharProperty::MinSpace, kParamPageLength),
                        IntField(u"MaxSpace", &CCharProperty::MaxSpace, kParamPageLength),
                        IntField(u"MinWHRatio", &CCharProperty::MinWHRatio, kParamRatio),
                        IntField(u"MaxWHRatio", &CCharProperty::MaxWHRatio, kParamRatio),
                        IntField(u"IsRemoveLine", &CCharProperty::IsRemoveLine, kParamFlag),
                        IntField(u"LineType", &CCharProperty::LineType),
                        IntField(u"IsEraseStart", &CCharProperty::IsEraseStart, kParamFlag)}),
        u"CharProperty"};
    return table;
}

// ---- CCharLocationInfo ----

const RecordTable<CCharLocationInfo>& CCharLocationInfo::Fields() {
    static const RecordTable<CCharLocationInfo> table{kElement, LocationFields({})};
    return table;
}

// ---- CCharRatio ----

const RecordTable<CCharRatio>& CCharRatio::Fields() {
    static const RecordTable<CCharRatio> table{kElement,
                                               {IntField(u"CharType", &CCharRatio::CharType, kParamCharType),
                                                IntField(u"WHRatio", &CCharRatio::WHRatio, kParamRatio),
                                                TextField(u"Charset", &CCharRatio::Charset)}};
    return table;
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
    const bool measured =
        rect.bottom > rect.top && rect.right > rect.left && RowProfile(image, prof.data(), rect);
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
        const int64_t value =
            (8 * static_cast<int64_t>(e.count) + 2 * (static_cast<int64_t>(e.last) - e.first)) / 10;
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
            if (!SplitHorizontally(image, boxes, i, property.MinWidthPx()))
                ++i;  // split: leftmost piece next
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

bool LocateCharacters(const CRawImage& lineImage, const CCharLocationInfo& info, TextBoxList& boxes) {
    if (!lineImage.HasPixels() || lineImage.width < 1 || lineImage.height < 1) return false;
    if (!info.property || !info.methods) return false;
    const CCharProperty& prop = *info.property;
    return layout_detail::TryLocationMethods(
        lineImage, *info.methods, CreateCharAnalyser, prop.MinNum, prop.MaxNum,
        [&](CLayoutBase& analyser, const CRawImage& work, TextBoxList& list) {
            if (!analyser.LocateChars(work, prop, list)) return false;
            FilterCharSizes(list, prop);
            FilterCharShapes(work, list, prop);
            MergeOverlappingChars(list, prop);
            return true;
        },
        boxes);
}

int32_t LocateText(const CRawImage& image, const CLineLocationInfo& lineInfo,
                   const CCharLocationInfo& charInfo, std::vector<TextLineResult>& results) {
    if (!image.HasPixels() || image.width < 1 || image.height < 1) return kErrInvalidParameter;
    try {
        results.clear();
        TextBoxList lines;
        if (!LocateTextLines(image, lineInfo, lines)) return kErrAnalyzeTextLine;
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
        return results.empty() ? kErrSegmentChars : kSuccess;
    } catch (const std::bad_alloc&) {
        results.clear();
        return kErrNoMemory;
    }
}

}  // namespace libMorvaneClassifier

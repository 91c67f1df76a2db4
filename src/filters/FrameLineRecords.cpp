#include "filters/FrameLineRecords.h"

#include <cmath>
#include <cstdlib>

#include "core/Geometry.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

// ---- CLine ----

void CLine::ListParameters(ParameterList& list) {
    BeginParameters(list, u"Line");
    AddParameter(list, u"StartPtX", &startPtX, kParamInteger);
    AddParameter(list, u"StartPtY", &startPtY, kParamInteger);
    AddParameter(list, u"EndPtX", &endPtX, kParamInteger);
    AddParameter(list, u"EndPtY", &endPtY, kParamInteger);
}

bool CLine::Read(CXmlDocument& xml) {
    if (!xml.FindElement(kElement)) return false;
    startPtX = xml.ReadIntAttribute(u"StartPtX");
    startPtY = xml.ReadIntAttribute(u"StartPtY");
    endPtX = xml.ReadIntAttribute(u"EndPtX");
    endPtY = xml.ReadIntAttribute(u"EndPtY");
    anchor.reset();
    if (xml.EnterElement()) {
        auto a = std::make_unique<CAnchor>();
        if (a->Read(xml)) anchor = std::move(a);
        xml.LeaveElement();
    }
    return true;
}

bool CLine::Write(CXmlDocument& xml) const {
    if (!xml.AppendElement(kElement)) return false;
    if (!xml.WriteAttribute(u"StartPtX", startPtX) || !xml.WriteAttribute(u"StartPtY", startPtY) ||
        !xml.WriteAttribute(u"EndPtX", endPtX) || !xml.WriteAttribute(u"EndPtY", endPtY))
        return false;
    if (!xml.EnterElement()) return false;
    if (anchor && !anchor->Write(xml)) return false;
    return xml.LeaveElement();
}

void CLine::Assign(const CLine& other) {
    if (&other == this) return;
    startPtX = other.startPtX;
    startPtY = other.startPtY;
    endPtX = other.endPtX;
    endPtY = other.endPtY;
    imageWidth = other.imageWidth;
    imageHeight = other.imageHeight;
    if (other.anchor) {
        auto a = std::make_unique<CAnchor>();
        a->Assign(*other.anchor);
        anchor = std::move(a);
    } else {
        anchor.reset();
    }
}

void CLine::SetImageSize(int32_t w, int32_t h) {
    imageWidth = w;
    imageHeight = h;
    if (anchor) anchor->SetImageSize(w, h);
}

bool CLine::SetStart(int32_t x, int32_t y) {
    if (imageWidth <= 0 || imageHeight <= 0) return false;
    startPtX = ToTenThousandths(x, imageWidth);
    startPtY = ToTenThousandths(y, imageHeight);
    return true;
}

bool CLine::SetEnd(int32_t x, int32_t y) {
    if (imageWidth <= 0 || imageHeight <= 0) return false;
    endPtX = ToTenThousandths(x, imageWidth);
    endPtY = ToTenThousandths(y, imageHeight);
    return true;
}

std::pair<int32_t, int32_t> CLine::Midpoint() const {
    const int64_t x = (static_cast<int64_t>(ToPixels(startPtX, imageWidth)) + ToPixels(endPtX, imageWidth)) / 2;
    const int64_t y = (static_cast<int64_t>(ToPixels(startPtY, imageHeight)) + ToPixels(endPtY, imageHeight)) / 2;
    return {static_cast<int32_t>(x), static_cast<int32_t>(y)};
}

int32_t CLine::Length() const {
    const double dx = static_cast<double>(ToPixels(startPtX, imageWidth)) - ToPixels(endPtX, imageWidth);
    const double dy = static_cast<double>(ToPixels(startPtY, imageHeight)) - ToPixels(endPtY, imageHeight);
    return static_cast<int32_t>(std::sqrt(dx * dx + dy * dy) + 0.5);
}

void CLine::PlaceAnchor(const CLine& matched, double similarity) {
    if (!anchor) return;
    if (!(anchor->threshold < similarity * 1000.0)) return;
    const auto mid = matched.Midpoint();
    anchor->Locate(mid.first, mid.second);
}

// ---- CFrameLineInfo ----

void CFrameLineInfo::ListParameters(ParameterList& list) {
    BeginParameters(list, u"FrameLine");
    AddParameter(list, u"Index", &index, kParamInteger);
    AddParameter(list, u"Style", &style, kParamInteger);
    AddParameter(list, u"Color", &color, kParamInteger);
    AddParameter(list, u"Angle", &angle, kParamInteger);
}

bool CFrameLineInfo::Read(CXmlDocument& xml) {
    if (!xml.FindElement(kElement)) return true;
    index = xml.ReadIntAttribute(u"Index");
    style = xml.ReadIntAttribute(u"Style");
    color = xml.ReadIntAttribute(u"Color");
    angle = xml.ReadIntAttribute(u"Angle");
    line.reset();
    if (xml.EnterElement()) {
        auto l = std::make_unique<CLine>();
        if (l->Read(xml)) line = std::move(l);
        xml.LeaveElement();
    }
    return true;
}

bool CFrameLineInfo::Write(CXmlDocument& xml) const {
    if (!xml.AppendElement(kElement)) return false;
    if (!xml.WriteAttribute(u"Index", index) || !xml.WriteAttribute(u"Style", style) ||
        !xml.WriteAttribute(u"Color", color) || !xml.WriteAttribute(u"Angle", angle))
        return false;
    if (!xml.EnterElement()) return false;
    if (line && !line->Write(xml)) return false;
    return xml.LeaveElement();
}

void CFrameLineInfo::Assign(const CFrameLineInfo& other) {
    if (&other == this) return;
    index = other.index;
    color = other.color;
    angle = other.angle;
    style = other.style;
    imageWidth = other.imageWidth;
    imageHeight = other.imageHeight;
    line = other.line ? std::make_unique<CLine>(*other.line) : nullptr;
}

void CFrameLineInfo::SetImageSize(int32_t w, int32_t h) {
    imageWidth = w;
    imageHeight = h;
    if (line) line->SetImageSize(w, h);
}

std::pair<int32_t, int32_t> CFrameLineInfo::Midpoint() const {
    return line ? line->Midpoint() : std::pair<int32_t, int32_t>{-1, -1};
}

int32_t CFrameLineInfo::Length() const { return line ? line->Length() : 0; }

// ---- CFrameLineRule ----

void CFrameLineRule::ListParameters(ParameterList& list) {
    BeginParameters(list, u"FrameLineRule");
    AddParameter(list, u"Index", &index, kParamInteger);
    AddParameter(list, u"Style", &style, kParamInteger);
    AddParameter(list, u"Color", &color, kParamInteger);
    AddParameter(list, u"Angle", &angle, kParamInteger);
    AddParameter(list, u"MinLength", &minLength, kParamInteger);
    AddParameter(list, u"MaxLength", &maxLength, kParamInteger);
    AddParameter(list, u"MinWidth", &minWidth, kParamInteger);
    AddParameter(list, u"MaxWidth", &maxWidth, kParamInteger);
    AddParameter(list, u"Quality", &quality, kParamInteger);
}

bool CFrameLineRule::Read(CXmlDocument& xml) {
    if (!xml.FindElement(kElement)) return false;
    index = xml.ReadIntAttribute(u"Index");
    style = xml.ReadIntAttribute(u"Style");
    minLength = xml.ReadIntAttribute(u"MinLength");
    maxLength = xml.ReadIntAttribute(u"MaxLength");
    minWidth = xml.ReadIntAttribute(u"MinWidth");
    maxWidth = xml.ReadIntAttribute(u"MaxWidth");
    angle = xml.ReadIntAttribute(u"Angle");
    color = xml.ReadIntAttribute(u"Color");
    quality = xml.ReadIntAttribute(u"Quality");
    return true;
}

bool CFrameLineRule::Write(CXmlDocument& xml) const {
    return xml.AppendElement(kElement) && xml.WriteAttribute(u"Index", index) && xml.WriteAttribute(u"Style", style) &&
           xml.WriteAttribute(u"MinLength", minLength) && xml.WriteAttribute(u"MaxLength", maxLength) &&
           xml.WriteAttribute(u"MinWidth", minWidth) && xml.WriteAttribute(u"MaxWidth", maxWidth) &&
           xml.WriteAttribute(u"Angle", angle) && xml.WriteAttribute(u"Color", color) &&
           xml.WriteAttribute(u"Quality", quality);
}

void CFrameLineRule::Assign(const CFrameLineRule& other) {
    if (&other == this) return;
    index = other.index;
    minLength = other.minLength;
    maxLength = other.maxLength;
    minWidth = other.minWidth;
    maxWidth = other.maxWidth;
    angle = other.angle;
    color = other.color;
    quality = other.quality;
    style = other.style;
    imageWidth = other.imageWidth;
    imageHeight = other.imageHeight;
}

int32_t CFrameLineRule::MinLengthPx() const { return ToPixels(minLength, angle < 46 ? imageWidth : imageHeight); }
int32_t CFrameLineRule::MaxLengthPx() const { return ToPixels(maxLength, angle < 46 ? imageWidth : imageHeight); }

// ---- lists ----

void CFrameLineList::SetImageSize(int32_t w, int32_t h) {
    ForEach([w, h](CFrameLineInfo& f) { f.SetImageSize(w, h); });
}

void CFrameLineList::Append(const CFrameLineInfo& record) {
    items.resize(static_cast<size_t>(count));
    items.push_back(std::make_unique<CFrameLineInfo>(record));
    ++count;
}

void CFrameLineRuleList::SetImageSize(int32_t w, int32_t h) {
    ForEach([w, h](CFrameLineRule& r) { r.SetImageSize(w, h); });
}

bool AcceptLine(const CFrameLineRuleList* rules, const DetectedLine& line, int32_t key) {
    if (!rules || !rules->HasItems()) return true;
    const CFrameLineRule* rule = nullptr;
    for (const auto& r : rules->items)
        if (r && r->angle == key) {
            rule = r.get();
            break;
        }
    if (!rule) return false;
    if (rule->MaxLengthPx() > 0) {
        const int64_t length = std::max(std::llabs(static_cast<int64_t>(line.x1) - line.x2),
                                        std::llabs(static_cast<int64_t>(line.y1) - line.y2));
        if (!(rule->MinLengthPx() < length && length < rule->MaxLengthPx())) return false;
    }
    if (rule->quality > 0 && !(rule->quality < line.quality * 100)) return false;
    if (rule->maxWidth > 0) {
        const double t = line.thickness;
        // Truncation toward zero; thicknesses beyond the 32-bit range never pass.
        if (!(t > -2147483648.0 && t < 2147483648.0)) return false;
        const int32_t w = static_cast<int32_t>(t);
        if (!(rule->minWidth <= w && w <= rule->maxWidth)) return false;
    }
    return true;
}

// ---- ColorMatch ----

bool ColorMatch::Read(CXmlDocument& xml) {
    if (!xml.FindElement(kElement)) return false;
    method = xml.ReadIntAttribute(u"Method");
    if (xml.EnterElement()) xml.LeaveElement();
    return true;
}

bool ColorMatch::Write(CXmlDocument& xml) const {
    if (!xml.AppendElement(kElement) || !xml.WriteAttribute(u"Method", method)) return false;
    return xml.EnterElement() && xml.LeaveElement();
}

}  // namespace libMorvaneClassifier

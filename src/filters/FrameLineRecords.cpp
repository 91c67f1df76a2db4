#include "filters/FrameLineRecords.h"

#include <cmath>
#include <cstdlib>

#include "core/Geometry.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

// ---- CLine ----

const RecordTable<CLine>& CLine::Fields() {
    static const RecordTable<CLine> table{
        kElement,
        {IntField(u"StartPtX", &CLine::startPtX), IntField(u"StartPtY", &CLine::startPtY),
         IntField(u"EndPtX", &CLine::endPtX), IntField(u"EndPtY", &CLine::endPtY),
         ChildField<&CLine::anchor>(CAnchor::kElement), CopiedField<&CLine::imageWidth>(),
         CopiedField<&CLine::imageHeight>()}};
    return table;
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
    const int64_t x =
        (static_cast<int64_t>(ToPixels(startPtX, imageWidth)) + ToPixels(endPtX, imageWidth)) / 2;
    const int64_t y =
        (static_cast<int64_t>(ToPixels(startPtY, imageHeight)) + ToPixels(endPtY, imageHeight)) / 2;
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

const RecordTable<CFrameLineInfo>& CFrameLineInfo::Fields() {
    static const RecordTable<CFrameLineInfo> table{
        kElement,
        {IntField(u"Index", &CFrameLineInfo::index), IntField(u"Style", &CFrameLineInfo::style),
         IntField(u"Color", &CFrameLineInfo::color), IntField(u"Angle", &CFrameLineInfo::angle),
         ChildField<&CFrameLineInfo::line>(CLine::kElement), CopiedField<&CFrameLineInfo::imageWidth>(),
         CopiedField<&CFrameLineInfo::imageHeight>()}};
    return table;
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

// The editor lists colour and angle before the sizes.
const RecordTable<CFrameLineRule>& CFrameLineRule::Fields() {
    static const RecordTable<CFrameLineRule> table{
        kElement,
        {IntField(u"Index", &CFrameLineRule::index), IntField(u"Style", &CFrameLineRule::style),
         IntField(u"MinLength", &CFrameLineRule::minLength).Listed(5),
         IntField(u"MaxLength", &CFrameLineRule::maxLength).Listed(6),
         IntField(u"MinWidth", &CFrameLineRule::minWidth).Listed(7),
         IntField(u"MaxWidth", &CFrameLineRule::maxWidth).Listed(8),
         IntField(u"Angle", &CFrameLineRule::angle).Listed(4),
         IntField(u"Color", &CFrameLineRule::color).Listed(3),
         IntField(u"Quality", &CFrameLineRule::quality).Listed(9), CopiedField<&CFrameLineRule::imageWidth>(),
         CopiedField<&CFrameLineRule::imageHeight>()}};
    return table;
}

int32_t CFrameLineRule::MinLengthPx() const {
    return ToPixels(minLength, angle < 46 ? imageWidth : imageHeight);
}
int32_t CFrameLineRule::MaxLengthPx() const {
    return ToPixels(maxLength, angle < 46 ? imageWidth : imageHeight);
}

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

}  // namespace libMorvaneClassifier

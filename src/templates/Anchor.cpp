#include "templates/Anchor.h"

#include <algorithm>

#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

// ---- CAnchor ----

const RecordTable<CAnchor>& CAnchor::Fields() {
    static const RecordTable<CAnchor> table{
        kElement,
        {IntField(u"ID", &CAnchor::id), IntField(u"InheritedID", &CAnchor::inheritedId),
         IntField(u"Type", &CAnchor::type, kParamAnchorType),
         IntField(u"RefType", &CAnchor::refType, kParamLocationType), IntField(u"PosX", &CAnchor::posX),
         IntField(u"PosY", &CAnchor::posY), IntField(u"Min", &CAnchor::min), IntField(u"Max", &CAnchor::max),
         IntField(u"Threshold", &CAnchor::threshold), IntField(u"IsValid", &CAnchor::valid, kParamFlag),
         CopiedField<&CAnchor::position>(), CopiedField<&CAnchor::imageWidth>(),
         CopiedField<&CAnchor::imageHeight>()}};
    return table;
}

bool CAnchor::Locate(int32_t x, int32_t y) {
    if (valid) return true;
    if (imageWidth <= 0 || imageHeight <= 0) return false;
    if (type == 2)
        position = ToTenThousandths(y, imageHeight);
    else if (type == 1)
        position = ToTenThousandths(x, imageWidth);
    valid = 1;
    return true;
}

bool CAnchor::CopyPositionFrom(const CAnchor& other) {
    if (!other.valid) return false;
    if (valid) return true;
    if (type != other.type) return false;
    imageWidth = other.imageWidth;
    imageHeight = other.imageHeight;
    if (imageWidth <= 0 || imageHeight <= 0) return false;
    position = other.position;
    valid = 1;
    return true;
}

int32_t CAnchor::PixelPosition() const {
    if (type == 2) return ToPixels(position, imageHeight);
    if (type == 1) return ToPixels(position, imageWidth);
    return 0;
}

// ---- CRefAnchorInfo ----

const RecordTable<CRefAnchorInfo>& CRefAnchorInfo::Fields() {
    static const RecordTable<CRefAnchorInfo> table{
        kElement,
        {IntField(u"ID", &CRefAnchorInfo::id), IntField(u"RefAnchorID", &CRefAnchorInfo::refAnchorId),
         IntField(u"DistToAnchor", &CRefAnchorInfo::distToAnchor),
         IntField(u"LocationType", &CRefAnchorInfo::locationType, kParamLocationType),
         CopiedField<&CRefAnchorInfo::imageWidth>(), CopiedField<&CRefAnchorInfo::imageHeight>()}};
    return table;
}

int32_t CRefAnchorInfo::DistancePixels() const {
    if (locationType == 1 || locationType == 3) return ToPixels(distToAnchor, imageWidth);
    if (locationType == 2 || locationType == 4) return ToPixels(distToAnchor, imageHeight);
    return 0;
}

// ---- CRegion ----

// The editor lists the horizontal edges first.
const RecordTable<CRegion>& CRegion::Fields() {
    static const RecordTable<CRegion> table{
        kElement,
        {IntField(u"Left", &CRegion::left), IntField(u"Top", &CRegion::top).Listed(3),
         IntField(u"Right", &CRegion::right).Listed(2), IntField(u"Bottom", &CRegion::bottom),
         ChildField<&CRegion::refAnchorList>(CRefAnchorInfo::kListElement),
         ChildField<&CRegion::anchorList>(CAnchor::kListElement), CopiedField<&CRegion::imageWidth>(),
         CopiedField<&CRegion::imageHeight>()}};
    return table;
}

void CRegion::SetImageSize(int32_t w, int32_t h) {
    imageWidth = w;
    imageHeight = h;
    if (refAnchorList) refAnchorList->ForEach([&](CRefAnchorInfo& r) { r.SetImageSize(w, h); });
    if (anchorList) anchorList->ForEach([&](CAnchor& a) { a.SetImageSize(w, h); });
}

Rect32 CRegion::PixelRect() const {
    Rect32 r;
    r.left = ToPixels(left, imageWidth);
    r.top = ToPixels(top, imageHeight);
    r.right = ToPixels(right, imageWidth);
    r.bottom = ToPixels(bottom, imageHeight);
    return r;
}

int32_t CRegion::PixelWidth() const { return ToPixels(right, imageWidth) - ToPixels(left, imageWidth); }

int32_t CRegion::PixelHeight() const { return ToPixels(bottom, imageHeight) - ToPixels(top, imageHeight); }

void CRegion::SetFromPixels(const Rect32& rect) {
    if (imageWidth <= 0 || imageHeight <= 0) return;
    left = ToTenThousandths(rect.left, imageWidth);
    right = ToTenThousandths(rect.right, imageWidth);
    top = ToTenThousandths(rect.top, imageHeight);
    bottom = ToTenThousandths(rect.bottom, imageHeight);
}

std::optional<Rect32> CRegion::AnchoredRect(const std::vector<CAnchor*>& anchors) const {
    if (left == right || top == bottom) return std::nullopt;
    Rect32 r = PixelRect();
    if (anchors.empty() || !refAnchorList) return r;
    refAnchorList->ForEach([&](const CRefAnchorInfo& ref) {
        const CAnchor* found = nullptr;
        for (const CAnchor* a : anchors) {
            if (a && a->id == ref.refAnchorId) {
                found = a;
                break;
            }
        }
        if (!found || !found->valid) return;
        const int64_t v64 = static_cast<int64_t>(ref.DistancePixels()) + found->PixelPosition();
        const int32_t v = static_cast<int32_t>(std::clamp<int64_t>(v64, INT32_MIN, INT32_MAX));
        switch (ref.locationType) {
            case 1:
                r.left = std::max(v, 0);
                break;
            case 2:
                r.top = std::max(v, 0);
                break;
            case 3:
                r.right = std::min(imageWidth, v);
                break;
            case 4:
                r.bottom = std::min(imageHeight, v);
                break;
            default:
                break;
        }
    });
    return r;
}

void CRegion::LocateAnchors(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t score) {
    if (!anchorList) return;
    // Midpoints in 64 bits so that extreme coordinates cannot overflow.
    const int32_t midX = static_cast<int32_t>((static_cast<int64_t>(x0) + x1) / 2);
    const int32_t midY = static_cast<int32_t>((static_cast<int64_t>(y0) + y1) / 2);
    int32_t px = x1, py = y1;  // the point used for an unknown refType
    anchorList->ForEach([&](CAnchor& a) {
        if (score < a.threshold) return;
        switch (a.refType) {
            case 1:
                px = x0;
                py = midY;
                break;
            case 2:
                px = midX;
                py = y0;
                break;
            case 3:
                px = x1;
                py = midY;
                break;
            case 4:
                px = midX;
                py = y1;
                break;
            default:
                break;
        }
        a.Locate(px, py);
    });
}

}  // namespace libMorvaneClassifier

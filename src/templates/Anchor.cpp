#include "templates/Anchor.h"

#include <algorithm>

#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

// ---- CAnchor ----

void CAnchor::ListParameters(ParameterList& list) {
    BeginParameters(list, kElement);
    AddParameter(list, u"ID", &id, kParamInteger);
    AddParameter(list, u"InheritedID", &inheritedId, kParamInteger);
    AddParameter(list, u"Type", &type, kParamAnchorType);
    AddParameter(list, u"PosX", &posX, kParamInteger);
    AddParameter(list, u"PosY", &posY, kParamInteger);
    AddParameter(list, u"Min", &min, kParamInteger);
    AddParameter(list, u"Max", &max, kParamInteger);
    AddParameter(list, u"Threshold", &threshold, kParamInteger);
    AddParameter(list, u"IsValid", &valid, kParamFlag);
}

bool CAnchor::Read(CXmlDocument& xml) {
    if (!xml.FindElement(kElement)) return false;
    id = xml.ReadIntAttribute(u"ID");
    inheritedId = xml.ReadIntAttribute(u"InheritedID");
    type = xml.ReadIntAttribute(u"Type");
    refType = xml.ReadIntAttribute(u"RefType");
    posX = xml.ReadIntAttribute(u"PosX");
    posY = xml.ReadIntAttribute(u"PosY");
    min = xml.ReadIntAttribute(u"Min");
    max = xml.ReadIntAttribute(u"Max");
    threshold = xml.ReadIntAttribute(u"Threshold");
    valid = xml.ReadIntAttribute(u"IsValid");
    return true;
}

bool CAnchor::Write(CXmlDocument& xml) const {
    return xml.AppendElement(kElement) && xml.WriteAttribute(u"ID", id) &&
           xml.WriteAttribute(u"InheritedID", inheritedId) && xml.WriteAttribute(u"Type", type) &&
           xml.WriteAttribute(u"RefType", refType) && xml.WriteAttribute(u"PosX", posX) &&
           xml.WriteAttribute(u"PosY", posY) && xml.WriteAttribute(u"Min", min) &&
           xml.WriteAttribute(u"Max", max) && xml.WriteAttribute(u"Threshold", threshold) &&
           xml.WriteAttribute(u"IsValid", valid);
}

void CAnchor::Assign(const CAnchor& other) {
    if (&other == this) return;
    id = other.id;
    type = other.type;
    position = other.position;
    posX = other.posX;
    posY = other.posY;
    min = other.min;
    max = other.max;
    valid = other.valid;
    threshold = other.threshold;
    inheritedId = other.inheritedId;
    refType = other.refType;
    imageWidth = other.imageWidth;
    imageHeight = other.imageHeight;
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

void CRefAnchorInfo::ListParameters(ParameterList& list) {
    BeginParameters(list, kElement);
    AddParameter(list, u"ID", &id, kParamInteger);
    AddParameter(list, u"RefAnchorID", &refAnchorId, kParamInteger);
    AddParameter(list, u"DistToAnchor", &distToAnchor, kParamInteger);
    AddParameter(list, u"LocationType", &locationType, kParamLocationType);
}

bool CRefAnchorInfo::Read(CXmlDocument& xml) {
    if (!xml.FindElement(kElement)) return false;
    id = xml.ReadIntAttribute(u"ID");
    refAnchorId = xml.ReadIntAttribute(u"RefAnchorID");
    distToAnchor = xml.ReadIntAttribute(u"DistToAnchor");
    locationType = xml.ReadIntAttribute(u"LocationType");
    return true;
}

bool CRefAnchorInfo::Write(CXmlDocument& xml) const {
    return xml.AppendElement(kElement) && xml.WriteAttribute(u"ID", id) &&
           xml.WriteAttribute(u"RefAnchorID", refAnchorId) &&
           xml.WriteAttribute(u"DistToAnchor", distToAnchor) &&
           xml.WriteAttribute(u"LocationType", locationType);
}

void CRefAnchorInfo::Assign(const CRefAnchorInfo& other) {
    if (&other == this) return;
    id = other.id;
    refAnchorId = other.refAnchorId;
    distToAnchor = other.distToAnchor;
    locationType = other.locationType;
    imageWidth = other.imageWidth;
    imageHeight = other.imageHeight;
}

int32_t CRefAnchorInfo::DistancePixels() const {
    if (locationType == 1 || locationType == 3) return ToPixels(distToAnchor, imageWidth);
    if (locationType == 2 || locationType == 4) return ToPixels(distToAnchor, imageHeight);
    return 0;
}

// ---- CRegion ----

void CRegion::ListParameters(ParameterList& list) {
    BeginParameters(list, kElement);
    AddParameter(list, u"Left", &left, kParamInteger);
    AddParameter(list, u"Right", &right, kParamInteger);
    AddParameter(list, u"Top", &top, kParamInteger);
    AddParameter(list, u"Bottom", &bottom, kParamInteger);
}

bool CRegion::Read(CXmlDocument& xml) {
    if (!xml.FindElement(kElement)) return false;
    left = xml.ReadIntAttribute(u"Left");
    top = xml.ReadIntAttribute(u"Top");
    right = xml.ReadIntAttribute(u"Right");
    bottom = xml.ReadIntAttribute(u"Bottom");
    refAnchorList.reset();
    anchorList.reset();
    if (xml.EnterElement()) {
        refAnchorList = ReadOwnedList<CRefAnchorList>(xml);
        anchorList = ReadOwnedList<CAnchorList>(xml);
        xml.LeaveElement();
    }
    return true;
}

bool CRegion::Write(CXmlDocument& xml) const {
    if (!(xml.AppendElement(kElement) && xml.WriteAttribute(u"Left", left) &&
          xml.WriteAttribute(u"Top", top) && xml.WriteAttribute(u"Right", right) &&
          xml.WriteAttribute(u"Bottom", bottom)))
        return false;
    const bool hasRefs = refAnchorList && refAnchorList->count > 0 && refAnchorList->HasItems();
    const bool hasAnchors = anchorList && anchorList->count > 0 && anchorList->HasItems();
    if (!hasRefs && !hasAnchors) return true;
    if (!xml.EnterElement()) return false;
    if (refAnchorList && !refAnchorList->Write(xml)) return false;
    if (anchorList && !anchorList->Write(xml)) return false;
    return xml.LeaveElement();
}

void CRegion::Assign(const CRegion& other) {
    if (&other == this) return;
    left = other.left;
    top = other.top;
    right = other.right;
    bottom = other.bottom;
    anchorList = CopyOwnedList(other.anchorList);
    refAnchorList = CopyOwnedList(other.refAnchorList);
    imageWidth = other.imageWidth;
    imageHeight = other.imageHeight;
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
            case 1: r.left = std::max(v, 0); break;
            case 2: r.top = std::max(v, 0); break;
            case 3: r.right = std::min(imageWidth, v); break;
            case 4: r.bottom = std::min(imageHeight, v); break;
            default: break;
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
            case 1: px = x0; py = midY; break;
            case 2: px = midX; py = y0; break;
            case 3: px = x1; py = midY; break;
            case 4: px = midX; py = y1; break;
            default: break;
        }
        a.Locate(px, py);
    });
}

}  // namespace libMorvaneClassifier

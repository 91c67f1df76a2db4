#include "filters/FilterSize.h"

#include <cmath>
#include <cstdlib>

#include "core/ResultCodes.h"
#include "image/Dib.h"
#include "imagefile/ImageCodecs.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

// The attributes sit in two child elements; the table lists and copies them.
// The resolution and the size each sit on an element of their own, written
// only when both of its values are set; the editor lists the size first.
const RecordTable<CFilterSizeInfo>& CFilterSizeInfo::Fields() {
    static constexpr char16_t kResolution[] = u"PixelResolution";
    static constexpr char16_t kSize[] = u"PhysicalSize";
    static const RecordTable<CFilterSizeInfo> table{
        u"SizeFilterInfo",
        {IntField(u"HoriDpi", &CFilterSizeInfo::horiDpi).On(kResolution, WrittenWhen::kAllPositive).Listed(4),
         IntField(u"VertDpi", &CFilterSizeInfo::vertDpi).On(kResolution, WrittenWhen::kAllPositive).Listed(3),
         IntField(u"Width", &CFilterSizeInfo::physicalWidth).On(kSize, WrittenWhen::kAllPositive).Listed(1),
         IntField(u"Height", &CFilterSizeInfo::physicalHeight)
             .On(kSize, WrittenWhen::kAllPositive)
             .Listed(2)}};
    return table;
}

void CFilterSizeInfo::Assign(const CFilterInfoBase& other) {
    if (&other == this) return;
    AssignKindFields(*this, other);
    CFilterInfoBase::Assign(other);
}

bool CFilterSizeInfo::ReadXml(CXmlDocument& xml) {
    ReadChildren(*this, Fields(), xml);
    return true;
}

bool CFilterSizeInfo::WriteXml(CXmlDocument& xml) const { return WriteChildren(*this, Fields(), xml); }

int32_t CFilterSizeInfo::Compare(CFilterInfoBase* reference) {
    const auto* ref = dynamic_cast<const CFilterSizeInfo*>(reference);
    if (!ref) return 0;
    const int64_t w = ref->physicalWidth, h = ref->physicalHeight;
    const int64_t W = physicalWidth, H = physicalHeight;
    if (h == 0 || (w == 0 && h == 0)) return 0;

    float e = 1.0f;
    if (w + h != 0) {
        e = static_cast<float>(static_cast<double>(std::llabs(H - h) + std::llabs(W - w)) /
                               static_cast<double>(w + h));
        if (!(e >= 0.0f && e <= 1.0f)) e = 1.0f;  // negative only for malformed sizes
    }
    // A zero reference width or a zero measured height leaves no usable
    // aspect ratio: the aspect error is then total.
    float g = 1.0f;
    if (w != 0 && H != 0) {
        const float f = static_cast<float>(w) / static_cast<float>(h);
        const float a = static_cast<float>(W) / static_cast<float>(H);
        g = std::fabs(a - f) / f;
        if (!(g >= 0.0f && g <= 1.0f)) g = 1.0f;
    }
    return static_cast<int32_t>((1.0f - (e + g) * 0.5f) * 1000.0f);
}

void CFilterSize::ListParameters(ParameterList& list) {
    BeginParameters(list, u"Size Filter");
    CFilterBase::ListParameters(list);
}

int32_t CFilterSize::ExtractFeature(const CRawImage* images, int32_t imageCount, CFilterInfoBase* feature) {
    if (!images || imageCount <= 0 || !feature || !rule) return kErrInvalidParameter;
    if (feature->type != rule->type) return kErrInvalidParameter;
    auto* out = dynamic_cast<CFilterSizeInfo*>(feature);
    const auto* r = dynamic_cast<const CFilterSizeInfo*>(rule.get());
    if (!out || !r) return kErrInvalidParameter;

    int64_t sumW = 0, sumH = 0;
    for (int32_t i = 0; i < imageCount; ++i) {
        sumW += images[i].width;
        sumH += images[i].height;
    }
    const int64_t avgW = sumW / imageCount;
    const int64_t avgH = sumH / imageCount;

    int32_t hRes = horiDpi != 0 ? horiDpi : r->horiDpi;
    int32_t vRes = vertDpi != 0 ? vertDpi : r->vertDpi;
    if (vRes <= 0 || hRes <= 0) return kErrInvalidParameter;
    if (pageScaleNum != pageScaleDen) {
        // A page decoded at a reduced size has a reduced resolution too.
        hRes = imagefile::ScaledDpi(hRes, pageScaleNum, pageScaleDen);
        vRes = imagefile::ScaledDpi(vRes, pageScaleNum, pageScaleDen);
        if (vRes <= 0 || hRes <= 0) return kErrInvalidParameter;
    }

    out->physicalWidth =
        static_cast<int32_t>(static_cast<uint32_t>(avgW) * 1000u / static_cast<uint32_t>(hRes));
    out->physicalHeight =
        static_cast<int32_t>(static_cast<uint32_t>(avgH) * 1000u / static_cast<uint32_t>(vRes));
    out->refFilter = index;
    out->applicationType = applicationType;
    return kSuccess;
}

}  // namespace libMorvaneClassifier

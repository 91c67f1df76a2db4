#include "templates/FilterInfoBase.h"

#include <algorithm>

#include "core/ObjList.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

CFilterKinds CFilterKinds::With(int32_t type, FilterInfoMaker make) const {
    CFilterKinds kinds = *this;
    if (type >= 0 && type <= kMaxFilterInfoType) kinds.makers_[type] = make;
    return kinds;
}

bool CFilterKinds::Has(int32_t type) const {
    return type >= 0 && type <= kMaxFilterInfoType && makers_[type] != nullptr;
}

std::unique_ptr<CFilterInfoBase> CFilterKinds::Make(int32_t type) const {
    return Has(type) ? makers_[type]() : nullptr;
}

CFilterInfoBase::CFilterInfoBase() = default;
CFilterInfoBase::~CFilterInfoBase() = default;

const RecordTable<CFilterInfoBase>& CFilterInfoBase::Fields() {
    static const RecordTable<CFilterInfoBase> table{
        u"FilterInfo",
        {IntField(u"Type", &CFilterInfoBase::type, kParamFilterType),
         IntField(u"RefFilter", &CFilterInfoBase::refFilter),
         CopiedField<&CFilterInfoBase::applicationType>(), CopiedField<&CFilterInfoBase::imageWidth>(),
         CopiedField<&CFilterInfoBase::imageHeight>(), CopiedField<&CFilterInfoBase::anchors>(),
         ChildField<&CFilterInfoBase::region>(CRegion::kElement)}};
    return table;
}

void CFilterInfoBase::ListParameters(ParameterList& list) { AppendFieldParameters(*this, Fields(), list); }

void CFilterInfoBase::Assign(const CFilterInfoBase& other) { CopyFields(*this, other, Fields()); }

void CFilterInfoBase::CollectAnchors(std::vector<CAnchor*>&) {}

void CFilterInfoBase::SetImageSize(int32_t width, int32_t height) {
    imageWidth = width;
    imageHeight = height;
    if (region) region->SetImageSize(width, height);
    if (anchors)
        for (CAnchor* a : *anchors)
            if (a) a->SetImageSize(width, height);
}

bool CFilterInfoBase::LocateAnchors(CFilterInfoBase*) { return true; }

std::optional<Rect32> CFilterInfoBase::EffectiveRegion() const {
    if (!region) return std::nullopt;
    if (anchors && !anchors->empty()) return region->AnchoredRect(*anchors);
    return region->PixelRect();
}

void CFilterInfoBase::ReadRegion(CXmlDocument& xml) {
    auto r = std::make_unique<CRegion>();
    if (r->Read(xml))
        region = std::move(r);
    else
        region.reset();
}

bool CFilterInfoBase::WriteRegion(CXmlDocument& xml) const { return !region || region->Write(xml); }

// ---- CFilterInfoList ----

void CFilterInfoList::Clear() {
    items.clear();
    count = 0;
}

bool CFilterInfoList::ReadFilterInfoList(CXmlDocument& xml, const CFilterKinds& kinds) {
    Clear();
    if (!xml.FindElement(u"FilterInfoList")) return false;
    const int32_t n = xml.ReadIntAttribute(u"Size");
    if (n < 1) return true;
    if (n > kMaxDeclaredCount) return false;
    items.reserve(static_cast<size_t>(std::min(n, 1024)));
    if (!xml.EnterElement()) return false;
    // Every failure below leaves the list element again, so the cursor is
    // back on `FilterInfoList` and the caller's later elements are found.
    auto fail = [&]() {
        Clear();
        xml.LeaveElement();
        return false;
    };
    for (int32_t i = 0; i < n; ++i) {
        if (!xml.FindElement(u"FilterInfo")) return fail();
        const int32_t ref = xml.ReadIntAttribute(u"RefFilter");
        const int32_t kind = xml.ReadIntAttribute(u"Type");
        std::unique_ptr<CFilterInfoBase> info = kinds.Make(kind);
        if (!info) return fail();
        if (!xml.EnterElement()) return fail();
        const bool ok = info->ReadXml(xml);
        xml.LeaveElement();
        if (!ok) return fail();
        info->refFilter = ref;
        info->type = kind;
        items.push_back(std::move(info));
        count = static_cast<int32_t>(items.size());
    }
    xml.LeaveElement();
    return true;
}

CFilterInfoBase* CFilterInfoList::Get(int32_t i) const {
    if (i < 0 || i >= count || static_cast<size_t>(i) >= items.size()) return nullptr;
    return items[static_cast<size_t>(i)].get();
}

CFilterInfoBase* CFilterInfoList::FindFilterInfo(int32_t refFilter) const {
    for (const auto& info : items)
        if (info && info->refFilter == refFilter) return info.get();
    return nullptr;
}

void CFilterInfoList::StoreFeature(const CFilterInfoBase& feature, const CFilterKinds& kinds) {
    if (CFilterInfoBase* existing = FindFilterInfo(feature.refFilter)) {
        existing->Assign(feature);
        return;
    }
    std::unique_ptr<CFilterInfoBase> copy = kinds.Make(feature.type);
    if (!copy) return;
    copy->Assign(feature);
    items.push_back(std::move(copy));
    count = static_cast<int32_t>(items.size());
}

}  // namespace libMorvaneClassifier

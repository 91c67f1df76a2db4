#include "templates/SubTemplate.h"

#include "core/ObjList.h"
#include "platform/PlatformProcesses.h"
#include "templates/FilterInfoBase.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

CSubTemplate::CSubTemplate() = default;
CSubTemplate::~CSubTemplate() = default;

const RecordTable<CSubTemplate>& CSubTemplate::Fields() {
    static const RecordTable<CSubTemplate> table{
        u"SubTemplate",
        {IntField(u"Index", &CSubTemplate::index), TextField(u"ID", &CSubTemplate::id),
         TextField(u"Name", &CSubTemplate::name), PathField(u"ImagePath", &CSubTemplate::imagePath),
         TextField(u"OutputID", &CSubTemplate::outputId)}};
    return table;
}

void CSubTemplate::ListParameters(ParameterList& list) { ListFields(*this, Fields(), list); }

bool CSubTemplate::Load(const std::u16string& path, const CFilterKinds& kinds) {
    CXmlDocument xml;
    xml.ParseText(nullptr);
    if (!LoadXmlFile(path, xml)) return false;
    return ReadFrom(xml, kinds);
}

bool CSubTemplate::ReadFrom(CXmlDocument& xml, const CFilterKinds& kinds) {
    CDeclaredSlotBudget budget;
    xml.ResetPosition();
    if (!xml.FindElement(Fields().element)) return false;
    ReadAttributes(*this, Fields(), xml);
    imagePath = imageDir + imagePath;
    NormalizePath(imagePath);

    filterInfos.reset();
    anchorList.reset();
    anchors.clear();
    if (xml.EnterElement()) {
        auto infos = std::make_unique<CFilterInfoList>();
        if (infos->ReadFilterInfoList(xml, kinds)) {
            filterInfos = std::move(infos);
        } else {
            // A failed list read may stop anywhere inside the list. Go back
            // to the list element itself (when there is one) so that the
            // elements after it are still found.
            while (xml.LeaveElement()) {
            }
            xml.ResetPosition();
            if (xml.FindElement(u"SubTemplate") && xml.EnterElement()) xml.FindElement(u"FilterInfoList");
        }
        anchorList = ReadOwnedList<CAnchorList>(xml);
        xml.LeaveElement();
    }
    CollectAnchors();
    return true;
}

void CSubTemplate::CollectAnchors() {
    anchors.clear();
    if (filterInfos)
        for (const auto& info : filterInfos->items)
            if (info) info->CollectAnchors(anchors);
    if (anchorList) anchorList->ForEach([&](CAnchor& a) { anchors.push_back(&a); });
}

CFilterInfoBase* CSubTemplate::FindFilterInfo(int32_t refFilter) const {
    return filterInfos ? filterInfos->FindFilterInfo(refFilter) : nullptr;
}

void CSubTemplate::StoreFeature(const CFilterInfoBase& feature, const CFilterKinds& kinds) {
    if (!storedFeatures) storedFeatures = std::make_unique<CFilterInfoList>();
    storedFeatures->StoreFeature(feature, kinds);
}

CFilterInfoBase* CSubTemplate::FindStoredFeature(int32_t refFilter) const {
    return storedFeatures ? storedFeatures->FindFilterInfo(refFilter) : nullptr;
}

void CSubTemplate::ClearStoredFeatures() { storedFeatures.reset(); }

void CSubTemplate::ResetAnchors() {
    for (CAnchor* a : anchors) {
        if (!a) continue;
        a->valid = 0;
        a->SetImageSize(0, 0);
    }
}

void CSubTemplate::InheritAnchors(const CSubTemplate* parentTemplate) {
    if (!parentTemplate) return;
    for (CAnchor* a : anchors) {
        if (!a || a->valid || a->inheritedId < 0) continue;
        for (const CAnchor* p : parentTemplate->anchors) {
            if (p && p->id == a->inheritedId) {
                a->CopyPositionFrom(*p);
                break;
            }
        }
    }
}

}  // namespace libMorvaneClassifier

#include "filters/FilterText.h"

#include "api/ResultCodes.h"
#include "image/Dib.h"
#include "templates/ObjList.h"
#include "templates/SubTemplate.h"
#include "templates/TemplateGroup.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

// ---- CFilterTextInfo ----

CFilterTextInfo::CFilterTextInfo() { type = kFilterTypeText; }
CFilterTextInfo::~CFilterTextInfo() = default;

const RecordTable<CFilterTextInfo>& CFilterTextInfo::Fields() {
    static const RecordTable<CFilterTextInfo> table{
        u"TextFilterInfo",
        {IntField(u"Method", &CFilterTextInfo::method, kParamTextMatchMethod),
         ChildField<&CFilterTextInfo::textLines>(CTextLine::kListElement)}};
    return table;
}

void CFilterTextInfo::Assign(const CFilterInfoBase& other) {
    if (&other == this || other.type != type || !AssignKindFields(*this, other)) return;
    CFilterInfoBase::Assign(other);
}

bool CFilterTextInfo::ReadXml(CXmlDocument& xml) {
    ReadRegion(xml);
    // The line-location, character-location and engine records that may
    // follow are not held by this build; the searches below pass over them.
    if (xml.FindElement(u"TextMatch")) method = xml.ReadIntAttribute(u"Method");
    textLines = ReadOwnedList<CTextLineList>(xml);
    return true;
}

bool CFilterTextInfo::WriteXml(CXmlDocument& xml) const {
    if (!WriteRegion(xml)) return false;
    if (method != 0 && !(xml.AppendElement(u"TextMatch") && xml.WriteAttribute(u"Method", method)))
        return false;
    return !textLines || textLines->Write(xml);
}

// Matching recognised text needs the recognition results of a measured
// feature, which this build never produces.
int32_t CFilterTextInfo::Compare(CFilterInfoBase*) { return 0; }

void CFilterTextInfo::CollectAnchors(std::vector<CAnchor*>& list) {
    if (!textLines) return;
    textLines->ForEach([&](CTextLine& line) {
        if (line.region && line.region->anchorList)
            line.region->anchorList->ForEach([&](CAnchor& a) { list.push_back(&a); });
    });
}

void CFilterTextInfo::SetImageSize(int32_t width, int32_t height) {
    if (textLines) textLines->ForEach([&](CTextLine& line) { line.SetImageSize(width, height); });
    CFilterInfoBase::SetImageSize(width, height);
}

// ---- CFilterText ----

CFilterText::CFilterText() {
    type = kFilterTypeText;
    applicationType = 0;
}

void CFilterText::ListParameters(ParameterList& list) {
    BeginParameters(list, u"Text Filter");
    CFilterBase::ListParameters(list);
}

// Text is located through the rule's line-location record, which this build
// does not hold, so nothing can be measured.
int32_t CFilterText::ExtractFeature(const CRawImage*, int32_t, CFilterInfoBase*) {
    return kErrInvalidParameter;
}

int32_t CFilterText::Classify(const CRawImage& image, CTemplateGroup* group) {
    if (!image.HasPixels() || !group) return kErrInvalidParameter;
    if (group->childCount <= 0) return kSuccess;
    if (applicationType != 0 && applicationType != 1) return kSuccess;

    // Where a feature comes from: measured, or reused from the feature a
    // filter stored with the group's own sub-template at the previous level.
    auto obtainFeature = [&]() -> std::unique_ptr<CFilterInfoBase> {
        if (featureMode == 0) return CreateFeature(&image, 1);
        if (featureMode == 1 && group->attached) {
            if (CFilterInfoBase* stored = group->attached->FindStoredFeature(inheritedFilter)) {
                auto copy = std::make_unique<CFilterTextInfo>();
                copy->Assign(*stored);
                return copy;
            }
        }
        return nullptr;
    };
    auto compareChild = [&](CFilterInfoBase& feature, CTemplateGroup& child, int32_t i,
                            CFilterInfoBase& reference) {
        reference.anchors = &child.attached->GetAnchors();
        reference.SetImageSize(image.width, image.height);
        const int32_t s = feature.Compare(&reference);
        reference.anchors = nullptr;
        child.attached->StoreFeature(feature);
        Score(child, i, s);
    };

    if (applicationType == 1) {
        std::unique_ptr<CFilterInfoBase> feature = obtainFeature();
        if (!feature) return kSuccess;
        for (int32_t i = 0; i < group->childCount; ++i) {
            CTemplateGroup* child = group->Child(i);
            if (CFilterInfoBase* reference = ReferenceFor(child)) compareChild(*feature, *child, i, *reference);
        }
        return kSuccess;
    }

    // One measurement per child, each with the child's reference as the rule.
    for (int32_t i = 0; i < group->childCount; ++i) {
        CTemplateGroup* child = group->Child(i);
        CFilterInfoBase* reference = ReferenceFor(child);
        if (!reference) continue;
        // The reference stands in for the filter's own rule while this
        // child's feature is measured; the own rule is put back right after.
        std::unique_ptr<CFilterInfoBase> ownRule = std::move(rule);
        rule.reset(reference);
        reference->anchors = &child->attached->GetAnchors();
        std::unique_ptr<CFilterInfoBase> feature = obtainFeature();
        reference->anchors = nullptr;
        rule.release();  // owned by the child's sub-template
        rule = std::move(ownRule);
        if (!feature) continue;
        compareChild(*feature, *child, i, *reference);
    }
    return kSuccess;
}

}  // namespace libMorvaneClassifier

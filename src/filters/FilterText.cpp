#include "filters/FilterText.h"

#include "core/ResultCodes.h"
#include "filters/TextScoring.h"
#include "image/Dib.h"
#include "core/ObjList.h"
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

namespace {

std::vector<CTextLine*> LinesOf(const CFilterTextInfo& info) {
    std::vector<CTextLine*> v;
    if (info.textLines) info.textLines->ForEach([&](CTextLine& line) { v.push_back(&line); });
    return v;
}

}  // namespace

// This record is the feature measured from the image; reference is the
// child's expected lines. The method and the normalisation come from the
// feature (copied from the filter and its rule when it was measured).
int32_t CFilterTextInfo::Compare(CFilterInfoBase* reference) {
    auto* ref = dynamic_cast<CFilterTextInfo*>(reference);
    if (!ref || ref->type != type) return 0;
    return MatchTextLines(method, applicationType, LinesOf(*ref), LinesOf(*this), true);
}

// This record is the reference: its lines are aligned with the feature's as
// method 1 does, and the anchors of the matched lines' regions are located on
// the recognised lines. True when at least one line pair was found.
bool CFilterTextInfo::LocateAnchors(CFilterInfoBase* feature) {
    auto* f = dynamic_cast<CFilterTextInfo*>(feature);
    if (!f || f->type != type) return false;
    const std::vector<CTextLine*> refLines = LinesOf(*this);
    const std::vector<CTextLine*> featLines = LinesOf(*f);
    return MatchTextLines(kTextMatchAlign, f->applicationType, refLines, featLines, true) > 0;
}

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

// Measuring checks the feature and the rule, then needs the rule's
// line-location record to find text lines; this build holds none, so it
// answers "Invalid parameter" as for a rule without one. Once lines and their
// character pieces are located, RecogniseLocatedLines turns them into the
// feature's text lines.
int32_t CFilterText::ExtractFeature(const CRawImage* images, int32_t imageCount, CFilterInfoBase* feature) {
    if (!images || imageCount <= 0 || !images[0].HasPixels()) return kErrInvalidParameter;
    if (!feature || !rule || feature->type != rule->type) return kErrInvalidParameter;
    return kErrInvalidParameter;
}

int32_t CFilterText::FinishFeature(const std::vector<LocatedTextLine>& located, const Rect32& region,
                                   int32_t pageWidth, int32_t pageHeight, const TextCharLimits& limits,
                                   const std::vector<TextEngineRecord>& engines, const TextRecognizeFn& recognize,
                                   CFilterTextInfo& feature) const {
    auto lines = std::make_unique<CTextLineList>();
    const int32_t rc =
        RecogniseLocatedLines(located, region, pageWidth, pageHeight, limits, engines, recognize, *lines);
    if (rc != kSuccess) return rc;
    feature.SetImageSize(pageWidth, pageHeight);
    feature.textLines = std::move(lines);
    feature.refFilter = index;
    const auto* ownRule = dynamic_cast<const CFilterTextInfo*>(rule.get());
    feature.method = ownRule ? ownRule->method : 0;
    feature.applicationType = applicationType;
    return kSuccess;
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

#include "filters/FilterBase.h"

#include "core/ResultCodes.h"
#include "filters/FilterFactory.h"
#include "image/Dib.h"
#include "platform/PlatformProcesses.h"
#include "templates/SubTemplate.h"
#include "templates/TemplateGroup.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

namespace {

// 32-bit two's-complement arithmetic without undefined behaviour.
int32_t Wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

}  // namespace

CFilterBase::CFilterBase() = default;
CFilterBase::~CFilterBase() = default;

const RecordTable<CFilterBase>& CFilterBase::Fields() {
    static const RecordTable<CFilterBase> table{
        u"BasicProperty",
        {IntField(u"Index", &CFilterBase::index),
         IntField(u"Type", &CFilterBase::type, kParamFilterType).NotInElement(),
         TextField(u"Name", &CFilterBase::name),
         IntField(u"ProcessType", &CFilterBase::processType, kParamProcessType),
         IntField(u"OutputType", &CFilterBase::outputType),
         IntField(u"ApplicationType", &CFilterBase::applicationType, kParamApplicationType),
         IntField(u"Threshold", &CFilterBase::threshold), IntField(u"Weight", &CFilterBase::weight),
         PathField(u"ImagePath", &CFilterBase::imagePath), CopiedField<&CFilterBase::horiDpi>(),
         CopiedField<&CFilterBase::vertDpi>()}};
    return table;
}

void CFilterBase::ListParameters(ParameterList& list) { AppendFieldParameters(*this, Fields(), list); }

void CFilterBase::Assign(const CFilterBase& other) {
    if (&other == this) return;
    CopyFields(*this, other, Fields());
    rule.reset();
    if (other.rule) {
        rule = CreateFilterInfo(type);
        if (rule) rule->Assign(*other.rule);
    }
    steps = CopyProcessingChain(other.steps.get());
}

std::unique_ptr<CFilterInfoBase> CFilterBase::CreateFeature(const CRawImage* images, int32_t imageCount) {
    if (!images || imageCount <= 0) return nullptr;
    std::unique_ptr<CFilterInfoBase> feature = CreateFilterInfo(type);
    if (!feature) return nullptr;
    if (ExtractFeature(images, imageCount, feature.get()) != 0) return nullptr;
    return feature;
}

bool CFilterBase::ReadContents(CXmlDocument& xml) {
    if (!xml.FindElement(Fields().element)) return false;
    ReadAttributes(*this, Fields(), xml);
    imagePath = baseDir + imagePath;
    NormalizePath(imagePath);

    steps = ReadProcessingChain(xml);

    std::unique_ptr<CFilterInfoBase> info = CreateFilterInfo(type);
    if (!info) return false;
    if (!info->ReadXml(xml)) return false;
    info->refFilter = index;
    rule = std::move(info);
    return true;
}

CFilterInfoBase* CFilterBase::ReferenceFor(CTemplateGroup* child) const {
    if (!child || !child->valid) return nullptr;
    if (child->score && !child->score->passed) return nullptr;
    if (child->action != 1 || !child->attached) return nullptr;
    return child->attached->FindFilterInfo(index);
}

void CFilterBase::ApplyProcessType(FilterScore& r) const {
    if (processType == kProcessThresholdGate) {
        r.passed = r.score > threshold;
    } else if (processType == kProcessWeightedSum) {
        r.score = Wrap32(static_cast<int64_t>(r.score) * weight);
        r.passed = true;
    }
}

void CFilterBase::MergeScore(CTemplateGroup& child, const FilterScore& r) const {
    if (processType == kProcessThresholdGate) {
        child.Score() = r;
    } else if (processType == kProcessWeightedSum) {
        if (!child.score) {
            child.score = std::make_unique<FilterScore>(r);
            return;
        }
        child.score->score = Wrap32(static_cast<int64_t>(child.score->score) + r.score);
    }
}

void CFilterBase::Score(CTemplateGroup& child, int32_t childIndex, int32_t s) const {
    FilterScore r;
    r.score = s;
    r.passed = true;
    r.childIndex = childIndex;
    ApplyProcessType(r);
    MergeScore(child, r);
    if (scoreObserver && child.score) scoreObserver->OnScore(childIndex, s, *child.score);
}

int32_t CFilterBase::ClassifyCommon(const CRawImage& image, CTemplateGroup* group, bool setImageSize) {
    if (!image.HasPixels() || !group || group->childCount <= 0) return kErrInvalidParameter;
    std::unique_ptr<CFilterInfoBase> feature = CreateFeature(&image, 1);
    if (!feature) return kErrExtractFeature;
    if (setImageSize) feature->SetImageSize(image.width, image.height);
    for (int32_t i = 0; i < group->childCount; ++i) {
        CTemplateGroup* child = group->Child(i);
        CFilterInfoBase* reference = ReferenceFor(child);
        if (!reference) continue;
        if (setImageSize) reference->SetImageSize(image.width, image.height);
        Score(*child, i, feature->Compare(reference));
    }
    return kSuccess;
}

}  // namespace libMorvaneClassifier

// Base of the filters: a filter measures one property of the image and
// scores the children of a template group against their sub-templates'
// reference records.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "core/ObjBase.h"
#include "templates/FilterInfoBase.h"
#include "templates/FilterScore.h"
#include "templates/ProcessingChain.h"

class CRawImage;

namespace libMorvaneClassifier {

class CEngineService;

class CXmlDocument;
class CTemplateGroup;

// How a filter's scores are combined (`processType`).
enum ProcessType : int32_t {
    kProcessThresholdGate = 0,
    kProcessWeightedSum = 1,
};

class CFilterBase : public CObjBase {
public:
    CFilterBase();
    ~CFilterBase() override;
    CFilterBase(const CFilterBase&) = delete;
    CFilterBase& operator=(const CFilterBase&) = delete;

    int32_t type = 0;
    std::u16string name;
    std::u16string imagePath;  // baseDir + "ImagePath"; descriptive
    int32_t index = 0;
    int32_t processType = 0;  // 0 threshold gate, 1 weighted sum, other: scores discarded
    int32_t outputType = 0;
    int32_t applicationType = 0;
    // Run-time settings the driver hands over before every Classify.
    int32_t threshold = 0;
    int32_t weight = 0;
    int32_t featureMode = 0;
    int32_t inheritedFilter = 0;
    std::unique_ptr<CFilterInfoBase> rule;  // record of the filter's kind
    ImageProcessingListPtr steps;           // the filter's own preprocessing; may be null
    int32_t horiDpi = 0;                    // run-time resolution (0 = none given)
    int32_t vertDpi = 0;
    // The page was decoded reduced by pageScaleNum / pageScaleDen (1/1: at
    // full size); a resolution the filter measures with shrinks alike.
    int32_t pageScaleNum = 1;
    int32_t pageScaleDen = 1;
    std::u16string baseDir;
    // Listener of the scores given during one Classify; set by the driver
    // while it traces a run, null otherwise. Not owned.
    ScoreObserver* scoreObserver = nullptr;
    // The recognition engines of the classification (its context's engine
    // service), set by the driver before every Classify. Null outside a
    // classification (a filter measured on its own): the process's service.
    CEngineService* engineService = nullptr;
    // Set by a filter whose Classify fails for a cause the page cannot be
    // classified without (an engine that cannot start): the cause, naming
    // the filter and the engine's file. The driver clears it before a run.
    std::string failureDetail;

    // The attributes of `BasicProperty` ("Type" is listed but comes from the
    // `Filter` element) and the copied run-time resolutions.
    static const RecordTable<CFilterBase>& Fields();
    // Appends the base descriptors; each kind first clears the list and
    // appends its caption, then calls this.
    void ListParameters(ParameterList& list) override;
    // Scores the children of group on image; 0, or -61 / -9 when nothing
    // could be scored.
    virtual int32_t Classify(const CRawImage& image, CTemplateGroup* group) = 0;
    virtual void Assign(const CFilterBase& other);
    // Measures images[0..imageCount) into feature (a record of the kind).
    virtual int32_t ExtractFeature(const CRawImage* images, int32_t imageCount, CFilterInfoBase* feature) = 0;
    // A new record of the kind filled by ExtractFeature, or null.
    virtual std::unique_ptr<CFilterInfoBase> CreateFeature(const CRawImage* images, int32_t imageCount);

    // Reads the contents of a `Filter` element (cursor inside it):
    // `BasicProperty`, the optional chain and the rule.
    bool ReadContents(CXmlDocument& xml);

    // The common classification scheme of the size, grid and frame-line
    // kinds; setImageSize hands the image size to the feature and to each
    // reference before comparing (frame-line kind).
    int32_t ClassifyCommon(const CRawImage& image, CTemplateGroup* group, bool setImageSize);
    // Whether a child takes part in this filter's scoring: valid, its record
    // passed, action 1, attached, and with a reference record for this
    // filter. Returns that reference or null.
    CFilterInfoBase* ReferenceFor(CTemplateGroup* child) const;
    // Applies the threshold gate or the weight to a fresh record.
    void ApplyProcessType(FilterScore& r) const;
    // Merges a record into the child's score record.
    void MergeScore(CTemplateGroup& child, const FilterScore& r) const;
    // Both, for one compared child.
    void Score(CTemplateGroup& child, int32_t childIndex, int32_t s) const;
};

}  // namespace libMorvaneClassifier

// The text filter (type 4) and its info record. The record reads, copies and
// writes its region, matching method and expected text lines, lends the
// anchors of its text lines' regions to its sub-template, and scores a
// measured feature's recognised lines against a reference's expected lines
// by one of five methods (filters/TextScoring.h). A rule also holds how the
// text lines and characters of its region are found (layout/) and which
// engine records recognise them (engines/).
#pragma once
#include <functional>
#include <memory>

#include "engines/KernelInfo.h"
#include "filters/FilterBase.h"
#include "filters/TextScoring.h"
#include "layout/CharLocation.h"
#include "layout/LineLocation.h"
#include "templates/FilterInfoBase.h"
#include "templates/TextLine.h"

namespace libMorvaneClassifier {

class CFilterTextInfo : public CFilterInfoBase {
public:
    CFilterTextInfo();
    ~CFilterTextInfo() override;

    int32_t method = 1;                               // "Method" of `TextMatch`
    std::unique_ptr<CLineLocationInfo> lineLocation;  // "LineLocation"; null: none
    std::unique_ptr<CCharLocationInfo> charLocation;  // "CharLocation"; null: none
    std::unique_ptr<CRecogEngineList> engines;        // "RecogEngineList"; null: none
    std::unique_ptr<CTextLineList> textLines;
    // When set (on a measured feature), Compare also gives the value of each
    // compared reference line here. Not owned, not copied.
    std::vector<TextLineScore>* lineScores = nullptr;

    // The line and character location, the engine records, "Method" (listed,
    // on `TextMatch`, written when not 0) and the text lines, in the order
    // of the elements; children copied deeply.
    static const RecordTable<CFilterTextInfo>& Fields();
    void ListParameters(ParameterList& list) override { ListKindParameters(*this, list); }
    void Assign(const CFilterInfoBase& other) override;
    bool ReadXml(CXmlDocument& xml) override;
    bool WriteXml(CXmlDocument& xml) const override;
    int32_t Compare(CFilterInfoBase* reference) override;
    void CollectAnchors(std::vector<CAnchor*>& list) override;
    void SetImageSize(int32_t width, int32_t height) override;
    bool LocateAnchors(CFilterInfoBase* feature) override;
};

// Time spent by the text filter, in seconds, summed over its calls while a
// CFilterText has a timings sink set (benchmarks).
struct TextFilterTimings {
    double location = 0;     // preprocessing, cropping, line and character location
    double recognition = 0;  // dynamic merge with the engines
    double matching = 0;     // comparing features with the references
};

// Recognises box (coordinates of regionImage) with the engine record of the
// given index of the rule's engine list; true when result was filled.
using TextRegionRecognizeFn = std::function<bool(const CRawImage& regionImage, const Rect32& box,
                                                 size_t engine, RecognitionResult& result)>;

class CFilterText : public CFilterBase {
public:
    CFilterText();

    // Stands in for the recognition engines when set (tests, tools): called
    // for every candidate box with the index of the rule's engine record.
    TextRegionRecognizeFn recognizer;
    // When set, the time of each stage is added to it.
    TextFilterTimings* timings = nullptr;

    void ListParameters(ParameterList& list) override;
    int32_t Classify(const CRawImage& image, CTemplateGroup* group) override;
    int32_t ExtractFeature(const CRawImage* images, int32_t imageCount, CFilterInfoBase* feature) override;

    // The last steps of measuring, once the lines of the rule's region are
    // located (pieces in region-image coordinates): recognises them, and on
    // success fills feature with the kept lines, the page size, this filter's
    // index, the rule's method and this filter's applicationType. Returns 0,
    // or -14 when no line gave characters (feature unchanged).
    int32_t FinishFeature(const std::vector<LocatedTextLine>& located, const Rect32& region,
                          int32_t pageWidth, int32_t pageHeight, const TextCharLimits& limits,
                          const std::vector<TextEngineRecord>& engines, const TextRecognizeFn& recognize,
                          CFilterTextInfo& feature) const;

private:
    // Classify without the check for an engine that could not start.
    int32_t ClassifyGroup(const CRawImage& image, CTemplateGroup* group);
    // Why an engine of this run could not start ("" when all did).
    mutable std::string engineFailure_;
    // The weighing parts of the rule's engine records and the call that
    // recognises one box of regionImage: the stand-in recognizer when set,
    // else the engines.
    void BindEngines(CFilterTextInfo& ruleInfo, const CRawImage& regionImage,
                     std::vector<TextEngineRecord>& engines, TextRecognizeFn& recognize) const;
};

}  // namespace libMorvaneClassifier

// The text filter (type 4) and its info record. The record reads, copies and
// writes its region, matching method and expected text lines, lends the
// anchors of its text lines' regions to its sub-template, and scores a
// measured feature's recognised lines against a reference's expected lines
// by one of five methods (filters/TextScoring.h). The line-location,
// character-location and engine records a rule names are not held by this
// build yet, so a feature cannot be measured from an image: measuring answers
// "Invalid parameter" (no line-location record), while features stored by an
// earlier level are reused and scored.
#pragma once
#include <memory>

#include "filters/FilterBase.h"
#include "filters/TextScoring.h"
#include "templates/FilterInfoBase.h"
#include "templates/TextLine.h"

namespace libMorvaneClassifier {

class CFilterTextInfo : public CFilterInfoBase {
public:
    CFilterTextInfo();
    ~CFilterTextInfo() override;

    int32_t method = 1;  // "Method" of `TextMatch`
    std::unique_ptr<CTextLineList> textLines;

    // "Method" (listed), the text lines (copied deeply).
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

class CFilterText : public CFilterBase {
public:
    CFilterText();
    void ListParameters(ParameterList& list) override;
    int32_t Classify(const CRawImage& image, CTemplateGroup* group) override;
    int32_t ExtractFeature(const CRawImage* images, int32_t imageCount, CFilterInfoBase* feature) override;

    // The last steps of measuring, once the lines of the rule's region are
    // located (pieces in region-image coordinates): recognises them, and on
    // success fills feature with the kept lines, the page size, this filter's
    // index, the rule's method and this filter's applicationType. Returns 0,
    // or -14 when no line gave characters (feature unchanged).
    int32_t FinishFeature(const std::vector<LocatedTextLine>& located, const Rect32& region, int32_t pageWidth,
                          int32_t pageHeight, const TextCharLimits& limits,
                          const std::vector<TextEngineRecord>& engines, const TextRecognizeFn& recognize,
                          CFilterTextInfo& feature) const;
};

}  // namespace libMorvaneClassifier

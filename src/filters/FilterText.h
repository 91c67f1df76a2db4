// The text filter (type 4) and its info record. The record reads, copies and
// writes its region, matching method and expected text lines, and lends the
// anchors of its text lines' regions to its sub-template. Text location and
// recognition are not part of this library build: the filter loads from
// templates and takes part in runs without scoring any child.
#pragma once
#include <memory>

#include "filters/FilterBase.h"
#include "filters/FilterInfoBase.h"
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
};

class CFilterText : public CFilterBase {
public:
    CFilterText();
    void ListParameters(ParameterList& list) override;
    int32_t Classify(const CRawImage& image, CTemplateGroup* group) override;
    int32_t ExtractFeature(const CRawImage* images, int32_t imageCount, CFilterInfoBase* feature) override;
};

}  // namespace libMorvaneClassifier

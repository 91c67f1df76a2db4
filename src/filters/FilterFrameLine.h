// The frame-line filter (type 3): tells forms apart by the layout of their
// ruled lines. It detects the horizontal and vertical lines inside the rule's
// region, keeps those its rules accept, and compares the layout with each
// child's reference lines: lines of each direction are sorted by position
// and matched by their lengths and the gaps to their neighbours.
#pragma once
#include <memory>
#include <vector>

#include "filters/FilterBase.h"
#include "filters/FrameLineRecords.h"
#include "templates/FilterInfoBase.h"

namespace libMorvaneClassifier {

class CFilterFrameLineInfo : public CFilterInfoBase {
public:
    CFilterFrameLineInfo() { type = kFilterTypeFrameLine; }

    int32_t method = 0;  // "Method" of `LineDetection`: 1 detect; 2 unsupported; other: nothing
    std::unique_ptr<CFrameLineRuleList> rules;
    std::unique_ptr<CFrameLineList> frameLines;
    std::unique_ptr<ColorMatch> colorMatch;

    // "Method" (listed, on `LineDetection`, written when not 0), the rule
    // list, the colour match and the frame-line list (copied deeply).
    static const RecordTable<CFilterFrameLineInfo>& Fields();
    void ListParameters(ParameterList& list) override { ListKindParameters(*this, list); }
    void Assign(const CFilterInfoBase& other) override;
    // Always true: `Region`, `LineDetection`, `FrameLineRuleList`,
    // `ColorMatch`, `FrameLineList`, each optional, in this order.
    bool ReadXml(CXmlDocument& xml) override;
    bool WriteXml(CXmlDocument& xml) const override;
    // Score 0..1000 of this measured record against a reference (method 1),
    // placing the reference's anchors on mutually matched lines.
    int32_t Compare(CFilterInfoBase* reference) override;
    void SetImageSize(int32_t width, int32_t height) override;
    // Locates the anchors of this reference's lines on their mutual matches
    // in feature.
    bool LocateAnchors(CFilterInfoBase* feature) override;
};

class CFilterFrameLine : public CFilterBase {
public:
    CFilterFrameLine() {
        type = kFilterTypeFrameLine;
        applicationType = 1;
    }
    void ListParameters(ParameterList& list) override {
        BeginParameters(list, u"FrameLine Filter");
        CFilterBase::ListParameters(list);
    }
    int32_t Classify(const CRawImage& image, CTemplateGroup* group) override {
        return ClassifyCommon(image, group, true);
    }
    // 0; -61 for missing arguments or a feature of another kind; -15 when
    // detection is impossible (no region, method 2, detector failure).
    int32_t ExtractFeature(const CRawImage* images, int32_t imageCount, CFilterInfoBase* feature) override;
};

// Similarity (0 to 1) of two frame-line layouts, and the mutual matches
// between them. Exposed for the tests and for anchor placement.
struct FrameLineMatch {
    float similarity = 0;
    // For each record of the reference list: the index in the feature list
    // of its mutual match (or -1) and the pair similarity.
    std::vector<int32_t> partner;
    std::vector<float> pairSimilarity;
};
// Both lists must have had SetImageSize with the same size.
FrameLineMatch MatchFrameLines(const CFrameLineList& reference, const CFrameLineList& feature);

}  // namespace libMorvaneClassifier

// The size filter (type 1): tells documents apart by the physical size of
// the page, measured in thousandths of an inch from the pixel size and a
// resolution given by the host or by the filter's rule.
#pragma once
#include "filters/FilterBase.h"
#include "templates/FilterInfoBase.h"

namespace libMorvaneClassifier {

// One record serves as the rule (default resolutions), as a sub-template's
// reference (expected page size) and as a measured feature.
class CFilterSizeInfo : public CFilterInfoBase {
public:
    CFilterSizeInfo() { type = kFilterTypeSize; }

    int32_t physicalWidth = 0;  // thousandths of an inch
    int32_t physicalHeight = 0;
    int32_t vertDpi = 0;
    int32_t horiDpi = 0;

    static const RecordTable<CFilterSizeInfo>& Fields();
    void ListParameters(ParameterList& list) override { ListKindParameters(*this, list); }
    void Assign(const CFilterInfoBase& other) override;
    // Reads an optional `PixelResolution`, then an optional `PhysicalSize`.
    bool ReadXml(CXmlDocument& xml) override;
    bool WriteXml(CXmlDocument& xml) const override;
    // 0..1000: half size agreement, half aspect agreement.
    int32_t Compare(CFilterInfoBase* reference) override;
};

class CFilterSize : public CFilterBase {
public:
    CFilterSize() {
        type = kFilterTypeSize;
        applicationType = 1;
    }
    void ListParameters(ParameterList& list) override;
    int32_t Classify(const CRawImage& image, CTemplateGroup* group) override {
        return ClassifyCommon(image, group, false);
    }
    // Averages the pixel sizes of the images and converts them with the
    // run-time resolution, or the rule's where none was given.
    int32_t ExtractFeature(const CRawImage* images, int32_t imageCount, CFilterInfoBase* feature) override;
};

}  // namespace libMorvaneClassifier

// The frame-line filter (type 3): the class, its type number and its info record, so
// that the factories create it and filter templates and sub-templates that
// use it load. Measuring and scoring of this kind are added with the kind's
// own files.
#pragma once
#include "filters/FilterBase.h"
#include "filters/FilterInfoBase.h"

namespace libMorvaneClassifier {

class CFilterFrameLineInfo : public CFilterInfoBase {
public:
    CFilterFrameLineInfo() { type = kFilterTypeFrameLine; }
    void ListParameters(ParameterList& list) override {
        BeginParameters(list, u"FrameLineFilterInfo");
        CFilterInfoBase::ListParameters(list);
    }
    bool ReadXml(CXmlDocument&) override { return true; }
    bool WriteXml(CXmlDocument&) const override { return true; }
    int32_t Compare(CFilterInfoBase*) override { return 0; }
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
    // Not measured yet: every run ends with "Failed to extract feature".
    int32_t ExtractFeature(const CRawImage*, int32_t, CFilterInfoBase*) override { return -61; }
};

}  // namespace libMorvaneClassifier

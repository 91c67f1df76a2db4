// Preprocessing step records. One record per step of a chain, each read from
// and written to its own element inside an "ImageProcessing" element:
//
//   <ImageProcessing Type="2"><GrayToBin Method="6" BlockNum="1"/></ImageProcessing>
//
// Records are created only by CreateImageProcessingInfo, keyed by the step
// type number of the "Type" attribute.
#pragma once
#include <cstdint>
#include <memory>

#include "core/ObjBase.h"
#include "xml/RecordXml.h"

namespace libMorvaneClassifier {

class CXmlDocument;

// Step type numbers ("Type" attribute of an "ImageProcessing" element).
enum ImageProcessingType : int32_t {
    kStepColorToGray = 1,
    kStepGrayToBin = 2,
    kStepEraseBlackEdge = 3,
    kStepTiltCorrection = 8,
    kStepImageCropping = 9,
    kStepTiltCorrectionAlias = 12,  // read as a tilt correction record of type 8
};

// Editor kind of a binarisation-method choice.
constexpr int32_t kParamBinarizeMethod = 75;

class CImageProcessingInfo : public CObjBase {
public:
    ~CImageProcessingInfo() override;
    // Clears list, then appends the element-name descriptor and one per
    // parameter. The base lists nothing and leaves the list as it is.
    void ListParameters(ParameterList& list) override;
    // Copies every parameter and the type from a record of the same kind;
    // self-assignment does nothing. The base copies only the type.
    virtual void Assign(const CImageProcessingInfo& other);
    // With the cursor inside an "ImageProcessing" element: finds the step's
    // own child element and reads its attributes (absent = 0). False, with
    // the fields untouched, when the element is not there.
    virtual bool ReadXml(CXmlDocument& xml) = 0;
    // With the cursor inside an "ImageProcessing" element: appends the step's
    // own element with all its attributes. False when the XML layer refuses.
    virtual bool WriteXml(CXmlDocument& xml) const = 0;

    int32_t type = 0;

protected:
    explicit CImageProcessingInfo(int32_t stepType) : type(stepType) {}
    CImageProcessingInfo(const CImageProcessingInfo&) = default;
    CImageProcessingInfo& operator=(const CImageProcessingInfo&) = default;
};

// A step whose element is described wholly by its field table: D provides
// `static const RecordTable<D>& Fields();`.
template <class D>
class CTableStep : public CImageProcessingInfo {
public:
    void ListParameters(ParameterList& list) override { ListFields(Self(), D::Fields(), list); }
    void Assign(const CImageProcessingInfo& other) override {
        if (&other == this) return;
        CImageProcessingInfo::Assign(other);
        if (auto* o = dynamic_cast<const D*>(&other)) CopyFields(Self(), *o, D::Fields());
    }
    bool ReadXml(CXmlDocument& xml) override;
    bool WriteXml(CXmlDocument& xml) const override;

protected:
    explicit CTableStep(int32_t stepType) : CImageProcessingInfo(stepType) {}

private:
    D& Self() { return static_cast<D&>(*this); }
};

// Type 1: colour to gray ("ColorToGray").
class CColorToGrayInfo : public CTableStep<CColorToGrayInfo> {
public:
    CColorToGrayInfo() : CTableStep(kStepColorToGray) {}
    static const RecordTable<CColorToGrayInfo>& Fields();

    int32_t colorFilter = 0;  // "ColorFilter": gray conversion method number
};

// Type 2: gray to binary, strip-wise ("GrayToBin").
class CGrayToBinInfo : public CTableStep<CGrayToBinInfo> {
public:
    CGrayToBinInfo() : CTableStep(kStepGrayToBin) {}
    static const RecordTable<CGrayToBinInfo>& Fields();

    int32_t method = 6;    // "Method": binarisation method number
    int32_t blockNum = 1;  // "BlockNum": number of vertical strips
};

// Type 3: black-edge erasing ("EraseBlackEdge").
class CBlackEdgesErasingInfo : public CTableStep<CBlackEdgesErasingInfo> {
public:
    CBlackEdgesErasingInfo() : CTableStep(kStepEraseBlackEdge) {}
    static const RecordTable<CBlackEdgesErasingInfo>& Fields();

    int32_t method = 0;      // "Method": 0 = projection method, other = do nothing
    int32_t threshold = 85;  // "Threshold": percent of a band line that counts as black
    int32_t grayType = 13;   // "GrayType": gray conversion of the working copy
    int32_t binaryType = 6;  // "BinaryType": binarisation of the working copy
};

// Types 8 and 12: tilt correction ("TiltCorrection").
class CTiltCorrectionInfo : public CTableStep<CTiltCorrectionInfo> {
public:
    CTiltCorrectionInfo() : CTableStep(kStepTiltCorrection) {}
    static const RecordTable<CTiltCorrectionInfo>& Fields();
    // The table's fields plus "Estimator", which stays out of the table so
    // that it is written only when set and never listed.
    void Assign(const CImageProcessingInfo& other) override;
    bool ReadXml(CXmlDocument& xml) override;
    bool WriteXml(CXmlDocument& xml) const override;

    int32_t binaryType = 6;      // "BinaryType": binarisation of the working copy
    int32_t grayType = 0;        // "GrayType": gray conversion of the working copy
    int32_t isOriginalSize = 1;  // "IsOriginalSize": keep-size flag of the rotation
    int32_t fillColor = 1;       // "FillColor": white-fill argument of the rotation
    int32_t minAngle = 1;        // "MinAngle": degrees, exclusive lower limit
    int32_t maxAngle = 5;        // "MaxAngle": degrees, exclusive upper limit
    // "Estimator": how the skew is measured; 0 (also when absent) = from
    // character-sized components chained into text lines, 1 = from the
    // sharpness of the whole page's row profile (kTiltEstimatorProjection).
    // Written only when not 0 and kept out of the parameter descriptors, so
    // templates and editors without it see the record as before.
    int32_t estimator = 0;
};

// Type 9: cropping placeholder; no element, no parameters (its table is
// empty: reading and writing do nothing and succeed, listing leaves the list
// as it is), always fails when applied.
class CImageCroppingInfo : public CTableStep<CImageCroppingInfo> {
public:
    CImageCroppingInfo() : CTableStep(kStepImageCropping) {}
    static const RecordTable<CImageCroppingInfo>& Fields();
};

extern template class CTableStep<CColorToGrayInfo>;
extern template class CTableStep<CGrayToBinInfo>;
extern template class CTableStep<CBlackEdgesErasingInfo>;
extern template class CTableStep<CTiltCorrectionInfo>;
extern template class CTableStep<CImageCroppingInfo>;

// New record with constructor values for types 1, 2, 3, 8, 9 and 12 (12
// gives a tilt correction record whose type is 8); null for any other number.
std::unique_ptr<CImageProcessingInfo> CreateImageProcessingInfo(int32_t type);

}  // namespace libMorvaneClassifier

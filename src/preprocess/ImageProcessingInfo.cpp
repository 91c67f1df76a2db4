#include "preprocess/ImageProcessingInfo.h"

#include <new>

#include "preprocess/ScanSteps.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

CImageProcessingInfo::~CImageProcessingInfo() = default;

void CImageProcessingInfo::ListParameters(ParameterList&) {}

void CImageProcessingInfo::Assign(const CImageProcessingInfo& other) {
    if (&other == this) return;
    type = other.type;
}

template <class D>
bool CTableStep<D>::ReadXml(CXmlDocument& xml) {
    return ReadFields(Self(), D::Fields(), xml);
}

template <class D>
bool CTableStep<D>::WriteXml(CXmlDocument& xml) const {
    return WriteFields(static_cast<const D&>(*this), D::Fields(), xml);
}

const RecordTable<CColorToGrayInfo>& CColorToGrayInfo::Fields() {
    static const RecordTable<CColorToGrayInfo> table{
        u"ColorToGray", {IntField(u"ColorFilter", &CColorToGrayInfo::colorFilter)}};
    return table;
}

const RecordTable<CGrayToBinInfo>& CGrayToBinInfo::Fields() {
    static const RecordTable<CGrayToBinInfo> table{
        u"GrayToBin",
        {IntField(u"Method", &CGrayToBinInfo::method, kParamBinarizeMethod),
         IntField(u"BlockNum", &CGrayToBinInfo::blockNum)}};
    return table;
}

const RecordTable<CBlackEdgesErasingInfo>& CBlackEdgesErasingInfo::Fields() {
    static const RecordTable<CBlackEdgesErasingInfo> table{
        u"EraseBlackEdge",
        {IntField(u"Method", &CBlackEdgesErasingInfo::method),
         IntField(u"Threshold", &CBlackEdgesErasingInfo::threshold),
         IntField(u"GrayType", &CBlackEdgesErasingInfo::grayType),
         IntField(u"BinaryType", &CBlackEdgesErasingInfo::binaryType, kParamBinarizeMethod)}};
    return table;
}

const RecordTable<CTiltCorrectionInfo>& CTiltCorrectionInfo::Fields() {
    static const RecordTable<CTiltCorrectionInfo> table{
        u"TiltCorrection",
        {IntField(u"IsOriginalSize", &CTiltCorrectionInfo::isOriginalSize, kParamFlag),
         IntField(u"FillColor", &CTiltCorrectionInfo::fillColor),
         IntField(u"MinAngle", &CTiltCorrectionInfo::minAngle),
         IntField(u"MaxAngle", &CTiltCorrectionInfo::maxAngle),
         IntField(u"GrayType", &CTiltCorrectionInfo::grayType),
         IntField(u"BinaryType", &CTiltCorrectionInfo::binaryType, kParamBinarizeMethod)}};
    return table;
}

void CTiltCorrectionInfo::Assign(const CImageProcessingInfo& other) {
    if (&other == this) return;
    CTableStep::Assign(other);
    if (auto* o = dynamic_cast<const CTiltCorrectionInfo*>(&other)) estimator = o->estimator;
}

bool CTiltCorrectionInfo::ReadXml(CXmlDocument& xml) {
    if (!CTableStep::ReadXml(xml)) return false;
    estimator = xml.ReadIntAttribute(u"Estimator");
    return true;
}

bool CTiltCorrectionInfo::WriteXml(CXmlDocument& xml) const {
    return CTableStep::WriteXml(xml) && (estimator == 0 || xml.WriteAttribute(u"Estimator", estimator));
}

template class CTableStep<CColorToGrayInfo>;
template class CTableStep<CGrayToBinInfo>;
template class CTableStep<CBlackEdgesErasingInfo>;
const RecordTable<CImageCroppingInfo>& CImageCroppingInfo::Fields() {
    static const RecordTable<CImageCroppingInfo> table{nullptr, {}};
    return table;
}

template class CTableStep<CTiltCorrectionInfo>;
template class CTableStep<CImageCroppingInfo>;

// ---- factory ---------------------------------------------------------------

std::unique_ptr<CImageProcessingInfo> CreateImageProcessingInfo(int32_t type) {
    switch (type) {
        case kStepColorToGray:
            return std::unique_ptr<CImageProcessingInfo>(new (std::nothrow) CColorToGrayInfo);
        case kStepGrayToBin:
            return std::unique_ptr<CImageProcessingInfo>(new (std::nothrow) CGrayToBinInfo);
        case kStepEraseBlackEdge:
            return std::unique_ptr<CImageProcessingInfo>(new (std::nothrow) CBlackEdgesErasingInfo);
        case kStepTiltCorrection:
        case kStepTiltCorrectionAlias:
            return std::unique_ptr<CImageProcessingInfo>(new (std::nothrow) CTiltCorrectionInfo);
        case kStepImageCropping:
            return std::unique_ptr<CImageProcessingInfo>(new (std::nothrow) CImageCroppingInfo);
        default:
            return CreateScanStepInfo(type);  // types 20 and up; null for unknown numbers
    }
}

}  // namespace libMorvaneClassifier

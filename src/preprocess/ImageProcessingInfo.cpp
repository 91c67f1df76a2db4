#include "preprocess/ImageProcessingInfo.h"

#include <new>

#include "preprocess/ScanSteps.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

namespace {

// Reads an integer attribute of the main element (absent or empty = 0).
int32_t ReadInt(const CXmlDocument& xml, const char16_t* name) {
    return xml.ReadIntAttribute(name);
}

}  // namespace

CImageProcessingInfo::~CImageProcessingInfo() = default;

void CImageProcessingInfo::ListParameters(ParameterList&) {}

void CImageProcessingInfo::Assign(const CImageProcessingInfo& other) {
    if (&other == this) return;
    type = other.type;
}

// ---- type 1 ----------------------------------------------------------------

void CColorToGrayInfo::ListParameters(ParameterList& list) {
    BeginParameters(list, u"ColorToGray");
    AddParameter(list, u"ColorFilter", &colorFilter, kParamInteger);
}

void CColorToGrayInfo::Assign(const CImageProcessingInfo& other) {
    if (&other == this) return;
    CImageProcessingInfo::Assign(other);
    if (auto* o = dynamic_cast<const CColorToGrayInfo*>(&other)) colorFilter = o->colorFilter;
}

bool CColorToGrayInfo::ReadXml(CXmlDocument& xml) {
    if (!xml.FindElement(u"ColorToGray")) return false;
    colorFilter = ReadInt(xml, u"ColorFilter");
    return true;
}

bool CColorToGrayInfo::WriteXml(CXmlDocument& xml) const {
    return xml.AppendElement(u"ColorToGray") && xml.WriteAttribute(u"ColorFilter", colorFilter);
}

// ---- type 2 ----------------------------------------------------------------

void CGrayToBinInfo::ListParameters(ParameterList& list) {
    BeginParameters(list, u"GrayToBin");
    AddParameter(list, u"Method", &method, kParamBinarizeMethod);
    AddParameter(list, u"BlockNum", &blockNum, kParamInteger);
}

void CGrayToBinInfo::Assign(const CImageProcessingInfo& other) {
    if (&other == this) return;
    CImageProcessingInfo::Assign(other);
    if (auto* o = dynamic_cast<const CGrayToBinInfo*>(&other)) {
        method = o->method;
        blockNum = o->blockNum;
    }
}

bool CGrayToBinInfo::ReadXml(CXmlDocument& xml) {
    if (!xml.FindElement(u"GrayToBin")) return false;
    method = ReadInt(xml, u"Method");
    blockNum = ReadInt(xml, u"BlockNum");
    return true;
}

bool CGrayToBinInfo::WriteXml(CXmlDocument& xml) const {
    return xml.AppendElement(u"GrayToBin") && xml.WriteAttribute(u"Method", method) &&
           xml.WriteAttribute(u"BlockNum", blockNum);
}

// ---- type 3 ----------------------------------------------------------------

void CBlackEdgesErasingInfo::ListParameters(ParameterList& list) {
    BeginParameters(list, u"EraseBlackEdge");
    AddParameter(list, u"Method", &method, kParamInteger);
    AddParameter(list, u"Threshold", &threshold, kParamInteger);
    AddParameter(list, u"GrayType", &grayType, kParamInteger);
    AddParameter(list, u"BinaryType", &binaryType, kParamBinarizeMethod);
}

void CBlackEdgesErasingInfo::Assign(const CImageProcessingInfo& other) {
    if (&other == this) return;
    CImageProcessingInfo::Assign(other);
    if (auto* o = dynamic_cast<const CBlackEdgesErasingInfo*>(&other)) {
        method = o->method;
        threshold = o->threshold;
        grayType = o->grayType;
        binaryType = o->binaryType;
    }
}

bool CBlackEdgesErasingInfo::ReadXml(CXmlDocument& xml) {
    if (!xml.FindElement(u"EraseBlackEdge")) return false;
    method = ReadInt(xml, u"Method");
    threshold = ReadInt(xml, u"Threshold");
    grayType = ReadInt(xml, u"GrayType");
    binaryType = ReadInt(xml, u"BinaryType");
    return true;
}

bool CBlackEdgesErasingInfo::WriteXml(CXmlDocument& xml) const {
    return xml.AppendElement(u"EraseBlackEdge") && xml.WriteAttribute(u"Method", method) &&
           xml.WriteAttribute(u"Threshold", threshold) && xml.WriteAttribute(u"GrayType", grayType) &&
           xml.WriteAttribute(u"BinaryType", binaryType);
}

// ---- types 8 and 12 --------------------------------------------------------

void CTiltCorrectionInfo::ListParameters(ParameterList& list) {
    BeginParameters(list, u"TiltCorrection");
    AddParameter(list, u"IsOriginalSize", &isOriginalSize, kParamFlag);
    AddParameter(list, u"FillColor", &fillColor, kParamInteger);
    AddParameter(list, u"MinAngle", &minAngle, kParamInteger);
    AddParameter(list, u"MaxAngle", &maxAngle, kParamInteger);
    AddParameter(list, u"GrayType", &grayType, kParamInteger);
    AddParameter(list, u"BinaryType", &binaryType, kParamBinarizeMethod);
}

void CTiltCorrectionInfo::Assign(const CImageProcessingInfo& other) {
    if (&other == this) return;
    CImageProcessingInfo::Assign(other);
    if (auto* o = dynamic_cast<const CTiltCorrectionInfo*>(&other)) {
        binaryType = o->binaryType;
        grayType = o->grayType;
        isOriginalSize = o->isOriginalSize;
        fillColor = o->fillColor;
        minAngle = o->minAngle;
        maxAngle = o->maxAngle;
        estimator = o->estimator;
    }
}

bool CTiltCorrectionInfo::ReadXml(CXmlDocument& xml) {
    if (!xml.FindElement(u"TiltCorrection")) return false;
    isOriginalSize = ReadInt(xml, u"IsOriginalSize");
    fillColor = ReadInt(xml, u"FillColor");
    minAngle = ReadInt(xml, u"MinAngle");
    maxAngle = ReadInt(xml, u"MaxAngle");
    grayType = ReadInt(xml, u"GrayType");
    binaryType = ReadInt(xml, u"BinaryType");
    estimator = ReadInt(xml, u"Estimator");
    return true;
}

bool CTiltCorrectionInfo::WriteXml(CXmlDocument& xml) const {
    return xml.AppendElement(u"TiltCorrection") && xml.WriteAttribute(u"IsOriginalSize", isOriginalSize) &&
           xml.WriteAttribute(u"FillColor", fillColor) && xml.WriteAttribute(u"MinAngle", minAngle) &&
           xml.WriteAttribute(u"MaxAngle", maxAngle) && xml.WriteAttribute(u"GrayType", grayType) &&
           xml.WriteAttribute(u"BinaryType", binaryType) &&
           (estimator == 0 || xml.WriteAttribute(u"Estimator", estimator));
}

// ---- type 9 ----------------------------------------------------------------

bool CImageCroppingInfo::ReadXml(CXmlDocument&) { return true; }
bool CImageCroppingInfo::WriteXml(CXmlDocument&) const { return true; }

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

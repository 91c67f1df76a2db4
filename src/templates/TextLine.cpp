#include "templates/TextLine.h"

#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

void CTextLine::ListParameters(ParameterList& list) {
    BeginParameters(list, kElement);
    AddParameter(list, u"Index", &index, kParamInteger);
    AddParameter(list, u"FilterType", &filterType, kParamTextLineFilterType);
    AddParameter(list, u"Offset", &offset, kParamInteger);
    AddParameter(list, u"IsExist", &isExist, kParamFlag);
    AddParameter(list, u"CompareType", &compareType, kParamInteger);
    AddParameter(list, u"Text", &text, kParamText);
    AddParameter(list, u"Charset", &charset, kParamText);
    AddParameter(list, u"CharNum", &charNum, kParamInteger);
    AddParameter(list, u"ForegroundColor", &foregroundColor, kParamInteger);
    AddParameter(list, u"BackgroundColor", &backgroundColor, kParamInteger);
}

bool CTextLine::Read(CXmlDocument& xml) {
    if (!xml.FindElement(kElement)) return false;
    index = xml.ReadIntAttribute(u"Index");
    filterType = xml.ReadIntAttribute(u"FilterType");
    offset = xml.ReadIntAttribute(u"Offset");
    isExist = xml.ReadIntAttribute(u"IsExist");
    compareType = xml.ReadIntAttribute(u"CompareType");
    charset = xml.ReadAttribute(u"Charset");
    text = xml.ReadAttribute(u"Text");
    charNum = xml.ReadIntAttribute(u"CharNum");
    foregroundColor = xml.ReadIntAttribute(u"ForegroundColor");
    backgroundColor = xml.ReadIntAttribute(u"BackgroundColor");
    region.reset();
    if (xml.EnterElement()) {
        auto r = std::make_unique<CRegion>();
        if (r->Read(xml)) region = std::move(r);
        xml.LeaveElement();
    }
    return true;
}

bool CTextLine::Write(CXmlDocument& xml) const {
    if (!(xml.AppendElement(kElement) && xml.WriteAttribute(u"Index", index) &&
          xml.WriteAttribute(u"FilterType", filterType) && xml.WriteAttribute(u"Offset", offset) &&
          xml.WriteAttribute(u"IsExist", isExist) && xml.WriteAttribute(u"CompareType", compareType) &&
          xml.WriteAttribute(u"Charset", charset) && xml.WriteAttribute(u"Text", text) &&
          xml.WriteAttribute(u"CharNum", charNum) &&
          xml.WriteAttribute(u"ForegroundColor", foregroundColor) &&
          xml.WriteAttribute(u"BackgroundColor", backgroundColor)))
        return false;
    if (!region) return true;
    return xml.EnterElement() && region->Write(xml) && xml.LeaveElement();
}

void CTextLine::Assign(const CTextLine& other) {
    if (&other == this) return;
    index = other.index;
    filterType = other.filterType;
    offset = other.offset;
    isExist = other.isExist;
    compareType = other.compareType;
    text = other.text;
    charset = other.charset;
    charNum = other.charNum;
    foregroundColor = other.foregroundColor;
    backgroundColor = other.backgroundColor;
    if (other.region) {
        auto r = std::make_unique<CRegion>();
        r->Assign(*other.region);
        region = std::move(r);
    } else {
        region.reset();
    }
    imageWidth = other.imageWidth;
    imageHeight = other.imageHeight;
    lineResults = other.lineResults;
    lineResultCount = other.lineResultCount;
}

void CTextLine::SetImageSize(int32_t w, int32_t h) {
    imageWidth = w;
    imageHeight = h;
    if (region) region->SetImageSize(w, h);
}

void CTextLine::SetRegion(const CRegion& source) {
    if (region.get() == &source) return;
    auto r = std::make_unique<CRegion>();
    r->Assign(source);
    region = std::move(r);
}

void CTextLine::SetLineResults(const RecognitionResult* records, int32_t n) {
    if (!records || n <= 0) {
        lineResults.clear();
        lineResultCount = 0;
        return;
    }
    lineResults.assign(records, records + n);
    lineResultCount = n;
}

Rect32 CTextLine::RegionRect() const { return region ? region->PixelRect() : Rect32{}; }

int32_t CTextLine::RegionWidth() const { return region ? region->PixelWidth() : 0; }

int32_t CTextLine::RegionHeight() const { return region ? region->PixelHeight() : 0; }

}  // namespace libMorvaneClassifier

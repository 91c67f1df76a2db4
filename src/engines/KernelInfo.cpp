#include "engines/KernelInfo.h"

#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

int32_t RecogCandidateCount(const RecogResult& result) {
    int32_t n = 0;
    while (n < 10 && result.candidates[n] != 0 && result.candidates[n] != 0xFFFF) ++n;
    return n;
}

void CEngineCharRatio::ListParameters(ParameterList& list) {
    BeginParameters(list, kElement);
    AddParameter(list, u"CharType", &charType, kParamCharType);
    AddParameter(list, u"WHRatio", &whRatio, kParamRatio);
    AddParameter(list, u"Charset", &charset, kParamText);
}

bool CEngineCharRatio::Read(CXmlDocument& xml) {
    if (!xml.FindElement(kElement)) return false;
    charType = xml.ReadIntAttribute(u"CharType");
    whRatio = xml.ReadIntAttribute(u"WHRatio");
    charset = xml.ReadAttribute(u"Charset");
    return true;
}

bool CEngineCharRatio::Write(CXmlDocument& xml) const {
    return xml.AppendElement(kElement) && xml.WriteAttribute(u"CharType", charType) &&
           xml.WriteAttribute(u"WHRatio", whRatio) && xml.WriteAttribute(u"Charset", charset);
}

void CEngineCharRatio::Assign(const CEngineCharRatio& other) {
    if (&other == this) return;
    charType = other.charType;
    whRatio = other.whRatio;
    charset = other.charset;
}

void CKernelInfo::ListParameters(ParameterList& list) {
    BeginParameters(list, kElement);
    AddParameter(list, u"MainType", &mainType, kParamInteger);
    AddParameter(list, u"SubType", &subType, kParamInteger);
    AddParameter(list, u"FilterType", &filterType, kParamInteger);
    AddParameter(list, u"FillingMethod", &fillingMethod, kParamInteger);
    AddParameter(list, u"FilterPlus", &filterPlus, kParamText);
    AddParameter(list, u"RecogType", &recogType, kParamInteger);
    AddParameter(list, u"RecogImgeType", &recogImageType, kParamInteger);
}

bool CKernelInfo::Read(CXmlDocument& xml) {
    ReadElement(xml);
    return true;
}

bool CKernelInfo::ReadElement(CXmlDocument& xml) {
    if (!xml.FindElement(kElement)) return false;
    mainType = xml.ReadIntAttribute(u"MainType");
    subType = xml.ReadIntAttribute(u"SubType");
    filterType = xml.ReadIntAttribute(u"FilterType");
    fillingMethod = xml.ReadIntAttribute(u"FillingMethod");
    filterPlus = xml.ReadAttribute(u"FilterPlus");
    recogType = xml.ReadIntAttribute(u"RecogType");
    recogImageType = xml.ReadIntAttribute(u"RecogImgeType");
    preprocessing.reset();
    charRatios.reset();
    if (xml.EnterElement()) {
        preprocessing = ReadImageProcessingList(xml);
        charRatios = ReadOwnedList<CEngineCharRatioList>(xml);
        xml.LeaveElement();
    }
    return true;
}

bool CKernelInfo::Write(CXmlDocument& xml) const {
    if (!(xml.AppendElement(kElement) && xml.WriteAttribute(u"MainType", mainType) &&
          xml.WriteAttribute(u"SubType", subType) && xml.WriteAttribute(u"FilterType", filterType) &&
          xml.WriteAttribute(u"FillingMethod", fillingMethod) && xml.WriteAttribute(u"FilterPlus", filterPlus) &&
          xml.WriteAttribute(u"RecogType", recogType) && xml.WriteAttribute(u"RecogImgeType", recogImageType)))
        return false;
    const bool steps = ImageProcessingCount(preprocessing.get()) > 0;
    const bool ratios = charRatios && charRatios->count > 0 && charRatios->HasItems();
    if (!steps && !ratios) return true;
    if (!xml.EnterElement()) return false;
    if (steps && !preprocessing->Write(xml)) return false;
    if (ratios && !charRatios->Write(xml)) return false;
    return xml.LeaveElement();
}

void CKernelInfo::Assign(const CKernelInfo& other) {
    if (&other == this) return;
    mainType = other.mainType;
    subType = other.subType;
    filterType = other.filterType;
    fillingMethod = other.fillingMethod;
    initialised = other.initialised;
    filterPlus = other.filterPlus;
    recogType = other.recogType;
    recogImageType = other.recogImageType;
    charRatios = CopyOwnedList(other.charRatios);
    preprocessing = CloneImageProcessingList(other.preprocessing.get());
}

bool CRecogEngineList::Read(CXmlDocument& xml) {
    list.Clear();
    if (!xml.FindElement(CKernelInfo::kListElement)) return false;
    const int32_t n = xml.ReadIntAttribute(u"Size");
    if (n <= 0) return true;
    if (n > kMaxDeclaredCount || !CDeclaredSlotBudget::Take(n)) return false;
    if (!xml.EnterElement()) return false;
    list.items.resize(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        auto item = std::make_unique<CKernelInfo>();
        // Once a child is missing every later one is too.
        if (!item->ReadElement(xml)) break;
        list.items[static_cast<size_t>(i)] = std::move(item);
    }
    list.count = n;
    xml.LeaveElement();
    return true;
}

bool CRecogEngineList::Write(CXmlDocument& xml) const { return list.Write(xml); }

void CRecogEngineList::Assign(const CRecogEngineList& other) { list.Assign(other.list); }

}  // namespace libMorvaneClassifier

#include "engines/KernelInfo.h"

#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

int32_t RecogCandidateCount(const RecogResult& result) {
    int32_t n = 0;
    while (n < 10 && result.candidates[n] != 0 && result.candidates[n] != 0xFFFF) ++n;
    return n;
}

const RecordTable<CKernelInfo>& CKernelInfo::Fields() {
    static const RecordTable<CKernelInfo> table{
        kElement,
        {IntField(u"MainType", &CKernelInfo::mainType), IntField(u"SubType", &CKernelInfo::subType),
         IntField(u"FilterType", &CKernelInfo::filterType),
         IntField(u"FillingMethod", &CKernelInfo::fillingMethod),
         TextField(u"FilterPlus", &CKernelInfo::filterPlus), IntField(u"RecogType", &CKernelInfo::recogType),
         IntField(u"RecogImgeType", &CKernelInfo::recogImageType), CopiedField<&CKernelInfo::initialised>(),
         ChildField<&CKernelInfo::preprocessing>(u"ImageProcessingList"),
         ChildField<&CKernelInfo::charRatios>(CCharRatio::kListElement)}};
    return table;
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

#include "filters/FilterArray.h"

#include <algorithm>

#include "core/ObjList.h"
#include "filters/FilterFactory.h"
#include "platform/PlatformProcesses.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

void CFilterArray::ListParameters(ParameterList& list) { list.clear(); }

void CFilterArray::Clear() {
    filters.clear();
    count = 0;
}

bool CFilterArray::Load(const std::u16string& path) {
    CXmlDocument xml;
    xml.ParseText(nullptr);
    if (!LoadXmlFile(path, xml)) return false;
    return ReadFrom(xml);
}

bool CFilterArray::ReadFrom(CXmlDocument& xml) {
    CDeclaredSlotBudget budget;
    xml.ResetPosition();
    if (!xml.FindElement(u"FilterList")) return false;
    const int32_t n = xml.ReadIntAttribute(u"Size");
    if (n <= 0 || n > kMaxDeclaredCount) return false;
    Clear();
    filters.reserve(static_cast<size_t>(std::min(n, 1024)));
    if (!xml.EnterElement()) return false;
    int32_t found = 0;  // `Filter` elements passed so far
    for (int32_t i = 0; i < n; ++i) {
        if (!xml.FindElement(u"Filter")) break;  // no further element: later repetitions find none
        ++found;
        std::unique_ptr<CFilterBase> filter = CreateFilter(xml.ReadIntAttribute(u"Type"));
        if (!filter) continue;
        if (!xml.EnterElement()) continue;
        filter->baseDir = baseDir;
        const bool ok = filter->ReadContents(xml);
        xml.LeaveElement();
        // A rule reader that stopped inside one of its own elements leaves the
        // cursor below the `Filter` level: go back to the found-th `Filter`.
        if (xml.ElementName() != u"Filter") {
            while (xml.LeaveElement()) {
            }
            xml.ResetPosition();
            if (!xml.FindElement(u"FilterList") || !xml.EnterElement()) return true;
            for (int32_t k = 0; k < found; ++k) xml.FindElement(u"Filter");
        }
        if (!ok) continue;
        filters.push_back(std::move(filter));
        count = static_cast<int32_t>(filters.size());
    }
    xml.LeaveElement();
    return true;
}

CFilterBase* CFilterArray::Find(int32_t index) const {
    if (index < 0) return nullptr;
    for (const auto& f : filters)
        if (f && f->index == index) return f.get();
    return nullptr;
}

CFilterBase* CFilterArray::Get(int32_t i) const {
    if (i < 0 || i >= count || static_cast<size_t>(i) >= filters.size()) return nullptr;
    return filters[static_cast<size_t>(i)].get();
}

}  // namespace libMorvaneClassifier

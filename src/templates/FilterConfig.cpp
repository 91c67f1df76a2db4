#include "templates/FilterConfig.h"

#include <algorithm>

#include "core/ObjList.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

const RecordTable<CFilterConfig>& CFilterConfig::Fields() {
    static const RecordTable<CFilterConfig> table{
        kElement,
        {IntField(u"RefFilter", &CFilterConfig::refFilter),
         IntField(u"FilterThresh", &CFilterConfig::filterThresh),
         IntField(u"FilterWeight", &CFilterConfig::filterWeight),
         IntField(u"FeatureMode", &CFilterConfig::featureMode, kParamFeatureMode),
         IntField(u"InheritedFilter", &CFilterConfig::inheritedFilter)}};
    return table;
}

bool CFilterConfigList::ReadFilterConfigList(CXmlDocument& xml) {
    items.clear();
    count = 0;
    if (!xml.FindElement(u"FilterConfigList")) return false;
    const int32_t n = xml.ReadIntAttribute(u"Size");
    if (n <= 0) return true;
    if (n > kMaxDeclaredCount || !CDeclaredSlotBudget::Take(n)) return false;
    if (!xml.EnterElement()) return false;
    items.reserve(static_cast<size_t>(n));
    bool exhausted = false;  // once a config element is missing, every later one is too
    for (int32_t i = 0; i < n; ++i) {
        auto config = std::make_unique<CFilterConfig>();
        if (!exhausted && !config->Read(xml)) exhausted = true;
        items.push_back(std::move(config));
    }
    count = n;
    xml.LeaveElement();
    return true;
}

CFilterConfig* CFilterConfigList::Get(int32_t i) const {
    if (i < 0 || i >= count || static_cast<size_t>(i) >= items.size()) return nullptr;
    return items[static_cast<size_t>(i)].get();
}

}  // namespace libMorvaneClassifier

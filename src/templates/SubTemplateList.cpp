#include "templates/SubTemplateList.h"

#include <algorithm>
#include <unordered_set>

#include "core/ObjList.h"
#include "platform/PlatformProcesses.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

void CSubTemplateList::Clear() {
    items.clear();
    count = 0;
}

bool CSubTemplateList::Load(const std::u16string& path, const CFilterKinds& kinds) {
    CXmlDocument xml;
    xml.ParseText(nullptr);
    if (!LoadXmlFile(path, xml)) return false;
    return ReadFrom(xml, kinds);
}

bool CSubTemplateList::ReadFrom(CXmlDocument& xml, const CFilterKinds& kinds) {
    xml.ResetPosition();
    if (!xml.FindElement(u"SubTemplateList")) return false;
    const int32_t n = xml.ReadIntAttribute(u"Size");
    if (n <= 0 || n > kMaxDeclaredCount) return false;
    Clear();
    items.reserve(static_cast<size_t>(std::min(n, 1024)));
    if (!xml.EnterElement()) return false;
    std::unordered_set<int32_t> indexes;
    for (int32_t i = 0; i < n; ++i) {
        if (!xml.FindElement(u"SubTemplate")) break;  // no further element: the rest finds none either
        std::u16string file = templateDir + xml.ReadText();
        NormalizePath(file);
        auto sub = std::make_unique<CSubTemplate>();
        sub->imageDir = imageDir;
        if (!sub->Load(file, kinds)) {
            Clear();
            return false;
        }
        if (!indexes.insert(sub->index).second) continue;  // the first with an Index wins
        items.push_back(std::move(sub));
        count = static_cast<int32_t>(items.size());
    }
    xml.LeaveElement();
    return true;
}

CSubTemplate* CSubTemplateList::Get(int32_t i) const {
    if (i < 0 || i >= count || static_cast<size_t>(i) >= items.size()) return nullptr;
    return items[static_cast<size_t>(i)].get();
}

CSubTemplate* CSubTemplateList::FindByIndex(int32_t index) const {
    for (const auto& sub : items)
        if (sub && sub->index == index) return sub.get();
    return nullptr;
}

int32_t CSubTemplateList::PositionOf(const CSubTemplate* sub) const {
    if (!sub) return -1;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i] && items[i]->index == sub->index) return static_cast<int32_t>(i);
    return -1;
}

}  // namespace libMorvaneClassifier

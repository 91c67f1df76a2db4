#include "templates/TemplateGroup.h"

#include <string>
#include <utility>

#include "core/ObjList.h"
#include "platform/PlatformProcesses.h"
#include "templates/FilterConfig.h"
#include "templates/FilterScore.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

CTemplateGroup::CTemplateGroup() = default;

CTemplateGroup::~CTemplateGroup() {
    // Detach the whole subtree into a work list so that every group is
    // destroyed with no children of its own: no recursion however deep.
    std::vector<std::unique_ptr<CTemplateGroup>> pending = std::move(children);
    children.clear();
    while (!pending.empty()) {
        std::unique_ptr<CTemplateGroup> g = std::move(pending.back());
        pending.pop_back();
        for (auto& c : g->children) pending.push_back(std::move(c));
        g->children.clear();
    }
}

const RecordTable<CTemplateGroup>& CTemplateGroup::Fields() {
    static const RecordTable<CTemplateGroup> table{
        u"TemplateGroup",
        {IntField(u"Index", &CTemplateGroup::index), TextField(u"Name", &CTemplateGroup::name),
         PathField(u"ImagePath", &CTemplateGroup::imagePath),
         IntField(u"Action", &CTemplateGroup::action, kParamGroupAction),
         IntField(u"AttachedTemplate", &CTemplateGroup::attachedTemplate).Unlisted(),
         IntField(u"ChildNum", &CTemplateGroup::childCount).Unlisted()}};
    return table;
}

void CTemplateGroup::ListParameters(ParameterList& list) { ListFields(*this, Fields(), list); }

bool CTemplateGroup::ReadHeader(CXmlDocument& xml) {
    if (!xml.FindElement(Fields().element)) {
        NoteTemplateProblem("a TemplateGroup element is missing" +
                            (parent ? " (child " + std::to_string(parent->children.size()) + " of group " +
                                          std::to_string(parent->index) + ", ChildNum " +
                                          std::to_string(parent->childCount) + ")"
                                    : std::string()));
        return false;
    }
    ReadAttributes(*this, Fields(), xml);
    imagePath = imageDir + imagePath;
    NormalizePath(imagePath);
    // A declared count this large cannot be backed by a template file; a
    // negative one at the root would leave nothing to classify with.
    if (childCount > kMaxDeclaredCount || (!parent && childCount < 0)) {
        NoteTemplateProblem("line " + std::to_string(xml.ElementLine()) + ": TemplateGroup Index=\"" +
                            std::to_string(index) + "\": attribute ChildNum=\"" + std::to_string(childCount) +
                            "\" " + (childCount < 0 ? "is negative" : "is too large"));
        return false;
    }
    if (!xml.EnterElement()) return false;
    filterConfigs = ReadOwnedList<CFilterConfigList>(xml);
    children.clear();
    return true;
}

bool CTemplateGroup::Read(CXmlDocument& xml) {
    if (!ReadHeader(xml)) return false;
    // Depth-first over the subtree with an explicit stack. Children are
    // created one at a time, just before each is read, so memory follows the
    // elements actually present rather than the declared counts.
    std::vector<CTemplateGroup*> stack{this};
    while (!stack.empty()) {
        CTemplateGroup* g = stack.back();
        if (g->childCount > 0 && static_cast<int32_t>(g->children.size()) < g->childCount) {
            auto child = std::make_unique<CTemplateGroup>();
            child->subTemplateDir = g->subTemplateDir;
            child->imageDir = g->imageDir;
            child->parent = g;
            CTemplateGroup* c = child.get();
            g->children.push_back(std::move(child));
            if (!c->ReadHeader(xml)) return false;
            stack.push_back(c);
        } else {
            xml.LeaveElement();
            stack.pop_back();
        }
    }
    return true;
}

CTemplateGroup* CTemplateGroup::Child(int32_t i) const {
    if (i < 0 || i >= childCount || static_cast<size_t>(i) >= children.size()) return nullptr;
    return children[static_cast<size_t>(i)].get();
}

int32_t CTemplateGroup::ValidChildCount() const {
    if (childCount <= 0) return 0;
    int32_t n = 0;
    for (int32_t i = 0; i < childCount; ++i) {
        const CTemplateGroup* c = Child(i);
        if (c && c->valid) ++n;
    }
    return n;
}

int32_t CTemplateGroup::FilterConfigCount() const { return filterConfigs ? filterConfigs->count : 0; }

CFilterConfig* CTemplateGroup::FilterConfig(int32_t i) const {
    return filterConfigs ? filterConfigs->Get(i) : nullptr;
}

FilterScore& CTemplateGroup::Score() {
    if (!score) score = std::make_unique<FilterScore>();
    return *score;
}

}  // namespace libMorvaneClassifier

#include "templates/MainTemplate.h"

#include <algorithm>
#include <unordered_map>

#include "core/ObjList.h"
#include "core/TextConv.h"
#include "platform/PlatformProcesses.h"
#include "templates/SubTemplateList.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

CMainTemplate::CMainTemplate() = default;
CMainTemplate::~CMainTemplate() = default;

const RecordTable<CMainTemplate>& CMainTemplate::Fields() {
    static const RecordTable<CMainTemplate> table{
        u"MainTemplate",
        {PathField(u"FilterTemplatePath", &CMainTemplate::filterTemplatePath, kParamText).AsText(),
         PathField(u"SubTemplateListPath", &CMainTemplate::subTemplateListPath).AsText().Unlisted(),
         PathField(u"SubTemplatePath", &CMainTemplate::subTemplatePath).AsText(),
         PathField(u"ImagePath", &CMainTemplate::imagePath).AsText()}};
    return table;
}

void CMainTemplate::ListParameters(ParameterList& list) { ListFields(*this, Fields(), list); }

bool CMainTemplate::Load(const std::u16string& path) {
    CXmlDocument xml;
    xml.ParseText(nullptr);
    if (!LoadXmlFile(path, xml)) return false;
    directory = DirectoryOf(path);
    if (ReadFrom(xml)) return true;
    // Readers note what they met without the file's name: add it.
    const std::string file = Utf16ToPathBytes(path);
    const std::string problem = TakeTemplateProblem();
    NoteTemplateProblem(file + ": " + (problem.empty() ? "not a readable MainTemplate" : problem));
    return false;
}

bool CMainTemplate::ReadFrom(CXmlDocument& xml) {
    CDeclaredSlotBudget budget;
    xml.ResetPosition();
    if (!xml.FindElement(Fields().element)) return false;
    if (!xml.EnterElement()) return false;
    if (!ReadChildren(*this, Fields(), xml)) return false;
    // The paths are relative to the main template's directory.
    for (const RecordField<CMainTemplate>& f : Fields().fields) {
        std::u16string& path = this->*f.textMember;
        path = directory + path;
        NormalizePath(path);
    }
    steps = ReadProcessingChain(xml);

    groups.clear();
    root.reset();
    auto group = std::make_unique<CTemplateGroup>();
    group->subTemplateDir = subTemplatePath;
    group->imageDir = imagePath;
    if (!group->Read(xml)) return false;
    root = std::move(group);
    // The optional decoding resolution may stand anywhere among the main
    // template's children: search them again from the first.
    decodeDpi = 0;
    if (xml.LeaveElement() && xml.EnterElement() && xml.FindElement(u"DecodeResolution"))
        decodeDpi = std::max<int32_t>(0, xml.ReadIntAttribute(u"Dpi"));
    xml.LeaveElement();
    RebuildGroups();
    return true;
}

void CMainTemplate::RebuildGroups() {
    groups.clear();
    if (!root) return;
    std::vector<CTemplateGroup*> stack{root.get()};
    while (!stack.empty()) {
        CTemplateGroup* g = stack.back();
        stack.pop_back();
        groups.push_back(g);
        // Push in reverse so that the first child is visited next.
        for (size_t i = g->children.size(); i-- > 0;)
            if (g->children[i]) stack.push_back(g->children[i].get());
    }
}

void CMainTemplate::BindAttachments(const CSubTemplateList& list) {
    std::unordered_map<int32_t, CSubTemplate*> byIndex;
    for (const auto& sub : list.items)
        if (sub) byIndex.emplace(sub->index, sub.get());  // keeps the first per Index
    for (CTemplateGroup* g : groups) {
        if (g == root.get()) continue;
        auto it = byIndex.find(g->attachedTemplate);
        g->attached = it == byIndex.end() ? nullptr : it->second;
    }
}

void CMainTemplate::MarkValid(const std::u16string& id) {
    for (CTemplateGroup* g : groups)
        if (g->attached && g->attached->id == id) g->valid = true;
    // Pre-order visits ancestors first, so climbing can stop at the first
    // ancestor already valid: its own ancestors were handled before.
    for (CTemplateGroup* g : groups) {
        if (!g->valid) continue;
        for (CTemplateGroup* a = g->parent; a && !a->valid; a = a->parent) a->valid = true;
    }
}

void CMainTemplate::SetAllValid(bool flag) {
    for (CTemplateGroup* g : groups) g->valid = flag;
}

}  // namespace libMorvaneClassifier

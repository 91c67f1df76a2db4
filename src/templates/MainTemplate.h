// The main template file: the names of the filter template, the sub-template
// list and the sub-template and image directories, the preprocessing chain
// run before the tree walk, and the tree of template groups.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ObjBase.h"
#include "templates/ProcessingChain.h"
#include "templates/TemplateGroup.h"
#include "xml/RecordXml.h"

namespace libMorvaneClassifier {

class CXmlDocument;
class CSubTemplateList;

class CMainTemplate : public CObjBase {
public:
    CMainTemplate();
    ~CMainTemplate() override;

    ImageProcessingListPtr steps;          // may be null
    std::unique_ptr<CTemplateGroup> root;  // never null after a successful Load
    std::vector<CTemplateGroup*> groups;   // every group in pre-order, root first
    std::u16string directory;              // the file's path up to its last separator
    std::u16string filterTemplatePath;
    std::u16string subTemplatePath;
    std::u16string imagePath;
    std::u16string subTemplateListPath;
    bool shortcut = false;
    // Optional "DecodeResolution" element ("Dpi" attribute): the working
    // resolution pages may be decoded straight to when the host set none.
    // 0 when absent.
    int32_t decodeDpi = 0;

    // The four path elements (the text of each, required, in this order);
    // the editor lists all but the sub-template list's.
    static const RecordTable<CMainTemplate>& Fields();
    void ListParameters(ParameterList& list) override;

    bool Load(const std::u16string& path);
    // Load's work on a parsed document; `directory` must already be set.
    bool ReadFrom(CXmlDocument& xml);

    // Every group below the root gets the first sub-template whose Index
    // equals its AttachedTemplate (or none).
    void BindAttachments(const CSubTemplateList& list);
    // Sets `valid` on every group attached to a sub-template with that ID,
    // then on every ancestor of every valid group.
    void MarkValid(const std::u16string& id);
    void SetAllValid(bool flag);
    // Rebuilds `groups` by a pre-order walk.
    void RebuildGroups();
};

}  // namespace libMorvaneClassifier

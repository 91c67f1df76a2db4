// A node of the template-group tree: the filters that choose among its
// children, the children, and the sub-template it stands for.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ObjBase.h"
#include "xml/RecordXml.h"

namespace libMorvaneClassifier {

class CXmlDocument;
class CSubTemplate;
class CFilterConfig;
class CFilterConfigList;
struct FilterScore;

class CTemplateGroup : public CObjBase {
public:
    CTemplateGroup();
    // Dismantles the subtree without recursion (trees may be thousands deep).
    ~CTemplateGroup() override;
    CTemplateGroup(const CTemplateGroup&) = delete;
    CTemplateGroup& operator=(const CTemplateGroup&) = delete;

    int32_t index = 0;
    std::u16string imagePath;  // imageDir + "ImagePath"; descriptive
    std::u16string name;
    int32_t action = 1;                // 0: the parent's default branch; filters score action 1
    int32_t attachedTemplate = -1;     // Index of the sub-template this group stands for
    CSubTemplate* attached = nullptr;  // bound after loading; not owned
    std::unique_ptr<CFilterConfigList> filterConfigs;  // may be null
    std::vector<std::unique_ptr<CTemplateGroup>> children;
    int32_t childCount = 0;  // "ChildNum"; <= 0 means no children
    CTemplateGroup* parent = nullptr;
    std::unique_ptr<FilterScore> score;  // this group's score as a child of its parent
    std::u16string subTemplateDir;
    std::u16string imageDir;
    bool valid = true;

    static const RecordTable<CTemplateGroup>& Fields();
    void ListParameters(ParameterList& list) override;

    // Reads the `TemplateGroup` element at the cursor and its whole subtree
    // (iteratively). The first child that cannot be read fails the read.
    bool Read(CXmlDocument& xml);

    CTemplateGroup* Child(int32_t i) const;
    int32_t ValidChildCount() const;
    int32_t FilterConfigCount() const;
    CFilterConfig* FilterConfig(int32_t i) const;
    // The score record, created (score 0, passed) on first use.
    FilterScore& Score();

private:
    // Reads this group's attributes and filter configs and enters the element.
    bool ReadHeader(CXmlDocument& xml);
};

}  // namespace libMorvaneClassifier

// One known document type: its identity (what the host reads back), its
// reference records for the filters, its anchors and, during a
// classification, the features the text filter keeps with it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ObjBase.h"
#include "templates/Anchor.h"
#include "xml/RecordXml.h"

namespace libMorvaneClassifier {

class CXmlDocument;
class CFilterInfoBase;
class CFilterInfoList;
class CFilterKinds;

class CSubTemplate : public CObjBase {
public:
    CSubTemplate();
    ~CSubTemplate() override;
    CSubTemplate(const CSubTemplate&) = delete;
    CSubTemplate& operator=(const CSubTemplate&) = delete;

    int32_t index = 0;
    std::u16string id;
    std::u16string outputId;
    std::u16string name;
    std::u16string imagePath;                         // imageDir + "ImagePath"
    std::u16string imageDir;                          // set by the sub-template list before loading
    std::unique_ptr<CFilterInfoList> filterInfos;     // may be null
    std::unique_ptr<CFilterInfoList> storedFeatures;  // null until first StoreFeature
    std::vector<CAnchor*> anchors;                    // filter infos' anchors, then anchorList's
    std::unique_ptr<CAnchorList> anchorList;          // may be null

    static const RecordTable<CSubTemplate>& Fields();
    void ListParameters(ParameterList& list) override;

    // Loads the sub-template file; its reference records are made through
    // kinds. Only an unreadable file or a missing `SubTemplate` element fails.
    bool Load(const std::u16string& path, const CFilterKinds& kinds);
    // Reads the `SubTemplate` element of a loaded document (Load's work after
    // the file is parsed).
    bool ReadFrom(CXmlDocument& xml, const CFilterKinds& kinds);

    // The first reference record for the filter with that index, or null.
    CFilterInfoBase* FindFilterInfo(int32_t refFilter) const;

    // Keeps a copy of a measured feature (replacing the copy kept for the
    // same filter index); a new copy is made through kinds.
    void StoreFeature(const CFilterInfoBase& feature, const CFilterKinds& kinds);
    CFilterInfoBase* FindStoredFeature(int32_t refFilter) const;
    void ClearStoredFeatures();

    // Clears every anchor's valid flag and image size.
    void ResetAnchors();
    // Gives every anchor that is not valid and names an inherited anchor the
    // position of the first anchor of parent with that id.
    void InheritAnchors(const CSubTemplate* parent);
    const std::vector<CAnchor*>& GetAnchors() const { return anchors; }

    // Rebuilds `anchors` from the filter infos and the anchor list.
    void CollectAnchors();
};

}  // namespace libMorvaneClassifier

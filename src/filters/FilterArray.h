// The filters of one filter template file.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ObjBase.h"
#include "filters/FilterBase.h"

namespace libMorvaneClassifier {

class CXmlDocument;

class CFilterArray : public CObjBase {
public:
    std::vector<std::unique_ptr<CFilterBase>> filters;
    int32_t count = 0;
    std::u16string baseDir;  // set by the owner before Load: the main template's image directory

    void ListParameters(ParameterList& list) override;  // clears the list only
    // Reads the filter template file. False for an unreadable file, a
    // missing `FilterList` or a "Size" <= 0; filters that cannot be read are
    // skipped.
    bool Load(const std::u16string& path);
    // Load's work on a parsed document.
    bool ReadFrom(CXmlDocument& xml);
    // The first filter whose index equals index, or null.
    CFilterBase* Find(int32_t index) const;
    CFilterBase* Get(int32_t i) const;
    void Clear();
};

}  // namespace libMorvaneClassifier

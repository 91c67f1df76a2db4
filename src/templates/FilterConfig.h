// Which filter runs at a template group, with which threshold, weight,
// feature mode and inherited filter.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "core/ObjBase.h"
#include "xml/RecordXml.h"

namespace libMorvaneClassifier {

class CXmlDocument;

class CFilterConfig : public CTableRecord<CFilterConfig> {
public:
    static constexpr char16_t kElement[] = u"FilterConfig";

    int32_t refFilter = 0;
    int32_t filterThresh = 750;
    int32_t filterWeight = 10;
    int32_t featureMode = 0;
    int32_t inheritedFilter = -1;

    // Read finds the next `FilterConfig`; when found reads the five
    // attributes (absent ones read 0) and returns true; otherwise nothing
    // changes.
    static const RecordTable<CFilterConfig>& Fields();
};

class CFilterConfigList {
public:
    std::vector<std::unique_ptr<CFilterConfig>> items;
    int32_t count = 0;

    // Reads the `FilterConfigList` inside a `TemplateGroup`. False only when
    // the element is missing or its size is implausible; missing configs
    // take the defaults.
    bool ReadFilterConfigList(CXmlDocument& xml);
    bool Read(CXmlDocument& xml) { return ReadFilterConfigList(xml); }
    CFilterConfig* Get(int32_t i) const;
};

}  // namespace libMorvaneClassifier

// Every sub-template of a main template, read from the sub-template list file.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "templates/SubTemplate.h"

namespace libMorvaneClassifier {

class CXmlDocument;
class CFilterKinds;

class CSubTemplateList {
public:
    std::vector<std::unique_ptr<CSubTemplate>> items;  // file order, no gaps, unique Index
    int32_t count = 0;
    std::u16string templateDir;  // prefix of every sub-template file (set before Load)
    std::u16string imageDir;     // handed to every sub-template (set before Load)

    // Loads the list file and every sub-template it names. False when the
    // file cannot be read, has no `SubTemplateList`, declares "Size" <= 0 or
    // names a sub-template that fails to load (the list is then empty).
    // The sub-templates' reference records are made through kinds.
    bool Load(const std::u16string& path, const CFilterKinds& kinds);
    // Load's work on an already parsed document.
    bool ReadFrom(CXmlDocument& xml, const CFilterKinds& kinds);

    CSubTemplate* Get(int32_t i) const;
    CSubTemplate* FindByIndex(int32_t index) const;
    // Position of the first item with the Index of sub, or -1.
    int32_t PositionOf(const CSubTemplate* sub) const;
    void Clear();
};

}  // namespace libMorvaneClassifier

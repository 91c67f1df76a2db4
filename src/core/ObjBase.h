// Base of every object read from a template file, and the parameter
// descriptors a template editor reads to show an object's properties.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace libMorvaneClassifier {

// How an editor shows a property.
enum ParameterKind : int32_t {
    kParamText = 8,
    kParamFlag = 11,
    kParamInteger = 22,
    kParamPath = 81,
    kParamPageLength = 89,
    kParamRatio = 90,
    // Choices among numbered values.
    kParamAnchorType = 74,
    kParamTextMatchMethod = 76,
    kParamFilterType = 77,
    kParamGroupAction = 78,
    kParamLocationType = 80,
    kParamProcessType = 82,
    kParamApplicationType = 83,
    kParamLineLocationMethod = 84,
    kParamCharLocationMethod = 85,
    kParamCharType = 86,
    kParamTextLineFilterType = 91,
    kParamFeatureMode = 92,
};

struct ParameterDescriptor {
    std::u16string name;    // element name for the first descriptor, else the attribute name
    void* value = nullptr;  // the field holding the property (none for the element name)
    int32_t kind = kParamText;
    std::vector<std::u16string> choices;  // left empty by every class
};

using ParameterList = std::vector<ParameterDescriptor>;

class CObjBase {
public:
    virtual ~CObjBase() = 0;
    // Fills list with the object's editable properties. The base lists none.
    virtual void ListParameters(ParameterList& list);
};

// Appends one descriptor.
inline void AddParameter(ParameterList& list, const char16_t* name, void* value, int32_t kind) {
    ParameterDescriptor d;
    d.name = name;
    d.value = value;
    d.kind = kind;
    list.push_back(std::move(d));
}

// Clears the list and appends the element-name descriptor.
inline void BeginParameters(ParameterList& list, const char16_t* elementName) {
    list.clear();
    AddParameter(list, elementName, nullptr, kParamText);
}

}  // namespace libMorvaneClassifier

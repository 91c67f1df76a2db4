// Helpers for the step tests: a record's parameters as comparable values.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "core/TextConv.h"
#include "preprocess/ImageProcessingInfo.h"

namespace libMorvaneClassifier {
namespace test {

struct Param {
    std::u16string name;
    int32_t kind;
    int32_t value;  // the field's value (0 for the element-name descriptor)
    bool operator==(const Param& o) const {
        return std::tie(name, kind, value) == std::tie(o.name, o.kind, o.value);
    }
    bool operator!=(const Param& o) const { return !(*this == o); }
};
using Params = std::vector<Param>;

inline std::ostream& operator<<(std::ostream& os, const Param& p) {
    return os << Utf16ToUtf8(p.name) << "/" << p.kind << "=" << p.value;
}

// The record's descriptors with the values of the fields they point at.
inline Params ParamsOf(CImageProcessingInfo& step) {
    ParameterList list;
    step.ListParameters(list);
    Params out;
    for (const auto& d : list)
        out.push_back({d.name, d.kind, d.value ? *static_cast<const int32_t*>(d.value) : 0});
    return out;
}

}  // namespace test
}  // namespace libMorvaneClassifier

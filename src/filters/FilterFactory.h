// Factories keyed by the filter type number (1 size, 2 grid, 3 frame line,
// 4 text); any other number yields nothing.
#pragma once
#include <cstdint>
#include <memory>

#include "filters/FilterBase.h"
#include "templates/FilterInfoBase.h"

namespace libMorvaneClassifier {

std::unique_ptr<CFilterBase> CreateFilter(int32_t type);
std::unique_ptr<CFilterInfoBase> CreateFilterInfo(int32_t type);

// The record kinds of the four filters, built once (thread-safe) and never
// changed: the table the api hands to the template loaders so that
// sub-template files can hold their reference records.
const CFilterKinds& FilterKinds();

}  // namespace libMorvaneClassifier

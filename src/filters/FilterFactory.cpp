#include "filters/FilterFactory.h"

#include "filters/FilterFrameLine.h"
#include "filters/FilterGrid.h"
#include "filters/FilterSize.h"
#include "filters/FilterText.h"

namespace libMorvaneClassifier {

std::unique_ptr<CFilterBase> CreateFilter(int32_t type) {
    switch (type) {
        case kFilterTypeSize:
            return std::make_unique<CFilterSize>();
        case kFilterTypeGrid:
            return std::make_unique<CFilterGrid>();
        case kFilterTypeFrameLine:
            return std::make_unique<CFilterFrameLine>();
        case kFilterTypeText:
            return std::make_unique<CFilterText>();
        default:
            return nullptr;
    }
}

std::unique_ptr<CFilterInfoBase> CreateFilterInfo(int32_t type) {
    switch (type) {
        case kFilterTypeSize:
            return std::make_unique<CFilterSizeInfo>();
        case kFilterTypeGrid:
            return std::make_unique<CFilterGridInfo>();
        case kFilterTypeFrameLine:
            return std::make_unique<CFilterFrameLineInfo>();
        case kFilterTypeText:
            return std::make_unique<CFilterTextInfo>();
        default:
            return nullptr;
    }
}

const CFilterKinds& FilterKinds() {
    static const CFilterKinds kinds =
        CFilterKinds()
            .With(kFilterTypeSize, [] { return CreateFilterInfo(kFilterTypeSize); })
            .With(kFilterTypeGrid, [] { return CreateFilterInfo(kFilterTypeGrid); })
            .With(kFilterTypeFrameLine, [] { return CreateFilterInfo(kFilterTypeFrameLine); })
            .With(kFilterTypeText, [] { return CreateFilterInfo(kFilterTypeText); });
    return kinds;
}

}  // namespace libMorvaneClassifier

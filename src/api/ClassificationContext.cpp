#include "api/ClassificationContext.h"

#include "filters/FilterBase.h"
#include "templates/FilterConfig.h"

namespace libMorvaneClassifier {

void PrepareFilter(CFilterBase& filter, const CFilterConfig* config, const ClassificationContext& context) {
    filter.threshold = config ? config->filterThresh : 0;
    filter.weight = config ? config->filterWeight : 0;
    filter.featureMode = config ? config->featureMode : 0;
    filter.inheritedFilter = config ? config->inheritedFilter : 0;
    filter.horiDpi = context.pageXDpi;
    filter.vertDpi = context.pageYDpi;
    filter.pageScaleNum = context.scaleNum;
    filter.pageScaleDen = context.scaleDen;
    filter.scoreObserver = context.observer;
    filter.engineService = context.engines;
}

}  // namespace libMorvaneClassifier

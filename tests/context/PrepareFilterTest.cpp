// The filters' run-time fields are written only by PrepareFilter: from the
// group's configuration and the classification's context, and to the
// defaults (0) without a configuration, whatever an earlier run left.
#include <gtest/gtest.h>

#include "api/ClassificationContext.h"
#include "engines/EngineService.h"
#include "filters/FilterSize.h"
#include "templates/FilterConfig.h"

namespace libMorvaneClassifier {
namespace {

struct Fields {
    int32_t threshold, weight, featureMode, inheritedFilter, horiDpi, vertDpi, scaleNum, scaleDen;
    ScoreObserver* observer;
    CEngineService* engines;
};

Fields Of(const CFilterBase& f) {
    return {f.threshold, f.weight,       f.featureMode,  f.inheritedFilter, f.horiDpi,
            f.vertDpi,   f.pageScaleNum, f.pageScaleDen, f.scoreObserver,   f.engineService};
}

TEST(PrepareFilter, WritesEveryRunTimeFieldFromConfigAndContext) {
    CFilterConfig config;
    config.filterThresh = 610;
    config.filterWeight = 3;
    config.featureMode = 2;
    config.inheritedFilter = 7;
    ClassificationContext context = ClassificationContext::For(300, 200, 0, 0);
    context.scaleNum = 1;
    context.scaleDen = 4;
    DecisionTrace trace;
    context.observer = &trace;
    CEngineService service;
    context.engines = &service;

    CFilterSize filter;
    PrepareFilter(filter, &config, context);
    const Fields f = Of(filter);
    EXPECT_EQ(f.threshold, 610);
    EXPECT_EQ(f.weight, 3);
    EXPECT_EQ(f.featureMode, 2);
    EXPECT_EQ(f.inheritedFilter, 7);
    EXPECT_EQ(f.horiDpi, 300);
    EXPECT_EQ(f.vertDpi, 200);
    EXPECT_EQ(f.scaleNum, 1);
    EXPECT_EQ(f.scaleDen, 4);
    EXPECT_EQ(f.observer, &trace);
    EXPECT_EQ(f.engines, &service);

    // A later call without a configuration, on a context without a page
    // resolution, leaves nothing of the first one behind.
    PrepareFilter(filter, nullptr, ClassificationContext::For(0, 0, 0, 0));
    const Fields g = Of(filter);
    EXPECT_EQ(g.threshold, 0);
    EXPECT_EQ(g.weight, 0);
    EXPECT_EQ(g.featureMode, 0);
    EXPECT_EQ(g.inheritedFilter, 0);
    EXPECT_EQ(g.horiDpi, 0);
    EXPECT_EQ(g.vertDpi, 0);
    EXPECT_EQ(g.scaleNum, 1);
    EXPECT_EQ(g.scaleDen, 1);
    EXPECT_EQ(g.observer, nullptr);
    EXPECT_EQ(g.engines, &ProcessEngineService());
}

}  // namespace
}  // namespace libMorvaneClassifier

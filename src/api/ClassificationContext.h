// What one classification of one page runs with, built once by the
// classifier before the walk and handed down unchanged. The filters'
// run-time fields are filled from it by PrepareFilter, the one place that
// writes them (the walk calls it before every filter; the tools that run a
// filter on their own call it too), and nothing flows back up.
#pragma once
#include <cstdint>

#include "api/DecisionTrace.h"
#include "engines/EngineService.h"

namespace libMorvaneClassifier {

class CFilterBase;
class CFilterConfig;

struct ClassificationContext {
    // The resolution (dots per inch) the page is measured with, and where it
    // came from: the host's setting for the main template ("option"), else
    // the one the page's file states when the host asked for that ("file"),
    // else none (0, 0: each size filter measures with its own, "template").
    int32_t pageXDpi = 0;
    int32_t pageYDpi = 0;
    ResolutionSource source = ResolutionSource::kTemplate;
    // The page was decoded reduced by scaleNum / scaleDen (1/1: at full
    // size): every resolution it is measured with shrinks alike.
    int32_t scaleNum = 1;
    int32_t scaleDen = 1;
    // Where the filters report every score they compute (the walk's trace);
    // null: nowhere.
    ScoreObserver* observer = nullptr;
    // The recognition engines the text filters use: the process's one
    // service, whose gate serialises every classification's engine calls.
    CEngineService* engines = &ProcessEngineService();

    // The page's resolution from the host's setting and the file's trusted
    // one, by the order above; scale 1/1.
    static ClassificationContext For(int32_t optionX, int32_t optionY, int32_t fileX, int32_t fileY) {
        ClassificationContext c;
        if (optionX > 0 || optionY > 0) {
            c.pageXDpi = optionX;
            c.pageYDpi = optionY;
            c.source = ResolutionSource::kOption;
        } else if (fileX > 0 && fileY > 0) {
            c.pageXDpi = fileX;
            c.pageYDpi = fileY;
            c.source = ResolutionSource::kFile;
        }
        return c;
    }
};

// Writes every run-time field of filter: the threshold, weight, feature mode
// and inherited filter from the group's configuration (all 0 without one),
// the page's resolution and decode scale, the score listener and the engine
// service from the context.
void PrepareFilter(CFilterBase& filter, const CFilterConfig* config, const ClassificationContext& context);

}  // namespace libMorvaneClassifier

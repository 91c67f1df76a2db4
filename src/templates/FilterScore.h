// The score a template group keeps for each of its children while its
// filters run.
#pragma once
#include <cstdint>

namespace libMorvaneClassifier {

struct FilterScore {
    int32_t score = 0;       // accumulated or last score
    bool passed = true;      // still a candidate; filters skip children that are not
    int32_t childIndex = -1; // index of the child within its group

    void Reset() {
        score = 0;
        passed = true;
        childIndex = -1;
    }
};

// Told of every score a filter gives a child, before it is merged into the
// child's record (the driver's decision trace listens here). `raw` is the
// compared score; `merged` the child's record after the threshold or weight.
class ScoreObserver {
public:
    virtual ~ScoreObserver() = default;
    virtual void OnScore(int32_t childIndex, int32_t raw, const FilterScore& merged) = 0;
};

}  // namespace libMorvaneClassifier

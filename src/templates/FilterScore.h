// The score a template group keeps for each of its children while its
// filters run.
#pragma once
#include <cstdint>
#include <string>

namespace libMorvaneClassifier {

struct FilterScore {
    int32_t score = 0;        // accumulated or last score
    bool passed = true;       // still a candidate; filters skip children that are not
    int32_t childIndex = -1;  // index of the child within its group

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
    // A filter's short account of how it scored a child (one JSON value,
    // UTF-8, small and bounded by the filter), for instance the recognised
    // and the expected text of each line. Ignored unless the listener wants it.
    virtual void OnNote(int32_t /*childIndex*/, const std::string& /*json*/) {}
};

}  // namespace libMorvaneClassifier

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

}  // namespace libMorvaneClassifier

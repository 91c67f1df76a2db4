// The decision trace as an indented tree for people to read: one block per
// level of the walk, nested like the template groups, with each child's score
// per filter and the choice made.
#pragma once
#include <string>

#include "api/DecisionTrace.h"

namespace libMorvaneClassifier {

// UTF-8 text, one line per fact, ending in a line break. Control characters
// in names are shown as '?', so every line stays one line.
std::string DecisionTraceText(const DecisionTrace& trace);

}  // namespace libMorvaneClassifier

// The colour-to-gray and gray-to-binary steps (their actions are declared in
// preprocess/StepActions.h) and the ColorMatch record carried by the
// frame-line filter's per-template parameters.
#pragma once
#include <cstdint>
#include <memory>

#include "preprocess/StepActions.h"

namespace libMorvaneClassifier {

class CXmlDocument;

// Colour matching method of the frame-line filter: element "ColorMatch"
// with attribute "Method". A holder keeps a record only when the element was
// read.
struct ColorMatch {
    int32_t method = 0;
};

// Finds "ColorMatch" among the following siblings at the cursor. Not found:
// null (the holder keeps none). Found: reads "Method" (absent = 0), enters
// the element and leaves it again.
std::unique_ptr<ColorMatch> ReadColorMatch(CXmlDocument& xml);
// Appends "ColorMatch" with "Method" and enters and leaves it; nothing (and
// true) when there is no record. False when the XML layer refuses.
bool WriteColorMatch(CXmlDocument& xml, const ColorMatch* record);
// A new record with the same method, or null for null.
std::unique_ptr<ColorMatch> CopyColorMatch(const ColorMatch* record);

}  // namespace libMorvaneClassifier

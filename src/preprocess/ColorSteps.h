// The colour-to-gray and gray-to-binary steps (their actions are declared in
// preprocess/StepActions.h) and the ColorMatch record carried by the
// frame-line filter's per-template parameters.
#pragma once
#include <cstdint>
#include <memory>

#include "preprocess/StepActions.h"
#include "xml/RecordXml.h"

namespace libMorvaneClassifier {

class CXmlDocument;

// Colour matching method of the frame-line filter: element "ColorMatch"
// with attribute "Method". A holder keeps a record only when the element was
// read. Read finds "ColorMatch" among the following siblings (false when it
// is not there) and reads "Method" (absent = 0).
class ColorMatch : public CTableRecord<ColorMatch> {
public:
    static constexpr char16_t kElement[] = u"ColorMatch";

    int32_t method = 0;

    static const RecordTable<ColorMatch>& Fields();
};

// Owner-side helpers. The record read at the cursor, or null when there is
// no "ColorMatch" (the holder keeps none).
std::unique_ptr<ColorMatch> ReadColorMatch(CXmlDocument& xml);
// Appends "ColorMatch" with "Method"; nothing (and true) when there is no
// record. False when the XML layer refuses.
bool WriteColorMatch(CXmlDocument& xml, const ColorMatch* record);
// A new record with the same method, or null for null.
std::unique_ptr<ColorMatch> CopyColorMatch(const ColorMatch* record);

}  // namespace libMorvaneClassifier

// Plain records the character merge and the text matching work on: the
// pixel limits of one character, the parts of an engine record that weigh a
// recognition (its allowed characters and its character-ratio records) and
// the call that recognises one box with one engine record.
//
// The recognition result itself is the 56-byte RecognitionResult of
// templates/TextLine.h. The records below mirror the character-location and
// engine records field for field, so the code that owns those records only
// has to fill these from them.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/Geometry.h"
#include "templates/TextLine.h"

namespace libMorvaneClassifier {

// One character-ratio record of an engine record ("CharRatio").
struct TextCharRatio {
    int32_t charType = 1;  // 0 any, 1 ideograph, 2 digit, 3 upper, 4 lower, 10 charset
    int32_t whRatio = 0;   // width × 100 / height of the characters it describes
    std::u16string charset;
};

// The parts of one engine record ("RecogEngine") that weigh its results.
struct TextEngineRecord {
    std::u16string filterPlus;              // characters a result may contain; empty = any
    std::vector<TextCharRatio> charRatios;  // empty = the record has no ratio list
};

// Character limits in pixels (the character property's pixel getters) and
// its width/height ratio limits (width × 100 / height).
struct TextCharLimits {
    int32_t minWidthPx = 0;
    int32_t maxWidthPx = 0;
    int32_t minHeightPx = 0;
    int32_t maxHeightPx = 0;
    int32_t minSpacePx = 0;
    int32_t maxSpacePx = 0;
    int32_t minWHRatio = 0;
    int32_t maxWHRatio = 0;
};

// Recognises the pixels inside box with the engine record of the given
// index; true when the engine filled result.
using TextRecognizeFn = std::function<bool(const Rect32& box, size_t engine, RecognitionResult& result)>;

}  // namespace libMorvaneClassifier

// Fuzzes the text matching measures: the bytes give a pattern and a run of
// recognised characters; the pattern is parsed and scored against them with
// both normalisations, and the string measures and line alignment run over
// the pattern text and the recognised text.
//
// Input: byte 0 flags (bit 0: normalisation by both sides), bytes 1-2 the
// pattern length L in UTF-16 units (little-endian), then L UTF-16LE units,
// then records of 6 bytes per recognised character: two UTF-16LE candidates
// and their one-byte scores.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "filters/TextMatching.h"

using namespace libMorvaneClassifier;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int32_t app = data[0] & 1;
    size_t len = size_t(data[1]) | (size_t(data[2]) << 8);
    size_t at = 3;
    len = std::min(len, (size - at) / 2);
    std::u16string pattern;
    for (size_t i = 0; i < len; ++i, at += 2) pattern.push_back(char16_t(data[at] | (data[at + 1] << 8)));

    std::vector<RecognitionResult> chars;
    std::u16string text;
    for (; at + 6 <= size; at += 6) {
        RecognitionResult r;
        r.candidates[0] = char16_t(data[at] | (data[at + 1] << 8));
        r.candidates[1] = char16_t(data[at + 2] | (data[at + 3] << 8));
        r.scores[0] = data[at + 4];
        r.scores[1] = data[at + 5];
        chars.push_back(r);
        if (!IsEmptyCandidate(r.candidates[0])) text.push_back(r.candidates[0]);
    }

    std::vector<PatternElement> elements;
    if (ParsePattern(pattern, elements) && !chars.empty())
        for (const PatternElement& e : elements) (void)ElementScore(e, chars.front());
    const int32_t s = PatternScore(pattern, chars.data(), chars.size(), app);
    if (s < 0 || s > 1000) __builtin_trap();

    (void)EditDistance(pattern, text);
    (void)LcsLength(pattern, text);
    (void)SharedCharCount(pattern, text);
    const LineAlignment al = AlignLines({pattern, text}, {text, pattern});
    if (al.partner.size() != 2) __builtin_trap();

    if (!chars.empty()) {
        TextEngineRecord plain;
        TextEngineRecord ratios;
        ratios.filterPlus = pattern.substr(0, 8);
        ratios.charRatios.push_back({int32_t(data[0] >> 1) % 12, int32_t(data[1]), pattern.substr(0, 3)});
        ratios.charRatios.push_back({2, 50, u""});
        RecognitionResult r = chars.front();
        (void)Confidence(r, plain, Rect32{0, 0, data[1], data[2]});
        (void)Confidence(r, ratios, Rect32{0, 0, data[2], data[1]});
    }
    return 0;
}

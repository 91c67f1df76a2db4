// Character-level machinery of the text filter: the dynamic merge of
// over-segmented character pieces, the confidence of one recognition, and
// the string measures by which recognised lines are compared with expected
// ones (pattern score, edit distance, longest common subsequence, line
// alignment, shared characters).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "filters/TextMatchTypes.h"

namespace libMorvaneClassifier {

// Rank weights of the first five candidates.
constexpr int32_t kCandidateRankWeights[5] = {100, 80, 60, 40, 20};

// Bounds that keep hostile input cheap. A line of more pieces than this is
// not merged; a candidate never joins more pieces than this; the string
// measures look at no more characters of each side than this; a pattern of
// more elements, or one scored against more characters, scores 0.
constexpr size_t kMaxMergePieces = 4096;
constexpr size_t kMaxPiecesPerCandidate = 64;
constexpr size_t kMaxMeasuredChars = 1024;
constexpr size_t kMaxPatternElements = 1024;
constexpr size_t kMaxPatternText = 8192;  // pattern text length in UTF-16 units
// AlignLines gives no pairs when the line grid or the summed character
// products exceed these.
constexpr int64_t kMaxAlignCells = 1 << 20;
constexpr int64_t kMaxAlignCharProduct = 16LL << 20;

bool IsDigitChar(char16_t c);
bool IsUpperChar(char16_t c);
bool IsLowerChar(char16_t c);
bool IsIdeograph(char16_t c);
bool IsEmptyCandidate(char16_t c);
// Number of leading non-empty candidates among the first five.
int32_t LeadingCandidates(const RecognitionResult& r);

// Confidence (about 0 to 100) of one recognition of box by an engine record.
// May rewrite the result's first candidate (a ratio record with a one-
// character set, or an accepted second candidate brought to first place).
int32_t Confidence(RecognitionResult& result, const TextEngineRecord& engine, const Rect32& box);

// Replaces the character pieces of one line (reading order) by the merged
// character boxes along the best path of the merge lattice and returns one
// recognition result per merged box; the return value is their number.
// Nothing happens (0) for no pieces, for more than kMaxMergePieces, or
// without a recogniser.
int32_t DynamicMerge(const TextCharLimits& limits, const std::vector<TextEngineRecord>& engines,
                     const TextRecognizeFn& recognize, std::vector<Rect32>& boxes,
                     std::vector<RecognitionResult>& results);

// A parsed pattern: one element per character it stands for.
struct PatternElement {
    uint8_t slots = 0;        // bit k = class slot k active (0 literal set … 6 any)
    std::u16string literals;  // slot 0's characters, sorted and without repeats
};
// Parses a pattern text. False (and no elements) for an unclosed "[", a text
// longer than kMaxPatternText, or a pattern standing for more than
// kMaxPatternElements characters.
bool ParsePattern(const std::u16string& pattern, std::vector<PatternElement>& elements);
// Weight (0, 20 … 100) with which a recognised character satisfies an element.
int32_t ElementScore(const PatternElement& element, const RecognitionResult& character);
// 0 to 1000. 0 for an empty or malformed pattern (ParsePattern), for no
// characters, and for more than kMaxPatternElements characters.
int32_t PatternScore(const std::u16string& pattern, const RecognitionResult* characters, size_t count,
                     int32_t applicationType);

// The strict pattern score of match method 6 (0 to 1000): characters are
// compared place by place with the pattern (no sliding); the summed element
// weights (a first candidate outside every element of the pattern counts
// -100) over the longer of the two lengths, times a length factor
// 1 - 4 x |length difference| / pattern length (at least 0). A line a
// character longer than a 44-place zone keeps at most 909; junk text of
// another length or alphabet scores far below a real zone. 0 as for
// PatternScore.
int32_t StrictPatternScore(const std::u16string& pattern, const RecognitionResult* characters, size_t count);

int32_t EditDistance(const std::u16string& a, const std::u16string& b);
int32_t LcsLength(const std::u16string& a, const std::u16string& b);
int32_t SharedCharCount(const std::u16string& t, const std::u16string& x);

struct LineAlignment {
    int64_t total = 0;
    std::vector<int32_t> partner;  // per template line: index into the recognised texts, or -1
    std::vector<int32_t> weight;   // per template line: the pair's weight (0 unpaired)
    int32_t pairs = 0;
};
LineAlignment AlignLines(const std::vector<std::u16string>& templateTexts,
                         const std::vector<std::u16string>& recognisedTexts);

}  // namespace libMorvaneClassifier

// Scoring of recognised text lines against the expected lines of a
// sub-template, and turning located, recognised lines into the text lines of
// a measured feature. Works on text-line records and plain boxes, so that it
// does not depend on how lines are located or which engine recognises them.
#pragma once
#include <cstdint>
#include <vector>

#include "filters/TextMatchTypes.h"
#include "templates/TextLine.h"

namespace libMorvaneClassifier {

// Matching methods ("Method" of `TextMatch`).
enum TextMatchMethod : int32_t {
    kTextMatchAlign = 1,          // line alignment by common subsequences
    kTextMatchEditDistance = 2,   // edit distance under each line's character set
    kTextMatchPattern = 3,        // each expected text is a pattern
    kTextMatchShared = 4,         // characters shared by all the text
    kTextMatchCharset = 5,        // share of characters within each line's set
    kTextMatchStrictPattern = 6,  // each expected text is a pattern of fixed length and alphabet
};

// For each reference line, the index of the feature line it is compared
// with, or -1. The result has one entry per reference line, except that a
// reference line of filterType 0 met while the counts differ makes it the
// identity over the feature lines (one entry per feature line).
//
// filterType 1 and 2 pick by `offset` from the first or the last feature
// line; 3 to 7 pick the feature line whose region size is nearest. For 3 to
// 6 the nearest choice is then revised by rank: when 0 <= `offset` < v the
// line becomes the one at place `offset` of the feature lines ranked by
// region height, tallest first (3) or lowest first (4), or by region width,
// widest first (5) or narrowest first (6), ties in recognised order. A line
// without a usable region size (zero width or height) gets no size-nearest
// partner.
std::vector<int32_t> CorrespondLines(const std::vector<CTextLine*>& reference,
                                     const std::vector<CTextLine*>& feature);

// Score (truncated toward zero) of the feature lines against the reference
// lines by one method; 0 for an unknown method or when the method's
// requirements on the line counts are not met. With placeAnchors, the
// anchors of each compared reference line's region are located on the
// compared feature line's rectangle with the per-line value. A reference
// text of length 0, a zero character count or zero summed lengths give a
// per-line value or score of 0 instead of a division by zero.
// When perLine is given, it receives the per-line value of every compared
// reference line (the value anchors are placed with); method 4 compares the
// text as a whole and gives none.
struct TextLineScore {
    int32_t reference = -1;  // index among the reference lines
    int32_t feature = -1;    // index among the feature lines, -1 when none
    int32_t value = 0;
};
int32_t MatchTextLines(int32_t method, int32_t applicationType, const std::vector<CTextLine*>& reference,
                       const std::vector<CTextLine*>& feature, bool placeAnchors,
                       std::vector<TextLineScore>* perLine = nullptr);

// One located text line: its box and its character pieces in reading order,
// both in the coordinates of the region image.
struct LocatedTextLine {
    Rect32 box;
    std::vector<Rect32> pieces;
};

// Recognises each located line with the dynamic merge (the recogniser works
// on the region image) and appends one text line per line that gives
// characters (at least one merged box an engine recognised): its text (the best candidate of each character;
// a character with no candidate adds nothing to the text), index and offset in kept order, region = the line
// box moved by the region's left and top in ten-thousandths of the page size, and its recognition results,
// each with its merged character box in page pixels (moved like the line). Returns 0, or -14 when no line
// gave characters (lines is then left empty).
int32_t RecogniseLocatedLines(const std::vector<LocatedTextLine>& located, const Rect32& region,
                              int32_t pageWidth, int32_t pageHeight, const TextCharLimits& limits,
                              const std::vector<TextEngineRecord>& engines, const TextRecognizeFn& recognize,
                              CTextLineList& lines);

}  // namespace libMorvaneClassifier

// Reference records of morvane-template add that are more than an average of
// numbers: the frame lines and the text lines common to a class's samples.
// Each sample is measured by the filter's own measuring code first (one
// feature record per sample); these functions turn those features into the
// class's reference record.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "filters/FilterFrameLine.h"
#include "filters/FilterText.h"

namespace libMorvaneClassifier {
namespace authoring {

// Matching of frame lines across samples, in ten-thousandths of the page
// (height for the position of a horizontal line, width for a vertical one):
// two lines of the same direction are the same line when their positions
// across the direction differ by at most kFrameLineAcrossTolerance and both
// their ends by at most kFrameLineAlongTolerance.
constexpr int32_t kFrameLineAcrossTolerance = 150;
constexpr int32_t kFrameLineAlongTolerance = 400;

// Number of samples a frame line or text line must be found in to be kept:
// every sample, except that one miss in every four samples is allowed
// (1-3 samples: all; 4-7: all but one; 8: 6 ...).
int32_t RequiredSamples(int32_t samples);

struct FrameLineMerge {
    std::unique_ptr<CFilterFrameLineInfo> reference;  // null: nothing common
    int32_t kept = 0;                                 // lines kept
    int32_t dropped = 0;                              // line groups found in too few samples
    int32_t spread = 0;  // largest distance of a kept line's end from its average, ten-thousandths
};

// The lines found in enough samples, their ends averaged. The features must
// have lines (method 1); their geometry is read in ten-thousandths, so
// samples of different resolutions merge.
FrameLineMerge MergeFrameLines(const std::vector<const CFilterFrameLineInfo*>& samples);

// Similarity of two texts, 0 to 1000: twice their longest common subsequence
// over their summed lengths (two empty texts: 0).
int32_t TextSimilarity(const std::u16string& a, const std::u16string& b);

// A line whose texts agree in every sample at this similarity or more is a
// fixed line of the class (a label, a heading).
constexpr int32_t kFixedTextSimilarity = 800;

struct TextMerge {
    std::unique_ptr<CFilterTextInfo> reference;  // null: nothing common
    int32_t fixed = 0;                           // lines kept as text (agreed in every sample)
    int32_t patterns = 0;  // variable lines of equal length turned into a pattern (methods 3 and 6)
    int32_t dropped = 0;   // variable lines, and lines not found in enough samples
    std::vector<std::u16string> texts;  // the reference texts, in order
};

// The text lines of the first sample that recur (same place on the page, see
// TextMerge) in enough others. rule is the filter's own rule: its matching
// method decides how a line is written (see the README's rules), and when
// the filter measures each child with the child's reference as its rule
// (applicationType 0), the reference starts as a copy of it.
TextMerge MergeTextLines(const std::vector<const CFilterTextInfo*>& samples, const CFilterTextInfo& rule,
                         int32_t applicationType);

// Pattern of the text filter's pattern language that the texts (all of the
// same length) satisfy: a character shared by all is written literally
// (escaped when the language reserves it), except a letter or digit between
// two varying places that both allow it (chance agreement of few samples).
// Each stretch of varying places becomes one element repeated over its
// length: the classes seen anywhere in it (\D digits, \U capitals, \L small
// letters) plus up to two other characters (such as the filler "<"), e.g.
// [\U<]{30} for a name, \D{6} for a date; "." when more other characters
// were seen. Literal runs of more than three are written with a count.
std::u16string PatternOf(const std::vector<std::u16string>& texts);

}  // namespace authoring
}  // namespace libMorvaneClassifier

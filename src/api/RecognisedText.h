// The text lines the text filters recognised on the walked path of one
// classification, read back for the host. Nothing is copied while
// classifying: the text filters keep what they measured with the
// sub-templates they compared (as they always do), the driver notes which
// groups it walked, and the lines are gathered from those only when asked.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "api/DecisionTrace.h"
#include "core/MrzDecoder.h"

namespace libMorvaneClassifier {

class CTemplateGroup;
class CFilterArray;

struct RecognisedLine {
    // The characters read, one per entry of charBoxes and candidates: what
    // the text filter matched.
    std::u16string text;
    // The same characters with word spaces where the gaps of the line show
    // them (WithWordSpaces): what the host reads as the line's text.
    std::u16string spacedText;
    // The line's box in pixels of the page as the host handed it in: the box
    // measured on the page the filter worked on, scaled to the page's size
    // and turned back when the orientation search turned the page.
    int32_t x = 0, y = 0, w = 0, h = 0;
    int32_t filter = 0;  // index of the text filter that measured it
    std::u16string filterName;
    int32_t level = 0;          // level of the walk (0: the root group) whose filter ran
    std::u16string group;       // name of that level's group
    std::u16string templateId;  // sub-template the measurement is kept with
    int32_t characters = 0;     // recognised characters
    int32_t distance = -1;      // engine's distance of the best candidates, averaged; -1: none
    // Per character of text, its box (the merged pieces it was read from) in
    // the same pixels as the line's box.
    struct CharBox {
        int32_t x = 0, y = 0, w = 0, h = 0;
    };
    std::vector<CharBox> charBoxes;
    // Per character of text, the engine's candidates best first with their
    // distances (for decoding a machine-readable zone).
    std::vector<std::vector<MrzOption>> candidates;
};

// One character's horizontal extent and height on the line, in pixels.
struct CharExtent {
    int32_t left = 0;
    int32_t right = 0;
    int32_t height = 0;
};

// text with a space put between two neighbouring characters whose gap is
// clearly a word gap: wider than three times the line's median gap between
// characters and than 0.3 of its median character height. On a fixed-pitch
// line (its character centres vary less than its gaps: machine-readable
// zones, where a narrow '<' leaves wide gaps beside it) the two centres must
// also lie more than 1.5 pitches apart, an empty cell between them. extents
// holds one entry per character of text, in reading order; otherwise, and
// for lines of fewer than three characters, text is returned unchanged.
// Spaces already in text are kept and no second space is put beside one.
std::u16string WithWordSpaces(const std::u16string& text, const std::vector<CharExtent>& extents);

// What one classification leaves for reading back its lines.
struct WalkRecord {
    std::vector<const CTemplateGroup*> groups;  // the group of each level opened, root first
    int32_t pageWidth = 0;                      // the page as handed in
    int32_t pageHeight = 0;
};

// Gathers the lines: for every level that chose a child, the text
// measurements kept with the chosen child's sub-template (for a level that
// took its default branch, which no filter compares, those kept with the
// first compared sibling that has any), root level first, each measurement
// once. filters names them; turn is the page turn the walk ran on.
std::vector<RecognisedLine> GatherRecognisedLines(const WalkRecord& walk, const DecisionTrace& trace,
                                                  const CFilterArray* filters);

// {"page":{"width","height"},"turn","lines":[{"text","x","y","w","h",
// "filter","filterName","level","group","template","characters",
// "distance"}...]} (UTF-8).
std::string RecognisedLinesJson(const std::vector<RecognisedLine>& lines, const WalkRecord& walk,
                                int32_t turn);

}  // namespace libMorvaneClassifier

// A picture of one classification for people: the page as the walk saw it
// (after the main template's preprocessing, scaled down to at most
// kOverlayMaxSide pixels), with what each filter of the walked path measured
// drawn on it, and a panel below listing the decision of every level.
//
// Drawn per filter kind, against the reference of the chosen child (for a
// default branch, of the best-scored compared child):
//   size        the page outline (blue) and both sizes in millimetres;
//   grid        each cell shaded red where it holds more ink than expected,
//               blue where less, with the two counts when the cell is wide;
//   frame lines reference lines found at their place (green), reference lines
//               missed (red) and lines found that the reference lacks
//               (orange);
//   text        the boxes of the recognised lines (magenta) with the text read
//               above each, and the box of every character (teal) with the
//               character read below it; the panel lists the lines read.
// Every step is integer arithmetic on the measured records, so the picture is
// the same bytes at every vector tier.
#pragma once
#include <cstdint>
#include <vector>

#include "api/DecisionTrace.h"
#include "api/RecognisedText.h"
#include "image/Dib.h"

namespace libMorvaneClassifier {

class CMainTemplateEntry;

constexpr int32_t kOverlayMaxSide = 1000;

// page: the page as the host handed it in (turned by trace.turn before the
// walk). lines: the recognised lines of the walk, in that page's pixels.
// out becomes a 24-bit image. False when the page has no pixels or memory
// runs out.
bool RenderOverlay(const CRawImage& page, CMainTemplateEntry& entry, const DecisionTrace& trace,
                   const std::vector<RecognisedLine>& lines, CRawImage& out);

}  // namespace libMorvaneClassifier

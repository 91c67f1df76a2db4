// Black-edge erasing: finds the dark margins a scanner leaves around a page
// on a private binary working copy and crops them from the page.
#pragma once
#include <cstdint>
#include <vector>

#include "image/Dib.h"
#include "preprocess/ImageProcessingInfo.h"

namespace libMorvaneClassifier {

// The two darkness limits of a band line, in single precision: a line is
// black above `hi`, white below `lo`.
struct BlackEdgeLimits {
    float hi = 0.0f;  // threshold / 100
    float lo = 0.0f;  // the smaller of 0.1 and 1 - hi
};
BlackEdgeLimits BlackEdgeLimitsFor(int32_t threshold);

// The result of scanning one band's smoothed profile from the inside of the
// page towards its edge.
struct BlackEdgeScan {
    int32_t maxIdx = 0;   // darkest black line (first in scan order among equals), else the outer end
    int32_t black = 0;    // black lines in the run that reaches the last scanned index
    int32_t white = 0;    // white lines in the run that reaches the last scanned index
    int32_t longest = 0;  // longest white run
    int32_t M = 0;        // index where the longest white run reached its length
};

// Scans `p` (length n >= 1; norm > 0). With outerAtStart the outer end is
// index 0 and the scan runs from n - 1 down to 1 (top and left bands);
// otherwise the outer end is n - 1 and the scan runs from 1 up to n - 1.
BlackEdgeScan ScanBlackEdgeBand(const std::vector<float>& p, int32_t norm, bool outerAtStart,
                                const BlackEdgeLimits& limits);

// Where the page begins (top, left: the first line kept) or ends (bottom,
// right: one past the last line kept), in band indices, when the black run
// that reaches the image edge is the margin, i.e. holds the darkest line or
// the darkest line is the outer end itself: the first line past the run whose
// smoothed darkness is below halfway between the limits (the run's inner end
// when there is none). -1 when no black run reaches the edge or the darkest
// line lies elsewhere; the classic rules then decide.
int32_t MarginEdge(const std::vector<float>& p, int32_t norm, const BlackEdgeScan& s, bool outerAtStart,
                   const BlackEdgeLimits& limits);

// The page rectangle that remains after erasing (right and bottom exclusive).
struct BlackEdgeBox {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// Measures the rectangle on a 1-bit image of at least 8 x 8 pixels. False
// when the image is not such an image or memory for a profile cannot be had.
bool MeasureBlackEdges(const CRawImage& binary, int32_t threshold, BlackEdgeBox* box);

// The whole step (method 0): converts a working copy to 1-bit (grayType for
// 24-bit pages, then binaryType for 8-bit pages), measures, and crops `image`
// in place, so a colour page stays colour. Fails, leaving the image as it
// was, when the image has no pixels, the copy does not end up 1-bit, or
// memory runs out. Pages narrower or lower than 8 pixels have no room for the
// bands and are left unchanged with success.
bool EraseBlackEdges(CRawImage& image, const CBlackEdgesErasingInfo& step, BlackEdgeBox* measured = nullptr);

}  // namespace libMorvaneClassifier

// Skew of a whole 1-bit page from the sharpness of its row profile: the page
// is sheared by candidate angles and the angle at which the black pixels pile
// up into the sharpest rows wins. Text lines, ruled lines, box edges and the
// edges of photo blocks all count, so it holds on text pages, ruled forms and
// identity cards alike, and needs no characters of any particular size.
#pragma once
#include <cstdint>

#include "image/Dib.h"

struct ProjectionSkewResult {
    bool found = false;   // false: the page holds too little ink to measure
    double angle = 0.0;   // radians; positive when rows rise to the right
    double contrast = 0;  // best score over the mean score of the coarse search (>= 1)
};

// Searches -maxDegrees .. +maxDegrees (clamped to 0.5 .. 30) coarsely (on
// the ink merged two rows by two byte columns), then refines around the best
// angle to about 0.01 degree on the full ink. Works on 1-bit images
// only (anything else: not found). Time grows with the number of bytes that
// hold ink, times a fixed number of candidate angles (about 70).
// `xScale` is the width of one pixel in row heights: a page squeezed
// sideways to half its width before binarising (to halve the work) is
// measured with xScale 2 and gives the skew of the page itself.
ProjectionSkewResult EstimateProjectionSkew(const CRawImage& binary, double maxDegrees, double xScale = 1.0);

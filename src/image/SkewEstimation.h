// Skew of the text on a 1-bit page, measured from character-sized connected
// components grouped into text lines, with a ruled-line measurement tried
// first on pages that carry long horizontal lines.
#pragma once
#include <cstdint>
#include <vector>

#include "image/Dib.h"

struct SkewBox {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;   // exclusive
    int32_t bottom = 0;  // exclusive
};

class CSkewEstimation {
public:
    virtual ~CSkewEstimation() = default;

    // Skew in radians; positive when text lines rise to the right. 0 when the
    // image is not 1-bit or nothing can be measured.
    double Estimate(const CRawImage& image);

    // The text-line measurement alone: keeps the character-sized boxes among
    // `boxes` (stored in `components`), finds line bands over `imageHeight`
    // rows, chains the boxes into lines and measures the longest lines.
    // Returns false (angle 0) when the longest line has fewer than 5 boxes.
    bool EstimateFromComponents(const std::vector<SkewBox>& boxes, int32_t imageHeight, double* angle);

    // The ruled-line measurement alone, on a 1-bit image: erases tall
    // vertical strokes, closes short horizontal gaps, and fits the slope of
    // every long flat component. Returns false (angle 0) unless at least three
    // such components are found.
    bool EstimateFromRuledLines(const CRawImage& image, double* angle);

    int32_t maxComponentHeight = 50;
    int32_t maxComponentWidth = 40;
    // Character-sized components kept by the last text-line measurement.
    std::vector<SkewBox> components;

    // Chained lines of the last text-line measurement, longest first; each is
    // a list of indices into `components`.
    std::vector<std::vector<int32_t>> lines;
};

// Bounding boxes of the 8-connected black components of a 1-bit image found
// by CConnectAnalyzer, in the order of their first pixel (top to bottom, left
// to right). The bottom edge is one past the last row but never more than
// height - 1. Returns false when the image is not 1-bit.
bool FindComponentBoxes(const CRawImage& image, std::vector<SkewBox>* boxes);

// The horizontal thickening pass of a 1-bit image, in place: a pixel becomes
// black when any pixel from itself to length - 1 columns to its right was
// black. The same result as the image's Morpho kind 2, computed 64 pixels at
// a time; pixels past the width are ignored.
void ThickenLeftward(CRawImage& image, int32_t length);

// Clears every pixel of a 1-bit image that belongs to a vertical black run of
// at least 11 pixels (rules and tall strokes, which would mislead the text
// measurement); shorter runs are kept as they are.
void EraseTallRuns(CRawImage& image);

// Black-pixel profiles of a 1-bit image and the Gaussian smoothing of the
// resulting series. Measuring code of the preprocessing steps and of the
// layout analysers reads binary pages through these helpers.
#pragma once
#include <cstdint>
#include <vector>

#include "image/Dib.h"

namespace libMorvaneClassifier {

// One row (or column) of a measured rectangle.
struct ProfileEntry {
    int32_t count = 0;  // black pixels
    int32_t first = 0;  // first black pixel: a column (row profile) or a row (column profile)
    int32_t last = 0;   // row profile: column after the last black pixel;
                        // column profile: row of the last black pixel
};

// Rectangle in pixels; right and bottom are exclusive.
struct ProfileRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// Fills entries[0 .. bottom - top - 1], one per row of the rectangle, with the
// black pixels of columns [left, right). A row without black pixels gets
// count 0 and first = last = left. Returns false and writes nothing when the
// image is not 1-bit with pixels or the rectangle is not inside the image
// (left or top negative, left or right beyond the width, top or bottom beyond
// the height).
bool RowProfile(const CRawImage& image, ProfileEntry* entries, const ProfileRect& rect);

// Fills entries[0 .. right - left - 1], one per column of the rectangle. Each
// column is counted over the rows from max(top - 1, 0) to
// min(bottom, height - 1), both included: one row beyond the rectangle at
// each end (rows [10, 20) count rows 9 to 20). first and last are the first and last black rows (both
// inclusive); a column without black pixels gets count 0 and
// first = last = top. Returns false and writes nothing for a rectangle not
// inside the image.
bool ColumnProfile(const uint8_t* const* rows, int32_t width, int32_t height, ProfileEntry* entries,
                   const ProfileRect& rect);
bool ColumnProfile(const CRawImage& image, ProfileEntry* entries, const ProfileRect& rect);

// Smooths `in` with a normalised Gaussian of 2r + 1 taps, r = 1 - trunc(-3
// sigma), repeating the end values beyond the ends; `out` gets the length of
// `in`. An empty `in` leaves `out` as it was. Returns false (out untouched)
// for a sigma that is not a positive number of at most 1000.
bool SmoothGaussian(std::vector<float>& out, const std::vector<float>& in, double sigma);
bool SmoothGaussianInPlace(std::vector<float>& series, double sigma);

// Copies the counts of a profile into a float series.
std::vector<float> ProfileCounts(const ProfileEntry* entries, int32_t n);

}  // namespace libMorvaneClassifier

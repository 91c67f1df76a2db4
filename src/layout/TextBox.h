// The rectangle every layout analyser and location driver reports.
#pragma once
#include <cstdint>
#include <vector>

namespace libMorvaneClassifier {

// A rectangle in pixels of the image handed to the analyser or driver.
// Whether `right` and `bottom` are inclusive depends on the analyser that
// produced it (documented with each analyser in layout/LayoutBase.h and
// layout/LayoutAnalyzer.h).
struct TextBox {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool operator==(const TextBox& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const TextBox& o) const { return !(*this == o); }
};

using TextBoxList = std::vector<TextBox>;

}  // namespace libMorvaneClassifier

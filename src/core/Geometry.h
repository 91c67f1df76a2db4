// Pixel rectangles and the conversion between ten-thousandths of the image
// size and pixels.
#pragma once
#include <cstdint>

namespace libMorvaneClassifier {

struct Rect32 {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool operator==(const Rect32& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const Rect32& o) const { return !(*this == o); }
};

// value × size / 10000, multiplication first, without 32-bit overflow.
inline int32_t ToPixels(int32_t value, int32_t size) {
    return static_cast<int32_t>(static_cast<int64_t>(value) * size / 10000);
}

// pixels × 10000 / size; callers make sure size is not 0.
inline int32_t ToTenThousandths(int32_t pixels, int32_t size) {
    return static_cast<int32_t>(static_cast<int64_t>(pixels) * 10000 / size);
}

}  // namespace libMorvaneClassifier

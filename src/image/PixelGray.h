// The gray level of one pixel of a page of any depth, for drawings made from
// pages (overlays, documentation pictures): black and white for 1-bit rows,
// the luminance of 24-bit BGR, white for other depths.
#pragma once
#include <cstddef>
#include <cstdint>

#include "image/BitPixels.h"
#include "image/Dib.h"

namespace libMorvaneClassifier {

inline uint8_t GrayAt(const CRawImage& page, int x, int y) {
    const uint8_t* row = page.Row(y);
    switch (page.bitCount) {
        case 1:
            return bitpixels::Get(row, x) ? 0 : 255;
        case 8:
            return row[x];
        case 24: {
            const uint8_t* p = row + static_cast<size_t>(x) * 3;
            return static_cast<uint8_t>((p[0] * 29 + p[1] * 150 + p[2] * 77) >> 8);
        }
        default:
            return 255;
    }
}

}  // namespace libMorvaneClassifier

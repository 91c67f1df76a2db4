#include "image/Cropper.h"

#include <algorithm>
#include <cstring>

int CCropper::Process(CRawImage& dst) {
    if (!source_ || !source_->HasPixels()) return 0;
    const CRawImage& src = *source_;
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, src.width);
    bottom = std::min(bottom, src.height);
    if (right < left || bottom < top) return 0;
    const int w = right - left, h = bottom - top;
    if (src.bitCount != 1 && src.bitCount != 8 && src.bitCount != 24) return 1;
    if (!dst.Create(w, h, src.bitCount, src.xResolution)) return 1;  // empty cut-out
    if (src.bitCount == 8 || src.bitCount == 24) {
        const int bpp = src.bitCount / 8;
        for (int y = 0; y < h; ++y)
            std::memcpy(dst.rows[y], src.rows[top + y] + static_cast<size_t>(bpp) * left, static_cast<size_t>(bpp) * w);
        return 1;
    }
    // 1-bit: whole destination bytes assembled from two source bytes; the
    // bits past the width in the last byte are cleared.
    const int shift = left & 7;
    const int first = left >> 3;
    const int lastSrcByte = (right - 1) >> 3;
    const int outBytes = (w + 7) >> 3;
    const uint8_t tailMask = static_cast<uint8_t>(0xFF << ((8 - (w & 7)) & 7));
    for (int y = 0; y < h; ++y) {
        const uint8_t* in = src.rows[top + y];
        uint8_t* out = dst.rows[y];
        for (int i = 0; i < outBytes; ++i) {
            const int a = first + i;
            unsigned v = static_cast<unsigned>(in[a]) << shift;
            if (shift && a + 1 <= lastSrcByte) v |= in[a + 1] >> (8 - shift);
            out[i] = static_cast<uint8_t>(v);
        }
        out[outBytes - 1] &= tailMask;
    }
    return 1;
}

int CCropper::ProcessInPlace() {
    if (!source_ || !source_->HasPixels()) return 0;
    CRawImage copy(*source_);
    CRawImage* original = source_;
    source_ = &copy;
    const int result = Process(*original);
    source_ = original;
    return result;
}

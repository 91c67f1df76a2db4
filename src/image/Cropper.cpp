#include "image/Cropper.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

uint64_t LoadBigEndian64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

void StoreBigEndian64(uint8_t* p, uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    std::memcpy(p, &v, sizeof v);
}

}  // namespace

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
    // Every byte of every row is written below (the padding past the cut-out
    // as zeros), so the pixels are not cleared first.
    if (!dst.CreateForOverwrite(w, h, src.bitCount, src.xResolution)) return 1;  // empty cut-out
    if (src.bitCount == 8 || src.bitCount == 24) {
        const int bpp = src.bitCount / 8;
        const size_t used = static_cast<size_t>(bpp) * w;
        const size_t pad = static_cast<size_t>(dst.bytesPerRow) - used;
        for (int y = 0; y < h; ++y) {
            std::memcpy(dst.Row(y), src.Row(top + y) + static_cast<size_t>(bpp) * left, used);
            if (pad) std::memset(dst.Row(y) + used, 0, pad);
        }
        return 1;
    }
    // 1-bit: whole destination bytes assembled from two source bytes; the
    // bits past the width in the last byte are cleared. Eight destination
    // bytes at a time come from one big-endian 64-bit word shifted left and
    // the top bits of the source byte after it, while that byte lies in the
    // cut-out's source bytes; the rest byte by byte.
    const int shift = left & 7;
    const int first = left >> 3;
    const int lastSrcByte = (right - 1) >> 3;
    const int outBytes = (w + 7) >> 3;
    const size_t pad = static_cast<size_t>(dst.bytesPerRow) - static_cast<size_t>(outBytes);
    const uint8_t tailMask = static_cast<uint8_t>(0xFF << ((8 - (w & 7)) & 7));
    // Whole words whose ninth source byte (first + i + 8) is at most
    // lastSrcByte.
    const int wordBytes = std::max(0, std::min(outBytes, lastSrcByte - first)) & ~7;
    for (int y = 0; y < h; ++y) {
        const uint8_t* in = src.Row(top + y);
        uint8_t* out = dst.Row(y);
        int i = 0;
        if (shift == 0) {
            std::memcpy(out, in + first, static_cast<size_t>(outBytes));
            i = outBytes;
        } else {
            for (; i < wordBytes; i += 8) {
                const uint8_t* a = in + first + i;
                const uint64_t v = (LoadBigEndian64(a) << shift) | (a[8] >> (8 - shift));
                StoreBigEndian64(out + i, v);
            }
        }
        for (; i < outBytes; ++i) {
            const int a = first + i;
            unsigned v = static_cast<unsigned>(in[a]) << shift;
            if (shift && a + 1 <= lastSrcByte) v |= in[a + 1] >> (8 - shift);
            out[i] = static_cast<uint8_t>(v);
        }
        out[outBytes - 1] &= tailMask;
        if (pad) std::memset(out + outBytes, 0, pad);
    }
    return 1;
}

int CCropper::ProcessInPlace() {
    if (!target_ || !target_->HasPixels()) return 0;
    CRawImage copy(*target_);
    source_ = &copy;
    const int result = Process(*target_);
    source_ = target_;
    return result;
}

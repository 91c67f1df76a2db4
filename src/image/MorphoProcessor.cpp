#include "image/MorphoProcessor.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

// The passes OR shifted copies together. A window of L pixels is covered by
// doubling steps (windows 1, 2, 4, ...) so any length costs a logarithmic
// number of sweeps over the image.

int CMorphoProcessor::Process(CRawImage&) { return 0; }

int CMorphoProcessor::VerticalPass(int length) {
    if (!target_ || !target_->HasPixels() || target_->bitCount != 1) return 0;
    CRawImage& img = *target_;
    const int h = img.height;
    const int64_t L = std::min<int64_t>(length, h);
    if (L <= 1) return 1;
    const size_t stride = static_cast<size_t>(img.bytesPerRow);
    const size_t total = stride * h;
    // win holds, for every row, the OR of the `span` rows ending there.
    std::unique_ptr<uint8_t[]> win(new (std::nothrow) uint8_t[total]);
    std::unique_ptr<uint8_t[]> acc(new (std::nothrow) uint8_t[total]);
    if (!win || !acc) return 0;
    for (int y = 0; y < h; ++y) std::memcpy(win.get() + y * stride, img.Row(y), stride);
    std::memset(acc.get(), 0, total);
    int64_t covered = 0;  // acc holds the OR of the `covered` rows ending at each row
    int64_t span = 1;
    int64_t rest = L;
    while (rest > 0) {
        if (rest & 1) {
            // acc[y] |= win[y - covered]
            for (int64_t y = h - 1; y >= covered; --y) {
                uint8_t* a = acc.get() + y * stride;
                const uint8_t* b = win.get() + (y - covered) * stride;
                for (size_t i = 0; i < stride; ++i) a[i] |= b[i];
            }
            covered += span;
        }
        rest >>= 1;
        if (rest) {
            for (int64_t y = h - 1; y >= span; --y) {
                uint8_t* a = win.get() + y * stride;
                const uint8_t* b = win.get() + (y - span) * stride;
                for (size_t i = 0; i < stride; ++i) a[i] |= b[i];
            }
            span *= 2;
        }
    }
    for (int y = 0; y < h; ++y) std::memcpy(img.Row(y), acc.get() + y * stride, stride);
    return 1;
}

namespace {

// dst |= src shifted toward lower columns by k bits (bits moved in from
// beyond the row are white).
void OrShiftedLeft(uint8_t* dst, const uint8_t* src, int bytes, int64_t k) {
    const int64_t q = k >> 3;
    const int s = static_cast<int>(k & 7);
    for (int64_t i = 0; i + q < bytes; ++i) {
        unsigned v = static_cast<unsigned>(src[i + q]) << s;
        if (s && i + q + 1 < bytes) v |= src[i + q + 1] >> (8 - s);
        dst[i] |= static_cast<uint8_t>(v);
    }
}

}  // namespace

int CMorphoProcessor::HorizontalPass(int length) {
    if (!target_ || !target_->HasPixels() || target_->bitCount != 1) return 0;
    CRawImage& img = *target_;
    const int w = img.width;
    const int64_t L = std::min<int64_t>(length, w);
    if (L <= 1) return 1;
    const int bytes = (w + 7) >> 3;
    std::unique_ptr<uint8_t[]> win(new (std::nothrow) uint8_t[bytes]);
    std::unique_ptr<uint8_t[]> tmp(new (std::nothrow) uint8_t[bytes]);
    std::unique_ptr<uint8_t[]> acc(new (std::nothrow) uint8_t[bytes]);
    if (!win || !tmp || !acc) return 0;
    const uint8_t tailMask = static_cast<uint8_t>(0xFF << ((8 - (w & 7)) & 7));
    for (int y = 0; y < img.height; ++y) {
        uint8_t* row = img.Row(y);
        std::memcpy(win.get(), row, bytes);
        win[bytes - 1] &= tailMask;  // pixels past the width do not exist
        std::memset(acc.get(), 0, bytes);
        int64_t covered = 0, span = 1, rest = L;
        while (rest > 0) {
            if (rest & 1) {
                OrShiftedLeft(acc.get(), win.get(), bytes, covered);
                covered += span;
            }
            rest >>= 1;
            if (rest) {
                std::memcpy(tmp.get(), win.get(), bytes);
                OrShiftedLeft(win.get(), tmp.get(), bytes, span);
                span *= 2;
            }
        }
        std::memcpy(row, acc.get(), bytes);
    }
    return 1;
}

// Generated test pages: rows of letter-sized black blocks grouped into words,
// drawn along baselines of a known slope, and helpers to draw into 1-bit
// images.
#pragma once
#include <cmath>
#include <cstring>
#include <random>

#include "image/Dib.h"

namespace skewpage {

inline void SetBlack(CRawImage& img, int x, int y) {
    if (x < 0 || y < 0 || x >= img.width || y >= img.height) return;
    img.Row(y)[x >> 3] = static_cast<uint8_t>(img.Row(y)[x >> 3] | (0x80 >> (x & 7)));
}

inline bool IsBlack(const CRawImage& img, int x, int y) {
    return (img.Row(y)[x >> 3] & (0x80 >> (x & 7))) != 0;
}

// Fills [left, right) x [top, bottom) black.
inline void FillRect(CRawImage& img, int left, int top, int right, int bottom) {
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) SetBlack(img, x, y);
}

struct TextStyle {
    int lineLength = 1000;  // pixels from the first to the last block of a row
    int lineSpacing = 110;  // pixels between the baselines of two rows
    int blockHeight = 16;
    int minBlockWidth = 6;
    int maxBlockWidth = 10;
    int letterGap = 4;  // gap between the blocks of a word
    int wordGap = 12;   // gap between words
    int marginLeft = 200;
    int marginTop = 200;
    int marginBottom = 200;
    // One block in `tallEvery` (0: none) rises `ascender` pixels above the
    // others, one in `lowEvery` reaches `descender` pixels below the baseline.
    int tallEvery = 0;
    int ascender = 7;
    int lowEvery = 0;
    int descender = 6;
};

// A 1-bit page of rows of "words" whose baselines rise to the right by
// `angle` radians (image rows grow downward, so a rising row has smaller y at
// its right end). Each block is upright; its bottom sits on the baseline.
inline CRawImage MakeTiltedTextPage(int width, int height, double angle, unsigned start,
                                    const TextStyle& st = {}) {
    CRawImage img;
    img.Create(width, height, 1, 300);
    std::mt19937 rng(start);
    const double slope = std::tan(angle);
    for (int base = st.marginTop + static_cast<int>(std::fabs(slope) * st.lineLength) + st.blockHeight;
         base < height - st.marginBottom; base += st.lineSpacing) {
        int x = st.marginLeft;
        int lettersLeft = 2 + static_cast<int>(rng() % 6);
        while (x < st.marginLeft + st.lineLength) {
            const int bw =
                st.minBlockWidth + static_cast<int>(rng() % (st.maxBlockWidth - st.minBlockWidth + 1));
            const int bottom = base - static_cast<int>(std::lround(slope * (x + bw / 2.0 - st.marginLeft)));
            int top = bottom - st.blockHeight, low = bottom;
            if (st.tallEvery && rng() % st.tallEvery == 0)
                top -= st.ascender;
            else if (st.lowEvery && rng() % st.lowEvery == 0)
                low += st.descender;
            FillRect(img, x, top, x + bw, low);
            x += bw;
            if (--lettersLeft == 0) {
                x += st.wordGap;
                lettersLeft = 2 + static_cast<int>(rng() % 6);
            } else {
                x += st.letterGap;
            }
        }
    }
    return img;
}

// The same rows drawn level, then turned by the rotation itself so that they
// rise by `angle`: the rotation turns clockwise for positive angles, so the
// page is turned by -angle.
inline CRawImage MakeRotatedTextPage(int width, int height, double angle, unsigned start,
                                     const TextStyle& st = {}) {
    CRawImage level = MakeTiltedTextPage(width, height, 0.0, start, st);
    CRawImage out;
    level.Rotate(&out, 0, -angle, 1, 1, 1);
    return out;
}

}  // namespace skewpage

// Synthetic text pages for the layout tests: lines of block "glyphs" drawn
// at known places, and properties whose pixel limits equal their values.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "image/Dib.h"
#include "layout/CharLocation.h"
#include "layout/LineLocation.h"
#include "layout/TextBox.h"

namespace layouttest {

using libMorvaneClassifier::TextBox;

inline void SetBlack(CRawImage& img, int x, int y) {
    if (x < 0 || y < 0 || x >= img.width || y >= img.height) return;
    img.Row(y)[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
}

inline void FillRect(CRawImage& img, int l, int t, int r, int b) {
    for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x) SetBlack(img, x, y);
}

inline CRawImage WhitePage(int w, int h) {
    CRawImage img;
    img.Create(w, h, 1, 300);
    return img;
}

// A line of `count` glyphs `glyphW` x `height` with `gap` columns between
// them, starting at (left, top). Each glyph is a frame with a middle bar, so
// that it is one component with plenty of ink per column. Returns the glyph
// boxes (right and bottom exclusive).
inline std::vector<TextBox> DrawLine(CRawImage& img, int left, int top, int count, int glyphW, int height,
                                     int gap) {
    std::vector<TextBox> boxes;
    for (int i = 0; i < count; ++i) {
        const int l = left + i * (glyphW + gap), r = l + glyphW, b = top + height;
        FillRect(img, l, top, r, top + 3);
        FillRect(img, l, b - 3, r, b);
        FillRect(img, l, top + height / 2 - 1, r, top + height / 2 + 2);
        FillRect(img, l, top, l + 3, b);
        FillRect(img, r - 3, top, r, b);
        boxes.push_back(TextBox{l, top, r, b});
    }
    return boxes;
}

struct PageLine {
    int top;
    int left;
    int count;
};

// A page of text lines (glyphs 14 x 24, gap 6); returns each line's box.
inline std::vector<TextBox> DrawPage(CRawImage& img, const std::vector<PageLine>& lines, int glyphW = 14,
                                     int height = 24, int gap = 6) {
    std::vector<TextBox> out;
    for (const PageLine& l : lines) {
        auto g = DrawLine(img, l.left, l.top, l.count, glyphW, height, gap);
        out.push_back(TextBox{g.front().left, g.front().top, g.back().right, g.back().bottom});
    }
    return out;
}

// Properties with a 10000 x 10000 reference: every *Px getter returns the
// value set.
inline libMorvaneClassifier::CLineProperty LineProp(int minNum, int maxNum, int minLen, int maxLen, int minH,
                                                    int maxH, int minSp, int maxSp) {
    libMorvaneClassifier::CLineProperty p;
    p.MinNum = minNum;
    p.MaxNum = maxNum;
    p.MinLength = minLen;
    p.MaxLength = maxLen;
    p.MinHeight = minH;
    p.MaxHeight = maxH;
    p.MinSpace = minSp;
    p.MaxSpace = maxSp;
    p.SetImageSize(10000, 10000);
    return p;
}

inline libMorvaneClassifier::CCharProperty CharProp(int minNum, int maxNum, int minW, int maxW, int minH,
                                                    int maxH, int minR = 0, int maxR = 1000) {
    libMorvaneClassifier::CCharProperty p;
    p.MinNum = minNum;
    p.MaxNum = maxNum;
    p.MinWidth = minW;
    p.MaxWidth = maxW;
    p.MinHeight = minH;
    p.MaxHeight = maxH;
    p.MinWHRatio = minR;
    p.MaxWHRatio = maxR;
    p.SetImageSize(10000, 10000);
    return p;
}

inline double IoU(const TextBox& a, const TextBox& b) {
    const double iw = std::max(0, std::min(a.right, b.right) - std::max(a.left, b.left));
    const double ih = std::max(0, std::min(a.bottom, b.bottom) - std::max(a.top, b.top));
    const double inter = iw * ih;
    const double ua =
        double(a.right - a.left) * (a.bottom - a.top) + double(b.right - b.left) * (b.bottom - b.top);
    return ua - inter > 0 ? inter / (ua - inter) : 0.0;
}

}  // namespace layouttest

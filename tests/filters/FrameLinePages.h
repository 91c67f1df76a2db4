// Synthetic form pages for the frame-line tests: ruled lines (solid or
// dashed), boxes, tables and blocks of small letter-like glyphs, drawn
// straight into a CRawImage, with the list of drawn lines as ground truth.
#pragma once
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "filters/FrameLineDetector.h"
#include "image/Dib.h"

namespace framelines_test {

struct TruthLine {
    bool horizontal;
    int32_t from, to;  // along, inclusive (x for horizontal, y for vertical)
    int32_t pos;       // first across pixel
    int32_t thickness;
    double Centre() const { return pos + (thickness - 1) / 2.0; }
};

inline void SetPixel(CRawImage& img, int32_t x, int32_t y, uint8_t gray = 0) {
    if (x < 0 || y < 0 || x >= img.width || y >= img.height) return;
    if (img.bitCount == 1) {
        img.Row(y)[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    } else if (img.bitCount == 8) {
        img.Row(y)[x] = gray;
    } else {
        img.Row(y)[3 * x] = img.Row(y)[3 * x + 1] = img.Row(y)[3 * x + 2] = gray;
    }
}

inline void FillRect(CRawImage& img, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t gray = 0) {
    for (int32_t y = y0; y <= y1; ++y)
        for (int32_t x = x0; x <= x1; ++x) SetPixel(img, x, y, gray);
}

// A white page (1-bit pages are white when created; gray ones are filled).
inline void MakePage(CRawImage& img, int32_t w, int32_t h, int32_t bits, int32_t dpi) {
    img.Create(w, h, bits, dpi);
    if (bits != 1) std::fill(img.Bits(), img.Bits() + static_cast<size_t>(img.bytesPerRow) * h, 255);
}

// Draws a line (solid when dash is 0, else dash pixels on, gap pixels off)
// and records it.
inline void DrawLine(CRawImage& img, std::vector<TruthLine>* truth, bool horizontal, int32_t from, int32_t to,
                     int32_t pos, int32_t thickness, int32_t dash = 0, int32_t gap = 0, uint8_t gray = 0) {
    for (int32_t a = from; a <= to; ++a) {
        if (dash > 0 && (a - from) % (dash + gap) >= dash && a < to - dash) continue;
        for (int32_t c = pos; c < pos + thickness; ++c) {
            if (horizontal)
                SetPixel(img, a, c, gray);
            else
                SetPixel(img, c, a, gray);
        }
    }
    if (truth) truth->push_back(TruthLine{horizontal, from, to, pos, thickness});
}

// One letter-like glyph in the box (x, y, w, h) with stroke s: a random
// pick of stems, bars and bowls, as printed letters have.
inline void DrawGlyph(CRawImage& img, std::mt19937& rng, int32_t x, int32_t y, int32_t w, int32_t h,
                      int32_t s) {
    const int kind = static_cast<int>(rng() % 8);
    switch (kind) {
        case 0:  // E
            FillRect(img, x, y, x + s - 1, y + h - 1);
            FillRect(img, x, y, x + w - 1, y + s - 1);
            FillRect(img, x, y + h / 2, x + w * 3 / 4, y + h / 2 + s - 1);
            FillRect(img, x, y + h - s, x + w - 1, y + h - 1);
            break;
        case 1:  // H
            FillRect(img, x, y, x + s - 1, y + h - 1);
            FillRect(img, x + w - s, y, x + w - 1, y + h - 1);
            FillRect(img, x, y + h / 2, x + w - 1, y + h / 2 + s - 1);
            break;
        case 2:  // O
            FillRect(img, x, y, x + s - 1, y + h - 1);
            FillRect(img, x + w - s, y, x + w - 1, y + h - 1);
            FillRect(img, x, y, x + w - 1, y + s - 1);
            FillRect(img, x, y + h - s, x + w - 1, y + h - 1);
            break;
        case 3:  // T
            FillRect(img, x, y, x + w - 1, y + s - 1);
            FillRect(img, x + w / 2 - s / 2, y, x + w / 2 - s / 2 + s - 1, y + h - 1);
            break;
        case 4:  // L
            FillRect(img, x, y, x + s - 1, y + h - 1);
            FillRect(img, x, y + h - s, x + w - 1, y + h - 1);
            break;
        case 5:  // n (x-height)
            FillRect(img, x, y + h / 3, x + s - 1, y + h - 1);
            FillRect(img, x + w - s, y + h / 3, x + w - 1, y + h - 1);
            FillRect(img, x, y + h / 3, x + w - 1, y + h / 3 + s - 1);
            break;
        case 6:  // x-like diagonal pair
            for (int32_t k = 0; k < h; ++k) {
                const int32_t dx = k * (w - s) / std::max(1, h - 1);
                FillRect(img, x + dx, y + k, x + dx + s - 1, y + k);
                FillRect(img, x + w - s - dx, y + k, x + w - 1 - dx, y + k);
            }
            break;
        default:  // o (x-height)
            FillRect(img, x, y + h / 3, x + s - 1, y + h - 1);
            FillRect(img, x + w - s, y + h / 3, x + w - 1, y + h - 1);
            FillRect(img, x, y + h / 3, x + w - 1, y + h / 3 + s - 1);
            FillRect(img, x, y + h - s, x + w - 1, y + h - 1);
            break;
    }
}

// A block of text lines starting at (x, y), glyph height h.
inline void DrawText(CRawImage& img, std::mt19937& rng, int32_t x, int32_t y, int32_t width, int32_t lines,
                     int32_t h) {
    const int32_t w = h * 2 / 3, s = std::max(2, h / 8), step = w + std::max(2, h / 6);
    for (int32_t l = 0; l < lines; ++l) {
        const int32_t ty = y + l * (h * 17 / 10);
        int32_t tx = x;
        while (tx + w < x + width) {
            const int word = 2 + static_cast<int>(rng() % 7);
            for (int k = 0; k < word && tx + w < x + width; ++k) {
                DrawGlyph(img, rng, tx, ty, w, h, s);
                tx += step;
            }
            tx += w;  // word space
        }
    }
}

// A form page at `dpi` (A4): a text heading, a box with text, a table with
// text in its cells, dashed and solid underlines under labels, and lone
// rules, with thicknesses 1 to 6 pixels. Every drawn line is longer than a
// tenth of the page in its direction and is recorded in truth.
inline void MakeForm(CRawImage& img, int32_t dpi, uint32_t variant, std::vector<TruthLine>& truth,
                     int32_t bits = 1) {
    std::mt19937 rng(variant * 7919u + static_cast<uint32_t>(dpi));
    const int32_t w = dpi * 827 / 100, h = dpi * 1169 / 100;
    MakePage(img, w, h, bits, dpi);
    const int32_t m = dpi / 2;          // margin
    const int32_t th = dpi * 12 / 100;  // glyph height (about 9 points)
    auto thick = [&](int k) { return 1 + static_cast<int32_t>((variant + static_cast<uint32_t>(k)) % 6); };
    // heading
    DrawText(img, rng, m, m, w - 2 * m, 2, th * 3 / 2);
    int32_t y = m + th * 5;
    // box with text
    {
        const int32_t t = thick(0), bh = dpi * 15 / 10;
        DrawLine(img, &truth, true, m, w - m, y, t);
        DrawLine(img, &truth, true, m, w - m, y + bh - t, t);
        DrawLine(img, &truth, false, y, y + bh - 1, m, t);
        DrawLine(img, &truth, false, y, y + bh - 1, w - m - t + 1, t);
        DrawText(img, rng, m + t + dpi / 10, y + t + dpi / 10, w - 2 * m - 2 * t - dpi / 5, 4, th);
        y += bh + dpi / 3;
    }
    // table: rows and columns
    {
        const int32_t t = thick(1), rows = 6, rh = dpi * 45 / 100;
        const int32_t cols[] = {m, m + (w - 2 * m) / 4, m + (w - 2 * m) * 3 / 5, w - m - t + 1};
        const int32_t tableH = rows * rh + t;
        for (int32_t r = 0; r <= rows; ++r) DrawLine(img, &truth, true, m, w - m, y + r * rh, t);
        for (int32_t c : cols) DrawLine(img, &truth, false, y, y + tableH - 1, c, t);
        for (int32_t r = 0; r < rows; ++r)
            for (int32_t c = 0; c < 3; ++c)
                DrawText(img, rng, cols[c] + t + dpi / 20, y + r * rh + t + dpi / 10,
                         cols[c + 1] - cols[c] - t - dpi / 10, 1, th);
        y += tableH + dpi / 3;
    }
    // labels with underlines, solid and dashed
    for (int k = 0; k < 4; ++k) {
        const int32_t t = thick(2 + k);
        const int32_t labelW = dpi * 14 / 10;
        DrawText(img, rng, m, y, labelW, 1, th);
        const bool dashed = k % 2 == 1;
        DrawLine(img, &truth, true, m + labelW + dpi / 10, w - m, y + th + 2, t, dashed ? dpi / 12 : 0,
                 dashed ? dpi / 50 + 2 : 0);
        y += th * 3;
    }
    // lone rules and a paragraph
    for (int k = 0; k < 2; ++k) {
        DrawLine(img, &truth, true, m + k * dpi, w - m - k * dpi / 2, y, thick(6 + k));
        y += dpi / 6;
        DrawText(img, rng, m, y, w - 2 * m, 3, th);
        y += th * 6;
    }
    // a vertical rule beside a text column
    if (y + dpi * 15 / 10 < h - m) {
        DrawLine(img, &truth, false, y, y + dpi * 15 / 10, w / 2, thick(8));
        DrawText(img, rng, m, y, w / 2 - m - dpi / 10, 5, th);
        DrawText(img, rng, w / 2 + dpi / 10, y, w / 2 - m - dpi / 10, 5, th);
    }
}

// Two kinds of form of the same size for telling forms apart: a table form
// (one large grid) and a boxed form (separate boxes with labels). `shift`
// moves the whole drawing, as a scanner's feed does.
inline void MakeTableForm(CRawImage& img, int32_t dpi, uint32_t variant, int32_t shift) {
    std::mt19937 rng(variant * 104729u + 17u);
    const int32_t w = dpi * 827 / 100, h = dpi * 1169 / 100, m = dpi / 2 + shift, th = dpi * 12 / 100;
    MakePage(img, w, h, 1, dpi);
    DrawText(img, rng, m, m, w - 2 * m, 2, th * 3 / 2);
    const int32_t top = m + th * 5, rows = 12, rh = dpi * 45 / 100, right = w - dpi / 2 + shift;
    const int32_t cols[] = {m, m + dpi * 2, m + dpi * 4, right};
    for (int32_t r = 0; r <= rows; ++r) DrawLine(img, nullptr, true, m, right + 1, top + r * rh, 2);
    for (int32_t c : cols) DrawLine(img, nullptr, false, top, top + rows * rh + 1, c, 2);
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < 3; ++c)
            DrawText(img, rng, cols[c] + dpi / 20, top + r * rh + dpi / 10, cols[c + 1] - cols[c] - dpi / 10,
                     1, th);
}

inline void MakeBoxedForm(CRawImage& img, int32_t dpi, uint32_t variant, int32_t shift) {
    std::mt19937 rng(variant * 7877u + 5u);
    const int32_t w = dpi * 827 / 100, h = dpi * 1169 / 100, m = dpi / 2 + shift, th = dpi * 12 / 100;
    MakePage(img, w, h, 1, dpi);
    DrawText(img, rng, m, m, w - 2 * m, 2, th * 3 / 2);
    int32_t y = m + th * 5;
    const int32_t heights[] = {dpi * 12 / 10, dpi * 8 / 10, dpi * 2, dpi * 10 / 10};
    for (int32_t bh : heights) {
        const int32_t right = w - dpi / 2 + shift;
        DrawLine(img, nullptr, true, m, right, y, 3);
        DrawLine(img, nullptr, true, m, right, y + bh - 3, 3);
        DrawLine(img, nullptr, false, y, y + bh - 1, m, 3);
        DrawLine(img, nullptr, false, y, y + bh - 1, right - 2, 3);
        DrawText(img, rng, m + dpi / 8, y + dpi / 8, right - m - dpi / 4, 2, th);
        y += bh + dpi / 4;
    }
}

struct Score {
    int32_t truth = 0, found = 0, detected = 0, duplicates = 0, spurious = 0;
};

inline bool Matches(const TruthLine& t, const libMorvaneClassifier::DetectedLine& d, int32_t tol) {
    const int32_t a1 = t.horizontal ? d.x1 : d.y1, a2 = t.horizontal ? d.x2 : d.y2;
    const int32_t c1 = t.horizontal ? d.y1 : d.x1, c2 = t.horizontal ? d.y2 : d.x2;
    return std::abs(a1 - t.from) <= tol && std::abs(a2 - t.to) <= tol && std::abs(c1 - t.Centre()) <= tol &&
           std::abs(c2 - t.Centre()) <= tol;
}

// Counts truth lines found exactly once with both ends within tol pixels,
// and detections that match no truth line.
inline Score Evaluate(const std::vector<TruthLine>& truth,
                      const std::vector<libMorvaneClassifier::DetectedLine>& h,
                      const std::vector<libMorvaneClassifier::DetectedLine>& v, int32_t tol) {
    Score s;
    s.detected = static_cast<int32_t>(h.size() + v.size());
    std::vector<int> usedH(h.size(), 0), usedV(v.size(), 0);
    for (const TruthLine& t : truth) {
        ++s.truth;
        const auto& list = t.horizontal ? h : v;
        auto& used = t.horizontal ? usedH : usedV;
        int hits = 0;
        for (size_t i = 0; i < list.size(); ++i)
            if (Matches(t, list[i], tol)) {
                ++hits;
                used[i] = 1;
            }
        if (hits >= 1) ++s.found;
        if (hits > 1) s.duplicates += hits - 1;
    }
    for (int u : usedH) s.spurious += u ? 0 : 1;
    for (int u : usedV) s.spurious += u ? 0 : 1;
    return s;
}

}  // namespace framelines_test

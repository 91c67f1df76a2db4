#include "GlyphClassifier.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace morvane_plugins {

namespace {

// Ink fractions of the box (bx, by, bw, bh) of a binary map resampled to the
// grid area (gx0, gy0, gw, gh) of a kGrid x kGrid grid (4 x 4 samples per
// cell).
void Resample(const std::vector<uint8_t>& ink, int width, int bx, int by, int bw, int bh, float gx0,
              float gy0, float gw, float gh, float* grid) {
    for (int i = 0; i < kGrid * kGrid; ++i) grid[i] = 0.0f;
    for (int gy = 0; gy < kGrid; ++gy) {
        for (int gx = 0; gx < kGrid; ++gx) {
            int hits = 0, samples = 0;
            for (int sy = 0; sy < 4; ++sy) {
                for (int sx = 0; sx < 4; ++sx) {
                    const float px = gx + (sx + 0.5f) / 4.0f;
                    const float py = gy + (sy + 0.5f) / 4.0f;
                    const float u = (px - gx0) / gw;
                    const float v = (py - gy0) / gh;
                    ++samples;
                    if (u < 0.0f || u >= 1.0f || v < 0.0f || v >= 1.0f) continue;
                    const int x = bx + std::min(bw - 1, static_cast<int>(u * bw));
                    const int y = by + std::min(bh - 1, static_cast<int>(v * bh));
                    hits += ink[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
                }
            }
            grid[gy * kGrid + gx] = static_cast<float>(hits) / static_cast<float>(samples);
        }
    }
}

constexpr float kCellWeight = 40.0f;
// Size of the corner triangles (fraction of the box along each side).
constexpr float kCornerSpan = 0.3f;

// Ink fractions of the corner triangles of the box (bx, by, bw, bh), 4 x 4
// samples per pixel so that small boxes still weigh their corners evenly.
void CornerFills(const std::vector<uint8_t>& ink, int width, int bx, int by, int bw, int bh, float* corners) {
    int hits[kCorners] = {0, 0, 0, 0}, samples[kCorners] = {0, 0, 0, 0};
    for (int y = 0; y < bh; ++y) {
        for (int x = 0; x < bw; ++x) {
            const int dark =
                ink[static_cast<size_t>(by + y) * static_cast<size_t>(width) + static_cast<size_t>(bx + x)];
            for (int sy = 0; sy < 4; ++sy) {
                for (int sx = 0; sx < 4; ++sx) {
                    const float u = (x + (sx + 0.5f) / 4.0f) / static_cast<float>(bw);
                    const float v = (y + (sy + 0.5f) / 4.0f) / static_cast<float>(bh);
                    const float du[2] = {u, 1.0f - u}, dv[2] = {v, 1.0f - v};
                    for (int c = 0; c < kCorners; ++c) {
                        if (du[c & 1] + dv[c >> 1] >= kCornerSpan) continue;
                        ++samples[c];
                        hits[c] += dark;
                    }
                }
            }
        }
    }
    for (int c = 0; c < kCorners; ++c)
        corners[c] = samples[c] ? static_cast<float>(hits[c]) / static_cast<float>(samples[c]) : 0.0f;
}

}  // namespace

bool ExtractFeatures(const uint8_t* pixels, int width, int height, int stride, GlyphFeatures& out) {
    std::memset(&out, 0, sizeof out);
    if (!pixels || width <= 0 || height <= 0 || stride < width) return false;
    int lo = 255, hi = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
        for (int x = 0; x < width; ++x) {
            lo = std::min(lo, static_cast<int>(row[x]));
            hi = std::max(hi, static_cast<int>(row[x]));
        }
    }
    // A uniformly dark image is a black blob, a uniformly light one is blank.
    int threshold;
    if (hi - lo >= 48)
        threshold = (lo + hi + 1) / 2;
    else if (hi < 128)
        threshold = 256;
    else
        return false;
    std::vector<uint8_t> ink(static_cast<size_t>(width) * static_cast<size_t>(height));
    int x0 = width, y0 = height, x1 = -1, y1 = -1;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
        for (int x = 0; x < width; ++x) {
            const bool dark = row[x] < threshold;
            ink[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = dark;
            if (dark) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
        }
    }
    if (x1 < 0) return false;
    const int bw = x1 - x0 + 1, bh = y1 - y0 + 1;
    Resample(ink, width, x0, y0, bw, bh, 0.0f, 0.0f, kGrid, kGrid, out.shape);
    // Proportions kept: the longer side fills the grid, centred.
    const float scale = static_cast<float>(kGrid) / static_cast<float>(std::max(bw, bh));
    const float gw = bw * scale, gh = bh * scale;
    Resample(ink, width, x0, y0, bw, bh, (kGrid - gw) / 2.0f, (kGrid - gh) / 2.0f, gw, gh,
             out.shape + kGrid * kGrid);
    out.aspect = std::log2(static_cast<float>(bw) / static_cast<float>(bh));
    CornerFills(ink, width, x0, y0, bw, bh, out.corners);
    // A cell: the image is clearly taller than its ink.
    out.hasCell = bh * 10 < height * 9;
    out.cellTop = static_cast<float>(y0) / static_cast<float>(height);
    out.cellBottom = static_cast<float>(y1 + 1) / static_cast<float>(height);
    return true;
}

float GlyphDistance(const GlyphFeatures& a, const GlyphFeatures& b, float aspectWeight, float cornerWeight) {
    float d = 0.0f;
    for (int i = 0; i < kShapeFeatures; ++i) {
        const float t = a.shape[i] - b.shape[i];
        d += t * t;
    }
    const float da = a.aspect - b.aspect;
    d += aspectWeight * da * da;
    if (a.hasCell && b.hasCell) {
        const float dt = a.cellTop - b.cellTop, db = a.cellBottom - b.cellBottom;
        d += kCellWeight * (dt * dt + db * db);
    }
    if (cornerWeight > 0.0f) {
        float dc = 0.0f;
        for (int c = 0; c < kCorners; ++c) {
            const float t = a.corners[c] - b.corners[c];
            dc += t * t;
        }
        d += cornerWeight * dc;
    }
    return d;
}

std::string CGlyphClassifier::FormatPrototype(uint16_t code, const std::string& font,
                                              const GlyphFeatures& f) {
    std::ostringstream s;
    s << code << ' ' << font << ' ' << f.aspect << ' ' << f.cellTop << ' ' << f.cellBottom << ' '
      << (f.hasCell ? 1 : 0);
    for (int i = 0; i < kShapeFeatures; ++i) s << ' ' << std::round(f.shape[i] * 1000.0f) / 1000.0f;
    for (int c = 0; c < kCorners; ++c) s << ' ' << std::round(f.corners[c] * 1000.0f) / 1000.0f;
    s << '\n';
    return s.str();
}

bool CGlyphClassifier::Load(const std::string& path, const std::string& fonts) {
    prototypes_.clear();
    std::ifstream in(path);
    if (!in) return false;
    std::vector<std::string> wanted;
    {
        std::istringstream f(fonts);
        std::string tag;
        while (f >> tag) wanted.push_back(tag);
    }
    const bool all = wanted.empty() || std::find(wanted.begin(), wanted.end(), "all") != wanted.end();
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream s(line);
        GlyphPrototype p{};
        unsigned code = 0;
        int hasCell = 0;
        if (!(s >> code >> p.font >> p.features.aspect >> p.features.cellTop >> p.features.cellBottom >>
              hasCell))
            continue;
        if (code == 0 || code > 0xFFFE) continue;
        p.code = static_cast<uint16_t>(code);
        p.features.hasCell = hasCell != 0;
        bool ok = true;
        for (int i = 0; i < kShapeFeatures && ok; ++i) ok = static_cast<bool>(s >> p.features.shape[i]);
        if (!ok) continue;
        // Older files end after the shape: their corners stay 0.
        for (int c = 0; c < kCorners; ++c) {
            float v = 0.0f;
            if (!(s >> v)) break;
            p.features.corners[c] = std::clamp(v, 0.0f, 1.0f);
        }
        if (!all && std::find(wanted.begin(), wanted.end(), p.font) == wanted.end()) continue;
        prototypes_.push_back(p);
    }
    return !prototypes_.empty();
}

std::vector<uint16_t> CGlyphClassifier::Classes() const {
    std::vector<uint16_t> codes;
    for (const GlyphPrototype& p : prototypes_)
        if (std::find(codes.begin(), codes.end(), p.code) == codes.end()) codes.push_back(p.code);
    return codes;
}

std::vector<ScoredClass> CGlyphClassifier::Classify(const GlyphFeatures& features,
                                                    const std::vector<uint16_t>& allowed) const {
    std::vector<ScoredClass> best;
    for (const GlyphPrototype& p : prototypes_) {
        if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), p.code) == allowed.end()) continue;
        // Distances are scaled by 100 into whole numbers.
        const float d = GlyphDistance(features, p.features, aspectWeight_, cornerWeight_) * 100.0f;
        const uint32_t scaled = d >= 4.0e9f ? 4000000000u : static_cast<uint32_t>(d + 0.5f);
        auto it =
            std::find_if(best.begin(), best.end(), [&](const ScoredClass& c) { return c.code == p.code; });
        if (it == best.end())
            best.push_back({p.code, scaled});
        else
            it->distance = std::min(it->distance, scaled);
    }
    std::stable_sort(best.begin(), best.end(),
                     [](const ScoredClass& a, const ScoredClass& b) { return a.distance < b.distance; });
    return best;
}

}  // namespace morvane_plugins

#include "GlyphVariants.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace morvane_plugins {

namespace {

constexpr int kMaxSide = 4096;

uint8_t Level(double v) { return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0) + 0.5); }

// Next uniform number in (0, 1) of a xorshift generator.
double Uniform(uint64_t& s) {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return (static_cast<double>(s >> 11) + 0.5) / 9007199254740992.0;
}

double Gaussian(uint64_t& s) {
    const double u = Uniform(s), v = Uniform(s);
    return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
}

}  // namespace

GrayGlyph ResampleGlyph(const GrayGlyph& in, int inkTop, int inkBottom, double targetInk, double phaseX,
                        double phaseY) {
    GrayGlyph out;
    if (in.width <= 0 || in.height <= 0 || in.pixels.size() != static_cast<size_t>(in.width) * in.height)
        return out;
    if (inkTop < 0 || inkBottom <= inkTop || inkBottom > in.height || !(targetInk > 0.0)) return out;
    const double scale = targetInk / (inkBottom - inkTop);
    // One white output pixel on every side keeps blurred ink inside.
    const double ow = std::ceil(in.width * scale) + 2.0, oh = std::ceil(in.height * scale) + 2.0;
    if (!(ow >= 1.0 && oh >= 1.0 && ow <= kMaxSide && oh <= kMaxSide)) return out;
    out.width = static_cast<int>(ow);
    out.height = static_cast<int>(oh);
    out.pixels.assign(static_cast<size_t>(out.width) * static_cast<size_t>(out.height), 255);
    auto at = [&](int x, int y) -> double {
        if (x < 0 || y < 0 || x >= in.width || y >= in.height) return 255.0;
        return in.pixels[static_cast<size_t>(y) * static_cast<size_t>(in.width) + static_cast<size_t>(x)];
    };
    for (int oy = 0; oy < out.height; ++oy) {
        for (int ox = 0; ox < out.width; ++ox) {
            double v;
            if (scale < 1.0) {
                // Mean of the source pixels whose centres fall in the output pixel.
                const double sx0 = (ox - 1 - phaseX) / scale, sx1 = (ox - phaseX) / scale;
                const double sy0 = (oy - 1 - phaseY) / scale, sy1 = (oy - phaseY) / scale;
                const int x0 = static_cast<int>(std::ceil(sx0 - 0.5)),
                          x1 = static_cast<int>(std::ceil(sx1 - 0.5));
                const int y0 = static_cast<int>(std::ceil(sy0 - 0.5)),
                          y1 = static_cast<int>(std::ceil(sy1 - 0.5));
                double sum = 0.0;
                int n = 0;
                for (int y = y0; y < y1; ++y)
                    for (int x = x0; x < x1; ++x) {
                        sum += at(x, y);
                        ++n;
                    }
                v = n ? sum / n
                      : at(static_cast<int>(std::floor((sx0 + sx1) / 2)),
                           static_cast<int>(std::floor((sy0 + sy1) / 2)));
            } else {
                const double sx = (ox - 1 + 0.5 - phaseX) / scale - 0.5,
                             sy = (oy - 1 + 0.5 - phaseY) / scale - 0.5;
                const int x = static_cast<int>(std::floor(sx)), y = static_cast<int>(std::floor(sy));
                const double fx = sx - x, fy = sy - y;
                v = (1 - fy) * ((1 - fx) * at(x, y) + fx * at(x + 1, y)) +
                    fy * ((1 - fx) * at(x, y + 1) + fx * at(x + 1, y + 1));
            }
            out.pixels[static_cast<size_t>(oy) * static_cast<size_t>(out.width) + static_cast<size_t>(ox)] =
                Level(v);
        }
    }
    return out;
}

void BlurGlyph(GrayGlyph& g, double sigma) {
    if (!(sigma > 0.0) || g.width <= 0 || g.height <= 0) return;
    const int radius = std::max(1, static_cast<int>(std::ceil(3.0 * sigma)));
    std::vector<double> kernel(static_cast<size_t>(2 * radius + 1));
    double total = 0.0;
    for (int i = -radius; i <= radius; ++i)
        total += kernel[static_cast<size_t>(i + radius)] = std::exp(-0.5 * i * i / (sigma * sigma));
    for (double& k : kernel) k /= total;
    std::vector<double> tmp(g.pixels.size());
    auto px = [&](int x, int y) -> double {
        x = std::clamp(x, 0, g.width - 1);
        y = std::clamp(y, 0, g.height - 1);
        return g.pixels[static_cast<size_t>(y) * static_cast<size_t>(g.width) + static_cast<size_t>(x)];
    };
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) {
            double s = 0.0;
            for (int i = -radius; i <= radius; ++i)
                s += kernel[static_cast<size_t>(i + radius)] * px(x + i, y);
            tmp[static_cast<size_t>(y) * static_cast<size_t>(g.width) + static_cast<size_t>(x)] = s;
        }
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) {
            double s = 0.0;
            for (int i = -radius; i <= radius; ++i) {
                const int yy = std::clamp(y + i, 0, g.height - 1);
                s += kernel[static_cast<size_t>(i + radius)] *
                     tmp[static_cast<size_t>(yy) * static_cast<size_t>(g.width) + static_cast<size_t>(x)];
            }
            g.pixels[static_cast<size_t>(y) * static_cast<size_t>(g.width) + static_cast<size_t>(x)] =
                Level(s);
        }
}

void ContrastAndGrain(GrayGlyph& g, int low, int high, double grain, uint64_t& state) {
    if (state == 0) state = 0x9E3779B97F4A7C15ull;
    for (uint8_t& p : g.pixels) {
        double v = low + (high - low) * (p / 255.0);
        if (grain > 0.0) v += grain * Gaussian(state);
        p = Level(v);
    }
}

void CutAt(GrayGlyph& g, double level) {
    if (g.pixels.empty()) return;
    const auto [lo, hi] = std::minmax_element(g.pixels.begin(), g.pixels.end());
    const double cut = *lo + level * (*hi - *lo);
    for (uint8_t& p : g.pixels) p = p < cut ? 0 : 255;
}

std::vector<GlyphFeatures> VariantFeatures(const GrayGlyph& rendering, const VariantPlan& plan,
                                           uint64_t start) {
    std::vector<GlyphFeatures> out;
    if (rendering.width <= 0 || rendering.height <= 0) return out;
    int top = -1, bottom = -1;
    for (int y = 0; y < rendering.height; ++y)
        for (int x = 0; x < rendering.width; ++x)
            if (rendering.pixels[static_cast<size_t>(y) * static_cast<size_t>(rendering.width) +
                                 static_cast<size_t>(x)] < 128) {
                if (top < 0) top = y;
                bottom = y + 1;
                break;
            }
    if (top < 0) return out;
    uint64_t state = start ? start : 1;
    const int phases = std::max(1, plan.phases);
    for (double h : plan.heights)
        for (int p = 0; p < phases; ++p)
            for (double blur : plan.blurs)
                for (int mode = 0; mode < 3; ++mode) {  // gray, grainy low-contrast gray, bilevel
                    const double phase = static_cast<double>(p) / phases;
                    GrayGlyph small =
                        ResampleGlyph(rendering, top, bottom, h, phase, 1.0 - phase - 0.5 * (p > 0));
                    if (small.pixels.empty()) continue;
                    BlurGlyph(small, blur);
                    if (mode == 1) ContrastAndGrain(small, 70, 190, plan.grain, state);
                    if (mode == 2) CutAt(small, 0.5);
                    const GrayGlyph read =
                        ResampleGlyph(small, 0, small.height, small.height * plan.readHeight / h, 0.0, 0.0);
                    if (read.pixels.empty()) continue;
                    for (double level : plan.levels) {
                        GrayGlyph cut = read;
                        CutAt(cut, level);
                        GlyphFeatures f;
                        if (!ExtractFeatures(cut.pixels.data(), cut.width, cut.height, cut.width, f))
                            continue;
                        // The variant's image is no character cell of a line.
                        f.hasCell = false;
                        f.cellTop = f.cellBottom = 0.0f;
                        out.push_back(f);
                    }
                }
    return out;
}

std::vector<GlyphFeatures> Representatives(const std::vector<GlyphFeatures>& sets, size_t k) {
    if (sets.size() <= k) return sets;
    if (k == 0) return {};
    // Far-apart start: the member farthest from the mean, then repeatedly
    // the member farthest from every chosen one.
    GlyphFeatures mean{};
    for (const GlyphFeatures& f : sets) {
        for (int i = 0; i < kShapeFeatures; ++i) mean.shape[i] += f.shape[i] / sets.size();
        mean.aspect += f.aspect / sets.size();
        for (int c = 0; c < kCorners; ++c) mean.corners[c] += f.corners[c] / sets.size();
    }
    std::vector<GlyphFeatures> centres;
    std::vector<float> nearest(sets.size());
    size_t far = 0;
    for (size_t i = 0; i < sets.size(); ++i) {
        nearest[i] = GlyphDistance(sets[i], mean);
        if (nearest[i] > nearest[far]) far = i;
    }
    while (centres.size() < k) {
        centres.push_back(sets[far]);
        far = 0;
        for (size_t i = 0; i < sets.size(); ++i) {
            nearest[i] = centres.size() == 1 ? GlyphDistance(sets[i], centres[0])
                                             : std::min(nearest[i], GlyphDistance(sets[i], centres.back()));
            if (nearest[i] > nearest[far]) far = i;
        }
    }
    std::vector<size_t> member(sets.size(), 0);
    for (int round = 0; round < 12; ++round) {
        for (size_t i = 0; i < sets.size(); ++i) {
            float best = std::numeric_limits<float>::max();
            for (size_t c = 0; c < centres.size(); ++c) {
                const float d = GlyphDistance(sets[i], centres[c]);
                if (d < best) {
                    best = d;
                    member[i] = c;
                }
            }
        }
        for (size_t c = 0; c < centres.size(); ++c) {
            GlyphFeatures sum{};
            size_t n = 0;
            for (size_t i = 0; i < sets.size(); ++i) {
                if (member[i] != c) continue;
                for (int j = 0; j < kShapeFeatures; ++j) sum.shape[j] += sets[i].shape[j];
                sum.aspect += sets[i].aspect;
                for (int j = 0; j < kCorners; ++j) sum.corners[j] += sets[i].corners[j];
                ++n;
            }
            if (n == 0) continue;
            for (int j = 0; j < kShapeFeatures; ++j) sum.shape[j] /= n;
            sum.aspect /= n;
            for (int j = 0; j < kCorners; ++j) sum.corners[j] /= n;
            centres[c] = sum;
        }
    }
    return centres;
}

}  // namespace morvane_plugins

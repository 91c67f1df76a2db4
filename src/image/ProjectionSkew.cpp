#include "image/ProjectionSkew.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

namespace {

// One byte of the page that holds ink: its row, its byte column and the
// number of black pixels in it.
struct InkByte {
    int32_t row;
    int32_t column;
    int32_t count;
};

int BitCount(uint8_t v) { return __builtin_popcount(v); }

// Row profiles of the ink sheared by candidate angles. An entry's column
// stands for `colWidth` page pixels (page pixels: rows of the page, columns
// widened by the squeeze), centred at colWidth * j + colCentre; its row for
// `rowScale` page rows.
//
// The ink is kept column by column, since a shear moves a whole column by
// one offset. The profile keeps one length (the reach of the steepest angle
// asked so far, or of Prepare's) so that from one angle to the next only the
// columns whose offset changed are moved, which between the close angles of
// a fine search is about half of them. Zeros added at both ends of the
// profile add nothing to the score, so the scores are the same as with a
// profile fitted to each angle.
class Shearer {
public:
    Shearer(const std::vector<InkByte>& ink, int32_t height, int32_t columns, double colWidth,
            double colCentre, double rowScale)
        : height_(height),
          columns_(columns),
          colWidth_(colWidth),
          colCentre_(colCentre),
          rowScale_(rowScale) {
        start_.assign(static_cast<size_t>(columns) + 1, 0);
        for (const InkByte& b : ink) ++start_[static_cast<size_t>(b.column) + 1];
        for (size_t j = 1; j < start_.size(); ++j) start_[j] += start_[j - 1];
        entries_.resize(ink.size());
        std::vector<size_t> fill(start_.begin(), start_.end() - 1);
        for (const InkByte& b : ink) entries_[fill[static_cast<size_t>(b.column)]++] = {b.row, b.count};
    }

    // Lays the profile out for angles up to maxAngle either way.
    void Prepare(double maxAngle) { Relay(Reach(std::tan(std::fabs(maxAngle)) / rowScale_)); }

    // Sharpness of the row profile after shearing by `angle`: the sum of the
    // squared differences of neighbouring rows. Lines that lie along the
    // shear make tall narrow peaks with steep flanks.
    double Score(double angle) {
        const double t = std::tan(angle) / rowScale_;
        const int32_t reach = Reach(t);
        if (reach > reach_) Relay(reach);
        next_.resize(static_cast<size_t>(columns_));
        size_t moved = 0;
        for (int32_t j = 0; j < columns_; ++j) {
            const size_t c = static_cast<size_t>(j);
            next_[c] = static_cast<int32_t>(std::lround(t * (colWidth_ * j + colCentre_))) + reach_;
            if (laidOut_ && next_[c] != offsets_[c]) moved += start_[c + 1] - start_[c];
        }
        if (!laidOut_ || moved * 2 > entries_.size()) {
            std::fill(profile_.begin(), profile_.end(), 0);
            for (int32_t j = 0; j < columns_; ++j) Add(j, next_[static_cast<size_t>(j)], 1);
        } else {
            for (int32_t j = 0; j < columns_; ++j) {
                const size_t c = static_cast<size_t>(j);
                if (next_[c] == offsets_[c]) continue;
                Add(j, offsets_[c], -1);
                Add(j, next_[c], 1);
            }
        }
        offsets_.swap(next_);
        laidOut_ = true;
        double s = 0;
        for (size_t i = 1; i < profile_.size(); ++i) {
            const double d = static_cast<double>(profile_[i]) - profile_[i - 1];
            s += d * d;
        }
        return s;
    }

private:
    struct Entry {
        int32_t row;
        int32_t count;
    };

    int32_t Reach(double t) const {
        return static_cast<int32_t>(std::ceil(std::fabs(t) * (colWidth_ * columns_))) + 2;
    }
    void Relay(int32_t reach) {
        if (reach <= reach_ && !profile_.empty()) return;
        reach_ = std::max(reach, reach_);
        profile_.assign(static_cast<size_t>(height_) + 2 * static_cast<size_t>(reach_) + 2, 0);
        laidOut_ = false;
    }
    // Adds (sign 1) or removes (sign -1) column j's ink at an offset.
    void Add(int32_t j, int32_t offset, int64_t sign) {
        int64_t* p = profile_.data() + offset;
        const size_t end = start_[static_cast<size_t>(j) + 1];
        for (size_t k = start_[static_cast<size_t>(j)]; k < end; ++k)
            p[entries_[k].row] += sign * entries_[k].count;
    }

    int32_t height_;
    int32_t columns_;
    double colWidth_, colCentre_, rowScale_;
    std::vector<size_t> start_;   // entries of column j: [start_[j], start_[j + 1])
    std::vector<Entry> entries_;  // by column, rows ascending
    int32_t reach_ = 0;
    bool laidOut_ = false;
    std::vector<int32_t> offsets_, next_;
    std::vector<int64_t> profile_;
};

// The ink with two rows and two byte columns to an entry, for the coarse
// search: a quarter of the entries, and lines still pile up into rows.
std::vector<InkByte> CoarseInk(const std::vector<InkByte>& ink, int32_t columns) {
    const int32_t half = (columns + 1) / 2;
    std::vector<int32_t> sums(static_cast<size_t>(half), 0);
    std::vector<InkByte> out;
    out.reserve(ink.size() / 2);
    size_t i = 0;
    while (i < ink.size()) {
        const int32_t pair = ink[i].row / 2;
        size_t k = i;
        for (; k < ink.size() && ink[k].row / 2 == pair; ++k)
            sums[static_cast<size_t>(ink[k].column / 2)] += ink[k].count;
        for (size_t m = i; m < k; ++m) {
            int32_t& v = sums[static_cast<size_t>(ink[m].column / 2)];
            if (v) out.push_back({pair, ink[m].column / 2, v});
            v = 0;
        }
        i = k;
    }
    return out;
}

// Vertex of the parabola through three equally spaced scores, as an offset
// in steps from the middle one (limited to half a step either way).
double ParabolaOffset(double left, double mid, double right) {
    const double denom = left - 2 * mid + right;
    if (denom >= 0) return 0;
    return std::clamp(0.5 * (left - right) / denom, -0.5, 0.5);
}

}  // namespace

ProjectionSkewResult EstimateProjectionSkew(const CRawImage& binary, double maxDegrees, double xScale) {
    ProjectionSkewResult result;
    if (!binary.HasPixels() || binary.bitCount != 1 || binary.width < 8 || binary.height < 8) return result;
    if (!(maxDegrees >= 0.5)) maxDegrees = 0.5;  // also catches NaN
    if (maxDegrees > 30) maxDegrees = 30;
    if (!(xScale >= 0.25 && xScale <= 16)) xScale = 1.0;  // also catches NaN
    const double kDeg = 3.14159265358979323846 / 180.0;
    try {
        const int32_t columns = (binary.width + 7) / 8;
        const int32_t lastBits = binary.width - 8 * (columns - 1);
        const uint8_t lastMask = static_cast<uint8_t>(0xFF00u >> lastBits);
        std::vector<InkByte> ink;
        for (int32_t y = 0; y < binary.height; ++y) {
            const uint8_t* row = binary.Row(y);
            for (int32_t j = 0; j < columns; ++j) {
                uint8_t v = row[j];
                if (j == columns - 1) v = static_cast<uint8_t>(v & lastMask);
                if (v) ink.push_back({y, j, BitCount(v)});
            }
        }
        // Pages that are almost all black (a failed binarisation) or hold
        // almost no ink give no measurement.
        const size_t total = static_cast<size_t>(columns) * static_cast<size_t>(binary.height);
        if (ink.size() < 40 || ink.size() > total * 9 / 10) return result;

        Shearer shear(ink, binary.height, columns, 8 * xScale, 3.5 * xScale, 1);
        const std::vector<InkByte> coarseInk = CoarseInk(ink, columns);
        Shearer coarseShear(coarseInk, (binary.height + 1) / 2, (columns + 1) / 2, 16 * xScale, 7.5 * xScale,
                            2);
        // Coarse: steps of a quarter degree, on the coarse ink.
        const double coarse = 0.25;
        const int32_t n = static_cast<int32_t>(std::ceil(maxDegrees / coarse));
        coarseShear.Prepare(n * coarse * kDeg);
        std::vector<double> scores;
        scores.reserve(static_cast<size_t>(2 * n + 1));
        double sum = 0;
        int32_t best = 0;
        for (int32_t i = -n; i <= n; ++i) {
            const double s = coarseShear.Score(i * coarse * kDeg);
            scores.push_back(s);
            sum += s;
            if (s > scores[static_cast<size_t>(best)]) best = i + n;
        }
        const double mean = sum / static_cast<double>(scores.size());
        if (!(mean > 0)) return result;
        result.contrast = scores[static_cast<size_t>(best)] / mean;
        // Fine: steps of 0.02 degree across the coarse step on either side,
        // then the vertex of a parabola through the best and its neighbours.
        const double centre = (best - n) * coarse;
        const double fine = 0.02;
        const int32_t m = static_cast<int32_t>(std::lround(coarse / fine)) + 1;
        shear.Prepare(std::max(std::fabs((centre - m * fine) * kDeg), std::fabs((centre + m * fine) * kDeg)));
        std::vector<double> fineScores;
        fineScores.reserve(static_cast<size_t>(2 * m + 1));
        int32_t fbest = 0;
        for (int32_t i = -m; i <= m; ++i) {
            const double s = shear.Score((centre + i * fine) * kDeg);
            fineScores.push_back(s);
            if (s > fineScores[static_cast<size_t>(fbest)]) fbest = i + m;
        }
        double deg = centre + (fbest - m) * fine;
        if (fbest > 0 && fbest < 2 * m)
            deg += fine * ParabolaOffset(fineScores[static_cast<size_t>(fbest - 1)],
                                         fineScores[static_cast<size_t>(fbest)],
                                         fineScores[static_cast<size_t>(fbest + 1)]);
        deg = std::clamp(deg, -maxDegrees, maxDegrees);
        // The shear that levels the page moves ink at larger x down by
        // x tan(a) for rows that rise by a: that is the skew itself.
        result.angle = deg * kDeg;
        result.found = true;
    } catch (const std::bad_alloc&) {
        return ProjectionSkewResult{};
    }
    return result;
}

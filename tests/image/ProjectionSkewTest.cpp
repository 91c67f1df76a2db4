// Skew from the sharpness of the sheared row profile, on synthetic pages of
// known tilt: text pages, ruled forms and identity cards with photo blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "image/ProjectionSkew.h"
#include "image/SkewPageUtil.h"

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

enum class Kind { kText, kForm, kCard };

// A level 1-bit page of the given kind; `start` varies its content.
CRawImage LevelPage(Kind kind, unsigned start) {
    using skewpage::FillRect;
    CRawImage img;
    if (kind == Kind::kText) {
        skewpage::TextStyle st;
        st.lineLength = 900;
        st.lineSpacing = 38;
        st.blockHeight = 14;
        st.marginLeft = 120;
        st.marginTop = 110;
        st.marginBottom = 110;
        st.tallEvery = 4;
        st.lowEvery = 9;
        return skewpage::MakeTiltedTextPage(1140, 1400, 0.0, start, st);
    }
    if (kind == Kind::kForm) {
        // A boxed form: boxes of 3-pixel rules, a table of 2-pixel rules and
        // short text blocks in the cells.
        img.Create(1240, 1754, 1, 150);
        const int l = 80 + static_cast<int>(start % 7), r = 1160 - static_cast<int>(start % 5);
        int y = 300 + static_cast<int>(start % 11);
        for (int h : {180, 120, 300}) {
            FillRect(img, l, y, r, y + 3);
            FillRect(img, l, y + h, r, y + h + 3);
            FillRect(img, l, y, l + 3, y + h + 3);
            FillRect(img, r - 3, y, r, y + h + 3);
            for (int k = 0; k < h / 40; ++k)
                FillRect(img, l + 20, y + 20 + 40 * k, l + 20 + 60 + 37 * ((k + start) % 9), y + 32 + 40 * k);
            y += h + 40;
        }
        for (int i = 0; i < 10; ++i) FillRect(img, l, y + 45 * i, r, y + 45 * i + 2);
        for (int x : {l, l + 300, l + 700, r - 2}) FillRect(img, x, y, x + 2, y + 405);
        FillRect(img, l, 150, l + 400, 180);  // title
        return img;
    }
    // An ID-1 card at 300 dpi: a title bar, a photo block and text lines.
    img.Create(1011, 638, 1, 300);
    const int s = static_cast<int>(start % 9);
    FillRect(img, 50 + s, 40, 960, 90);
    FillRect(img, 50, 140 + s, 320, 560);
    skewpage::TextStyle st;
    st.lineLength = 520;
    st.lineSpacing = 60;
    st.blockHeight = 22;
    st.minBlockWidth = 9;
    st.maxBlockWidth = 15;
    st.marginLeft = 380;
    st.marginTop = 140;
    st.marginBottom = 60;
    CRawImage text = skewpage::MakeTiltedTextPage(1011, 638, 0.0, start, st);
    for (int yy = 0; yy < img.height; ++yy)
        for (int b = 0; b < img.bytesPerRow; ++b) img.Row(yy)[b] |= text.Row(yy)[b];
    return img;
}

// The page turned so that its rows rise by `degrees`.
CRawImage Tilted(Kind kind, double degrees, unsigned start) {
    CRawImage level = LevelPage(kind, start);
    if (degrees == 0) return level;  // a turn by 0 leaves the destination empty
    CRawImage out;
    EXPECT_EQ(level.Rotate(&out, 0, -degrees * kDeg, 1, 1, 1), 1);
    return out;
}

TEST(ProjectionSkew, EveryKindWithinATenthAndAHalfDegreeMedianFiveHundredths) {
    const double tilts[] = {-4.5, -3.7, -2.5, -1.6, -1.0, -0.35, 0.0, 0.4, 1.0, 1.3, 2.5, 3.1, 4.5};
    for (Kind kind : {Kind::kText, Kind::kForm, Kind::kCard}) {
        std::vector<double> errors;
        unsigned start = 1;
        for (double t : tilts) {
            const CRawImage page = Tilted(kind, t, start++);
            const ProjectionSkewResult r = EstimateProjectionSkew(page, 5.0);
            ASSERT_TRUE(r.found) << static_cast<int>(kind) << " " << t;
            const double err = std::fabs(r.angle / kDeg - t);
            EXPECT_LE(err, 0.15) << "kind " << static_cast<int>(kind) << " tilt " << t << " measured "
                                 << r.angle / kDeg;
            errors.push_back(err);
        }
        std::sort(errors.begin(), errors.end());
        EXPECT_LE(errors[errors.size() / 2], 0.05) << "median error, kind " << static_cast<int>(kind);
    }
}

// The search written plainly: every pixel of the page (or of its 2 x 16
// coarse cells) placed in a profile fitted to each angle. The estimate must
// give exactly the same angle and contrast.
struct PlainShear {
    std::vector<std::vector<int64_t>> cells;  // [row][column] ink count
    int32_t columns;
    double colWidth, colCentre, rowScale;
    double Score(double angle) const {
        const double t = std::tan(angle) / rowScale;
        const int32_t reach = static_cast<int32_t>(std::ceil(std::fabs(t) * (colWidth * columns))) + 2;
        std::vector<int64_t> profile(cells.size() + 2 * static_cast<size_t>(reach) + 2, 0);
        for (size_t y = 0; y < cells.size(); ++y)
            for (int32_t j = 0; j < columns; ++j)
                profile[y + static_cast<size_t>(std::lround(t * (colWidth * j + colCentre)) + reach)] +=
                    cells[y][static_cast<size_t>(j)];
        double sum = 0;
        for (size_t i = 1; i < profile.size(); ++i) {
            const double d = static_cast<double>(profile[i]) - profile[i - 1];
            sum += d * d;
        }
        return sum;
    }
};

ProjectionSkewResult PlainEstimate(const CRawImage& page, double maxDegrees) {
    const int32_t columns = (page.width + 7) / 8;
    PlainShear fine{{}, columns, 8, 3.5, 1};
    PlainShear coarse{{}, (columns + 1) / 2, 16, 7.5, 2};
    fine.cells.assign(static_cast<size_t>(page.height),
                      std::vector<int64_t>(static_cast<size_t>(columns), 0));
    coarse.cells.assign(static_cast<size_t>(page.height + 1) / 2,
                        std::vector<int64_t>(static_cast<size_t>(coarse.columns), 0));
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x)
            if (skewpage::IsBlack(page, x, y)) {
                ++fine.cells[static_cast<size_t>(y)][static_cast<size_t>(x / 8)];
                ++coarse.cells[static_cast<size_t>(y / 2)][static_cast<size_t>(x / 16)];
            }
    ProjectionSkewResult r;
    const int32_t n = static_cast<int32_t>(std::ceil(maxDegrees / 0.25));
    std::vector<double> scores;
    double sum = 0;
    int32_t best = 0;
    for (int32_t i = -n; i <= n; ++i) {
        scores.push_back(coarse.Score(i * 0.25 * kDeg));
        sum += scores.back();
        if (scores.back() > scores[static_cast<size_t>(best)]) best = i + n;
    }
    r.contrast = scores[static_cast<size_t>(best)] / (sum / static_cast<double>(scores.size()));
    const double centre = (best - n) * 0.25;
    const int32_t m = 14;
    std::vector<double> f;
    int32_t fbest = 0;
    for (int32_t i = -m; i <= m; ++i) {
        f.push_back(fine.Score((centre + i * 0.02) * kDeg));
        if (f.back() > f[static_cast<size_t>(fbest)]) fbest = i + m;
    }
    double deg = centre + (fbest - m) * 0.02;
    if (fbest > 0 && fbest < 2 * m) {
        const double l = f[static_cast<size_t>(fbest - 1)], c = f[static_cast<size_t>(fbest)],
                     rr = f[static_cast<size_t>(fbest + 1)];
        const double denom = l - 2 * c + rr;
        if (denom < 0) deg += 0.02 * std::clamp(0.5 * (l - rr) / denom, -0.5, 0.5);
    }
    r.angle = std::clamp(deg, -maxDegrees, maxDegrees) * kDeg;
    r.found = true;
    return r;
}

TEST(ProjectionSkew, SameAngleAsThePlainSearch) {
    const struct {
        Kind kind;
        double tilt, range;
    } cases[] = {{Kind::kText, 2.3, 5.0},  {Kind::kText, -4.1, 7.0}, {Kind::kForm, 0.7, 5.0},
                 {Kind::kForm, -1.9, 3.0}, {Kind::kCard, 3.4, 5.0},  {Kind::kCard, 0.0, 1.0}};
    unsigned start = 40;
    for (const auto& c : cases) {
        const CRawImage page = Tilted(c.kind, c.tilt, start++);
        const ProjectionSkewResult got = EstimateProjectionSkew(page, c.range);
        const ProjectionSkewResult want = PlainEstimate(page, c.range);
        ASSERT_TRUE(got.found) << c.tilt;
        EXPECT_EQ(got.angle, want.angle) << "kind " << static_cast<int>(c.kind) << " tilt " << c.tilt;
        EXPECT_EQ(got.contrast, want.contrast) << "kind " << static_cast<int>(c.kind) << " tilt " << c.tilt;
    }
}

TEST(ProjectionSkew, NothingToMeasure) {
    CRawImage blank;
    ASSERT_EQ(blank.Create(400, 300, 1, 300), 1);
    EXPECT_FALSE(EstimateProjectionSkew(blank, 5).found);
    CRawImage black(blank);
    for (int y = 0; y < black.height; ++y) std::fill(black.Row(y), black.Row(y) + black.bytesPerRow, 0xFF);
    EXPECT_FALSE(EstimateProjectionSkew(black, 5).found);
    CRawImage gray;
    ASSERT_EQ(gray.Create(400, 300, 8, 300), 1);
    EXPECT_FALSE(EstimateProjectionSkew(gray, 5).found);
    CRawImage empty;
    EXPECT_FALSE(EstimateProjectionSkew(empty, 5).found);
    CRawImage tiny;
    ASSERT_EQ(tiny.Create(1, 1, 1, 300), 1);
    EXPECT_FALSE(EstimateProjectionSkew(tiny, 5).found);
}

TEST(ProjectionSkew, RangeIsBoundedAndHonoured) {
    // A page tilted by 3 degrees searched over only 1 degree gives at most
    // 1 degree; absurd ranges are clamped and still give an answer.
    const CRawImage page = Tilted(Kind::kForm, 3.0, 3);
    const ProjectionSkewResult narrow = EstimateProjectionSkew(page, 1.0);
    ASSERT_TRUE(narrow.found);
    EXPECT_LE(std::fabs(narrow.angle / kDeg), 1.0 + 1e-9);
    for (double range : {0.0, -5.0, 1e9, std::nan("")}) {
        const ProjectionSkewResult r = EstimateProjectionSkew(page, range);
        EXPECT_TRUE(r.found) << range;
        EXPECT_LE(std::fabs(r.angle / kDeg), 30.0) << range;
    }
}

}  // namespace

// Rotation of an A4 300-dpi gray page by 3 degrees with interpolation, and
// skew estimation of the same page binarised, each beside a reference
// library when one was found at build time.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "image/Dib.h"
#include "image/ProjectionSkew.h"
#include "image/RotateProcessor.h"
#include "image/SkewEstimation.h"

#ifdef HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif
#ifdef HAVE_LEPTONICA
#include <leptonica/allheaders.h>
#endif

namespace {

constexpr int kWidth = 2480;
constexpr int kHeight = 3508;
constexpr double kDegrees = 3.0;
constexpr double kPi = 3.14159265358979323846;

// A gray A4 page: two columns of text rows made of letter-sized dark blocks
// on a light, slightly noisy background, the rows rising by 3 degrees.
const CRawImage& GrayPage() {
    static CRawImage page;
    if (page.HasPixels()) return page;
    page.Create(kWidth, kHeight, 8, 300);
    std::mt19937 rng(12345);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) page.Row(y)[x] = static_cast<uint8_t>(228 + rng() % 16);
    const double slope = std::tan(kDegrees * kPi / 180.0);
    for (int column = 0; column < 2; ++column) {
        const int left = 150 + column * 1150;
        for (int base = 260; base < kHeight - 150; base += 80) {
            int x = left, letters = 3;
            while (x < left + 1000) {
                const int bw = 6 + static_cast<int>(rng() % 5);
                const int bottom = base - static_cast<int>(std::lround(slope * (x - left)));
                for (int y = bottom - 16; y < bottom; ++y)
                    for (int i = x; i < x + bw; ++i) page.Row(y)[i] = static_cast<uint8_t>(20 + rng() % 30);
                x += bw + (--letters == 0 ? 12 : 4);
                if (letters == 0) letters = 2 + static_cast<int>(rng() % 6);
            }
        }
    }
    return page;
}

// The same page binarised by the default method of the preprocessing steps
// (8 x 8 block thresholds).
const CRawImage& BinaryPage() {
    static CRawImage page;
    if (page.HasPixels()) return page;
    page = GrayPage();
    page.GrayToBinary(nullptr, 6);
    return page;
}

void BM_Rotate3Degrees_Morvane(benchmark::State& state) {
    CRawImage& src = const_cast<CRawImage&>(GrayPage());
    CRawImage dst;
    CRotateProcessor rotate(&src);
    rotate.angle = kDegrees * kPi / 180.0;
    rotate.interpolate = 1;
    rotate.keepSize = 1;
    rotate.whiteFill = 1;
    for (auto _ : state) {
        if (!rotate.Process(dst)) state.SkipWithError("rotation failed");
        benchmark::DoNotOptimize(dst.Bits());
    }
}
BENCHMARK(BM_Rotate3Degrees_Morvane)->Unit(benchmark::kMillisecond);

#ifdef HAVE_OPENCV
void RotateOpenCV(benchmark::State& state, int threads) {
    const CRawImage& src = GrayPage();
    // OpenCV wraps the rows without copying and only reads them here.
    cv::Mat in(kHeight, kWidth, CV_8UC1, const_cast<uint8_t*>(src.Bits()),
               static_cast<size_t>(src.bytesPerRow));
    cv::Mat out;
    const cv::Mat m =
        cv::getRotationMatrix2D(cv::Point2f((kWidth - 1) / 2.0f, (kHeight - 1) / 2.0f), -kDegrees, 1.0);
    const int before = cv::getNumThreads();
    cv::setNumThreads(threads);
    for (auto _ : state) {
        cv::warpAffine(in, out, m, in.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(255));
        benchmark::DoNotOptimize(out.data);
    }
    cv::setNumThreads(before);
    state.counters["threads"] = threads;
}
void BM_Rotate3Degrees_OpenCV_1Thread(benchmark::State& state) { RotateOpenCV(state, 1); }
void BM_Rotate3Degrees_OpenCV_DefaultThreads(benchmark::State& state) {
    RotateOpenCV(state, cv::getNumberOfCPUs());
}
BENCHMARK(BM_Rotate3Degrees_OpenCV_1Thread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate3Degrees_OpenCV_DefaultThreads)->Unit(benchmark::kMillisecond);
#endif

void BM_Skew_Morvane(benchmark::State& state) {
    CRawImage& page = const_cast<CRawImage&>(BinaryPage());
    double angle = 0.0;
    for (auto _ : state) {
        CSkewEstimation est;
        angle = est.Estimate(page);
        benchmark::DoNotOptimize(angle);
    }
    state.counters["degrees"] = angle * 180.0 / kPi;
}
BENCHMARK(BM_Skew_Morvane)->Unit(benchmark::kMillisecond);

void BM_Skew_Morvane_TextLinesOnly(benchmark::State& state) {
    CRawImage& page = const_cast<CRawImage&>(BinaryPage());
    double angle = 0.0;
    for (auto _ : state) {
        CSkewEstimation est;
        std::vector<SkewBox> boxes;
        FindComponentBoxes(page, &boxes);
        est.EstimateFromComponents(boxes, page.height, &angle);
        benchmark::DoNotOptimize(angle);
    }
    state.counters["degrees"] = angle * 180.0 / kPi;
}
BENCHMARK(BM_Skew_Morvane_TextLinesOnly)->Unit(benchmark::kMillisecond);

// The row-profile skew of the tilt-correction step (sheared row profiles,
// sharpest by the sum of squared differences of neighbouring rows) over
// +-7 degrees, the range of Leptonica's pixFindSkew below: a coarse sweep
// on the ink with two rows and two byte columns to an entry, then 0.02
// degree steps at full resolution.
void BM_Skew_RowProfile_Morvane(benchmark::State& state) {
    const CRawImage& page = BinaryPage();
    bool found = false;
    double angle = 0, contrast = 0;
    for (auto _ : state) {
        const ProjectionSkewResult r = EstimateProjectionSkew(page, 7.0);
        found = r.found;
        angle = r.angle;
        contrast = r.contrast;
        benchmark::DoNotOptimize(&angle);
        benchmark::ClobberMemory();
    }
    if (!found) state.SkipWithError("no skew measured");
    state.counters["degrees"] = angle * 180.0 / kPi;
    state.counters["contrast"] = contrast;
}
BENCHMARK(BM_Skew_RowProfile_Morvane)->Unit(benchmark::kMillisecond);

#ifdef HAVE_LEPTONICA
// Leptonica's differential-square-sum skew, the same measure as the
// row-profile skew above. pixFindSkew sweeps +-7 degrees in 1-degree steps
// on the page reduced 4x, then halves the interval down to 0.01 degree on
// the page reduced 2x. The angle it returns is the rotation that deskews
// the page, clockwise positive: positive for rows that rise to the right,
// the sign of the row-profile skew (this page's rows rise by 3 degrees).
// Its return value says whether the measurement is valid; "confidence" is
// its ratio of the best to the worst score.
PIX* LeptonicaPage() {
    const CRawImage& page = BinaryPage();
    PIX* pix = pixCreate(kWidth, kHeight, 1);
    // Leptonica keeps 1-bit rows in 32-bit words, leftmost pixel in the most
    // significant bit of each word.
    l_uint32* data = pixGetData(pix);
    const l_int32 wpl = pixGetWpl(pix);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (page.Row(y)[x >> 3] & (0x80 >> (x & 7))) SET_DATA_BIT(data + y * wpl, x);
    return pix;
}

void LeptonicaSkew(benchmark::State& state, int sweepReduction, int searchReduction) {
    PIX* pix = LeptonicaPage();
    l_float32 angle = 0, conf = 0;
    l_ok failed = 0;
    for (auto _ : state) {
        failed =
            pixFindSkewSweepAndSearch(pix, &angle, &conf, sweepReduction, searchReduction, 7.0f, 1.0f, 0.01f);
        benchmark::DoNotOptimize(angle);
    }
    if (failed) state.SkipWithError("Leptonica found the measurement not valid");
    state.counters["degrees"] = angle;
    state.counters["confidence"] = conf;
    pixDestroy(&pix);
}

// Exactly pixFindSkew's work (its defaults: sweep at 4x, search at 2x).
void BM_Skew_Leptonica_pixFindSkew(benchmark::State& state) {
    PIX* pix = LeptonicaPage();
    l_float32 angle = 0, conf = 0;
    l_ok failed = 0;
    for (auto _ : state) {
        failed = pixFindSkew(pix, &angle, &conf);
        benchmark::DoNotOptimize(angle);
    }
    if (failed) state.SkipWithError("Leptonica found the measurement not valid");
    state.counters["degrees"] = angle;
    state.counters["confidence"] = conf;
    pixDestroy(&pix);
}
BENCHMARK(BM_Skew_Leptonica_pixFindSkew)->Unit(benchmark::kMillisecond);

// The resolutions of the row-profile skew: sweep at 2x, search at full size.
void BM_Skew_Leptonica_Sweep2xSearch1x(benchmark::State& state) { LeptonicaSkew(state, 2, 1); }
BENCHMARK(BM_Skew_Leptonica_Sweep2xSearch1x)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();

// Pixel kernels on an A4 page at 300 dpi (2480 x 3508), each next to the
// closest OpenCV routine on the same page when OpenCV is available. OpenCV
// runs single-threaded, as the library does.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "filters/FilterGrid.h"
#include "image/ConnectAnalyzer.h"
#include "image/Cropper.h"
#include "image/GrayToBinary.h"
#include "image/TrueColorToGray.h"

#ifdef HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kWidth = 2480;
constexpr int kHeight = 3508;

// A colour page: slightly uneven paper, blocks of text-like strokes, a
// coloured stamp and sensor noise.
const CRawImage& ColourPage() {
    static CRawImage page = [] {
        CRawImage img;
        img.Create(kWidth, kHeight, 24, 300);
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> noise(-6, 6);
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* row = img.Row(y);
            for (int x = 0; x < kWidth; ++x) {
                int paper = 225 + (x + y) * 20 / (kWidth + kHeight);
                const bool textArea = y > 300 && y < 3200 && x > 250 && x < 2230;
                const int line = (y - 300) % 70, col = (x - 250) % 38;
                const bool ink = textArea && line >= 10 && line < 45 &&
                                 (col < 4 || (line % 17) < 3 || ((col + line) % 29) < 3) && col < 30;
                const bool stamp = (x - 1900) * (x - 1900) + (y - 3000) * (y - 3000) < 200 * 200 &&
                                   (x - 1900) * (x - 1900) + (y - 3000) * (y - 3000) > 180 * 180;
                int b = paper, g = paper, r = paper;
                if (ink) b = g = r = 35;
                if (stamp) {
                    b = 60;
                    g = 40;
                    r = 200;
                }
                const int n = noise(rng);
                row[3 * x] = static_cast<uint8_t>(std::clamp(b + n, 0, 255));
                row[3 * x + 1] = static_cast<uint8_t>(std::clamp(g + n, 0, 255));
                row[3 * x + 2] = static_cast<uint8_t>(std::clamp(r + n, 0, 255));
            }
        }
        return img;
    }();
    return page;
}

const CRawImage& GrayPage() {
    static CRawImage page = [] {
        CRawImage gray;
        const_cast<CRawImage&>(ColourPage()).TrueColorToGray(&gray, -1);
        return gray;
    }();
    return page;
}

const CRawImage& BinaryPage() {
    static CRawImage page = [] {
        CRawImage bin;
        const_cast<CRawImage&>(GrayPage()).GrayToBinary(&bin, 7);
        return bin;
    }();
    return page;
}

void ColourToGray(benchmark::State& state) {
    CRawImage src(ColourPage()), dst;
    for (auto _ : state) {
        CTrueColorToGray p(&src);
        p.method = -1;
        benchmark::DoNotOptimize(p.Process(dst));
    }
}
BENCHMARK(ColourToGray)->Unit(benchmark::kMillisecond);

void GrayToBinaryMethod(benchmark::State& state) {
    CRawImage src(GrayPage()), dst;
    for (auto _ : state) {
        CGrayToBinary p(&src);
        p.method = static_cast<int>(state.range(0));
        benchmark::DoNotOptimize(p.Process(dst));
    }
}
BENCHMARK(GrayToBinaryMethod)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Arg(5)
    ->Arg(6)
    ->Arg(7)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond);

// Labelling of the packed 1-bit page with component boxes.
void Labelling_Packed1Bit(benchmark::State& state) {
    CRawImage src(BinaryPage());
    int64_t n = 0;
    for (auto _ : state) {
        CConnectAnalyzer a(&src);
        a.Analyze(0);
        n = a.Count();
    }
    state.counters["components"] = static_cast<double>(n);
}
BENCHMARK(Labelling_Packed1Bit)->Unit(benchmark::kMillisecond);

void CropGray(benchmark::State& state) {
    CRawImage src(GrayPage()), dst;
    for (auto _ : state) benchmark::DoNotOptimize(src.Crop(&dst, 101, 203, 2401, 3303));
}
BENCHMARK(CropGray)->Unit(benchmark::kMillisecond);

void CropBinary(benchmark::State& state) {
    CRawImage src(BinaryPage()), dst;
    for (auto _ : state) benchmark::DoNotOptimize(src.Crop(&dst, 101, 203, 2401, 3303));
}
BENCHMARK(CropBinary)->Unit(benchmark::kMillisecond);

// Grid filter cell counts of the binary page (no OpenCV counterpart; the
// target is an absolute time).
void GridCount(benchmark::State& state) {
    CRawImage src(BinaryPage());
    const int side = static_cast<int>(state.range(0));
    std::vector<int32_t> cells(static_cast<size_t>(side) * side);
    for (auto _ : state)
        benchmark::DoNotOptimize(libMorvaneClassifier::CountGridCells(src, side, side, cells.data()));
}
BENCHMARK(GridCount)->Arg(8)->Arg(32)->Arg(100)->Unit(benchmark::kMillisecond);

#ifdef HAVE_OPENCV

// OpenCV's own copy of a page, row by row (the page is read-only here).
cv::Mat MatOf(const CRawImage& p, int type, size_t rowBytes) {
    cv::Mat m(p.height, p.width, type);
    for (int y = 0; y < p.height; ++y) std::memcpy(m.ptr(y), p.Row(y), rowBytes);
    return m;
}
cv::Mat ColourMat() {
    const CRawImage& p = ColourPage();
    return MatOf(p, CV_8UC3, static_cast<size_t>(p.width) * 3);
}
cv::Mat GrayMat() {
    const CRawImage& p = GrayPage();
    return MatOf(p, CV_8UC1, static_cast<size_t>(p.width));
}

void OpenCV_cvtColor(benchmark::State& state) {
    cv::setNumThreads(1);
    cv::Mat src = ColourMat(), dst;
    for (auto _ : state) cv::cvtColor(src, dst, cv::COLOR_BGR2GRAY);
}
BENCHMARK(OpenCV_cvtColor)->Unit(benchmark::kMillisecond);

// Plain Otsu: method 7 also flattens the background first, so this is a
// lower bound for the same decision, not the same work.
void OpenCV_thresholdOtsu_NoFlattening(benchmark::State& state) {
    cv::setNumThreads(1);
    cv::Mat src = GrayMat(), dst;
    for (auto _ : state) cv::threshold(src, dst, 0, 255, cv::THRESH_BINARY_INV | cv::THRESH_OTSU);
}
BENCHMARK(OpenCV_thresholdOtsu_NoFlattening)->Unit(benchmark::kMillisecond);

// Block size 15 matches the Niblack window, 41 the adaptive-background one.
// OpenCV thresholds at the window mean only; Niblack also needs the window
// deviation, so this is a lower bound, not the same work.
void OpenCV_adaptiveThresholdMean_NoDeviation(benchmark::State& state) {
    cv::setNumThreads(1);
    cv::Mat src = GrayMat(), dst;
    const int block = static_cast<int>(state.range(0));
    for (auto _ : state)
        cv::adaptiveThreshold(src, dst, 255, cv::ADAPTIVE_THRESH_MEAN_C, cv::THRESH_BINARY_INV, block, 10);
}
BENCHMARK(OpenCV_adaptiveThresholdMean_NoDeviation)->Arg(15)->Arg(41)->Unit(benchmark::kMillisecond);

// OpenCV labels one byte per pixel and computes full statistics, where
// Labelling_Packed1Bit reads packed bits and keeps boxes.
void OpenCV_connectedComponentsWithStats_8bit(benchmark::State& state) {
    cv::setNumThreads(1);
    const CRawImage& b = BinaryPage();
    cv::Mat src(b.height, b.width, CV_8UC1);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            src.at<uint8_t>(y, x) = (b.Row(y)[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    cv::Mat labels, stats, centroids;
    int n = 0;
    for (auto _ : state) n = cv::connectedComponentsWithStats(src, labels, stats, centroids, 8, CV_32S);
    state.counters["components"] = n - 1;
}
BENCHMARK(OpenCV_connectedComponentsWithStats_8bit)->Unit(benchmark::kMillisecond);

void OpenCV_RoiCopy(benchmark::State& state) {
    cv::setNumThreads(1);
    cv::Mat src = GrayMat(), dst;
    for (auto _ : state) src(cv::Rect(101, 203, 2300, 3100)).copyTo(dst);
}
BENCHMARK(OpenCV_RoiCopy)->Unit(benchmark::kMillisecond);

#endif

}  // namespace

BENCHMARK_MAIN();

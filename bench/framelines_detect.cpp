// Frame-line detection on an A4 page at 300 dpi, binarised: a form with a
// box, a table, underlines, rules and text blocks. For orientation the same
// page is also run through OpenCV's probabilistic Hough transform (edges are
// not needed on a binary page; the lines are the black pixels themselves).
#include <benchmark/benchmark.h>

#include <vector>

#include "../tests/filters/FrameLinePages.h"
#include "filters/FrameLineDetector.h"

#ifdef HAVE_OPENCV
#include <opencv2/imgproc.hpp>
#endif

using namespace libMorvaneClassifier;

namespace {

const CRawImage& Page() {
    static CRawImage page;
    if (!page.HasPixels()) {
        std::vector<framelines_test::TruthLine> truth;
        framelines_test::MakeForm(page, 300, 3, truth);
    }
    return page;
}

void BM_FrameLineDetect(benchmark::State& state) {
    const CRawImage& page = Page();
    size_t lines = 0;
    for (auto _ : state) {
        state.PauseTiming();
        CRawImage work(page);  // Detect paints bridged gaps into its image
        state.ResumeTiming();
        CFrameLine det;
        if (det.Detect(work, 0, 0, work.width - 1, work.height - 1) != 0)
            state.SkipWithError("detection failed");
        lines = det.Horizontal().size() + det.Vertical().size();
        benchmark::DoNotOptimize(lines);
    }
    state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_FrameLineDetect)->Unit(benchmark::kMillisecond);

#ifdef HAVE_OPENCV
void BM_OpenCvHoughLinesP(benchmark::State& state) {
    const CRawImage& page = Page();
    cv::Mat mat(page.height, page.width, CV_8UC1);
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x)
            mat.at<uint8_t>(y, x) = (page.Row(y)[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    size_t lines = 0;
    cv::setNumThreads(1);  // one thread on both sides
    for (auto _ : state) {
        std::vector<cv::Vec4i> out;
        cv::HoughLinesP(mat, out, 1, CV_PI / 180, 200, page.width / 10.0, 15);
        lines = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_OpenCvHoughLinesP)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();

// The steps for scanned pages at 300 dpi. The two figures with targets:
//   FindCard/a4_white_glass  the whole find step (locate, straighten, crop)
//                            for an ID-1 card on A4 white glass (the copy
//                            of the scan is made outside the timed part);
//   ClassifyScannedA4        one whole classification of a tilted A4 colour
//                            page through the example set's scanned.xml.
// Beside them: the card on a black bed, the row-profile skew estimate of a
// binary A4 page, normalising a 600-dpi A4 page to 300 dpi, and the steps of
// scanned.xml one by one on the A4 page (where the classification's time
// goes). Read the CPU column: the machine is shared.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "image/Dib.h"
#include "image/ProjectionSkew.h"
#include "morvane/classifier.h"
#include "preprocess/FindDocument.h"
#include "preprocess/NormalizeResolution.h"
#include "preprocess/TiltCorrection.h"

namespace {

using libMorvaneClassifier::CFindDocumentInfo;
using libMorvaneClassifier::CNormalizeResolutionInfo;
using libMorvaneClassifier::DocumentPlacement;

void Fill(CRawImage& img, int l, int t, int r, int b, uint8_t v) {
    const int bpp = img.bitCount / 8;
    for (int y = std::max(0, t); y < std::min(b, img.height); ++y)
        std::memset(img.Row(y) + bpp * std::max(0, l), v,
                    static_cast<size_t>(bpp) * (std::min(r, img.width) - std::max(0, l)));
}

// A 24-bit A4 page at 300 dpi with rows of word blocks and a table of rules.
CRawImage A4Page() {
    CRawImage img;
    img.Create(2480, 3508, 24, 300);
    Fill(img, 0, 0, img.width, img.height, 248);
    for (int row = 0; row < 60; ++row)
        for (int x = 250; x < 2150 - (row % 7) * 60; x += 70 + (row * 13 + x) % 40)
            Fill(img, x, 300 + row * 45, x + 50, 300 + row * 45 + 22, 25);
    for (int i = 0; i < 12; ++i) Fill(img, 250, 3000 + i * 36, 2230, 3003 + i * 36, 20);
    return img;
}

// An ID-1 card (1011 x 638) lying on a bed of the given level, turned by a
// degree, near the top left corner of an A4 scan.
CRawImage CardOnBed(uint8_t bed) {
    CRawImage img;
    img.Create(2480, 3508, 24, 300);
    Fill(img, 0, 0, img.width, img.height, bed);
    const double a = 1.0 * 3.14159265358979 / 180, c = std::cos(a), s = std::sin(a);
    for (int y = 0; y < 700; ++y)
        for (int x = 0; x < 1100; ++x) {
            const double u = (x - 560) * c - (y - 350) * s + 505, v = (x - 560) * s + (y - 350) * c + 319;
            if (u < 0 || v < 0 || u >= 1011 || v >= 638) continue;
            const bool edge = u < 1 || v < 1 || u >= 1010 || v >= 637;
            const bool photo = u > 50 && u < 320 && v > 140 && v < 560;
            const bool text = u > 380 && u < 950 && static_cast<int>(v) % 60 < 20 && v > 150 && v < 560;
            const uint8_t g = edge ? 170 : (photo ? 80 : (text ? 30 : 236));
            std::memset(img.Row(y + 80) + 3 * (x + 80), g, 3);
        }
    return img;
}

// The whole find step (locate, straighten, crop) on a fresh copy of the
// scan; the copy is made outside the timed part.
void FindCard(benchmark::State& state, uint8_t bed) {
    const CRawImage scan = CardOnBed(bed);
    CFindDocumentInfo step;
    for (auto _ : state) {
        state.PauseTiming();
        CRawImage img(scan);
        state.ResumeTiming();
        DocumentPlacement p;
        libMorvaneClassifier::FindDocument(img, step, &p);
        if (!p.found) {
            state.SkipWithError("card not found");
            break;
        }
        benchmark::DoNotOptimize(img.width);
    }
}
BENCHMARK_CAPTURE(FindCard, a4_white_glass, 252)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(FindCard, a4_black_bed, 10)->Unit(benchmark::kMillisecond)->UseRealTime();

// The copy alone, for scale.
void CopyA4Colour(benchmark::State& state) {
    const CRawImage scan = CardOnBed(252);
    for (auto _ : state) {
        CRawImage img(scan);
        benchmark::DoNotOptimize(img.Bits());
    }
}
BENCHMARK(CopyA4Colour)->Unit(benchmark::kMillisecond)->UseRealTime();

// The steps of scanned.xml one by one on the tilted A4 colour page, each on
// a fresh copy made outside the timed part: where the classification's time
// goes.
CRawImage TiltedA4() {
    CRawImage page = A4Page();
    page.Rotate(nullptr, 0, 1.5 * 3.14159265358979 / 180, 1, 1, 1);
    return page;
}

template <typename Step>
void TimeStep(benchmark::State& state, const CRawImage& input, Step step) {
    for (auto _ : state) {
        state.PauseTiming();
        CRawImage img(input);
        state.ResumeTiming();
        step(img);
        benchmark::DoNotOptimize(img.width);
    }
}

void StepFindFullPage(benchmark::State& state) {
    CFindDocumentInfo step;
    TimeStep(state, TiltedA4(), [&](CRawImage& img) { libMorvaneClassifier::FindDocument(img, step); });
}
BENCHMARK(StepFindFullPage)->Unit(benchmark::kMillisecond)->UseRealTime();

void StepColorToGray(benchmark::State& state) {
    TimeStep(state, TiltedA4(), [](CRawImage& img) { img.TrueColorToGray(nullptr, -1); });
}
BENCHMARK(StepColorToGray)->Unit(benchmark::kMillisecond)->UseRealTime();

void StepTiltCorrection(benchmark::State& state) {
    CRawImage gray = TiltedA4();
    gray.TrueColorToGray(nullptr, -1);
    libMorvaneClassifier::CTiltCorrectionInfo step;
    step.isOriginalSize = 1;
    step.fillColor = 1;
    step.minAngle = 0;
    step.maxAngle = 5;
    step.grayType = 0;
    step.binaryType = 6;
    step.estimator = libMorvaneClassifier::kTiltEstimatorProjection;
    TimeStep(state, gray, [&](CRawImage& img) { libMorvaneClassifier::CorrectTilt(img, step); });
}
BENCHMARK(StepTiltCorrection)->Unit(benchmark::kMillisecond)->UseRealTime();

void StepTiltMeasure(benchmark::State& state) {
    CRawImage gray = TiltedA4();
    gray.TrueColorToGray(nullptr, -1);
    libMorvaneClassifier::CTiltCorrectionInfo step;
    step.maxAngle = 5;
    step.binaryType = 6;
    step.estimator = libMorvaneClassifier::kTiltEstimatorProjection;
    for (auto _ : state) benchmark::DoNotOptimize(libMorvaneClassifier::MeasureTiltFor(gray, step));
}
BENCHMARK(StepTiltMeasure)->Unit(benchmark::kMillisecond)->UseRealTime();

void ProjectionSkewA4(benchmark::State& state) {
    CRawImage page = A4Page();
    page.Rotate(nullptr, 0, -2.0 * 3.14159265358979 / 180, 1, 1, 1);
    page.TrueColorToGray(nullptr, 0);
    page.GrayToBinary(nullptr, 6);
    for (auto _ : state) benchmark::DoNotOptimize(EstimateProjectionSkew(page, 5.5));
}
BENCHMARK(ProjectionSkewA4)->Unit(benchmark::kMillisecond)->UseRealTime();

void Normalize600To300(benchmark::State& state) {
    CRawImage page;
    page.Create(4960, 7016, 8, 600);
    Fill(page, 0, 0, page.width, page.height, 240);
    Fill(page, 500, 3000, 4500, 3010, 10);
    CNormalizeResolutionInfo step;
    for (auto _ : state) {
        CRawImage img(page);
        libMorvaneClassifier::NormalizeResolution(img, step);
        benchmark::DoNotOptimize(img.width);
    }
}
BENCHMARK(Normalize600To300)->Unit(benchmark::kMillisecond)->UseRealTime();

std::u16string U(const std::string& s) { return std::u16string(s.begin(), s.end()); }
const MorvaneChar* W(const std::u16string& s) { return reinterpret_cast<const MorvaneChar*>(s.c_str()); }

void ClassifyScannedA4(benchmark::State& state) {
    const std::string root = MORVANE_SOURCE_DIR;
    int index = -1;
    if (LoadClassifier(nullptr, W(U(root + "/examples/workdir/"))) != 0 ||
        AddMainTemplate(W(U(root + "/examples/templates/scanned.xml")), &index) != 0) {
        state.SkipWithError("classifier set-up failed");
        return;
    }
    CRawImage page = A4Page();
    page.Rotate(nullptr, 0, 1.5 * 3.14159265358979 / 180, 1, 1, 1);
    std::vector<unsigned char*> rows(static_cast<size_t>(page.height));
    for (int y = 0; y < page.height; ++y) rows[static_cast<size_t>(y)] = page.Row(y);
    MorvaneChar id[64];
    for (auto _ : state) {
        int n = 64;
        if (ClassifyImageMemory(rows.data(), page.width, page.height, 24, 0) != 0 ||
            GetTemplateID(id, &n) != 0) {
            state.SkipWithError("classification failed");
            break;
        }
        benchmark::DoNotOptimize(id);
    }
    FreeClassifier();
}
BENCHMARK(ClassifyScannedA4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

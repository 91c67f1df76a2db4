// One classification of an A4 page at 300 dpi in 24-bit colour through the
// bundled example template set (main chain colour -> gray, then the size
// filter), from the caller's pixel rows to the answer; and the peak memory of
// one such classification beyond what the process held before it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "morvane/classifier.h"

namespace {

std::u16string U(const std::string& s) { return std::u16string(s.begin(), s.end()); }
const MorvaneChar* W(const std::u16string& s) { return reinterpret_cast<const MorvaneChar*>(s.c_str()); }

// Resident set size figures from /proc (kB).
long StatusField(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0) return std::stol(line.substr(n + 1));
    return -1;
}

void ResetPeak() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
}

struct Page {
    int width = 2480, height = 3508;
    std::vector<unsigned char> pixels;
    std::vector<unsigned char*> rows;
    Page() {
        const size_t stride = static_cast<size_t>(width) * 3;
        pixels.assign(stride * height, 255);
        // A few dark bands so the page is not blank.
        for (int y = 300; y < height - 300; y += 120)
            for (int t = 0; t < 30; ++t)
                std::memset(&pixels[(y + t) * stride + 600], 20, stride - 1200);
        for (int y = 0; y < height; ++y) rows.push_back(&pixels[y * stride]);
    }
};

int Setup() {
    const std::string root = MORVANE_SOURCE_DIR;
    int code = LoadClassifier(nullptr, W(U(root + "/examples/workdir/")));
    if (code != 0) return code;
    int index = -1;
    return AddMainTemplate(W(U(root + "/examples/templates/main.xml")), &index);
}

void BM_ClassifyA4Colour(benchmark::State& state) {
    if (int code = Setup(); code != 0) {
        state.SkipWithError(("classifier set-up failed: " + std::to_string(code)).c_str());
        return;
    }
    Page page;
    MorvaneChar id[64];
    for (auto _ : state) {
        int code = ClassifyImageMemory(page.rows.data(), page.width, page.height, 24, 0);
        int n = 64;
        if (code != 0 || GetTemplateID(id, &n) != 0) {
            state.SkipWithError("classification failed");
            break;
        }
        benchmark::DoNotOptimize(id);
    }
    // Peak memory of one more classification, measured after the loop so the
    // timing is not disturbed.
    const long before = StatusField("VmRSS:");
    ResetPeak();
    ClassifyImageMemory(page.rows.data(), page.width, page.height, 24, 0);
    const long peak = StatusField("VmHWM:");
    const double decodedKb = page.width * 3.0 * page.height / 1024.0;
    state.counters["peak_extra_MB"] = (peak - before) / 1024.0;
    state.counters["peak_over_page"] = (peak - before) / decodedKb;
    FreeClassifier();
}
BENCHMARK(BM_ClassifyA4Colour)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

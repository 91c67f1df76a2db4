// One classification of an A4 page at 300 dpi in 24-bit colour, from the
// caller's pixel rows to the answer: through the example set's size-only
// main template (main chain colour -> gray, then the size filter), and
// through the full example set (where an A4 page also goes through the
// frame-line filter). Peak memory is the most the library held on the heap
// at once during one classification, counted by replacing operator new.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "morvane/classifier.h"

namespace {

std::atomic<size_t> g_current{0};
std::atomic<size_t> g_peak{0};
constexpr size_t kHeader = 16;

void* Allocate(size_t n) {
    void* block = std::malloc(n + kHeader);
    if (!block) return nullptr;
    *static_cast<size_t*>(block) = n;
    const size_t now = g_current += n;
    size_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
    return static_cast<char*>(block) + kHeader;
}

void Release(void* p) {
    if (!p) return;
    char* block = static_cast<char*>(p) - kHeader;
    g_current -= *reinterpret_cast<size_t*>(block);
    std::free(block);
}

}  // namespace

void* operator new(size_t n) {
    if (void* p = Allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }

namespace {

std::u16string U(const std::string& s) { return std::u16string(s.begin(), s.end()); }
const MorvaneChar* W(const std::u16string& s) { return reinterpret_cast<const MorvaneChar*>(s.c_str()); }

struct Page {
    int width = 2480, height = 3508;
    std::vector<unsigned char> pixels;
    std::vector<unsigned char*> rows;
    Page() {
        const size_t stride = static_cast<size_t>(width) * 3;
        pixels.assign(stride * height, 255);
        // A few dark bands so the page is not blank.
        for (int y = 300; y < height - 300; y += 120)
            for (int t = 0; t < 30; ++t) std::memset(&pixels[(y + t) * stride + 600], 20, stride - 1200);
        for (int y = 0; y < height; ++y) rows.push_back(&pixels[y * stride]);
    }
};

int Setup(const char* mainTemplate) {
    const std::string root = MORVANE_SOURCE_DIR;
    int code = LoadClassifier(nullptr, W(U(root + "/examples/workdir/")));
    if (code != 0) return code;
    int index = -1;
    return AddMainTemplate(W(U(root + "/examples/templates/" + mainTemplate)), &index);
}

void ClassifyA4Colour(benchmark::State& state, const char* mainTemplate) {
    if (int code = Setup(mainTemplate); code != 0) {
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
    // Peak heap use of one more classification, measured after the loop so
    // the timing is not disturbed.
    const size_t before = g_current.load();
    g_peak = before;
    ClassifyImageMemory(page.rows.data(), page.width, page.height, 24, 0);
    const double extra = static_cast<double>(g_peak.load() - before);
    const double decoded = page.width * 3.0 * page.height;
    state.counters["peak_extra_MB"] = extra / (1024.0 * 1024.0);
    state.counters["peak_over_page"] = extra / decoded;
    FreeClassifier();
}
BENCHMARK_CAPTURE(ClassifyA4Colour, size_only, "sizes.xml")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ClassifyA4Colour, full_example_set, "main.xml")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

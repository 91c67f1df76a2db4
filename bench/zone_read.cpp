// Finding and reading a machine-readable zone anywhere on a page, through
// the exported functions and the zone template set
// (examples/templates/zones.xml: text-size normalisation, straightening by
// the zone, the zone line finder, the travel-document engine) and the
// decoder with the engine's candidates (MorvaneGetRecognisedZone):
//   - a4_300dpi: the 300-dpi passport data page of the text examples placed
//     on an A4 page at 300 dpi (2480 x 3508, gray); target 150 ms;
//   - photo_12mp: the same page on a 4000 x 3000 gray photo; target 600 ms.
// Engine plug-ins are taken from the build directory (the parent of this
// program's directory).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/TextConv.h"
#include "image/Dib.h"
#include "imagefile/ImageFile.h"
#include "morvane/classifier.h"
#include "platform/DynamicLibrary.h"
#include "platform/EngineFiles.h"
#include "preprocess/ImageProcessingInfo.h"
#include "preprocess/NormalizeTextSize.h"
#include "preprocess/StepActions.h"
#include "preprocess/StraightenZone.h"
#include "preprocess/ZoneFinder.h"

using namespace libMorvaneClassifier;

namespace {

const std::string kRoot = MORVANE_SOURCE_DIR;
const std::string kPage = kRoot + "/examples/pages/text/300dpi/TEXT-PASSPORT_mrz.png";

const MorvaneChar* W(const std::u16string& s) { return reinterpret_cast<const MorvaneChar*>(s.c_str()); }

// The data page drawn in gray on a white canvas of the given size.
struct Canvas {
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;
    std::vector<unsigned char*> rows;
    bool Make(int w, int h) {
        CRawImage img;
        if (!imagefile::LoadImageFile(img, Utf8ToUtf16(kPage)) || img.bitCount != 1) return false;
        if (img.width > w || img.height > h) return false;
        width = w;
        height = h;
        const size_t stride = (static_cast<size_t>(w) + 3) / 4 * 4;
        pixels.assign(stride * static_cast<size_t>(h), 235);
        const int ox = (w - img.width) / 2, oy = (h - img.height) / 3;
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x)
                if (img.Row(y)[x / 8] & (0x80 >> (x % 8))) pixels[(oy + y) * stride + ox + x] = 30;
        for (int y = 0; y < h; ++y) rows.push_back(&pixels[y * stride]);
        return true;
    }
};

void ReadZone(benchmark::State& state, int w, int h) {
    Canvas page;
    if (!page.Make(w, h)) {
        state.SkipWithError("example page missing (examples/make_text_pages.sh)");
        return;
    }
    int index = -1;
    if (LoadClassifier(nullptr, W(Utf8ToUtf16(kRoot + "/examples/workdir/"))) != 0 ||
        AddMainTemplate(W(Utf8ToUtf16(kRoot + "/examples/templates/zones.xml")), &index) != 0) {
        state.SkipWithError("classifier set-up failed");
        return;
    }
    // The working directory holds no engines; use the build's.
    EngineDirectory() = ExecutableDirectory() + "../";
    MorvaneChar id[64];
    std::vector<MorvaneChar> zone(1 << 14);
    bool right = true, valid = true;
    for (auto _ : state) {
        int n = 64, z = static_cast<int>(zone.size());
        if (ClassifyImageMemory(page.rows.data(), page.width, page.height, 8, index) != 0 ||
            GetTemplateID(id, &n) != 0 || MorvaneGetRecognisedZone(zone.data(), &z) != 0) {
            state.SkipWithError("classification failed");
            break;
        }
        right = right && Utf16ToUtf8(std::u16string(reinterpret_cast<char16_t*>(id))) == "ZONE-PASSPORT";
        const std::string json = Utf16ToUtf8(std::u16string(reinterpret_cast<char16_t*>(zone.data())));
        valid = valid && json.find("\"decoded\":{\"layout\":\"TD3\",\"valid\":true") != std::string::npos;
    }
    state.counters["class_right"] = right ? 1 : 0;
    state.counters["zone_valid"] = valid ? 1 : 0;
    FreeClassifier();
}

// The stages of the zone filter's chain one by one on the A4 page, to see
// where the time goes: 0 text-size normalisation, 1 binarisation (method 8),
// 2 straightening by the zone, 3 the zone finder on the binary page.
void Stage(benchmark::State& state) {
    Canvas page;
    if (!page.Make(2480, 3508)) {
        state.SkipWithError("example page missing (examples/make_text_pages.sh)");
        return;
    }
    CRawImage gray;
    if (!gray.Create(page.width, page.height, 8, 300)) {
        state.SkipWithError("no memory");
        return;
    }
    for (int y = 0; y < page.height; ++y) std::copy(page.rows[y], page.rows[y] + page.width, gray.Row(y));
    CNormalizeTextSizeInfo size;
    size.height = 28;
    size.tolerance = 20;
    CGrayToBinInfo bin;
    bin.method = 8;
    bin.blockNum = 1;
    CStraightenZoneInfo straighten;
    CRawImage binary(gray);
    ApplyGrayToBinStep(binary, bin);
    const int stage = static_cast<int>(state.range(0));
    for (auto _ : state) {
        if (stage == 0) {
            CRawImage img(gray);
            NormalizeTextSize(img, size);
        } else if (stage == 1) {
            CRawImage img(gray);
            ApplyGrayToBinStep(img, bin);
        } else if (stage == 2) {
            CRawImage img(binary);
            StraightenZone(img, straighten);
        } else {
            ZoneFound zone;
            benchmark::DoNotOptimize(FindMachineReadableZone(binary, zone));
        }
    }
}

void A4At300Dpi(benchmark::State& state) { ReadZone(state, 2480, 3508); }
void Photo12Mp(benchmark::State& state) { ReadZone(state, 4000, 3000); }

}  // namespace

BENCHMARK(A4At300Dpi)->Name("zone_read/a4_300dpi")->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(Photo12Mp)->Name("zone_read/photo_12mp")->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(Stage)->Name("zone_read/a4_stage")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

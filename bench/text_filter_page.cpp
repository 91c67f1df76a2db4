// One passport data page (TD3, 300 dpi) through the size level and the text
// level of the text example set, with the engine already started:
//   - classify: the host's colour rows to the answer (exported functions,
//     examples/templates/text.xml);
//   - text_split: the text filter alone, with the time split into location
//     (preprocessing, cropping, line and character location), recognition
//     (dynamic merge with the engine) and matching (the feature against the
//     passport and visa references).
// Engine plug-ins are taken from the build directory (the parent of this
// program's directory).
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/TextConv.h"
#include "filters/FilterArray.h"
#include "filters/FilterFactory.h"
#include "filters/FilterText.h"
#include "image/Dib.h"
#include "imagefile/ImageFile.h"
#include "morvane/classifier.h"
#include "platform/DynamicLibrary.h"
#include "platform/EngineFiles.h"
#include "xml/XmlDocument.h"

using namespace libMorvaneClassifier;

namespace {

const std::string kRoot = MORVANE_SOURCE_DIR;
const std::string kPage = kRoot + "/examples/pages/text/300dpi/TEXT-PASSPORT_mrz.png";

const MorvaneChar* W(const std::u16string& s) { return reinterpret_cast<const MorvaneChar*>(s.c_str()); }

void UseBuildEngines() {
    if (EngineDirectory().empty()) EngineDirectory() = ExecutableDirectory() + "../";
}

// The page as 24-bit colour rows, as a host hands it over.
struct ColourPage {
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;
    std::vector<unsigned char*> rows;
    bool Load() {
        CRawImage img;
        if (!imagefile::LoadImageFile(img, Utf8ToUtf16(kPage)) || img.bitCount != 1) return false;
        width = img.width;
        height = img.height;
        const size_t stride = static_cast<size_t>(width) * 3;
        pixels.assign(stride * height, 255);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (img.rows[y][x / 8] & (0x80 >> (x % 8))) {
                    pixels[y * stride + x * 3] = pixels[y * stride + x * 3 + 1] = pixels[y * stride + x * 3 + 2] = 20;
                }
        for (int y = 0; y < height; ++y) rows.push_back(&pixels[y * stride]);
        return true;
    }
};

void Classify(benchmark::State& state) {
    UseBuildEngines();
    ColourPage page;
    if (!page.Load()) {
        state.SkipWithError("example page missing (examples/make_text_pages.sh)");
        return;
    }
    int index = -1;
    if (LoadClassifier(nullptr, W(Utf8ToUtf16(kRoot + "/examples/workdir/"))) != 0 ||
        AddMainTemplate(W(Utf8ToUtf16(kRoot + "/examples/templates/text.xml")), &index) != 0) {
        state.SkipWithError("classifier set-up failed");
        return;
    }
    // The working directory holds no engines; use the build's.
    EngineDirectory().clear();
    UseBuildEngines();
    SetPixelResolution(300, 300, index);
    MorvaneChar id[64];
    auto once = [&]() {
        int n = 64;
        return ClassifyImageMemory(page.rows.data(), page.width, page.height, 24, 0) == 0 &&
               GetTemplateID(id, &n) == 0 && Utf16ToUtf8(reinterpret_cast<char16_t*>(id)) == "TEXT-PASSPORT";
    };
    if (!once()) {  // also starts the engine
        state.SkipWithError("the page did not come out as TEXT-PASSPORT");
        FreeClassifier();
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(once());
    FreeClassifier();
}
BENCHMARK(Classify)->Unit(benchmark::kMillisecond)->UseRealTime();

bool ReadReference(const std::string& file, CFilterTextInfo& info) {
    CXmlDocument xml;
    if (!xml.Load(Utf8ToUtf16(kRoot + "/examples/templates/sub/" + file))) return false;
    xml.ResetPosition();
    return xml.FindElement(u"SubTemplate") && xml.EnterElement() && xml.FindElement(u"FilterInfoList") &&
           xml.EnterElement() && xml.FindElement(u"FilterInfo") && xml.EnterElement() && info.ReadXml(xml);
}

void TextSplit(benchmark::State& state) {
    UseBuildEngines();
    RegisterFilterRecords();
    CFilterArray filters;
    CRawImage page;
    CFilterTextInfo passport, visa;
    if (!filters.Load(Utf8ToUtf16(kRoot + "/examples/templates/text_filters.xml")) ||
        !imagefile::LoadImageFile(page, Utf8ToUtf16(kPage)) || !ReadReference("text_passport.xml", passport) ||
        !ReadReference("text_visa.xml", visa)) {
        state.SkipWithError("templates or example page missing");
        return;
    }
    auto* text = dynamic_cast<CFilterText*>(filters.Find(4));
    CFilterTextInfo first;
    const int32_t code = text ? text->ExtractFeature(&page, 1, &first) : -61;  // also starts the engine
    if (code != 0) {
        state.SkipWithError(("the zone could not be measured: " + std::to_string(code)).c_str());
        return;
    }
    TextFilterTimings times;
    text->timings = &times;
    int64_t runs = 0;
    for (auto _ : state) {
        std::unique_ptr<CFilterInfoBase> feature = text->CreateFeature(&page, 1);
        const auto start = std::chrono::steady_clock::now();
        int32_t s = 0;
        if (feature) {
            s += feature->Compare(&passport);
            s += feature->Compare(&visa);
        }
        times.matching += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(s);
        ++runs;
    }
    if (runs > 0) {
        state.counters["location_ms"] = times.location * 1000 / runs;
        state.counters["recognition_ms"] = times.recognition * 1000 / runs;
        state.counters["matching_ms"] = times.matching * 1000 / runs;
    }
}
BENCHMARK(TextSplit)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

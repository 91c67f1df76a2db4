// One passport data page (TD3, 300 dpi) through the size level and the text
// level of the text example set, with the engine already started:
//   - classify: the host's colour rows to the answer (exported functions,
//     examples/templates/text.xml);
//   - text_split: the text filter alone, with the time split into location
//     (preprocessing, cropping, line and character location), recognition
//     (dynamic merge with the engine) and matching (the feature against the
//     passport and visa references); recognition_ms_per_line and the share
//     of zone characters read right (place by place) are what the Tesseract
//     reference below is compared with;
//   - tesseract_zone_line (with libtesseract): each of the page's two zone
//     lines, cut out with a margin, read by Tesseract's single-line mode
//     (LSTM, English data, the zone's characters allowed, one thread), per
//     line, with its share of characters right.
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

#ifdef HAVE_TESSERACT
#include <dlfcn.h>
#include <tesseract/baseapi.h>

#include <algorithm>
#include <memory>
#endif

using namespace libMorvaneClassifier;

namespace {

const std::string kRoot = MORVANE_SOURCE_DIR;
const std::string kPage = kRoot + "/examples/pages/text/300dpi/TEXT-PASSPORT_mrz.png";

const MorvaneChar* W(const std::u16string& s) { return reinterpret_cast<const MorvaneChar*>(s.c_str()); }

// The zone printed on the page (examples/pages/text/expected.txt).
const std::string kZone[2] = {"P<UTOOKAFOR<<YUKI<<<<<<<<<<<<<<<<<<<<<<<<<<<",
                              "7R17842471UTO4212124F3407161529389330<<<<<44"};

// Characters right place by place against the zone lines, and their number.
void CountRight(const std::vector<std::string>& lines, int64_t& right, int64_t& total) {
    for (int k = 0; k < 2; ++k) {
        total += static_cast<int64_t>(kZone[k].size());
        if (static_cast<size_t>(k) >= lines.size()) continue;
        for (size_t i = 0; i < kZone[k].size() && i < lines[static_cast<size_t>(k)].size(); ++i)
            right += kZone[k][i] == lines[static_cast<size_t>(k)][i];
    }
}

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
                if (img.Row(y)[x / 8] & (0x80 >> (x % 8))) {
                    pixels[y * stride + x * 3] = pixels[y * stride + x * 3 + 1] =
                        pixels[y * stride + x * 3 + 2] = 20;
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
    CFilterArray filters;
    CRawImage page;
    CFilterTextInfo passport, visa;
    if (!filters.Load(Utf8ToUtf16(kRoot + "/examples/templates/text_filters.xml")) ||
        !imagefile::LoadImageFile(page, Utf8ToUtf16(kPage)) ||
        !ReadReference("text_passport.xml", passport) || !ReadReference("text_visa.xml", visa)) {
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
    // The lines read, the last two being the zone.
    std::vector<std::string> read;
    if (auto* f = dynamic_cast<CFilterTextInfo*>(text->CreateFeature(&page, 1).release())) {
        std::unique_ptr<CFilterTextInfo> owned(f);
        if (f->textLines)
            for (int32_t i = 0; i < f->textLines->count; ++i)
                if (const CTextLine* l = f->textLines->items[static_cast<size_t>(i)].get())
                    read.push_back(Utf16ToUtf8(l->text));
    }
    if (read.size() > 2) read.erase(read.begin(), read.end() - 2);
    int64_t right = 0, total = 0;
    CountRight(read, right, total);
    state.counters["lines"] = static_cast<double>(read.size());
    if (runs > 0 && !read.empty())
        state.counters["recognition_ms_per_line"] =
            times.recognition * 1000 / runs / static_cast<double>(read.size());
    state.counters["chars_right_pct"] = 100.0 * static_cast<double>(right) / static_cast<double>(total);
}
BENCHMARK(TextSplit)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef HAVE_TESSERACT
// The page's two zone lines: the last two bands of rows holding ink, each
// with the columns holding ink, cut out of the 1-bit page as 8-bit gray
// (ink 0, paper 255) with a 10-pixel white margin.
struct LineImage {
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;
};
std::vector<LineImage> ZoneLines(const CRawImage& page) {
    auto ink = [&](int x, int y) { return (page.Row(y)[x >> 3] & (0x80 >> (x & 7))) != 0; };
    std::vector<std::pair<int, int>> bands;
    int start = -1;
    for (int y = 0; y <= page.height; ++y) {
        bool any = false;
        for (int x = 0; y < page.height && x < page.width && !any; ++x) any = ink(x, y);
        if (any && start < 0) start = y;
        if (!any && start >= 0) {
            if (y - start >= 8) bands.push_back({start, y});
            start = -1;
        }
    }
    std::vector<LineImage> out;
    for (size_t b = bands.size() >= 2 ? bands.size() - 2 : 0; b < bands.size(); ++b) {
        int left = page.width, right = 0;
        for (int y = bands[b].first; y < bands[b].second; ++y)
            for (int x = 0; x < page.width; ++x)
                if (ink(x, y)) {
                    left = std::min(left, x);
                    right = std::max(right, x + 1);
                }
        LineImage l;
        const int m = 10;
        l.width = right - left + 2 * m;
        l.height = bands[b].second - bands[b].first + 2 * m;
        l.pixels.assign(static_cast<size_t>(l.width) * l.height, 255);
        for (int y = bands[b].first; y < bands[b].second; ++y)
            for (int x = left; x < right; ++x)
                if (ink(x, y))
                    l.pixels[static_cast<size_t>(y - bands[b].first + m) * l.width + (x - left + m)] = 0;
        out.push_back(std::move(l));
    }
    return out;
}

void TesseractZoneLine(benchmark::State& state) {
    CRawImage page;
    if (!imagefile::LoadImageFile(page, Utf8ToUtf16(kPage)) || page.bitCount != 1) {
        state.SkipWithError("example page missing (examples/make_text_pages.sh)");
        return;
    }
    const std::vector<LineImage> lines = ZoneLines(page);
    if (lines.size() != 2) {
        state.SkipWithError("the zone lines were not found");
        return;
    }
    tesseract::TessBaseAPI api;
    if (api.Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY) != 0) {
        state.SkipWithError("Tesseract's English data missing");
        return;
    }
    api.SetPageSegMode(tesseract::PSM_SINGLE_LINE);
    api.SetVariable("tessedit_char_whitelist", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789<");
    api.SetVariable("debug_file", "/dev/null");
    std::vector<std::string> read(2);
    size_t k = 0;
    for (auto _ : state) {
        const LineImage& l = lines[k];
        api.SetImage(l.pixels.data(), l.width, l.height, 1, l.width);
        api.SetSourceResolution(300);
        std::unique_ptr<char[]> t(api.GetUTF8Text());
        std::string s = t ? t.get() : "";
        while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
        read[k] = s;
        k = 1 - k;
    }
    int64_t right = 0, total = 0;
    CountRight(read, right, total);
    state.counters["chars_right_pct"] = 100.0 * static_cast<double>(right) / static_cast<double>(total);
    api.End();
}
BENCHMARK(TesseractZoneLine)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef HAVE_TESSERACT
    // The Tesseract reference runs on one thread, as the library's engines
    // run it: OpenMP's parallel regions made inactive.
    if (void* gomp = ::dlopen("libgomp.so.1", RTLD_NOW | RTLD_NOLOAD)) {
        if (auto setLevels = reinterpret_cast<void (*)(int)>(::dlsym(gomp, "omp_set_max_active_levels")))
            setLevels(0);
        ::dlclose(gomp);
    }
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

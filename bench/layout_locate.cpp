// Text location (LocateText: lines, then the characters of each line) on a
// two-line OCR-B zone and on an A4 page of 40 text lines, both at 300 dpi and
// binarised by the library. The pages are drawn with ImageMagick when the
// benchmark starts (DejaVu Sans 10 pt and OCR-B 11 pt); without `convert`
// or the fonts the benchmarks are skipped. For reference the same A4 page
// goes through Tesseract's page layout analysis (TessBaseAPI::AnalyseLayout)
// when libtesseract was found at configure time.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "image/Dib.h"
#include "layout/CharLocation.h"
#include "layout/LineLocation.h"

#ifdef HAVE_TESSERACT
#include <tesseract/baseapi.h>
#endif

using namespace libMorvaneClassifier;

namespace {

std::string Run(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

std::string FontFile(const std::string& name) {
    std::string all = Run("fc-list --format '%{file}\\n' 2>/dev/null");
    size_t at = 0;
    while (at < all.size()) {
        const size_t end = all.find('\n', at);
        const std::string path = all.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (path.size() >= name.size() && path.compare(path.size() - name.size(), name.size(), name) == 0 &&
            (path.size() == name.size() || path[path.size() - name.size() - 1] == '/'))
            return path;
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return {};
}

// Renders with ImageMagick into a gray PGM and binarises it with the
// library's default method. Empty image on failure.
CRawImage Render(const std::string& args) {
    CRawImage bin;
    char tmpl[] = "/tmp/morvane-bench-XXXXXX";
    const int fd = mkstemp(tmpl);
    if (fd < 0) return bin;
    close(fd);
    const std::string path = std::string(tmpl) + ".pgm";
    std::remove(tmpl);
    if (std::system(("convert " + args + " -colorspace gray -depth 8 " + path + " 2>/dev/null").c_str()) != 0)
        return bin;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxv = 0;
    CRawImage gray;
    if (in >> magic >> w >> h >> maxv && magic == "P5" && maxv == 255 && gray.Create(w, h, 8, 300)) {
        in.get();
        for (int y = 0; y < h; ++y) in.read(reinterpret_cast<char*>(gray.Row(y)), w);
        gray.GrayToBinary(&bin, 6);
    }
    std::remove(path.c_str());
    return bin;
}

const char* kWords[] = {"document", "number",   "date",  "of",     "birth", "expiry",    "nationality",
                        "surname",  "given",    "names", "place",  "issue", "authority", "Republic",
                        "licence",  "passport", "card",  "holder", "1984",  "20250317",  "X4421",
                        "category", "class",    "valid", "until"};

const CRawImage& A4Page() {
    static CRawImage page;
    static bool tried = false;
    if (!tried) {
        tried = true;
        const std::string font = FontFile("DejaVuSans.ttf");
        if (font.empty()) return page;
        std::string args = "-size 2480x3508 xc:white -density 300 -units PixelsPerInch -font " + font +
                           " -pointsize 10 -fill black";
        unsigned r = 12345;
        for (int line = 0; line < 40; ++line) {
            std::string text;
            const int words = 6 + line % 7;
            for (int k = 0; k < words; ++k) {
                r = r * 1103515245u + 12345u;
                text += std::string(k ? " " : "") + kWords[(r >> 16) % (sizeof kWords / sizeof *kWords)];
            }
            args += " -annotate +180+" + std::to_string(200 + line * 80) + " '" + text + "'";
        }
        page = Render(args);
    }
    return page;
}

const CRawImage& MrzZone() {
    static CRawImage zone;
    static bool tried = false;
    if (!tried) {
        tried = true;
        const std::string font = FontFile("OCRB.otf");
        if (font.empty()) return zone;
        zone = Render("-size 1450x230 xc:white -density 300 -units PixelsPerInch -font " + font +
                      " -pointsize 11 -fill black"
                      " -annotate +40+90 'P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<'"
                      " -annotate +40+175 'L898902C36UTO7408122F1204159ZE184226B<<<<<10'");
    }
    return zone;
}

// Location records with pixel limits for 10 pt text at 300 dpi (em = 42 px).
CLineLocationInfo LineRecord(int em, int width) {
    CLineLocationInfo info;
    auto p = std::make_unique<CLineProperty>();
    p->MinNum = 1;
    p->MinHeight = em * 4 / 10;
    p->MaxHeight = em * 14 / 10;
    p->MinSpace = em * 15 / 100;
    p->MaxSpace = em * 3;
    p->MinLength = em;
    p->MaxLength = width;
    info.property = std::move(p);
    info.methods = std::make_unique<CLineLocationMethodList>();
    info.methods->Append(std::make_unique<CLineLocationMethod>());  // type 3
    info.SetImageSize(10000, 10000);                                // limits in pixels
    return info;
}

CCharLocationInfo CharRecord(int em) {
    CCharLocationInfo info;
    auto p = std::make_unique<CCharProperty>();
    p->MinNum = 1;
    p->MinWidth = std::max(1, em / 20);
    p->MaxWidth = em * 8 / 10;
    p->MinHeight = em * 3 / 10;
    p->MaxHeight = em * 11 / 10;
    p->MinWHRatio = 5;
    p->MaxWHRatio = 160;
    info.property = std::move(p);
    info.methods = std::make_unique<CCharLocationMethodList>();
    info.methods->Append(std::make_unique<CCharLocationMethod>());  // type 3
    info.SetImageSize(10000, 10000);
    return info;
}

void Locate(benchmark::State& state, const CRawImage& img, int em) {
    if (!img.HasPixels()) {
        state.SkipWithError("page could not be drawn (ImageMagick convert and fonts needed)");
        return;
    }
    const CLineLocationInfo lines = LineRecord(em, img.width);
    const CCharLocationInfo chars = CharRecord(em);
    std::vector<TextLineResult> results;
    for (auto _ : state) {
        const int32_t code = LocateText(img, lines, chars, results);
        if (code != 0) state.SkipWithError("LocateText failed");
        benchmark::DoNotOptimize(results.data());
    }
    size_t n = 0;
    for (const auto& r : results) n += r.chars.size();
    state.counters["lines"] = static_cast<double>(results.size());
    state.counters["chars"] = static_cast<double>(n);
}

void BM_LocateTextMrzZone(benchmark::State& state) { Locate(state, MrzZone(), 46); }
BENCHMARK(BM_LocateTextMrzZone)->Unit(benchmark::kMillisecond);

void BM_LocateTextA4Page(benchmark::State& state) { Locate(state, A4Page(), 42); }
BENCHMARK(BM_LocateTextA4Page)->Unit(benchmark::kMillisecond);

void BM_LocateTextLinesA4Page(benchmark::State& state) {
    const CRawImage& img = A4Page();
    if (!img.HasPixels()) {
        state.SkipWithError("page could not be drawn (ImageMagick convert and fonts needed)");
        return;
    }
    const CLineLocationInfo lines = LineRecord(42, img.width);
    TextBoxList boxes;
    for (auto _ : state) {
        if (!LocateTextLines(img, lines, boxes)) state.SkipWithError("LocateTextLines failed");
        benchmark::DoNotOptimize(boxes.data());
    }
    state.counters["lines"] = static_cast<double>(boxes.size());
}
BENCHMARK(BM_LocateTextLinesA4Page)->Unit(benchmark::kMillisecond);

#ifdef HAVE_TESSERACT
void BM_TesseractAnalyseLayoutA4Page(benchmark::State& state) {
    const CRawImage& img = A4Page();
    if (!img.HasPixels()) {
        state.SkipWithError("page could not be drawn (ImageMagick convert and fonts needed)");
        return;
    }
    tesseract::TessBaseAPI api;
    api.InitForAnalysePage();
    api.SetPageSegMode(tesseract::PSM_AUTO);
    int lines = 0;
    for (auto _ : state) {
        // 1 bit per pixel, set bit black: the library's own layout.
        api.SetImage(img.Bits(), img.width, img.height, 0, img.bytesPerRow);
        api.SetSourceResolution(300);
        std::unique_ptr<tesseract::PageIterator> it(api.AnalyseLayout());
        lines = 0;
        if (it) {
            do {
                ++lines;
            } while (it->Next(tesseract::RIL_TEXTLINE));
        }
        benchmark::DoNotOptimize(lines);
    }
    state.counters["lines"] = lines;
    api.End();
}
BENCHMARK(BM_TesseractAnalyseLayoutA4Page)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();

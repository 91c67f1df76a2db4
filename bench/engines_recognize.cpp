// Recognition engines: one character through the gray-character engine for
// each data file, and one 44-character OCR-B line through the printed-line
// engine, each engine started once before timing. The engine plug-ins are
// taken from the build directory (the parent of this program's directory).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "engines/GeneralRecog.h"
#include "engines/KernelInfo.h"
#include "image/Dib.h"
#include "platform/DynamicLibrary.h"
#include "platform/EngineFiles.h"

using namespace libMorvaneClassifier;

namespace {

bool Render(const std::string& font, int pointSize, const std::string& text, CRawImage& image) {
    char path[] = "/tmp/morvane-bench-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return false;
    close(fd);
    const std::string out = std::string(path) + ".pgm";
    const std::string cmd = "convert -density 300 -font '" + font + "' -pointsize " + std::to_string(pointSize) +
                            " 'label:" + text + "' -depth 8 '" + out + "' >/dev/null 2>&1";
    bool ok = std::system(cmd.c_str()) == 0;
    std::ifstream in(out, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    in >> magic >> w >> h >> maxval;
    in.get();
    ok = ok && in && magic == "P5" && maxval == 255 && image.Create(w, h, 8, 300) == 1;
    for (int y = 0; ok && y < h; ++y) ok = static_cast<bool>(in.read(reinterpret_cast<char*>(image.rows[y]), w));
    unlink(out.c_str());
    unlink(path);
    return ok;
}

void UseBuildEngines() {
    if (EngineDirectory().empty()) EngineDirectory() = ExecutableDirectory() + "../";
}

const char* const kOcrb = "/usr/share/fonts/opentype/ocr-b/OCRB.otf";
const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// Argument: the sub type of the data file.
void BM_GrayCharacter(benchmark::State& state) {
    UseBuildEngines();
    const int subType = static_cast<int>(state.range(0));
    CRawImage glyph;
    if (!Render(subType == 6 ? kOcrb : kDejaVu, 10, "K", glyph)) {
        state.SkipWithError("cannot render the glyph (ImageMagick)");
        return;
    }
    CKernelInfo engine;
    engine.subType = subType;
    engine.filterType = 255;
    RecogResult r {};
    if (RecognizeRegion(glyph, 0, 0, glyph.width, glyph.height, engine, r) != 0) {
        state.SkipWithError("the gray-character engine did not start");
        return;
    }
    for (auto _ : state) {
        RecognizeRegion(glyph, 0, 0, glyph.width, glyph.height, engine, r);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_GrayCharacter)->Arg(6)->Arg(7)->Arg(9)->Arg(10)->Arg(11)->Unit(benchmark::kMillisecond);

// A blurred-edge worst case for the passport file: a merged pair, where the
// prototypes place nothing well and Tesseract is asked as well.
void BM_GrayPassportMergedPair(benchmark::State& state) {
    UseBuildEngines();
    CRawImage glyph;
    if (!Render(kOcrb, 10, "KB", glyph)) {
        state.SkipWithError("cannot render the glyph (ImageMagick)");
        return;
    }
    CKernelInfo engine;
    engine.subType = 6;
    RecogResult r {};
    if (RecognizeRegion(glyph, 0, 0, glyph.width, glyph.height, engine, r) != 0) {
        state.SkipWithError("the gray-character engine did not start");
        return;
    }
    for (auto _ : state) {
        RecognizeRegion(glyph, 0, 0, glyph.width, glyph.height, engine, r);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_GrayPassportMergedPair)->Unit(benchmark::kMillisecond);

void BM_PrintedLine44(benchmark::State& state) {
    UseBuildEngines();
    CRawImage line;
    if (!Render(kOcrb, 10, "P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<", line)) {
        state.SkipWithError("cannot render the line (ImageMagick)");
        return;
    }
    CKernelInfo engine;
    engine.subType = 0;
    RecogResult r {};
    if (RecognizeRegion(line, 0, 0, line.width, line.height, engine, r) != 0) {
        state.SkipWithError("the printed-line engine did not start");
        return;
    }
    for (auto _ : state) {
        RecognizeRegion(line, 0, 0, line.width, line.height, engine, r);
        benchmark::DoNotOptimize(r);
    }
    state.counters["chars"] = static_cast<double>(GeneralRecog().LineCharacters().size());
}
BENCHMARK(BM_PrintedLine44)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

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
    const std::string cmd = "convert -density 300 -font '" + font + "' -pointsize " +
                            std::to_string(pointSize) + " 'label:" + text + "' -depth 8 '" + out +
                            "' >/dev/null 2>&1";
    bool ok = std::system(cmd.c_str()) == 0;
    std::ifstream in(out, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    in >> magic >> w >> h >> maxval;
    in.get();
    ok = ok && in && magic == "P5" && maxval == 255 && image.Create(w, h, 8, 300) == 1;
    for (int y = 0; ok && y < h; ++y)
        ok = static_cast<bool>(in.read(reinterpret_cast<char*>(image.Row(y)), w));
    unlink(out.c_str());
    unlink(path);
    return ok;
}

void UseBuildEngines() {
    if (EngineDirectory().empty()) EngineDirectory() = ExecutableDirectory() + "../";
}

const char* const kOcrb = "/usr/share/fonts/opentype/ocr-b/OCRB.otf";
const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// Times recognising `text` drawn in `font` through an engine record of the
// given sub type (and filter type); false when the page could not be drawn
// or the engine did not start (the run is then marked as failed).
bool TimeRecognition(benchmark::State& state, const char* font, const char* text, int subType, int filterType,
                     const char* engineName) {
    UseBuildEngines();
    CRawImage image;
    if (!Render(font, 10, text, image)) {
        state.SkipWithError("cannot render the text (ImageMagick)");
        return false;
    }
    CKernelInfo engine;
    engine.subType = subType;
    if (filterType >= 0) engine.filterType = filterType;
    RecogResult r{};
    if (RecognizeRegion(image, 0, 0, image.width, image.height, engine, r) != 0) {
        state.SkipWithError(engineName);
        return false;
    }
    for (auto _ : state) {
        RecognizeRegion(image, 0, 0, image.width, image.height, engine, r);
        benchmark::DoNotOptimize(r);
    }
    return true;
}

// Argument: the sub type of the data file.
void BM_GrayCharacter(benchmark::State& state) {
    const int subType = static_cast<int>(state.range(0));
    TimeRecognition(state, subType == 6 ? kOcrb : kDejaVu, "K", subType, 255,
                    "the gray-character engine did not start");
}
BENCHMARK(BM_GrayCharacter)->Arg(6)->Arg(7)->Arg(9)->Arg(10)->Arg(11)->Unit(benchmark::kMillisecond);

// A blurred-edge worst case for the passport file: a merged pair, where the
// prototypes place nothing well and Tesseract is asked as well.
void BM_GrayPassportMergedPair(benchmark::State& state) {
    TimeRecognition(state, kOcrb, "KB", 6, -1, "the gray-character engine did not start");
}
BENCHMARK(BM_GrayPassportMergedPair)->Unit(benchmark::kMillisecond);

void BM_PrintedLine44(benchmark::State& state) {
    if (TimeRecognition(state, kOcrb, "P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<", 0, -1,
                        "the printed-line engine did not start"))
        state.counters["chars"] = static_cast<double>(GeneralRecog().LineCharacters().size());
}
BENCHMARK(BM_PrintedLine44)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

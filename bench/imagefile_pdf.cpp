// A PDF page that is one scanned image, read at the image's own resolution
// (the image's stream through its own decoder), against rendering the same
// page at that resolution: Poppler in this process (one thread) and the
// pdftoppm program (a process per page, writing its raster to a file), when
// they are there. Two pages: the 200-dpi A4 example page as DCT (JPEG) and
// the 300-dpi US Letter example page as CCITT G4.
//
//   build-release/bench/imagefile_pdf --benchmark_filter=Letter
// The ratio render / read is the time the scanned-image route saves.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "PdfTestFiles.h"
#include "image/Dib.h"
#include "imagefile/CodecTable.h"
#include "imagefile/ImageCodecs.h"
#include "imagefile/ImageFile.h"
#include "imagefile/PdfCodec.h"

namespace {

struct Sample {
    std::string pdf;
    int dpi = 0;
    std::string path;  // the PDF on disk, for pdftoppm
};

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Sample Make(bool jpeg) {
    Sample s;
    const std::string page = jpeg ? MORVANE_SOURCE_DIR "/examples/pages/200dpi/A4_page.jpg"
                                  : MORVANE_SOURCE_DIR "/examples/pages/300dpi/LETTER_page.tif";
    CDib image;
    if (!imagefile::LoadImageFile(image, std::u16string(page.begin(), page.end()))) return s;
    s.dpi = image.xResolution;
    s.pdf = pdftest::MakePdf({jpeg ? pdftest::JpegPage(FileText(page), image.width, image.height,
                                                       image.bitCount == 8 ? 1 : 3, s.dpi)
                                   : pdftest::G4Page(image, s.dpi, s.dpi)});
    s.path = "/tmp/morvane-bench-" + std::to_string(getpid()) + (jpeg ? "-a4.pdf" : "-letter.pdf");
    std::ofstream(s.path, std::ios::binary).write(s.pdf.data(), static_cast<std::streamsize>(s.pdf.size()));
    return s;
}

const Sample& Get(bool jpeg) {
    static const Sample a4 = Make(true), letter = Make(false);
    return jpeg ? a4 : letter;
}

const uint8_t* Data(const Sample& s) { return reinterpret_cast<const uint8_t*>(s.pdf.data()); }

void Read(benchmark::State& state, bool jpeg) {
    const Sample& s = Get(jpeg);
    for (auto _ : state) {
        CDib image;
        if (!imagefile::DecodeEncodedPage(Data(s), s.pdf.size(), 0, image, imagefile::DecodeLimits())) {
            state.SkipWithError(imagefile::LastReadFailure().c_str());
            break;
        }
        benchmark::DoNotOptimize(image.Rows());
    }
    state.counters["dpi"] = s.dpi;
}

void Render(benchmark::State& state, bool jpeg) {
    if (!imagefile::PdfRendererAvailable()) {
        state.SkipWithError("this build has no PDF renderer");
        return;
    }
    const Sample& s = Get(jpeg);
    for (auto _ : state) {
        CDib image;
        if (!imagefile::RenderPdfPage(Data(s), s.pdf.size(), 0, s.dpi, image, imagefile::DecodeLimits())) {
            state.SkipWithError(imagefile::LastReadFailure().c_str());
            break;
        }
        benchmark::DoNotOptimize(image.Rows());
    }
    state.counters["dpi"] = s.dpi;
}

void Pdftoppm(benchmark::State& state, bool jpeg) {
#ifdef MORVANE_PDFTOPPM
    const Sample& s = Get(jpeg);
    const std::string out = s.path + ".out";
    const std::string command = std::string(MORVANE_PDFTOPPM) + " -r " + std::to_string(s.dpi) +
                                (jpeg ? " -gray" : " -mono") + " -singlefile " + s.path + " " + out;
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("pdftoppm failed");
            break;
        }
    }
    std::remove((out + (jpeg ? ".pgm" : ".pbm")).c_str());
    state.counters["dpi"] = s.dpi;
#else
    (void)jpeg;
    state.SkipWithError("pdftoppm was not found when this was built");
#endif
}

BENCHMARK_CAPTURE(Read, A4Jpeg200, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Render, A4Jpeg200, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pdftoppm, A4Jpeg200, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Read, LetterG4_300, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Render, LetterG4_300, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pdftoppm, LetterG4_300, false)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// Recognises whole images (binary PGM) with one engine record and prints,
// per image, the file name and the candidates with their scores:
//
//   morvane-recognize [-e ENGINEDIR] [-m MAINTYPE] [-s SUBTYPE] [-f FILTERTYPE] FILE.pgm...
//   FILE.pgm<TAB>A:120 B:340 ...
//
// The engine directory defaults to the directory of this program, where a
// build puts the engine plug-ins.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "engines/GeneralRecog.h"
#include "engines/KernelInfo.h"
#include "image/Dib.h"
#include "platform/DynamicLibrary.h"
#include "platform/EngineFiles.h"
#include "core/TextConv.h"

using namespace libMorvaneClassifier;

namespace {

bool ReadPgm(const char* path, CRawImage& image) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    in >> magic >> w >> h >> maxval;
    in.get();
    if (!in || magic != "P5" || maxval != 255 || w <= 0 || h <= 0 || w > 65535 || h > 65535) return false;
    if (image.Create(w, h, 8, 300) != 1) return false;
    for (int y = 0; y < h; ++y)
        if (!in.read(reinterpret_cast<char*>(image.rows[y]), w)) return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CKernelInfo engine;
    std::string dir = ExecutableDirectory();
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == '-'; i += 2) {
        const char* v = argv[i + 1];
        if (!std::strcmp(argv[i], "-e")) dir = v;
        else if (!std::strcmp(argv[i], "-m")) engine.mainType = std::atoi(v);
        else if (!std::strcmp(argv[i], "-s")) engine.subType = std::atoi(v);
        else if (!std::strcmp(argv[i], "-f")) engine.filterType = std::atoi(v);
        else break;
    }
    if (i >= argc) {
        std::fprintf(stderr, "usage: morvane-recognize [-e DIR] [-m MAIN] [-s SUB] [-f FILTER] FILE.pgm...\n");
        return 2;
    }
    EngineDirectory() = dir;
    for (; i < argc; ++i) {
        CRawImage image;
        std::printf("%s\t", argv[i]);
        if (!ReadPgm(argv[i], image)) {
            std::printf("unreadable\n");
            continue;
        }
        RecogResult r {};
        const int code = RecognizeRegion(image, 0, 0, image.width, image.height, engine, r);
        if (code != 0) {
            std::printf("failed %d\n", code);
            continue;
        }
        for (int k = 0; k < RecogCandidateCount(r); ++k)
            std::printf("%s%s:%u", k ? " " : "", Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(r.candidates[k]))).c_str(),
                        r.scores[k]);
        std::printf("\n");
    }
    return 0;
}

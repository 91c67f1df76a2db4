// Recognises whole images (binary PGM) with one engine record and prints,
// per image, the file name and the candidates with their scores:
//
//   morvane-recognize [-e ENGINEDIR] [-m MAINTYPE] [-s SUBTYPE] [-f FILTERTYPE] [--] FILE.pgm...
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

#include "core/TextConv.h"
#include "engines/GeneralRecog.h"
#include "engines/KernelInfo.h"
#include "image/Dib.h"
#include "platform/DynamicLibrary.h"
#include "platform/EngineFiles.h"
#include "tool_options.h"

using namespace libMorvaneClassifier;

namespace {

constexpr char kUsage[] =
    "Usage: morvane-recognize [-e DIR] [-m MAIN] [-s SUB] [-f FILTER] [--] FILE.pgm...\n"
    "Recognises each whole image (binary PGM) with one engine record and prints\n"
    "the file name and the candidates with their scores, one line per image.\n"
    "\n"
    "Options:\n"
    "  -e DIR         engine directory (default: the program's directory)\n"
    "  -m MAIN        the engine record's main type\n"
    "  -s SUB         the engine record's sub type\n"
    "  -f FILTER      the engine record's filter type\n"
    "  --help         show this text and exit\n"
    "  --version      print the version and exit\n"
    "  --             end of options: what follows are images\n";

bool ReadPgm(const char* path, CRawImage& image) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    in >> magic >> w >> h >> maxval;
    in.get();
    if (!in || magic != "P5" || maxval != 255 || w <= 0 || h <= 0 || w > 65535 || h > 65535) return false;
    if (image.Create(w, h, 8, 300) != 1) return false;
    for (int y = 0; y < h; ++y)
        if (!in.read(reinterpret_cast<char*>(image.Row(y)), w)) return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CKernelInfo engine;
    std::string dir = ExecutableDirectory();
    if (const int status = morvane_tool::HandleHelpAndVersion(argc, argv, "morvane-recognize", kUsage);
        status >= 0)
        return status;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; i += 2) {
        if (morvane_tool::IsEndOfOptions(argv[i])) {
            ++i;
            break;
        }
        int* field = !std::strcmp(argv[i], "-m")   ? &engine.mainType
                     : !std::strcmp(argv[i], "-s") ? &engine.subType
                     : !std::strcmp(argv[i], "-f") ? &engine.filterType
                                                   : nullptr;
        if ((!field && std::strcmp(argv[i], "-e") != 0) || i + 1 >= argc) {
            std::fprintf(stderr, "morvane-recognize: unknown option or missing value '%s'\n%s", argv[i],
                         kUsage);
            return 2;
        }
        const char* v = argv[i + 1];
        if (field)
            *field = std::atoi(v);
        else
            dir = v;
    }
    if (i >= argc) {
        std::fputs(kUsage, stderr);
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
        RecogResult r{};
        const int code = RecognizeRegion(image, 0, 0, image.width, image.height, engine, r);
        if (code != 0) {
            std::printf("failed %d\n", code);
            continue;
        }
        for (int k = 0; k < RecogCandidateCount(r); ++k)
            std::printf("%s%s:%u", k ? " " : "",
                        Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(r.candidates[k]))).c_str(),
                        r.scores[k]);
        std::printf("\n");
    }
    return 0;
}

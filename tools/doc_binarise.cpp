// morvane-binarise: the reference's pictures of the binarisation methods.
//
//   morvane-binarise PAGE OUT.png METHOD [LEFT TOP RIGHT BOTTOM]
//
// Reads PAGE, turns it gray with the standard formula, cuts the given
// rectangle (pixels; the whole page when absent), binarises it with GrayToBin
// method METHOD (0-8) exactly as a template's step does, and writes OUT.png.
// Exit status 0 when written, 1 when the page cannot be read or the method
// gives nothing, 2 on usage errors.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/TextConv.h"
#include "image/Dib.h"
#include "imagefile/ImageFile.h"

using namespace libMorvaneClassifier;

int main(int argc, char** argv) {
    if (argc != 4 && argc != 8) {
        std::fputs("usage: morvane-binarise PAGE OUT.png METHOD [LEFT TOP RIGHT BOTTOM]\n", stderr);
        return 2;
    }
    const int method = std::atoi(argv[3]);
    if (method < 0 || method > 8) {
        std::fputs("morvane-binarise: METHOD is 0 to 8\n", stderr);
        return 2;
    }
    CRawImage page;
    if (!imagefile::LoadImageFile(page, Utf8ToUtf16(argv[1]))) {
        std::fprintf(stderr, "morvane-binarise: cannot read %s\n", argv[1]);
        return 1;
    }
    CRawImage gray;
    if (page.bitCount == 24) {
        if (!page.TrueColorToGray(&gray, -1)) return 1;
    } else if (page.bitCount == 8) {
        gray = page;
    } else {
        std::fputs("morvane-binarise: the page must be gray or colour\n", stderr);
        return 1;
    }
    if (argc == 8) {
        CRawImage cut;
        if (!gray.Crop(&cut, std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]),
                       std::atoi(argv[7]))) {
            std::fputs("morvane-binarise: the rectangle lies outside the page\n", stderr);
            return 1;
        }
        gray = cut;
    }
    CRawImage binary;
    if (!gray.GrayToBinary(&binary, method) && method != 4) return 1;
    if (!binary.HasPixels() || !imagefile::SaveImageFile(binary, Utf8ToUtf16(argv[2]), 0)) {
        std::fprintf(stderr, "morvane-binarise: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

// make_test_pdf OUT.pdf [--encrypt] [--cut BYTES] [--rotate DEGREES] KIND:PAGE...
// Writes a PDF of the pages for the command-line and Python tests. KIND is
// dct (the JPEG file's own bytes), g4 (CCITT G4), flate (1-bit rows) or
// vector (the page's black areas redrawn as filled rectangles). Each page is
// placed at the resolution its file states. --rotate gives the pages after
// it a /Rotate entry (0: none). --cut keeps only the first BYTES bytes of
// the file (a damaged PDF).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "PdfTestFiles.h"
#include "image/Dib.h"
#include "imagefile/ImageCodecs.h"
#include "imagefile/ImageFile.h"

namespace {

// A 1-bit copy of any page: dark pixels (below half) black.
bool Bilevel(const CDib& in, CDib& out) {
    if (in.bitCount == 1) return out.Copy(in) != 0;
    if (!out.Create(in.width, in.height, 1, in.xResolution)) return false;
    for (int32_t y = 0; y < in.height; ++y)
        for (int32_t x = 0; x < in.width; ++x) {
            const int v = in.bitCount == 8 ? in.Row(y)[x] : in.Row(y)[x * 3 + 1];
            if (v < 128) out.Row(y)[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
    return true;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: make_test_pdf OUT.pdf [--encrypt] [--cut BYTES] [--rotate DEGREES] "
                 "dct|g4|flate|vector:PAGE...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string out = argv[1];
    bool encrypt = false;
    long cut = -1;
    long rotate = 0;
    std::vector<pdftest::Page> pages;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--encrypt") {
            encrypt = true;
            continue;
        }
        if (arg == "--cut" && i + 1 < argc) {
            cut = std::atol(argv[++i]);
            continue;
        }
        if (arg == "--rotate" && i + 1 < argc) {
            rotate = std::atol(argv[++i]);
            continue;
        }
        const size_t colon = arg.find(':');
        if (colon == std::string::npos) return Usage();
        const std::string kind = arg.substr(0, colon), path = arg.substr(colon + 1);
        CDib image;
        if (!imagefile::LoadImageFile(image, std::u16string(path.begin(), path.end()))) {
            std::fprintf(stderr, "make_test_pdf: %s: %s\n", path.c_str(),
                         imagefile::LastReadFailure().c_str());
            return 1;
        }
        const double dpi = image.xResolution;
        CDib bilevel;
        if (kind == "dct") {
            std::ifstream in(path, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            pages.push_back(
                pdftest::JpegPage(bytes, image.width, image.height, image.bitCount == 8 ? 1 : 3, dpi));
        } else if (!Bilevel(image, bilevel)) {
            std::fprintf(stderr, "make_test_pdf: %s: no memory\n", path.c_str());
            return 1;
        } else if (kind == "g4") {
            pages.push_back(pdftest::G4Page(bilevel, dpi, image.yResolution));
        } else if (kind == "flate") {
            pages.push_back(pdftest::FlatePage(bilevel, dpi));
        } else if (kind == "vector") {
            pages.push_back(pdftest::VectorPage(bilevel, dpi));
        } else {
            return Usage();
        }
        if (rotate != 0) pages.back().pageEntries += " /Rotate " + std::to_string(rotate);
    }
    std::string pdf = pdftest::MakePdf(pages, encrypt);
    if (cut >= 0 && static_cast<size_t>(cut) < pdf.size()) pdf.resize(static_cast<size_t>(cut));
    std::ofstream file(out, std::ios::binary);
    file.write(pdf.data(), static_cast<std::streamsize>(pdf.size()));
    return file ? 0 : 1;
}

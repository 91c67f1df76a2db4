// Runs text location on generated gray pages for scripts/layout-accuracy.py.
//
// Reads a job file, one page per line:
//   <page.pgm> <binarisation method> <lines|text> key=value ...
// with the keys lineMinH lineMaxH lineMinSp lineMaxSp lineMinLen lineMaxLen
// charMinW charMaxW charMinH charMaxH charMinR charMaxR (all in pixels or
// percent ratios). Each page (8-bit binary PGM) is binarised with the
// library's own gray-to-binary conversion, then its lines are located
// (component-based analyser, then projection) and, in "text" mode, the
// characters of each line. Prints "P <index>", then "L l t r b" per line and
// "C l t r b" per character (right and bottom exclusive).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "image/Dib.h"
#include "layout/CharLocation.h"
#include "layout/LineLocation.h"
#include "tool_options.h"

using namespace libMorvaneClassifier;

namespace {

constexpr char kUsage[] =
    "Usage: morvane-layout-accuracy [--] JOBFILE\n"
    "Locates the text lines (and, in \"text\" mode, the characters) of each page\n"
    "the job file lists, one page a line:\n"
    "  PAGE.pgm METHOD lines|text key=value...\n"
    "and prints \"P index\", then \"L l t r b\" per line and \"C l t r b\" per\n"
    "character.\n"
    "\n"
    "Options:\n"
    "  --help         show this text and exit\n"
    "  --version      print the version and exit\n"
    "  --             end of options: what follows is the job file\n";

bool ReadPgm(const std::string& path, CRawImage& img) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxv = 0;
    if (!(in >> magic >> w >> h >> maxv) || magic != "P5" || maxv != 255 || w <= 0 || h <= 0) return false;
    in.get();
    if (!img.Create(w, h, 8, 300)) return false;
    for (int y = 0; y < h; ++y)
        if (!in.read(reinterpret_cast<char*>(img.Row(y)), w)) return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = morvane_tool::HandleHelpAndVersion(argc, argv, "morvane-layout-accuracy", kUsage);
        status >= 0)
        return status;
    int first = 1;
    if (argc > 1 && morvane_tool::IsEndOfOptions(argv[1]))
        first = 2;
    else if (argc > 1 && argv[1][0] == '-' && argv[1][1] != 0) {
        std::fprintf(stderr, "morvane-layout-accuracy: unknown option '%s'\n%s", argv[1], kUsage);
        return 2;
    }
    if (argc != first + 1) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::ifstream jobs(argv[first]);
    if (!jobs) {
        std::fprintf(stderr, "morvane-layout-accuracy: cannot read %s\n", argv[first]);
        return 2;
    }
    std::string line;
    int index = 0;
    while (std::getline(jobs, line)) {
        std::istringstream ls(line);
        std::string path, mode;
        int method = 6;
        if (!(ls >> path >> method >> mode)) continue;
        std::map<std::string, int> v;
        std::string kv;
        while (ls >> kv) {
            const size_t eq = kv.find('=');
            if (eq != std::string::npos) v[kv.substr(0, eq)] = std::atoi(kv.c_str() + eq + 1);
        }
        std::printf("P %d\n", index++);
        CRawImage gray, bin;
        if (!ReadPgm(path, gray) || !gray.GrayToBinary(&bin, method) || !bin.HasPixels()) {
            std::printf("E cannot read or binarise %s\n", path.c_str());
            continue;
        }
        CLineLocationInfo lines;
        auto lp = std::make_unique<CLineProperty>();
        lp->MinNum = 1;
        lp->MinHeight = v["lineMinH"];
        lp->MaxHeight = v["lineMaxH"];
        lp->MinSpace = v["lineMinSp"];
        lp->MaxSpace = v["lineMaxSp"];
        lp->MinLength = v["lineMinLen"];
        lp->MaxLength = v["lineMaxLen"];
        lines.property = std::move(lp);
        lines.methods = std::make_unique<CLineLocationMethodList>();
        for (int type : {3, 2}) {
            auto m = std::make_unique<CLineLocationMethod>();
            m->type = type;
            lines.methods->Append(std::move(m));
        }
        lines.SetImageSize(10000, 10000);  // limits given in pixels
        if (mode == "lines") {
            TextBoxList boxes;
            LocateTextLines(bin, lines, boxes);
            for (const TextBox& b : boxes) std::printf("L %d %d %d %d\n", b.left, b.top, b.right, b.bottom);
            continue;
        }
        CCharLocationInfo chars;
        auto cp = std::make_unique<CCharProperty>();
        cp->MinNum = 1;
        cp->MinWidth = v["charMinW"];
        cp->MaxWidth = v["charMaxW"];
        cp->MinHeight = v["charMinH"];
        cp->MaxHeight = v["charMaxH"];
        cp->MinWHRatio = v["charMinR"];
        cp->MaxWHRatio = v["charMaxR"];
        chars.property = std::move(cp);
        chars.methods = std::make_unique<CCharLocationMethodList>();
        for (int type : {3, 0}) {
            auto m = std::make_unique<CCharLocationMethod>();
            m->type = type;
            chars.methods->Append(std::move(m));
        }
        chars.SetImageSize(10000, 10000);
        std::vector<TextLineResult> results;
        const int code = LocateText(bin, lines, chars, results);
        if (code != 0) std::printf("R %d\n", code);
        for (const TextLineResult& r : results) {
            std::printf("L %d %d %d %d\n", r.line.left, r.line.top, r.line.right, r.line.bottom);
            for (const TextBox& c : r.chars) std::printf("C %d %d %d %d\n", c.left, c.top, c.right, c.bottom);
        }
    }
    return 0;
}

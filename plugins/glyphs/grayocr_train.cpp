// Build-time tool: turns glyph images rendered from fonts into the
// prototype file read by the engine plug-ins.
//
//   grayocr-train OUTPUT [--variants] FONTTAG DIR CHARS [[--variants] ...]
//
// DIR holds g-000.pgm, g-001.pgm, ... (binary PGM), one per character of
// CHARS (UTF-8, ASCII only) in order. A set preceded by --variants holds
// large renderings: each gives the representatives of its many reduced,
// blurred, grainy and differently inked variants (GlyphVariants.h) instead
// of one prototype.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "GlyphClassifier.h"
#include "GlyphVariants.h"

using namespace morvane_plugins;

namespace {

bool ReadPgm(const std::string& path, std::vector<uint8_t>& pixels, int& width, int& height) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string magic;
    int maxval = 0;
    in >> magic;
    auto skip = [&] {
        while (in >> std::ws && in.peek() == '#') {
            std::string line;
            std::getline(in, line);
        }
    };
    skip();
    in >> width;
    skip();
    in >> height;
    skip();
    in >> maxval;
    in.get();
    if (magic != "P5" || width <= 0 || height <= 0 || width > 10000 || height > 10000 || maxval != 255)
        return false;
    pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    in.read(reinterpret_cast<char*>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
    return static_cast<bool>(in);
}

// Representatives kept of the variants of one glyph.
constexpr size_t kRepresentatives = 10;

}  // namespace

int main(int argc, char** argv) {
    std::ostringstream out;
    out << "# Glyph prototypes: code font aspect cellTop cellBottom hasCell features...\n";
    int count = 0;
    int a = 2;
    for (; a < argc; a += 3) {
        const bool variants = std::string(argv[a]) == "--variants";
        if (variants) ++a;
        if (a + 2 >= argc) break;
        const std::string font = argv[a], dir = argv[a + 1], chars = argv[a + 2];
        for (size_t i = 0; i < chars.size(); ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/g-%03zu.pgm", i);
            std::vector<uint8_t> pixels;
            int w = 0, h = 0;
            if (!ReadPgm(dir + name, pixels, w, h)) {
                std::fprintf(stderr, "grayocr-train: cannot read %s%s\n", dir.c_str(), name);
                return 1;
            }
            if (variants) {
                GrayGlyph g;
                g.width = w;
                g.height = h;
                g.pixels = pixels;
                const std::vector<GlyphFeatures> sets = VariantFeatures(g, VariantPlan(), 0x5EED0000u + i);
                for (const GlyphFeatures& f : Representatives(sets, kRepresentatives)) {
                    out << CGlyphClassifier::FormatPrototype(static_cast<unsigned char>(chars[i]), font, f);
                    ++count;
                }
                continue;
            }
            GlyphFeatures f;
            if (!ExtractFeatures(pixels.data(), w, h, w, f)) continue;
            out << CGlyphClassifier::FormatPrototype(static_cast<unsigned char>(chars[i]), font, f);
            ++count;
        }
    }
    if (argc < 5 || a != argc) {
        std::fprintf(stderr, "usage: grayocr-train OUTPUT [--variants] FONTTAG DIR CHARS [...]\n");
        return 2;
    }
    if (count == 0) return 1;
    std::ofstream file(argv[1]);
    file << out.str();
    return file ? 0 : 1;
}

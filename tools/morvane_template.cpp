// morvane-template: template authoring aid.
//
//   morvane-template check MAIN.xml [--dpi H[,V]] SAMPLE...
//
// Classifies each sample page with the main template and reports, per level
// of the walked path, the chosen child with its score and the nearest
// competing child with its score, so that an author sees which classes a
// template would confuse before using it. A level is marked "weak" when the
// nearest competitor also passed its gates or is within kWeakMargin points
// of the chosen child.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "api/DecisionTrace.h"
#include "api/MainTemplateEntry.h"
#include "core/TextConv.h"
#include "image/Dib.h"
#include "imagefile/ImageFile.h"
#include "templates/SubTemplate.h"

using namespace libMorvaneClassifier;

namespace {

constexpr int32_t kWeakMargin = 50;  // score points out of 1000

constexpr char kUsage[] =
    "usage: morvane-template check MAIN.xml [--dpi H[,V]] SAMPLE...\n"
    "\n"
    "  check   classify each sample and print, per level of its path, the chosen child\n"
    "          and the nearest competing child with their scores; \"weak\" marks a level\n"
    "          where the competitor also passed or came within 50 points.\n"
    "\n"
    "Exit status: 0 when every sample was classified without a weak level, 1 when a\n"
    "sample could not be read or classified or a level is weak, 2 on usage errors or\n"
    "when the main template cannot be read.\n";

bool ParseDpi(const char* text, int& h, int& v) {
    char* end = nullptr;
    const long a = std::strtol(text, &end, 10);
    long b = a;
    if (end && *end == ',') b = std::strtol(end + 1, &end, 10);
    if (!end || *end || a <= 0 || b <= 0 || a > 100000 || b > 100000) return false;
    h = static_cast<int>(a);
    v = static_cast<int>(b);
    return true;
}

std::string U8(const std::u16string& s) { return Utf16ToUtf8(s); }

// Prints one sample's path; returns whether every level was clear.
bool ReportLevels(const DecisionTrace& trace) {
    bool clear = true;
    for (const TraceLevel& level : trace.levels) {
        if (level.by == ChoiceBy::kFinal) continue;
        const TraceChild* chosen = level.chosen >= 0 && static_cast<size_t>(level.chosen) < level.children.size()
                                       ? &level.children[static_cast<size_t>(level.chosen)]
                                       : nullptr;
        // The nearest competitor: the best-scored other child that was
        // compared by at least one filter.
        const TraceChild* rival = nullptr;
        for (const TraceChild& c : level.children) {
            if (&c == chosen) continue;
            bool compared = false;
            for (const TraceCell& cell : c.cells) compared = compared || cell.compared;
            if (!compared) continue;
            if (!rival || c.total > rival->total) rival = &c;
        }
        const char* by = level.by == ChoiceBy::kScore     ? "score"
                         : level.by == ChoiceBy::kDefault ? "default"
                         : level.by == ChoiceBy::kNone    ? "none"
                                                          : "no-filters";
        std::printf("  %s: chosen %s", U8(level.name).c_str(),
                    chosen ? ("\"" + U8(chosen->name) + "\"").c_str() : "nothing");
        if (chosen) std::printf(" (%s, %d)", by, chosen->total);
        if (rival) {
            std::printf("; nearest \"%s\" %d%s", U8(rival->name).c_str(), rival->total,
                        rival->passed ? " passed" : " failed");
            bool weak = false;
            if (level.by == ChoiceBy::kScore && chosen)
                weak = rival->passed || chosen->total - rival->total < kWeakMargin;
            if (weak) {
                std::printf(" - weak");
                clear = false;
            }
        }
        std::printf("\n");
    }
    return clear;
}

int Check(int argc, char** argv) {
    if (argc < 1) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string mainPath = argv[0];
    int h = 0, v = 0;
    std::vector<std::string> samples;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dpi") == 0) {
            if (i + 1 >= argc || !ParseDpi(argv[i + 1], h, v)) {
                std::fprintf(stderr, "morvane-template: bad --dpi value\n");
                return 2;
            }
            ++i;
        } else {
            samples.push_back(argv[i]);
        }
    }
    if (samples.empty()) {
        std::fprintf(stderr, "morvane-template: no sample given\n%s", kUsage);
        return 2;
    }
    CMainTemplateEntry entry;
    const int loaded = entry.Load(Utf8ToUtf16(mainPath));
    if (loaded != 0) {
        std::fprintf(stderr, "morvane-template: cannot read main template %s (%d)\n", mainPath.c_str(), loaded);
        return 2;
    }
    entry.SetResolution(h, v);
    bool allClear = true;
    for (const std::string& sample : samples) {
        CRawImage image;
        if (!imagefile::LoadImageFile(image, Utf8ToUtf16(sample))) {
            std::printf("%s\terror: cannot read the sample\n", sample.c_str());
            allClear = false;
            continue;
        }
        CSubTemplate* result = nullptr;
        const int code = entry.FindSubTemplateConsuming(image, result);
        if (code != 0 || !result) {
            std::printf("%s\terror: no sub-template (%d)\n", sample.c_str(), code);
            allClear = false;
        } else {
            std::printf("%s\t%s\n", sample.c_str(), U8(result->id).c_str());
        }
        if (!ReportLevels(entry.trace)) allClear = false;
    }
    return allClear ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "check") == 0) return Check(argc - 2, argv + 2);
    std::fputs(kUsage, stderr);
    return 2;
}

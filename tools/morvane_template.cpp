// morvane-template: template authoring aid.
//
//   morvane-template add --main MAIN.xml --group PATH --id ID --name NAME
//                        [--output-id X] [--replace] [--dpi H[,V]] SAMPLE...
//   morvane-template check MAIN.xml [--dpi H[,V]] [--strict POINTS] SAMPLE...
//   morvane-template list MAIN.xml
//   morvane-template show MAIN.xml ID
//   morvane-template remove MAIN.xml ID
//
// add measures every filter configured at the group on each sample, builds
// the class's reference records from them (averages; the frame lines and
// text lines common to the samples, template_merge.h), writes them as a new
// sub-template and adds it to the main template's tree and sub-template list
// (the usage text gives the rules).
//
// check classifies each sample page with the main template and reports, per level
// of the walked path, the chosen child with its score and the nearest
// competing child with its score, so that an author sees which classes a
// template would confuse before using it. A level is "close" when the nearest
// competitor also passed its gates or came within kWeakMargin points (an
// expected neighbour that still lost clearly), "ambiguous" when it came
// within kAmbiguousMargin points (the choice could go either way). Each such
// level names the filters that scored the two closest and suggests a filter
// of another kind that differs between them.
//
// list draws the group tree, show summarises one class's reference records
// and remove takes a class out again (the inverse of add).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "api/ClassificationContext.h"
#include "api/DecisionTrace.h"
#include "api/MainTemplateEntry.h"
#include "core/TextConv.h"
#include "filters/FilterArray.h"
#include "filters/FilterBase.h"
#include "filters/FilterFrameLine.h"
#include "filters/FilterGrid.h"
#include "filters/FilterSize.h"
#include "filters/FilterText.h"
#include "image/Dib.h"
#include "imagefile/ImageFile.h"
#include "platform/DynamicLibrary.h"
#include "platform/EngineFiles.h"
#include "preprocess/ImageProcessing.h"
#include "template_merge.h"
#include "templates/FilterConfig.h"
#include "templates/MainTemplate.h"
#include "templates/SubTemplate.h"
#include "templates/SubTemplateList.h"
#include "templates/TemplateGroup.h"
#include "templates/TextLine.h"
#include "tool_options.h"
#include "xml/XmlDocument.h"
#include "xml/XmlIndent.h"

using namespace libMorvaneClassifier;

namespace {

constexpr int32_t kWeakMargin = 50;       // score points out of 1000
constexpr int32_t kAmbiguousMargin = 20;  // below this the choice could go either way
constexpr size_t kFewSamples = 3;         // fewer samples give a shaky class

constexpr char kUsage[] =
    "Usage: morvane-template add --main MAIN.xml --group PATH --id ID --name NAME\n"
    "                            [--output-id X] [--replace] [--force] [--dpi H[,V]] [--] SAMPLE...\n"
    "       morvane-template check [--] MAIN.xml [--dpi H[,V]] [--strict POINTS] [-w DIR] [--] SAMPLE...\n"
    "       morvane-template list MAIN.xml [--dot]\n"
    "       morvane-template show MAIN.xml ID\n"
    "       morvane-template remove MAIN.xml ID\n"
    "       morvane-template --help | --version\n"
    "\n"
    "  add     teach a new document type from sample pages. PATH names the parent group\n"
    "          by the Name of each group below the root, separated by '/' (\"\" or \"/\" is\n"
    "          the root). Every filter configured at that group is measured on each\n"
    "          sample (after the main template's preprocessing): size and grid are\n"
    "          averaged, frame lines found in every sample (one miss in four allowed)\n"
    "          are kept with their ends averaged, text lines that recur in every\n"
    "          sample are kept (fixed text, or a pattern for a pattern-matching\n"
    "          filter) and variable lines dropped. Each sample is compared with the\n"
    "          class so built, and when the lowest score minus a margin of 50 points\n"
    "          falls below the group's threshold for that filter, the threshold is\n"
    "          lowered to it (never raised). Samples that score below 700 against\n"
    "          the class, or nearer to another child of the group, or that share no\n"
    "          frame line or text line, are refused as different classes. The\n"
    "          sub-template is written to the main template's sub-template folder\n"
    "          as ID.xml, and the list and the main template are rewritten\n"
    "          (temporary file, then rename). An existing ID is refused unless\n"
    "          --replace, which rewrites its file in place. --output-id defaults to\n"
    "          the ID. Every sample must reach the group PATH when classified with the\n"
    "          main template as it is (else the class could never be chosen; usually\n"
    "          a wrong --dpi): add refuses, naming where the samples went, unless\n"
    "          --force. Fewer than 3 samples draw a warning.\n"
    "  check   classify each sample and print, per level of its path, the chosen child\n"
    "          and the nearest competing child with their scores. \"close\" marks a\n"
    "          level where the competitor also passed or came within 50 points,\n"
    "          \"ambiguous\" one where it came within 20 points; both name the filters\n"
    "          that scored the two closest and suggest a filter of another kind.\n"
    "          First every recognition engine the set names is started (engine\n"
    "          files are looked for in DIR first with -w, as morvane-classify -w);\n"
    "          one that cannot start fails check, naming the engine and its file.\n"
    "  list    draw the group tree: index, name, attached sub-template and the\n"
    "          filters that choose among each group's children; --dot prints it as a\n"
    "          Graphviz graph instead (dot -Tpng draws it).\n"
    "  show    summarise the reference records of the class with that ID.\n"
    "  remove  take the class with that ID out: its groups (which must have no\n"
    "          children), its entry in the sub-template list and its file. All files\n"
    "          are rewritten through temporary files, as add does.\n"
    "\n"
    "Written files are indented, one element per line.\n"
    "\n"
    "Exit status of check: 0 when every engine starts and every sample was\n"
    "classified (close and ambiguous levels are reported only), 1 when an engine\n"
    "cannot start, a sample could not be read or classified, or\n"
    "with --strict POINTS when a level was decided by fewer points than that; 2 on\n"
    "usage errors or when the main template cannot be read. Of add: 0 when the class\n"
    "was added and every sample classifies as it, 1 when it was refused (nothing is\n"
    "written) or a sample does not classify as it afterwards, 2 on usage errors or\n"
    "when the main template cannot be read. Of list, show and remove: 0 on success,\n"
    "1 for an unknown ID or a refused removal, 2 on usage errors or an unreadable\n"
    "main template.\n";

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

const char* KindName(int32_t type) {
    switch (type) {
        case kFilterTypeSize:
            return "size";
        case kFilterTypeGrid:
            return "grid";
        case kFilterTypeFrameLine:
            return "frame lines";
        case kFilterTypeText:
            return "text";
        default:
            return "unknown kind";
    }
}

std::string FilterLabel(const CFilterBase& f) {
    return std::to_string(f.index) + " \"" + U8(f.name) + "\" (" + KindName(f.type) + ")";
}

const TraceChild* ChosenChild(const TraceLevel& level) {
    return level.chosen >= 0 && static_cast<size_t>(level.chosen) < level.children.size()
               ? &level.children[static_cast<size_t>(level.chosen)]
               : nullptr;
}

CSubTemplate* SubTemplateById(const CMainTemplateEntry& entry, const std::u16string& id) {
    for (const auto& sub : entry.subTemplates->items)
        if (sub && sub->id == id) return sub.get();
    return nullptr;
}

// For a close pair: the filters of the level ordered by how near the two
// children scored, and a filter of a kind not used at the level that tells
// the two classes apart (their reference records compared with each other),
// or failing that, the kind to add.
void ExplainClosePair(const CMainTemplateEntry& entry, const TraceLevel& level, const TraceChild& chosen,
                      const TraceChild& rival) {
    std::vector<std::pair<int32_t, size_t>> gaps;  // score gap, filter slot
    for (size_t k = 0; k < level.filters.size() && k < chosen.cells.size() && k < rival.cells.size(); ++k)
        if (chosen.cells[k].compared && rival.cells[k].compared)
            gaps.emplace_back(std::abs(chosen.cells[k].raw - rival.cells[k].raw), k);
    std::sort(gaps.begin(), gaps.end());
    std::string closest;
    for (const auto& g : gaps) {
        const TraceFilter& f = level.filters[g.second];
        if (!closest.empty()) closest += ", ";
        closest += "filter " + std::to_string(f.refFilter) + " \"" + U8(f.name) + "\" (" + KindName(f.type) +
                   ") " + std::to_string(chosen.cells[g.second].raw) + " vs " +
                   std::to_string(rival.cells[g.second].raw);
    }
    if (!closest.empty()) std::printf("    closest: %s\n", closest.c_str());

    std::vector<int32_t> usedKinds;
    for (const TraceFilter& f : level.filters) usedKinds.push_back(f.type);
    auto used = [&](int32_t type) {
        return std::find(usedKinds.begin(), usedKinds.end(), type) != usedKinds.end();
    };
    CSubTemplate* a = SubTemplateById(entry, chosen.templateId);
    CSubTemplate* b = SubTemplateById(entry, rival.templateId);
    const CFilterBase* best = nullptr;
    int32_t bestScore = 1001;
    for (const auto& f : entry.filters->filters) {
        if (!f || used(f->type) || !a || !b) continue;
        CFilterInfoBase* ra = a->FindFilterInfo(f->index);
        CFilterInfoBase* rb = b->FindFilterInfo(f->index);
        if (!ra || !rb) continue;
        const int32_t score = ra->Compare(rb);
        if (score < bestScore) {
            bestScore = score;
            best = f.get();
        }
    }
    if (best && bestScore < 1000 - kWeakMargin) {
        std::printf(
            "    suggest: filter %s tells them apart (their records compare at %d); configure it at \"%s\"\n",
            FilterLabel(*best).c_str(), bestScore, U8(level.name).c_str());
        return;
    }
    // No recorded filter of another kind differs: name one to teach both
    // classes with, preferring the kinds that see inside a page of a given size.
    static const int32_t kOrder[] = {kFilterTypeGrid, kFilterTypeText, kFilterTypeFrameLine, kFilterTypeSize};
    for (int32_t type : kOrder) {
        if (used(type)) continue;
        for (const auto& f : entry.filters->filters)
            if (f && f->type == type) {
                std::printf(
                    "    suggest: a %s filter such as %s at \"%s\", both classes taught again with it\n",
                    KindName(type), FilterLabel(*f).c_str(), U8(level.name).c_str());
                return;
            }
        std::printf("    suggest: a %s filter (none in the filter template yet) at \"%s\"\n", KindName(type),
                    U8(level.name).c_str());
        return;
    }
}

// Prints one sample's path; returns the smallest margin of a level decided
// by score (1000 when there was no competitor).
int32_t ReportLevels(const CMainTemplateEntry& entry, const DecisionTrace& trace) {
    int32_t smallest = 1000;
    for (const TraceLevel& level : trace.levels) {
        if (level.by == ChoiceBy::kFinal) continue;
        const TraceChild* chosen = ChosenChild(level);
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
        bool explain = false;
        if (rival) {
            std::printf("; nearest \"%s\" %d%s", U8(rival->name).c_str(), rival->total,
                        rival->passed ? " passed" : " failed");
            if (level.by == ChoiceBy::kScore && chosen) {
                const int32_t margin = chosen->total - rival->total;
                if (margin < smallest) smallest = margin;
                if (rival->passed && margin < kAmbiguousMargin) {
                    std::printf(" - ambiguous (margin %d)", margin);
                    explain = true;
                } else if (rival->passed || margin < kWeakMargin) {
                    std::printf(" - close (margin %d)", margin);
                    explain = true;
                }
            }
        }
        std::printf("\n");
        if (explain) ExplainClosePair(entry, level, *chosen, *rival);
    }
    return smallest;
}

int Check(int argc, char** argv) {
    if (argc < 1) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    int first = 0;
    bool optionsEnded = morvane_tool::IsEndOfOptions(argv[0]);
    if (optionsEnded && ++first >= argc) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string mainPath = argv[first];
    int h = 0, v = 0;
    int32_t strict = -1;    // margin the levels must reach; -1: margins only reported
    std::string engineDir;  // -w: engine files looked for here first
    std::vector<std::string> samples;
    for (int i = first + 1; i < argc; ++i) {
        if (!optionsEnded && morvane_tool::IsEndOfOptions(argv[i])) {
            optionsEnded = true;
        } else if (!optionsEnded && std::strcmp(argv[i], "--dpi") == 0) {
            if (i + 1 >= argc || !ParseDpi(argv[i + 1], h, v)) {
                std::fprintf(stderr, "morvane-template: bad --dpi value\n");
                return 2;
            }
            ++i;
        } else if (!optionsEnded &&
                   (std::strcmp(argv[i], "-w") == 0 || std::strcmp(argv[i], "--workdir") == 0)) {
            if (i + 1 >= argc || !IsDirectoryPath(argv[i + 1])) {
                std::fprintf(stderr, "morvane-template: -w needs an existing directory\n");
                return 2;
            }
            engineDir = argv[++i];
            if (engineDir.back() != '/') engineDir += '/';
        } else if (std::strcmp(argv[i], "--strict") == 0) {
            char* end = nullptr;
            const long value = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : -1;
            if (i + 1 >= argc || !end || *end || end == argv[i + 1] || value < 0 || value > 1000) {
                std::fprintf(stderr, "morvane-template: --strict needs a margin of 0 to 1000 points\n");
                return 2;
            }
            strict = static_cast<int32_t>(value);
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
        std::fprintf(stderr, "morvane-template: cannot read main template %s (%d)\n", mainPath.c_str(),
                     loaded);
        return 2;
    }
    entry.SetResolution(h, v);
    bool failed = false;
    // An engine that cannot start would leave every text filter measuring
    // nothing, and the pages taking coarser classes: it fails the check
    // before any sample is looked at.
    if (!engineDir.empty()) EngineDirectory() = engineDir;
    std::string engineDetail;
    if (const int code = entry.CheckEngines(engineDetail); code != 0) {
        std::printf("error: engine check failed (%d): %s\n", code, engineDetail.c_str());
        failed = true;
    }
    for (const std::string& sample : samples) {
        CRawImage image;
        if (!imagefile::LoadImageFile(image, Utf8ToUtf16(sample))) {
            std::printf("%s\terror: cannot read the sample\n", sample.c_str());
            failed = true;
            continue;
        }
        CSubTemplate* result = nullptr;
        const int code = entry.FindSubTemplateConsuming(image, result);
        if (code != 0 || !result) {
            std::printf("%s\terror: no sub-template (%d)\n", sample.c_str(), code);
            failed = true;
        } else {
            std::printf("%s\t%s\n", sample.c_str(), U8(result->id).c_str());
        }
        const int32_t margin = ReportLevels(entry, entry.trace);
        if (strict >= 0 && margin < strict) {
            std::printf("  margin %d below --strict %d\n", margin, strict);
            failed = true;
        }
    }
    return failed ? 1 : 0;
}

constexpr int32_t kSpreadMargin = 50;     // points below the lowest sample score
constexpr int32_t kSameClassFloor = 700;  // a sample below this is another class

// A path may be changed: the process may write it and it is not marked
// read-only (no write bit at all, which even the superuser respects here).
bool Writable(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
    return access(path.c_str(), W_OK) == 0;
}

std::string DirOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::vector<std::u16string> SplitPath(const std::string& path) {
    std::vector<std::u16string> parts;
    std::string part;
    for (char c : path + "/") {
        if (c == '/') {
            if (!part.empty()) parts.push_back(Utf8ToUtf16(part));
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    return parts;
}

// Writes a document to path through a temporary file in the same folder and
// a rename, so that readers never see half a file.
struct PendingFile {
    std::string path;
    std::string temp;
};

bool SaveTemp(const CXmlDocument& xml, const std::string& path, std::vector<PendingFile>& pending) {
    PendingFile f{path, path + ".tmp-" + std::to_string(getpid())};
    if (!xml.Save(Utf8ToUtf16(f.temp))) {
        std::remove(f.temp.c_str());
        return false;
    }
    pending.push_back(f);
    return true;
}

void Discard(std::vector<PendingFile>& pending) {
    for (const PendingFile& f : pending) std::remove(f.temp.c_str());
    pending.clear();
}

// Moves the cursor of a main-template document onto the group element named
// by parts (root when empty).
bool FindGroupElement(CXmlDocument& xml, const std::vector<std::u16string>& parts) {
    xml.ResetPosition();
    if (!xml.FindElement(u"MainTemplate") || !xml.EnterElement() || !xml.FindElement(u"TemplateGroup"))
        return false;
    for (const std::u16string& name : parts) {
        if (!xml.EnterElement()) return false;
        bool found = false;
        while (xml.FindElement(u"TemplateGroup"))
            if (xml.ReadAttribute(u"Name") == name) {
                found = true;
                break;
            }
        if (!found) return false;
    }
    return true;
}

CTemplateGroup* FindGroup(CTemplateGroup* root, const std::vector<std::u16string>& parts) {
    CTemplateGroup* g = root;
    for (const std::u16string& name : parts) {
        CTemplateGroup* next = nullptr;
        for (int32_t i = 0; g && i < g->childCount && !next; ++i)
            if (g->Child(i) && g->Child(i)->name == name) next = g->Child(i);
        if (!next) return nullptr;
        g = next;
    }
    return g;
}

// The group's path as add's --group takes it: the names below the root
// joined by '/' ("/" for the root).
std::string GroupPath(const CTemplateGroup* g) {
    std::string path;
    for (; g && g->parent; g = g->parent) path = "/" + U8(g->name) + path;
    return path.empty() ? "/" : path.substr(1);
}

// Every group that can take children, one path per line, for the message
// on a wrong group name.
std::string GroupList(const CMainTemplateEntry& entry) {
    std::string out;
    for (const CTemplateGroup* g : entry.mainTemplate->groups)
        if (g && g->action == 1) out += "  " + GroupPath(g) + "\n";
    return out;
}

// The names of the groups a classification walked through, from the root.
std::string WalkedPath(const DecisionTrace& trace) {
    std::string out;
    for (const TraceLevel& level : trace.levels) {
        if (!out.empty()) out += " > ";
        out += U8(level.name);
        const TraceChild* chosen = ChosenChild(level);
        if (level.by != ChoiceBy::kFinal && !chosen) out += " > (nothing chosen)";
    }
    return out;
}

bool Reached(const DecisionTrace& trace, const CTemplateGroup& group) {
    for (const TraceLevel& level : trace.levels)
        if (level.groupIndex == group.index) return true;
    return false;
}

// Saves a document laid out one element per line (XmlIndent.h). A document
// loaded from a file in another encoding than plain UTF-8 is saved as it is,
// so that its encoding is kept.
bool SaveIndented(const CXmlDocument& xml, const std::string& path, std::vector<PendingFile>& pending) {
    const bool plain = xml.Encoding().empty() || xml.Encoding() == u"UTF-8";
    if (!plain || xml.HadByteOrderMark()) return SaveTemp(xml, path, pending);
    CXmlDocument laid;
    if (!laid.ParseText(IndentXmlText(xml.Text()))) return SaveTemp(xml, path, pending);
    return SaveTemp(laid, path, pending);
}

struct Measured {
    const CFilterConfig* config = nullptr;
    CFilterBase* filter = nullptr;
    std::unique_ptr<CFilterInfoBase> average;
    int32_t lowest = 1000;
    int32_t newThreshold = -1;  // -1: unchanged
};

// Prints "morvane-template: " and format with its one "%s" replaced by what.
int Fail(const std::string& format, const std::string& what, int status = 1) {
    std::string message = format;
    const size_t at = message.find("%s");
    if (at != std::string::npos) message.replace(at, 2, what);
    std::fprintf(stderr, "morvane-template: %s\n", message.c_str());
    return status;
}

int Add(int argc, char** argv) {
    std::string mainPath, groupPath, id, name, outputId;
    bool replace = false;
    bool force = false;
    int h = 0, v = 0;
    std::vector<std::string> samples;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (morvane_tool::IsEndOfOptions(argv[i])) {
            samples.insert(samples.end(), argv + i + 1, argv + argc);
            break;
        }
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        bool ok = true;
        if (arg == "--main")
            ok = value(mainPath);
        else if (arg == "--group")
            ok = value(groupPath);
        else if (arg == "--id")
            ok = value(id);
        else if (arg == "--name")
            ok = value(name);
        else if (arg == "--output-id")
            ok = value(outputId);
        else if (arg == "--replace")
            replace = true;
        else if (arg == "--force")
            force = true;
        else if (arg == "--dpi")
            ok = i + 1 < argc && ParseDpi(argv[++i], h, v);
        else if (arg.size() > 1 && arg[0] == '-')
            ok = false;
        else
            samples.push_back(arg);
        if (!ok) return Fail("bad or incomplete option '%s'", arg, 2);
    }
    if (mainPath.empty() || id.empty() || name.empty() || samples.empty())
        return Fail("%s", "add needs --main, --id, --name and at least one sample", 2);
    for (char c : id)
        if (c == '/' || c == '\\' || c == '.' || static_cast<unsigned char>(c) < 0x20)
            return Fail("the ID '%s' cannot name a file", id, 2);
    if (outputId.empty()) outputId = id;

    CMainTemplateEntry entry;
    if (entry.Load(Utf8ToUtf16(mainPath)) != 0) return Fail("cannot read main template %s", mainPath, 2);
    const std::vector<std::u16string> parts = SplitPath(groupPath);
    CTemplateGroup* group = FindGroup(entry.mainTemplate->root.get(), parts);
    if (!group) {
        std::fprintf(stderr, "morvane-template: no group '%s' in the main template; its groups are:\n%s",
                     groupPath.c_str(), GroupList(entry).c_str());
        return 1;
    }
    if (group->FilterConfigCount() == 0) return Fail("the group '%s' names no filter to measure", groupPath);

    const std::u16string id16 = Utf8ToUtf16(id);
    int32_t existing = -1;  // position in the list of the sub-template with that ID
    int32_t nextIndex = 0;
    for (size_t i = 0; i < entry.subTemplates->items.size(); ++i) {
        const CSubTemplate* sub = entry.subTemplates->items[i].get();
        if (!sub) continue;
        if (sub->index >= nextIndex) nextIndex = sub->index + 1;
        if (sub->id == id16 && existing < 0) existing = static_cast<int32_t>(i);
    }
    if (existing >= 0 && !replace) return Fail("a sub-template with ID '%s' exists (use --replace)", id);

    const std::string listPath = Utf16ToUtf8(entry.mainTemplate->subTemplateListPath);
    const std::string subDir = Utf16ToUtf8(entry.mainTemplate->subTemplatePath);
    if (!Writable(mainPath) || !Writable(DirOf(mainPath)))
        return Fail("the main template %s is read-only", mainPath);
    if (!Writable(listPath) || !Writable(DirOf(listPath)))
        return Fail("the sub-template list %s is read-only", listPath);
    if (!Writable(subDir)) return Fail("the sub-template folder %s is read-only", subDir);

    if (samples.size() < kFewSamples)
        std::fprintf(stderr,
                     "morvane-template: warning: only %zu sample%s; %zu or more give a class that holds on "
                     "unseen pages\n",
                     samples.size(), samples.size() == 1 ? "" : "s", kFewSamples);

    // Each sample must reach the group with the template as it is, or the
    // new class could never be chosen.
    entry.SetResolution(h, v);
    bool allReach = true;
    for (const std::string& sample : samples) {
        CRawImage page;
        CSubTemplate* result = nullptr;
        if (!imagefile::LoadImageFile(page, Utf8ToUtf16(sample)))
            return Fail("cannot read sample %s", sample);
        entry.FindSubTemplateConsuming(page, result);
        if (Reached(entry.trace, *group)) continue;
        allReach = false;
        std::fprintf(stderr, "morvane-template: %s: sample %s does not reach '%s'; it went %s\n",
                     force ? "warning" : "error", sample.c_str(), GroupPath(group).c_str(),
                     WalkedPath(entry.trace).c_str());
    }
    if (!allReach) {
        const std::string dpi =
            h > 0 ? std::to_string(h) + "," + std::to_string(v) : std::string("not given");
        if (!force)
            return Fail(
                "%s", "refused: the class would never be chosen. Is the resolution right (--dpi, now " + dpi +
                          ")? Or pick the group the samples reach; --force adds it anyway");
    }

    // The samples, preprocessed as the driver preprocesses a page.
    std::vector<CRawImage> images(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        if (!imagefile::LoadImageFile(images[i], Utf8ToUtf16(samples[i])))
            return Fail("cannot read sample %s", samples[i]);
        ApplyImageProcessingList(images[i], entry.mainTemplate->steps.get());
    }

    std::vector<Measured> measured;
    for (int32_t k = 0; k < group->FilterConfigCount(); ++k) {
        const CFilterConfig* config = group->FilterConfig(k);
        CFilterBase* filter = config ? entry.filters->Find(config->refFilter) : nullptr;
        if (!filter) continue;
        // The run-time fields as the walk fills them for this group.
        PrepareFilter(*filter, config, ClassificationContext::For(h, v, 0, 0));
        const std::string filterName =
            "'" + Utf16ToUtf8(filter->name) + "' (" + std::to_string(filter->index) + ")";
        Measured m;
        m.config = config;
        m.filter = filter;
        // Each sample measured on its own, by the filter's own measuring code.
        std::vector<std::unique_ptr<CFilterInfoBase>> ones;
        for (size_t i = 0; i < images.size(); ++i) {
            std::unique_ptr<CFilterInfoBase> one = filter->CreateFeature(&images[i], 1);
            if (!one) return Fail("%s", "filter " + filterName + " measured nothing on sample " + samples[i]);
            one->SetImageSize(images[i].width, images[i].height);
            if (filter->type == kFilterTypeText) {
                const auto* text = dynamic_cast<const CFilterTextInfo*>(one.get());
                if (!text || !text->textLines || text->textLines->count == 0)
                    return Fail("%s",
                                "filter " + filterName + " recognised no text line on sample " + samples[i]);
            } else if (one->Compare(one.get()) < kSameClassFloor) {
                // A record that does not even match itself (a frame-line
                // filter on a page without lines) cannot tell this class apart.
                return Fail("%s", "filter " + filterName + " finds nothing to recognise on " + samples[i] +
                                      " (it does not match itself)");
            }
            ones.push_back(std::move(one));
        }
        // The class's reference: frame lines and text lines common to the
        // samples; the other kinds average their numbers over all samples.
        if (filter->type == kFilterTypeFrameLine) {
            std::vector<const CFilterFrameLineInfo*> features;
            for (const auto& one : ones)
                features.push_back(dynamic_cast<const CFilterFrameLineInfo*>(one.get()));
            authoring::FrameLineMerge merge = authoring::MergeFrameLines(features);
            if (!merge.reference)
                return Fail("%s", "samples of different classes: filter " + filterName +
                                      " finds no frame line common to enough of the samples");
            std::printf(
                "filter %d (frame lines): %d lines found in at least %d of %zu samples kept, %d dropped; "
                "largest distance from the average %d/10000\n",
                filter->index, merge.kept, authoring::RequiredSamples(static_cast<int32_t>(samples.size())),
                samples.size(), merge.dropped, merge.spread);
            m.average = std::move(merge.reference);
        } else if (filter->type == kFilterTypeText) {
            const auto* rule = dynamic_cast<const CFilterTextInfo*>(filter->rule.get());
            if (!rule) return Fail("%s", "filter " + filterName + " has no text rule");
            std::vector<const CFilterTextInfo*> features;
            for (const auto& one : ones) features.push_back(dynamic_cast<const CFilterTextInfo*>(one.get()));
            authoring::TextMerge merge = authoring::MergeTextLines(features, *rule, filter->applicationType);
            if (!merge.reference)
                return Fail("%s", "samples of different classes: filter " + filterName +
                                      " finds no text line that recurs in enough of the samples");
            std::printf(
                "filter %d (text): %d fixed lines, %d lines turned into patterns, %d variable or missing "
                "lines dropped\n",
                filter->index, merge.fixed, merge.patterns, merge.dropped);
            for (const std::u16string& t : merge.texts) std::printf("  \"%s\"\n", U8(t).c_str());
            m.average = std::move(merge.reference);
        } else {
            m.average = filter->CreateFeature(images.data(), static_cast<int32_t>(images.size()));
        }
        if (!m.average) return Fail("%s", "filter " + filterName + " measured nothing on the samples");
        m.average->refFilter = filter->index;
        m.average->applicationType = filter->applicationType;
        for (size_t i = 0; i < images.size(); ++i) {
            CFilterInfoBase* one = ones[i].get();
            m.average->SetImageSize(images[i].width, images[i].height);
            const int32_t own = one->Compare(m.average.get());
            if (own < kSameClassFloor)
                return Fail("%s", "samples of different classes: " + samples[i] + " scores " +
                                      std::to_string(own) +
                                      " against the class built from the samples (below " +
                                      std::to_string(kSameClassFloor) + ") by filter " + filterName);
            // Nearer to a sibling than to its own class: another class.
            for (int32_t c = 0; c < group->childCount; ++c) {
                CTemplateGroup* sibling = group->Child(c);
                if (!sibling || !sibling->attached || sibling->action != 1) continue;
                if (existing >= 0 &&
                    sibling->attached == entry.subTemplates->items[static_cast<size_t>(existing)].get())
                    continue;
                CFilterInfoBase* ref = sibling->attached->FindFilterInfo(filter->index);
                if (!ref) continue;
                ref->SetImageSize(images[i].width, images[i].height);
                const int32_t theirs = one->Compare(ref);
                if (theirs > own)
                    return Fail("%s", "samples of different classes: " + samples[i] +
                                          " is nearer to the existing class \"" + U8(sibling->name) + "\" (" +
                                          std::to_string(theirs) +
                                          ") than to the class built from the samples (" +
                                          std::to_string(own) + ") by filter " + filterName);
            }
            if (own < m.lowest) m.lowest = own;
        }
        const int32_t suggested = m.lowest - kSpreadMargin;
        if (filter->processType == kProcessThresholdGate && suggested < config->filterThresh)
            m.newThreshold = suggested;
        measured.push_back(std::move(m));
    }
    if (measured.empty()) return Fail("%s", "no filter of the group could be found");

    std::vector<PendingFile> pending;
    // The sub-template file.
    std::string subFile;
    int32_t subIndex = nextIndex;
    if (existing >= 0) {
        subIndex = entry.subTemplates->items[static_cast<size_t>(existing)]->index;
        CXmlDocument list;
        if (!list.Load(Utf8ToUtf16(listPath)) || !list.FindElement(u"SubTemplateList") ||
            !list.EnterElement())
            return Fail("cannot read the sub-template list %s", listPath);
        for (int32_t i = 0; i <= existing; ++i)
            if (!list.FindElement(u"SubTemplate"))
                return Fail("cannot read the sub-template list %s", listPath);
        subFile = Utf16ToUtf8(list.ReadText());
    } else {
        subFile = id + ".xml";
        if (access((subDir + subFile).c_str(), F_OK) == 0)
            return Fail("the file %s exists", subDir + subFile);
    }
    // Written through the records' own field tables and writers.
    CSubTemplate record;
    record.index = subIndex;
    record.id = id16;
    record.name = Utf8ToUtf16(name);
    record.outputId = Utf8ToUtf16(outputId);
    CXmlDocument sub;
    bool ok = sub.ParseText(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SubTemplate/>") &&
              sub.FindElement(CSubTemplate::Fields().element) &&
              WriteAttributes(record, CSubTemplate::Fields(), sub) && sub.EnterElement() &&
              sub.AppendElement(u"FilterInfoList") &&
              sub.WriteAttribute(u"Size", static_cast<int32_t>(measured.size())) && sub.EnterElement();
    for (const Measured& m : measured) {
        ok = ok && sub.AppendElement(CFilterInfoBase::Fields().element) &&
             WriteAttributes(*m.average, CFilterInfoBase::Fields(), sub) && sub.EnterElement() &&
             m.average->WriteXml(sub) && sub.LeaveElement();
    }
    if (!ok || !SaveIndented(sub, subDir + subFile, pending)) {
        Discard(pending);
        return Fail("cannot write the sub-template %s", subDir + subFile);
    }

    CXmlDocument main;
    if (!main.Load(Utf8ToUtf16(mainPath))) {
        Discard(pending);
        return Fail("cannot read main template %s", mainPath);
    }
    // Lowered thresholds, then (for a new ID) the new child group.
    bool changedMain = false;
    for (const Measured& m : measured) {
        if (m.newThreshold < 0) continue;
        int32_t position = -1;
        for (int32_t k = 0; k < group->FilterConfigCount(); ++k)
            if (group->FilterConfig(k) == m.config) position = k;
        ok = FindGroupElement(main, parts) && main.EnterElement() && main.FindElement(u"FilterConfigList") &&
             main.EnterElement();
        for (int32_t k = 0; ok && k <= position; ++k) ok = main.FindElement(u"FilterConfig");
        CFilterConfig lowered;
        lowered.Assign(*m.config);
        lowered.filterThresh = m.newThreshold;
        ok = ok && WriteAttributes(lowered, CFilterConfig::Fields(), main);
        if (!ok) {
            Discard(pending);
            return Fail("cannot update the thresholds of group '%s'", groupPath);
        }
        std::printf("filter %d at '%s': threshold lowered from %d to %d (lowest sample score %d)\n",
                    m.filter->index, groupPath.c_str(), m.config->filterThresh, m.newThreshold, m.lowest);
        changedMain = true;
    }
    if (existing < 0) {
        int32_t groupIndex = 0;
        for (const CTemplateGroup* g : entry.mainTemplate->groups)
            if (g && g->index >= groupIndex) groupIndex = g->index + 1;
        ok = FindGroupElement(main, parts) &&
             main.WriteAttribute(u"ChildNum", group->childCount > 0 ? group->childCount + 1 : 1) &&
             main.EnterElement();
        while (ok && main.FindElement(u"TemplateGroup")) {
        }
        CTemplateGroup child;
        child.index = groupIndex;
        child.name = Utf8ToUtf16(name);
        child.action = 1;
        child.attachedTemplate = subIndex;
        child.childCount = 0;
        ok = ok && main.AppendElement(CTemplateGroup::Fields().element) &&
             WriteAttributes(child, CTemplateGroup::Fields(), main);
        if (!ok) {
            Discard(pending);
            return Fail("cannot add the group to %s", mainPath);
        }
        changedMain = true;

        CXmlDocument list;
        ok = list.Load(Utf8ToUtf16(listPath)) && list.FindElement(u"SubTemplateList") &&
             list.WriteAttribute(u"Size", static_cast<int32_t>(entry.subTemplates->items.size()) + 1) &&
             list.EnterElement();
        while (ok && list.FindElement(u"SubTemplate")) {
        }
        ok = ok && list.AppendElement(u"SubTemplate") && list.WriteText(Utf8ToUtf16(subFile));
        if (!ok || !SaveIndented(list, listPath, pending)) {
            Discard(pending);
            return Fail("cannot update the sub-template list %s", listPath);
        }
    }
    if (changedMain && !SaveIndented(main, mainPath, pending)) {
        Discard(pending);
        return Fail("cannot write main template %s", mainPath);
    }
    // Everything is written: move the files into place, the main template
    // last, so that it never names what is not there yet.
    for (const PendingFile& f : pending)
        if (std::rename(f.temp.c_str(), f.path.c_str()) != 0) {
            Discard(pending);
            return Fail("cannot replace %s", f.path);
        }

    // The result must load and classify its own samples.
    CMainTemplateEntry check;
    if (check.Load(Utf8ToUtf16(mainPath)) != 0)
        return Fail("the updated main template %s does not load", mainPath);
    check.SetResolution(h, v);
    int status = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        CRawImage page;
        CSubTemplate* result = nullptr;
        if (!imagefile::LoadImageFile(page, Utf8ToUtf16(samples[i])) ||
            check.FindSubTemplateConsuming(page, result) != 0 || !result || result->id != id16) {
            std::printf("warning: sample %s is not classified as %s\n", samples[i].c_str(), id.c_str());
            status = 1;
        }
    }
    std::printf("%s %s as %s%s\n", existing >= 0 ? "replaced" : "added", id.c_str(),
                (subDir + subFile).c_str(), status ? "" : "; every sample classifies as it");
    return status;
}

// One line per filter config of a group: what chooses among its children.
std::string FilterConfigsText(const CMainTemplateEntry& entry, const CTemplateGroup& g) {
    std::string out;
    for (int32_t k = 0; k < g.FilterConfigCount(); ++k) {
        const CFilterConfig* c = g.FilterConfig(k);
        if (!c) continue;
        const CFilterBase* f = entry.filters->Find(c->refFilter);
        if (!out.empty()) out += "; ";
        out += f ? FilterLabel(*f) : "filter " + std::to_string(c->refFilter) + " (missing)";
        const int32_t process = f ? f->processType : kProcessThresholdGate;
        out += process == kProcessThresholdGate ? " gate " + std::to_string(c->filterThresh)
                                                : " weight " + std::to_string(c->filterWeight);
    }
    return out;
}

// The tree as a Graphviz graph: a box per group (index, name, attached
// sub-template), the filters that choose among its children on the box,
// dashed edges to default branches.
void PrintDot(const CMainTemplateEntry& entry) {
    auto quoted = [](std::string s) {
        std::string out;
        for (char c : s) {
            if (c == '"' || c == '\\') out.push_back('\\');
            out.push_back(c);
        }
        return out;
    };
    std::printf(
        "digraph templates {\n  rankdir=LR;\n  node [shape=box, fontname=\"DejaVu Sans\", fontsize=10];\n");
    const auto& groups = entry.mainTemplate->groups;
    auto node = [&](const CTemplateGroup* g) {
        return static_cast<long>(std::find(groups.begin(), groups.end(), g) - groups.begin());
    };
    for (const CTemplateGroup* g : groups) {
        if (!g) continue;
        std::string label = "[" + std::to_string(g->index) + "] " + quoted(U8(g->name));
        if (g->attached) label += "\\n-> " + quoted(U8(g->attached->id));
        const std::string filters = FilterConfigsText(entry, *g);
        if (g->childCount > 0 && !filters.empty()) label += "\\nchosen by: " + quoted(filters);
        std::printf("  g%ld [label=\"%s\"%s];\n", node(g), label.c_str(),
                    g->childCount > 0 ? ", style=filled, fillcolor=\"#e8eefc\"" : "");
        if (g->parent)
            std::printf("  g%ld -> g%ld%s;\n", node(g->parent), node(g),
                        g->action == 0 ? " [style=dashed, label=\"default\"]" : "");
    }
    std::printf("}\n");
}

int List(int argc, char** argv) {
    const bool dot = argc == 2 && std::strcmp(argv[1], "--dot") == 0;
    if (argc != 1 && !dot) return Fail("%s", "list needs the main template (and optionally --dot)", 2);
    CMainTemplateEntry entry;
    const std::string mainPath = argv[0];
    if (entry.Load(Utf8ToUtf16(mainPath)) != 0) return Fail("cannot read main template %s", mainPath, 2);
    if (dot) {
        PrintDot(entry);
        return 0;
    }
    std::printf("%s: %zu groups, %d sub-templates, %d filters\n", mainPath.c_str(),
                entry.mainTemplate->groups.size(), entry.subTemplates->count, entry.filters->count);
    // Pre-order walk with the prefix of each depth ("|  " while the
    // ancestor has later siblings).
    struct Item {
        const CTemplateGroup* group;
        std::string prefix;  // drawn before this group's own branch
        bool last;
        bool root;
    };
    std::vector<Item> stack{{entry.mainTemplate->root.get(), "", true, true}};
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        const CTemplateGroup* g = item.group;
        if (!g) continue;
        const std::string branch = item.root ? "" : (item.last ? "`- " : "+- ");
        std::string line = item.prefix + branch + "[" + std::to_string(g->index) + "] " + U8(g->name);
        if (g->attached)
            line += " -> " + U8(g->attached->id);
        else if (g->attachedTemplate >= 0)
            line += " -> missing sub-template " + std::to_string(g->attachedTemplate);
        if (!item.root && g->action == 0) line += " (default branch)";
        std::printf("%s\n", line.c_str());
        const std::string inner = item.prefix + (item.root ? "" : (item.last ? "   " : "|  "));
        std::vector<const CTemplateGroup*> kids;
        for (int32_t i = 0; i < g->childCount; ++i)
            if (g->Child(i)) kids.push_back(g->Child(i));
        if (!kids.empty()) {
            const std::string filters = FilterConfigsText(entry, *g);
            std::printf("%s%s  chosen by: %s\n", inner.c_str(), kids.empty() ? "" : "|",
                        filters.empty() ? "no filter" : filters.c_str());
        }
        for (size_t i = kids.size(); i-- > 0;) stack.push_back({kids[i], inner, i + 1 == kids.size(), false});
    }
    return 0;
}

// The file name each sub-template was read from, in list order.
std::vector<std::string> SubTemplateFiles(const std::string& listPath) {
    std::vector<std::string> files;
    CXmlDocument list;
    if (!list.Load(Utf8ToUtf16(listPath)) || !list.FindElement(u"SubTemplateList") || !list.EnterElement())
        return files;
    while (list.FindElement(u"SubTemplate")) files.push_back(Utf16ToUtf8(list.ReadText()));
    return files;
}

std::string RecordSummary(CFilterInfoBase& info) {
    char buf[160];
    if (auto* size = dynamic_cast<CFilterSizeInfo*>(&info)) {
        std::snprintf(buf, sizeof buf, "%d x %d thousandths of an inch (%.1f x %.1f mm)", size->physicalWidth,
                      size->physicalHeight, size->physicalWidth * 0.0254, size->physicalHeight * 0.0254);
        return buf;
    }
    if (auto* grid = dynamic_cast<CFilterGridInfo*>(&info)) {
        std::snprintf(buf, sizeof buf, "%d x %d cells, mean ink count %d", grid->rows, grid->cols,
                      grid->averDensity);
        std::string out = buf;
        for (int32_t r = 0;
             r < grid->rows && static_cast<size_t>((r + 1) * grid->cols) <= grid->densities.size(); ++r) {
            out += "\n      ";
            for (int32_t c = 0; c < grid->cols; ++c) {
                std::snprintf(buf, sizeof buf, "%7d",
                              grid->densities[static_cast<size_t>(r * grid->cols + c)]);
                out += buf;
            }
        }
        return out;
    }
    if (auto* frame = dynamic_cast<CFilterFrameLineInfo*>(&info)) {
        const int32_t n = frame->frameLines ? frame->frameLines->count : 0;
        return std::to_string(n) + " frame line" + (n == 1 ? "" : "s");
    }
    if (auto* text = dynamic_cast<CFilterTextInfo*>(&info)) {
        const int32_t n = text->textLines ? text->textLines->count : 0;
        std::string out = std::to_string(n) + " text line" + (n == 1 ? "" : "s");
        for (int32_t i = 0; i < n; ++i) {
            const CTextLine* line = text->textLines->Get(i);
            if (line) out += "\n      \"" + U8(line->text) + "\"";
        }
        return out;
    }
    return "a record of kind " + std::to_string(info.type);
}

int Show(int argc, char** argv) {
    if (argc != 2) return Fail("%s", "show needs the main template and an ID", 2);
    CMainTemplateEntry entry;
    const std::string mainPath = argv[0];
    if (entry.Load(Utf8ToUtf16(mainPath)) != 0) return Fail("cannot read main template %s", mainPath, 2);
    const std::u16string id = Utf8ToUtf16(argv[1]);
    const std::vector<std::string> files =
        SubTemplateFiles(Utf16ToUtf8(entry.mainTemplate->subTemplateListPath));
    for (size_t i = 0; i < entry.subTemplates->items.size(); ++i) {
        CSubTemplate* sub = entry.subTemplates->items[i].get();
        if (!sub || sub->id != id) continue;
        std::printf("%s \"%s\": output ID %s, index %d, file %s%s\n", argv[1], U8(sub->name).c_str(),
                    U8(sub->outputId).c_str(), sub->index, U8(entry.mainTemplate->subTemplatePath).c_str(),
                    i < files.size() ? files[i].c_str() : "?");
        for (const CTemplateGroup* g : entry.mainTemplate->groups)
            if (g && g->attached == sub)
                std::printf("  group [%d] %s%s\n", g->index, GroupPath(g).c_str(),
                            g->parent && g->action == 0 ? " (default branch)" : "");
        const int32_t n = sub->filterInfos ? sub->filterInfos->count : 0;
        if (n == 0) std::printf("  no reference record\n");
        for (int32_t k = 0; k < n; ++k) {
            CFilterInfoBase* info = sub->filterInfos->items.size() > static_cast<size_t>(k)
                                        ? sub->filterInfos->items[static_cast<size_t>(k)].get()
                                        : nullptr;
            if (!info) continue;
            const CFilterBase* f = entry.filters->Find(info->refFilter);
            std::printf(
                "  filter %s: %s\n",
                f ? FilterLabel(*f).c_str() : (std::to_string(info->refFilter) + " (missing)").c_str(),
                RecordSummary(*info).c_str());
        }
        return 0;
    }
    return Fail("no sub-template with ID '%s'", argv[1]);
}

// Finds the TemplateGroup element with the given "Index" anywhere below the
// cursor's level (depth first) and leaves the cursor on it.
bool FindGroupByIndex(CXmlDocument& xml, int32_t index, int depth = 0) {
    if (depth > 10000) return false;
    while (xml.FindElement(u"TemplateGroup")) {
        if (xml.ReadIntAttribute(u"Index") == index) return true;
        if (xml.EnterElement()) {
            if (FindGroupByIndex(xml, index, depth + 1)) return true;
            xml.LeaveElement();
        }
    }
    return false;
}

int Remove(int argc, char** argv) {
    if (argc != 2) return Fail("%s", "remove needs the main template and an ID", 2);
    const std::string mainPath = argv[0];
    const std::string id = argv[1];
    CMainTemplateEntry entry;
    if (entry.Load(Utf8ToUtf16(mainPath)) != 0) return Fail("cannot read main template %s", mainPath, 2);
    const std::u16string id16 = Utf8ToUtf16(id);
    int32_t position = -1;
    for (size_t i = 0; i < entry.subTemplates->items.size() && position < 0; ++i)
        if (entry.subTemplates->items[i] && entry.subTemplates->items[i]->id == id16)
            position = static_cast<int32_t>(i);
    if (position < 0) return Fail("no sub-template with ID '%s'", id);
    const CSubTemplate* sub = entry.subTemplates->items[static_cast<size_t>(position)].get();
    std::vector<const CTemplateGroup*> groups;
    for (const CTemplateGroup* g : entry.mainTemplate->groups) {
        if (!g || g->attachedTemplate != sub->index) continue;
        if (!g->parent)
            return Fail("%s", "'" + id + "' is the root group's sub-template; it cannot be removed");
        if (g->childCount > 0)
            return Fail("%s", "'" + id + "' is group '" + GroupPath(g) + "', which has " +
                                  std::to_string(g->childCount) + " children; remove them first");
        groups.push_back(g);
    }
    const std::string listPath = Utf16ToUtf8(entry.mainTemplate->subTemplateListPath);
    const std::string subDir = Utf16ToUtf8(entry.mainTemplate->subTemplatePath);
    if (!Writable(mainPath) || !Writable(DirOf(mainPath)))
        return Fail("the main template %s is read-only", mainPath);
    if (!Writable(listPath) || !Writable(DirOf(listPath)))
        return Fail("the sub-template list %s is read-only", listPath);

    std::vector<PendingFile> pending;
    CXmlDocument main;
    if (!main.Load(Utf8ToUtf16(mainPath))) return Fail("cannot read main template %s", mainPath);
    for (const CTemplateGroup* g : groups) {
        main.ResetPosition();
        bool ok = main.FindElement(u"MainTemplate") && main.EnterElement() &&
                  FindGroupByIndex(main, g->index) && main.RemoveElement() && main.LeaveElement() &&
                  main.ElementName() == u"TemplateGroup";
        ok = ok && main.WriteAttribute(u"ChildNum", g->parent->childCount - 1);
        if (!ok) return Fail("%s", "cannot take group '" + GroupPath(g) + "' out of " + mainPath);
        // Later groups of the same parent see the count already lowered.
        const_cast<CTemplateGroup*>(g->parent)->childCount -= 1;
    }
    CXmlDocument list;
    bool ok = list.Load(Utf8ToUtf16(listPath)) && list.FindElement(u"SubTemplateList") &&
              list.WriteAttribute(u"Size", static_cast<int32_t>(entry.subTemplates->items.size()) - 1) &&
              list.EnterElement();
    for (int32_t i = 0; ok && i <= position; ++i) ok = list.FindElement(u"SubTemplate");
    const std::string subFile = ok ? Utf16ToUtf8(list.ReadText()) : std::string();
    ok = ok && !subFile.empty() && list.RemoveElement();
    if (!ok) return Fail("cannot update the sub-template list %s", listPath);
    // Another entry may still use the file (two IDs written to one file).
    bool shared = false;
    const std::vector<std::string> files = SubTemplateFiles(listPath);
    for (size_t i = 0; i < files.size(); ++i)
        if (static_cast<int32_t>(i) != position && files[i] == subFile) shared = true;
    if (!SaveIndented(main, mainPath, pending) || !SaveIndented(list, listPath, pending)) {
        Discard(pending);
        return Fail("%s", "cannot write the updated main template or list");
    }
    // The main template first, so that it never names what is gone.
    std::vector<PendingFile> ordered;
    for (const PendingFile& f : pending)
        if (f.path == mainPath)
            ordered.insert(ordered.begin(), f);
        else
            ordered.push_back(f);
    for (const PendingFile& f : ordered)
        if (std::rename(f.temp.c_str(), f.path.c_str()) != 0) {
            Discard(pending);
            return Fail("cannot replace %s", f.path);
        }
    const std::string subPath = subDir + subFile;
    if (!shared && std::remove(subPath.c_str()) != 0)
        std::fprintf(stderr, "morvane-template: warning: cannot delete %s\n", subPath.c_str());
    CMainTemplateEntry again;
    if (again.Load(Utf8ToUtf16(mainPath)) != 0)
        return Fail("the updated main template %s does not load", mainPath);
    std::printf("removed %s: %zu group%s and %s\n", id.c_str(), groups.size(), groups.size() == 1 ? "" : "s",
                shared ? "its list entry (the file is shared)" : subPath.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = morvane_tool::HandleHelpAndVersion(argc, argv, "morvane-template", kUsage);
        status >= 0)
        return status;
    if (argc >= 2 && std::strcmp(argv[1], "check") == 0) return Check(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "add") == 0) return Add(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "list") == 0) return List(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "show") == 0) return Show(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "remove") == 0) return Remove(argc - 2, argv + 2);
    std::fputs(kUsage, stderr);
    return 2;
}

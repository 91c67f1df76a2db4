// morvane-classify: classifies page images from the shell.
//
// It is a host of the library like any other: it loads libmorvaneclassifier
// at run time, resolves the exported functions and drives them through the
// public C interface only.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include "morvane/classifier.h"
#include "core/TextConv.h"
#include "host_calls.h"
#include "parallel_batch.h"
#include "scan_command.h"

namespace {

using libMorvaneClassifier::Utf16ToUtf8;
using libMorvaneClassifier::Utf8ToUtf16;
using libMorvaneClassifier::JsonString;
using hostcalls::GetText;
using hostcalls::Resolve;
using hostcalls::W;

constexpr char kUsage[] =
    "usage: morvane-classify [-t MAIN.xml]... [-w WORKDIR] [--dpi H[,V]] [--valid ID]...\n"
    "                        [--shortcut] [--json] [--follow] [--max-pixels N] [--explain]\n"
    "                        [--orient] [--text] [--mrz] [--decode-dpi N] [--jobs N]\n"
    "                        [--page-timeout S] PATH...\n"
    "\n"
    "Classifies page images with one or more main templates and prints, per page,\n"
    "the path and the winning sub-template's ID, Name and OutputID (tab-separated),\n"
    "or the error message and code.\n"
    "\n"
    "  -t MAIN.xml    main template to load (repeatable; default: the bundled example set).\n"
    "                 With several templates each page is tried with them in order and the\n"
    "                 first that yields a sub-template answers.\n"
    "  -w WORKDIR     working directory holding ClasDevices.dat (default: the bundled one)\n"
    "  --dpi H[,V]    page resolution in dots per inch to use instead of the templates' own\n"
    "  --valid ID     restrict the answer to these sub-template IDs (repeatable)\n"
    "  --shortcut     answer from the single --valid ID when its template allows it\n"
    "  --json         print one JSON object per page\n"
    "  --follow       follow symbolic links to directories while searching a directory\n"
    "  --max-pixels N refuse pages of more than N pixels (default 200000000)\n"
    "  --explain      also print the decision trace of each page (JSON: per level the\n"
    "                 group, each child's score per filter, the threshold or weight, and\n"
    "                 the choice); with --json it is the \"trace\" member of the page's object\n"
    "  --orient       retry pages that end in a default branch turned by 90, 180 and 270\n"
    "                 degrees and report the turn kept\n"
    "  --text         also print the text lines the text filters recognised on the way to\n"
    "                 the answer (one \"text:\" line each); with --json the \"text\" member\n"
    "                 holds them with their boxes, filters and levels\n"
    "  --mrz          read the recognised lines as a travel document's machine-readable\n"
    "                 zone (TD1, TD2, TD3, MRV-A, MRV-B) and print its fields and check\n"
    "                 digits as JSON (\"mrz\" member with --json); a zone that does not\n"
    "                 check out is reported invalid as read; beside it the zone decoded by\n"
    "                 its structure (\"decoded\", with every changed position in \"changes\")\n"
    "  --decode-dpi N decode JPEG and JPEG-2000 pages straight to the lowest size that keeps\n"
    "                 at least N dots per inch (75 to 1200; default: full resolution)\n"
    "%s"
    "  --help         show this text\n"
    "  --version      print the library version\n"
    "\n"
    "A directory PATH is searched recursively for image files. Exit status: 0 when every\n"
    "page was classified, 1 when any page failed (a page whose worker process dies or\n"
    "overruns the time limit fails with code -63), 2 on usage errors or when the\n"
    "classifier or a template cannot be loaded.\n";

// The usage text with the batch options filled in.
std::string Usage() {
    std::string text = kUsage;
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, morvane_cli::kBatchUsage);
    return text;
}

struct Api {
    void* handle = nullptr;
    int (*LoadClassifier)(const MorvaneChar*, const MorvaneChar*) = nullptr;
    void (*FreeClassifier)() = nullptr;
    int (*AddMainTemplate)(const MorvaneChar*, int*) = nullptr;
    int (*SetPixelResolution)(int, int, int) = nullptr;
    int (*SetTemplateValid)(const MorvaneChar*, int, int) = nullptr;
    int (*ResetAllTemplates)(int, int) = nullptr;
    int (*SetAttribute)(int, int, int) = nullptr;
    int (*SetPageBudget)(long long, long long) = nullptr;
    int (*ClassifyImageFile)(const MorvaneChar*, int) = nullptr;
    int (*GetTemplateName)(MorvaneChar*, int*) = nullptr;
    int (*GetTemplateID)(MorvaneChar*, int*) = nullptr;
    int (*GetTemplateOutputID)(MorvaneChar*, int*) = nullptr;
    int (*GetErrorMsg)(int, MorvaneChar*, int*) = nullptr;
    int (*GetSDKVersion)(MorvaneChar*, int*) = nullptr;
    // Resolved only when --explain or --orient asks for them.
    int (*GetDecisionTrace)(MorvaneChar*, int*) = nullptr;
    int (*SetOrientationSearch)(int) = nullptr;
    int (*GetPageTurn)(int*) = nullptr;
    // Resolved only when --text or --mrz asks for them.
    int (*GetRecognisedText)(MorvaneChar*, int*) = nullptr;
    int (*GetRecognisedLineCount)(int*) = nullptr;
    int (*GetRecognisedLine)(int, MorvaneChar*, int*, int*) = nullptr;
    int (*ParseMrz)(const MorvaneChar*, MorvaneChar*, int*) = nullptr;
    int (*GetRecognisedZone)(MorvaneChar*, int*) = nullptr;  // optional: decodes with the engine's candidates
    int (*SetDecodeResolution)(int) = nullptr;
    int (*SetDecodeThreads)(int) = nullptr;
};

std::string ExecutableDirectory() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (n <= 0) return ".";
    std::string path(buffer, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool LoadApi(Api& api, std::string& error) {
    // Beside the program (a build tree), in the installed tree around it
    // (bin/ and lib/ under one prefix), in the build tree it came from, then
    // wherever the dynamic linker looks.
    const std::string candidates[] = {
        ExecutableDirectory() + "/libmorvaneclassifier.so",
        ExecutableDirectory() + "/../" MORVANE_INSTALLED_LIBDIR "/" MORVANE_SONAME,
        std::string(MORVANE_LIBRARY_DIR) + "/libmorvaneclassifier.so",
        MORVANE_SONAME,
        "libmorvaneclassifier.so",
    };
    for (const auto& c : candidates) {
        if (c.find('/') != std::string::npos && !Exists(c)) continue;
        api.handle = dlopen(c.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (api.handle) break;
    }
    if (!api.handle) {
        const char* e = dlerror();
        error = e ? e : "libmorvaneclassifier.so not found";
        return false;
    }
    bool ok = Resolve(api.handle, "LoadClassifier", api.LoadClassifier) &&
              Resolve(api.handle, "FreeClassifier", api.FreeClassifier) &&
              Resolve(api.handle, "AddMainTemplate", api.AddMainTemplate) &&
              Resolve(api.handle, "SetPixelResolution", api.SetPixelResolution) &&
              Resolve(api.handle, "MorvaneSetPageBudget", api.SetPageBudget) &&
              Resolve(api.handle, "SetTemplateValid", api.SetTemplateValid) &&
              Resolve(api.handle, "ResetAllTemplates", api.ResetAllTemplates) &&
              Resolve(api.handle, "SetAttribute", api.SetAttribute) &&
              Resolve(api.handle, "ClassifyImageFile", api.ClassifyImageFile) &&
              Resolve(api.handle, "GetTemplateName", api.GetTemplateName) &&
              Resolve(api.handle, "GetTemplateID", api.GetTemplateID) &&
              Resolve(api.handle, "GetTemplateOutputID", api.GetTemplateOutputID) &&
              Resolve(api.handle, "GetErrorMsg", api.GetErrorMsg) &&
              Resolve(api.handle, "GetSDKVersion", api.GetSDKVersion);
    if (!ok) error = "the library lacks an exported function";
    return ok;
}

std::string Message(const Api& api, int code) { return hostcalls::ErrorMessage(api.GetErrorMsg, code); }

bool IsImageFile(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    static const char* const kExtensions[] = {"jpg", "jpeg", "jfif", "png", "tif", "tiff", "bmp", "gif", "j2k"};
    for (const char* e : kExtensions)
        if (ext == e) return true;
    return false;
}

// Collects image files below dir in a stable (sorted) order, without
// recursion so deep trees cannot exhaust the stack. Each directory is entered
// once (by device and inode), so links that lead back up cannot loop; a
// symbolic link to a directory is followed only when asked.
void WalkDirectory(const std::string& root, bool followLinks, std::vector<std::string>& out) {
    std::set<std::pair<dev_t, ino_t>> visited;
    std::vector<std::string> pending{root};
    std::vector<std::string> found;
    while (!pending.empty()) {
        const std::string dir = pending.back();
        pending.pop_back();
        struct stat st;
        if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        if (!visited.insert({st.st_dev, st.st_ino}).second) continue;
        DIR* d = opendir(dir.c_str());
        if (!d) continue;
        std::vector<std::string> subdirs;
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            const std::string path = dir + (dir.back() == '/' ? "" : "/") + name;
            struct stat link;
            if (lstat(path.c_str(), &link) != 0) continue;
            if (S_ISLNK(link.st_mode)) {
                if (IsDirectory(path)) {
                    if (followLinks) subdirs.push_back(path);
                    continue;
                }
            } else if (S_ISDIR(link.st_mode)) {
                subdirs.push_back(path);
                continue;
            }
            if (IsImageFile(name)) found.push_back(path);
        }
        closedir(d);
        std::sort(subdirs.rbegin(), subdirs.rend());
        for (auto& s : subdirs) pending.push_back(s);
    }
    std::sort(found.begin(), found.end());
    out.insert(out.end(), found.begin(), found.end());
}

std::string BundledDirectory(const char* relative) {
    const std::string beside = ExecutableDirectory() + "/../examples/" + relative;
    if (Exists(beside)) return beside;
    const std::string installed = ExecutableDirectory() + "/../" MORVANE_INSTALLED_DATADIR "/" + relative;
    if (Exists(installed)) return installed;
    return std::string(MORVANE_SOURCE_DIR) + "/examples/" + relative;
}

// --explain and --orient: the optional functions they need.
bool LoadInsightApi(Api& api, bool explain, bool orient) {
    if (explain && !Resolve(api.handle, "MorvaneGetDecisionTrace", api.GetDecisionTrace)) return false;
    if (orient && (!Resolve(api.handle, "MorvaneSetOrientationSearch", api.SetOrientationSearch) ||
                   !Resolve(api.handle, "MorvaneGetPageTurn", api.GetPageTurn)))
        return false;
    return true;
}

// --text and --mrz: the optional functions they need.
bool LoadTextApi(Api& api, bool text, bool mrz) {
    if ((text || mrz) && (!Resolve(api.handle, "MorvaneGetRecognisedLineCount", api.GetRecognisedLineCount) ||
                          !Resolve(api.handle, "MorvaneGetRecognisedLine", api.GetRecognisedLine)))
        return false;
    if (text && !Resolve(api.handle, "MorvaneGetRecognisedText", api.GetRecognisedText)) return false;
    if (mrz && !Resolve(api.handle, "MorvaneParseMrz", api.ParseMrz)) return false;
    if (mrz && !Resolve(api.handle, "MorvaneGetRecognisedZone", api.GetRecognisedZone)) api.GetRecognisedZone = nullptr;
    return true;
}

// The recognised lines of the last classification, each as UTF-16 text.
std::vector<std::u16string> RecognisedLines(const Api& api) {
    std::vector<std::u16string> lines;
    int count = 0;
    if (api.GetRecognisedLineCount(&count) != 0) return lines;
    for (int i = 0; i < count; ++i) {
        int length = 0;
        api.GetRecognisedLine(i, nullptr, &length, nullptr);
        if (length <= 0) continue;
        std::u16string buffer(static_cast<size_t>(length), u'\0');
        if (api.GetRecognisedLine(i, reinterpret_cast<MorvaneChar*>(&buffer[0]), &length, nullptr) != 0) continue;
        buffer.resize(static_cast<size_t>(length - 1));
        lines.push_back(std::move(buffer));
    }
    return lines;
}

// --text: the lines as JSON (with --json) or one per text line; --mrz: the
// zone read from them, as JSON.
void ReadText(const Api& api, bool text, bool mrz, bool json, morvane_cli::PageResult& r) {
    const std::vector<std::u16string> lines = RecognisedLines(api);
    if (text) {
        if (json) {
            if (!GetText(api.GetRecognisedText, r.text)) r.text.clear();
        } else {
            // One printed line per recognised line: control characters an
            // engine might answer are shown as '?'.
            for (std::u16string l : lines) {
                for (char16_t& c : l)
                    if (c < 0x20 || c == 0x7F) c = u'?';
                r.text += Utf16ToUtf8(l) + "\n";
            }
            if (r.text.empty()) r.text = "\n";  // asked for, none recognised
        }
    }
    if (mrz && api.GetRecognisedZone && !lines.empty()) {
        // The zone decoded with the engine's candidates of each character
        // (with no line there is nothing to decode: the zone as read alone).
        if (GetText(api.GetRecognisedZone, r.mrz)) return;
        r.mrz.clear();
    }
    if (mrz) {
        std::u16string zone;
        for (const auto& l : lines) zone += l + u"\n";
        int length = 0;
        api.ParseMrz(W(zone), nullptr, &length);
        if (length > 0) {
            std::u16string buffer(static_cast<size_t>(length), u'\0');
            if (api.ParseMrz(W(zone), reinterpret_cast<MorvaneChar*>(&buffer[0]), &length) == 0) {
                buffer.resize(static_cast<size_t>(length - 1));
                r.mrz = Utf16ToUtf8(buffer);
            }
        }
    }
}

// The extra members of a page's report: the kept turn (with --orient) and
// the decision trace (with --explain), each as ",key:value" JSON text; the
// trace is a JSON object of its own.
struct Insight {
    std::string turn;   // "" when not asked or not known
    std::string trace;  // "" when not asked or not available
};

Insight ReadInsight(const Api& api, bool explain, bool orient) {
    Insight in;
    if (orient) {
        int degrees = 0;
        if (api.GetPageTurn(&degrees) == 0) in.turn = std::to_string(degrees);
    }
    if (explain && !GetText(api.GetDecisionTrace, in.trace)) in.trace.clear();
    return in;
}

// Appends the insight to a page's JSON object text (before its closing brace).
std::string JsonInsight(const Insight& in) {
    std::string out;
    if (!in.turn.empty()) out += ",\"turn\":" + in.turn;
    if (!in.trace.empty()) out += ",\"trace\":" + in.trace;
    return out;
}

// Prints the insight after a page's text line.
void PrintInsight(const Insight& in) {
    if (!in.turn.empty()) std::printf("  turn: %s\n", in.turn.c_str());
    if (!in.trace.empty()) std::printf("  trace: %s\n", in.trace.c_str());
}

// The recognised lines and the zone read from them, in a page's JSON object.
std::string JsonText(const morvane_cli::PageResult& r) {
    std::string out;
    if (!r.text.empty()) out += ",\"text\":" + r.text;
    if (!r.mrz.empty()) out += ",\"mrz\":" + r.mrz;
    return out;
}

// The same after a page's text line: one "text:" line per recognised line
// ("text: (none)" when none was), then the zone.
void PrintText(const morvane_cli::PageResult& r) {
    if (r.text == "\n") std::printf("  text: (none)\n");
    size_t at = 0;
    while (r.text != "\n" && at < r.text.size()) {
        const size_t end = r.text.find('\n', at);
        const std::string line = r.text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        std::printf("  text: %s\n", line.c_str());
        if (end == std::string::npos) break;
        at = end + 1;
    }
    if (!r.mrz.empty()) std::printf("  mrz: %s\n", r.mrz.c_str());
}

void Progress(size_t done, size_t total) {
    const int width = 30;
    const int filled = static_cast<int>(done * width / (total ? total : 1));
    std::fprintf(stderr, "\r[%.*s%*s] %zu/%zu", filled, "==============================", width - filled, "", done,
                 total);
    if (done == total) std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> templates, valid, inputs;
    std::string workdir;
    int horiDpi = -1, vertDpi = -1;
    bool json = false, shortcut = false, version = false, followLinks = false;
    bool explain = false, orient = false, text = false, mrz = false;
    long long maxPixels = 0;
    int decodeDpi = 0;
    morvane_cli::BatchSettings batch;
    scancommand::ScanOptions scan;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* option) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "morvane-classify: %s needs a value\n%s", option, Usage().c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (const int taken = scancommand::ParseScanOption(i, argc, argv, scan)) {
            if (taken < 0) return 2;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(Usage().c_str(), stdout);
            std::fputs(scancommand::kScanUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            version = true;
        } else if (arg == "-t") {
            templates.push_back(value("-t"));
        } else if (arg == "-w") {
            workdir = value("-w");
        } else if (arg == "--dpi") {
            const std::string v = value("--dpi");
            char* end = nullptr;
            const long h = std::strtol(v.c_str(), &end, 10);
            long vv = h;
            if (end && *end == ',') vv = std::strtol(end + 1, &end, 10);
            if (!end || *end || h <= 0 || vv <= 0 || h > 100000 || vv > 100000) {
                std::fprintf(stderr, "morvane-classify: bad --dpi value '%s'\n", v.c_str());
                return 2;
            }
            horiDpi = static_cast<int>(h);
            vertDpi = static_cast<int>(vv);
        } else if (arg == "--valid") {
            valid.push_back(value("--valid"));
        } else if (arg == "--shortcut") {
            shortcut = true;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--max-pixels") {
            const std::string v = value("--max-pixels");
            char* end = nullptr;
            errno = 0;
            const long long n = std::strtoll(v.c_str(), &end, 10);
            if (!end || *end || v.empty() || errno || n <= 0) {
                std::fprintf(stderr, "morvane-classify: bad --max-pixels value '%s'\n", v.c_str());
                return 2;
            }
            maxPixels = n;
        } else if (arg == "--decode-dpi") {
            const std::string v = value("--decode-dpi");
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || !end || *end || n < 75 || n > 1200) {
                std::fprintf(stderr, "morvane-classify: bad --decode-dpi value '%s': give 75 to 1200\n", v.c_str());
                return 2;
            }
            decodeDpi = static_cast<int>(n);
        } else if (arg == "--explain") {
            explain = true;
        } else if (arg == "--orient") {
            orient = true;
        } else if (arg == "--text") {
            text = true;
        } else if (arg == "--mrz") {
            mrz = true;
        } else if (arg == "--follow") {
            followLinks = true;
        } else if (const int taken = morvane_cli::ParseBatchOption(argc, argv, i, batch); taken != 0) {
            if (taken < 0) return 2;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "morvane-classify: unknown option '%s'\n%s", arg.c_str(), Usage().c_str());
            return 2;
        } else {
            inputs.push_back(arg);
        }
    }

    Api api;
    std::string error;
    if (!LoadApi(api, error)) {
        std::fprintf(stderr, "morvane-classify: cannot load the classifier library: %s\n", error.c_str());
        return 2;
    }
    if (!LoadInsightApi(api, explain, orient)) {
        std::fprintf(stderr, "morvane-classify: the library lacks the functions --explain or --orient need\n");
        return 2;
    }
    if (!LoadTextApi(api, text, mrz)) {
        std::fprintf(stderr, "morvane-classify: the library lacks the functions --text or --mrz need\n");
        return 2;
    }
    if (version) {
        std::string text;
        if (!GetText(api.GetSDKVersion, text)) return 2;
        std::printf("morvane-classify %s\n", text.c_str());
        return 0;
    }
    if (scan.enabled && !inputs.empty()) {
        std::fprintf(stderr, "morvane-classify: --scan takes no PATH\n");
        return 2;
    }
    if (inputs.empty() && !scan.enabled) {
        std::fprintf(stderr, "morvane-classify: no page given\n%s", Usage().c_str());
        return 2;
    }
    if (templates.empty()) templates.push_back(BundledDirectory("templates/main.xml"));
    if (scan.enabled) {
        if (horiDpi > 0) scan.dpi = horiDpi;
        // Without -w, a device list naming the scanner is made for the run.
        if (workdir.empty()) workdir = scancommand::PrepareScanWorkdir(scan);
        if (workdir.empty()) {
            std::fprintf(stderr, "morvane-classify: cannot prepare the scanner configuration\n");
            scancommand::RemoveScanWorkdir(scan);
            return 2;
        }
    }
    if (workdir.empty()) workdir = BundledDirectory("workdir");
    if (workdir.back() != '/') workdir.push_back('/');

    if (maxPixels > 0) api.SetPageBudget(maxPixels, 0);
    Resolve(api.handle, "MorvaneSetDecodeResolution", api.SetDecodeResolution);
    Resolve(api.handle, "MorvaneSetDecodeThreads", api.SetDecodeThreads);
    if (decodeDpi > 0 && (!api.SetDecodeResolution || api.SetDecodeResolution(decodeDpi) != 0)) {
        std::fprintf(stderr, "morvane-classify: the library cannot decode at a working resolution\n");
        scancommand::RemoveScanWorkdir(scan);
        return 2;
    }
    if (orient) api.SetOrientationSearch(1);
    int code = api.LoadClassifier(nullptr, W(Utf8ToUtf16(workdir)));
    scancommand::RemoveScanWorkdir(scan);  // read by LoadClassifier, not needed after
    if (code != 0) {
        std::fprintf(stderr, "morvane-classify: cannot load the classifier from %s: %s (%d)\n", workdir.c_str(),
                     Message(api, code).c_str(), code);
        return 2;
    }
    std::vector<int> indexes;
    for (const auto& t : templates) {
        int index = -1;
        code = api.AddMainTemplate(W(Utf8ToUtf16(t)), &index);
        if (code != 0) {
            std::fprintf(stderr, "morvane-classify: cannot load template %s: %s (%d)\n", t.c_str(),
                         Message(api, code).c_str(), code);
            api.FreeClassifier();
            return 2;
        }
        indexes.push_back(index);
    }
    for (int index : indexes) {
        if (horiDpi > 0) api.SetPixelResolution(horiDpi, vertDpi, index);
        if (!valid.empty()) {
            api.ResetAllTemplates(0, index);
            for (const auto& id : valid) api.SetTemplateValid(W(Utf8ToUtf16(id)), 0, index);
        }
        if (shortcut) api.SetAttribute(0, 1, index);
    }

    if (scan.enabled) {
        const int status = scancommand::RunScan(api.handle, scan, indexes, json);
        api.FreeClassifier();
        return status;
    }

    std::vector<std::string> pages;
    for (const auto& in : inputs) {
        if (IsDirectory(in))
            WalkDirectory(in, followLinks, pages);
        else
            pages.push_back(in);
    }

    // Worker processes side by side share the cores: each decodes its page
    // on one thread.
    if (api.SetDecodeThreads && morvane_cli::WorkerCount(batch, pages.size()) > 1) api.SetDecodeThreads(1);
    const bool progress = pages.size() > 1 && isatty(STDERR_FILENO);
    bool anyFailed = false;
    size_t shown = 0;  // finished pages, as the progress bar shows them
    // Runs inside a worker process, with the library and templates loaded
    // above inherited from this process.
    auto classify = [&](const std::string& page) {
        morvane_cli::PageResult r;
        r.code = -8;
        for (int index : indexes) {
            r.code = api.ClassifyImageFile(W(Utf8ToUtf16(page)), index);
            if (r.code == 0 && GetText(api.GetTemplateID, r.id)) {
                GetText(api.GetTemplateName, r.name);
                GetText(api.GetTemplateOutputID, r.outputId);
                break;
            }
            if (r.code == 0) r.code = -8;  // classified, but no sub-template was found
            if (r.code == -16) break;      // the page itself cannot be read
        }
        if (r.code != 0) r.message = Message(api, r.code);
        if ((explain || orient) && r.code != -16) {
            const Insight insight = ReadInsight(api, explain, orient);
            r.turn = insight.turn;
            r.trace = insight.trace;
        }
        if ((text || mrz) && r.code != -16) ReadText(api, text, mrz, json, r);
        return r;
    };
    auto emit = [&](size_t p, const morvane_cli::PageResult& r) {
        const std::string& page = pages[p];
        if (progress) std::fprintf(stderr, "\r%*s\r", 60, "");  // clear the bar before the line
        const Insight insight{r.turn, r.trace};
        if (r.code == 0) {
            if (json)
                std::printf("{\"path\":%s,\"id\":%s,\"name\":%s,\"outputId\":%s%s%s}\n", JsonString(page).c_str(),
                            JsonString(r.id).c_str(), JsonString(r.name).c_str(), JsonString(r.outputId).c_str(),
                            JsonInsight(insight).c_str(), JsonText(r).c_str());
            else
                std::printf("%s\t%s\t%s\t%s\n", page.c_str(), r.id.c_str(), r.name.c_str(), r.outputId.c_str());
        } else {
            anyFailed = true;
            if (json)
                std::printf("{\"path\":%s,\"error\":%s,\"code\":%d%s%s}\n", JsonString(page).c_str(),
                            JsonString(r.message).c_str(), r.code, JsonInsight(insight).c_str(),
                            JsonText(r).c_str());
            else
                std::printf("%s\terror: %s (%d)\n", page.c_str(), r.message.c_str(), r.code);
        }
        if (!json) {
            PrintInsight(insight);
            PrintText(r);
        }
        if (std::fflush(stdout) != 0 && errno == EPIPE) {
            // The reader went away (e.g. `| head`): end as a plain pipeline
            // member would; the workers follow their parent.
            std::signal(SIGPIPE, SIG_DFL);
            std::raise(SIGPIPE);
        }
        if (progress) Progress(shown, pages.size());
    };
    auto showProgress = [&](size_t done, size_t total) {
        shown = done;
        if (progress) Progress(done, total);
    };
    morvane_cli::RunBatch(pages, batch, classify, emit, showProgress);
    api.FreeClassifier();
    return anyFailed ? 1 : 0;
}

// morvane-classify: classifies page images from the shell.
//
// It is a host of the library like any other: it loads libmorvaneclassifier
// at run time, resolves the exported functions and drives them through the
// public C interface only.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "classify_output.h"
#include "core/TextConv.h"
#include "host_calls.h"
#include "morvane/classifier.h"
#include "overlay_files.h"
#include "page_inputs.h"
#include "parallel_batch.h"
#include "report_html.h"
#include "scan_command.h"
#include "tool_options.h"

namespace {

using hostcalls::GetText;
using hostcalls::Resolve;
using hostcalls::W;
using libMorvaneClassifier::PathBytesToUtf16;
using libMorvaneClassifier::Utf16ToPathBytes;
using libMorvaneClassifier::Utf16ToUtf8;
using libMorvaneClassifier::Utf8ToUtf16;
using morvane_cli::EscapeField;
using morvane_cli::JsonBytes;

constexpr char kUsage[] =
    "Usage: morvane-classify [-t MAIN.xml]... [-w WORKDIR] [--dpi auto|template|H[,V]] [--valid ID]...\n"
    "                        [--shortcut] [--json] [--follow] [--max-pixels N] [--explain[=text]]\n"
    "                        [--orient] [--text] [--mrz] [--decode-dpi N] [--jobs N]\n"
    "                        [--page-timeout S] [--pages A-B] [--overlay DIR]\n"
    "                        [--report FILE.html] PATH...\n"
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
    "  --dpi auto     (the default) the resolution the page's file states when it states one\n"
    "                 with a unit from 75 to 1200 dpi (72 and 96 count as unknown), else the\n"
    "                 templates' own; --dpi template: always the templates' own. --json\n"
    "                 shows the one used as \"resolution\":{\"x\",\"y\",\"source\"}, source\n"
    "                 \"option\", \"file\" or \"template\"; --explain prints it too\n"
    "  --valid ID     restrict the answer to these sub-template IDs (repeatable)\n"
    "  --shortcut     answer from the single --valid ID when its template allows it\n"
    "  --json         print one JSON object per page, with the winning \"score\" and its\n"
    "                 \"margin\" over the runner-up at the deciding level (null when no level\n"
    "                 was decided by score), and \"detail\" on failures when known\n"
    "  --follow       follow symbolic links to directories while searching a directory\n"
    "  --max-pixels N refuse pages of more than N pixels (default 36000000)\n"
    "  --explain      also print the decision trace of each page (JSON: per level the\n"
    "                 group, each child's score per filter, the threshold or weight, and\n"
    "                 the choice); with --json it is the \"trace\" member of the page's object\n"
    "  --explain=text the decision trace as an indented tree for people (one level per\n"
    "                 block, the chosen child marked '*'); with --json the \"traceText\"\n"
    "                 member holds it as one string\n"
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
    "  --overlay DIR  write a picture per page into DIR (created when missing): the page\n"
    "                 after preprocessing with what each filter of the walked path measured\n"
    "                 drawn on it against the chosen class, and the decision of each level;\n"
    "                 named after the page's path, '/' turned into '_', as .png\n"
    "  --report FILE.html  write one self-contained page for the batch: a row per page\n"
    "                 (overlay thumbnail, class, score and margin, resolution, time), failed\n"
    "                 and low-margin pages first, a class filter; a row opens its overlay and\n"
    "                 decision tree (the overlays go to --overlay DIR or a temporary folder\n"
    "                 in $TMPDIR, removed afterwards)\n"
    "  --pdf-dpi N    render PDF pages that are not one scanned image at N dots per inch\n"
    "                 (50 to 1200; default 300). A page that is one scanned image is read\n"
    "                 at that image's own resolution, its source \"file\"\n"
    "  --decode-dpi N decode JPEG and JPEG-2000 pages straight to the lowest size that keeps\n"
    "                 at least N dots per inch (75 to 1200; default: full resolution)\n"
    "  --pages A-B    classify pages A to B (from 1; also N or A-) of multi-page files\n"
    "                 (TIFF, PDF); every page is named PATH#page=N (default: all pages).\n"
    "                 With --scan it is the number of pages to scan instead\n"
    "%s"
    "  --check-engines start every recognition engine the templates name before any page\n"
    "                 is read; a missing, corrupt or wrong engine file stops the run (exit 2)\n"
    "                 with the engine and its file named. Without PATH only the check runs.\n"
    "  --help         show this text\n"
    "  --version      print the library version\n"
    "  --             end of options: every argument after it is a PATH\n"
    "\n"
    "A PATH of - reads one image file from standard input (at most 256 MiB). Files are\n"
    "recognised by their first bytes, whatever their names; a page that cannot be read\n"
    "is reported with its cause after the code (\"detail\" with --json).\n"
    "Output cannot be forged by names: in the plain lines a backslash, tab, line break or\n"
    "other control character in a path, name or message is written as \\\\, \\t, \\n, \\r\n"
    "or \\xNN, and bytes that are not UTF-8 as \\xNN. --json output is always valid UTF-8:\n"
    "bytes of a file name that are not UTF-8 appear as \\udc80 to \\udcff (Python's\n"
    "\"surrogateescape\": os.fsencode gives the name's bytes back).\n"
    "\n"
    "A directory PATH is searched recursively for image files; an entry that cannot be\n"
    "read there is reported as a failed page. Exit status: 0 when every\n"
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
    int (*GetDecisionTraceText)(MorvaneChar*, int*) = nullptr;  // --explain=text
    int (*SetOverlayRecording)(int) = nullptr;                  // --overlay
    int (*SaveOverlay)(const MorvaneChar*) = nullptr;
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
    // Resolved when the library has them (older libraries lack them).
    int (*SetFileResolution)(int) = nullptr;
    int (*GetPageResolution)(int*, int*, int*) = nullptr;
    int (*GetDecisionMargin)(int*, int*) = nullptr;
    int (*GetLastErrorDetail)(MorvaneChar*, int*) = nullptr;
    // Pages of files and standard input, and the failure detail: resolved
    // when the library has them.
    int (*GetImagePageCount)(const MorvaneChar*, int*) = nullptr;
    int (*ClassifyImageFilePage)(const MorvaneChar*, int, int) = nullptr;
    int (*ClassifyEncodedImage)(const unsigned char*, long long, int, int) = nullptr;
    // PDF pages: resolved when the library has them.
    int (*GetEncodedImagePageCount)(const unsigned char*, long long, int*) = nullptr;
    int (*SetPdfRenderResolution)(int) = nullptr;
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
    // (bin/ and lib/ under one prefix), then wherever the dynamic linker
    // looks. Only paths relative to the program: no build directory is
    // written into it.
    const std::string candidates[] = {
        ExecutableDirectory() + "/libmorvaneclassifier.so",
        ExecutableDirectory() + "/../" MORVANE_INSTALLED_LIBDIR "/" MORVANE_SONAME,
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

// The failure detail after the code: ": cause", without the file's name when
// the detail starts with it (the line already shows it).
std::string DetailSuffix(const std::string& detail, const std::string& path) {
    if (detail.empty()) return "";
    if (detail.compare(0, path.size() + 2, path + ": ") == 0)
        return ": " + EscapeField(detail.substr(path.size() + 2));
    return ": " + EscapeField(detail);
}

bool IsImageFile(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    static const char* const kExtensions[] = {"jpg", "jpeg", "jfif", "jpe", "png", "tif", "tiff",
                                              "bmp", "dib",  "gif",  "j2k", "j2c", "jp2", "pdf"};
    for (const char* e : kExtensions)
        if (ext == e) return true;
    return false;
}

// Collects image files below dir in a stable (sorted) order, without
// recursion so deep trees cannot exhaust the stack. Each directory is entered
// once (by device and inode), so links that lead back up cannot loop; a
// symbolic link to a directory is followed only when asked. A directory or
// entry that cannot be read is listed too, with the reason in `unreadable`,
// so that it is reported rather than skipped.
void WalkDirectory(const std::string& root, bool followLinks, std::vector<std::string>& out,
                   std::map<std::string, std::string>& unreadable) {
    auto fail = [&](std::vector<std::string>& list, const std::string& path, const char* what) {
        const int e = errno;
        unreadable[path] = std::string(what) + ": " + std::strerror(e);
        list.push_back(path);
    };
    std::set<std::pair<dev_t, ino_t>> visited;
    std::vector<std::string> pending{root};
    std::vector<std::string> found;
    while (!pending.empty()) {
        const std::string dir = pending.back();
        pending.pop_back();
        struct stat st;
        if (stat(dir.c_str(), &st) != 0) {
            fail(found, dir, "cannot read the directory");
            continue;
        }
        if (!S_ISDIR(st.st_mode)) continue;
        if (!visited.insert({st.st_dev, st.st_ino}).second) continue;
        DIR* d = opendir(dir.c_str());
        if (!d) {
            fail(found, dir, "cannot open the directory");
            continue;
        }
        std::vector<std::string> subdirs;
        for (;;) {
            errno = 0;
            dirent* e = readdir(d);
            if (!e) {
                if (errno != 0) fail(found, dir, "cannot list the directory");
                break;
            }
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            const std::string path = dir + (dir.back() == '/' ? "" : "/") + name;
            struct stat link;
            if (lstat(path.c_str(), &link) != 0) {
                fail(found, path, "cannot read the entry");
                continue;
            }
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

// The bundled examples: in the installed tree around the program, through
// the link a build tree keeps to the source's examples, or in a build
// directory inside the source tree.
std::string BundledDirectory(const char* relative) {
    const std::string candidates[] = {
        ExecutableDirectory() + "/../" MORVANE_INSTALLED_DATADIR "/" + relative,
        ExecutableDirectory() + "/morvane-examples/" + relative,
        ExecutableDirectory() + "/../examples/" + relative,
    };
    for (const std::string& c : candidates)
        if (Exists(c)) return c;
    return candidates[0];
}

// --explain and --orient: the optional functions they need.
bool LoadInsightApi(Api& api, bool explain, bool orient) {
    if (explain && !Resolve(api.handle, "MorvaneGetDecisionTrace", api.GetDecisionTrace)) return false;
    if (explain && !Resolve(api.handle, "MorvaneGetDecisionTraceText", api.GetDecisionTraceText))
        return false;
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
    if (mrz && !Resolve(api.handle, "MorvaneGetRecognisedZone", api.GetRecognisedZone))
        api.GetRecognisedZone = nullptr;
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
        if (api.GetRecognisedLine(i, reinterpret_cast<MorvaneChar*>(&buffer[0]), &length, nullptr) != 0)
            continue;
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
    std::string turn;          // "" when not asked or not known
    std::string trace;         // "" when not asked or not available
    bool traceIsText = false;  // trace holds the tree for people (--explain=text)
};

Insight ReadInsight(const Api& api, bool explain, bool explainText, bool orient) {
    Insight in;
    if (orient) {
        int degrees = 0;
        if (api.GetPageTurn(&degrees) == 0) in.turn = std::to_string(degrees);
    }
    if (explain && !GetText(explainText ? api.GetDecisionTraceText : api.GetDecisionTrace, in.trace))
        in.trace.clear();
    in.traceIsText = explainText;
    return in;
}

// Appends the insight to a page's JSON object text (before its closing brace).
std::string JsonInsight(const Insight& in) {
    std::string out;
    if (!in.turn.empty()) out += ",\"turn\":" + in.turn;
    if (!in.trace.empty())
        out += (in.traceIsText ? ",\"traceText\":" + JsonBytes(in.trace) : ",\"trace\":" + in.trace);
    return out;
}

// Prints the insight after a page's text line.
void PrintInsight(const Insight& in) {
    if (!in.turn.empty()) std::printf("  turn: %s\n", in.turn.c_str());
    if (!in.trace.empty() && !in.traceIsText) std::printf("  trace: %s\n", in.trace.c_str());
    if (!in.trace.empty() && in.traceIsText) {
        // The tree, each of its lines indented below the page's line.
        size_t at = 0;
        while (at < in.trace.size()) {
            size_t end = in.trace.find('\n', at);
            if (end == std::string::npos) end = in.trace.size();
            std::printf("  | %s\n", in.trace.substr(at, end - at).c_str());
            at = end + 1;
        }
    }
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

// The library's detail on the last failure ("" when it has none or the
// library cannot say).
std::string LastDetail(const Api& api) {
    if (!api.GetLastErrorDetail) return "";
    int length = 0;
    api.GetLastErrorDetail(nullptr, &length);  // asks for the length
    if (length <= 1) return "";
    std::u16string buffer(static_cast<size_t>(length), u'\0');
    if (api.GetLastErrorDetail(reinterpret_cast<MorvaneChar*>(&buffer[0]), &length) != 0 || length <= 1)
        return "";
    buffer.resize(static_cast<size_t>(length - 1));
    // File names in the detail may hold bytes that are not UTF-8.
    return Utf16ToPathBytes(buffer);
}

// A failure's detail after the code on a plain line: ": detail", escaped.
std::string DetailSuffix(const std::string& detail) {
    return detail.empty() ? "" : ": " + EscapeField(detail);
}

// The resolution the page was measured with and the winning score with its
// margin, when the library can say.
void ReadDecision(const Api& api, morvane_cli::PageResult& r) {
    static const char* const kSources[] = {"template", "file", "option"};
    int x = 0, y = 0, source = 0;
    if (api.GetPageResolution && api.GetPageResolution(&x, &y, &source) == 0 && source >= 0 && source <= 2) {
        r.resolutionX = x;
        r.resolutionY = y;
        r.resolutionSource = kSources[source];
    }
    int score = -1, margin = -1;
    if (api.GetDecisionMargin && api.GetDecisionMargin(&score, &margin) == 0) {
        r.score = score;
        r.margin = margin;
    }
}

// The same as members of a page's JSON object.
std::string JsonDecision(const morvane_cli::PageResult& r) {
    std::string out;
    if (!r.resolutionSource.empty())
        out += ",\"resolution\":{\"x\":" + std::to_string(r.resolutionX) +
               ",\"y\":" + std::to_string(r.resolutionY) + ",\"source\":\"" + r.resolutionSource + "\"}";
    if (r.score >= 0)
        out += ",\"score\":" + std::to_string(r.score) + ",\"margin\":" + std::to_string(r.margin);
    else
        out += ",\"score\":null,\"margin\":null";
    return out;
}

void Progress(size_t done, size_t total) {
    const int width = 30;
    const int filled = static_cast<int>(done * width / (total ? total : 1));
    std::fprintf(stderr, "\r[%.*s%*s] %zu/%zu", filled, "==============================", width - filled, "",
                 done, total);
    if (done == total) std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> templates, valid, inputs;
    std::string workdir;
    int horiDpi = -1, vertDpi = -1;
    bool fileDpi = true;  // --dpi auto: the file's stated resolution before the templates'
    bool json = false, shortcut = false, version = false, followLinks = false;
    bool explain = false, explainText = false, orient = false, text = false, mrz = false,
         checkEngines = false;
    std::string overlayDir;  // --overlay
    std::string reportFile;  // --report
    long long maxPixels = 0;
    int decodeDpi = 0;
    int pdfDpi = 0;  // 0: the library's default
    morvane_cli::BatchSettings batch;
    scancommand::ScanOptions scan;
    morvane_cli::PageRange pageRange;
    std::string pagesValue;
    bool pagesGiven = false;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (morvane_tool::IsEndOfOptions(argv[i])) {
            inputs.insert(inputs.end(), argv + i + 1, argv + argc);
            break;
        }
        auto value = [&](const char* option) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "morvane-classify: %s needs a value\n%s", option, Usage().c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        // --pages counts pages to scan with --scan, and selects pages of
        // multi-page files otherwise: it is read once all options are known.
        if (arg == "--pages") {
            pagesValue = value("--pages");
            pagesGiven = true;
        } else if (const int taken = scancommand::ParseScanOption(i, argc, argv, scan)) {
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
            if (v == "auto" || v == "template") {
                fileDpi = v == "auto";
                horiDpi = vertDpi = -1;
                continue;
            }
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
        } else if (arg == "--report") {
            reportFile = value("--report");
            if (reportFile.empty()) {
                std::fprintf(stderr, "morvane-classify: --report needs a file\n");
                return 2;
            }
        } else if (arg == "--overlay") {
            overlayDir = value("--overlay");
            if (overlayDir.empty()) {
                std::fprintf(stderr, "morvane-classify: --overlay needs a folder\n");
                return 2;
            }
        } else if (arg == "--decode-dpi") {
            const std::string v = value("--decode-dpi");
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || !end || *end || n < 75 || n > 1200) {
                std::fprintf(stderr, "morvane-classify: bad --decode-dpi value '%s': give 75 to 1200\n",
                             v.c_str());
                return 2;
            }
            decodeDpi = static_cast<int>(n);
        } else if (arg == "--pdf-dpi") {
            const std::string v = value("--pdf-dpi");
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || !end || *end || n < 50 || n > 1200) {
                std::fprintf(stderr, "morvane-classify: bad --pdf-dpi value '%s': give 50 to 1200\n",
                             v.c_str());
                return 2;
            }
            pdfDpi = static_cast<int>(n);
        } else if (arg == "--explain" || arg == "--explain=json") {
            explain = true;
        } else if (arg == "--explain=text") {
            explain = explainText = true;
        } else if (arg == "--orient") {
            orient = true;
        } else if (arg == "--text") {
            text = true;
        } else if (arg == "--mrz") {
            mrz = true;
        } else if (arg == "--check-engines") {
            checkEngines = true;
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

    if (pagesGiven && scan.enabled) {
        std::string option = "--pages";
        char* scanArgs[] = {argv[0], &option[0], &pagesValue[0]};
        int at = 1;
        if (scancommand::ParseScanOption(at, 3, scanArgs, scan) < 0) return 2;
    } else if (pagesGiven && !morvane_cli::ParsePageRange(pagesValue, pageRange)) {
        std::fprintf(stderr, "morvane-classify: --pages wants A-B, N or A- (pages from 1), not '%s'\n",
                     pagesValue.c_str());
        return 2;
    }

    Api api;
    std::string error;
    if (!LoadApi(api, error)) {
        std::fprintf(stderr, "morvane-classify: cannot load the classifier library: %s\n", error.c_str());
        return 2;
    }
    if (!LoadInsightApi(api, explain, orient)) {
        std::fprintf(stderr,
                     "morvane-classify: the library lacks the functions --explain or --orient need\n");
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
    if (inputs.empty() && !scan.enabled && !checkEngines) {
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
    // The engines look their files up from the working directory: an
    // absolute path keeps that lookup independent of where they run.
    if (char* absolute = realpath(workdir.c_str(), nullptr)) {
        workdir = absolute;
        std::free(absolute);
    }
    if (workdir.back() != '/') workdir.push_back('/');

    if (maxPixels > 0) api.SetPageBudget(maxPixels, 0);
    Resolve(api.handle, "MorvaneSetDecodeResolution", api.SetDecodeResolution);
    Resolve(api.handle, "MorvaneSetDecodeThreads", api.SetDecodeThreads);
    if (decodeDpi > 0 && (!api.SetDecodeResolution || api.SetDecodeResolution(decodeDpi) != 0)) {
        std::fprintf(stderr, "morvane-classify: the library cannot decode at a working resolution\n");
        scancommand::RemoveScanWorkdir(scan);
        return 2;
    }
    Resolve(api.handle, "MorvaneSetPdfRenderResolution", api.SetPdfRenderResolution);
    if (pdfDpi > 0 && (!api.SetPdfRenderResolution || api.SetPdfRenderResolution(pdfDpi) != 0)) {
        std::fprintf(stderr,
                     "morvane-classify: the library cannot render PDF pages at a chosen resolution\n");
        scancommand::RemoveScanWorkdir(scan);
        return 2;
    }
    if (orient) api.SetOrientationSearch(1);
    // The report needs the overlays (in a temporary folder unless --overlay
    // names one) and both forms of the trace.
    std::string reportTemp;
    if (!reportFile.empty()) {
        if (overlayDir.empty()) {
            const char* tmpdir = std::getenv("TMPDIR");
            std::string pattern = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/morvane-report-XXXXXX";
            if (!mkdtemp(&pattern[0])) {
                std::fprintf(stderr, "morvane-classify: cannot create a temporary folder for the report\n");
                return 2;
            }
            overlayDir = reportTemp = pattern;
        }
        if (!Resolve(api.handle, "MorvaneGetDecisionTrace", api.GetDecisionTrace) ||
            !Resolve(api.handle, "MorvaneGetDecisionTraceText", api.GetDecisionTraceText)) {
            std::fprintf(stderr, "morvane-classify: the library lacks the functions --report needs\n");
            return 2;
        }
    }
    if (!overlayDir.empty()) {
        if (!Resolve(api.handle, "MorvaneSetOverlayRecording", api.SetOverlayRecording) ||
            !Resolve(api.handle, "MorvaneSaveOverlay", api.SaveOverlay)) {
            std::fprintf(stderr, "morvane-classify: the library lacks the functions --overlay needs\n");
            return 2;
        }
        if (!morvane_cli::MakeOverlayDirectory(overlayDir)) {
            std::fprintf(stderr, "morvane-classify: cannot create the overlay folder %s\n",
                         overlayDir.c_str());
            return 2;
        }
        api.SetOverlayRecording(1);
    }
    Resolve(api.handle, "MorvaneSetFileResolution", api.SetFileResolution);
    Resolve(api.handle, "MorvaneGetPageResolution", api.GetPageResolution);
    Resolve(api.handle, "MorvaneGetDecisionMargin", api.GetDecisionMargin);
    Resolve(api.handle, "MorvaneGetLastErrorDetail", api.GetLastErrorDetail);
    if (api.SetFileResolution) api.SetFileResolution(fileDpi && horiDpi <= 0 ? 1 : 0);
    int code = api.LoadClassifier(nullptr, W(PathBytesToUtf16(workdir)));
    scancommand::RemoveScanWorkdir(scan);  // read by LoadClassifier, not needed after
    if (code != 0) {
        std::fprintf(stderr, "morvane-classify: cannot load the classifier from %s: %s (%d)%s\n",
                     EscapeField(workdir).c_str(), EscapeField(Message(api, code)).c_str(), code,
                     DetailSuffix(LastDetail(api)).c_str());
        return 2;
    }
    std::vector<int> indexes;
    for (const auto& t : templates) {
        int index = -1;
        code = api.AddMainTemplate(W(PathBytesToUtf16(t)), &index);
        if (code != 0) {
            std::fprintf(stderr, "morvane-classify: cannot load template %s: %s (%d)%s\n",
                         EscapeField(t).c_str(), EscapeField(Message(api, code)).c_str(), code,
                         DetailSuffix(LastDetail(api)).c_str());
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

    if (checkEngines) {
        int (*check)(int) = nullptr;
        if (!Resolve(api.handle, "MorvaneCheckEngines", check)) {
            std::fprintf(stderr, "morvane-classify: the library cannot check its engines\n");
            api.FreeClassifier();
            return 2;
        }
        code = check(-1);
        if (code != 0) {
            std::fprintf(stderr, "morvane-classify: engine check failed: %s (%d)%s\n",
                         EscapeField(Message(api, code)).c_str(), code,
                         DetailSuffix(LastDetail(api)).c_str());
            api.FreeClassifier();
            return 2;
        }
        if (inputs.empty() && !scan.enabled) {
            std::printf("engines: every engine the templates name starts\n");
            api.FreeClassifier();
            return 0;
        }
    }

    if (scan.enabled) {
        const int status = scancommand::RunScan(api.handle, scan, indexes, json);
        api.FreeClassifier();
        return status;
    }

    Resolve(api.handle, "MorvaneGetImagePageCount", api.GetImagePageCount);
    Resolve(api.handle, "MorvaneClassifyImageFilePage", api.ClassifyImageFilePage);
    Resolve(api.handle, "MorvaneClassifyEncodedImage", api.ClassifyEncodedImage);
    Resolve(api.handle, "MorvaneGetEncodedImagePageCount", api.GetEncodedImagePageCount);
    std::vector<std::string> files;
    std::map<std::string, std::string> unreadable;  // entries a walk could not read, and why
    for (const auto& in : inputs) {
        if (in != "-" && IsDirectory(in))
            WalkDirectory(in, followLinks, files, unreadable);
        else
            files.push_back(in);
    }
    // Standard input is read once, here; the workers inherit the bytes.
    std::vector<unsigned char> stdinBytes;
    std::string stdinError;
    if (std::find(files.begin(), files.end(), "-") != files.end() &&
        (!api.ClassifyEncodedImage || !morvane_cli::ReadStandardInput(stdinBytes, stdinError)) &&
        stdinError.empty())
        stdinError = "the library cannot classify an image in memory";
    // Every page of a multi-page file is a page of the batch.
    std::vector<std::string> pages;
    std::map<std::string, morvane_cli::PageInput> pageInputs;
    for (const auto& file : files) {
        int count = 0;
        // A PDF names every page, also its only one.
        bool pdf = false;
        if (file == "-") {
            pdf = stdinError.empty() && morvane_cli::HasPdfSignature(stdinBytes.data(), stdinBytes.size());
            if (stdinError.empty() && api.GetEncodedImagePageCount &&
                (pdf || morvane_cli::HasTiffSignature(stdinBytes.data(), stdinBytes.size())) &&
                api.GetEncodedImagePageCount(stdinBytes.data(), static_cast<long long>(stdinBytes.size()),
                                             &count) != 0)
                count = 0;
        } else if (api.GetImagePageCount && api.ClassifyImageFilePage &&
                   morvane_cli::LooksMultiPage(file, pdf) &&
                   api.GetImagePageCount(W(PathBytesToUtf16(file)), &count) != 0) {
            count = 0;
        }
        std::vector<morvane_cli::PageInput> some;
        morvane_cli::AddPages(file, count, pageRange, some, pdf);
        for (auto& p : some) {
            pages.push_back(p.name);
            pageInputs[p.name] = std::move(p);
        }
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
        const auto started = std::chrono::steady_clock::now();
        const auto found = pageInputs.find(page);
        const morvane_cli::PageInput input =
            found != pageInputs.end() ? found->second : morvane_cli::PageInput{page, page, 0};
        const auto bad = unreadable.find(input.path);
        if (bad != unreadable.end()) {
            r.code = MORVANE_ERR_READ_IMAGE;
            r.message = Message(api, r.code);
            r.detail = bad->second;
            return r;
        }
        if (input.path == "-" && !stdinError.empty()) {
            r.code = -16;
            r.message = Message(api, r.code);
            r.detail = "-: " + stdinError;
            return r;
        }
        const std::u16string widePath = PathBytesToUtf16(input.path);
        for (int index : indexes) {
            if (input.path == "-")
                r.code = api.ClassifyEncodedImage(
                    stdinBytes.data(), static_cast<long long>(stdinBytes.size()), input.page, index);
            else if (input.page > 0 || input.name != input.path)
                r.code = api.ClassifyImageFilePage(W(widePath), input.page, index);
            else
                r.code = api.ClassifyImageFile(W(widePath), index);
            if (r.code == 0 && GetText(api.GetTemplateID, r.id)) {
                GetText(api.GetTemplateName, r.name);
                GetText(api.GetTemplateOutputID, r.outputId);
                break;
            }
            if (r.code == 0) r.code = -8;  // classified, but no sub-template was found
            if (r.code == -16) break;      // the page itself cannot be read
        }
        const auto classified = std::chrono::steady_clock::now();
        if (r.code != 0) {
            r.message = Message(api, r.code);
            r.detail = LastDetail(api);
            // "<memory>" is how the library names bytes it was handed.
            if (input.path == "-" && r.detail.compare(0, 10, "<memory>: ") == 0)
                r.detail = "-: " + r.detail.substr(10);
        }
        if (r.code != -16) ReadDecision(api, r);
        if ((explain || orient) && r.code != -16) {
            const Insight insight = ReadInsight(api, explain, explainText, orient);
            r.turn = insight.turn;
            r.trace = insight.trace;
        }
        if ((text || mrz) && r.code != -16) ReadText(api, text, mrz, json, r);
        if (!overlayDir.empty() && r.code != -16) {
            const std::string file = morvane_cli::OverlayPath(overlayDir, page);
            const int saved = api.SaveOverlay(W(PathBytesToUtf16(file)));
            if (saved != 0)
                std::fprintf(stderr, "morvane-classify: cannot write the overlay %s (%d)\n", file.c_str(),
                             saved);
        }
        if (!reportFile.empty()) {
            // The page's facts for the report, beside its overlay.
            morvane_cli::ReportFacts facts;
            facts.seconds = std::chrono::duration<double>(classified - started).count();
            std::string json;
            if (r.code != -16 && GetText(api.GetDecisionTrace, json))
                morvane_cli::ScoreAndMargin(json, facts.score, facts.margin);
            if (r.code != -16) GetText(api.GetDecisionTraceText, facts.tree);
            morvane_cli::WriteFacts(morvane_cli::OverlayPath(overlayDir, page) + ".facts", facts);
        }
        return r;
    };
    std::vector<morvane_cli::ReportRow> reportRows;
    const std::string resolution =
        horiDpi > 0 ? std::to_string(horiDpi) + " x " + std::to_string(vertDpi) + " dpi (given)"
                    : std::string("template's own");
    auto emit = [&](size_t p, const morvane_cli::PageResult& r) {
        const std::string& page = pages[p];
        if (!reportFile.empty()) {
            morvane_cli::ReportRow row;
            row.page = page;
            row.id = r.id;
            row.name = r.name;
            row.code = r.code;
            row.message = r.message;
            row.resolution = resolution;
            row.overlayPng = morvane_cli::OverlayPath(overlayDir, page);
            morvane_cli::ReadFacts(row.overlayPng + ".facts", row.facts);
            reportRows.push_back(std::move(row));
        }
        if (progress) std::fprintf(stderr, "\r%*s\r", 60, "");  // clear the bar before the line
        const Insight insight{r.turn, r.trace, explainText};
        if (r.code == 0) {
            if (json)
                std::printf("{\"path\":%s,\"id\":%s,\"name\":%s,\"outputId\":%s%s%s%s}\n",
                            JsonBytes(page).c_str(), JsonBytes(r.id).c_str(), JsonBytes(r.name).c_str(),
                            JsonBytes(r.outputId).c_str(), JsonDecision(r).c_str(),
                            JsonInsight(insight).c_str(), JsonText(r).c_str());
            else
                std::printf("%s\t%s\t%s\t%s\n", EscapeField(page).c_str(), EscapeField(r.id).c_str(),
                            EscapeField(r.name).c_str(), EscapeField(r.outputId).c_str());
        } else {
            anyFailed = true;
            if (json)
                std::printf("{\"path\":%s,\"error\":%s,\"code\":%d%s%s%s%s}\n", JsonBytes(page).c_str(),
                            JsonBytes(r.message).c_str(), r.code,
                            r.detail.empty() ? "" : (",\"detail\":" + JsonBytes(r.detail)).c_str(),
                            JsonDecision(r).c_str(), JsonInsight(insight).c_str(), JsonText(r).c_str());
            else
                std::printf(
                    "%s\terror: %s (%d)%s\n", EscapeField(page).c_str(), EscapeField(r.message).c_str(),
                    r.code,
                    DetailSuffix(r.detail, pageInputs.count(page) ? pageInputs[page].path : page).c_str());
        }
        if (!json) {
            if (explain && !r.resolutionSource.empty())
                std::printf("  resolution: %dx%d dpi (%s)\n", r.resolutionX, r.resolutionY,
                            r.resolutionSource.c_str());
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
    if (!reportFile.empty()) {
        if (!morvane_cli::WriteHtmlReport(reportFile, reportRows)) {
            std::fprintf(stderr, "morvane-classify: cannot write the report %s\n", reportFile.c_str());
            anyFailed = true;
        }
        for (const auto& row : reportRows) std::remove((row.overlayPng + ".facts").c_str());
        if (!reportTemp.empty()) {
            for (const auto& row : reportRows) std::remove(row.overlayPng.c_str());
            rmdir(reportTemp.c_str());
        }
    }
    api.FreeClassifier();
    return anyFailed ? 1 : 0;
}

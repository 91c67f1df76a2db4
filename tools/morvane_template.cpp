// morvane-template: template authoring aid.
//
//   morvane-template add --main MAIN.xml --group PATH --id ID --name NAME
//                        [--output-id X] [--replace] [--dpi H[,V]] SAMPLE...
//   morvane-template check MAIN.xml [--dpi H[,V]] SAMPLE...
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
// template would confuse before using it. A level is marked "weak" when the
// nearest competitor also passed its gates or is within kWeakMargin points
// of the chosen child.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tool_options.h"
#include "api/DecisionTrace.h"
#include "api/MainTemplateEntry.h"
#include "filters/FilterArray.h"
#include "filters/FilterBase.h"
#include "filters/FilterFrameLine.h"
#include "filters/FilterText.h"
#include "preprocess/ImageProcessing.h"
#include "templates/FilterConfig.h"
#include "templates/MainTemplate.h"
#include "templates/SubTemplateList.h"
#include "templates/TemplateGroup.h"
#include "xml/XmlDocument.h"
#include "core/TextConv.h"
#include "image/Dib.h"
#include "imagefile/ImageFile.h"
#include "templates/SubTemplate.h"
#include "template_merge.h"

using namespace libMorvaneClassifier;

namespace {

constexpr int32_t kWeakMargin = 50;  // score points out of 1000

constexpr char kUsage[] =
    "Usage: morvane-template add --main MAIN.xml --group PATH --id ID --name NAME\n"
    "                            [--output-id X] [--replace] [--dpi H[,V]] [--] SAMPLE...\n"
    "       morvane-template check [--] MAIN.xml [--dpi H[,V]] [--] SAMPLE...\n"
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
    "          the ID.\n"
    "  check   classify each sample and print, per level of its path, the chosen child\n"
    "          and the nearest competing child with their scores; \"weak\" marks a level\n"
    "          where the competitor also passed or came within 50 points.\n"
    "\n"
    "Exit status of check: 0 when every sample was classified without a weak level,\n"
    "1 when a sample could not be read or classified or a level is weak, 2 on usage\n"
    "errors or when the main template cannot be read. Of add: 0 when the class was\n"
    "added and every sample classifies as it, 1 when it was refused (nothing is\n"
    "written) or a sample does not classify as it afterwards, 2 on usage errors or\n"
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
    int first = 0;
    bool optionsEnded = morvane_tool::IsEndOfOptions(argv[0]);
    if (optionsEnded && ++first >= argc) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string mainPath = argv[first];
    int h = 0, v = 0;
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
    if (!xml.FindElement(u"MainTemplate") || !xml.EnterElement() || !xml.FindElement(u"TemplateGroup")) return false;
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
        if (arg == "--main") ok = value(mainPath);
        else if (arg == "--group") ok = value(groupPath);
        else if (arg == "--id") ok = value(id);
        else if (arg == "--name") ok = value(name);
        else if (arg == "--output-id") ok = value(outputId);
        else if (arg == "--replace") replace = true;
        else if (arg == "--dpi") ok = i + 1 < argc && ParseDpi(argv[++i], h, v);
        else if (arg.size() > 1 && arg[0] == '-') ok = false;
        else samples.push_back(arg);
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
    if (!group) return Fail("no group '%s' in the main template", groupPath);
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
    if (!Writable(mainPath) || !Writable(DirOf(mainPath))) return Fail("the main template %s is read-only", mainPath);
    if (!Writable(listPath) || !Writable(DirOf(listPath))) return Fail("the sub-template list %s is read-only", listPath);
    if (!Writable(subDir)) return Fail("the sub-template folder %s is read-only", subDir);

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
        filter->horiDpi = h;
        filter->vertDpi = v;
        const std::string filterName = "'" + Utf16ToUtf8(filter->name) + "' (" + std::to_string(filter->index) + ")";
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
                    return Fail("%s", "filter " + filterName + " recognised no text line on sample " + samples[i]);
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
            for (const auto& one : ones) features.push_back(dynamic_cast<const CFilterFrameLineInfo*>(one.get()));
            authoring::FrameLineMerge merge = authoring::MergeFrameLines(features);
            if (!merge.reference)
                return Fail("%s", "samples of different classes: filter " + filterName +
                                      " finds no frame line common to enough of the samples");
            std::printf("filter %d (frame lines): %d lines found in at least %d of %zu samples kept, %d dropped; "
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
            std::printf("filter %d (text): %d fixed lines, %d lines turned into patterns, %d variable or missing "
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
                return Fail("%s", "samples of different classes: " + samples[i] + " scores " + std::to_string(own) +
                                      " against the class built from the samples (below " +
                                      std::to_string(kSameClassFloor) + ") by filter " + filterName);
            // Nearer to a sibling than to its own class: another class.
            for (int32_t c = 0; c < group->childCount; ++c) {
                CTemplateGroup* sibling = group->Child(c);
                if (!sibling || !sibling->attached || sibling->action != 1) continue;
                if (existing >= 0 && sibling->attached == entry.subTemplates->items[static_cast<size_t>(existing)].get())
                    continue;
                CFilterInfoBase* ref = sibling->attached->FindFilterInfo(filter->index);
                if (!ref) continue;
                ref->SetImageSize(images[i].width, images[i].height);
                const int32_t theirs = one->Compare(ref);
                if (theirs > own)
                    return Fail("%s", "samples of different classes: " + samples[i] + " is nearer to the existing class \"" +
                                          U8(sibling->name) + "\" (" + std::to_string(theirs) +
                                          ") than to the class built from the samples (" + std::to_string(own) +
                                          ") by filter " + filterName);
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
        if (!list.Load(Utf8ToUtf16(listPath)) || !list.FindElement(u"SubTemplateList") || !list.EnterElement())
            return Fail("cannot read the sub-template list %s", listPath);
        for (int32_t i = 0; i <= existing; ++i)
            if (!list.FindElement(u"SubTemplate")) return Fail("cannot read the sub-template list %s", listPath);
        subFile = Utf16ToUtf8(list.ReadText());
    } else {
        subFile = id + ".xml";
        if (access((subDir + subFile).c_str(), F_OK) == 0) return Fail("the file %s exists", subDir + subFile);
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
    if (!ok || !SaveTemp(sub, subDir + subFile, pending)) {
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
        if (!ok || !SaveTemp(list, listPath, pending)) {
            Discard(pending);
            return Fail("cannot update the sub-template list %s", listPath);
        }
    }
    if (changedMain && !SaveTemp(main, mainPath, pending)) {
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
    if (check.Load(Utf8ToUtf16(mainPath)) != 0) return Fail("the updated main template %s does not load", mainPath);
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
    std::printf("%s %s as %s%s\n", existing >= 0 ? "replaced" : "added", id.c_str(), (subDir + subFile).c_str(),
                status ? "" : "; every sample classifies as it");
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = morvane_tool::HandleHelpAndVersion(argc, argv, "morvane-template", kUsage); status >= 0)
        return status;
    if (argc >= 2 && std::strcmp(argv[1], "check") == 0) return Check(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "add") == 0) return Add(argc - 2, argv + 2);
    std::fputs(kUsage, stderr);
    return 2;
}

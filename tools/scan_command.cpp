#include "scan_command.h"

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/TextConv.h"
#include "host_calls.h"
#include "morvane/classifier.h"

namespace scancommand {

const char kScanUsage[] =
    "  --scan         classify pages captured from a scanner (SANE) instead of files\n"
    "  --device NAME  scanner to use (a SANE device name or part of its model;\n"
    "                 default: the first scanner found)\n"
    "  --pages N      pages to scan; more than 1 feeds them from the document feeder,\n"
    "                 0 scans until the feeder is empty (default 1)\n"
    "  --mode M       lineart, gray or color (default gray); with --scan, --dpi N is\n"
    "                 the scan resolution (default 300)\n"
    "  --save DIR     also save each scanned page as DIR/page-N.png\n";

namespace {

using hostcalls::GetText;
using hostcalls::Resolve;
using hostcalls::W;
using libMorvaneClassifier::JsonString;
using libMorvaneClassifier::Utf16ToUtf8;
using libMorvaneClassifier::Utf8ToUtf16;

struct ScanApi {
    int (*CaptureImage)() = nullptr;
    int (*SetCapturedAttribute)(int, int) = nullptr;
    int (*IsHavePaper)() = nullptr;
    int (*Classify)(int) = nullptr;
    int (*SaveCapturedImage)(const MorvaneChar*, int) = nullptr;
    int (*GetTemplateName)(MorvaneChar*, int*) = nullptr;
    int (*GetTemplateID)(MorvaneChar*, int*) = nullptr;
    int (*GetTemplateOutputID)(MorvaneChar*, int*) = nullptr;
    int (*GetErrorMsg)(int, MorvaneChar*, int*) = nullptr;
};

std::string Message(const ScanApi& api, int code) { return hostcalls::ErrorMessage(api.GetErrorMsg, code); }

std::string XmlAttribute(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

bool ParseNumber(const char* text, long low, long high, int& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!end || *end || end == text || v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace

int ParseScanOption(int& i, int argc, char** argv, ScanOptions& options) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* {
        if (i + 1 >= argc) {
            std::fprintf(stderr, "morvane-classify: %s needs a value\n", arg.c_str());
            return nullptr;
        }
        return argv[++i];
    };
    if (arg == "--scan") {
        options.enabled = true;
        return 1;
    }
    if (arg == "--device") {
        const char* v = value();
        if (!v) return -1;
        options.device = v;
        return 1;
    }
    if (arg == "--pages") {
        const char* v = value();
        if (!v || !ParseNumber(v, 0, 100000, options.pages)) {
            if (v) std::fprintf(stderr, "morvane-classify: bad --pages value '%s'\n", v);
            return -1;
        }
        return 1;
    }
    if (arg == "--mode") {
        const char* v = value();
        if (!v) return -1;
        const std::string m = v;
        if (m == "lineart")
            options.imageType = 0;
        else if (m == "gray")
            options.imageType = 1;
        else if (m == "color")
            options.imageType = 2;
        else {
            std::fprintf(stderr, "morvane-classify: bad --mode value '%s' (lineart, gray or color)\n", v);
            return -1;
        }
        return 1;
    }
    if (arg == "--save") {
        const char* v = value();
        if (!v) return -1;
        options.saveDir = v;
        return 1;
    }
    return 0;
}

std::string PrepareScanWorkdir(ScanOptions& options) {
    char name[] = "/tmp/morvane-scan-XXXXXX";
    if (!mkdtemp(name)) return std::string();
    options.tempWorkdir = name;
    const std::string list =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<DeviceList>\n  <Device Type=\"2\">\n"
        "    <BasicInfo Name=\"" +
        XmlAttribute(options.device) +
        "\" Version=\"1\" Priority=\"1\" PageCtrl=\"0\"/>\n"
        "    <Scanner Resolution=\"" +
        std::to_string(options.dpi) + "\" ImageType=\"" + std::to_string(options.imageType) +
        "\" DriverPath=\"\\MorvaneSaneDriver.dll\"/>\n  </Device>\n</DeviceList>\n";
    const std::string path = options.tempWorkdir + "/ClasDevices.dat";
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return std::string();
    const bool ok = std::fwrite(list.data(), 1, list.size(), f) == list.size();
    if (std::fclose(f) != 0 || !ok) return std::string();
    return options.tempWorkdir + "/";
}

void RemoveScanWorkdir(ScanOptions& options) {
    if (options.tempWorkdir.empty()) return;
    unlink((options.tempWorkdir + "/ClasDevices.dat").c_str());
    rmdir(options.tempWorkdir.c_str());
    options.tempWorkdir.clear();
}

int RunScan(void* library, const ScanOptions& options, const std::vector<int>& indexes, bool json) {
    ScanApi api;
    if (!Resolve(library, "CaptureImage", api.CaptureImage) ||
        !Resolve(library, "SetCapturedAttribute", api.SetCapturedAttribute) ||
        !Resolve(library, "IsHavePaper", api.IsHavePaper) || !Resolve(library, "Classify", api.Classify) ||
        !Resolve(library, "SaveCapturedImage", api.SaveCapturedImage) ||
        !Resolve(library, "GetTemplateName", api.GetTemplateName) ||
        !Resolve(library, "GetTemplateID", api.GetTemplateID) ||
        !Resolve(library, "GetTemplateOutputID", api.GetTemplateOutputID) ||
        !Resolve(library, "GetErrorMsg", api.GetErrorMsg)) {
        std::fprintf(stderr, "morvane-classify: the library lacks a capture function\n");
        return 2;
    }
    if (!options.saveDir.empty()) {
        struct stat st;
        if (stat(options.saveDir.c_str(), &st) != 0 && mkdir(options.saveDir.c_str(), 0777) != 0) {
            std::fprintf(stderr, "morvane-classify: cannot create %s\n", options.saveDir.c_str());
            return 2;
        }
    }
    // More than one page: take them from the document feeder.
    if (options.pages != 1) {
        const int code = api.SetCapturedAttribute(3, 1);
        if (code != 0) {
            std::fprintf(stderr, "morvane-classify: cannot select the feeder: %s (%d)\n",
                         Message(api, code).c_str(), code);
            return 2;
        }
    }
    bool anyFailed = false;
    for (int page = 1; options.pages == 0 || page <= options.pages; ++page) {
        std::string label = "scan:" + std::to_string(page);
        int result = api.CaptureImage();
        if (result == 0 && !options.saveDir.empty()) {
            const std::string path = options.saveDir + (options.saveDir.back() == '/' ? "" : "/") + "page-" +
                                     std::to_string(page) + ".png";
            if (api.SaveCapturedImage(W(Utf8ToUtf16(path)), 0) == 0)
                label = path;
            else
                std::fprintf(stderr, "morvane-classify: cannot save %s\n", path.c_str());
        }
        std::string id, name, outputId;
        if (result == 0) {
            result = -8;
            for (int index : indexes) {
                result = api.Classify(index);
                if (result == 0 && GetText(api.GetTemplateID, id)) {
                    GetText(api.GetTemplateName, name);
                    GetText(api.GetTemplateOutputID, outputId);
                    break;
                }
                if (result == 0) result = -8;
            }
        }
        if (result == 0) {
            if (json)
                std::printf("{\"path\":%s,\"id\":%s,\"name\":%s,\"outputId\":%s}\n",
                            JsonString(label).c_str(), JsonString(id).c_str(), JsonString(name).c_str(),
                            JsonString(outputId).c_str());
            else
                std::printf("%s\t%s\t%s\t%s\n", label.c_str(), id.c_str(), name.c_str(), outputId.c_str());
        } else {
            anyFailed = true;
            if (json)
                std::printf("{\"path\":%s,\"error\":%s,\"code\":%d}\n", JsonString(label).c_str(),
                            JsonString(Message(api, result)).c_str(), result);
            else
                std::printf("%s\terror: %s (%d)\n", label.c_str(), Message(api, result).c_str(), result);
        }
        std::fflush(stdout);
        // A failed capture or an empty feeder ends the run.
        if (result == -18 || api.IsHavePaper() != 0) break;
    }
    return anyFailed ? 1 : 0;
}

}  // namespace scancommand

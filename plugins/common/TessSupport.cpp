#include "TessSupport.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <tesseract/baseapi.h>
#include <climits>
#include <cstdlib>
#include <vector>

namespace morvane_plugins {

namespace {

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string WithSlash(std::string d) {
    if (!d.empty() && d.back() != '/') d.push_back('/');
    return d;
}

}  // namespace

std::string PluginDirectory() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&PluginDirectory), &info) == 0 || !info.dli_fname)
        return std::string();
    std::string path = info.dli_fname;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved)) path = resolved;
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FindBesidePlugin(const std::string& name) {
    if (name.empty()) return std::string();
    if (name[0] == '/') return IsFile(name) ? name : std::string();
    const std::string beside = PluginDirectory() + name;
    if (IsFile(beside)) return beside;
    return IsFile(name) ? name : std::string();
}

std::string FindTessdata(const std::string& language, const std::string& configured) {
    if (language.empty() || language.find('/') != std::string::npos ||
        language.find("..") != std::string::npos)
        return std::string();
    std::vector<std::string> dirs;
    if (!configured.empty()) dirs.push_back(WithSlash(configured));
    if (const char* env = std::getenv("TESSDATA_PREFIX"); env && *env) dirs.push_back(WithSlash(env));
    dirs.push_back("/usr/share/tesseract-ocr/5/tessdata/");
    dirs.push_back("/usr/share/tesseract-ocr/4.00/tessdata/");
    dirs.push_back("/usr/share/tessdata/");
    dirs.push_back("/usr/local/share/tessdata/");
    for (const std::string& d : dirs)
        if (IsFile(d + language + ".traineddata")) return d;
    return std::string();
}

std::unique_ptr<tesseract::TessBaseAPI> StartTesseract(const std::string& tessdata,
                                                       const std::string& language, int pageMode,
                                                       const std::string& whitelist) {
    if (tessdata.empty()) return nullptr;
    // One recognition thread: OpenMP worker threads spinning beside the
    // host's own work cost far more than they save on one character or line.
    // Tesseract asks for its thread counts explicitly, so the parallel
    // regions are made inactive (run by the calling thread alone) instead.
    using SetLevelsFn = void (*)(int);
    if (void* gomp = ::dlopen("libgomp.so.1", RTLD_NOW | RTLD_NOLOAD)) {
        if (auto setLevels = reinterpret_cast<SetLevelsFn>(::dlsym(gomp, "omp_set_max_active_levels")))
            setLevels(0);
        ::dlclose(gomp);
    }
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    // Every message Tesseract would print goes to /dev/null instead of the
    // host's standard error.
    std::vector<std::string> names = {"debug_file"};
    std::vector<std::string> values = {"/dev/null"};
    if (api->Init(tessdata.c_str(), language.c_str(), tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values,
                  false) != 0)
        return nullptr;
    api->SetPageSegMode(static_cast<tesseract::PageSegMode>(pageMode));
    api->SetVariable("lstm_choice_mode", "2");
    if (!whitelist.empty()) api->SetVariable("tessedit_char_whitelist", whitelist.c_str());
    return api;
}

unsigned short FirstUtf16(const char* s) {
    if (!s || !*s) return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
    if (p[0] < 0x80) return p[0];
    if ((p[0] & 0xE0) == 0xC0 && (p[1] & 0xC0) == 0x80)
        return static_cast<unsigned short>(((p[0] & 0x1F) << 6) | (p[1] & 0x3F));
    if ((p[0] & 0xF0) == 0xE0 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80)
        return static_cast<unsigned short>(((p[0] & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
    return 0;
}

}  // namespace morvane_plugins

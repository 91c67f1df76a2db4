#include "platform/EngineFiles.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#ifndef MORVANE_INSTALL_LIBDIR_NAME
#define MORVANE_INSTALL_LIBDIR_NAME "lib"
#endif

#include "platform/DynamicLibrary.h"

namespace libMorvaneClassifier {

namespace {

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return std::string();
    return path.substr(0, slash + 1);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string WithSlash(std::string dir) {
    if (!dir.empty() && dir.back() != '/') dir.push_back('/');
    return dir;
}

}  // namespace

std::string OwnModuleDirectory() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&OwnModuleDirectory), &info) == 0 || !info.dli_fname)
        return std::string();
    std::string path = info.dli_fname;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved)) path = resolved;
    return DirectoryOf(path);
}

bool IsDirectoryPath(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ExecutableDirectory() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return std::string();
    buffer[n] = 0;
    return DirectoryOf(buffer);
}

const std::string& EnsureEngineDirectory() {
    std::string& dir = EngineDirectory();
    if (dir.empty()) dir = ExecutableDirectory();
    return dir;
}

std::vector<std::string> EngineSearchDirectories() {
    std::vector<std::string> dirs;
    auto add = [&](const std::string& d) {
        if (d.empty()) return;
        std::string w = WithSlash(d);
        for (const std::string& e : dirs)
            if (e == w) return;
        dirs.push_back(w);
    };
    add(EnsureEngineDirectory());
    const std::string own = OwnModuleDirectory();
    add(own);
    if (!own.empty()) {
        add(own + "morvane/engines/");
        add(own + "../" MORVANE_INSTALL_LIBDIR_NAME "/morvane/engines/");
    }
    return dirs;
}

std::string FindEngineFile(const std::string& name) {
    if (name.empty()) return std::string();
    if (name.find('/') != std::string::npos) {
        std::string path = JoinPath(EnsureEngineDirectory(), name);
        return IsRegularFile(path) ? path : std::string();
    }
    for (const std::string& dir : EngineSearchDirectories()) {
        std::string path = dir + name;
        if (IsRegularFile(path)) return path;
    }
    return std::string();
}

}  // namespace libMorvaneClassifier

#include "platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cctype>
#include <utility>

namespace libMorvaneClassifier {

namespace {

bool EndsWithNoCase(const std::string& text, const char* suffix) {
    std::string s(suffix);
    if (text.size() < s.size()) return false;
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char a = static_cast<unsigned char>(text[text.size() - s.size() + i]);
        if (std::tolower(a) != static_cast<unsigned char>(s[i])) return false;
    }
    return true;
}

bool HasSharedObjectSuffix(const std::string& file) {
    size_t pos = file.find(".so");
    while (pos != std::string::npos) {
        size_t end = pos + 3;
        bool ok = true;
        // ".so" must be followed by nothing or by ".N" version parts.
        for (size_t i = end; i < file.size(); ++i) {
            char c = file[i];
            if (c != '.' && !std::isdigit(static_cast<unsigned char>(c))) {
                ok = false;
                break;
            }
        }
        if (ok) return true;
        pos = file.find(".so", pos + 1);
    }
    return false;
}

}  // namespace

std::string PlatformLibraryFileName(const std::string& name) {
    size_t slash = name.find_last_of("/\\");
    std::string dir = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
    for (char& c : dir)
        if (c == '\\') c = '/';
    if (file.empty()) return dir;
    if (HasSharedObjectSuffix(file)) return dir + file;
    if (EndsWithNoCase(file, ".dll")) file.resize(file.size() - 4);
    if (file.compare(0, 3, "lib") != 0) file = "lib" + file;
    return dir + file + ".so";
}

std::string JoinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    if (!name.empty() && name[0] == '/') return name;
    if (directory.back() == '/') return directory + name;
    return directory + "/" + name;
}

CDynamicLibrary::~CDynamicLibrary() { Close(); }

CDynamicLibrary::CDynamicLibrary(CDynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), path_(std::move(other.path_)) {}

CDynamicLibrary& CDynamicLibrary::operator=(CDynamicLibrary&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, nullptr);
        path_ = std::move(other.path_);
    }
    return *this;
}

bool CDynamicLibrary::Open(const std::string& directory, const std::string& name) {
    return OpenPath(JoinPath(directory, PlatformLibraryFileName(name)));
}

bool CDynamicLibrary::OpenPath(const std::string& path) {
    Close();
    struct stat st {};
    // dlopen on a FIFO or device would block or read without bound.
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        ::dlerror();  // clear the pending error text
        return false;
    }
    handle_ = handle;
    path_ = path;
    return true;
}

void CDynamicLibrary::Close() {
    if (handle_) ::dlclose(handle_);
    handle_ = nullptr;
    path_.clear();
}

void* CDynamicLibrary::Symbol(const char* name) const {
    if (!handle_ || !name) return nullptr;
    void* address = ::dlsym(handle_, name);
    if (!address) ::dlerror();
    return address;
}

std::string& EngineDirectory() {
    static std::string directory;
    return directory;
}

}  // namespace libMorvaneClassifier

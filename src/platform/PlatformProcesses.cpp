#include "platform/PlatformProcesses.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <new>
#include <string>
#include <vector>

#include "core/TextConv.h"
#include "platform/SafeFile.h"

namespace libMorvaneClassifier {

namespace {

std::string FormatLogEntry(const char* sourceFile, int line, const std::u16string& message, int kind) {
    const std::string text = Utf16ToUtf8(message);
    switch (kind) {
        case 3:
            return "Dbg::msg:" + text + "\r\n";
        case 4:
            return "Dbg::___(1)TemplateGroup:" + text + "\r\n";
        case 5:
            return "Dbg::___.___(2)Filter:" + text + "\r\n";
        case 6:
            return "Dbg::___.___.___(3)SubTpl:" + text + "\r\n";
        case 7:
            return "Dbg::___.___.___.___(4)Similarity:" + text + "\r\n";
        default:
            return std::string("Error::file:") + (sourceFile ? sourceFile : "") + "(" + std::to_string(line) +
                   ") #msg:" + text + "\r\n";
    }
}

}  // namespace

CPlatformProcessesImpl* Platform() {
    // Made once, by the first caller, under the initialisation guarantee of
    // a local static: classifiers on several threads may ask at once.
    static const std::unique_ptr<CPlatformProcessesImpl> instance(new (std::nothrow) CPosixProcessesImpl);
    return instance.get();
}

std::u16string CPosixProcessesImpl::GetModuleDirectory() {
    if (!moduleDirOverride_.empty()) return moduleDirOverride_;
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return {};
    std::string path(buffer.data(), static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return Utf8ToUtf16(path.substr(0, slash + 1));
}

std::FILE* CPosixProcessesImpl::OpenFile(const std::u16string& path, const std::u16string& mode) {
    if (path.empty() || mode.empty()) return nullptr;
    std::string narrowMode = Utf16ToUtf8(mode);
    // The runtime's narrow open knows no ",ccs=" text-encoding suffix; files
    // are written as bytes and the callers produce UTF-8 themselves.
    const size_t comma = narrowMode.find(',');
    if (comma != std::string::npos) narrowMode.resize(comma);
    const std::string narrowPath = Utf16ToPathBytes(path);
    // Plain reads and writes go through the regular-file checks; other modes
    // (update, append) are refused for anything but an existing regular file
    // or a new one.
    if (narrowMode == "r" || narrowMode == "rb") return OpenRegularFileForReading(narrowPath);
    if (narrowMode == "w" || narrowMode == "wb") return OpenRegularFileForWriting(narrowPath);
    struct stat st {};
    if (::stat(narrowPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return nullptr;
    return std::fopen(narrowPath.c_str(), narrowMode.c_str());
}

void CPosixProcessesImpl::NormalizePath(std::u16string& path) {
    for (auto& c : path)
        if (c == u'\\') c = u'/';
}

std::string CPosixProcessesImpl::ToAnsi(const std::u16string& text) { return Utf16ToUtf8(text); }

void CPosixProcessesImpl::WriteLog(const char* sourceFile, int line, const std::u16string& message,
                                   int kind) {
    const std::u16string dir = GetModuleDirectory() + u"log/";
    EnsureDirectory(dir);
    std::FILE* f = OpenFile(dir + u"dbg.log", kind == 2 ? u"w+" : u"a+");
    if (!f) return;
    const std::string entry = FormatLogEntry(sourceFile, line, message, kind);
    std::fwrite(entry.data(), 1, entry.size(), f);
    std::fclose(f);
}

void CPosixProcessesImpl::WriteLogNumber(const char* sourceFile, int line, int number, int kind) {
    WriteLog(sourceFile, line, AsciiToUtf16(std::to_string(number).c_str()), kind);
}

std::u16string ModuleDirectory() {
    auto* p = Platform();
    return p ? p->GetModuleDirectory() : std::u16string();
}

std::string AnsiText(const std::u16string& text) {
    auto* p = Platform();
    return p ? p->ToAnsi(text) : std::string();
}

std::FILE* OpenPlatformFile(const std::u16string& path, const std::u16string& mode) {
    auto* p = Platform();
    return p ? p->OpenFile(path, mode) : nullptr;
}

void NormalizePath(std::u16string& path) {
    if (auto* p = Platform()) p->NormalizePath(path);
}

bool EnsureDirectory(const std::u16string& dir) {
    const std::string narrow = Utf16ToUtf8(dir);
    if (narrow.empty()) return false;
    if (::mkdir(narrow.c_str(), 0777) == 0) return true;
    return errno == EEXIST;
}

std::u16string DirectoryOf(const std::u16string& path) {
    const size_t cut = path.find_last_of(u"/\\");
    if (cut == std::u16string::npos) return {};
    return path.substr(0, cut + 1);
}

}  // namespace libMorvaneClassifier

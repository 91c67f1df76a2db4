// Operating-system services behind one interface: where the host program
// lives, path separators, narrow text for the C runtime, opening files and
// the diagnostic log file. Images and XML documents belong to higher layers
// (imagefile/DebugImages.h, xml/XmlDocument.h).
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace libMorvaneClassifier {

// Code page used for undeclared, non-UTF-8 XML files and for the text the
// recognition engines report (GBK).
constexpr int kSystemAnsiCodePage = 936;

class CPlatformProcessesImpl {
public:
    virtual ~CPlatformProcessesImpl() = default;
    virtual void WriteLog(const char* sourceFile, int line, const std::u16string& message, int kind) = 0;
    virtual void WriteLogNumber(const char* sourceFile, int line, int number, int kind) = 0;
    virtual std::u16string GetModuleDirectory() = 0;
    virtual std::FILE* OpenFile(const std::u16string& path, const std::u16string& mode) = 0;
    virtual void NormalizePath(std::u16string& path) = 0;
    virtual std::string ToAnsi(const std::u16string& text) = 0;
};

// POSIX implementation: the module directory is the directory of the running
// executable with a trailing '/', backslashes in paths become '/', narrow
// text is UTF-8.
class CPosixProcessesImpl : public CPlatformProcessesImpl {
public:
    void WriteLog(const char* sourceFile, int line, const std::u16string& message, int kind) override;
    void WriteLogNumber(const char* sourceFile, int line, int number, int kind) override;
    std::u16string GetModuleDirectory() override;
    std::FILE* OpenFile(const std::u16string& path, const std::u16string& mode) override;
    void NormalizePath(std::u16string& path) override;
    std::string ToAnsi(const std::u16string& text) override;
    // Overrides the module directory (tests; empty = the executable's).
    void SetModuleDirectoryForTesting(const std::u16string& dir) { moduleDirOverride_ = dir; }

private:
    std::u16string moduleDirOverride_;
};

// The process-wide instance, created on first use.
CPlatformProcessesImpl* Platform();

// Free functions over the instance.
std::u16string ModuleDirectory();
std::string AnsiText(const std::u16string& text);
std::FILE* OpenPlatformFile(const std::u16string& path, const std::u16string& mode);
void NormalizePath(std::u16string& path);
// Creates one directory level; true when it exists afterwards.
bool EnsureDirectory(const std::u16string& dir);

// Directory part of a path: cut after the last '/' or '\' (kept); empty when
// the path has neither.
std::u16string DirectoryOf(const std::u16string& path);

}  // namespace libMorvaneClassifier

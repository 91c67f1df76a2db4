// What every command-line tool of the project shares: --help prints the
// usage on standard output and exits 0, --version prints "NAME VERSION" and
// exits 0, and a lone "--" ends the options, so that every argument after it
// is an operand (a page named "-x.jpg" can be given). The tools' own parsers
// stop at "--" the same way.
#pragma once
#include <cstdio>
#include <cstring>

#ifndef MORVANE_VERSION
#error "MORVANE_VERSION must be defined by the build"
#endif

namespace morvane_tool {

// The project's one version (CMakeLists.txt).
constexpr char kVersion[] = MORVANE_VERSION;

inline bool IsEndOfOptions(const char* arg) { return std::strcmp(arg, "--") == 0; }

// Answers --help (or -h) and --version when one of them comes before any
// "--": returns the exit status (0, or 1 when standard output cannot be
// written), else -1 and the tool goes on with its own options.
inline int HandleHelpAndVersion(int argc, char** argv, const char* name, const char* usage) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (IsEndOfOptions(arg)) break;
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(usage, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("%s %s\n", name, kVersion);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    return -1;
}

}  // namespace morvane_tool

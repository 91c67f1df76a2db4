// Where the recognition engines' libraries and data files are looked for.
//
// The engine directory (EngineDirectory(): the classifier's working
// directory, else the host executable's directory) comes first. A file not
// found there is looked for next to the module holding this code (the
// classifier's shared library, or the program it is linked into), in that
// directory's "morvane/engines/" subdirectory, and, for a program in <prefix>/bin that carries the
// library code itself, in <prefix>/<libdir>/morvane/engines/. A build puts the
// engine plug-ins and their data files beside the classifier library, an
// install puts them in "<libdir>/morvane/engines/", so both are found without
// set-up while a working directory can still override any of them.
#pragma once
#include <string>
#include <vector>

namespace libMorvaneClassifier {

// Directory (with a trailing '/') of the module that holds this code; empty
// when it cannot be determined.
std::string OwnModuleDirectory();

// Whether path names an existing directory.
bool IsDirectoryPath(const std::string& path);

// Directory (with a trailing '/') of the running executable; empty when
// unknown.
std::string ExecutableDirectory();

// Fills the engine directory with the executable's directory when it is
// still empty, and returns it.
const std::string& EnsureEngineDirectory();

// The directories searched, in order (no duplicates, empty ones left out).
std::vector<std::string> EngineSearchDirectories();

// The first existing regular file `name` in the search directories; empty
// when there is none. A name with a directory part is only looked for as
// given (relative to the engine directory).
std::string FindEngineFile(const std::string& name);

}  // namespace libMorvaneClassifier

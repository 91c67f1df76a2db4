// Run-time loading of shared libraries (recognition engines, scanner
// libraries). Templates and device lists name libraries with DLL-style
// library names ("GrayCore.dll"); on this system the name is mapped to the
// shared object that stands in for it.
#pragma once
#include <cstddef>
#include <string>

namespace libMorvaneClassifier {

// The file loaded for a library name: a trailing ".dll" (any case) becomes
// ".so" and a name without a "lib" prefix gains one, so "GrayCore.dll" maps to
// "libGrayCore.so". A name that already ends in ".so" (or ".so.N") is kept.
// Directory parts are kept as given.
std::string PlatformLibraryFileName(const std::string& name);

// Joins a directory and a file name with exactly one '/' between them; an
// empty directory leaves the name as it is.
std::string JoinPath(const std::string& directory, const std::string& name);

// One loaded shared library, closed when the object goes away.
class CDynamicLibrary {
public:
    CDynamicLibrary() = default;
    ~CDynamicLibrary();
    CDynamicLibrary(const CDynamicLibrary&) = delete;
    CDynamicLibrary& operator=(const CDynamicLibrary&) = delete;
    CDynamicLibrary(CDynamicLibrary&& other) noexcept;
    CDynamicLibrary& operator=(CDynamicLibrary&& other) noexcept;

    // Loads PlatformLibraryFileName(name) from `directory`. Only a regular
    // file is loaded; false when it is missing, not a regular file or not a
    // loadable shared object. Closes what was open before.
    bool Open(const std::string& directory, const std::string& name);
    // Loads the file at `path` as it is (no name mapping).
    bool OpenPath(const std::string& path);
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }
    const std::string& Path() const { return path_; }

    // Address of an exported symbol, or null when the library is not open or
    // does not export it.
    void* Symbol(const char* name) const;
    template <class F>
    F Function(const char* name) const {
        return reinterpret_cast<F>(Symbol(name));
    }

private:
    void* handle_ = nullptr;
    std::string path_;
};

// Binding a plug-in's symbols from one table per plug-in kind: each entry
// names an exported symbol and the member that keeps its address, or only
// the name when the symbol must exist but is not called.
//
//   static const SymbolEntry<CPlugin> kSymbols[] = {
//       Keep<&CPlugin::start_>("RecogStart"), Need<CPlugin>("RecogOneRegion")};
//   if (!BindSymbols(lib_, kSymbols, *this)) return 1;
template <class Owner>
struct SymbolEntry {
    const char* name;
    void (*keep)(Owner& owner, void* address);  // null: only required to exist
};

template <class T>
struct SymbolMember;
template <class O, class F>
struct SymbolMember<F O::*> {
    using Owner = O;
    using Function = F;
};

template <auto Member>
void KeepSymbol(typename SymbolMember<decltype(Member)>::Owner& owner, void* address) {
    owner.*Member = reinterpret_cast<typename SymbolMember<decltype(Member)>::Function>(address);
}

// An entry whose address the member keeps.
template <auto Member>
constexpr SymbolEntry<typename SymbolMember<decltype(Member)>::Owner> Keep(const char* name) {
    return {name, &KeepSymbol<Member>};
}
// An entry that must only exist.
template <class Owner>
constexpr SymbolEntry<Owner> Need(const char* name) {
    return {name, nullptr};
}

// Binds every entry of the table from `lib`: true when every symbol exists;
// otherwise false with every kept member null.
template <class Owner, size_t N>
bool BindSymbols(const CDynamicLibrary& lib, const SymbolEntry<Owner> (&table)[N], Owner& owner) {
    bool all = true;
    for (const SymbolEntry<Owner>& e : table) all = all && lib.Symbol(e.name) != nullptr;
    for (const SymbolEntry<Owner>& e : table)
        if (e.keep) e.keep(owner, all ? lib.Symbol(e.name) : nullptr);
    return all;
}

// Process-wide engine directory (narrow text, with a trailing '/'), set when
// the classifier is loaded; the recognition engines find their libraries and
// data files there.
std::string& EngineDirectory();

}  // namespace libMorvaneClassifier

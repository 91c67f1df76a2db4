// Small helpers shared by the tools that load the library at run time and
// talk to it through the public C interface only.
#pragma once

#include <dlfcn.h>

#include <string>

#include "core/TextConv.h"
#include "morvane/classifier.h"

namespace hostcalls {

// Looks up one exported function; false when the library lacks it.
template <typename T>
bool Resolve(void* handle, const char* name, T& fn) {
    fn = reinterpret_cast<T>(dlsym(handle, name));
    return fn != nullptr;
}

inline const MorvaneChar* W(const std::u16string& s) {
    return reinterpret_cast<const MorvaneChar*>(s.c_str());
}

// Reads a text out of one of the library's string-out getters (ask for the
// length, then fill); false when the getter has nothing or fails.
inline bool GetText(int (*getter)(MorvaneChar*, int*), std::string& out) {
    int length = 0;
    getter(nullptr, &length);
    if (length <= 0) return false;
    std::u16string buffer(static_cast<size_t>(length), u'\0');
    if (getter(reinterpret_cast<MorvaneChar*>(&buffer[0]), &length) != 0) return false;
    buffer.resize(static_cast<size_t>(length - 1));
    out = libMorvaneClassifier::Utf16ToUtf8(buffer);
    return true;
}

// The library's message for a result code; "Unknown error" when it has none.
inline std::string ErrorMessage(int (*getErrorMsg)(int, MorvaneChar*, int*), int code) {
    int length = 0;
    getErrorMsg(code, nullptr, &length);
    if (length <= 1) return "Unknown error";
    std::u16string buffer(static_cast<size_t>(length), u'\0');
    if (getErrorMsg(code, reinterpret_cast<MorvaneChar*>(&buffer[0]), &length) != 0) return "Unknown error";
    buffer.resize(static_cast<size_t>(length - 1));
    std::string text = libMorvaneClassifier::Utf16ToUtf8(buffer);
    return text.empty() ? "Unknown error" : text;
}

}  // namespace hostcalls

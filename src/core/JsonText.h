// Writing JSON text (UTF-8) by hand where the library hands a host a JSON
// document: quoted, escaped strings from UTF-8 or UTF-16 text.
#pragma once
#include <string>

#include "core/TextConv.h"

namespace libMorvaneClassifier {

// AppendJsonString(out, utf8) is declared with the text conversions; this
// overload takes UTF-16 text.
inline void AppendJsonString(std::string& out, const std::u16string& s) {
    AppendJsonString(out, Utf16ToUtf8(s));
}

}  // namespace libMorvaneClassifier

// Small helpers for writing JSON text (UTF-8) by hand: quoted, escaped
// strings. Used where the library hands a host a JSON document.
#pragma once
#include <cstdio>
#include <string>

#include "core/TextConv.h"

namespace libMorvaneClassifier {

// Appends s (UTF-8) as a JSON string literal.
inline void AppendJsonText(std::string& out, const std::string& s) {
    out.push_back('"');
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof(buf), "\\u%04x", c);
                    out += buf;
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
    }
    out.push_back('"');
}

inline void AppendJsonText(std::string& out, const std::u16string& s) { AppendJsonText(out, Utf16ToUtf8(s)); }

}  // namespace libMorvaneClassifier

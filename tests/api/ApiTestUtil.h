#pragma once
#include <string>

#include "morvane/classifier.h"

inline std::u16string U(const char* text) {
    std::u16string out;
    for (; *text; ++text) out.push_back(static_cast<unsigned char>(*text));
    return out;
}

inline const MorvaneChar* W(const std::u16string& s) {
    return reinterpret_cast<const MorvaneChar*>(s.c_str());
}

#include "core/TextConv.h"

#include <cstdio>

namespace libMorvaneClassifier {

namespace {

// A lone low surrogate that stands for one byte of a file name.
bool IsEscapedByte(const std::u16string& text, size_t i) {
    const char16_t c = text[i];
    if (c < 0xDC80 || c > 0xDCFF) return false;
    return i == 0 || text[i - 1] < 0xD800 || text[i - 1] > 0xDBFF;
}

}  // namespace

std::string Utf16ToPathBytes(const std::u16string& path) {
    std::string out;
    out.reserve(path.size());
    size_t from = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !IsEscapedByte(path, i)) continue;
        out += Utf16ToUtf8(path.substr(from, i - from));
        if (i < path.size()) out.push_back(static_cast<char>(path[i] - 0xDC00));
        from = i + 1;
    }
    return out;
}

std::u16string PathBytesToUtf16(const std::string& bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        // The length of the well-formed UTF-8 sequence at i, or 0.
        const unsigned char b = s[i];
        size_t len = 0;
        if (b < 0x80)
            len = 1;
        else if (b >= 0xC2 && b <= 0xDF)
            len = 2;
        else if (b >= 0xE0 && b <= 0xEF)
            len = 3;
        else if (b >= 0xF0 && b <= 0xF4)
            len = 4;
        bool ok = len > 0 && i + len <= n;
        for (size_t k = 1; ok && k < len; ++k) ok = (s[i + k] & 0xC0) == 0x80;
        if (ok && len == 3) {
            const unsigned char c = s[i + 1];
            ok = !(b == 0xE0 && c < 0xA0) && !(b == 0xED && c >= 0xA0);  // overlong, surrogate
        } else if (ok && len == 4) {
            const unsigned char c = s[i + 1];
            ok = !(b == 0xF0 && c < 0x90) && !(b == 0xF4 && c >= 0x90);  // overlong, above U+10FFFF
        }
        if (!ok) {
            out.push_back(static_cast<char16_t>(0xDC00 + b));
            ++i;
            continue;
        }
        out += Utf8ToUtf16(bytes.substr(i, len));
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
                ++i;
            } else {
                c = 0xFFFD;
            }
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::u16string Utf8ToUtf16(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        unsigned char b = s[i];
        char32_t c;
        size_t extra;
        char32_t min;
        if (b < 0x80) {
            c = b;
            extra = 0;
            min = 0;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            extra = 1;
            min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            extra = 2;
            min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            extra = 3;
            min = 0x10000;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        size_t k = 1;
        for (; k <= extra; ++k) {
            if (i + k >= n || (s[i + k] & 0xC0) != 0x80) break;
            c = (c << 6) | (s[i + k] & 0x3F);
        }
        if (k <= extra) {
            out.push_back(0xFFFD);
            i += k;
            continue;
        }
        i += extra + 1;
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(0xFFFD);
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

std::u16string AsciiToUtf16(const char* text) {
    std::u16string out;
    if (!text) return out;
    for (; *text; ++text) out.push_back(static_cast<unsigned char>(*text));
    return out;
}

void AppendJsonString(std::string& out, const std::string& text) {
    out.push_back('"');
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
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

std::string JsonString(const std::string& text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}

}  // namespace libMorvaneClassifier

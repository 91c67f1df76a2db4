#include "classify_output.h"

#include <cstdio>

namespace morvane_cli {

size_t Utf8SequenceLength(const std::string& bytes, size_t at) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    if (at >= n) return 0;
    const unsigned char b = s[at];
    size_t len = 0;
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF)
        len = 2;
    else if (b >= 0xE0 && b <= 0xEF)
        len = 3;
    else if (b >= 0xF0 && b <= 0xF4)
        len = 4;
    else
        return 0;
    if (at + len > n) return 0;
    for (size_t k = 1; k < len; ++k)
        if ((s[at + k] & 0xC0) != 0x80) return 0;
    const unsigned char c = s[at + 1];
    if (b == 0xE0 && c < 0xA0) return 0;   // overlong
    if (b == 0xED && c >= 0xA0) return 0;  // a surrogate
    if (b == 0xF0 && c < 0x90) return 0;   // overlong
    if (b == 0xF4 && c >= 0x90) return 0;  // above U+10FFFF
    return len;
}

namespace {

void AppendHex(std::string& out, const char* prefix, unsigned value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof(buffer), "%s%0*x", prefix, digits, value);
    out += buffer;
}

// Whether the two-byte sequence at `at` encodes a C1 control (U+0080 to
// U+009F), and which.
bool IsC1(const std::string& bytes, size_t at, unsigned& code) {
    if (static_cast<unsigned char>(bytes[at]) != 0xC2) return false;
    code = static_cast<unsigned char>(bytes[at + 1]);
    return code >= 0x80 && code <= 0x9F;
}

// The two output forms differ only in how they write a byte that is not
// UTF-8, an ASCII control character and a double quote; the walk over the
// text is one.
struct Escapes {
    const char* invalidPrefix;  // a byte that is not UTF-8: prefix + 2 hex digits
    const char* controlPrefix;  // an ASCII control character
    int controlDigits;
    bool quote;  // escape '"' too
};

void AppendEscaped(std::string& out, const std::string& bytes, const Escapes& e) {
    for (size_t i = 0; i < bytes.size();) {
        const size_t len = Utf8SequenceLength(bytes, i);
        const auto b = static_cast<unsigned char>(bytes[i]);
        unsigned c1 = 0;
        if (len == 0) {
            AppendHex(out, e.invalidPrefix, b, 2);
            ++i;
        } else if (len == 1) {
            switch (b) {
                case '\\':
                    out += "\\\\";
                    break;
                case '\t':
                    out += "\\t";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                default:
                    if (b == '"' && e.quote)
                        out += "\\\"";
                    else if (b < 0x20 || b == 0x7F)
                        AppendHex(out, e.controlPrefix, b, e.controlDigits);
                    else
                        out.push_back(static_cast<char>(b));
            }
            ++i;
        } else if (len == 2 && IsC1(bytes, i, c1)) {
            AppendHex(out, "\\u", c1, 4);
            i += 2;
        } else {
            out.append(bytes, i, len);
            i += len;
        }
    }
}

}  // namespace

std::string EscapeField(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    AppendEscaped(out, bytes, Escapes{"\\x", "\\x", 2, false});
    return out;
}

std::string JsonBytes(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() + 2);
    out.push_back('"');
    AppendEscaped(out, bytes, Escapes{"\\udc", "\\u", 4, true});
    out.push_back('"');
    return out;
}

}  // namespace morvane_cli

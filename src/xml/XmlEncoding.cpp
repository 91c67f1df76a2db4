// Encoding detection and conversion between file bytes and UTF-16 text.
#include "xml/XmlEncoding.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/TextConv.h"
#include "platform/PlatformProcesses.h"

namespace libMorvaneClassifier {
namespace xmlenc {

namespace {

constexpr size_t kSniffLength = 1024;

template <typename Ch>
bool IsBlank(Ch c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

template <typename Ch>
Ch LowerAscii(Ch c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<Ch>(c - 'A' + 'a') : c;
}

// Case-insensitive comparison of s[pos..] with an ASCII word.
template <typename Ch>
bool MatchesAt(const Ch* s, size_t n, size_t pos, const char* word) {
    for (size_t k = 0; word[k]; ++k) {
        if (pos + k >= n) return false;
        if (LowerAscii(s[pos + k]) != static_cast<Ch>(word[k])) return false;
    }
    return true;
}

template <typename Ch>
std::u16string Widen(const Ch* s, size_t b, size_t e) {
    std::u16string out;
    for (size_t i = b; i < e; ++i) out.push_back(static_cast<char16_t>(s[i]));
    return out;
}

// Attribute scanner for the small tags looked at while sniffing: reads
// name="value", name='value' or name=value pairs up to '>' or '?>'.
template <typename Ch>
struct PseudoAttr {
    size_t nameBegin, nameEnd, valueBegin, valueEnd;
};

template <typename Ch>
bool NextPseudoAttr(const Ch* s, size_t n, size_t& pos, PseudoAttr<Ch>& attr) {
    while (pos < n && (IsBlank(s[pos]) || s[pos] == '/')) ++pos;
    if (pos >= n || s[pos] == '>' || s[pos] == '?') return false;
    attr.nameBegin = pos;
    while (pos < n && !IsBlank(s[pos]) && s[pos] != '=' && s[pos] != '>' && s[pos] != '/' && s[pos] != '?')
        ++pos;
    attr.nameEnd = pos;
    if (attr.nameEnd == attr.nameBegin) return false;
    size_t p = pos;
    while (p < n && IsBlank(s[p])) ++p;
    attr.valueBegin = attr.valueEnd = p;
    if (p >= n || s[p] != '=') return true;  // attribute without a value
    ++p;
    while (p < n && IsBlank(s[p])) ++p;
    if (p < n && (s[p] == '"' || s[p] == '\'')) {
        const Ch quote = s[p];
        size_t q = p + 1;
        while (q < n && s[q] != quote) ++q;
        if (q >= n) return false;
        attr.valueBegin = p + 1;
        attr.valueEnd = q;
        pos = q + 1;
    } else {
        size_t q = p;
        while (q < n && !IsBlank(s[q]) && s[q] != '>') ++q;
        attr.valueBegin = p;
        attr.valueEnd = q;
        pos = q;
    }
    return true;
}

template <typename Ch>
bool NameIs(const Ch* s, const PseudoAttr<Ch>& a, const char* word) {
    const size_t len = std::strlen(word);
    return a.nameEnd - a.nameBegin == len && MatchesAt(s, a.nameEnd, a.nameBegin, word);
}

// The encoding declared at the start of a document: the encoding of the
// XML declaration, else the charset of an HTML meta element that declares
// the Content-Type (or names a charset directly).
template <typename Ch>
std::u16string SniffDeclaredEncoding(const Ch* s, size_t size) {
    const size_t n = std::min(size, kSniffLength);
    size_t i = 0;
    while (i < n && IsBlank(s[i])) ++i;
    if (MatchesAt(s, n, i, "<?xml") && i + 5 < n && IsBlank(s[i + 5])) {
        size_t pos = i + 5;
        PseudoAttr<Ch> attr;
        while (NextPseudoAttr(s, n, pos, attr)) {
            if (NameIs(s, attr, "encoding")) {
                size_t b = attr.valueBegin, e = attr.valueEnd;
                while (b < e && IsBlank(s[b])) ++b;
                while (e > b && IsBlank(s[e - 1])) --e;
                return Widen(s, b, e);
            }
        }
    }
    for (size_t p = 0; p + 5 < n; ++p) {
        if (s[p] != '<' || !MatchesAt(s, n, p + 1, "meta") || !IsBlank(s[p + 5])) continue;
        size_t pos = p + 5;
        PseudoAttr<Ch> attr;
        bool contentType = false;
        std::u16string charset, content;
        while (NextPseudoAttr(s, n, pos, attr)) {
            if (NameIs(s, attr, "http-equiv")) {
                contentType = attr.valueEnd - attr.valueBegin == 12 &&
                              MatchesAt(s, attr.valueEnd, attr.valueBegin, "content-type");
            } else if (NameIs(s, attr, "charset")) {
                charset = Widen(s, attr.valueBegin, attr.valueEnd);
            } else if (NameIs(s, attr, "content")) {
                for (size_t q = attr.valueBegin; q + 8 <= attr.valueEnd; ++q) {
                    if (!MatchesAt(s, attr.valueEnd, q, "charset=")) continue;
                    size_t b = q + 8, e = b;
                    while (e < attr.valueEnd && !IsBlank(s[e]) && s[e] != ';' && s[e] != '"' && s[e] != '\'')
                        ++e;
                    content = Widen(s, b, e);
                    break;
                }
            }
        }
        if (!charset.empty()) return charset;
        if (contentType && !content.empty()) return content;
    }
    return {};
}

bool OpenDecoder(int codePage, iconv_t& cd, bool toUnicode) {
    const char* names[2] = {IconvNameOfCodePage(codePage), IconvAlternativeNameOfCodePage(codePage)};
    for (const char* name : names) {
        if (!name) continue;
        cd = toUnicode ? iconv_open("UTF-16LE", name) : iconv_open(name, "UTF-16LE");
        if (cd != reinterpret_cast<iconv_t>(-1)) return true;
    }
    return false;
}

bool HasConverter(int codePage) {
    iconv_t cd;
    if (!OpenDecoder(codePage, cd, true)) return false;
    iconv_close(cd);
    return true;
}

// Grows the output buffer of an iconv loop, keeping the write position.
void GrowBuffer(std::string& buf, char*& outp, size_t& outleft, size_t need) {
    const size_t used = static_cast<size_t>(outp - &buf[0]);
    size_t size = buf.size() * 2;
    if (size < used + need) size = used + need;
    buf.resize(size);
    outp = &buf[0] + used;
    outleft = buf.size() - used;
}

void AppendUtf16LE(std::string& buf, char*& outp, size_t& outleft, char16_t c) {
    if (outleft < 2) GrowBuffer(buf, outp, outleft, 2);
    outp[0] = static_cast<char>(c & 0xFF);
    outp[1] = static_cast<char>(c >> 8);
    outp += 2;
    outleft -= 2;
}

void DecodeUtf16(const uint8_t* data, size_t size, bool bigEndian, std::u16string& out) {
    out.clear();
    out.reserve(size / 2);
    for (size_t i = 0; i + 1 < size; i += 2) {
        const char16_t c = bigEndian ? static_cast<char16_t>((data[i] << 8) | data[i + 1])
                                     : static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c != 0) out.push_back(c);
    }
}

bool IsFirstChar(uint8_t b) { return b == '<' || IsBlank(b); }

// UTF-16 without a byte-order mark: the document's first characters are
// "<" or white space, so every other byte of them is zero.
bool LooksLikeUtf16(const uint8_t* d, size_t n, bool& bigEndian) {
    if (n < 4) return false;
    if (IsFirstChar(d[0]) && d[1] == 0 && d[2] != 0 && d[3] == 0) {
        bigEndian = false;
        return true;
    }
    if (d[0] == 0 && IsFirstChar(d[1]) && d[2] == 0 && d[3] != 0) {
        bigEndian = true;
        return true;
    }
    return false;
}

// A UTF-8 lead byte: the continuation bytes it announces, its payload bits
// and the smallest code point its length may encode. False for a byte that
// cannot start a sequence.
inline bool Utf8Lead(uint8_t b, size_t& extra, uint32_t& c, uint32_t& min) {
    if ((b & 0xE0) == 0xC0) {
        extra = 1, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        extra = 2, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        extra = 3, c = b & 0x07, min = 0x10000;
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool IsValidUtf8(const uint8_t* s, size_t n) {
    size_t i = 0;
    while (i < n) {
        // Eight ASCII bytes at a time.
        if (i + 8 <= n) {
            uint64_t v;
            std::memcpy(&v, s + i, 8);
            if ((v & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        const uint8_t b = s[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t extra;
        uint32_t c;
        uint32_t min;
        if (!Utf8Lead(b, extra, c, min)) return false;
        if (i + extra >= n) return false;  // truncated at the end
        for (size_t k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            c = (c << 6) | (s[i + k] & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

void DecodeUtf8(const uint8_t* s, size_t n, std::u16string& out) {
    out.resize(n);  // never more UTF-16 units than bytes
    char16_t* w = &out[0];
    char16_t* const begin = w;
    size_t i = 0;
    while (i < n) {
        if (i + 8 <= n) {
            uint64_t v;
            std::memcpy(&v, s + i, 8);
            const bool ascii = (v & 0x8080808080808080ULL) == 0;
            const bool hasZero = ((v - 0x0101010101010101ULL) & ~v & 0x8080808080808080ULL) != 0;
            if (ascii && !hasZero) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
                // Each half of the word spread to four 16-bit units in
                // registers: a unit-by-unit copy compiles to eight
                // extractions and inserts.
                auto spread = [](uint64_t x) {
                    x = (x | (x << 16)) & 0x0000FFFF0000FFFFULL;
                    return (x | (x << 8)) & 0x00FF00FF00FF00FFULL;
                };
                const uint64_t low = spread(v & 0xFFFFFFFFULL);
                const uint64_t high = spread(v >> 32);
                std::memcpy(w, &low, sizeof low);
                std::memcpy(w + 4, &high, sizeof high);
#else
                for (int k = 0; k < 8; ++k) w[k] = s[i + k];
#endif
                w += 8;
                i += 8;
                continue;
            }
        }
        const uint8_t b = s[i];
        if (b < 0x80) {
            if (b != 0) *w++ = b;  // zero bytes are dropped
            ++i;
            continue;
        }
        size_t extra;
        uint32_t c;
        uint32_t min;
        if (!Utf8Lead(b, extra, c, min)) {
            *w++ = 0xFFFD;
            ++i;
            continue;
        }
        size_t k = 1;
        for (; k <= extra; ++k) {
            if (i + k >= n || (s[i + k] & 0xC0) != 0x80) break;
            c = (c << 6) | (s[i + k] & 0x3F);
        }
        if (k <= extra) {  // missing continuation byte
            *w++ = 0xFFFD;
            i += k;
            continue;
        }
        i += extra + 1;
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            *w++ = 0xFFFD;
        } else if (c >= 0x10000) {
            c -= 0x10000;
            *w++ = static_cast<char16_t>(0xD800 + (c >> 10));
            *w++ = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            *w++ = static_cast<char16_t>(c);
        }
    }
    out.resize(static_cast<size_t>(w - begin));
}

bool DecodeCodePage(const uint8_t* data, size_t size, int codePage, bool strict, std::u16string& out) {
    iconv_t cd;
    if (!OpenDecoder(codePage, cd, true)) return false;
    std::string buf;
    buf.resize(size * 2 + 16);
    // iconv takes its input as mutable bytes; it reads a copy of them.
    std::string input(reinterpret_cast<const char*>(data), size);
    char* inp = &input[0];
    size_t inleft = size;
    char* outp = &buf[0];
    size_t outleft = buf.size();
    bool ok = true;
    while (inleft > 0) {
        const size_t r = iconv(cd, &inp, &inleft, &outp, &outleft);
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            GrowBuffer(buf, outp, outleft, 16);
            continue;
        }
        if (strict) {
            ok = false;
            break;
        }
        // Invalid or truncated sequence: one replacement character per
        // undecodable byte, then go on after it.
        const int err = errno;
        if (err != EILSEQ && err != EINVAL) {
            ok = false;
            break;
        }
        AppendUtf16LE(buf, outp, outleft, 0xFFFD);
        ++inp;
        --inleft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    if (ok) {
        while (true) {  // flush a stateful converter
            const size_t r = iconv(cd, nullptr, nullptr, &outp, &outleft);
            if (r == static_cast<size_t>(-1) && errno == E2BIG) {
                GrowBuffer(buf, outp, outleft, 16);
                continue;
            }
            break;
        }
    }
    iconv_close(cd);
    if (!ok) return false;
    const size_t bytes = static_cast<size_t>(outp - &buf[0]);
    out.clear();
    out.reserve(bytes / 2);
    for (size_t i = 0; i + 1 < bytes; i += 2) {
        const char16_t c =
            static_cast<char16_t>(static_cast<uint8_t>(buf[i]) | (static_cast<uint8_t>(buf[i + 1]) << 8));
        if (c != 0) out.push_back(c);
    }
    return true;
}

void DecodeDocumentBytes(const uint8_t* data, size_t size, DecodedText& out) {
    out.text.clear();
    out.encoding.clear();
    out.byteOrderMark = false;
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        out.encoding = u"UTF-8";
        out.byteOrderMark = true;
        DecodeUtf8(data + 3, size - 3, out.text);
        return;
    }
    if (size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF))) {
        const bool bigEndian = data[0] == 0xFE;
        out.encoding = bigEndian ? u"UTF-16BE" : u"UTF-16LE";
        out.byteOrderMark = true;
        DecodeUtf16(data + 2, size - 2, bigEndian, out.text);
        return;
    }
    bool bigEndian = false;
    if (LooksLikeUtf16(data, size, bigEndian)) {
        out.encoding = bigEndian ? u"UTF-16BE" : u"UTF-16LE";
        DecodeUtf16(data, size, bigEndian, out.text);
        return;
    }

    // Narrow encodings: zero bytes are dropped before anything looks at
    // the content.
    std::vector<uint8_t> stripped;
    if (size > 0 && std::memchr(data, 0, size) != nullptr) {
        stripped.reserve(size);
        for (size_t i = 0; i < size; ++i)
            if (data[i] != 0) stripped.push_back(data[i]);
        data = stripped.data();
        size = stripped.size();
    }

    const std::u16string declared = SniffDeclaredEncoding(data, size);
    int codePage = declared.empty() ? 0 : CodePageOfCharset(declared);
    // A UTF-16 or UTF-32 declaration cannot describe bytes that were not
    // recognised as such above; the bytes decide.
    if (codePage == kCodePageUtf16LE || codePage == kCodePageUtf16BE || codePage == kCodePageUtf32LE ||
        codePage == kCodePageUtf32BE)
        codePage = 0;
    if (codePage == kCodePageUtf8) {
        out.encoding = declared;
        DecodeUtf8(data, size, out.text);
        return;
    }
    if (codePage != 0 && HasConverter(codePage)) {
        if (DecodeCodePage(data, size, codePage, true, out.text)) {
            out.encoding = declared;
            return;
        }
        // The declaration does not fit the bytes. Valid UTF-8 is the usual
        // reason (an editor re-saved the file); otherwise keep the declared
        // encoding and mark what it cannot decode.
        if (IsValidUtf8(data, size)) {
            out.encoding = u"UTF-8";
            DecodeUtf8(data, size, out.text);
            return;
        }
        out.encoding = declared;
        DecodeCodePage(data, size, codePage, false, out.text);
        return;
    }
    if (size > 0 && data[0] == '<') {
        out.encoding = u"UTF-8";
        DecodeUtf8(data, size, out.text);
        return;
    }
    if (IsValidUtf8(data, size)) {
        out.encoding = u"UTF-8";
        DecodeUtf8(data, size, out.text);
        return;
    }
    out.encoding.clear();  // the ANSI code page
    if (DecodeCodePage(data, size, kSystemAnsiCodePage, true, out.text)) return;
    if (DecodeCodePage(data, size, kSystemAnsiCodePage, false, out.text)) return;
    // No converter for the ANSI code page at all: UTF-8 with replacements
    // keeps at least every ASCII character.
    out.encoding = u"UTF-8";
    DecodeUtf8(data, size, out.text);
}

std::u16string DeclaredEncodingOfText(const std::u16string& text) {
    return SniffDeclaredEncoding(text.data(), text.size());
}

bool EncodeText(const std::u16string& text, const std::u16string& encoding, bool byteOrderMark,
                std::string& out) {
    out.clear();
    int codePage = encoding.empty() ? kSystemAnsiCodePage : CodePageOfCharset(encoding);
    if (codePage == 0) codePage = kCodePageUtf8;  // unknown name
    if (codePage == kCodePageUtf8) {
        if (byteOrderMark) out = "\xEF\xBB\xBF";
        out += Utf16ToUtf8(text);
        return true;
    }
    if (codePage == kCodePageUtf16LE || codePage == kCodePageUtf16BE) {
        const bool bigEndian = codePage == kCodePageUtf16BE;
        out.reserve(text.size() * 2 + 2);
        auto put = [&](char16_t c) {
            const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
            if (bigEndian) {
                out.push_back(hi);
                out.push_back(lo);
            } else {
                out.push_back(lo);
                out.push_back(hi);
            }
        };
        if (byteOrderMark) put(0xFEFF);
        for (char16_t c : text) put(c);
        return true;
    }
    iconv_t cd;
    if (!OpenDecoder(codePage, cd, false)) return false;
    std::string in;
    in.reserve(text.size() * 2 + 2);
    if (byteOrderMark && (codePage == kCodePageUtf32LE || codePage == kCodePageUtf32BE)) {
        in.push_back(static_cast<char>(0xFF));
        in.push_back(static_cast<char>(0xFE));
    }
    for (char16_t c : text) {
        in.push_back(static_cast<char>(c & 0xFF));
        in.push_back(static_cast<char>(c >> 8));
    }
    std::string buf;
    buf.resize(in.size() + 16);
    char* outp = &buf[0];
    size_t outleft = buf.size();
    // Converts a run of UTF-16LE bytes; characters the target has no code
    // for become decimal character references.
    auto convert = [&](char* inp, size_t inleft, bool allowReferences) -> bool {
        while (inleft > 0) {
            const size_t r = iconv(cd, &inp, &inleft, &outp, &outleft);
            if (r != static_cast<size_t>(-1)) return true;
            if (errno == E2BIG) {
                GrowBuffer(buf, outp, outleft, 16);
                continue;
            }
            if (!allowReferences || inleft < 2) return false;
            uint32_t c = static_cast<uint8_t>(inp[0]) | (static_cast<uint8_t>(inp[1]) << 8);
            size_t used = 2;
            if (c >= 0xD800 && c <= 0xDBFF && inleft >= 4) {
                const uint32_t low = static_cast<uint8_t>(inp[2]) | (static_cast<uint8_t>(inp[3]) << 8);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    used = 4;
                }
            }
            if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;  // unpaired surrogate
            inp += used;
            inleft -= used;
            const std::string ref = "&#" + std::to_string(c) + ";";
            std::string wide;
            for (char ch : ref) {
                wide.push_back(ch);
                wide.push_back(0);
            }
            std::vector<char> refBytes(wide.begin(), wide.end());
            char* rp = refBytes.data();
            size_t rl = refBytes.size();
            while (rl > 0) {
                const size_t rr = iconv(cd, &rp, &rl, &outp, &outleft);
                if (rr != static_cast<size_t>(-1)) break;
                if (errno == E2BIG) {
                    GrowBuffer(buf, outp, outleft, 16);
                    continue;
                }
                return false;
            }
        }
        return true;
    };
    bool ok = convert(in.empty() ? nullptr : &in[0], in.size(), true);
    while (ok) {
        const size_t r = iconv(cd, nullptr, nullptr, &outp, &outleft);
        if (r == static_cast<size_t>(-1) && errno == E2BIG) {
            GrowBuffer(buf, outp, outleft, 16);
            continue;
        }
        break;
    }
    iconv_close(cd);
    if (!ok) return false;
    buf.resize(static_cast<size_t>(outp - &buf[0]));
    out.swap(buf);
    return true;
}

}  // namespace xmlenc
}  // namespace libMorvaneClassifier

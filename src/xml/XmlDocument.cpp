// XML document: the text, a table of element positions built by one
// iterative pass over the text, and a cursor over that table.
#include "xml/XmlDocument.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>

#include "core/TextConv.h"
#include "platform/SafeFile.h"
#include "xml/XmlEncoding.h"
#include "xml/XmlEntities.h"

namespace libMorvaneClassifier {

namespace {

// Offsets are 32-bit; longer texts are refused.
constexpr size_t kMaxTextUnits = 0xFFFFFFF0u;
// Parse errors kept for inspection; the well-formed flag counts them all.
constexpr size_t kMaxRecordedErrors = 4096;

enum ElementKind : uint32_t {
    kNormal = 0,    // start tag, content, end tag
    kEmptyTag = 1,  // <name ... />
    kUnended = 2,   // start tag never closed (markup error)
};

// One element (32 bytes). Offsets index the text; links index the table,
// 0 = none. Entry 0 of the table stands for the document: its children are
// the top-level elements. The kind is not stored; it follows from the
// offsets (Impl::KindOf).
struct Element {
    uint32_t start = 0;         // the '<' of the start tag
    uint32_t nameEnd = 0;       // end of the tag name
    uint32_t contentBegin = 0;  // after the '>' of the start tag
    uint32_t contentEnd = 0;    // the '<' of the end tag (contentBegin for <a/>)
    uint32_t end = 0;           // after the end tag
    uint32_t parent = 0;
    uint32_t firstChild = 0;
    uint32_t nextSibling = 0;
};
static_assert(sizeof(Element) == 32, "one element entry is 32 bytes");

inline bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Characters that end a tag name.
inline bool EndsName(char16_t c) { return IsBlank(c) || c == u'/' || c == u'>' || c == u'<'; }

// A name that can be written into a tag as it is.
bool IsWritableName(const std::u16string& name) {
    if (name.empty()) return false;
    for (char16_t c : name)
        if (EndsName(c) || c == u'=' || c == u'"' || c == u'\'' || c == u'&' || c == u'!' || c == u'?' ||
            c == 0)
            return false;
    return true;
}

// Character classes of the parser's scanning loops. Only ASCII characters
// have a class; every other unit is ordinary name or text content.
enum : uint8_t {
    kClassEndsName = 1,    // blank, '/', '>', '<'
    kClassTagSpecial = 2,  // '>', '<', '"', '\''
};

struct CharClassTable {
    uint8_t bits[128] = {};
    constexpr CharClassTable() {
        const char blanks[] = {' ', '\t', '\r', '\n'};
        for (char c : blanks) bits[static_cast<unsigned char>(c)] |= kClassEndsName;
        bits[static_cast<unsigned char>('/')] |= kClassEndsName;
        bits[static_cast<unsigned char>('>')] |= kClassEndsName | kClassTagSpecial;
        bits[static_cast<unsigned char>('<')] |= kClassEndsName | kClassTagSpecial;
        bits[static_cast<unsigned char>('"')] |= kClassTagSpecial;
        bits[static_cast<unsigned char>('\'')] |= kClassTagSpecial;
    }
};
constexpr CharClassTable kCharClass;

inline bool HasClass(char16_t c, uint8_t cls) { return c < 128 && (kCharClass.bits[c] & cls) != 0; }

// First unit equal to c in [p, end), or null. Four units are tested at once
// in a 64-bit word (the zero-lane test: only the lowest flagged lane is
// exact, which is the one taken), so long runs of text cost a quarter of
// the comparisons of a unit-by-unit loop.
const char16_t* FindUnit(const char16_t* p, const char16_t* end, char16_t c) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    constexpr uint64_t kOnes = 0x0001000100010001ULL;
    constexpr uint64_t kHighs = 0x8000800080008000ULL;
    const uint64_t pattern = kOnes * c;
    while (end - p >= 4) {
        uint64_t v;
        std::memcpy(&v, p, sizeof v);
        v ^= pattern;
        const uint64_t zero = (v - kOnes) & ~v & kHighs;
        if (zero) return p + (__builtin_ctzll(zero) >> 4);
        p += 4;
    }
#endif
    for (; p < end; ++p)
        if (*p == c) return p;
    return nullptr;
}

// First of '>', '<', '"' or '\'' in [p, end), or end. The word test flags
// lanes whose unit, with bit 1 set, is '>' (so '<' or '>') and lanes whose
// unit, with bits 0 and 2 set, is '\'' (so '"', '#', '&' or '\''); a flagged
// lane is then checked exactly.
const char16_t* SkipToTagSpecial(const char16_t* p, const char16_t* end) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    constexpr uint64_t kOnes = 0x0001000100010001ULL;
    constexpr uint64_t kHighs = 0x8000800080008000ULL;
    while (end - p >= 4) {
        uint64_t v;
        std::memcpy(&v, p, sizeof v);
        const uint64_t angle = (v | (kOnes * 0x02)) ^ (kOnes * u'>');
        const uint64_t quote = (v | (kOnes * 0x05)) ^ (kOnes * u'\'');
        const uint64_t flagged = ((angle - kOnes) & ~angle & kHighs) | ((quote - kOnes) & ~quote & kHighs);
        if (flagged) {
            for (int k = 0; k < 4; ++k)
                if (HasClass(p[k], kClassTagSpecial)) return p + k;
        }
        p += 4;
    }
#endif
    while (p < end && !HasClass(*p, kClassTagSpecial)) ++p;
    return p;
}

const char16_t* Find(const char16_t* p, const char16_t* end, const char16_t* pattern, size_t length) {
    if (static_cast<size_t>(end - p) < length) return nullptr;
    const char16_t* last = end - length + 1;
    while ((p = FindUnit(p, last, pattern[0])) != nullptr) {
        if (std::char_traits<char16_t>::compare(p, pattern, length) == 0) return p;
        ++p;
    }
    return nullptr;
}

bool StartsWith(const char16_t* p, const char16_t* end, const char16_t* pattern, size_t length) {
    return static_cast<size_t>(end - p) >= length &&
           std::char_traits<char16_t>::compare(p, pattern, length) == 0;
}

}  // namespace

struct CXmlDocument::Impl {
    std::u16string text;
    std::vector<Element> elements;
    uint32_t parent = 0;
    uint32_t main = 0;
    std::u16string encoding;
    bool byteOrderMark = false;
    bool loaded = false;
    bool wellFormed = false;
    std::vector<XmlParseError> errors;
    std::string readFailure;  // why the last Load could not read its file

    Impl() { elements.resize(1); }

    void Clear() {
        readFailure.clear();
        text.clear();
        elements.assign(1, Element());
        parent = main = 0;
        errors.clear();
        wellFormed = false;
    }

    void AddError(const char* name, size_t offset) {
        wellFormed = false;
        if (errors.size() < kMaxRecordedErrors) errors.push_back({name, offset});
    }

    std::u16string_view Name(uint32_t index) const {
        const Element& e = elements[index];
        return std::u16string_view(text.data() + e.start + 1, e.nameEnd - e.start - 1);
    }

    // A normal element ends after its end tag, past its content. An empty
    // tag and an unended element both end where their content ends; the
    // empty tag is the one with no content whose start tag closes with "/>"
    // after its name (the parser's own test).
    ElementKind KindOf(uint32_t index) const {
        const Element& e = elements[index];
        if (e.end != e.contentEnd) return kNormal;
        if (e.contentEnd == e.contentBegin && e.contentBegin >= e.nameEnd + 2 &&
            text[e.contentBegin - 2] == u'/')
            return kEmptyTag;
        return kUnended;
    }

    bool Parse();
    uint32_t ElementAt(size_t startOffset) const;
    void Restore(size_t parentStart, size_t mainStart);
    bool Reparse(size_t parentStart, size_t mainStart);
    bool FindAttribute(uint32_t index, const std::u16string& name, size_t& valueBegin, size_t& valueEnd,
                       size_t& rangeBegin, size_t& rangeEnd) const;
};

// One pass over the text with an explicit stack of open elements, so the
// depth of the document costs memory, never call depth. Every scan moves
// forward: the work is linear in the length of the text.
bool CXmlDocument::Impl::Parse() {
    elements.assign(1, Element());
    errors.clear();
    parent = main = 0;
    wellFormed = true;
    const size_t n = text.size();
    if (n > kMaxTextUnits) {
        AddError("document_too_large", 0);
        return false;
    }
    const char16_t* const s = text.data();
    elements[0].end = static_cast<uint32_t>(n);
    // Room for exactly as many elements as there are start tags at most ('<'
    // followed by neither '/', '!' nor '?'): a guess from the length would
    // reserve twice the table for documents of short elements, and growing
    // by doubling would hold two tables at once.
    // The count is branch-free so that the compiler can vectorise it.
    size_t starts = 1;
    for (size_t block = 0; block + 1 < n; block += 0xFFFF) {
        const size_t blockEnd = std::min(n - 1, block + 0xFFFF);
        uint16_t inBlock = 0;  // 16-bit lanes: eight units per vector step
        for (size_t i = block; i < blockEnd; ++i) {
            const char16_t next = s[i + 1];
            inBlock +=
                static_cast<uint16_t>((s[i] == u'<') & (next != u'/') & (next != u'!') & (next != u'?'));
        }
        starts += inBlock;
    }
    elements.reserve(starts);

    struct Open {
        uint32_t index;
        uint32_t lastChild;
    };
    std::vector<Open> stack;
    stack.push_back({0, 0});
    // Open element names, counted only once an end tag has not matched
    // the innermost element, to tell a lone end tag from one that closes
    // an outer element without searching the whole stack each time.
    std::unordered_map<std::u16string_view, uint32_t> openNames;
    bool counting = false;
    uint32_t topLevel = 0;

    // An element closed by its end tag ends after that tag; one that was
    // never ended ends where its content does.
    auto closeTop = [&](uint32_t contentEnd, uint32_t end) {
        Element& e = elements[stack.back().index];
        e.contentEnd = contentEnd;
        e.end = end;
        if (counting) {
            auto it = openNames.find(Name(stack.back().index));
            if (it != openNames.end() && --it->second == 0) openNames.erase(it);
        }
        stack.pop_back();
    };

    size_t pos = 0;
    while (pos < n) {
        const char16_t* lt = FindUnit(s + pos, s + n, u'<');
        if (!lt) break;
        const size_t p = static_cast<size_t>(lt - s);
        if (p + 1 >= n) {
            AddError("lone_lt", p);
            break;
        }
        const char16_t c = s[p + 1];
        if (c == u'/') {
            size_t ne = p + 2;
            while (ne < n && !HasClass(s[ne], kClassEndsName)) ++ne;
            size_t gt = ne;
            while (gt < n && s[gt] != u'>' && s[gt] != u'<') ++gt;
            if (gt >= n || s[gt] == u'<') {
                AddError("unended_end_tag", p);
                pos = gt;
                continue;
            }
            const std::u16string_view name(s + p + 2, ne - p - 2);
            const uint32_t closeAt = static_cast<uint32_t>(p);
            const uint32_t endAt = static_cast<uint32_t>(gt + 1);
            if (stack.size() > 1 && Name(stack.back().index) == name) {
                closeTop(closeAt, endAt);
            } else {
                if (!counting) {
                    counting = true;
                    for (size_t k = 1; k < stack.size(); ++k) ++openNames[Name(stack[k].index)];
                }
                if (openNames.count(name) != 0) {
                    // Closes an outer element: the inner ones were never ended.
                    while (Name(stack.back().index) != name) {
                        AddError("unended_start_tag", elements[stack.back().index].start);
                        closeTop(closeAt, closeAt);
                    }
                    closeTop(closeAt, endAt);
                } else {
                    AddError("lone_end_tag", p);
                }
            }
            pos = gt + 1;
        } else if (c == u'!') {
            if (StartsWith(s + p, s + n, u"<!--", 4)) {
                const char16_t* q = Find(s + p + 4, s + n, u"-->", 3);
                if (!q) {
                    AddError("unterminated_comment", p);
                    break;
                }
                pos = static_cast<size_t>(q - s) + 3;
            } else if (StartsWith(s + p, s + n, u"<![CDATA[", 9)) {
                if (stack.size() == 1) AddError("cdata_outside_element", p);
                const char16_t* q = Find(s + p + 9, s + n, u"]]>", 3);
                if (!q) {
                    AddError("unterminated_cdata", p);
                    break;
                }
                pos = static_cast<size_t>(q - s) + 3;
            } else if (StartsWith(s + p, s + n, u"<!DOCTYPE", 9)) {
                // Quoted literals, an internal subset in brackets and
                // comments inside it may all hold '>'.
                size_t q = p + 9;
                int depth = 0;
                bool closed = false;
                while (q < n) {
                    const char16_t ch = s[q];
                    if (ch == u'"' || ch == u'\'') {
                        const char16_t* r = std::char_traits<char16_t>::find(s + q + 1, n - q - 1, ch);
                        if (!r) {
                            q = n;
                            break;
                        }
                        q = static_cast<size_t>(r - s) + 1;
                        continue;
                    }
                    if (ch == u'<' && depth > 0 && StartsWith(s + q, s + n, u"<!--", 4)) {
                        const char16_t* r = Find(s + q + 4, s + n, u"-->", 3);
                        if (!r) {
                            q = n;
                            break;
                        }
                        q = static_cast<size_t>(r - s) + 3;
                        continue;
                    }
                    if (ch == u'[')
                        ++depth;
                    else if (ch == u']' && depth > 0)
                        --depth;
                    else if (ch == u'>' && depth == 0) {
                        closed = true;
                        break;
                    }
                    ++q;
                }
                if (!closed) {
                    AddError("unterminated_doctype", p);
                    break;
                }
                pos = q + 1;
            } else {
                AddError("unknown_declaration", p);
                const char16_t* q = std::char_traits<char16_t>::find(s + p + 2, n - p - 2, u'>');
                if (!q) break;
                pos = static_cast<size_t>(q - s) + 1;
            }
        } else if (c == u'?') {
            const char16_t* q = Find(s + p + 2, s + n, u"?>", 2);
            if (!q) {
                AddError("unterminated_processing_instruction", p);
                break;
            }
            pos = static_cast<size_t>(q - s) + 2;
        } else {
            size_t ne = p + 1;
            while (ne < n && !HasClass(s[ne], kClassEndsName)) ++ne;
            if (ne == p + 1) {
                AddError("lone_lt", p);
                pos = p + 1;
                continue;
            }
            // Find the '>' of the start tag; quoted values may hold '>'.
            size_t q = ne;
            bool broken = false;
            while (q < n) {
                q = static_cast<size_t>(SkipToTagSpecial(s + q, s + n) - s);
                if (q >= n) break;
                const char16_t ch = s[q];
                if (ch == u'>') break;
                if (ch == u'<') {
                    broken = true;
                    break;
                }
                // A quoted value: its closing quote.
                const char16_t* r = FindUnit(s + q + 1, s + n, ch);
                if (!r) {
                    q = n;
                    break;
                }
                q = static_cast<size_t>(r - s) + 1;
            }
            if (q >= n) {
                AddError("unterminated_start_tag", p);
                break;
            }
            if (broken) {
                AddError("unterminated_start_tag", p);
                pos = q;
                continue;
            }
            const uint32_t index = static_cast<uint32_t>(elements.size());
            const bool emptyTag = s[q - 1] == u'/' && q - 1 >= ne;
            {
                // Built in place: a copy through the stack costs a stalled
                // store-to-load forward per element.
                Element& e = elements.emplace_back();
                e.start = static_cast<uint32_t>(p);
                e.nameEnd = static_cast<uint32_t>(ne);
                e.contentBegin = static_cast<uint32_t>(q + 1);
                e.parent = stack.back().index;
                if (emptyTag) {
                    e.contentEnd = e.end = e.contentBegin;
                }
            }
            Open& top = stack.back();
            if (top.lastChild)
                elements[top.lastChild].nextSibling = index;
            else
                elements[top.index].firstChild = index;
            top.lastChild = index;
            if (top.index == 0 && ++topLevel == 2) AddError("second_root_element", p);
            if (!emptyTag) {
                Open& opened = stack.emplace_back();
                opened.index = index;
                opened.lastChild = 0;
                if (counting) ++openNames[Name(index)];
            }
            pos = q + 1;
        }
    }
    while (stack.size() > 1) {
        AddError("unended_start_tag", elements[stack.back().index].start);
        closeTop(static_cast<uint32_t>(n), static_cast<uint32_t>(n));
    }
    if (topLevel == 0) AddError("no_root_element", n);
    return wellFormed;
}

// Element whose start tag begins at startOffset (0 when none).
uint32_t CXmlDocument::Impl::ElementAt(size_t startOffset) const {
    auto it = std::lower_bound(elements.begin() + 1, elements.end(), startOffset,
                               [](const Element& e, size_t off) { return e.start < off; });
    if (it == elements.end() || it->start != startOffset) return 0;
    return static_cast<uint32_t>(it - elements.begin());
}

void CXmlDocument::Impl::Restore(size_t parentStart, size_t mainStart) {
    parent = parentStart == SIZE_MAX ? 0 : ElementAt(parentStart);
    main = mainStart == SIZE_MAX ? 0 : ElementAt(mainStart);
    if (main && elements[main].parent != parent) parent = elements[main].parent;
}

// Re-parses after an edit and puts the cursor back on the elements that
// start at the given offsets (SIZE_MAX = none).
bool CXmlDocument::Impl::Reparse(size_t parentStart, size_t mainStart) {
    Parse();
    Restore(parentStart, mainStart);
    return true;
}

// Scans the attributes of an element's start tag. On success gives the
// value (without quotes) and the whole name="value" range.
bool CXmlDocument::Impl::FindAttribute(uint32_t index, const std::u16string& name, size_t& valueBegin,
                                       size_t& valueEnd, size_t& rangeBegin, size_t& rangeEnd) const {
    const Element& e = elements[index];
    const char16_t* s = text.data();
    size_t pos = e.nameEnd;
    size_t end = e.contentBegin - 1;        // the '>'
    if (KindOf(index) == kEmptyTag) --end;  // the '/'
    while (pos < end) {
        while (pos < end && (IsBlank(s[pos]) || s[pos] == u'/')) ++pos;
        if (pos >= end) break;
        if (s[pos] == u'"' || s[pos] == u'\'') {  // stray quoted text
            const char16_t* r = std::char_traits<char16_t>::find(s + pos + 1, end - pos - 1, s[pos]);
            pos = r ? static_cast<size_t>(r - s) + 1 : end;
            continue;
        }
        const size_t nb = pos;
        while (pos < end && !IsBlank(s[pos]) && s[pos] != u'=' && s[pos] != u'/' && s[pos] != u'"' &&
               s[pos] != u'\'')
            ++pos;
        const size_t ne = pos;
        if (ne == nb) {  // a lone '='
            ++pos;
            continue;
        }
        size_t q = pos;
        while (q < end && IsBlank(s[q])) ++q;
        size_t vb = ne, ve = ne, after = ne;
        if (q < end && s[q] == u'=') {
            ++q;
            while (q < end && IsBlank(s[q])) ++q;
            if (q < end && (s[q] == u'"' || s[q] == u'\'')) {
                const char16_t* r = std::char_traits<char16_t>::find(s + q + 1, end - q - 1, s[q]);
                vb = q + 1;
                ve = r ? static_cast<size_t>(r - s) : end;
                after = r ? ve + 1 : end;
            } else {
                vb = q;
                ve = q;
                while (ve < end && !IsBlank(s[ve])) ++ve;
                after = ve;
            }
            pos = after;
        }
        if (ne - nb == name.size() &&
            std::char_traits<char16_t>::compare(s + nb, name.data(), name.size()) == 0) {
            valueBegin = vb;
            valueEnd = ve;
            rangeBegin = nb;
            rangeEnd = after;
            return true;
        }
    }
    return false;
}

CXmlDocument::CXmlDocument() : impl_(new Impl) {}
CXmlDocument::~CXmlDocument() = default;

bool CXmlDocument::ParseText(const char16_t* text) {
    try {
        impl_->Clear();
        impl_->encoding.clear();
        impl_->byteOrderMark = false;
        impl_->loaded = false;
        if (text) impl_->text = text;
        return impl_->Parse();
    } catch (const std::bad_alloc&) {
        impl_->Clear();
        return false;
    }
}

bool CXmlDocument::ParseText(const std::u16string& text) {
    try {
        impl_->Clear();
        impl_->encoding.clear();
        impl_->byteOrderMark = false;
        impl_->loaded = false;
        impl_->text = text;
        return impl_->Parse();
    } catch (const std::bad_alloc&) {
        impl_->Clear();
        return false;
    }
}

bool CXmlDocument::LoadFromBytes(const uint8_t* data, size_t size) {
    try {
        return Decode(data, size) && impl_->Parse();
    } catch (const std::bad_alloc&) {
        impl_->Clear();
        return false;
    }
}

// The first half of loading: the bytes decoded into the text, nothing parsed.
bool CXmlDocument::Decode(const uint8_t* data, size_t size) {
    impl_->Clear();
    impl_->encoding.clear();
    impl_->byteOrderMark = false;
    impl_->loaded = false;
    if (!data && size != 0) return false;
    if (size > kMaxFileBytes) return false;
    xmlenc::DecodedText decoded;
    xmlenc::DecodeDocumentBytes(data, size, decoded);
    impl_->text.swap(decoded.text);
    impl_->encoding.swap(decoded.encoding);
    impl_->byteOrderMark = decoded.byteOrderMark;
    impl_->loaded = true;
    return true;
}

bool CXmlDocument::Load(const std::u16string& path) { return Load(path, kMaxFileBytes); }

bool CXmlDocument::Load(const std::u16string& path, size_t maxBytes) {
    std::vector<uint8_t> bytes;
    errno = 0;
    if (path.empty() || !ReadRegularFile(Utf16ToPathBytes(path), std::min(maxBytes, kMaxFileBytes), bytes)) {
        const int cause = errno;
        ParseText(nullptr);
        impl_->readFailure = "cannot read the file";
        if (cause != 0) impl_->readFailure += std::string(": ") + std::strerror(cause);
        return false;
    }
    bool ok = false;
    try {
        ok = Decode(bytes.data(), bytes.size());
        // The file's bytes are not needed once decoded: released before the
        // parse and before the readers build their records from the
        // document, they do not add the file's size to the peak.
        std::vector<uint8_t>().swap(bytes);
        ok = ok && impl_->Parse();
    } catch (const std::bad_alloc&) {
        impl_->Clear();
        ok = false;
    }
    if (!ok && !impl_->loaded) impl_->readFailure = "cannot read the file: larger than the template limit";
    return ok;
}

size_t CXmlDocument::LineOf(size_t offset) const {
    const std::u16string& t = impl_->text;
    const size_t end = std::min(offset, t.size());
    return 1 +
           static_cast<size_t>(std::count(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(end), u'\n'));
}

size_t CXmlDocument::ElementLine() const {
    if (!impl_->main || impl_->main >= impl_->elements.size()) return 0;
    return LineOf(impl_->elements[impl_->main].start);
}

std::string CXmlDocument::FailureReason() const {
    if (!impl_->readFailure.empty()) return impl_->readFailure;
    if (impl_->errors.empty()) return impl_->wellFormed || impl_->text.empty() ? "" : "not well-formed XML";
    const XmlParseError& e = impl_->errors.front();
    return "not well-formed XML (" + std::string(e.name) + ") at line " + std::to_string(LineOf(e.offset));
}

bool CXmlDocument::Save(const std::u16string& path) const {
    if (path.empty()) return false;
    std::u16string encoding;
    bool bom = false;
    if (impl_->loaded) {
        encoding = impl_->encoding;
        bom = impl_->byteOrderMark;
    } else {
        encoding = xmlenc::DeclaredEncodingOfText(impl_->text);
        if (encoding.empty()) encoding = u"UTF-8";
    }
    std::string bytes;
    try {
        if (!xmlenc::EncodeText(impl_->text, encoding, bom, bytes)) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::FILE* f = OpenRegularFileForWriting(Utf16ToPathBytes(path));
    if (!f) return false;
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    return written && closed;
}

void CXmlDocument::ResetPosition() { impl_->main = 0; }

bool CXmlDocument::FindElement(const std::u16string& name) {
    const Impl& d = *impl_;
    uint32_t index = d.main ? d.elements[d.main].nextSibling : d.elements[d.parent].firstChild;
    const std::u16string_view wanted(name);
    for (; index != 0; index = d.elements[index].nextSibling) {
        if (d.Name(index) == wanted) {
            impl_->main = index;
            return true;
        }
    }
    return false;
}

bool CXmlDocument::FindNextElement() {
    const Impl& d = *impl_;
    const uint32_t index = d.main ? d.elements[d.main].nextSibling : d.elements[d.parent].firstChild;
    if (!index) return false;
    impl_->main = index;
    return true;
}

bool CXmlDocument::EnterElement() {
    if (!impl_->main) return false;
    impl_->parent = impl_->main;
    impl_->main = 0;
    return true;
}

bool CXmlDocument::LeaveElement() {
    if (!impl_->parent) return false;
    impl_->main = impl_->parent;
    impl_->parent = impl_->elements[impl_->parent].parent;
    return true;
}

std::u16string CXmlDocument::ReadAttribute(const std::u16string& name) const {
    std::u16string value;
    if (!impl_->main) return value;
    size_t vb, ve, rb, re;
    if (!impl_->FindAttribute(impl_->main, name, vb, ve, rb, re)) return value;
    try {
        xmlent::AppendDecoded(impl_->text.data() + vb, impl_->text.data() + ve, value);
    } catch (const std::bad_alloc&) {
        value.clear();
    }
    return value;
}

int32_t CXmlDocument::ReadIntAttribute(const std::u16string& name) const {
    return ParseInt(ReadAttribute(name));
}

std::u16string CXmlDocument::ReadText() const {
    std::u16string out;
    const Impl& d = *impl_;
    if (!d.main) return out;
    const Element& e = d.elements[d.main];
    if (e.firstChild || e.contentEnd <= e.contentBegin) return out;
    const char16_t* s = d.text.data();
    const char16_t* p = s + e.contentBegin;
    const char16_t* const end = s + e.contentEnd;
    try {
        while (p < end) {
            const char16_t* lt = std::char_traits<char16_t>::find(p, static_cast<size_t>(end - p), u'<');
            if (!lt) lt = end;
            xmlent::AppendDecoded(p, lt, out);
            if (lt >= end) break;
            if (StartsWith(lt, end, u"<![CDATA[", 9)) {
                const char16_t* q = Find(lt + 9, end, u"]]>", 3);
                out.append(lt + 9, q ? q : end);
                p = q ? q + 3 : end;
            } else if (StartsWith(lt, end, u"<!--", 4)) {
                const char16_t* q = Find(lt + 4, end, u"-->", 3);
                p = q ? q + 3 : end;
            } else if (StartsWith(lt, end, u"<?", 2)) {
                const char16_t* q = Find(lt + 2, end, u"?>", 2);
                p = q ? q + 2 : end;
            } else {
                // Other markup (a stray '<' or a declaration): skipped.
                const char16_t* q =
                    std::char_traits<char16_t>::find(lt + 1, static_cast<size_t>(end - lt - 1), u'>');
                if (lt + 1 < end && (IsBlank(lt[1]) || lt[1] == u'<')) {
                    out.push_back(u'<');
                    p = lt + 1;
                } else {
                    p = q ? q + 1 : end;
                }
            }
        }
    } catch (const std::bad_alloc&) {
        out.clear();
    }
    return out;
}

std::u16string CXmlDocument::ElementName() const {
    if (!impl_->main) return {};
    return std::u16string(impl_->Name(impl_->main));
}

bool CXmlDocument::AppendElement(const std::u16string& name) {
    if (!IsWritableName(name)) return false;
    Impl& d = *impl_;
    try {
        const std::u16string tag = u"<" + name + u"/>";
        // The sibling after which the new element goes.
        uint32_t after = d.main;
        if (!after) {
            for (uint32_t c = d.elements[d.parent].firstChild; c; c = d.elements[c].nextSibling) after = c;
        }
        // Only one top-level element is allowed: a second one would make
        // the document unreadable.
        if (d.parent == 0 && d.elements[0].firstChild != 0) return false;
        size_t insertAt;
        std::u16string insert;
        size_t newStart;
        if (after) {
            // On its own line, indented like its previous sibling.
            const Element& prev = d.elements[after];
            size_t lineStart = prev.start;
            while (lineStart > 0 && (d.text[lineStart - 1] == u' ' || d.text[lineStart - 1] == u'\t'))
                --lineStart;
            const std::u16string indent = d.text.substr(lineStart, prev.start - lineStart);
            const bool ownLine = lineStart == 0 || d.text[lineStart - 1] == u'\n';
            insertAt = prev.end;
            insert = (ownLine ? u"\n" + indent : std::u16string()) + tag;
            newStart = insertAt + insert.size() - tag.size();
        } else if (d.parent) {
            const Element& p = d.elements[d.parent];
            if (d.KindOf(d.parent) == kEmptyTag) {
                // <P .../> becomes <P ...><name/></P>
                const size_t parentStart = p.start;
                const size_t tagEnd = p.contentBegin;
                size_t cut = tagEnd - 2;  // the '/'
                while (cut > p.nameEnd && IsBlank(d.text[cut - 1])) --cut;
                const std::u16string closing = u"</" + std::u16string(d.Name(d.parent)) + u">";
                d.text.replace(cut, tagEnd - cut, u">" + tag + closing);
                d.Reparse(parentStart, cut + 1);
                return d.main != 0;
            }
            insertAt = p.contentEnd;
            insert = tag;
            newStart = insertAt;
        } else {
            insertAt = d.text.size();
            if (!d.text.empty() && d.text.back() != u'\n') insert = u"\n";
            insert += tag;
            newStart = insertAt + insert.size() - tag.size();
        }
        const size_t parentStart = d.parent ? d.elements[d.parent].start : SIZE_MAX;
        d.text.insert(insertAt, insert);
        d.Reparse(parentStart, newStart);
        return d.main != 0;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CXmlDocument::WriteAttribute(const std::u16string& name, const std::u16string& value) {
    Impl& d = *impl_;
    if (!d.main || !IsWritableName(name)) return false;
    try {
        const std::u16string quoted = u"\"" + xmlent::EscapeAttribute(value) + u"\"";
        const Element& e = d.elements[d.main];
        const size_t parentStart = d.parent ? d.elements[d.parent].start : SIZE_MAX;
        const size_t mainStart = e.start;
        size_t vb, ve, rb, re;
        if (d.FindAttribute(d.main, name, vb, ve, rb, re)) {
            d.text.replace(rb, re - rb, name + u"=" + quoted);
        } else {
            size_t at = e.contentBegin - 1;
            if (d.KindOf(d.main) == kEmptyTag) --at;
            while (at > e.nameEnd && IsBlank(d.text[at - 1])) --at;
            d.text.insert(at, u" " + name + u"=" + quoted);
        }
        return d.Reparse(parentStart, mainStart);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CXmlDocument::WriteAttribute(const std::u16string& name, int32_t value) {
    return WriteAttribute(name, AsciiToUtf16(std::to_string(value).c_str()));
}

bool CXmlDocument::WriteText(const std::u16string& text) {
    Impl& d = *impl_;
    if (!d.main) return false;
    try {
        const std::u16string escaped = xmlent::EscapeText(text);
        const Element& e = d.elements[d.main];
        const size_t parentStart = d.parent ? d.elements[d.parent].start : SIZE_MAX;
        const size_t mainStart = e.start;
        const ElementKind kind = d.KindOf(d.main);
        if (kind == kEmptyTag) {
            size_t cut = e.contentBegin - 2;
            while (cut > e.nameEnd && IsBlank(d.text[cut - 1])) --cut;
            const std::u16string closing = u"</" + std::u16string(d.Name(d.main)) + u">";
            d.text.replace(cut, e.contentBegin - cut, u">" + escaped + closing);
        } else if (kind == kUnended) {
            return false;  // no end tag to keep the text in
        } else {
            d.text.replace(e.contentBegin, e.contentEnd - e.contentBegin, escaped);
        }
        return d.Reparse(parentStart, mainStart);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CXmlDocument::RemoveElement() {
    Impl& d = *impl_;
    if (!d.main) return false;
    try {
        const Element& e = d.elements[d.main];
        if (d.KindOf(d.main) == kUnended) return false;
        const size_t parentStart = d.parent ? d.elements[d.parent].start : SIZE_MAX;
        const uint32_t before = [&] {
            uint32_t prev = 0;
            for (uint32_t c = d.elements[d.parent].firstChild; c && c != d.main;
                 c = d.elements[c].nextSibling)
                prev = c;
            return prev;
        }();
        const size_t previousStart = before ? d.elements[before].start : SIZE_MAX;
        size_t from = e.start;
        size_t to = e.end;
        size_t lineStart = from;
        while (lineStart > 0 && (d.text[lineStart - 1] == u' ' || d.text[lineStart - 1] == u'\t'))
            --lineStart;
        size_t lineEnd = to;
        while (lineEnd < d.text.size() &&
               (d.text[lineEnd] == u' ' || d.text[lineEnd] == u'\t' || d.text[lineEnd] == u'\r'))
            ++lineEnd;
        if (lineStart > 0 && d.text[lineStart - 1] == u'\n' &&
            (lineEnd == d.text.size() || d.text[lineEnd] == u'\n')) {
            from = lineStart - 1;  // the line with its line break
            to = lineEnd;
        }
        d.text.erase(from, to - from);
        // The elements before the cut keep their offsets.
        return d.Reparse(parentStart, previousStart);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

const std::u16string& CXmlDocument::Text() const { return impl_->text; }
bool CXmlDocument::IsWellFormed() const { return impl_->wellFormed; }
const std::vector<XmlParseError>& CXmlDocument::ParseErrors() const { return impl_->errors; }
const std::u16string& CXmlDocument::Encoding() const { return impl_->encoding; }
bool CXmlDocument::HadByteOrderMark() const { return impl_->byteOrderMark; }

int32_t CXmlDocument::ParseInt(const std::u16string& text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int64_t value = 0;
    for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        if (value <= int64_t(INT32_MAX) + 1) value = value * 10 + (text[i] - u'0');
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

bool LoadXmlFile(const std::u16string& path, CXmlDocument& document) {
    if (document.Load(path)) return true;
    NoteTemplateProblem(Utf16ToPathBytes(path) + ": " + document.FailureReason());
    return false;
}

namespace {
// Per thread: classifiers on several threads read their templates at once,
// and each load reports its own first problem.
std::string& TemplateProblem() {
    static thread_local std::string problem;
    return problem;
}
}  // namespace

void NoteTemplateProblem(const std::string& utf8) {
    // The first problem is the cause; later ones follow from it.
    if (TemplateProblem().empty()) TemplateProblem() = utf8;
}

void NoteTemplateProblemAt(const CXmlDocument& document, const std::u16string& path,
                           const std::string& what) {
    std::string where = Utf16ToPathBytes(path);
    const size_t line = document.ElementLine();
    if (line) where += ": line " + std::to_string(line);
    NoteTemplateProblem(where + ": " + what);
}

std::string TakeTemplateProblem() {
    std::string problem;
    problem.swap(TemplateProblem());
    return problem;
}

}  // namespace libMorvaneClassifier

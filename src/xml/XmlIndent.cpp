#include "xml/XmlIndent.h"

#include <new>
#include <vector>

namespace libMorvaneClassifier {
namespace {

enum class Tag { kStart, kEnd, kEmpty, kOther };

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// The end (one past '>') of the markup starting at text[at] == '<', and its
// kind; npos when it does not end.
size_t MarkupEnd(const std::u16string& text, size_t at, Tag& kind) {
    auto until = [&](const char16_t* close) -> size_t {
        const size_t p = text.find(close, at);
        return p == std::u16string::npos ? p : p + std::char_traits<char16_t>::length(close);
    };
    if (text.compare(at, 4, u"<!--") == 0) {
        kind = Tag::kOther;
        return until(u"-->");
    }
    if (text.compare(at, 9, u"<![CDATA[") == 0) {
        kind = Tag::kOther;
        return until(u"]]>");
    }
    if (text.compare(at, 2, u"<?") == 0) {
        kind = Tag::kOther;
        return until(u"?>");
    }
    if (text.compare(at, 2, u"<!") == 0) {
        kind = Tag::kOther;
        return until(u">");
    }
    kind = text.compare(at, 2, u"</") == 0 ? Tag::kEnd : Tag::kStart;
    char16_t quote = 0;
    for (size_t i = at + 1; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'>') {
            if (kind == Tag::kStart && text[i - 1] == u'/') kind = Tag::kEmpty;
            return i + 1;
        }
    }
    return std::u16string::npos;
}

}  // namespace

std::u16string IndentXmlText(const std::u16string& text) {
    try {
        std::u16string out;
        out.reserve(text.size() + text.size() / 8);
        int depth = 0;
        bool seenMarkup = false;
        Tag previous = Tag::kOther;
        size_t pos = 0;
        while (pos < text.size()) {
            const size_t lt = text.find(u'<', pos);
            if (lt == std::u16string::npos) {
                out.append(text, pos, std::u16string::npos);
                break;
            }
            Tag kind;
            const size_t end = MarkupEnd(text, lt, kind);
            if (end == std::u16string::npos) return text;
            bool blankGap = true;
            for (size_t i = pos; i < lt && blankGap; ++i) blankGap = IsBlank(text[i]);
            const int tagDepth = kind == Tag::kEnd ? depth - 1 : depth;
            if (kind == Tag::kEnd && depth <= 0) return text;
            // A start tag directly followed by its end tag keeps its content
            // (blank text content is still content).
            const bool closesLeaf = kind == Tag::kEnd && previous == Tag::kStart;
            if (seenMarkup && blankGap && !closesLeaf) {
                out += u'\n';
                out.append(static_cast<size_t>(tagDepth) * 2, u' ');
            } else {
                out.append(text, pos, lt - pos);
            }
            out.append(text, lt, end - lt);
            if (kind == Tag::kStart) ++depth;
            if (kind == Tag::kEnd) --depth;
            previous = kind;
            seenMarkup = true;
            pos = end;
        }
        if (depth != 0) return text;
        return out;
    } catch (const std::bad_alloc&) {
        return text;
    }
}

}  // namespace libMorvaneClassifier

// Helpers for the template and filter tests: UTF-8 literals to UTF-16,
// documents from inline XML, fixture paths and parameter descriptors as
// comparable values.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/ObjBase.h"
#include "core/TextConv.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {
namespace test {

inline std::u16string U(const std::string& s) { return Utf8ToUtf16(s); }
inline std::string N(const std::u16string& s) { return Utf16ToUtf8(s); }

// Parses inline XML (UTF-8 source text) into doc; the cursor is before the root.
inline bool Parse(CXmlDocument& doc, const std::string& xml) { return doc.ParseText(Utf8ToUtf16(xml)); }

// Parses xml, finds its root element and enters it, so that a reader finds
// its element among the root's children.
inline bool ParseInside(CXmlDocument& doc, const std::string& xml) {
    if (!Parse(doc, xml)) return false;
    doc.ResetPosition();
    return doc.FindElement(u"Root") && doc.EnterElement();
}

inline std::u16string TemplateData(const std::string& rel) {
    return U(std::string(MORVANE_TEST_DIR) + "/templates/data/" + rel);
}
inline std::u16string FilterData(const std::string& rel) {
    return U(std::string(MORVANE_TEST_DIR) + "/filters/data/" + rel);
}

// A descriptor reduced to name, kind and the field it refers to.
struct Desc {
    std::string name;
    int32_t kind;
    const void* value;
    bool operator==(const Desc& o) const {
        return std::tie(name, kind, value) == std::tie(o.name, o.kind, o.value);
    }
};
inline std::ostream& operator<<(std::ostream& os, const Desc& d) {
    return os << d.name << "/" << d.kind << "@" << d.value;
}
using Descs = std::vector<Desc>;

inline Descs DescriptorsOf(CObjBase& obj) {
    ParameterList list;
    list.push_back(ParameterDescriptor{u"stale entry", nullptr, 1, {}});  // must be cleared
    obj.ListParameters(list);
    Descs out;
    for (const auto& d : list) {
        EXPECT_TRUE(d.choices.empty());
        out.push_back({N(d.name), d.kind, d.value});
    }
    return out;
}

// Writes obj with Write(doc) inside a fresh <Root>, then parses the text
// again and enters <Root>, ready for a reader.
template <class W>
bool WriteAndReparse(W&& write, CXmlDocument& reread) {
    CXmlDocument doc;
    if (!Parse(doc, "<Root/>")) return false;
    doc.ResetPosition();
    if (!doc.FindElement(u"Root") || !doc.EnterElement()) return false;
    if (!write(doc)) return false;
    if (!reread.ParseText(doc.Text())) return false;
    reread.ResetPosition();
    return reread.FindElement(u"Root") && reread.EnterElement();
}

}  // namespace test
}  // namespace libMorvaneClassifier

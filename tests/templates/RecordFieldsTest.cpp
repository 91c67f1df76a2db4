// Every record described by a field table: its parameter descriptors, its
// reader and its writer agree. A record with a distinct value in every field
// (and children where it has any) is written, read back and written again;
// both texts must be the same, every descriptor must name an attribute of
// the element and point at the value the reader restored, and a copy must
// write the same text.
#include <gtest/gtest.h>

#include <string>

#include "templates/FilterConfig.h"
#include "filters/FrameLineRecords.h"
#include "preprocess/ImageProcessingInfo.h"
#include "templates/Anchor.h"
#include "templates/TemplateTestUtil.h"
#include "templates/TextLine.h"

namespace libMorvaneClassifier {
namespace {

using test::N;

// A distinct value in every integer and text field of the table.
template <class T>
void FillFields(T& r, int32_t base) {
    int32_t i = 0;
    for (const RecordField<T>& f : T::Fields().fields) {
        ++i;
        if (f.intMember) r.*f.intMember = base + 37 * i;
        if (f.textMember) r.*f.textMember = u"v" + std::u16string(1, static_cast<char16_t>(u'a' + i)) + u"&<\"";
    }
}

// Children of the records that have any, each with its own values.
template <class T>
void AddChildren(T&) {}

void AddChildren(CRegion& r) {
    r.anchorList = std::make_unique<CAnchorList>();
    r.anchorList->count = 2;
    r.anchorList->items.resize(2);
    r.anchorList->items[1] = std::make_unique<CAnchor>();
    FillFields(*r.anchorList->items[1], 500);
    r.refAnchorList = std::make_unique<CRefAnchorList>();
    r.refAnchorList->count = 1;
    r.refAnchorList->items.push_back(std::make_unique<CRefAnchorInfo>());
    FillFields(*r.refAnchorList->items[0], 700);
}

void AddChildren(CTextLine& t) {
    t.region = std::make_unique<CRegion>();
    FillFields(*t.region, 300);
    AddChildren(*t.region);
}

void AddChildren(CLine& l) {
    l.anchor = std::make_unique<CAnchor>();
    FillFields(*l.anchor, 900);
}

void AddChildren(CFrameLineInfo& f) {
    f.line = std::make_unique<CLine>();
    FillFields(*f.line, 1100);
    AddChildren(*f.line);
}

// The text of a document whose root holds what write appends.
template <class W>
std::u16string WrittenText(W&& write) {
    CXmlDocument doc;
    EXPECT_TRUE(test::Parse(doc, "<Root/>"));
    doc.ResetPosition();
    EXPECT_TRUE(doc.FindElement(u"Root") && doc.EnterElement());
    EXPECT_TRUE(write(doc));
    return doc.Text();
}

// The descriptors name attributes of the record's own element (the text up
// to its first '>') and point into the record...
template <class T>
void ExpectDescriptorsMatch(T& record, const std::u16string& text) {
    ParameterList list;
    record.ListParameters(list);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].name, T::Fields().element);
    const size_t start = text.find(u"<" + list[0].name);
    ASSERT_NE(start, std::u16string::npos) << N(text);
    const std::u16string element = text.substr(start, text.find(u'>', start) - start);
    // ... and every attribute is described (an attribute the editor does not
    // list is the drift this guards against).
    size_t attributes = 0;
    for (size_t at = element.find(u"=\""); at != std::u16string::npos; at = element.find(u"=\"", at + 1)) ++attributes;
    EXPECT_EQ(attributes, list.size() - 1) << N(element);
    const auto* begin = reinterpret_cast<const char*>(&record);
    for (size_t i = 1; i < list.size(); ++i) {
        EXPECT_NE(element.find(u" " + list[i].name + u"=\""), std::u16string::npos)
            << N(list[i].name) << " in " << N(element);
        const auto* at = static_cast<const char*>(list[i].value);
        EXPECT_TRUE(at >= begin && at < begin + sizeof(T)) << N(list[i].name);
    }
}

// The values each descriptor points at, as text.
std::vector<std::u16string> DescribedValues(CObjBase& record) {
    ParameterList list;
    record.ListParameters(list);
    std::vector<std::u16string> out;
    for (size_t i = 1; i < list.size(); ++i) {
        if (list[i].kind == kParamText || list[i].kind == kParamPath)
            out.push_back(*static_cast<const std::u16string*>(list[i].value));
        else
            out.push_back(test::U(std::to_string(*static_cast<const int32_t*>(list[i].value))));
    }
    return out;
}

template <class T>
class RecordTableAgreement : public ::testing::Test {};

using TableRecords = ::testing::Types<CAnchor, CRefAnchorInfo, CRegion, CTextLine, CLine, CFrameLineInfo,
                                      CFrameLineRule, CFilterConfig>;
TYPED_TEST_SUITE(RecordTableAgreement, TableRecords);

TYPED_TEST(RecordTableAgreement, WriteReadWriteDescriptorsAndCopy) {
    TypeParam a;
    FillFields(a, 100);
    AddChildren(a);
    const std::u16string first = WrittenText([&](CXmlDocument& d) { return a.Write(d); });
    ExpectDescriptorsMatch(a, first);

    CXmlDocument reread;
    ASSERT_TRUE(reread.ParseText(first));
    reread.ResetPosition();
    ASSERT_TRUE(reread.FindElement(u"Root") && reread.EnterElement());
    TypeParam b;
    ASSERT_TRUE(b.Read(reread));
    EXPECT_EQ(N(WrittenText([&](CXmlDocument& d) { return b.Write(d); })), N(first));
    EXPECT_EQ(DescribedValues(b), DescribedValues(a));

    TypeParam c;
    c.Assign(a);
    EXPECT_EQ(N(WrittenText([&](CXmlDocument& d) { return c.Write(d); })), N(first));
    EXPECT_EQ(DescribedValues(c), DescribedValues(a));
}

template <class T>
class StepTableAgreement : public ::testing::Test {};

using TableSteps = ::testing::Types<CColorToGrayInfo, CGrayToBinInfo, CBlackEdgesErasingInfo, CTiltCorrectionInfo>;
TYPED_TEST_SUITE(StepTableAgreement, TableSteps);

TYPED_TEST(StepTableAgreement, WriteReadWriteDescriptorsAndCopy) {
    TypeParam a;
    FillFields(a, 40);
    const std::u16string first = WrittenText([&](CXmlDocument& d) { return a.WriteXml(d); });
    ExpectDescriptorsMatch(a, first);

    CXmlDocument reread;
    ASSERT_TRUE(reread.ParseText(first));
    reread.ResetPosition();
    ASSERT_TRUE(reread.FindElement(u"Root") && reread.EnterElement());
    TypeParam b;
    ASSERT_TRUE(b.ReadXml(reread));
    EXPECT_EQ(N(WrittenText([&](CXmlDocument& d) { return b.WriteXml(d); })), N(first));
    EXPECT_EQ(DescribedValues(b), DescribedValues(a));

    TypeParam c;
    c.Assign(a);
    EXPECT_EQ(c.type, a.type);
    EXPECT_EQ(N(WrittenText([&](CXmlDocument& d) { return c.WriteXml(d); })), N(first));
}

}  // namespace
}  // namespace libMorvaneClassifier

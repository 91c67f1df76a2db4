// Parsing, the cursor, reading and writing of the XML document.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "XmlTestUtil.h"
#include "xml/XmlDocument.h"

using libMorvaneClassifier::CXmlDocument;
using namespace xmltest;

namespace {

bool HasError(const CXmlDocument& doc, const char* name) {
    for (const auto& e : doc.ParseErrors())
        if (std::strcmp(e.name, name) == 0) return true;
    return false;
}

TEST(XmlDocumentTest, FindElementGoesForwardAmongSiblingsOnly) {
    CXmlDocument doc;
    ASSERT_TRUE(
        doc.ParseText(u"<?xml version=\"1.0\"?>\n<!-- c --><R>text<B n=\"1\"/><?pi x?><C/>"
                      u"<!-- <B n=\"x\"/> --><B n=\"2\"><B n=\"inner\"/></B><B n=\"3\"/></R>"));
    ASSERT_TRUE(doc.FindElement(u"R"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement(u"B"));
    EXPECT_EQ(doc.ReadAttribute(u"n"), u"1");
    ASSERT_TRUE(doc.FindElement(u"B"));
    EXPECT_EQ(doc.ReadAttribute(u"n"), u"2");  // the commented one is skipped
    ASSERT_TRUE(doc.FindElement(u"B"));
    EXPECT_EQ(doc.ReadAttribute(u"n"), u"3");  // the nested one is not a sibling
    EXPECT_FALSE(doc.FindElement(u"B"));
    EXPECT_EQ(doc.ReadAttribute(u"n"), u"3");  // failure does not move
    EXPECT_FALSE(doc.FindElement(u"C"));       // no wrapping around
    EXPECT_EQ(doc.ElementName(), u"B");
    doc.ResetPosition();  // the parent stays
    EXPECT_TRUE(doc.FindElement(u"C"));
    EXPECT_FALSE(doc.FindElement(u"b"));  // names are case-sensitive
    EXPECT_EQ(doc.ElementName(), u"C");
}

TEST(XmlDocumentTest, EnterAndLeave) {
    CXmlDocument doc;
    ASSERT_TRUE(doc.ParseText(u"<R><A><X/></A><B/></R>"));
    EXPECT_FALSE(doc.EnterElement());  // no main position yet
    EXPECT_FALSE(doc.LeaveElement());  // already at the top level
    ASSERT_TRUE(doc.FindElement(u"R"));
    ASSERT_TRUE(doc.EnterElement());
    EXPECT_EQ(doc.ElementName(), u"");
    ASSERT_TRUE(doc.FindElement(u"A"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement(u"X"));
    ASSERT_TRUE(doc.EnterElement());
    EXPECT_FALSE(doc.FindElement(u"X"));  // an empty element has no children
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(doc.ElementName(), u"X");
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(doc.ElementName(), u"A");
    ASSERT_TRUE(doc.FindElement(u"B"));  // continues after A
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(doc.ElementName(), u"R");
    EXPECT_FALSE(doc.LeaveElement());
    EXPECT_EQ(doc.ElementName(), u"R");
}

TEST(XmlDocumentTest, EmptyDocument) {
    CXmlDocument doc;
    EXPECT_FALSE(doc.ParseText(nullptr));
    EXPECT_TRUE(doc.Text().empty());
    EXPECT_FALSE(doc.FindElement(u"R"));
    EXPECT_FALSE(doc.FindElement(u""));
    EXPECT_EQ(doc.ReadAttribute(u"A"), u"");
    EXPECT_EQ(doc.ReadText(), u"");
    EXPECT_TRUE(HasError(doc, "no_root_element"));
}

struct AttributeCase {
    const char16_t* written;
    const char16_t* read;
};

class XmlAttributeTest : public ::testing::TestWithParam<AttributeCase> {};

TEST_P(XmlAttributeTest, DecodesCharacterReferences) {
    const AttributeCase& c = GetParam();
    CXmlDocument doc;
    ASSERT_TRUE(doc.ParseText(u"<R Other=\"x\" A=\"" + std::u16string(c.written) + u"\" Z='1'/>"));
    ASSERT_TRUE(doc.FindElement(u"R"));
    EXPECT_EQ(doc.ReadAttribute(u"A"), std::u16string(c.read)) << U8(c.written);
    EXPECT_EQ(doc.ReadAttribute(u"Z"), u"1");
}

INSTANTIATE_TEST_SUITE_P(
    References, XmlAttributeTest,
    ::testing::Values(AttributeCase{u"a&amp;b&#x41;&#66;", u"a&bAB"}, AttributeCase{u"&foo;", u"&foo;"},
                      AttributeCase{u"&#0;", u"&#0;"}, AttributeCase{u"&#x0;", u"&#x0;"},
                      AttributeCase{u"&lt;&gt;&amp;&quot;&apos;&nbsp;", u"<>&\"'\u00A0"},
                      AttributeCase{u"&LT;&Amp;&NBSP;", u"<&\u00A0"},  // capitals folded
                      AttributeCase{u"&Aacute;&aacute;&AACUTE;", u"\u00C1\u00E1\u00E1"},
                      AttributeCase{u"&euro;&hellip;&alefsym;&diams;", u"\u20AC\u2026\u2135\u2666"},
                      AttributeCase{u"&#x1F600;&#128512;", u"\U0001F600\U0001F600"},
                      AttributeCase{u"&#X41;", u"A"}, AttributeCase{u"&#00000065;", u"A"},  // nine characters
                      AttributeCase{u"&#000000065;", u"&#000000065;"},  // ten characters: too long
                      AttributeCase{u"&#x00000041;", u"&#x00000041;"},
                      AttributeCase{u"&#12345678;", u"&#12345678;"},  // above U+10FFFF
                      AttributeCase{u"&#x110000;", u"&#x110000;"},
                      AttributeCase{u"&#xD800;", u"&#xD800;"},  // a surrogate is no character
                      AttributeCase{u"&thetasym;", u"\u03D1"},  // eight characters
                      AttributeCase{u"&#;&#x;&;", u"&#;&#x;&;"},
                      AttributeCase{u"&#12a;&#xG;", u"&#12a;&#xG;"},
                      AttributeCase{u"a & b &amp", u"a & b &amp"}, AttributeCase{u"&&amp;;", u"&&;"},
                      AttributeCase{u"&amp;lt;", u"&lt;"},  // decoded once only
                      AttributeCase{u"", u""}));

TEST(XmlDocumentTest, AttributeForms) {
    CXmlDocument doc;
    ASSERT_TRUE(doc.ParseText(u"<R  A = 'x\"y'\n\tB=\"a>b\" C=plain D E=\"\" F=\"1\" F=\"2\" G=\"v\"/>"));
    ASSERT_TRUE(doc.FindElement(u"R"));
    EXPECT_EQ(doc.ReadAttribute(u"A"), u"x\"y");
    EXPECT_EQ(doc.ReadAttribute(u"B"), u"a>b");
    EXPECT_EQ(doc.ReadAttribute(u"C"), u"plain");
    EXPECT_EQ(doc.ReadAttribute(u"D"), u"");
    EXPECT_EQ(doc.ReadAttribute(u"E"), u"");
    EXPECT_EQ(doc.ReadAttribute(u"F"), u"1");  // the first one counts
    EXPECT_EQ(doc.ReadAttribute(u"G"), u"v");  // the '/' of the tag is not part of it
    EXPECT_EQ(doc.ReadAttribute(u"X"), u"");
    EXPECT_EQ(doc.ReadIntAttribute(u"X"), 0);
    EXPECT_EQ(doc.ReadAttribute(u"a"), u"");  // case-sensitive
    EXPECT_EQ(doc.ReadAttribute(u"R"), u"");  // the tag name is no attribute
}

TEST(XmlDocumentTest, ParseIntFollowsTheCLibrary) {
    const struct {
        const char16_t* text;
        int32_t value;
    } cases[] = {
        {u"12", 12},
        {u"12px", 12},
        {u"  -7", -7},
        {u"\t\r\n\v\f+5", 5},
        {u"", 0},
        {u"abc", 0},
        {u"-", 0},
        {u"- 3", 0},
        {u"0x10", 0},
        {u"007", 7},
        {u"3.9", 3},
        {u"2147483647", INT32_MAX},
        {u"2147483648", INT32_MAX},
        {u"-2147483648", INT32_MIN},
        {u"-2147483649", INT32_MIN},
        {u"99999999999999999999999", INT32_MAX},
        {u"-99999999999999999999999", INT32_MIN},
        {u"\uFF11\uFF12", 0},  // full-width digits are not digits
    };
    for (const auto& c : cases) EXPECT_EQ(CXmlDocument::ParseInt(c.text), c.value) << U8(c.text);
}

TEST(XmlDocumentTest, ReadText) {
    const struct {
        const char16_t* content;
        const char16_t* text;
    } cases[] = {
        {u"ab<![CDATA[<c>]]>d", u"ab<c>d"},
        {u"a<!-- b -->c<?pi d?>e", u"ace"},
        {u"x&amp;y&#x4E2D;&bogus;", u"x&y\u4E2D&bogus;"},
        {u"<![CDATA[&amp;]]>", u"&amp;"},  // CDATA is taken as written
        {u"  spaced\n", u"  spaced\n"},
        {u"", u""},
        {u"a<child/>b", u""},  // mixed content: a child element gives nothing
    };
    for (const auto& c : cases) {
        CXmlDocument doc;
        ASSERT_TRUE(doc.ParseText(u"<R><E>" + std::u16string(c.content) + u"</E></R>")) << U8(c.content);
        ASSERT_TRUE(doc.FindElement(u"R"));
        EXPECT_EQ(doc.ReadText(), u"");  // R has a child element
        ASSERT_TRUE(doc.EnterElement());
        ASSERT_TRUE(doc.FindElement(u"E"));
        EXPECT_EQ(doc.ReadText(), std::u16string(c.text)) << U8(c.content);
    }
    CXmlDocument doc;
    ASSERT_TRUE(doc.ParseText(u"<E/>"));
    EXPECT_EQ(doc.ReadText(), u"");  // no main element
    ASSERT_TRUE(doc.FindElement(u"E"));
    EXPECT_EQ(doc.ReadText(), u"");
}

struct FormCase {
    const char* label;
    const char16_t* text;
    bool wellFormed;
    const char* error;  // expected error name, or nullptr
};

class XmlWellFormedTest : public ::testing::TestWithParam<FormCase> {};

TEST_P(XmlWellFormedTest, Checks) {
    const FormCase& c = GetParam();
    CXmlDocument doc;
    EXPECT_EQ(doc.ParseText(c.text), c.wellFormed);
    EXPECT_EQ(doc.IsWellFormed(), c.wellFormed);
    EXPECT_EQ(doc.ParseErrors().empty(), c.wellFormed);
    if (c.error) {
        EXPECT_TRUE(HasError(doc, c.error)) << c.error;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Documents, XmlWellFormedTest,
    ::testing::Values(
        FormCase{"Simple", u"<R/>", true, nullptr},
        FormCase{"Everything",
                 u"\uFEFF<?xml version=\"1.0\"?>\n<!DOCTYPE R [ <!ENTITY e \"a>b\"> <!-- ] > --> ]>\n"
                 u"<!-- c --><?pi?><R a='>'><![CDATA[</R>]]>x &amp; & &#0;</R>\n<!-- after -->\n",
                 true, nullptr},
        FormCase{"TwoRoots", u"<A/><B/>", false, "second_root_element"},
        FormCase{"UnclosedRoot", u"<R><A></A>", false, "unended_start_tag"},
        FormCase{"LoneEndTag", u"<R></X></R>", false, "lone_end_tag"},
        FormCase{"UnclosedInner", u"<R><A></R>", false, "unended_start_tag"},
        FormCase{"CaseMismatch", u"<R></r>", false, "lone_end_tag"},
        FormCase{"NoRoot", u"<?xml version=\"1.0\"?><!-- only -->", false, "no_root_element"},
        FormCase{"Whitespace", u"  \n ", false, "no_root_element"},
        FormCase{"UnterminatedComment", u"<R><!-- </R>", false, "unterminated_comment"},
        FormCase{"UnterminatedCdata", u"<R><![CDATA[ </R>", false, "unterminated_cdata"},
        FormCase{"UnterminatedPi", u"<R><? </R>", false, "unterminated_processing_instruction"},
        FormCase{"UnterminatedQuote", u"<R a=\"></R>", false, "unterminated_start_tag"},
        FormCase{"UnterminatedTag", u"<R", false, "unterminated_start_tag"},
        FormCase{"LoneLessThan", u"<R>a < b</R>", false, "lone_lt"},
        FormCase{"LessThanAtEnd", u"<R/><", false, "lone_lt"},
        FormCase{"EndTagOnly", u"</R>", false, "lone_end_tag"}),
    [](const ::testing::TestParamInfo<FormCase>& info) { return std::string(info.param.label); });

// Thousands of levels are handled without recursion, both closed and not.
TEST(XmlDocumentTest, DeepNesting) {
    const int depth = 200000;
    std::u16string text;
    for (int i = 0; i < depth; ++i) text += u"<a>";
    std::u16string closed = text;
    for (int i = 0; i < depth; ++i) closed += u"</a>";
    CXmlDocument doc;
    ASSERT_TRUE(doc.ParseText(closed));
    for (int i = 0; i < depth; ++i) {
        ASSERT_TRUE(doc.FindElement(u"a")) << i;
        ASSERT_TRUE(doc.EnterElement());
    }
    EXPECT_FALSE(doc.FindElement(u"a"));
    int up = 0;
    while (doc.LeaveElement()) ++up;
    EXPECT_EQ(up, depth);

    EXPECT_FALSE(doc.ParseText(text));
    EXPECT_TRUE(HasError(doc, "unended_start_tag"));
    // Many end tags that close nothing under a deep stack.
    std::u16string lone = text;
    for (int i = 0; i < depth; ++i) lone += u"</b>";
    EXPECT_FALSE(doc.ParseText(lone));
    EXPECT_TRUE(HasError(doc, "lone_end_tag"));
    // An end tag far down the stack closes all the elements above it.
    EXPECT_FALSE(doc.ParseText(u"<r>" + text + u"</r>"));
    ASSERT_TRUE(doc.FindElement(u"r"));
    EXPECT_FALSE(doc.FindElement(u"r"));
}

// Well-formed input of many small elements: the table holds them all and
// the cursor visits each one.
TEST(XmlDocumentTest, ManySiblings) {
    const int count = 100000;
    std::u16string text = u"<List Size=\"100000\">";
    for (int i = 0; i < count; ++i) text += u"<Item V=\"" + U16(std::to_string(i)) + u"\"/>";
    text += u"</List>";
    CXmlDocument doc;
    ASSERT_TRUE(doc.ParseText(text));
    ASSERT_TRUE(doc.FindElement(u"List"));
    const int size = doc.ReadIntAttribute(u"Size");
    ASSERT_TRUE(doc.EnterElement());
    for (int i = 0; i < size; ++i) {
        ASSERT_TRUE(doc.FindElement(u"Item"));
        ASSERT_EQ(doc.ReadIntAttribute(u"V"), i);
    }
    EXPECT_FALSE(doc.FindElement(u"Item"));
}

TEST(XmlDocumentTest, WritingRoundTrip) {
    CXmlDocument doc;
    doc.ParseText(nullptr);
    ASSERT_TRUE(doc.AppendElement(u"Root"));
    EXPECT_FALSE(doc.AppendElement(u"Second"));  // one top-level element only
    ASSERT_TRUE(doc.WriteAttribute(u"Name", u"a<b>&'c\""));
    ASSERT_TRUE(doc.WriteAttribute(u"Name", u"replaced <&>"));
    ASSERT_TRUE(doc.WriteAttribute(u"Min", INT32_MIN));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AppendElement(u"List"));
    ASSERT_TRUE(doc.WriteAttribute(u"Size", 3));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AppendElement(u"Item"));
    ASSERT_TRUE(doc.WriteAttribute(u"V", 1));
    ASSERT_TRUE(doc.AppendElement(u"Item"));
    ASSERT_TRUE(doc.WriteAttribute(u"V", 3));
    // Back to the first item: the next one goes between the two.
    doc.ResetPosition();
    ASSERT_TRUE(doc.FindElement(u"Item"));
    ASSERT_TRUE(doc.AppendElement(u"Item"));
    ASSERT_TRUE(doc.WriteAttribute(u"V", -2));
    ASSERT_TRUE(doc.WriteText(u"x < y && z > w"));
    ASSERT_TRUE(doc.LeaveElement());
    ASSERT_TRUE(doc.AppendElement(u"Text"));
    ASSERT_TRUE(doc.WriteText(u"first"));
    ASSERT_TRUE(doc.WriteText(u"second ]]> &amp;"));
    ASSERT_TRUE(doc.IsWellFormed());

    CXmlDocument read;
    ASSERT_TRUE(read.ParseText(doc.Text())) << U8(doc.Text());
    ASSERT_TRUE(read.FindElement(u"Root"));
    EXPECT_EQ(read.ReadAttribute(u"Name"), u"replaced <&>");
    EXPECT_EQ(read.ReadIntAttribute(u"Min"), INT32_MIN);
    ASSERT_TRUE(read.EnterElement());
    ASSERT_TRUE(read.FindElement(u"List"));
    const int size = read.ReadIntAttribute(u"Size");
    ASSERT_EQ(size, 3);
    ASSERT_TRUE(read.EnterElement());
    const int expected[] = {1, -2, 3};
    for (int i = 0; i < size; ++i) {
        ASSERT_TRUE(read.FindElement(u"Item"));
        EXPECT_EQ(read.ReadIntAttribute(u"V"), expected[i]);
    }
    ASSERT_TRUE(read.LeaveElement());
    ASSERT_TRUE(read.FindElement(u"Item") == false);
    ASSERT_TRUE(read.FindElement(u"Text"));
    EXPECT_EQ(read.ReadText(), u"second ]]> &amp;");
    read.ResetPosition();
    ASSERT_TRUE(read.FindElement(u"List"));
    ASSERT_TRUE(read.EnterElement());
    ASSERT_TRUE(read.FindElement(u"Item"));
    ASSERT_TRUE(read.FindElement(u"Item"));
    EXPECT_EQ(read.ReadText(), u"x < y && z > w");
    // The attribute was replaced, not added a second time.
    EXPECT_EQ(U8(doc.Text()).find("a&lt;b"), std::string::npos);
    EXPECT_NE(U8(doc.Text()).find("Name=\"replaced &lt;&amp;&gt;\""), std::string::npos);
}

TEST(XmlDocumentTest, WritingIntoExistingDocument) {
    CXmlDocument doc;
    ASSERT_TRUE(doc.ParseText(u"<?xml version=\"1.0\"?>\n<R>\n  <A/>\n  <B>old<C/></B>\n</R>\n"));
    ASSERT_TRUE(doc.FindElement(u"R"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement(u"A"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AppendElement(u"Inside"));  // <A/> gains an end tag
    ASSERT_TRUE(doc.LeaveElement());
    ASSERT_TRUE(doc.AppendElement(u"AfterA"));
    ASSERT_TRUE(doc.FindElement(u"B"));
    ASSERT_TRUE(doc.WriteText(u"new"));  // the child C goes with the old content
    ASSERT_TRUE(doc.WriteAttribute(u"K", u"v"));
    EXPECT_EQ(doc.ReadText(), u"new");
    EXPECT_EQ(doc.Text(),
              u"<?xml version=\"1.0\"?>\n<R>\n  <A><Inside/></A>\n  <AfterA/>\n  <B K=\"v\">new</B>\n</R>\n");
    // Writes need a main element and a usable name.
    doc.ResetPosition();
    EXPECT_FALSE(doc.WriteAttribute(u"K", u"v"));
    EXPECT_FALSE(doc.WriteText(u"t"));
    ASSERT_TRUE(doc.FindElement(u"B"));
    EXPECT_FALSE(doc.WriteAttribute(u"", u"v"));
    EXPECT_FALSE(doc.WriteAttribute(u"a b", u"v"));
    EXPECT_FALSE(doc.AppendElement(u""));
    EXPECT_FALSE(doc.AppendElement(u"x>y"));
    EXPECT_EQ(doc.ElementName(), u"B");
}

TEST(XmlDocumentTest, ReplacingTheDocumentResetsTheCursor) {
    CXmlDocument doc;
    ASSERT_TRUE(doc.ParseText(u"<R><A/></R>"));
    ASSERT_TRUE(doc.FindElement(u"R"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement(u"A"));
    ASSERT_TRUE(doc.ParseText(u"<S><A/></S>"));
    EXPECT_EQ(doc.ElementName(), u"");
    EXPECT_FALSE(doc.FindElement(u"A"));  // back at the top level
    EXPECT_TRUE(doc.FindElement(u"S"));
}

}  // namespace

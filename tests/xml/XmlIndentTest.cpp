#include "xml/XmlIndent.h"

#include <gtest/gtest.h>

#include "xml/XmlDocument.h"

using namespace libMorvaneClassifier;

namespace {

struct IndentCase {
    const char16_t* in;
    const char16_t* out;
};

TEST(XmlIndent, PutsEachElementOnItsOwnLine) {
    const IndentCase cases[] = {
        // One line of nested elements becomes one element per line.
        {u"<?xml version=\"1.0\"?>\n<A x=\"1\"><B><C/><C y=\"a>b\"/></B></A>",
         u"<?xml version=\"1.0\"?>\n<A x=\"1\">\n  <B>\n    <C/>\n    <C y=\"a>b\"/>\n  </B>\n</A>"},
        // Text content, even blank, stays as it was.
        {u"<L><S>a.xml</S><S> </S><S></S></L>", u"<L>\n  <S>a.xml</S>\n  <S> </S>\n  <S></S>\n</L>"},
        // Comments take their place in the indentation; existing layout is
        // replaced by the canonical one.
        {u"<A>\n\t\t<!-- note -->\n<B/>\n</A>\n", u"<A>\n  <!-- note -->\n  <B/>\n</A>\n"},
        // Already indented text is unchanged.
        {u"<A>\n  <B/>\n</A>", u"<A>\n  <B/>\n</A>"},
        // Not well-formed: returned unchanged.
        {u"<A><B></A></B></A>", u"<A><B></A></B></A>"},
        {u"<A><B", u"<A><B"},
        {u"", u""},
    };
    for (const IndentCase& c : cases)
        EXPECT_EQ(IndentXmlText(c.in), std::u16string(c.out)) << "case " << (&c - cases);
}

TEST(XmlIndent, DocumentReadsTheSame) {
    const std::u16string text =
        u"<SubTemplate Index=\"3\" ID=\"X\"><FilterInfoList Size=\"1\"><FilterInfo RefFilter=\"1\">"
        u"<TextLine Text=\"I&lt;UTO\"/><Name>a &amp; b</Name></FilterInfo></FilterInfoList></SubTemplate>";
    CXmlDocument a, b;
    ASSERT_TRUE(a.ParseText(text));
    ASSERT_TRUE(b.ParseText(IndentXmlText(text)));
    ASSERT_NE(IndentXmlText(text), text);
    for (CXmlDocument* d : {&a, &b}) {
        ASSERT_TRUE(d->FindElement(u"SubTemplate"));
        ASSERT_TRUE(d->EnterElement() && d->FindElement(u"FilterInfoList") && d->EnterElement());
        ASSERT_TRUE(d->FindElement(u"FilterInfo") && d->EnterElement());
    }
    ASSERT_TRUE(a.FindElement(u"TextLine") && b.FindElement(u"TextLine"));
    EXPECT_EQ(a.ReadAttribute(u"Text"), u"I<UTO");
    EXPECT_EQ(b.ReadAttribute(u"Text"), a.ReadAttribute(u"Text"));
    ASSERT_TRUE(a.FindElement(u"Name") && b.FindElement(u"Name"));
    EXPECT_EQ(b.ReadText(), u"a & b");
}

}  // namespace

#include <gtest/gtest.h>

#include "xml/XmlDocument.h"

using namespace libMorvaneClassifier;

namespace {

struct RemoveCase {
    const char16_t* in;
    const char16_t* name;  // the child of the root to remove (the first so named)
    const char16_t* out;
    const char16_t* next;  // the element FindNextElement finds afterwards ("" = none)
};

TEST(XmlRemoveElement, RemovesTheElementAndItsLine) {
    const RemoveCase cases[] = {
        {u"<A>\n  <B/>\n  <C x=\"1\">\n    <D/>\n  </C>\n  <E/>\n</A>", u"C", u"<A>\n  <B/>\n  <E/>\n</A>",
         u"E"},
        {u"<A>\n  <B/>\n  <C/>\n</A>", u"B", u"<A>\n  <C/>\n</A>", u"C"},
        {u"<A>\n  <B/>\n  <C/>\n</A>", u"C", u"<A>\n  <B/>\n</A>", u""},
        // Not on a line of its own: only the element goes.
        {u"<A><B/><C>t</C><E/></A>", u"C", u"<A><B/><E/></A>", u"E"},
        {u"<A>\n  <B/> <C/>\n</A>", u"C", u"<A>\n  <B/> \n</A>", u""},
    };
    for (const RemoveCase& c : cases) {
        CXmlDocument xml;
        ASSERT_TRUE(xml.ParseText(c.in));
        ASSERT_TRUE(xml.FindElement(u"A") && xml.EnterElement() && xml.FindElement(c.name));
        ASSERT_TRUE(xml.RemoveElement());
        EXPECT_EQ(xml.Text(), std::u16string(c.out)) << "case " << (&c - cases);
        EXPECT_TRUE(xml.IsWellFormed());
        const bool found = xml.FindNextElement();
        EXPECT_EQ(found ? xml.ElementName() : std::u16string(), std::u16string(c.next))
            << "case " << (&c - cases);
    }
}

TEST(XmlRemoveElement, NeedsAMainElement) {
    CXmlDocument xml;
    ASSERT_TRUE(xml.ParseText(u"<A><B/></A>"));
    EXPECT_FALSE(xml.RemoveElement());
    ASSERT_TRUE(xml.FindElement(u"A") && xml.EnterElement());
    EXPECT_FALSE(xml.RemoveElement());
    EXPECT_EQ(xml.Text(), u"<A><B/></A>");
}

}  // namespace

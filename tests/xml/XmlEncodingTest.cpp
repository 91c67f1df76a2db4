// How file bytes become document text and how text is written back.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdio>
#include <set>
#include <string>

#include "XmlTestUtil.h"
#include "core/TextConv.h"
#include "xml/XmlDocument.h"
#include "xml/XmlEncoding.h"

using libMorvaneClassifier::CXmlDocument;
using libMorvaneClassifier::Utf8ToUtf16;
using namespace xmltest;
namespace xmlenc = libMorvaneClassifier::xmlenc;

namespace {

struct FixtureCase {
    const char* file;
    const char16_t* encoding;
    bool byteOrderMark;
};

class XmlFixtureTest : public ::testing::TestWithParam<FixtureCase> {};

// Every fixture holds the same template-like document in another encoding.
TEST_P(XmlFixtureTest, ReadsTheSameDocument) {
    const FixtureCase& c = GetParam();
    CXmlDocument doc;
    ASSERT_TRUE(doc.Load(DataPath16(c.file))) << c.file;
    EXPECT_EQ(doc.Encoding(), std::u16string(c.encoding));
    EXPECT_EQ(doc.HadByteOrderMark(), c.byteOrderMark);
    ASSERT_TRUE(doc.FindElement(u"SubTemplate"));
    EXPECT_EQ(U8(doc.ReadAttribute(u"Name")), "身份证");
    EXPECT_EQ(doc.ReadIntAttribute(u"ID"), 12);
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement(u"AnchorList"));
    EXPECT_EQ(doc.ReadIntAttribute(u"Size"), 2);
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement(u"Anchor"));
    EXPECT_EQ(doc.ReadIntAttribute(u"Left"), 100);
    ASSERT_TRUE(doc.FindElement(u"Anchor"));
    EXPECT_EQ(doc.ReadIntAttribute(u"Top"), -4);
    EXPECT_FALSE(doc.FindElement(u"Anchor"));
    ASSERT_TRUE(doc.LeaveElement());
    ASSERT_TRUE(doc.FindElement(u"Title"));
    EXPECT_EQ(U8(doc.ReadText()), "居民身份证 & <A>");
}

// Saving an unchanged loaded document reproduces the file byte for byte:
// same encoding, same byte-order mark.
TEST_P(XmlFixtureTest, SavesInTheLoadedEncoding) {
    const FixtureCase& c = GetParam();
    CXmlDocument doc;
    ASSERT_TRUE(doc.Load(DataPath16(c.file)));
    const std::string out = TempPath(std::string("resave_") + c.file);
    ASSERT_TRUE(doc.Save(U16(out)));
    EXPECT_EQ(ReadBytes(out), ReadBytes(DataPath(c.file)));
    std::remove(out.c_str());
}

// A change survives a save and a new load in the same encoding.
TEST_P(XmlFixtureTest, ChangedDocumentRoundTrips) {
    const FixtureCase& c = GetParam();
    CXmlDocument doc;
    ASSERT_TRUE(doc.Load(DataPath16(c.file)));
    ASSERT_TRUE(doc.FindElement(u"SubTemplate"));
    ASSERT_TRUE(doc.WriteAttribute(u"Name", U16("护照 <&>")));
    const std::string out = TempPath(std::string("changed_") + c.file);
    ASSERT_TRUE(doc.Save(U16(out)));
    CXmlDocument again;
    ASSERT_TRUE(again.Load(U16(out)));
    EXPECT_EQ(again.Encoding(), std::u16string(c.encoding));
    EXPECT_EQ(again.HadByteOrderMark(), c.byteOrderMark);
    ASSERT_TRUE(again.FindElement(u"SubTemplate"));
    EXPECT_EQ(U8(again.ReadAttribute(u"Name")), "护照 <&>");
    std::remove(out.c_str());
}

INSTANTIATE_TEST_SUITE_P(Encodings, XmlFixtureTest,
                         ::testing::Values(FixtureCase{"utf8.xml", u"UTF-8", false},
                                           // The mark wins over the declared ISO-8859-1.
                                           FixtureCase{"utf8_bom.xml", u"UTF-8", true},
                                           FixtureCase{"utf16le_bom.xml", u"UTF-16LE", true},
                                           FixtureCase{"utf16be_bom.xml", u"UTF-16BE", true},
                                           FixtureCase{"utf16le.xml", u"UTF-16LE", false},
                                           FixtureCase{"utf16be.xml", u"UTF-16BE", false},
                                           FixtureCase{"gb2312.xml", u"GB2312", false},
                                           // GBK bytes, no declaration, white space first.
                                           FixtureCase{"ansi.xml", u"", false}),
                         [](const ::testing::TestParamInfo<FixtureCase>& info) {
                             std::string name = info.param.file;
                             return name.substr(0, name.find('.'));
                         });

struct BytesCase {
    const char* label;
    std::string bytes;
    const char16_t* encoding;
    const char* value;  // the A attribute of the root, UTF-8
};

class XmlBytesTest : public ::testing::TestWithParam<BytesCase> {};

TEST_P(XmlBytesTest, DecodesAttribute) {
    const BytesCase& c = GetParam();
    CXmlDocument doc;
    EXPECT_TRUE(doc.LoadFromBytes(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()));
    EXPECT_EQ(doc.Encoding(), std::u16string(c.encoding));
    ASSERT_TRUE(doc.FindElement(u"R"));
    EXPECT_EQ(U8(doc.ReadAttribute(u"A")), c.value);
}

const std::string kNul(1, '\0');

// A byte string literal with its embedded zero bytes.
template <size_t N>
std::string Bytes(const char (&s)[N]) {
    return std::string(s, N - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Detection, XmlBytesTest,
    ::testing::Values(
        BytesCase{"BomBeatsDeclaration",
                  "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><R A=\"\xC3\xA9\"/>", u"UTF-8",
                  "é"},
        // Starts with '<': UTF-8 even when a byte is not valid UTF-8.
        BytesCase{"LessThanFirstIsUtf8", "<R A=\"caf\xE9\"/>", u"UTF-8", "caf\xEF\xBF\xBD"},
        // Starts with white space, E9 alone: the ANSI code page.
        BytesCase{"WhiteSpaceFirstIsAnsi", " <R A=\"\xD6\xD0\xE9\"/>", u"", "中\xEF\xBF\xBD"},
        BytesCase{"WhiteSpaceFirstValidUtf8", "\n<R A=\"\xC3\xA9\"/>", u"UTF-8", "é"},
        BytesCase{"DeclaredLatin1", "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><R A=\"\xE9\xFF\"/>",
                  u"iso-8859-1", "éÿ"},
        BytesCase{"DeclaredWindows1252", "<?xml version='1.0' encoding='windows-1252'?><R A=\"\x80\x93\"/>",
                  u"windows-1252", "€“"},
        BytesCase{"DeclaredShiftJis",
                  "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><R A=\"\x93\xFA\x96\x7B\"/>", u"Shift_JIS",
                  "日本"},
        BytesCase{"DeclaredBig5", "<?xml version=\"1.0\" encoding=\"big5\"?><R A=\"\xA4\xA4\xA4\xE5\"/>",
                  u"big5", "中文"},
        BytesCase{"DeclaredAscii", "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><R A=\"ok\"/>", u"US-ASCII",
                  "ok"},
        BytesCase{"HtmlMetaContentType",
                  "<R A=\"\xD6\xD0\"><head><meta http-equiv=\"content-type\" content=\"text/html; "
                  "charset=gb2312\"/>"
                  "</head></R>",
                  u"gb2312", "中"},
        // The declaration does not fit but the bytes are valid UTF-8.
        BytesCase{"WrongDeclarationValidUtf8",
                  "<?xml version=\"1.0\" encoding=\"GB2312\"?><R A=\"\xE2\x82\xAC\"/>", u"UTF-8", "€"},
        // Neither fits: the declared encoding with a replacement character.
        BytesCase{"WrongDeclarationInvalidBoth",
                  "<?xml version=\"1.0\" encoding=\"GB2312\"?><R A=\"\xD6\xD0\xFF\"/>", u"GB2312",
                  "中\xEF\xBF\xBD"},
        BytesCase{"UnknownDeclarationIsUtf8",
                  "<?xml version=\"1.0\" encoding=\"x-no-such\"?><R A=\"\xC3\xA9\"/>", u"UTF-8", "é"},
        // A UTF-16 declaration on single bytes: the bytes decide.
        BytesCase{"Utf16DeclarationOnNarrowBytes",
                  "<?xml version=\"1.0\" encoding=\"UTF-16\"?><R A=\"\xC3\xA9\"/>", u"UTF-8", "é"},
        BytesCase{"ZeroBytesDropped", "<R A=\"a" + kNul + "b" + kNul + "\"/>" + kNul, u"UTF-8", "ab"},
        // Zero bytes in the declaration and between the two bytes of a
        // character are dropped before the declaration is read and the
        // bytes are decoded.
        BytesCase{"ZeroBytesInGb2312Declaration",
                  "<?xml version=\"1.0\" encoding=\"GB" + kNul + "2312\"?>" + kNul + "<R A=\"\xD6" + kNul +
                      "\xD0\xCE\xC4\"/>",
                  u"GB2312", "中文"},
        BytesCase{"ZeroUnitsDroppedUtf16", Bytes("\xFF\xFE<\0R\0 \0A\0=\0\"\0a\0\0\0b\0\"\0/\0>\0"),
                  u"UTF-16LE", "ab"},
        BytesCase{"Utf16BeWithoutMarkAfterBlank", Bytes("\0 \0<\0R\0 \0A\0=\0\"\x4E\x2D\0\"\0/\0>"),
                  u"UTF-16BE", "中"}),
    [](const ::testing::TestParamInfo<BytesCase>& info) { return std::string(info.param.label); });

TEST(XmlEncodingTest, CharsetNamesMapToCodePages) {
    const struct {
        const char* name;
        int codePage;
    } cases[] = {
        {"utf-8", 65001},       {"UTF-8", 65001},
        {" utf8 ", 65001},      {"iso-8859-1", 28591},
        {"Latin1", 28591},      {"windows-1252", 1252},
        {"cp1252", 1252},       {"shift_jis", 932},
        {"SJIS", 932},          {"gb2312", 936},
        {"GBK", 936},           {"big5", 950},
        {"us-ascii", 20127},    {"ascii", 20127},
        {"euc-kr", 51949},      {"ks_c_5601-1987", 949},
        {"koi8-r", 20866},      {"iso-8859-15", 28605},
        {"gb18030", 54936},     {"utf-16", 1200},
        {"utf-16be", 1201},     {"euc-jp", 51932},
        {"iso-2022-jp", 50220}, {"ibm437", 437},
        {"x-no-such", 0},       {"", 0},
        {"utf-8x", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(xmlenc::CodePageOfCharset(std::string(c.name)), c.codePage) << c.name;
    EXPECT_EQ(xmlenc::CodePageOfCharset(std::u16string(u"Windows-1251")), 1251);
    EXPECT_EQ(xmlenc::CodePageOfCharset(std::u16string(u"utf\u00E9")), 0);
}

TEST(XmlEncodingTest, CharsetTableIsLowerCaseWithoutDuplicates) {
    std::set<std::string> seen;
    ASSERT_GT(xmlenc::CharsetTableSize(), 300u);
    for (size_t i = 0; i < xmlenc::CharsetTableSize(); ++i) {
        const std::string name = xmlenc::CharsetTableName(i);
        EXPECT_TRUE(seen.insert(name).second) << "duplicate " << name;
        for (char ch : name) EXPECT_FALSE(ch >= 'A' && ch <= 'Z') << name;
        EXPECT_GT(xmlenc::CharsetTableCodePage(i), 0) << name;
    }
}

// The code pages documents commonly declare have a working converter.
TEST(XmlEncodingTest, CommonCodePagesHaveConverters) {
    const int codePages[] = {437,   850,   866,   874,   932,   936,   949,   950,   1250,  1251,  1252,
                             1253,  1254,  1255,  1256,  1257,  1258,  20127, 20866, 21866, 28591, 28592,
                             28595, 28597, 28599, 28605, 50220, 51932, 51936, 51949, 54936, 10000};
    for (int cp : codePages) {
        const char* names[] = {xmlenc::IconvNameOfCodePage(cp), xmlenc::IconvAlternativeNameOfCodePage(cp)};
        bool opened = false;
        for (const char* name : names) {
            if (!name) continue;
            iconv_t cd = iconv_open("UTF-16LE", name);
            if (cd != reinterpret_cast<iconv_t>(-1)) {
                iconv_close(cd);
                opened = true;
                break;
            }
        }
        EXPECT_TRUE(opened) << cp;
    }
}

TEST(XmlEncodingTest, Utf8ValidityTest) {
    const struct {
        std::string bytes;
        bool valid;
    } cases[] = {
        {"", true},
        {"plain ascii text that is longer than eight bytes", true},
        {"\xC3\xA9", true},
        {"\xE4\xB8\xAD", true},
        {"\xF0\x9F\x98\x80", true},
        {"\xE9", false},                  // lead byte alone at the end
        {"\xE9 x", false},                // missing continuation byte
        {"\xF8\x88\x80\x80\x80", false},  // 11111xxx lead byte
        {"\x80", false},                  // stray continuation byte
        {"\xC0\xAF", false},              // overlong
        {"\xED\xA0\x80", false},          // surrogate
        {"\xF4\x90\x80\x80", false},      // above U+10FFFF
        {"abcdefgh\xC3", false},          // truncated after a fast-path block
    };
    for (const auto& c : cases)
        EXPECT_EQ(xmlenc::IsValidUtf8(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()),
                  c.valid)
            << c.bytes;
}

// Both UTF-8 readers (documents and the platform's text conversion) turn
// overlong forms, encoded surrogates and values above U+10FFFF into one
// replacement character each, never into the character they would smuggle.
TEST(XmlEncodingTest, Utf8ReadersRefuseOverlongAndSurrogateForms) {
    const struct {
        std::string bytes;
        std::u16string text;
    } cases[] = {
        {"a\xC3\xA9", u"a\u00E9"},       {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xC0\xAF", u"\uFFFD"},          // '/' in two bytes
        {"\xC1\xBF", u"\uFFFD"},          // U+7F in two bytes
        {"\xE0\x80\xAF", u"\uFFFD"},      // '/' in three bytes
        {"\xE0\x9F\xBF", u"\uFFFD"},      // U+7FF in three bytes
        {"\xF0\x80\x80\xAF", u"\uFFFD"},  // '/' in four bytes
        {"\xF0\x8F\xBF\xBF", u"\uFFFD"},  // U+FFFF in four bytes
        {"\xED\xA0\x80", u"\uFFFD"},      // high surrogate D800
        {"\xED\xBF\xBF", u"\uFFFD"},      // low surrogate DFFF
        {"\xED\x9F\xBF", u"\uD7FF"},      // just below the surrogates
        {"\xF4\x90\x80\x80", u"\uFFFD"},  // above U+10FFFF
    };
    for (const auto& c : cases) {
        std::u16string decoded;
        xmlenc::DecodeUtf8(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size(), decoded);
        EXPECT_EQ(decoded, c.text) << "document reader: " << c.bytes;
        EXPECT_EQ(Utf8ToUtf16(c.bytes), c.text) << "text conversion: " << c.bytes;
    }
}

TEST(XmlEncodingTest, DeclaredEncodingOfText) {
    EXPECT_EQ(xmlenc::DeclaredEncodingOfText(u"<?xml version=\"1.0\" encoding = 'GBK' ?><a/>"), u"GBK");
    EXPECT_EQ(xmlenc::DeclaredEncodingOfText(u"  <?xml version=\"1.0\"?><a encoding=\"x\"/>"), u"");
    EXPECT_EQ(xmlenc::DeclaredEncodingOfText(u"<a/><?xml version=\"1.0\" encoding=\"GBK\"?>"), u"");
    EXPECT_EQ(xmlenc::DeclaredEncodingOfText(u"<html><meta charset=\"big5\"></html>"), u"big5");
}

// A document that was never loaded is saved in its declared encoding,
// else in UTF-8, without a byte-order mark.
TEST(XmlEncodingTest, NeverLoadedDocumentSavesInDeclaredEncoding) {
    const struct {
        const char16_t* text;
        std::string bytes;
    } cases[] = {
        {u"<?xml version=\"1.0\" encoding=\"windows-1252\"?><R A=\"\u00E9\u20AC\"/>",
         "<?xml version=\"1.0\" encoding=\"windows-1252\"?><R A=\"\xE9\x80\"/>"},
        {u"<?xml version=\"1.0\" encoding=\"GB2312\"?><R A=\"\u4E2D\"/>",
         "<?xml version=\"1.0\" encoding=\"GB2312\"?><R A=\"\xD6\xD0\"/>"},
        {u"<R A=\"\u00E9\"/>", "<R A=\"\xC3\xA9\"/>"},
    };
    for (const auto& c : cases) {
        CXmlDocument doc;
        ASSERT_TRUE(doc.ParseText(c.text));
        const std::string out = TempPath("declared.xml");
        ASSERT_TRUE(doc.Save(U16(out)));
        EXPECT_EQ(ReadBytes(out), c.bytes);
        std::remove(out.c_str());
    }
}

// A character the target encoding lacks is written as a character
// reference, so reading the file back gives it again.
TEST(XmlEncodingTest, UnrepresentableCharacterBecomesReference) {
    CXmlDocument doc;
    ASSERT_TRUE(
        doc.ParseText(u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><R A=\"\u00E9\u4E2D\U0001F600\"/>"));
    const std::string out = TempPath("latin1.xml");
    ASSERT_TRUE(doc.Save(U16(out)));
    EXPECT_EQ(ReadBytes(out),
              "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><R A=\"\xE9&#20013;&#128512;\"/>");
    CXmlDocument again;
    ASSERT_TRUE(again.Load(U16(out)));
    ASSERT_TRUE(again.FindElement(u"R"));
    EXPECT_EQ(again.ReadAttribute(u"A"), u"\u00E9\u4E2D\U0001F600");
    std::remove(out.c_str());
}

TEST(XmlEncodingTest, LoadFailsWithoutFile) {
    CXmlDocument doc;
    EXPECT_FALSE(doc.Load(DataPath16("no_such_file.xml")));
    EXPECT_FALSE(doc.Load(u""));
    EXPECT_FALSE(doc.Load(DataPath16("")));  // a directory
    EXPECT_FALSE(doc.FindElement(u"SubTemplate"));
    EXPECT_FALSE(doc.Save(u""));
}

TEST(XmlEncodingTest, NotWellFormedFileFailsButKeepsText) {
    CXmlDocument doc;
    EXPECT_FALSE(doc.Load(DataPath16("unclosed_root.xml")));
    EXPECT_FALSE(doc.IsWellFormed());
    EXPECT_NE(U8(doc.Text()).find("<SubTemplate Name=\"x\">"), std::string::npos);
}

}  // namespace

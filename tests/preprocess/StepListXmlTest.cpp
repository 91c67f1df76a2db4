// Reading and writing step lists as XML.
#include <gtest/gtest.h>

#include <string>

#include "core/TextConv.h"
#include "preprocess/ImageProcessingList.h"
#include "preprocess/PreprocessTestUtil.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {
namespace {

using test::Params;
using test::ParamsOf;

std::u16string DataPath(const char* name) {
    return Utf8ToUtf16(std::string(MORVANE_TEST_DIR) + "/preprocess/data/" + name);
}

// Loads a fixture and places the cursor among the children of its root, as
// an owner does before reading its parts.
void OpenOwner(CXmlDocument& xml, const char* name) {
    ASSERT_TRUE(xml.Load(DataPath(name))) << name;
    ASSERT_TRUE(xml.FindElement(u"Owner"));
    ASSERT_TRUE(xml.EnterElement());
}

void ParseOwner(CXmlDocument& xml, const std::u16string& text) {
    ASSERT_TRUE(xml.ParseText(text));
    ASSERT_TRUE(xml.FindElement(u"Owner"));
    ASSERT_TRUE(xml.EnterElement());
}

// Writes list inside a fresh <Owner/> and returns the document text.
std::u16string WriteOwner(const CImageProcessingList& list) {
    CXmlDocument out;
    EXPECT_TRUE(out.ParseText(u"<Owner/>"));
    EXPECT_TRUE(out.FindElement(u"Owner"));
    EXPECT_TRUE(out.EnterElement());
    EXPECT_TRUE(list.Write(out));
    return out.Text();
}

TEST(StepListXml, ReadsEveryStepType) {
    CXmlDocument xml;
    OpenOwner(xml, "all_steps.xml");
    CImageProcessingList list;
    ASSERT_TRUE(list.Read(xml));
    ASSERT_EQ(list.GetCount(), 6);
    const Params expected[] = {
        {{u"ColorToGray", 8, 0}, {u"ColorFilter", 22, 4}},
        {{u"GrayToBin", 8, 0}, {u"Method", 75, 3}, {u"BlockNum", 22, 5}},
        {{u"EraseBlackEdge", 8, 0},
         {u"Method", 22, 0},
         {u"Threshold", 22, 90},
         {u"GrayType", 22, 2},
         {u"BinaryType", 75, 1}},
        {{u"TiltCorrection", 8, 0},
         {u"IsOriginalSize", 11, 0},
         {u"FillColor", 22, 7},
         {u"MinAngle", 22, 2},
         {u"MaxAngle", 22, 9},
         {u"GrayType", 22, 3},
         {u"BinaryType", 75, 4}},
        {},
        {{u"TiltCorrection", 8, 0},
         {u"IsOriginalSize", 11, 7},
         {u"FillColor", 22, 0},
         {u"MinAngle", 22, -3},
         {u"MaxAngle", 22, 12},
         {u"GrayType", 22, 1},
         {u"BinaryType", 75, 2}},
    };
    const int32_t types[] = {1, 2, 3, 8, 9, 8};
    for (int32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(list.GetItem(i)->type, types[i]) << i;
        EXPECT_EQ(ParamsOf(*list.GetItem(i)), expected[i]) << i;
    }
    // The cursor is back among the owner's parts.
    EXPECT_TRUE(xml.FindElement(u"After"));
    EXPECT_EQ(xml.ReadAttribute(u"Mark"), u"yes");
}

TEST(StepListXml, AbsentAttributesReadZeroAndMissingElementsKeepDefaults) {
    CXmlDocument xml;
    OpenOwner(xml, "partial_attributes.xml");
    CImageProcessingList list;
    ASSERT_TRUE(list.Read(xml));
    ASSERT_EQ(list.GetCount(), 6);
    const Params expected[] = {
        {{u"GrayToBin", 8, 0}, {u"Method", 75, 5}, {u"BlockNum", 22, 0}},
        {{u"EraseBlackEdge", 8, 0},
         {u"Method", 22, 0},
         {u"Threshold", 22, 0},
         {u"GrayType", 22, 0},
         {u"BinaryType", 75, 0}},
        {{u"TiltCorrection", 8, 0},
         {u"IsOriginalSize", 11, 7},
         {u"FillColor", 22, 12},
         {u"MinAngle", 22, -12},
         {u"MaxAngle", 22, 4},
         {u"GrayType", 22, 0},
         {u"BinaryType", 75, 0}},
        {{u"GrayToBin", 8, 0}, {u"Method", 75, 6}, {u"BlockNum", 22, 1}},
        {{u"TiltCorrection", 8, 0},
         {u"IsOriginalSize", 11, 1},
         {u"FillColor", 22, 1},
         {u"MinAngle", 22, 1},
         {u"MaxAngle", 22, 5},
         {u"GrayType", 22, 0},
         {u"BinaryType", 75, 6}},
        {{u"ColorToGray", 8, 0}, {u"ColorFilter", 22, 11}},
    };
    for (int32_t i = 0; i < 6; ++i) EXPECT_EQ(ParamsOf(*list.GetItem(i)), expected[i]) << i;
}

TEST(StepListXml, UnknownTypeFailsTheWholeList) {
    CXmlDocument xml;
    OpenOwner(xml, "unknown_type.xml");
    CImageProcessingList list;
    list.Append(CreateImageProcessingInfo(1));  // whatever was held before goes
    EXPECT_FALSE(list.Read(xml));
    EXPECT_EQ(list.GetCount(), 0);
    // The owner can still read the parts after the list.
    EXPECT_TRUE(xml.FindElement(u"After"));
    EXPECT_EQ(xml.ReadAttribute(u"Mark"), u"yes");

    CXmlDocument again;
    OpenOwner(again, "unknown_type.xml");
    EXPECT_EQ(ReadImageProcessingList(again), nullptr);
    EXPECT_TRUE(again.FindElement(u"After"));
}

TEST(StepListXml, ShortListHoldsTheStepsThatAreThere) {
    CXmlDocument xml;
    OpenOwner(xml, "short_list.xml");
    auto list = ReadImageProcessingList(xml);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->GetCount(), 2);
    EXPECT_EQ(list->GetItem(0)->type, 1);
    EXPECT_EQ(list->GetItem(1)->type, 2);
    EXPECT_EQ(static_cast<CGrayToBinInfo*>(list->GetItem(1))->blockNum, 2);
    EXPECT_TRUE(xml.FindElement(u"After"));
}

TEST(StepListXml, EmptyForms) {
    struct Case {
        const char16_t* text;
        bool ok;
    } cases[] = {
        {u"<Owner><Other/></Owner>", true},
        {u"<Owner/>", true},
        {u"<Owner><ImageProcessingList Size=\"0\"><ImageProcessing "
         u"Type=\"1\"/></ImageProcessingList></Owner>",
         true},
        {u"<Owner><ImageProcessingList Size=\"-2\"><ImageProcessing "
         u"Type=\"1\"/></ImageProcessingList></Owner>",
         true},
        {u"<Owner><ImageProcessingList><ImageProcessing Type=\"1\"/></ImageProcessingList></Owner>", true},
        {u"<Owner><ImageProcessingList Size=\"two\"><ImageProcessing "
         u"Type=\"1\"/></ImageProcessingList></Owner>",
         true},
        {u"<Owner><ImageProcessingList Size=\"2\"></ImageProcessingList></Owner>", true},
        // declared sizes above the limit are malformed
        {u"<Owner><ImageProcessingList Size=\"100001\"><ImageProcessing "
         u"Type=\"1\"/></ImageProcessingList></Owner>",
         false},
        {u"<Owner><ImageProcessingList Size=\"2147483647\"/></Owner>", false},
        {u"<Owner><ImageProcessingList Size=\"99999999999\"/></Owner>", false},
        // a type-less step reads as type 0, which has no record
        {u"<Owner><ImageProcessingList Size=\"1\"><ImageProcessing/></ImageProcessingList></Owner>", false},
    };
    for (const auto& c : cases) {
        CXmlDocument xml;
        ParseOwner(xml, c.text);
        CImageProcessingList list;
        list.Append(CreateImageProcessingInfo(2));
        EXPECT_EQ(list.Read(xml), c.ok) << Utf16ToUtf8(c.text);
        EXPECT_EQ(list.GetCount(), 0) << Utf16ToUtf8(c.text);
    }
}

TEST(StepListXml, LargestDeclaredSizeIsAccepted) {
    CXmlDocument xml;
    ParseOwner(xml,
               u"<Owner><ImageProcessingList Size=\"100000\"><ImageProcessing Type=\"9\"/>"
               u"<ImageProcessing Type=\"8\"/></ImageProcessingList></Owner>");
    CImageProcessingList list;
    ASSERT_TRUE(list.Read(xml));
    EXPECT_EQ(list.GetCount(), 2);
}

TEST(StepListXml, OnlyDeclaredNumberOfStepsIsRead) {
    CXmlDocument xml;
    ParseOwner(
        xml,
        u"<Owner><ImageProcessingList Size=\"2\"><ImageProcessing Type=\"1\"/><ImageProcessing Type=\"2\"/>"
        u"<ImageProcessing Type=\"5\"/></ImageProcessingList></Owner>");
    CImageProcessingList list;
    ASSERT_TRUE(list.Read(xml));
    EXPECT_EQ(list.GetCount(), 2);
}

// Every record reads back equal after Write.
TEST(StepListXml, RoundTrip) {
    for (const char* name : {"all_steps.xml", "partial_attributes.xml", "short_list.xml"}) {
        CXmlDocument xml;
        OpenOwner(xml, name);
        CImageProcessingList first;
        ASSERT_TRUE(first.Read(xml)) << name;
        const std::u16string written = WriteOwner(first);

        CXmlDocument back;
        ParseOwner(back, written);
        CImageProcessingList second;
        ASSERT_TRUE(second.Read(back)) << name;
        ASSERT_EQ(second.GetCount(), first.GetCount()) << name;
        for (int32_t i = 0; i < first.GetCount(); ++i) {
            EXPECT_EQ(second.GetItem(i)->type, first.GetItem(i)->type) << name << " " << i;
            EXPECT_EQ(ParamsOf(*second.GetItem(i)), ParamsOf(*first.GetItem(i))) << name << " " << i;
        }
        // Writing the copy again gives the same text.
        EXPECT_EQ(WriteOwner(second), written) << name;
    }
}

TEST(StepListXml, WrittenFormHasEveryAttributeAndType8ForType12) {
    CXmlDocument xml;
    OpenOwner(xml, "all_steps.xml");
    CImageProcessingList list;
    ASSERT_TRUE(list.Read(xml));
    CXmlDocument out;
    ParseOwner(out, WriteOwner(list));
    ASSERT_TRUE(out.FindElement(u"ImageProcessingList"));
    EXPECT_EQ(out.ReadAttribute(u"Size"), u"6");
    ASSERT_TRUE(out.EnterElement());
    const char16_t* types[] = {u"1", u"2", u"3", u"8", u"9", u"8"};
    for (const char16_t* t : types) {
        ASSERT_TRUE(out.FindElement(u"ImageProcessing"));
        EXPECT_EQ(out.ReadAttribute(u"Type"), t);
    }
    // The last step was read from Type 12 and carries its own parameters.
    ASSERT_TRUE(out.EnterElement());
    ASSERT_TRUE(out.FindElement(u"TiltCorrection"));
    EXPECT_EQ(out.ReadAttribute(u"MinAngle"), u"-3");
    EXPECT_EQ(out.ReadAttribute(u"IsOriginalSize"), u"7");

    // Attributes absent from the file are written with the value read (0).
    CXmlDocument partial;
    OpenOwner(partial, "partial_attributes.xml");
    CImageProcessingList plist;
    ASSERT_TRUE(plist.Read(partial));
    CXmlDocument pout;
    ParseOwner(pout, WriteOwner(plist));
    ASSERT_TRUE(pout.FindElement(u"ImageProcessingList"));
    ASSERT_TRUE(pout.EnterElement());
    ASSERT_TRUE(pout.FindElement(u"ImageProcessing"));
    ASSERT_TRUE(pout.EnterElement());
    ASSERT_TRUE(pout.FindElement(u"GrayToBin"));
    EXPECT_EQ(pout.ReadAttribute(u"Method"), u"5");
    EXPECT_EQ(pout.ReadAttribute(u"BlockNum"), u"0");
}

TEST(StepListXml, EmptyListWritesNothing) {
    CXmlDocument out;
    ASSERT_TRUE(out.ParseText(u"<Owner><Keep/></Owner>"));
    const std::u16string before = out.Text();
    ASSERT_TRUE(out.FindElement(u"Owner"));
    ASSERT_TRUE(out.EnterElement());
    CImageProcessingList empty;
    EXPECT_TRUE(empty.Write(out));
    EXPECT_EQ(out.Text(), before);
}

}  // namespace
}  // namespace libMorvaneClassifier

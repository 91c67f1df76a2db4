#include <gtest/gtest.h>

#include "CpuStopwatch.h"
#include "layout/CharLocation.h"
#include "layout/LineLocation.h"
#include "preprocess/ImageProcessingInfo.h"
#include "xml/XmlDocument.h"

using morvane::test::CpuStopwatch;

namespace libMorvaneClassifier {
namespace {

const char16_t kLineXml[] =
    u"<Holder><LineLocation MinNum=\"1\" MaxNum=\"4\" MinLength=\"100\" MaxLength=\"9000\" MinHeight=\"50\" "
    u"MaxHeight=\"800\" MinSpace=\"10\" MaxSpace=\"400\" LeftPlus=\"-3\" RightPlus=\"4\" TopPlus=\"-5\" "
    u"BottomPlus=\"6\">"
    u"<LineLocationRange Left=\"5\" Top=\"10\" Right=\"95\" Bottom=\"90\"/>"
    u"<LineLocationMethodList Size=\"2\">"
    u"<LineLocationMethod Type=\"2\"><ImageProcessingList Size=\"1\"><ImageProcessing Type=\"2\">"
    u"<GrayToBin Method=\"7\" BlockNum=\"1\"/></ImageProcessing></ImageProcessingList></LineLocationMethod>"
    u"<LineLocationMethod Type=\"1\"/>"
    u"</LineLocationMethodList></LineLocation></Holder>";

bool Enter(CXmlDocument& xml, const char16_t* text) {
    return xml.ParseText(text) && xml.FindElement(u"Holder") && xml.EnterElement();
}

TEST(LineLocationRecords, ReadWriteRoundTrip) {
    CXmlDocument xml;
    ASSERT_TRUE(Enter(xml, kLineXml));
    CLineLocationInfo info;
    ASSERT_TRUE(info.Read(xml));
    ASSERT_TRUE(info.property);
    const CLineProperty& p = *info.property;
    EXPECT_EQ(p.MinNum, 1);
    EXPECT_EQ(p.MaxNum, 4);
    EXPECT_EQ(p.MaxLength, 9000);
    EXPECT_EQ(p.LeftPlus, -3);
    EXPECT_EQ(p.BottomPlus, 6);
    EXPECT_EQ(info.Left, 5);
    EXPECT_EQ(info.Top, 10);
    EXPECT_EQ(info.Right, 95);
    EXPECT_EQ(info.Bottom, 90);
    ASSERT_TRUE(info.methods);
    ASSERT_EQ(info.methods->Count(), 2);
    EXPECT_EQ(info.methods->Get(0)->type, 2);
    ASSERT_EQ(ImageProcessingCount(info.methods->Get(0)->steps.get()), 1);
    EXPECT_EQ(info.methods->Get(1)->type, 1);
    EXPECT_EQ(ImageProcessingCount(info.methods->Get(1)->steps.get()), 0);

    CXmlDocument out;
    ASSERT_TRUE(out.ParseText(u"<Holder/>") && out.FindElement(u"Holder") && out.EnterElement());
    ASSERT_TRUE(info.Write(out));
    const std::u16string text = out.Text();
    // Attributes in their fixed order, the range always written.
    const char16_t* order[] = {u"MinNum=",
                               u"MaxNum=",
                               u"MinLength=",
                               u"MaxLength=",
                               u"MinHeight=",
                               u"MaxHeight=",
                               u"MinSpace=",
                               u"MaxSpace=",
                               u"LeftPlus=",
                               u"RightPlus=",
                               u"TopPlus=",
                               u"BottomPlus=",
                               u"<LineLocationRange",
                               u"Left=",
                               u"Top=",
                               u"Right=",
                               u"Bottom=",
                               u"<LineLocationMethodList"};
    size_t at = 0;
    for (const char16_t* o : order) {
        const size_t next = text.find(o, at);
        ASSERT_NE(next, std::u16string::npos) << std::string(o, o + std::char_traits<char16_t>::length(o));
        at = next;
    }
    CXmlDocument again;
    ASSERT_TRUE(again.ParseText(text) && again.FindElement(u"Holder") && again.EnterElement());
    CLineLocationInfo back;
    ASSERT_TRUE(back.Read(again));
    EXPECT_EQ(back.property->MaxSpace, 400);
    EXPECT_EQ(back.property->TopPlus, -5);
    EXPECT_EQ(back.Bottom, 90);
    ASSERT_EQ(back.methods->Count(), 2);
    EXPECT_EQ(ImageProcessingCount(back.methods->Get(0)->steps.get()), 1);
}

TEST(LineLocationRecords, MissingPartsAndMalformedLists) {
    struct Case {
        const char16_t* xml;
        bool read;
        int methods;  // -1: no list
        int right;
    } cases[] = {
        {u"<Holder><Other/></Holder>", false, -1, 100},
        {u"<Holder><LineLocation MinNum=\"2\"/></Holder>", true, -1, 100},
        {u"<Holder><LineLocation><LineLocationMethodList Size=\"0\"><LineLocationMethod Type=\"2\"/>"
         u"</LineLocationMethodList></LineLocation></Holder>",
         true, 0, 100},
        // Size 3 with one element: two more methods with the defaults.
        {u"<Holder><LineLocation><LineLocationRange Left=\"1\"/><LineLocationMethodList Size=\"3\">"
         u"<LineLocationMethod Type=\"2\"/></LineLocationMethodList></LineLocation></Holder>",
         true, 3, 0},
        // A billion declared entries: malformed, no list, read at once.
        {u"<Holder><LineLocation><LineLocationMethodList Size=\"1000000000\"/></LineLocation></Holder>", true,
         -1, 100},
    };
    for (const Case& c : cases) {
        CXmlDocument xml;
        ASSERT_TRUE(Enter(xml, c.xml));
        CLineLocationInfo info;
        const CpuStopwatch clock;
        EXPECT_EQ(info.Read(xml), c.read);
        EXPECT_LT(clock.Seconds(), 1.0);
        if (c.methods < 0) {
            EXPECT_FALSE(info.methods);
        } else {
            ASSERT_TRUE(info.methods);
            EXPECT_EQ(info.methods->Count(), c.methods);
        }
        EXPECT_EQ(info.Right, c.right);  // an absent attribute of a present range reads 0
        if (c.methods == 3) {
            EXPECT_EQ(info.methods->Get(0)->type, 2);
            EXPECT_EQ(info.methods->Get(1)->type, 3);
            EXPECT_EQ(info.methods->Get(2)->type, 3);
            EXPECT_EQ(info.methods->Get(3), nullptr);
        }
    }
    // Writing an empty method list writes no list element.
    CLineLocationInfo empty;
    empty.property = std::make_unique<CLineProperty>();
    empty.methods = std::make_unique<CLineLocationMethodList>();
    CXmlDocument out;
    ASSERT_TRUE(out.ParseText(u"<Holder/>") && out.FindElement(u"Holder") && out.EnterElement());
    ASSERT_TRUE(empty.Write(out));
    EXPECT_EQ(out.Text().find(u"LineLocationMethodList"), std::u16string::npos);
    EXPECT_NE(out.Text().find(u"<LineLocationRange Left=\"0\" Top=\"0\" Right=\"100\" Bottom=\"100\""),
              std::u16string::npos);
}

TEST(LineLocationRecords, AssignIsDeepAndSizesReachTheProperty) {
    CXmlDocument xml;
    ASSERT_TRUE(Enter(xml, kLineXml));
    CLineLocationInfo info;
    ASSERT_TRUE(info.Read(xml));
    CLineLocationInfo copy;
    copy.Assign(info);
    copy.Assign(copy);  // self-assignment changes nothing
    ASSERT_TRUE(copy.property && copy.methods);
    EXPECT_NE(copy.property.get(), info.property.get());
    EXPECT_NE(copy.methods->Get(0)->steps.get(), info.methods->Get(0)->steps.get());
    copy.methods->Get(0)->steps->Clear();
    copy.property->MinNum = 9;
    EXPECT_EQ(ImageProcessingCount(info.methods->Get(0)->steps.get()), 1);
    EXPECT_EQ(info.property->MinNum, 1);
    EXPECT_EQ(copy.Left, 5);

    info.SetImageSize(2000, 1000);
    EXPECT_EQ(info.refWidth, 2000);
    EXPECT_EQ(info.property->refHeight, 1000);
    EXPECT_EQ(info.property->MinLengthPx(), 20);  // 2000 x 100 / 10000
    EXPECT_EQ(info.property->MaxLengthPx(), 1800);
    EXPECT_EQ(info.property->MinHeightPx(), 5);  // 1000 x 50 / 10000
    EXPECT_EQ(info.property->MaxHeightPx(), 80);
    EXPECT_EQ(info.property->MinSpacePx(), 1);
    EXPECT_EQ(info.property->MaxSpacePx(), 40);
    // No overflow for huge values: the product is taken in 64 bits.
    info.property->MaxLength = INT32_MAX;
    info.SetImageSize(INT32_MAX, INT32_MAX);
    EXPECT_EQ(info.property->MaxLengthPx(), INT32_MAX);
}

TEST(LineLocationRecords, ParameterDescriptors) {
    ParameterList list;
    CLineProperty p;
    p.ListParameters(list);
    ASSERT_EQ(list.size(), 13u);
    EXPECT_EQ(list[0].name, u"LineProperty");
    EXPECT_EQ(list[0].kind, 8);
    EXPECT_EQ(list[3].name, u"MinLength");
    EXPECT_EQ(list[3].kind, 89);
    EXPECT_EQ(list[3].value, &p.MinLength);
    EXPECT_EQ(list[12].name, u"BottomPlus");
    EXPECT_EQ(list[12].kind, 22);
    CLineLocationInfo info;
    info.ListParameters(list);
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[0].name, u"LineLocationRange");
    EXPECT_EQ(list[2].name, u"Right");
    EXPECT_EQ(list[2].value, &info.Right);
    CLineLocationMethod m;
    m.ListParameters(list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].kind, 84);
}

const char16_t kCharXml[] =
    u"<Holder><CharLocation IsConfirmParams=\"1\" IsIgnorePoint=\"1\" MaxPointWidth=\"30\" "
    u"MaxPointHeight=\"40\" "
    u"NumType=\"2\" IsSameSpace=\"1\" IsSameWidth=\"0\" IsSameHeight=\"1\" MinNum=\"3\" MaxNum=\"44\" "
    u"MinWidth=\"20\" MaxWidth=\"300\" MinHeight=\"100\" MaxHeight=\"900\" MinSpace=\"1\" MaxSpace=\"50\" "
    u"MinWHRatio=\"20\" MaxWHRatio=\"150\" IsRemoveLine=\"1\" LineType=\"0\" IsEraseStart=\"1\">"
    u"<CharLocationMethodList Size=\"2\"><CharLocationMethod Type=\"0\"/></CharLocationMethodList>"
    u"</CharLocation></Holder>";

TEST(CharLocationRecords, ReadWriteAssign) {
    CXmlDocument xml;
    ASSERT_TRUE(Enter(xml, kCharXml));
    CCharLocationInfo info;
    ASSERT_TRUE(info.Read(xml));
    ASSERT_TRUE(info.property && info.methods);
    const CCharProperty& p = *info.property;
    EXPECT_EQ(p.IsIgnorePoint, 1);
    EXPECT_EQ(p.MaxPointHeight, 40);
    EXPECT_EQ(p.MaxNum, 44);
    EXPECT_EQ(p.MaxWHRatio, 150);
    EXPECT_EQ(p.LineType, 0);  // present attribute wins over the default 1
    EXPECT_EQ(p.IsEraseStart, 1);
    ASSERT_EQ(info.methods->Count(), 2);
    EXPECT_EQ(info.methods->Get(0)->type, 0);
    EXPECT_EQ(info.methods->Get(1)->type, 3);  // missing element: defaults

    CXmlDocument out;
    ASSERT_TRUE(out.ParseText(u"<Holder/>") && out.FindElement(u"Holder") && out.EnterElement());
    ASSERT_TRUE(info.Write(out));
    const std::u16string text = out.Text();
    const char16_t* order[] = {u"IsConfirmParams=", u"IsIgnorePoint=",
                               u"MaxPointWidth=",   u"MaxPointHeight=",
                               u"NumType=",         u"IsSameSpace=",
                               u"IsSameWidth=",     u"IsSameHeight=",
                               u" MinNum=",         u"MaxNum=",
                               u"MinWidth=",        u"MaxWidth=",
                               u"MinHeight=",       u"MaxHeight=",
                               u"MinSpace=",        u"MaxSpace=",
                               u"MinWHRatio=",      u"MaxWHRatio=",
                               u"IsRemoveLine=",    u"LineType=",
                               u"IsEraseStart=",    u"<CharLocationMethodList Size=\"2\""};
    size_t at = 0;
    for (const char16_t* o : order) {
        const size_t next = text.find(o, at);
        ASSERT_NE(next, std::u16string::npos) << std::string(o, o + std::char_traits<char16_t>::length(o));
        at = next;
    }
    CXmlDocument again;
    ASSERT_TRUE(again.ParseText(text) && again.FindElement(u"Holder") && again.EnterElement());
    CCharLocationInfo back;
    ASSERT_TRUE(back.Read(again));
    EXPECT_EQ(back.property->MinWHRatio, 20);
    EXPECT_EQ(back.methods->Count(), 2);

    CCharLocationInfo copy(info);
    copy.property->MaxNum = 1;
    EXPECT_EQ(info.property->MaxNum, 44);
    info.SetImageSize(1000, 500);
    EXPECT_EQ(info.property->MaxWidthPx(), 30);  // 1000 x 300 / 10000
    EXPECT_EQ(info.property->MaxPointWidthPx(), 3);
    EXPECT_EQ(info.property->MaxHeightPx(), 45);  // 500 x 900 / 10000
    EXPECT_EQ(info.property->MaxPointHeightPx(), 2);

    ParameterList list;
    info.property->ListParameters(list);
    ASSERT_EQ(list.size(), 22u);
    EXPECT_EQ(list[0].name, u"CharProperty");
    EXPECT_EQ(list[1].kind, 11);
    EXPECT_EQ(list[14].name, u"MinWHRatio");
    EXPECT_EQ(list[14].kind, 90);
    EXPECT_EQ(list[21].name, u"IsSameSpace");
    list.resize(3);
    info.ListParameters(list);
    EXPECT_TRUE(list.empty());

    CXmlDocument none;
    ASSERT_TRUE(Enter(none, u"<Holder><LineLocation/></Holder>"));
    CCharLocationInfo missing;
    EXPECT_FALSE(missing.Read(none));
    EXPECT_FALSE(missing.property);
}

TEST(CharRatioRecords, ListWithMissingPartsAndRoundTrip) {
    CXmlDocument xml;
    ASSERT_TRUE(Enter(xml,
                      u"<Holder><CharRatioList Size=\"3\"><CharRatio CharType=\"2\" WHRatio=\"60\" "
                      u"Charset=\"0123&amp;\"/><CharRatio WHRatio=\"45\"/></CharRatioList></Holder>"));
    CharRatioList list;
    ASSERT_TRUE(list.Read(xml));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Get(0)->CharType, 2);
    EXPECT_EQ(list.Get(0)->Charset, u"0123&");
    EXPECT_EQ(list.Get(1)->CharType, 0);  // absent attribute reads 0
    EXPECT_TRUE(list.Get(1)->Charset.empty());
    EXPECT_EQ(list.Get(2)->CharType, 1);  // missing element: constructor values
    EXPECT_EQ(list.Get(2)->WHRatio, 0);

    CXmlDocument out;
    ASSERT_TRUE(out.ParseText(u"<Holder/>") && out.FindElement(u"Holder") && out.EnterElement());
    ASSERT_TRUE(list.Write(out));
    CXmlDocument again;
    ASSERT_TRUE(again.ParseText(out.Text()) && again.FindElement(u"Holder") && again.EnterElement());
    auto back = ReadLocationList<CharRatioList>(again);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->Count(), 3);
    EXPECT_EQ(back->Get(0)->Charset, u"0123&");
    EXPECT_EQ(back->Get(2)->CharType, 1);
    auto copy = CopyLocationList(back.get());
    copy->Get(0)->Charset = u"x";
    EXPECT_EQ(back->Get(0)->Charset, u"0123&");

    CXmlDocument missing;
    ASSERT_TRUE(Enter(missing, u"<Holder><CharRatioList Size=\"2000000000\"/></Holder>"));
    EXPECT_FALSE(ReadLocationList<CharRatioList>(missing));
    ParameterList params;
    CCharRatio r;
    r.ListParameters(params);
    ASSERT_EQ(params.size(), 4u);
    EXPECT_EQ(params[1].kind, 86);
    EXPECT_EQ(params[2].kind, 90);
    EXPECT_EQ(params[3].name, u"Charset");
}

}  // namespace
}  // namespace libMorvaneClassifier

namespace libMorvaneClassifier {
namespace {

// Location lists draw their declared sizes from the document's slot budget
// like every other template list: once a document has declared its budget,
// a further list is malformed, however small.
TEST(LocationLists, DeclaredSizesTakeFromTheDocumentBudget) {
    const char16_t* text =
        u"<Holder><CharRatioList Size=\"2\"/><LineLocationMethodList Size=\"3\"/></Holder>";
    {
        CXmlDocument xml;
        ASSERT_TRUE(Enter(xml, text));
        CDeclaredSlotBudget budget;
        ASSERT_TRUE(CDeclaredSlotBudget::Take(CDeclaredSlotBudget::kPerDocument - 4));
        CharRatioList ratios;
        EXPECT_TRUE(ratios.Read(xml));  // 2 of the 4 slots left
        EXPECT_EQ(ratios.Count(), 2);
        CLineLocationMethodList methods;
        EXPECT_FALSE(methods.Read(xml));  // 3 more do not fit
        EXPECT_EQ(methods.Count(), 0);
    }
    // Without an open budget only the per-list limit applies.
    CXmlDocument xml;
    ASSERT_TRUE(Enter(xml, text));
    CharRatioList ratios;
    EXPECT_TRUE(ratios.Read(xml));
    CLineLocationMethodList methods;
    EXPECT_TRUE(methods.Read(xml));
    EXPECT_EQ(methods.Count(), 3);
}

}  // namespace
}  // namespace libMorvaneClassifier

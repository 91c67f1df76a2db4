// The text filter's record with its line-location, character-location and
// engine sub-records: reading in document order with any of them missing,
// writing and reading back, deep copies, and the image size handed down.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "filters/FilterText.h"
#include "templates/TemplateTestUtil.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {
namespace {

const char* const kFullRecord =
    "<FilterInfo><Region Left='100' Top='7000' Right='9900' Bottom='9800'/>"
    "<LineLocation MinNum='2' MaxNum='2' MinLength='5000' MaxLength='10000' MinHeight='300' MaxHeight='1500'"
    " MinSpace='0' MaxSpace='2000' LeftPlus='-1' RightPlus='2' TopPlus='3' BottomPlus='4'>"
    "<LineLocationRange Left='1' Top='2' Right='98' Bottom='99'/>"
    "<LineLocationMethodList Size='2'><LineLocationMethod Type='2'/><LineLocationMethod Type='3'/>"
    "</LineLocationMethodList></LineLocation>"
    "<CharLocation MinNum='40' MaxNum='48' MinWidth='30' MaxWidth='250' MinHeight='200' MaxHeight='1200'"
    " MinSpace='0' MaxSpace='300' MinWHRatio='20' MaxWHRatio='150' LineType='0'>"
    "<CharLocationMethodList Size='1'><CharLocationMethod Type='0'/></CharLocationMethodList></CharLocation>"
    "<RecogEngineList Size='2'>"
    "<RecogEngine MainType='1' SubType='6' FilterType='3' FillingMethod='0' FilterPlus='0123456789&lt;'"
    " RecogType='2' RecogImgeType='0'><CharRatioList Size='1'><CharRatio CharType='2' WHRatio='60' "
    "Charset=''/>"
    "</CharRatioList></RecogEngine>"
    "<RecogEngine MainType='1' SubType='7' FilterType='1'/></RecogEngineList>"
    "<TextMatch Method='3'/><TextLineList Size='1'><TextLine Text='\\D{9}'/></TextLineList></FilterInfo>";

bool ReadRecord(const std::string& xml, CFilterTextInfo& info) {
    CXmlDocument doc;
    if (!test::Parse(doc, xml)) return false;
    doc.ResetPosition();
    if (!doc.FindElement(u"FilterInfo") || !doc.EnterElement()) return false;
    return info.ReadXml(doc);
}

// Every field of the sub-records that the text filter relies on.
void ExpectFullRecord(const CFilterTextInfo& info) {
    ASSERT_TRUE(info.region);
    EXPECT_EQ(info.region->top, 7000);
    ASSERT_TRUE(info.lineLocation);
    ASSERT_TRUE(info.lineLocation->property);
    EXPECT_EQ(info.lineLocation->property->MinNum, 2);
    EXPECT_EQ(info.lineLocation->property->MaxSpace, 2000);
    EXPECT_EQ(info.lineLocation->property->LeftPlus, -1);
    EXPECT_EQ(info.lineLocation->property->BottomPlus, 4);
    EXPECT_EQ(info.lineLocation->Left, 1);
    EXPECT_EQ(info.lineLocation->Bottom, 99);
    ASSERT_TRUE(info.lineLocation->methods);
    ASSERT_EQ(info.lineLocation->methods->Count(), 2);
    EXPECT_EQ(info.lineLocation->methods->Get(0)->type, 2);
    ASSERT_TRUE(info.charLocation);
    ASSERT_TRUE(info.charLocation->property);
    EXPECT_EQ(info.charLocation->property->MaxNum, 48);
    EXPECT_EQ(info.charLocation->property->MaxWHRatio, 150);
    EXPECT_EQ(info.charLocation->property->LineType, 0);
    ASSERT_TRUE(info.charLocation->methods);
    EXPECT_EQ(info.charLocation->methods->Get(0)->type, 0);
    ASSERT_TRUE(info.engines);
    ASSERT_EQ(info.engines->Count(), 2);
    const CKernelInfo* first = info.engines->Get(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->subType, 6);
    EXPECT_EQ(first->filterType, 3);
    EXPECT_EQ(test::N(first->filterPlus), "0123456789<");
    ASSERT_TRUE(first->charRatios);
    ASSERT_EQ(first->charRatios->Count(), 1);
    EXPECT_EQ(first->charRatios->Get(0)->CharType, 2);
    EXPECT_EQ(first->charRatios->Get(0)->WHRatio, 60);
    ASSERT_NE(info.engines->Get(1), nullptr);
    EXPECT_EQ(info.engines->Get(1)->subType, 7);
    EXPECT_EQ(info.method, 3);
    ASSERT_TRUE(info.textLines);
    EXPECT_EQ(test::N(info.textLines->Get(0)->text), "\\D{9}");
}

TEST(FilterTextRecords, SubRecordsReadWriteAndCopy) {
    CFilterTextInfo info;
    ASSERT_TRUE(ReadRecord(kFullRecord, info));
    ExpectFullRecord(info);

    CXmlDocument again;
    ASSERT_TRUE(test::WriteAndReparse([&](CXmlDocument& x) { return info.WriteXml(x); }, again));
    CFilterTextInfo back;
    ASSERT_TRUE(back.ReadXml(again));
    ExpectFullRecord(back);

    CFilterTextInfo copy;
    copy.Assign(info);
    ExpectFullRecord(copy);
    EXPECT_NE(copy.lineLocation.get(), info.lineLocation.get());
    EXPECT_NE(copy.charLocation.get(), info.charLocation.get());
    EXPECT_NE(copy.engines->Get(0), info.engines->Get(0));
    // The copy is deep: changing the original leaves it alone.
    info.lineLocation->property->MinNum = 9;
    info.charLocation->methods->Get(0)->type = 3;
    info.engines->Get(0)->charRatios->Get(0)->WHRatio = 1;
    EXPECT_EQ(copy.lineLocation->property->MinNum, 2);
    EXPECT_EQ(copy.engines->Get(0)->charRatios->Get(0)->WHRatio, 60);
    EXPECT_EQ(copy.charLocation->methods->Get(0)->type, 0);

    // Assigning a record without sub-records drops them.
    copy.Assign(CFilterTextInfo());
    EXPECT_FALSE(copy.lineLocation);
    EXPECT_FALSE(copy.charLocation);
    EXPECT_FALSE(copy.engines);
}

// Any sub-record may be missing; the ones after it are still found.
TEST(FilterTextRecords, MissingSubRecordsAreDroppedOthersKept) {
    CFilterTextInfo info;
    ASSERT_TRUE(
        ReadRecord("<FilterInfo><CharLocation MaxNum='5'/><TextMatch Method='4'/></FilterInfo>", info));
    EXPECT_FALSE(info.region);
    EXPECT_FALSE(info.lineLocation);
    ASSERT_TRUE(info.charLocation);
    EXPECT_EQ(info.charLocation->property->MaxNum, 5);
    EXPECT_FALSE(info.charLocation->methods);
    EXPECT_EQ(info.method, 4);

    // Reading again replaces what an earlier read left.
    ASSERT_TRUE(
        ReadRecord("<FilterInfo><LineLocation MinNum='1'/><RecogEngineList Size='1'/></FilterInfo>", info));
    ASSERT_TRUE(info.engines);
    EXPECT_EQ(info.engines->Get(0), nullptr);  // the slot of a missing "RecogEngine" stays empty
    ASSERT_TRUE(info.lineLocation);
    EXPECT_FALSE(info.lineLocation->methods);
    EXPECT_FALSE(info.charLocation);

    // Writing a record without sub-records writes none of their elements.
    CFilterTextInfo bare;
    CXmlDocument out;
    ASSERT_TRUE(test::WriteAndReparse([&](CXmlDocument& x) { return bare.WriteXml(x); }, out));
    EXPECT_FALSE(out.FindElement(u"LineLocation"));
    EXPECT_FALSE(out.FindElement(u"CharLocation"));
    EXPECT_FALSE(out.FindElement(u"RecogEngineList"));
}

// A list larger than its elements holds default text lines, but a few bytes
// of file must not fill a hundred thousand of them: once a document has
// filled its allowance of such lines the list is malformed and the record
// keeps no list, while its own read still succeeds.
TEST(FilterTextRecords, DefaultFilledTextLinesAreBoundedPerDocument) {
    const std::string small =
        "<FilterInfo><TextMatch Method='4'/><TextLineList Size='3'><TextLine "
        "Text='A'/></TextLineList></FilterInfo>";
    const std::string huge = "<FilterInfo><TextMatch Method='4'/><TextLineList Size='" +
                             std::to_string(CDeclaredSlotBudget::kFilledPerDocument + 1) + "'/></FilterInfo>";
    CDeclaredSlotBudget budget;
    CFilterTextInfo info;
    ASSERT_TRUE(ReadRecord(small, info));
    ASSERT_TRUE(info.textLines);
    ASSERT_EQ(info.textLines->count, 3);
    EXPECT_EQ(test::N(info.textLines->Get(0)->text), "A");
    ASSERT_NE(info.textLines->Get(2), nullptr);  // a default line, not an empty slot

    ASSERT_TRUE(ReadRecord(huge, info));
    EXPECT_EQ(info.method, 4);
    EXPECT_FALSE(info.textLines);
}

TEST(FilterTextRecords, ImageSizeReachesTheLocationRecords) {
    CFilterTextInfo info;
    ASSERT_TRUE(ReadRecord(kFullRecord, info));
    info.SetImageSize(2000, 1000);
    EXPECT_EQ(info.lineLocation->refWidth, 2000);
    EXPECT_EQ(info.lineLocation->property->MaxHeightPx(), 150);  // 1000 x 1500 / 10000
    EXPECT_EQ(info.charLocation->property->MaxWidthPx(), 50);    // 2000 x 250 / 10000
    EXPECT_EQ(info.imageWidth, 2000);
}

}  // namespace
}  // namespace libMorvaneClassifier

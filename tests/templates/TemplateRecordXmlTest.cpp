// Reading and writing anchors, reference anchors, regions, text lines and
// their lists; parameter descriptors of every template record.
#include <gtest/gtest.h>

#include "templates/Anchor.h"
#include "templates/TemplateTestUtil.h"
#include "templates/TextLine.h"

namespace libMorvaneClassifier {
namespace {

using test::Desc;
using test::Descs;
using test::N;
using test::ParseInside;
using test::U;

void ExpectAnchorsEqual(const CAnchor& a, const CAnchor& b) {
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.posX, b.posX);
    EXPECT_EQ(a.posY, b.posY);
    EXPECT_EQ(a.min, b.min);
    EXPECT_EQ(a.max, b.max);
    EXPECT_EQ(a.valid, b.valid);
    EXPECT_EQ(a.threshold, b.threshold);
    EXPECT_EQ(a.inheritedId, b.inheritedId);
    EXPECT_EQ(a.refType, b.refType);
}

void ExpectRegionsEqual(const CRegion& a, const CRegion& b) {
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.top, b.top);
    EXPECT_EQ(a.right, b.right);
    EXPECT_EQ(a.bottom, b.bottom);
    ASSERT_EQ(a.anchorList != nullptr, b.anchorList != nullptr);
    if (a.anchorList) {
        ASSERT_EQ(a.anchorList->count, b.anchorList->count);
        for (int32_t i = 0; i < a.anchorList->count; ++i) {
            ASSERT_EQ(a.anchorList->Get(i) != nullptr, b.anchorList->Get(i) != nullptr) << i;
            if (a.anchorList->Get(i)) ExpectAnchorsEqual(*a.anchorList->Get(i), *b.anchorList->Get(i));
        }
    }
    ASSERT_EQ(a.refAnchorList != nullptr, b.refAnchorList != nullptr);
    if (a.refAnchorList) {
        ASSERT_EQ(a.refAnchorList->count, b.refAnchorList->count);
        for (int32_t i = 0; i < a.refAnchorList->count; ++i) {
            const CRefAnchorInfo* x = a.refAnchorList->Get(i);
            const CRefAnchorInfo* y = b.refAnchorList->Get(i);
            ASSERT_EQ(x != nullptr, y != nullptr);
            if (!x) continue;
            EXPECT_EQ(x->id, y->id);
            EXPECT_EQ(x->refAnchorId, y->refAnchorId);
            EXPECT_EQ(x->distToAnchor, y->distToAnchor);
            EXPECT_EQ(x->locationType, y->locationType);
        }
    }
}

void ExpectTextLinesEqual(const CTextLine& a, const CTextLine& b) {
    EXPECT_EQ(a.index, b.index);
    EXPECT_EQ(a.filterType, b.filterType);
    EXPECT_EQ(a.offset, b.offset);
    EXPECT_EQ(a.isExist, b.isExist);
    EXPECT_EQ(a.compareType, b.compareType);
    EXPECT_EQ(N(a.text), N(b.text));
    EXPECT_EQ(N(a.charset), N(b.charset));
    EXPECT_EQ(a.charNum, b.charNum);
    EXPECT_EQ(a.foregroundColor, b.foregroundColor);
    EXPECT_EQ(a.backgroundColor, b.backgroundColor);
    ASSERT_EQ(a.region != nullptr, b.region != nullptr);
    if (a.region) ExpectRegionsEqual(*a.region, *b.region);
}

TEST(TemplateRecordXml, AnchorReadsEveryAttributeAndAbsentOnesAsZero) {
    CXmlDocument doc;
    ASSERT_TRUE(
        ParseInside(doc,
                    "<Root><Anchor ID='3' InheritedID='-12' Type='2' RefType='4' PosX=' 7' PosY='12px' "
                    "Min='5' Max='9' Threshold='800' IsValid='1'/><Anchor/></Root>"));
    CAnchor a;
    ASSERT_TRUE(a.Read(doc));
    EXPECT_EQ(a.id, 3);
    EXPECT_EQ(a.inheritedId, -12);
    EXPECT_EQ(a.type, 2);
    EXPECT_EQ(a.refType, 4);
    EXPECT_EQ(a.posX, 7);
    EXPECT_EQ(a.posY, 12);
    EXPECT_EQ(a.min, 5);
    EXPECT_EQ(a.max, 9);
    EXPECT_EQ(a.threshold, 800);
    EXPECT_EQ(a.valid, 1);

    CAnchor empty;  // an element without attributes: every value reads 0, not the defaults
    ASSERT_TRUE(empty.Read(doc));
    EXPECT_EQ(empty.type, 0);
    EXPECT_EQ(empty.threshold, 0);
    EXPECT_EQ(empty.inheritedId, 0);
    EXPECT_EQ(empty.min, 0);

    CAnchor missing;  // no further element: constructor values stay
    EXPECT_FALSE(missing.Read(doc));
    EXPECT_EQ(missing.type, 1);
    EXPECT_EQ(missing.threshold, 750);
    EXPECT_EQ(missing.inheritedId, -1);
}

TEST(TemplateRecordXml, AnchorListKeepsDeclaredLengthWithEmptySlots) {
    CXmlDocument doc;
    ASSERT_TRUE(ParseInside(
        doc, "<Root><AnchorList Size='3'><Anchor ID='1'/><Other/><Anchor ID='2'/></AnchorList></Root>"));
    CAnchorList list;
    ASSERT_TRUE(list.Read(doc));
    ASSERT_EQ(list.count, 3);
    ASSERT_NE(list.Get(0), nullptr);
    ASSERT_NE(list.Get(1), nullptr);
    EXPECT_EQ(list.Get(0)->id, 1);
    EXPECT_EQ(list.Get(1)->id, 2);
    EXPECT_EQ(list.Get(2), nullptr);
    EXPECT_EQ(list.Get(-1), nullptr);
    EXPECT_EQ(list.Get(3), nullptr);
}

TEST(TemplateRecordXml, ListSizesThatReadEmptyOrFail) {
    struct Case {
        const char* xml;
        bool ok;
        int32_t count;
    };
    const Case cases[] = {
        {"<Root><AnchorList Size='0'><Anchor ID='1'/></AnchorList></Root>", true, 0},
        {"<Root><AnchorList><Anchor ID='1'/></AnchorList></Root>", true, 0},
        {"<Root><AnchorList Size='-4'><Anchor ID='1'/></AnchorList></Root>", true, 0},
        {"<Root><AnchorList Size='x1'><Anchor ID='1'/></AnchorList></Root>", true, 0},
        {"<Root><AnchorList Size='100000'/></Root>", true, 100000},
        {"<Root><AnchorList Size='100001'><Anchor/></AnchorList></Root>", false, 0},
        {"<Root><AnchorList Size='2000000000'><Anchor/></AnchorList></Root>", false, 0},
        {"<Root><Anchor ID='1'/></Root>", false, 0},
        {"<Root><anchorlist Size='1'><Anchor/></anchorlist></Root>", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        CXmlDocument doc;
        ASSERT_TRUE(ParseInside(doc, c.xml));
        CAnchorList list;
        EXPECT_EQ(list.Read(doc), c.ok);
        EXPECT_EQ(list.count, c.count);
        EXPECT_FALSE(list.HasItems());
        auto owned = ReadOwnedList<CAnchorList>(doc);  // the cursor moved past the list: nothing more
        EXPECT_EQ(owned, nullptr);
    }
}

TEST(TemplateRecordXml, TextLineListFillsMissingLinesWithDefaults) {
    CXmlDocument doc;
    ASSERT_TRUE(
        ParseInside(doc,
                    "<Root><TextLineList Size='3'><TextLine Index='4' FilterType='2' Offset='1' IsExist='1' "
                    "CompareType='3' Charset='0123' Text='AB&amp;C' CharNum='4' ForegroundColor='16' "
                    "BackgroundColor='255'><Region Left='1' Top='2' Right='3' Bottom='4'/></TextLine>"
                    "</TextLineList></Root>"));
    CTextLineList list;
    ASSERT_TRUE(list.Read(doc));
    ASSERT_EQ(list.count, 3);
    const CTextLine* first = list.Get(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->index, 4);
    EXPECT_EQ(first->filterType, 2);
    EXPECT_EQ(first->offset, 1);
    EXPECT_EQ(first->isExist, 1);
    EXPECT_EQ(first->compareType, 3);
    EXPECT_EQ(N(first->charset), "0123");
    EXPECT_EQ(N(first->text), "AB&C");
    EXPECT_EQ(first->charNum, 4);
    EXPECT_EQ(first->foregroundColor, 16);
    EXPECT_EQ(first->backgroundColor, 255);
    ASSERT_TRUE(first->region);
    EXPECT_EQ(first->region->bottom, 4);
    for (int32_t i : {1, 2}) {
        const CTextLine* d = list.Get(i);
        ASSERT_NE(d, nullptr) << i;
        EXPECT_EQ(d->filterType, 1);
        EXPECT_EQ(d->index, 0);
        EXPECT_FALSE(d->region);
    }
}

TEST(TemplateRecordXml, RegionPartsAreOptionalAndOrdered) {
    CXmlDocument doc;
    ASSERT_TRUE(ParseInside(
        doc,
        "<Root>"
        "<Region Left='1' Top='2' Right='3' Bottom='4'><AnchorList Size='1'><Anchor "
        "ID='8'/></AnchorList></Region>"
        "<Region><RefAnchorList Size='1'><RefAnchor ID='1' RefAnchorID='8' DistToAnchor='-5' "
        "LocationType='3'/></RefAnchorList><AnchorList Size='1'><Anchor ID='9'/></AnchorList></Region>"
        "<Region><AnchorList Size='1'><Anchor/></AnchorList><RefAnchorList "
        "Size='1'><RefAnchor/></RefAnchorList></Region>"
        "</Root>"));
    CRegion a, b, c, d;
    ASSERT_TRUE(a.Read(doc));
    EXPECT_EQ(a.left, 1);
    EXPECT_EQ(a.top, 2);
    EXPECT_EQ(a.right, 3);
    EXPECT_EQ(a.bottom, 4);
    EXPECT_FALSE(a.refAnchorList);
    ASSERT_TRUE(a.anchorList);
    EXPECT_EQ(a.anchorList->Get(0)->id, 8);

    ASSERT_TRUE(b.Read(doc));
    ASSERT_TRUE(b.refAnchorList);
    const CRefAnchorInfo* ref = b.refAnchorList->Get(0);
    ASSERT_NE(ref, nullptr);
    EXPECT_EQ(ref->id, 1);
    EXPECT_EQ(ref->refAnchorId, 8);
    EXPECT_EQ(ref->distToAnchor, -5);
    EXPECT_EQ(ref->locationType, 3);
    ASSERT_TRUE(b.anchorList);

    // Parts out of order: the reference anchors are found after the anchors,
    // and the anchors are then searched for after them and missed.
    ASSERT_TRUE(c.Read(doc));
    EXPECT_TRUE(c.refAnchorList);
    EXPECT_FALSE(c.anchorList);

    EXPECT_FALSE(d.Read(doc));
}

CAnchor SampleAnchor(int32_t id) {
    CAnchor a;
    a.id = id;
    a.type = 2;
    a.posX = -3;
    a.posY = 44;
    a.min = 10;
    a.max = 20;
    a.valid = 1;
    a.threshold = 640;
    a.inheritedId = 6;
    a.refType = 3;
    return a;
}

std::unique_ptr<CRegion> SampleRegion() {
    auto r = std::make_unique<CRegion>();
    r->left = 10;
    r->top = 20;
    r->right = 9000;
    r->bottom = 8000;
    r->anchorList = std::make_unique<CAnchorList>();
    r->anchorList->items.resize(3);
    r->anchorList->items[0] = std::make_unique<CAnchor>(SampleAnchor(1));
    r->anchorList->items[1] = std::make_unique<CAnchor>(SampleAnchor(2));
    r->anchorList->count = 3;  // the last slot is empty
    r->refAnchorList = std::make_unique<CRefAnchorList>();
    auto ref = std::make_unique<CRefAnchorInfo>();
    ref->id = 5;
    ref->refAnchorId = 2;
    ref->distToAnchor = -250;
    ref->locationType = 4;
    r->refAnchorList->items.push_back(std::move(ref));
    r->refAnchorList->count = 1;
    return r;
}

TEST(TemplateRecordXml, RoundTrips) {
    CAnchor anchor = SampleAnchor(7);
    CXmlDocument d1;
    ASSERT_TRUE(test::WriteAndReparse([&](CXmlDocument& x) { return anchor.Write(x); }, d1));
    CAnchor anchorBack;
    ASSERT_TRUE(anchorBack.Read(d1));
    ExpectAnchorsEqual(anchor, anchorBack);

    std::unique_ptr<CRegion> region = SampleRegion();
    CXmlDocument d2;
    ASSERT_TRUE(test::WriteAndReparse([&](CXmlDocument& x) { return region->Write(x); }, d2));
    CRegion regionBack;
    ASSERT_TRUE(regionBack.Read(d2));
    ExpectRegionsEqual(*region, regionBack);

    CTextLineList lines;
    lines.items.resize(2);
    lines.items[0] = std::make_unique<CTextLine>();
    lines.items[0]->index = 1;
    lines.items[0]->filterType = 2;
    lines.items[0]->offset = 3;
    lines.items[0]->isExist = 1;
    lines.items[0]->compareType = 4;
    lines.items[0]->text = U("身份<证>&\"'");
    lines.items[0]->charset = U("0123456789X");
    lines.items[0]->charNum = 18;
    lines.items[0]->foregroundColor = 5;
    lines.items[0]->backgroundColor = 6;
    lines.items[0]->region = SampleRegion();
    lines.items[1] = std::make_unique<CTextLine>();
    lines.count = 2;
    CXmlDocument d3;
    ASSERT_TRUE(test::WriteAndReparse([&](CXmlDocument& x) { return lines.Write(x); }, d3));
    CTextLineList linesBack;
    ASSERT_TRUE(linesBack.Read(d3));
    ASSERT_EQ(linesBack.count, 2);
    for (int32_t i = 0; i < 2; ++i) ExpectTextLinesEqual(*lines.Get(i), *linesBack.Get(i));
}

TEST(TemplateRecordXml, EmptyListsWriteNothing) {
    CAnchorList none;
    CAnchorList slotsOnly;
    slotsOnly.items.resize(2);
    slotsOnly.count = 2;
    for (CAnchorList* list : {&none, &slotsOnly}) {
        CXmlDocument doc;
        ASSERT_TRUE(test::Parse(doc, "<Root/>"));
        doc.ResetPosition();
        ASSERT_TRUE(doc.FindElement(u"Root"));
        ASSERT_TRUE(doc.EnterElement());
        EXPECT_TRUE(list->Write(doc));
        EXPECT_EQ(N(doc.Text()).find("AnchorList"), std::string::npos);
    }
    // A region without parts writes only its element.
    CRegion bare;
    CXmlDocument doc;
    ASSERT_TRUE(test::WriteAndReparse([&](CXmlDocument& x) { return bare.Write(x); }, doc));
    EXPECT_EQ(N(doc.Text()).find("List"), std::string::npos);
}

TEST(TemplateRecordXml, AssignIsDeepAndSelfAssignmentKeepsEverything) {
    std::unique_ptr<CRegion> region = SampleRegion();
    region->SetImageSize(300, 200);
    CRegion copy;
    copy.Assign(*region);
    ExpectRegionsEqual(*region, copy);
    EXPECT_EQ(copy.imageWidth, 300);
    EXPECT_NE(copy.anchorList.get(), region->anchorList.get());
    EXPECT_NE(copy.anchorList->Get(0), region->anchorList->Get(0));
    EXPECT_EQ(copy.anchorList->Get(2), nullptr);
    region->anchorList->Get(0)->id = 99;
    EXPECT_EQ(copy.anchorList->Get(0)->id, 1);

    copy.Assign(copy);
    ASSERT_TRUE(copy.anchorList);
    EXPECT_EQ(copy.anchorList->count, 3);

    CAnchor a = SampleAnchor(3);
    a.position = 77;
    a.SetImageSize(5, 6);
    CAnchor b;
    b.Assign(a);
    ExpectAnchorsEqual(a, b);
    EXPECT_EQ(b.position, 77);
    EXPECT_EQ(b.imageHeight, 6);
}

TEST(TemplateRecordXml, Descriptors) {
    CAnchor a;
    EXPECT_EQ(test::DescriptorsOf(a), (Descs{{"Anchor", 8, nullptr},
                                             {"ID", 22, &a.id},
                                             {"InheritedID", 22, &a.inheritedId},
                                             {"Type", 74, &a.type},
                                             {"RefType", 80, &a.refType},
                                             {"PosX", 22, &a.posX},
                                             {"PosY", 22, &a.posY},
                                             {"Min", 22, &a.min},
                                             {"Max", 22, &a.max},
                                             {"Threshold", 22, &a.threshold},
                                             {"IsValid", 11, &a.valid}}));
    CRefAnchorInfo r;
    EXPECT_EQ(test::DescriptorsOf(r), (Descs{{"RefAnchor", 8, nullptr},
                                             {"ID", 22, &r.id},
                                             {"RefAnchorID", 22, &r.refAnchorId},
                                             {"DistToAnchor", 22, &r.distToAnchor},
                                             {"LocationType", 80, &r.locationType}}));
    CRegion g;
    EXPECT_EQ(test::DescriptorsOf(g), (Descs{{"Region", 8, nullptr},
                                             {"Left", 22, &g.left},
                                             {"Right", 22, &g.right},
                                             {"Top", 22, &g.top},
                                             {"Bottom", 22, &g.bottom}}));
    CTextLine t;
    EXPECT_EQ(test::DescriptorsOf(t), (Descs{{"TextLine", 8, nullptr},
                                             {"Index", 22, &t.index},
                                             {"FilterType", 91, &t.filterType},
                                             {"Offset", 22, &t.offset},
                                             {"IsExist", 11, &t.isExist},
                                             {"CompareType", 22, &t.compareType},
                                             {"Text", 8, &t.text},
                                             {"Charset", 8, &t.charset},
                                             {"CharNum", 22, &t.charNum},
                                             {"ForegroundColor", 22, &t.foregroundColor},
                                             {"BackgroundColor", 22, &t.backgroundColor}}));
}

}  // namespace
}  // namespace libMorvaneClassifier

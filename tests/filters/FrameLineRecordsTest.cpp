#include <gtest/gtest.h>

#include <string>

#include "filters/FrameLineRecords.h"
#include "xml/XmlDocument.h"

using namespace libMorvaneClassifier;

namespace {

void ParseOwner(CXmlDocument& xml, const std::u16string& text) {
    ASSERT_TRUE(xml.ParseText(text));
    ASSERT_TRUE(xml.FindElement(u"Owner"));
    ASSERT_TRUE(xml.EnterElement());
}

CXmlDocument& FreshOwner(CXmlDocument& out) {
    EXPECT_TRUE(out.ParseText(u"<Owner/>"));
    EXPECT_TRUE(out.FindElement(u"Owner"));
    EXPECT_TRUE(out.EnterElement());
    return out;
}

// A line in pixels of a 10000 x 10000 image (ten-thousandths equal pixels).
CLine PixelLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t w = 10000, int32_t h = 10000) {
    CLine l;
    l.SetImageSize(w, h);
    EXPECT_TRUE(l.SetStart(x1, y1));
    EXPECT_TRUE(l.SetEnd(x2, y2));
    return l;
}

TEST(FrameLineRecords, LineGeometry) {
    EXPECT_EQ(5, PixelLine(0, 0, 3, 4).Length());
    EXPECT_EQ(0, PixelLine(7, 7, 7, 7).Length());
    // 100 x 100 pixels: ten-thousandths are 100 per pixel
    const CLine l = PixelLine(10, 20, 31, 60, 100, 100);
    EXPECT_EQ(1000, l.startPtX);
    EXPECT_EQ(6000, l.endPtY);
    EXPECT_EQ(std::make_pair(20, 40), l.Midpoint());  // (10 + 31) / 2 = 20
    EXPECT_EQ(45, l.Length());                        // sqrt(21² + 40²) = 45.18
    // the same line read on an image twice as large
    CLine big = l;
    big.SetImageSize(200, 200);
    EXPECT_EQ(std::make_pair(41, 80), big.Midpoint());
}

TEST(FrameLineRecords, SetPointsNeedAnImageSize) {
    CLine l;
    l.startPtX = 11;
    EXPECT_FALSE(l.SetStart(5, 5));
    EXPECT_FALSE(l.SetEnd(5, 5));
    EXPECT_EQ(11, l.startPtX);
}

TEST(FrameLineRecords, FrameLineWithoutLine) {
    CFrameLineInfo f;
    EXPECT_EQ(std::make_pair(-1, -1), f.Midpoint());
    EXPECT_EQ(0, f.Length());
}

TEST(FrameLineRecords, ReadsFrameLineListWithMissingElements) {
    CXmlDocument xml;
    ParseOwner(xml,
               u"<Owner><FrameLineList Size=\"3\">"
               u"<FrameLine Index=\"4\" Style=\"2\" Color=\"7\" Angle=\"90\">"
               u"<Line StartPtX=\"100\" StartPtY=\"200\" EndPtX=\"100\" EndPtY=\"9000\">"
               u"<Anchor ID=\"3\" Type=\"2\" Threshold=\"600\"/></Line></FrameLine>"
               u"<FrameLine Index=\"5\" Angle=\"0\"/>"
               u"</FrameLineList><After/></Owner>");
    CFrameLineList list;
    ASSERT_TRUE(list.Read(xml));
    ASSERT_EQ(3, list.count);
    const CFrameLineInfo* a = list.Get(0);
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(4, a->index);
    EXPECT_EQ(2, a->style);
    EXPECT_EQ(7, a->color);
    EXPECT_EQ(90, a->angle);
    ASSERT_NE(nullptr, a->line);
    EXPECT_EQ(9000, a->line->endPtY);
    ASSERT_NE(nullptr, a->line->anchor);
    EXPECT_EQ(600, a->line->anchor->threshold);
    const CFrameLineInfo* b = list.Get(1);
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(5, b->index);
    EXPECT_EQ(nullptr, b->line);
    // the missing third element: a record with its zeros and no line
    const CFrameLineInfo* c = list.Get(2);
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(0, c->index);
    EXPECT_EQ(0, c->angle);
    EXPECT_EQ(nullptr, c->line);
    // the cursor is back at the owner's level
    EXPECT_TRUE(xml.FindElement(u"After"));
}

TEST(FrameLineRecords, RuleListKeepsEmptySlots) {
    CXmlDocument xml;
    ParseOwner(xml,
               u"<Owner><FrameLineRuleList Size=\"2\">"
               u"<FrameLineRule Index=\"1\" Style=\"9\" MinLength=\"10\" MaxLength=\"20\" MinWidth=\"1\" "
               u"MaxWidth=\"6\" Angle=\"90\" Color=\"3\" Quality=\"80\"/>"
               u"</FrameLineRuleList></Owner>");
    CFrameLineRuleList rules;
    ASSERT_TRUE(rules.Read(xml));
    ASSERT_EQ(2, rules.count);
    const CFrameLineRule* r = rules.Get(0);
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(1, r->index);
    EXPECT_EQ(9, r->style);
    EXPECT_EQ(10, r->minLength);
    EXPECT_EQ(20, r->maxLength);
    EXPECT_EQ(1, r->minWidth);
    EXPECT_EQ(6, r->maxWidth);
    EXPECT_EQ(90, r->angle);
    EXPECT_EQ(3, r->color);
    EXPECT_EQ(80, r->quality);
    EXPECT_EQ(nullptr, rules.Get(1));
}

TEST(FrameLineRecords, MissingListsFailToRead) {
    CXmlDocument xml;
    ParseOwner(xml, u"<Owner><Other Size=\"2\"/></Owner>");
    CFrameLineList lines;
    CFrameLineRuleList rules;
    EXPECT_FALSE(lines.Read(xml));
    EXPECT_FALSE(rules.Read(xml));
    CXmlDocument zero;
    ParseOwner(zero, u"<Owner><FrameLineList Size=\"0\"><FrameLine Index=\"1\"/></FrameLineList></Owner>");
    EXPECT_TRUE(lines.Read(zero));
    EXPECT_EQ(0, lines.count);
}

TEST(FrameLineRecords, WriteAndReadBack) {
    CFrameLineList list;
    CFrameLineInfo f;
    f.index = 3;
    f.style = 1;
    f.color = 5;
    f.angle = 90;
    f.line = std::make_unique<CLine>(PixelLine(10, 20, 30, 40));
    f.line->anchor = std::make_unique<CAnchor>();
    f.line->anchor->id = 8;
    f.line->anchor->threshold = 420;
    list.Append(f);
    CFrameLineInfo bare;
    bare.index = 4;
    list.Append(bare);
    ASSERT_EQ(2, list.count);

    CXmlDocument out;
    ASSERT_TRUE(list.Write(FreshOwner(out)));
    CXmlDocument in;
    ParseOwner(in, out.Text());
    CFrameLineList back;
    ASSERT_TRUE(back.Read(in));
    ASSERT_EQ(2, back.count);
    const CFrameLineInfo* a = back.Get(0);
    EXPECT_EQ(3, a->index);
    EXPECT_EQ(1, a->style);
    EXPECT_EQ(5, a->color);
    EXPECT_EQ(90, a->angle);
    ASSERT_NE(nullptr, a->line);
    EXPECT_EQ(10, a->line->startPtX);
    EXPECT_EQ(40, a->line->endPtY);
    ASSERT_NE(nullptr, a->line->anchor);
    EXPECT_EQ(8, a->line->anchor->id);
    EXPECT_EQ(420, a->line->anchor->threshold);
    EXPECT_EQ(nullptr, back.Get(1)->line);
    EXPECT_EQ(4, back.Get(1)->index);

    // attribute order as written
    const std::u16string text = out.Text();
    EXPECT_LT(text.find(u"Index="), text.find(u"Style="));
    EXPECT_LT(text.find(u"Style="), text.find(u"Color="));
    EXPECT_LT(text.find(u"Color="), text.find(u"Angle="));
}

TEST(FrameLineRecords, EmptyListsWriteNothing) {
    CXmlDocument out;
    FreshOwner(out);
    const std::u16string before = out.Text();
    CFrameLineList lines;
    CFrameLineRuleList rules;
    EXPECT_TRUE(lines.Write(out));
    EXPECT_TRUE(rules.Write(out));
    EXPECT_EQ(before, out.Text());
}

TEST(FrameLineRecords, RuleWritesAttributesInOrder) {
    CFrameLineRuleList rules;
    rules.items.push_back(std::make_unique<CFrameLineRule>());
    rules.count = 1;
    CFrameLineRule& r = *rules.items[0];
    r.index = 1;
    r.style = 2;
    r.minLength = 3;
    r.maxLength = 4;
    r.minWidth = 5;
    r.maxWidth = 6;
    r.angle = 90;
    r.color = 8;
    r.quality = 9;
    CXmlDocument out;
    ASSERT_TRUE(rules.Write(FreshOwner(out)));
    const std::u16string t = out.Text();
    const char16_t* order[] = {u"Index=",    u"Style=", u"MinLength=", u"MaxLength=", u"MinWidth=",
                               u"MaxWidth=", u"Angle=", u"Color=",     u"Quality="};
    for (size_t i = 0; i + 1 < 9; ++i) EXPECT_LT(t.find(order[i]), t.find(order[i + 1])) << i;
    CXmlDocument in;
    ParseOwner(in, t);
    CFrameLineRuleList back;
    ASSERT_TRUE(back.Read(in));
    const CFrameLineRule* b = back.Get(0);
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(std::vector<int32_t>({1, 2, 3, 4, 5, 6, 90, 8, 9}),
              std::vector<int32_t>({b->index, b->style, b->minLength, b->maxLength, b->minWidth, b->maxWidth,
                                    b->angle, b->color, b->quality}));
}

TEST(FrameLineRecords, AssignIsDeep) {
    CFrameLineInfo f;
    f.line = std::make_unique<CLine>(PixelLine(1, 2, 3, 4));
    f.line->anchor = std::make_unique<CAnchor>();
    CFrameLineInfo g(f);
    ASSERT_NE(nullptr, g.line);
    EXPECT_NE(f.line.get(), g.line.get());
    ASSERT_NE(nullptr, g.line->anchor);
    EXPECT_NE(f.line->anchor.get(), g.line->anchor.get());
    g.line->startPtX = 99;
    EXPECT_EQ(1, f.line->startPtX);
    g.Assign(g);  // self-assignment keeps everything
    EXPECT_EQ(99, g.line->startPtX);
}

TEST(FrameLineRecords, RulePixelLimitsFollowTheDirection) {
    CFrameLineRule r;
    r.SetImageSize(2000, 3000);
    r.minLength = 1000;
    r.maxLength = 5000;
    r.angle = 0;
    EXPECT_EQ(200, r.MinLengthPx());
    EXPECT_EQ(1000, r.MaxLengthPx());
    r.angle = 45;
    EXPECT_EQ(200, r.MinLengthPx());
    r.angle = 46;
    EXPECT_EQ(300, r.MinLengthPx());
    r.angle = 90;
    EXPECT_EQ(1500, r.MaxLengthPx());
}

struct AcceptCase {
    const char* name;
    int32_t ruleAngle, minLength, maxLength, minWidth, maxWidth, quality;
    int32_t x1, y1, x2, y2;
    double thickness, lineQuality;
    int32_t key;
    bool accepted;
};

TEST(FrameLineRecords, AcceptLineTable) {
    // image 10000 x 10000: ten-thousandths equal pixels
    const AcceptCase cases[] = {
        {"no limits", 0, 0, 0, 0, 0, 0, 0, 0, 100, 0, 3, 0.5, 0, true},
        {"no rule of the direction", 0, 0, 0, 0, 0, 0, 0, 0, 0, 100, 3, 0.9, 90, false},
        {"min length alone sets no limit", 0, 1000, 0, 0, 0, 0, 0, 0, 10, 0, 3, 0.9, 0, true},
        {"length inside", 0, 100, 700, 0, 0, 0, 100, 200, 700, 203, 3, 0.9, 0, true},
        {"length equals max", 0, 100, 600, 0, 0, 0, 100, 200, 700, 203, 3, 0.9, 0, false},
        {"length equals min", 0, 600, 900, 0, 0, 0, 100, 200, 700, 203, 3, 0.9, 0, false},
        {"vertical length from y", 90, 10, 500, 0, 0, 0, 50, 0, 52, 400, 3, 0.9, 90, true},
        {"quality above", 0, 0, 0, 0, 0, 85, 0, 0, 100, 0, 3, 0.86, 0, true},
        {"quality equal", 0, 0, 0, 0, 0, 85, 0, 0, 100, 0, 3, 0.85, 0, false},
        {"width truncated", 0, 0, 0, 2, 4, 0, 0, 0, 100, 0, 4.9, 0.9, 0, true},
        {"width too thick", 0, 0, 0, 2, 4, 0, 0, 0, 100, 0, 5.0, 0.9, 0, false},
        {"width too thin", 0, 0, 0, 2, 4, 0, 0, 0, 100, 0, 1.9, 0.9, 0, false},
    };
    for (const AcceptCase& c : cases) {
        CFrameLineRuleList rules;
        auto r = std::make_unique<CFrameLineRule>();
        r->angle = c.ruleAngle;
        r->minLength = c.minLength;
        r->maxLength = c.maxLength;
        r->minWidth = c.minWidth;
        r->maxWidth = c.maxWidth;
        r->quality = c.quality;
        rules.items.push_back(std::move(r));
        rules.count = 1;
        rules.SetImageSize(10000, 10000);
        DetectedLine d;
        d.x1 = c.x1;
        d.y1 = c.y1;
        d.x2 = c.x2;
        d.y2 = c.y2;
        d.thickness = c.thickness;
        d.quality = c.lineQuality;
        EXPECT_EQ(c.accepted, AcceptLine(&rules, d, c.key)) << c.name;
    }
}

TEST(FrameLineRecords, AcceptLineWithoutRulesAndWithEmptySlots) {
    DetectedLine d;
    d.x2 = 10;
    EXPECT_TRUE(AcceptLine(nullptr, d, 0));
    CFrameLineRuleList empty;
    EXPECT_TRUE(AcceptLine(&empty, d, 90));
    // an empty slot is skipped: the vertical rule after it applies
    CFrameLineRuleList rules;
    rules.items.resize(1);
    auto r = std::make_unique<CFrameLineRule>();
    r->angle = 90;
    r->maxWidth = 2;
    rules.items.push_back(std::move(r));
    rules.count = 2;
    d.thickness = 3;
    EXPECT_FALSE(AcceptLine(&rules, d, 90));
    d.thickness = 2;
    EXPECT_TRUE(AcceptLine(&rules, d, 90));
    EXPECT_FALSE(AcceptLine(&rules, d, 0));
}

TEST(FrameLineRecords, PlaceAnchorComparesThousandths) {
    const CLine matched = PixelLine(100, 200, 300, 200, 1000, 1000);
    struct Case {
        int32_t threshold;
        double similarity;
        bool located;
    } cases[] = {
        {750, 0.76, true}, {750, 0.75, false}, {0, 0.0005, true}, {999, 1.0, true}, {1000, 1.0, false}};
    for (const Case& c : cases) {
        CLine l = PixelLine(0, 0, 10, 0, 1000, 1000);
        l.anchor = std::make_unique<CAnchor>();
        l.anchor->type = 2;  // vertical position
        l.anchor->threshold = c.threshold;
        l.SetImageSize(1000, 1000);
        l.PlaceAnchor(matched, c.similarity);
        EXPECT_EQ(c.located ? 1 : 0, l.anchor->valid) << c.threshold << " " << c.similarity;
        if (c.located) {
            EXPECT_EQ(2000, l.anchor->position);  // y = 200 of 1000
        }
    }
    CLine none = PixelLine(0, 0, 10, 0);
    none.PlaceAnchor(matched, 1.0);  // no anchor: nothing happens
    EXPECT_EQ(nullptr, none.anchor);
}

TEST(FrameLineRecords, ParameterDescriptors) {
    ParameterList list;
    CFrameLineRule r;
    r.ListParameters(list);
    ASSERT_EQ(10u, list.size());
    EXPECT_EQ(u"FrameLineRule", list[0].name);
    EXPECT_EQ(u"Color", list[3].name);
    EXPECT_EQ(u"MinLength", list[5].name);
    EXPECT_EQ(u"Quality", list[9].name);
    EXPECT_EQ(&r.quality, list[9].value);
    CFrameLineInfo f;
    f.ListParameters(list);
    ASSERT_EQ(5u, list.size());
    EXPECT_EQ(u"Angle", list[4].name);
    CLine l;
    l.ListParameters(list);
    ASSERT_EQ(5u, list.size());
    EXPECT_EQ(u"EndPtY", list[4].name);
    EXPECT_EQ(&l.endPtY, list[4].value);
}

}  // namespace

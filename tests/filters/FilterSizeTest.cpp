#include <gtest/gtest.h>

#include "filters/FilterSize.h"
#include "image/Dib.h"
#include "xml/XmlDocument.h"

using namespace libMorvaneClassifier;

namespace {

int Score(int W, int H, int w, int h) {
    CFilterSizeInfo feature, reference;
    feature.physicalWidth = W;
    feature.physicalHeight = H;
    reference.physicalWidth = w;
    reference.physicalHeight = h;
    return feature.Compare(&reference);
}

TEST(FilterSize, CompareWorkedValues) {
    struct Case {
        int W, H, w, h, score;
    } cases[] = {
        {8267, 11692, 8267, 11692, 1000}, {8300, 11700, 8267, 11692, 997},
        {8266, 11693, 8267, 11692, 999},  {5827, 8268, 8267, 11692, 851},
        {11692, 8267, 8267, 11692, 328},  {8267, 11692, 0, 0, 0},  // no reference size
        {8267, 11692, 8267, 0, 0},                                 // zero reference height
        {0, 0, 8267, 11692, 0},                                    // nothing measured: total disagreement
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Score(c.W, c.H, c.w, c.h), c.score) << c.W << "x" << c.H << " vs " << c.w << "x" << c.h;
    }
    // A zero reference width alone gives a total aspect error: only the size
    // term counts, so the score stays below 500.
    EXPECT_EQ(Score(100, 1000, 0, 1000), 450);
    CFilterSizeInfo feature;
    EXPECT_EQ(feature.Compare(nullptr), 0);
}

TEST(FilterSize, MeasuresWithRuntimeOrRuleResolution) {
    CFilterSize filter;
    filter.index = 4;
    auto rule = std::make_unique<CFilterSizeInfo>();
    rule->horiDpi = rule->vertDpi = 200;
    filter.rule = std::move(rule);
    CRawImage page;
    ASSERT_EQ(page.Create(1654, 2339, 8, 600), 1);  // the image's own resolution is not used

    CFilterSizeInfo feature;
    ASSERT_EQ(filter.ExtractFeature(&page, 1, &feature), 0);
    EXPECT_EQ(feature.physicalWidth, 8270);
    EXPECT_EQ(feature.physicalHeight, 11695);
    EXPECT_EQ(feature.refFilter, 4);
    EXPECT_EQ(feature.applicationType, 1);

    filter.horiDpi = 300;  // run-time horizontal only: vertical still from the rule
    ASSERT_EQ(filter.ExtractFeature(&page, 1, &feature), 0);
    EXPECT_EQ(feature.physicalWidth, 5513);
    EXPECT_EQ(feature.physicalHeight, 11695);

    // Averages over several images.
    CRawImage pages[2];
    ASSERT_EQ(pages[0].Create(300, 100, 8, 300), 1);
    ASSERT_EQ(pages[1].Create(301, 200, 8, 300), 1);
    filter.horiDpi = filter.vertDpi = 300;
    ASSERT_EQ(filter.ExtractFeature(pages, 2, &feature), 0);
    EXPECT_EQ(feature.physicalWidth, 1000);
    EXPECT_EQ(feature.physicalHeight, 500);

    // Failures.
    EXPECT_EQ(filter.ExtractFeature(nullptr, 1, &feature), -61);
    EXPECT_EQ(filter.ExtractFeature(&page, 0, &feature), -61);
    EXPECT_EQ(filter.ExtractFeature(&page, 1, nullptr), -61);
    CFilterSizeInfo wrongKind;
    wrongKind.type = 2;
    EXPECT_EQ(filter.ExtractFeature(&page, 1, &wrongKind), -61);
    filter.horiDpi = filter.vertDpi = 0;
    static_cast<CFilterSizeInfo*>(filter.rule.get())->vertDpi = 0;
    EXPECT_EQ(filter.ExtractFeature(&page, 1, &feature), -61);
    EXPECT_EQ(filter.CreateFeature(&page, 1), nullptr);
}

TEST(FilterSize, XmlReadOrderAndRoundTrip) {
    CXmlDocument xml;
    ASSERT_TRUE(
        xml.ParseText(u"<Filter><PixelResolution HoriDpi=\"300\" VertDpi=\"200\"/>"
                      u"<PhysicalSize Width=\"3370\" Height=\"2126\"/></Filter>"));
    ASSERT_TRUE(xml.FindElement(u"Filter"));
    ASSERT_TRUE(xml.EnterElement());
    CFilterSizeInfo info;
    EXPECT_TRUE(info.ReadXml(xml));
    EXPECT_EQ(info.horiDpi, 300);
    EXPECT_EQ(info.vertDpi, 200);
    EXPECT_EQ(info.physicalWidth, 3370);
    EXPECT_EQ(info.physicalHeight, 2126);

    // Elements are searched forward only: a size written before the
    // resolution is not found.
    CXmlDocument reversed;
    ASSERT_TRUE(
        reversed.ParseText(u"<F><PhysicalSize Width=\"1\" Height=\"2\"/>"
                           u"<PixelResolution HoriDpi=\"3\" VertDpi=\"4\"/></F>"));
    ASSERT_TRUE(reversed.FindElement(u"F") && reversed.EnterElement());
    CFilterSizeInfo r;
    EXPECT_TRUE(r.ReadXml(reversed));
    EXPECT_EQ(r.horiDpi, 3);
    EXPECT_EQ(r.physicalWidth, 0);

    // Write, read back, compare.
    CXmlDocument out;
    ASSERT_TRUE(out.ParseText(u"<FilterInfo/>"));
    ASSERT_TRUE(out.FindElement(u"FilterInfo") && out.EnterElement());
    ASSERT_TRUE(info.WriteXml(out));
    CXmlDocument back;
    ASSERT_TRUE(back.ParseText(out.Text()));
    ASSERT_TRUE(back.FindElement(u"FilterInfo") && back.EnterElement());
    CFilterSizeInfo again;
    ASSERT_TRUE(again.ReadXml(back));
    EXPECT_EQ(again.horiDpi, 300);
    EXPECT_EQ(again.vertDpi, 200);
    EXPECT_EQ(again.physicalWidth, 3370);
    EXPECT_EQ(again.physicalHeight, 2126);

    CFilterSizeInfo copy;
    copy.Assign(info);
    EXPECT_EQ(copy.physicalHeight, 2126);
    EXPECT_EQ(copy.vertDpi, 200);
}

TEST(FilterSize, Parameters) {
    CFilterSizeInfo info;
    ParameterList list;
    info.ListParameters(list);
    ASSERT_GE(list.size(), 5u);
    const char16_t* names[] = {u"SizeFilterInfo", u"Width", u"Height", u"VertDpi", u"HoriDpi"};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(list[i].name, names[i]);
    CFilterSize filter;
    filter.ListParameters(list);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].name, u"Size Filter");
}

}  // namespace

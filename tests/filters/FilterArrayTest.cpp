// Factories, filter template files, filter configs and descriptors.
#include <gtest/gtest.h>

#include "filters/FilterArray.h"
#include "filters/FilterFactory.h"
#include "filters/FilterFrameLine.h"
#include "filters/FilterGrid.h"
#include "filters/FilterSize.h"
#include "filters/FilterText.h"
#include "templates/FilterConfig.h"
#include "templates/TemplateTestUtil.h"

namespace libMorvaneClassifier {
namespace {

using test::Descs;
using test::FilterData;
using test::N;
using test::Parse;
using test::U;

TEST(FilterFactory, CreatesTheFourKindsOnly) {
    struct Case {
        int32_t type;
        int32_t applicationType;
        const char* caption;
        const char* infoCaption;
    };
    const Case kinds[] = {
        {1, 1, "Size Filter", "SizeFilterInfo"},
        {2, 1, "Grid Filter", "GridFilterInfo"},
        {3, 1, "FrameLine Filter", "FrameLineFilterInfo"},
        {4, 0, "Text Filter", "TextFilterInfo"},
    };
    for (const Case& k : kinds) {
        SCOPED_TRACE(k.type);
        std::unique_ptr<CFilterBase> f = CreateFilter(k.type);
        ASSERT_TRUE(f);
        EXPECT_EQ(f->type, k.type);
        EXPECT_EQ(f->applicationType, k.applicationType);
        EXPECT_EQ(f->index, 0);
        EXPECT_EQ(f->threshold, 0);
        EXPECT_EQ(f->rule, nullptr);
        EXPECT_EQ(f->steps, nullptr);
        EXPECT_EQ(test::DescriptorsOf(*f), (Descs{{k.caption, 8, nullptr},
                                                  {"Index", 22, &f->index},
                                                  {"Type", 77, &f->type},
                                                  {"Name", 8, &f->name},
                                                  {"ProcessType", 82, &f->processType},
                                                  {"OutputType", 22, &f->outputType},
                                                  {"ApplicationType", 83, &f->applicationType},
                                                  {"Threshold", 22, &f->threshold},
                                                  {"Weight", 22, &f->weight},
                                                  {"ImagePath", 81, &f->imagePath}}));

        std::unique_ptr<CFilterInfoBase> info = CreateFilterInfo(k.type);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->type, k.type);
        EXPECT_EQ(info->refFilter, -1);
        EXPECT_EQ(info->applicationType, 0);
        Descs d = test::DescriptorsOf(*info);
        ASSERT_GE(d.size(), 3u);
        EXPECT_EQ(d.front(), (test::Desc{k.infoCaption, 8, nullptr}));
        EXPECT_EQ(d[d.size() - 2], (test::Desc{"Type", 77, &info->type}));
        EXPECT_EQ(d.back(), (test::Desc{"RefFilter", 22, &info->refFilter}));
    }
    for (int32_t t : {0, 5, 7, 9, -1, 1000}) {
        EXPECT_EQ(CreateFilter(t), nullptr) << t;
        EXPECT_EQ(CreateFilterInfo(t), nullptr) << t;
    }
    CFilterTextInfo text;
    EXPECT_EQ(test::DescriptorsOf(text), (Descs{{"TextFilterInfo", 8, nullptr},
                                                {"Method", 76, &text.method},
                                                {"Type", 77, &text.type},
                                                {"RefFilter", 22, &text.refFilter}}));
}

TEST(FilterArray, LoadsWithSkipRules) {
    CFilterArray array;
    array.baseDir = U("/base/dir/");
    ASSERT_TRUE(array.Load(FilterData("filters.xml")));
    ASSERT_EQ(array.count, 4);  // unknown kind and the filter without BasicProperty are skipped
    std::vector<int32_t> indexes, types;
    for (int32_t i = 0; i < array.count; ++i) {
        indexes.push_back(array.Get(i)->index);
        types.push_back(array.Get(i)->type);
    }
    EXPECT_EQ(indexes, (std::vector<int32_t>{1, 3, 5, 1}));
    EXPECT_EQ(types, (std::vector<int32_t>{1, 4, 3, 2}));

    const CFilterBase* size = array.Find(1);
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size, array.Get(0));  // the first of two with Index 1
    EXPECT_EQ(N(size->name), "size");
    EXPECT_EQ(size->threshold, 750);
    EXPECT_EQ(size->weight, 10);
    EXPECT_EQ(size->processType, 0);
    EXPECT_EQ(size->outputType, 2);
    EXPECT_EQ(size->applicationType, 1);
    EXPECT_EQ(N(size->imagePath), "/base/dir/s/s.jpg");
    EXPECT_EQ(N(size->baseDir), "/base/dir/");
    ASSERT_TRUE(size->rule);
    EXPECT_EQ(size->rule->type, 1);
    EXPECT_EQ(size->rule->refFilter, 1);
    EXPECT_EQ(ImageProcessingCount(size->steps.get()), 0);

    const CFilterBase* text = array.Find(3);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->processType, 1);
    EXPECT_EQ(text->weight, 5);
    EXPECT_EQ(text->applicationType, 0);  // absent attribute reads 0
    EXPECT_EQ(N(text->imagePath), "/base/dir/");
    EXPECT_EQ(ImageProcessingCount(text->steps.get()), 2);
    const auto* rule = dynamic_cast<const CFilterTextInfo*>(text->rule.get());
    ASSERT_NE(rule, nullptr);
    EXPECT_EQ(rule->refFilter, 3);
    EXPECT_EQ(rule->method, 2);
    ASSERT_TRUE(rule->region);
    EXPECT_EQ(rule->region->right, 9000);
    ASSERT_TRUE(rule->textLines);
    EXPECT_EQ(N(rule->textLines->Get(0)->text), "ABC");

    EXPECT_EQ(array.Find(2), nullptr);
    EXPECT_EQ(array.Find(4), nullptr);
    EXPECT_EQ(array.Find(-1), nullptr);
    EXPECT_EQ(array.Get(4), nullptr);

    array.Clear();
    EXPECT_EQ(array.count, 0);
    EXPECT_EQ(array.Find(1), nullptr);
}

TEST(FilterArray, ListRules) {
    struct Case {
        const char* what;
        const char* xml;
        bool ok;
        int32_t count;
    };
    const Case cases[] = {
        {"size 0", "<FilterList Size='0'><Filter Type='1'><BasicProperty Index='1'/></Filter></FilterList>",
         false, 0},
        {"no size", "<FilterList><Filter Type='1'><BasicProperty Index='1'/></Filter></FilterList>", false,
         0},
        {"implausible size",
         "<FilterList Size='2000000000'><Filter Type='1'><BasicProperty/></Filter></FilterList>", false, 0},
        {"wrong root", "<Filters Size='1'><Filter Type='1'><BasicProperty/></Filter></Filters>", false, 0},
        {"no readable filter still loads", "<FilterList Size='2'><Filter Type='8'/><Filter/></FilterList>",
         true, 0},
        {"fewer elements than size",
         "<FilterList Size='5'><Filter Type='1'><BasicProperty/></Filter></FilterList>", true, 1},
        {"more elements than size",
         "<FilterList Size='1'><Filter Type='1'><BasicProperty/></Filter><Filter "
         "Type='1'><BasicProperty/></Filter>"
         "</FilterList>",
         true, 1},
        {"unreadable rule is skipped, the next filter is read",
         "<FilterList Size='2'><Filter Type='2'><BasicProperty Index='1'/><GridDataList Row='0' "
         "Col='2'/></Filter>"
         "<Filter Type='2'><BasicProperty Index='2'/><GridRule Row='2' Col='2'/></Filter></FilterList>",
         true, 1},
        {"rule failing inside its own element, then a good filter",
         "<FilterList Size='2'><Filter Type='2'><BasicProperty Index='1'/><GridDataList Row='1' Col='2'>"
         "<GridData>1,2,3</GridData></GridDataList></Filter>"
         "<Filter Type='2'><BasicProperty Index='2'/></Filter></FilterList>",
         true, 1},
        {"unknown step type keeps the filter without steps",
         "<FilterList Size='1'><Filter Type='1'><BasicProperty Index='4'/><ImageProcessingList Size='1'>"
         "<ImageProcessing Type='5'/></ImageProcessingList></Filter></FilterList>",
         true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CXmlDocument doc;
        ASSERT_TRUE(Parse(doc, c.xml));
        CFilterArray array;
        EXPECT_EQ(array.ReadFrom(doc), c.ok);
        EXPECT_EQ(array.count, c.count);
        EXPECT_EQ(array.filters.size(), static_cast<size_t>(c.count));
    }
    CFilterArray missing;
    EXPECT_FALSE(missing.Load(FilterData("does-not-exist.xml")));
    ParameterList list{ParameterDescriptor{u"x", nullptr, 8, {}}};
    missing.ListParameters(list);
    EXPECT_TRUE(list.empty());
}

TEST(FilterArray, AssignCopiesRuleAndSteps) {
    CFilterArray array;
    ASSERT_TRUE(array.Load(FilterData("filters.xml")));
    CFilterBase* text = array.Find(3);
    ASSERT_NE(text, nullptr);
    text->horiDpi = 300;
    text->vertDpi = 200;
    std::unique_ptr<CFilterBase> copy = CreateFilter(4);
    copy->Assign(*text);
    EXPECT_EQ(copy->index, 3);
    EXPECT_EQ(N(copy->name), "text");
    EXPECT_EQ(copy->processType, 1);
    EXPECT_EQ(copy->weight, 5);
    EXPECT_EQ(copy->horiDpi, 300);
    EXPECT_EQ(copy->vertDpi, 200);
    ASSERT_TRUE(copy->rule);
    EXPECT_NE(copy->rule.get(), text->rule.get());
    const auto* rule = dynamic_cast<const CFilterTextInfo*>(copy->rule.get());
    ASSERT_NE(rule, nullptr);
    EXPECT_EQ(rule->method, 2);
    ASSERT_TRUE(rule->textLines);
    EXPECT_NE(rule->textLines.get(), dynamic_cast<const CFilterTextInfo*>(text->rule.get())->textLines.get());
    ASSERT_TRUE(copy->steps);
    EXPECT_NE(copy->steps.get(), text->steps.get());
    EXPECT_EQ(copy->steps->GetCount(), 2);

    copy->Assign(*copy);  // self-assignment keeps everything
    ASSERT_TRUE(copy->rule);
    EXPECT_EQ(copy->steps->GetCount(), 2);
}

TEST(FilterConfig, ListReadingRules) {
    CXmlDocument doc;
    ASSERT_TRUE(Parse(
        doc,
        "<TemplateGroup><FilterConfigList Size='3'>"
        "<FilterConfig RefFilter='4' FilterThresh='-2' FilterWeight='7' FeatureMode='1' InheritedFilter='9'/>"
        "<FilterConfig RefFilter='5'/>"
        "</FilterConfigList></TemplateGroup>"));
    doc.ResetPosition();
    ASSERT_TRUE(doc.FindElement(u"TemplateGroup"));
    ASSERT_TRUE(doc.EnterElement());
    CFilterConfigList list;
    ASSERT_TRUE(list.ReadFilterConfigList(doc));
    ASSERT_EQ(list.count, 3);
    struct Expect {
        int32_t ref, thresh, weight, mode, inherited;
    };
    const Expect expected[] = {{4, -2, 7, 1, 9}, {5, 0, 0, 0, 0}, {0, 750, 10, 0, -1}};
    for (int32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const CFilterConfig* c = list.Get(i);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->refFilter, expected[i].ref);
        EXPECT_EQ(c->filterThresh, expected[i].thresh);
        EXPECT_EQ(c->filterWeight, expected[i].weight);
        EXPECT_EQ(c->featureMode, expected[i].mode);
        EXPECT_EQ(c->inheritedFilter, expected[i].inherited);
    }
    EXPECT_EQ(list.Get(3), nullptr);
    EXPECT_EQ(list.Get(-1), nullptr);
    EXPECT_FALSE(list.ReadFilterConfigList(doc));  // no further list
    EXPECT_EQ(list.count, 0);

    const std::pair<const char*, bool> sizes[] = {
        {"<R><FilterConfigList Size='0'><FilterConfig/></FilterConfigList></R>", true},
        {"<R><FilterConfigList Size='-3'/></R>", true},
        {"<R><FilterConfigList Size='100001'/></R>", false},
    };
    for (auto [xml, ok] : sizes) {
        SCOPED_TRACE(xml);
        CXmlDocument d;
        ASSERT_TRUE(Parse(d, xml));
        d.ResetPosition();
        ASSERT_TRUE(d.FindElement(u"R") && d.EnterElement());
        CFilterConfigList l;
        EXPECT_EQ(l.ReadFilterConfigList(d), ok);
        EXPECT_EQ(l.count, 0);
    }

    CFilterConfig c;
    EXPECT_EQ(test::DescriptorsOf(c), (Descs{{"FilterConfig", 8, nullptr},
                                             {"RefFilter", 22, &c.refFilter},
                                             {"FilterThresh", 22, &c.filterThresh},
                                             {"FilterWeight", 22, &c.filterWeight},
                                             {"FeatureMode", 92, &c.featureMode},
                                             {"InheritedFilter", 22, &c.inheritedFilter}}));
}

}  // namespace
}  // namespace libMorvaneClassifier

// Main template files, the template-group tree, sub-template lists and
// sub-template files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "filters/FilterFactory.h"
#include "filters/FilterText.h"
#include "templates/FilterConfig.h"
#include "templates/FilterInfoBase.h"
#include "templates/FilterScore.h"
#include "templates/MainTemplate.h"
#include "templates/SubTemplateList.h"
#include "templates/TemplateGroup.h"
#include "templates/TemplateTestUtil.h"

namespace libMorvaneClassifier {
namespace {

using test::Descs;
using test::N;
using test::Parse;
using test::TemplateData;
using test::U;

std::string DataDir(const std::string& rel) {
    return std::string(MORVANE_TEST_DIR) + "/templates/data/" + rel;
}

std::vector<std::string> GroupNames(const CMainTemplate& m) {
    std::vector<std::string> names;
    for (const CTemplateGroup* g : m.groups) names.push_back(N(g->name));
    return names;
}

// Loads the basic set: main template, sub-template list, binding.
struct BasicSet {
    CMainTemplate main;
    CSubTemplateList subs;
    bool Load() {
        if (!main.Load(TemplateData("basic/main.xml"))) return false;
        subs.templateDir = main.subTemplatePath;
        subs.imageDir = main.imagePath;
        if (!subs.Load(main.subTemplateListPath, FilterKinds())) return false;
        main.BindAttachments(subs);
        return true;
    }
    CTemplateGroup* Group(const std::string& name) {
        for (CTemplateGroup* g : main.groups)
            if (N(g->name) == name) return g;
        return nullptr;
    }
};

TEST(MainTemplate, LoadsPathsChainAndTree) {
    CMainTemplate m;
    ASSERT_TRUE(m.Load(TemplateData("basic/main.xml")));
    const std::string dir = DataDir("basic/");
    EXPECT_EQ(N(m.directory), dir);
    EXPECT_EQ(N(m.filterTemplatePath), dir + "filters.xml");
    EXPECT_EQ(N(m.subTemplateListPath), dir + "subs.xml");
    EXPECT_EQ(N(m.subTemplatePath), dir + "sub/");  // backslash normalised
    EXPECT_EQ(N(m.imagePath), dir + "img/");
    EXPECT_FALSE(m.shortcut);
    ASSERT_TRUE(m.steps);
    EXPECT_EQ(m.steps->GetCount(), 1);

    ASSERT_TRUE(m.root);
    EXPECT_EQ(GroupNames(m), (std::vector<std::string>{"root", "A", "A1", "A2", "B"}));
    const CTemplateGroup& root = *m.root;
    EXPECT_EQ(root.parent, nullptr);
    EXPECT_EQ(root.childCount, 2);
    EXPECT_EQ(root.action, 0);            // absent attribute reads 0
    EXPECT_EQ(root.attachedTemplate, 0);  // likewise
    ASSERT_EQ(root.FilterConfigCount(), 1);
    EXPECT_EQ(root.FilterConfig(0)->refFilter, 1);
    EXPECT_EQ(root.FilterConfig(1), nullptr);

    const CTemplateGroup* a = root.Child(0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->parent, &root);
    EXPECT_EQ(a->index, 1);
    EXPECT_EQ(a->action, 1);
    EXPECT_EQ(a->attachedTemplate, 10);
    EXPECT_EQ(N(a->imagePath), dir + "img/a/a.jpg");
    EXPECT_EQ(N(a->subTemplateDir), dir + "sub/");
    EXPECT_EQ(N(a->imageDir), dir + "img/");
    // Config list of size 2 with one element: the second takes the defaults.
    ASSERT_EQ(a->FilterConfigCount(), 2);
    const CFilterConfig* c0 = a->FilterConfig(0);
    EXPECT_EQ(c0->refFilter, 3);
    EXPECT_EQ(c0->filterThresh, 600);
    EXPECT_EQ(c0->filterWeight, 5);
    EXPECT_EQ(c0->featureMode, 1);
    EXPECT_EQ(c0->inheritedFilter, 1);
    const CFilterConfig* c1 = a->FilterConfig(1);
    EXPECT_EQ(c1->refFilter, 0);
    EXPECT_EQ(c1->filterThresh, 750);
    EXPECT_EQ(c1->filterWeight, 10);
    EXPECT_EQ(c1->featureMode, 0);
    EXPECT_EQ(c1->inheritedFilter, -1);

    const CTemplateGroup* b = root.Child(1);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->action, 0);
    EXPECT_EQ(b->FilterConfigCount(), 0);  // no list at all
    EXPECT_EQ(b->filterConfigs, nullptr);
    EXPECT_EQ(b->childCount, 0);
    EXPECT_EQ(b->ValidChildCount(), 0);
    EXPECT_EQ(root.Child(2), nullptr);
    EXPECT_EQ(root.Child(-1), nullptr);
    for (const CTemplateGroup* g : m.groups) {
        EXPECT_TRUE(g->valid);
        EXPECT_EQ(g->attached, nullptr);  // bound only by BindAttachments
        EXPECT_EQ(g->score, nullptr);
    }
}

TEST(MainTemplate, BindMarkAndSetValid) {
    BasicSet set;
    ASSERT_TRUE(set.Load());
    ASSERT_EQ(set.subs.count, 4);
    EXPECT_EQ(set.main.root->attached, nullptr);  // the root is never bound
    EXPECT_EQ(N(set.Group("A")->attached->id), "A");
    EXPECT_EQ(N(set.Group("A1")->attached->id), "A1");
    EXPECT_EQ(N(set.Group("B")->attached->id), "B");

    set.main.SetAllValid(false);
    for (const CTemplateGroup* g : set.main.groups) EXPECT_FALSE(g->valid);
    set.main.MarkValid(u"nobody");
    for (const CTemplateGroup* g : set.main.groups) EXPECT_FALSE(g->valid);

    set.main.MarkValid(u"A2");
    EXPECT_TRUE(set.Group("A2")->valid);
    EXPECT_TRUE(set.Group("A")->valid);
    EXPECT_TRUE(set.Group("root")->valid);
    EXPECT_FALSE(set.Group("A1")->valid);
    EXPECT_FALSE(set.Group("B")->valid);
    EXPECT_EQ(set.main.root->ValidChildCount(), 1);

    set.main.MarkValid(u"a1");  // comparison is case-sensitive
    EXPECT_FALSE(set.Group("A1")->valid);

    set.main.SetAllValid(true);
    for (const CTemplateGroup* g : set.main.groups) EXPECT_TRUE(g->valid);
}

TEST(MainTemplate, MarkValidThreeLevelsDeep) {
    CXmlDocument doc;
    ASSERT_TRUE(Parse(doc,
                      "<MainTemplate><FilterTemplatePath>f</FilterTemplatePath><SubTemplateListPath>s"
                      "</SubTemplateListPath><SubTemplatePath/><ImagePath/>"
                      "<TemplateGroup Name='r' ChildNum='2'>"
                      "  <TemplateGroup Name='x' ChildNum='2' AttachedTemplate='1'>"
                      "    <TemplateGroup Name='x1' ChildNum='1' AttachedTemplate='2'>"
                      "      <TemplateGroup Name='leaf' AttachedTemplate='3'/></TemplateGroup>"
                      "    <TemplateGroup Name='x2' AttachedTemplate='4'/></TemplateGroup>"
                      "  <TemplateGroup Name='y' AttachedTemplate='5'/>"
                      "</TemplateGroup></MainTemplate>"));
    CMainTemplate m;
    ASSERT_TRUE(m.ReadFrom(doc));
    EXPECT_EQ(GroupNames(m), (std::vector<std::string>{"r", "x", "x1", "leaf", "x2", "y"}));
    CSubTemplateList subs;
    for (int32_t i = 1; i <= 5; ++i) {
        auto s = std::make_unique<CSubTemplate>();
        s->index = i;
        s->id = U("id" + std::to_string(i));
        subs.items.push_back(std::move(s));
    }
    subs.count = 5;
    m.BindAttachments(subs);
    m.SetAllValid(false);
    m.MarkValid(u"id3");
    std::vector<bool> valid;
    for (const CTemplateGroup* g : m.groups) valid.push_back(g->valid);
    EXPECT_EQ(valid, (std::vector<bool>{true, true, true, true, false, false}));
}

TEST(MainTemplate, ReadFailuresAndTolerances) {
    const std::string head =
        "<MainTemplate><FilterTemplatePath>f</FilterTemplatePath><SubTemplateListPath>s</SubTemplateListPath>"
        "<SubTemplatePath>t\\</SubTemplatePath><ImagePath>i\\</ImagePath>";
    struct Case {
        const char* what;
        std::string xml;
        bool ok;
        size_t groups;
    };
    const Case cases[] = {
        {"no root group", head + "</MainTemplate>", false, 0},
        {"wrong root element", "<Main>" + head.substr(14) + "<TemplateGroup/></Main>", false, 0},
        {"missing path element",
         "<MainTemplate><FilterTemplatePath>f</FilterTemplatePath><SubTemplatePath/><ImagePath/>"
         "<TemplateGroup/></MainTemplate>",
         false, 0},
        {"paths out of order",
         "<MainTemplate><SubTemplateListPath>s</SubTemplateListPath><FilterTemplatePath>f</"
         "FilterTemplatePath>"
         "<SubTemplatePath/><ImagePath/><TemplateGroup/></MainTemplate>",
         false, 0},
        {"fewer children than ChildNum",
         head + "<TemplateGroup ChildNum='3'><TemplateGroup/><TemplateGroup/></TemplateGroup></MainTemplate>",
         false, 0},
        {"grandchild missing",
         head + "<TemplateGroup ChildNum='1'><TemplateGroup ChildNum='1'/></TemplateGroup></MainTemplate>",
         false, 0},
        {"root ChildNum -1 is refused (no page could be classified)",
         head + "<TemplateGroup ChildNum='-1'><TemplateGroup/></TemplateGroup></MainTemplate>", false, 0},
        {"ChildNum -1 below the root is a final group",
         head + "<TemplateGroup ChildNum='1'><TemplateGroup ChildNum='-1'><TemplateGroup/></TemplateGroup>"
                "</TemplateGroup></MainTemplate>",
         true, 2},
        {"extra children are not read",
         head + "<TemplateGroup ChildNum='1'><TemplateGroup/><TemplateGroup/></TemplateGroup></MainTemplate>",
         true, 2},
        {"implausible ChildNum",
         head + "<TemplateGroup ChildNum='2000000000'><TemplateGroup/></TemplateGroup></MainTemplate>", false,
         0},
        {"implausible FilterConfigList size keeps no configs",
         head + "<TemplateGroup><FilterConfigList Size='2000000000'/></TemplateGroup></MainTemplate>", true,
         1},
        {"unknown step type drops the chain only",
         head + "<ImageProcessingList Size='2'><ImageProcessing Type='1'/><ImageProcessing Type='5'/>"
                "</ImageProcessingList><TemplateGroup "
                "ChildNum='1'><TemplateGroup/></TemplateGroup></MainTemplate>",
         true, 2},
        {"other elements between are skipped",
         "<MainTemplate><X/><FilterTemplatePath>f</FilterTemplatePath><Y/><SubTemplateListPath>s</"
         "SubTemplateListPath>"
         "<SubTemplatePath/><Z><TemplateGroup/></Z><ImagePath/><TemplateGroup "
         "ChildNum='1'><Q/><TemplateGroup/>"
         "</TemplateGroup></MainTemplate>",
         true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CXmlDocument doc;
        ASSERT_TRUE(Parse(doc, c.xml));
        CMainTemplate m;
        EXPECT_EQ(m.ReadFrom(doc), c.ok);
        if (c.ok) {
            ASSERT_TRUE(m.root);
            EXPECT_EQ(m.groups.size(), c.groups);
            EXPECT_EQ(m.root->FilterConfigCount(), 0);
            EXPECT_EQ(ImageProcessingCount(m.steps.get()), 0);
        }
    }
}

TEST(MainTemplate, UnreadableFilesFail) {
    CMainTemplate m;
    EXPECT_FALSE(m.Load(TemplateData("does-not-exist.xml")));
    EXPECT_FALSE(m.Load(TemplateData("basic/subs.xml")));  // no MainTemplate element
}

// Restores the working directory when a test changed it.
struct CurrentDir {
    std::string saved;
    CurrentDir() {
        char buf[PATH_MAX];
        if (getcwd(buf, sizeof buf)) saved = buf;
    }
    ~CurrentDir() {
        if (!saved.empty() && chdir(saved.c_str()) != 0) ADD_FAILURE() << "cannot restore " << saved;
    }
};

TEST(MainTemplate, PathWithoutSeparatorIsRelativeToCurrentDirectory) {
    CurrentDir restore;
    ASSERT_EQ(chdir(DataDir("basic").c_str()), 0);
    CMainTemplate m;
    ASSERT_TRUE(m.Load(u"main.xml"));
    EXPECT_EQ(N(m.directory), "");
    EXPECT_EQ(N(m.filterTemplatePath), "filters.xml");
    EXPECT_EQ(N(m.subTemplatePath), "sub/");
    CSubTemplateList subs;
    subs.templateDir = m.subTemplatePath;
    subs.imageDir = m.imagePath;
    ASSERT_TRUE(subs.Load(m.subTemplateListPath, FilterKinds()));
    EXPECT_EQ(subs.count, 4);
    EXPECT_EQ(N(subs.Get(0)->imagePath), "img/a.jpg");
}

TEST(MainTemplate, Utf16AndGb2312Files) {
    CMainTemplate m;
    ASSERT_TRUE(m.Load(TemplateData("encodings/main.xml")));
    EXPECT_EQ(N(m.imagePath), DataDir("encodings/") + "图像/");
    EXPECT_EQ(GroupNames(m), (std::vector<std::string>{"根", "身份证", "护照"}));
    CSubTemplateList subs;
    subs.templateDir = m.subTemplatePath;
    subs.imageDir = m.imagePath;
    ASSERT_TRUE(subs.Load(m.subTemplateListPath, FilterKinds()));  // UTF-16 big-endian list
    ASSERT_EQ(subs.count, 2);
    EXPECT_EQ(N(subs.Get(0)->id), "身份证");  // GB2312 file
    EXPECT_EQ(N(subs.Get(0)->name), "居民身份证");
    EXPECT_EQ(N(subs.Get(0)->imagePath), DataDir("encodings/") + "图像/证.jpg");
    EXPECT_EQ(N(subs.Get(1)->name), "普通护照");  // UTF-16 little-endian file
    m.BindAttachments(subs);
    m.SetAllValid(false);
    m.MarkValid(U("护照"));
    EXPECT_FALSE(m.groups[1]->valid);
    EXPECT_TRUE(m.groups[2]->valid);
    EXPECT_TRUE(m.groups[0]->valid);
}

// A chain of nested groups thousands deep: read, walk, mark and delete
// without recursion.
TEST(MainTemplate, DeepTreeIsHandledIteratively) {
    const int depth = 20000;
    std::string xml =
        "<MainTemplate><FilterTemplatePath/><SubTemplateListPath/><SubTemplatePath/><ImagePath/>";
    for (int i = 0; i < depth; ++i) xml += "<TemplateGroup ChildNum='1' AttachedTemplate='7'>";
    xml += "<TemplateGroup AttachedTemplate='9'/>";
    for (int i = 0; i < depth; ++i) xml += "</TemplateGroup>";
    xml += "</MainTemplate>";
    CXmlDocument doc;
    ASSERT_TRUE(Parse(doc, xml));
    auto m = std::make_unique<CMainTemplate>();
    ASSERT_TRUE(m->ReadFrom(doc));
    ASSERT_EQ(m->groups.size(), static_cast<size_t>(depth + 1));
    EXPECT_EQ(m->groups.back()->childCount, 0);
    EXPECT_EQ(m->groups.back()->parent, m->groups[depth - 1]);

    CSubTemplateList subs;
    auto leafSub = std::make_unique<CSubTemplate>();
    leafSub->index = 9;
    leafSub->id = u"leaf";
    subs.items.push_back(std::move(leafSub));
    subs.count = 1;
    m->BindAttachments(subs);
    m->SetAllValid(false);
    m->MarkValid(u"leaf");
    for (const CTemplateGroup* g : m->groups) ASSERT_TRUE(g->valid);
    m.reset();  // deleting the tree must not recurse either
}

// Lists that each declare just under the per-list limit still share one
// budget per file: once it is spent, further lists read as malformed.
TEST(MainTemplate, DeclaredListLengthsShareOneBudgetPerFile) {
    std::string xml =
        "<MainTemplate><FilterTemplatePath/><SubTemplateListPath/><SubTemplatePath/><ImagePath/>"
        "<TemplateGroup ChildNum='10'><FilterConfigList Size='99999'/>";
    for (int i = 0; i < 10; ++i) xml += "<TemplateGroup><FilterConfigList Size='99999'/></TemplateGroup>";
    xml += "</TemplateGroup></MainTemplate>";
    CXmlDocument doc;
    ASSERT_TRUE(Parse(doc, xml));
    CMainTemplate m;
    ASSERT_TRUE(m.ReadFrom(doc));
    ASSERT_EQ(m.groups.size(), 11u);
    for (size_t i = 0; i < 10; ++i) EXPECT_EQ(m.groups[i]->FilterConfigCount(), 99999) << i;
    EXPECT_EQ(m.groups[10]->filterConfigs, nullptr);
    // A second read of the same document starts with a fresh budget.
    CMainTemplate again;
    ASSERT_TRUE(again.ReadFrom(doc));
    EXPECT_EQ(again.groups[9]->FilterConfigCount(), 99999);
}

TEST(MainTemplate, Descriptors) {
    CMainTemplate m;
    EXPECT_EQ(test::DescriptorsOf(m), (Descs{{"MainTemplate", 8, nullptr},
                                             {"FilterTemplatePath", 8, &m.filterTemplatePath},
                                             {"SubTemplatePath", 81, &m.subTemplatePath},
                                             {"ImagePath", 81, &m.imagePath}}));
    CTemplateGroup g;
    EXPECT_EQ(test::DescriptorsOf(g), (Descs{{"TemplateGroup", 8, nullptr},
                                             {"Index", 22, &g.index},
                                             {"Name", 8, &g.name},
                                             {"ImagePath", 81, &g.imagePath},
                                             {"Action", 78, &g.action}}));
    CSubTemplate s;
    EXPECT_EQ(test::DescriptorsOf(s), (Descs{{"SubTemplate", 8, nullptr},
                                             {"Index", 22, &s.index},
                                             {"ID", 8, &s.id},
                                             {"Name", 8, &s.name},
                                             {"ImagePath", 81, &s.imagePath},
                                             {"OutputID", 8, &s.outputId}}));
}

TEST(TemplateGroup, ConstructorValuesAndScoreRecord) {
    CTemplateGroup g;
    EXPECT_EQ(g.action, 1);
    EXPECT_EQ(g.attachedTemplate, -1);
    EXPECT_TRUE(g.valid);
    EXPECT_EQ(g.score, nullptr);
    FilterScore& s = g.Score();
    EXPECT_EQ(s.score, 0);
    EXPECT_TRUE(s.passed);
    s.score = 5;
    EXPECT_EQ(&g.Score(), &s);  // created once
    EXPECT_EQ(g.Score().score, 5);
}

// ---- sub-template lists ----

TEST(SubTemplateList, LoadsFilesInOrderWithDirectories) {
    BasicSet set;
    ASSERT_TRUE(set.Load());
    const std::string dir = DataDir("basic/");
    std::vector<int32_t> indexes;
    for (int32_t i = 0; i < set.subs.count; ++i) indexes.push_back(set.subs.Get(i)->index);
    EXPECT_EQ(indexes, (std::vector<int32_t>{10, 11, 12, 20}));
    const CSubTemplate* a = set.subs.FindByIndex(10);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(N(a->id), "A");
    EXPECT_EQ(N(a->name), "Family A");
    EXPECT_EQ(N(a->outputId), "7");
    EXPECT_EQ(N(a->imageDir), dir + "img/");
    EXPECT_EQ(N(a->imagePath), dir + "img/a.jpg");
    EXPECT_EQ(set.subs.FindByIndex(13), nullptr);
    EXPECT_EQ(set.subs.PositionOf(set.subs.FindByIndex(20)), 3);
    EXPECT_EQ(set.subs.PositionOf(nullptr), -1);
    CSubTemplate stranger;
    stranger.index = 12;  // same Index as an item: its position
    EXPECT_EQ(set.subs.PositionOf(&stranger), 2);
    stranger.index = 99;
    EXPECT_EQ(set.subs.PositionOf(&stranger), -1);
    EXPECT_EQ(set.subs.Get(4), nullptr);
    EXPECT_EQ(set.subs.Get(-1), nullptr);
}

TEST(SubTemplateList, ListRules) {
    struct Case {
        const char* what;
        std::string xml;
        bool ok;
        std::vector<int32_t> indexes;
    };
    const Case cases[] = {
        {"size 2 without elements is an empty list", "<SubTemplateList Size='2'/>", true, {}},
        {"size 0 fails",
         "<SubTemplateList Size='0'><SubTemplate>a.xml</SubTemplate></SubTemplateList>",
         false,
         {}},
        {"no size fails", "<SubTemplateList><SubTemplate>a.xml</SubTemplate></SubTemplateList>", false, {}},
        {"implausible size fails", "<SubTemplateList Size='2000000000'/>", false, {}},
        {"wrong root fails", "<List Size='1'><SubTemplate>a.xml</SubTemplate></List>", false, {}},
        {"duplicate Index keeps the first",
         "<SubTemplateList Size='3'><SubTemplate>a1.xml</SubTemplate><SubTemplate>dup11.xml</SubTemplate>"
         "<SubTemplate>b.xml</SubTemplate></SubTemplateList>",
         true,
         {11, 20}},
        {"extra elements are not read",
         "<SubTemplateList "
         "Size='1'><SubTemplate>b.xml</SubTemplate><SubTemplate>a1.xml</SubTemplate></SubTemplateList>",
         true,
         {20}},
        {"a file that fails to load fails the list",
         "<SubTemplateList Size='2'><SubTemplate>a1.xml</SubTemplate><SubTemplate>missing.xml</SubTemplate>"
         "</SubTemplateList>",
         false,
         {}},
        {"a file without SubTemplate fails the list",
         "<SubTemplateList Size='1'><SubTemplate>not_a_sub.xml</SubTemplate></SubTemplateList>",
         false,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CXmlDocument doc;
        ASSERT_TRUE(Parse(doc, c.xml));
        CSubTemplateList subs;
        subs.templateDir = TemplateData("list/");
        EXPECT_EQ(subs.ReadFrom(doc, FilterKinds()), c.ok);
        std::vector<int32_t> indexes;
        for (const auto& s : subs.items) indexes.push_back(s->index);
        EXPECT_EQ(indexes, c.indexes);
        EXPECT_EQ(subs.count, static_cast<int32_t>(c.indexes.size()));
    }
}

TEST(SubTemplateList, GroupsOfAnEmptyListBindToNothing) {
    CMainTemplate m;
    ASSERT_TRUE(m.Load(TemplateData("basic/main.xml")));
    CSubTemplateList empty;
    m.BindAttachments(empty);
    for (const CTemplateGroup* g : m.groups) EXPECT_EQ(g->attached, nullptr);
}

// ---- sub-template files ----

TEST(SubTemplate, ReadsInfosAnchorsAndCollectsAnchorsInOrder) {
    BasicSet set;
    ASSERT_TRUE(set.Load());
    const CSubTemplate* a = set.subs.FindByIndex(10);
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(a->filterInfos);
    ASSERT_EQ(a->filterInfos->count, 2);
    const CFilterInfoBase* size = a->FindFilterInfo(1);
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->type, 1);
    const auto* text = dynamic_cast<const CFilterTextInfo*>(a->FindFilterInfo(3));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->refFilter, 3);
    EXPECT_EQ(text->method, 2);
    ASSERT_TRUE(text->textLines);
    EXPECT_EQ(N(text->textLines->Get(0)->text), "ABC");
    EXPECT_EQ(a->FindFilterInfo(2), nullptr);
    // The text line's region anchor first, then the sub-template's own anchors.
    std::vector<int32_t> ids;
    for (const CAnchor* an : a->GetAnchors()) ids.push_back(an->id);
    EXPECT_EQ(ids, (std::vector<int32_t>{5, 1, 2}));
    EXPECT_EQ(a->GetAnchors()[0], text->textLines->Get(0)->region->anchorList->Get(0));
}

TEST(SubTemplate, FilterInfoListFailuresDropOnlyTheInfos) {
    struct Case {
        const char* what;
        std::string body;
        bool infos;
    };
    const Case cases[] = {
        {"good list", "<FilterInfoList Size='1'><FilterInfo RefFilter='2' Type='2'/></FilterInfoList>", true},
        {"size 0 keeps an empty list", "<FilterInfoList Size='0'/>", true},
        {"unknown Type",
         "<FilterInfoList Size='2'><FilterInfo RefFilter='1' Type='1'/><FilterInfo "
         "Type='9'/></FilterInfoList>",
         false},
        {"fewer elements than Size",
         "<FilterInfoList Size='2'><FilterInfo RefFilter='1' Type='1'/></FilterInfoList>", false},
        {"implausible size", "<FilterInfoList Size='2000000000'><FilterInfo Type='1'/></FilterInfoList>",
         false},
        {"record that cannot be read",
         "<FilterInfoList Size='2'><FilterInfo RefFilter='1' Type='1'/><FilterInfo RefFilter='2' Type='2'>"
         "<GridDataList Row='1' "
         "Col='2'><GridData>1,2,3</GridData></GridDataList></FilterInfo></FilterInfoList>",
         false},
        {"missing list", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CXmlDocument doc;
        ASSERT_TRUE(Parse(doc, "<SubTemplate Index='4' ID='x'>" + c.body +
                                   "<AnchorList Size='1'><Anchor ID='3'/></AnchorList></SubTemplate>"));
        CSubTemplate s;
        ASSERT_TRUE(s.ReadFrom(doc, FilterKinds()));
        EXPECT_EQ(s.index, 4);
        EXPECT_EQ(s.filterInfos != nullptr, c.infos);
        if (!c.infos) {
            EXPECT_EQ(s.FindFilterInfo(1), nullptr);
        }
        ASSERT_TRUE(s.anchorList);  // later elements are still found
        ASSERT_EQ(s.anchors.size(), 1u);
        EXPECT_EQ(s.anchors[0]->id, 3);
    }
    CSubTemplate missing;
    CXmlDocument doc;
    ASSERT_TRUE(Parse(doc, "<Other/>"));
    EXPECT_FALSE(missing.ReadFrom(doc, FilterKinds()));
    EXPECT_FALSE(missing.Load(TemplateData("does-not-exist.xml"), FilterKinds()));
}

TEST(SubTemplate, StoredFeaturesReplaceByFilterIndex) {
    CSubTemplate s;
    EXPECT_EQ(s.FindStoredFeature(3), nullptr);
    CFilterTextInfo f1;
    f1.refFilter = 3;
    f1.method = 4;
    s.StoreFeature(f1, FilterKinds());
    ASSERT_TRUE(s.storedFeatures);
    CFilterTextInfo f2;
    f2.refFilter = 3;
    f2.method = 5;
    s.StoreFeature(f2, FilterKinds());
    CFilterTextInfo f3;
    f3.refFilter = 8;
    s.StoreFeature(f3, FilterKinds());
    EXPECT_EQ(s.storedFeatures->count, 2);
    const auto* stored = dynamic_cast<const CFilterTextInfo*>(s.FindStoredFeature(3));
    ASSERT_NE(stored, nullptr);
    EXPECT_NE(stored, &f2);
    EXPECT_EQ(stored->method, 5);
    EXPECT_NE(s.FindStoredFeature(8), nullptr);
    s.ClearStoredFeatures();
    EXPECT_EQ(s.storedFeatures, nullptr);
    EXPECT_EQ(s.FindStoredFeature(3), nullptr);
}

}  // namespace
}  // namespace libMorvaneClassifier

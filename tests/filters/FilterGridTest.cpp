// The grid filter: cell counting, reading and writing its records, scoring
// and measuring through the common scheme.
#include <gtest/gtest.h>

#include <vector>

#include "core/ResultCodes.h"
#include "filters/FilterGrid.h"
#include "image/Dib.h"
#include "preprocess/ImageProcessingInfo.h"
#include "templates/SubTemplate.h"
#include "templates/TemplateGroup.h"
#include "templates/TemplateTestUtil.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {
namespace {

CRawImage Binary(int w, int h, bool (*black)(int, int)) {
    CRawImage img;
    img.Create(w, h, 1, 300);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (black(x, y)) img.Row(y)[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    return img;
}

std::vector<int32_t> Count(const CRawImage& img, int r, int k) {
    std::vector<int32_t> out(static_cast<size_t>(r) * k, -1);
    EXPECT_TRUE(CountGridCells(img, r, k, out.data()));
    return out;
}

TEST(GridCount, CellsSpanWholeBytesAndRows) {
    // 64 x 64 (8 bytes a row), 2 x 2: each cell is 32 rows by 4 bytes.
    CRawImage img = Binary(64, 64, [](int x, int y) {
        return (x < 32 && y < 32) || (x >= 60 && y >= 60) || (x == 31 && y == 32) || (x == 32 && y == 31);
    });
    EXPECT_EQ(Count(img, 2, 2), (std::vector<int32_t>{1024, 1, 1, 16}));
    // 33 rows, 4 grid rows: cells of 8 rows; row 32 belongs to no cell.
    CRawImage tall = Binary(16, 33, [](int x, int y) { return y == 32 || (y == 31 && x < 3); });
    EXPECT_EQ(Count(tall, 4, 1), (std::vector<int32_t>{0, 0, 0, 3}));
    // Bytes past the last whole cell belong to no cell: 8 bytes in 3
    // columns of 2 bytes leave bytes 6 and 7 out.
    CRawImage wide = Binary(64, 4, [](int x, int) { return x >= 48 || x == 0; });
    EXPECT_EQ(Count(wide, 1, 3), (std::vector<int32_t>{4, 0, 0}));
    // Padding bytes at the end of a row count as part of the row.
    CRawImage padded = Binary(20, 2, [](int, int) { return false; });
    padded.Row(0)[3] = 0xFF;
    EXPECT_EQ(Count(padded, 1, 1), (std::vector<int32_t>{8}));
    // More grid rows than image rows: every cell is empty.
    EXPECT_EQ(Count(tall, 40, 2), std::vector<int32_t>(80, 0));
}

TEST(GridCount, RefusesOtherImagesAndSizes) {
    CRawImage gray;
    gray.Create(8, 8, 8, 300);
    int32_t out[4] = {7, 7, 7, 7};
    EXPECT_FALSE(CountGridCells(gray, 2, 2, out));
    CRawImage bin = Binary(8, 8, [](int, int) { return true; });
    EXPECT_FALSE(CountGridCells(bin, 0, 2, out));
    EXPECT_FALSE(CountGridCells(bin, 2, -1, out));
    EXPECT_FALSE(CountGridCells(bin, 4097, 1, out));
    EXPECT_EQ(out[0], 7);
}

std::unique_ptr<CFilterGridInfo> Grid(int32_t rows, int32_t cols, int32_t aver, std::vector<int32_t> cells) {
    auto g = std::make_unique<CFilterGridInfo>();
    g->rows = rows;
    g->cols = cols;
    g->averDensity = aver;
    g->densities = std::move(cells);
    g->densityCount = static_cast<int32_t>(g->densities.size());
    return g;
}

TEST(GridCompare, WorkedScores) {
    struct Case {
        const char* what;
        int32_t fr, fc, fa;
        std::vector<int32_t> f;
        int32_t rr, rc, ra;
        std::vector<int32_t> r;
        int32_t score;
    } cases[] = {
        {"same grid", 2, 2, 5, {10, 0, 0, 10}, 2, 2, 5, {10, 0, 0, 10}, 1000},
        {"orthogonal grid", 2, 2, 5, {10, 0, 0, 10}, 2, 2, 5, {0, 10, 10, 0}, 0},
        {"density 5 against 40", 2, 2, 5, {10, 0, 0, 10}, 2, 2, 40, {10, 0, 0, 10}, 142},
        {"density 40 against 5", 2, 2, 40, {10, 0, 0, 10}, 2, 2, 5, {10, 0, 0, 10}, 142},
        {"density 5 against 30", 2, 2, 5, {10, 0, 0, 10}, 2, 2, 30, {10, 0, 0, 10}, 1000},
        {"density 0 against 3", 2, 2, 0, {10, 0, 0, 10}, 2, 2, 3, {10, 0, 0, 10}, 0},
        {"both densities 0", 2, 2, 0, {10, 0, 0, 10}, 2, 2, 0, {10, 0, 0, 10}, 1000},
        {"half overlap", 1, 2, 5, {1, 1}, 1, 2, 5, {1, 0}, 707},
        {"all zero feature", 2, 2, 5, {0, 0, 0, 0}, 2, 2, 5, {1, 2, 3, 4}, 0},
        // 3 x 3 against 2 x 4: the top-left 2 x 3 block decides, the rest is
        // ignored.
        {"3x3 against 2x4", 3, 3, 5, {1, 2, 3, 9, 9, 9, 7, 7, 7}, 2, 4, 5, {1, 2, 3, 50, 9, 9, 9, 50}, 1000},
        {"3x3 against 2x4 differing",
         3,
         3,
         5,
         {1, 2, 3, 9, 9, 9, 7, 7, 7},
         2,
         4,
         5,
         {3, 2, 1, 0, 9, 9, 9, 0},
         984},
        {"empty reference", 2, 2, 5, {10, 0, 0, 10}, 0, 0, 5, {}, 0},
    };
    for (const Case& c : cases) {
        auto f = Grid(c.fr, c.fc, c.fa, c.f);
        auto r = Grid(c.rr, c.rc, c.ra, c.r);
        EXPECT_EQ(f->Compare(r.get()), c.score) << c.what;
    }
    auto f = Grid(1, 1, 1, {1});
    EXPECT_EQ(f->Compare(nullptr), 0);
}

TEST(GridRow, Tokens) {
    struct Case {
        const char16_t* text;
        int32_t cols;
        bool ok;
        std::vector<int32_t> values;
    } cases[] = {
        {u"1,2,3", 3, true, {1, 2, 3}},
        {u"1,,3", 3, true, {1, 0, 3}},
        {u"1,2,3,", 3, true, {1, 2, 3}},
        {u"5,6,,", 3, true, {5, 6, 0}},
        {u",5", 1, true, {0}},
        {u",5", 2, false, {}},
        {u" 7,-3,+4", 3, true, {7, -3, 4}},
        {u"12a,3", 2, true, {12, 3}},
        {u"a,b", 2, true, {0, 0}},
        {u"1,2", 3, false, {}},
        {u"1,2,3,4", 3, false, {}},
        {u"", 1, false, {}},
        {u"9", 1, true, {9}},
        {u"1, 2", 2, true, {1, 2}},
    };
    for (const Case& c : cases) {
        std::vector<int32_t> out(static_cast<size_t>(c.cols) + 1, -77);
        EXPECT_EQ(CFilterGridInfo::ParseGridRow(c.text, c.cols, out.data()), c.ok) << test::N(c.text);
        EXPECT_EQ(out.back(), -77) << "wrote past the row: " << test::N(c.text);
        if (c.ok) {
            out.pop_back();
            EXPECT_EQ(out, c.values) << test::N(c.text);
        }
    }
    // A very long row of stray characters is read in one pass.
    std::u16string longRow;
    for (int i = 0; i < 4096; ++i) longRow += u"x9,";
    std::vector<int32_t> out(4096);
    EXPECT_TRUE(CFilterGridInfo::ParseGridRow(longRow, 4096, out.data()));
    EXPECT_EQ(out[4095], 0);
}

bool ReadInfo(CFilterGridInfo& info, const std::string& body) {
    CXmlDocument doc;
    EXPECT_TRUE(test::ParseInside(doc, "<Root>" + body + "<After/></Root>"));
    const bool ok = info.ReadXml(doc);
    // Whatever happened, the cursor is back at the level of the call.
    EXPECT_TRUE(doc.FindElement(u"After")) << body;
    return ok;
}

TEST(GridInfoXml, ReadsRuleAndGrid) {
    CFilterGridInfo info;
    ASSERT_TRUE(ReadInfo(info,
                         "<GridRule Row=\"3\" Col=\"4\"/>"
                         "<GridDataList Row=\"2\" Col=\"3\" AverDensity=\"17\">"
                         "<GridData>1,2,3</GridData><GridData>4,,6</GridData></GridDataList>"));
    EXPECT_EQ(info.ruleRows, 3);
    EXPECT_EQ(info.ruleCols, 4);
    EXPECT_EQ(info.rows, 2);
    EXPECT_EQ(info.cols, 3);
    EXPECT_EQ(info.averDensity, 17);
    EXPECT_EQ(info.densityCount, 6);
    EXPECT_EQ(info.densities, (std::vector<int32_t>{1, 2, 3, 4, 0, 6}));
    EXPECT_FALSE(info.region);

    // Missing GridData rows stay zero; a missing GridDataList keeps none.
    CFilterGridInfo partial;
    ASSERT_TRUE(
        ReadInfo(partial, "<GridDataList Row=\"3\" Col=\"2\"><GridData>5,5</GridData></GridDataList>"));
    EXPECT_EQ(partial.densities, (std::vector<int32_t>{5, 5, 0, 0, 0, 0}));
    CFilterGridInfo none;
    ASSERT_TRUE(ReadInfo(none, "<GridRule Row=\"2\" Col=\"2\"/>"));
    EXPECT_TRUE(none.densities.empty());
    EXPECT_EQ(none.rows, 0);
}

TEST(GridInfoXml, BadGridsFail) {
    const char* bad[] = {
        "<GridDataList Row=\"0\" Col=\"2\"/>",
        "<GridDataList Row=\"2\" Col=\"-1\"/>",
        "<GridDataList Row=\"2\"/>",
        "<GridDataList Row=\"4097\" Col=\"2\"/>",
        "<GridDataList Row=\"2\" Col=\"99999999\"/>",
        "<GridDataList Row=\"1\" Col=\"2\"><GridData>1,2,3</GridData></GridDataList>",
        "<GridDataList Row=\"2\" Col=\"2\"><GridData>1,2</GridData><GridData>7</GridData></GridDataList>",
        "<GridDataList Row=\"1\" Col=\"2\"><GridData></GridData></GridDataList>",
    };
    for (const char* body : bad) {
        CFilterGridInfo info;
        EXPECT_FALSE(ReadInfo(info, body)) << body;
    }
    // A huge rule is read as written; measuring refuses it later.
    CFilterGridInfo rule;
    EXPECT_TRUE(ReadInfo(rule, "<GridRule Row=\"2147483647\" Col=\"100000\"/>"));
    EXPECT_EQ(rule.ruleRows, 2147483647);
}

TEST(GridInfoXml, WritesWhatItReads) {
    CFilterGridInfo info;
    info.ruleRows = 2;
    info.ruleCols = 3;
    info.rows = 2;
    info.cols = 2;
    info.averDensity = 9;
    info.densities = {10, 0, -3, 12345};
    info.densityCount = 4;
    CXmlDocument out;
    ASSERT_TRUE(out.ParseText(u"<Root/>"));
    ASSERT_TRUE(out.FindElement(u"Root"));
    ASSERT_TRUE(out.EnterElement());
    ASSERT_TRUE(info.WriteXml(out));
    const std::string text = test::N(out.Text());
    EXPECT_NE(text.find("<GridData>10,0</GridData>"), std::string::npos) << text;
    EXPECT_NE(text.find("<GridData>-3,12345</GridData>"), std::string::npos) << text;
    CFilterGridInfo back;
    CXmlDocument in;
    ASSERT_TRUE(in.ParseText(out.Text()));
    ASSERT_TRUE(in.FindElement(u"Root"));
    ASSERT_TRUE(in.EnterElement());
    ASSERT_TRUE(back.ReadXml(in));
    EXPECT_EQ(back.ruleRows, 2);
    EXPECT_EQ(back.ruleCols, 3);
    EXPECT_EQ(back.averDensity, 9);
    EXPECT_EQ(back.densities, info.densities);

    // No rule and no grid: nothing written.
    CFilterGridInfo empty;
    CXmlDocument out2;
    ASSERT_TRUE(out2.ParseText(u"<Root/>"));
    ASSERT_TRUE(out2.FindElement(u"Root"));
    ASSERT_TRUE(out2.EnterElement());
    ASSERT_TRUE(empty.WriteXml(out2));
    EXPECT_EQ(test::N(out2.Text()).find("Grid"), std::string::npos);
}

TEST(GridInfo, AssignAndParameters) {
    auto src = Grid(2, 2, 7, {1, 2, 3, 4});
    src->ruleRows = 5;
    src->ruleCols = 6;
    src->refFilter = 3;
    CFilterGridInfo copy;
    copy.Assign(*src);
    src->densities[0] = 99;
    EXPECT_EQ(copy.densities, (std::vector<int32_t>{1, 2, 3, 4}));
    EXPECT_EQ(copy.ruleRows, 5);
    EXPECT_EQ(copy.ruleCols, 6);
    EXPECT_EQ(copy.averDensity, 7);
    EXPECT_EQ(copy.refFilter, 3);
    ParameterList list;
    copy.ListParameters(list);
    ASSERT_GE(list.size(), 3u);
    EXPECT_EQ(list[0].name, u"GridFilterInfo");
    EXPECT_EQ(list[1].name, u"Row");
    EXPECT_EQ(list[1].kind, kParamInteger);
    EXPECT_EQ(list[1].value, &copy.ruleRows);
    EXPECT_EQ(list[2].name, u"Col");
    EXPECT_EQ(list[2].value, &copy.ruleCols);
}

CFilterGrid& RuleOf(CFilterGrid& f, int32_t rows, int32_t cols) {
    auto rule = std::make_unique<CFilterGridInfo>();
    rule->ruleRows = rows;
    rule->ruleCols = cols;
    f.rule = std::move(rule);
    return f;
}

TEST(GridFilter, MeasuresAndAveragesImages) {
    CFilterGrid filter;
    filter.index = 4;
    RuleOf(filter, 2, 2);
    CRawImage pages[2] = {Binary(64, 64, [](int x, int y) { return x < 32 && y < 32; }),
                          Binary(64, 64, [](int x, int y) { return x < 32 && y < 32 && x < 3; })};
    CFilterGridInfo feature;
    ASSERT_EQ(filter.ExtractFeature(pages, 2, &feature), kSuccess);
    // (1024 + 96) / 2 = 560 in the top-left cell.
    EXPECT_EQ(feature.densities, (std::vector<int32_t>{560, 0, 0, 0}));
    EXPECT_EQ(feature.rows, 2);
    EXPECT_EQ(feature.cols, 2);
    EXPECT_EQ(feature.densityCount, 4);
    EXPECT_EQ(feature.averDensity, 140);
    EXPECT_EQ(feature.refFilter, 4);
    EXPECT_EQ(feature.applicationType, 1);

    // CreateFeature refuses an empty first image and no images.
    CRawImage empty;
    EXPECT_EQ(filter.CreateFeature(&empty, 1), nullptr);
    EXPECT_EQ(filter.CreateFeature(pages, 0), nullptr);
    auto made = filter.CreateFeature(pages, 1);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(static_cast<CFilterGridInfo*>(made.get())->densities[0], 1024);
}

TEST(GridFilter, RefusedMeasurements) {
    CRawImage page = Binary(32, 32, [](int x, int) { return x < 4; });
    CRawImage gray;
    gray.Create(32, 32, 8, 300);
    struct Case {
        const char* what;
        int32_t rows, cols;
        CRawImage* image;
        int32_t count;
    } cases[] = {
        {"no rule rows", 0, 2, &page, 1}, {"negative cols", 2, -2, &page, 1},
        {"huge rule", 5000, 2, &page, 1}, {"no images", 2, 2, nullptr, 1},
        {"zero count", 2, 2, &page, 0},   {"gray page is not measured", 2, 2, &gray, 1},
    };
    for (const Case& c : cases) {
        CFilterGrid filter;
        RuleOf(filter, c.rows, c.cols);
        CFilterGridInfo feature;
        EXPECT_EQ(filter.ExtractFeature(c.image, c.count, &feature), kErrInvalidParameter) << c.what;
    }
    CFilterGrid filter;
    RuleOf(filter, 2, 2);
    EXPECT_EQ(filter.ExtractFeature(&page, 1, nullptr), kErrInvalidParameter);
    CFilterGridInfo other;
    other.type = kFilterTypeSize;
    EXPECT_EQ(filter.ExtractFeature(&page, 1, &other), kErrInvalidParameter);
    CFilterGrid noRule;
    CFilterGridInfo feature;
    EXPECT_EQ(noRule.ExtractFeature(&page, 1, &feature), kErrInvalidParameter);
}

TEST(GridFilter, OwnStepsBinariseAGrayPage) {
    CFilterGrid filter;
    RuleOf(filter, 1, 2);
    filter.steps = std::make_unique<CImageProcessingList>();
    auto step = CreateImageProcessingInfo(kStepGrayToBin);
    static_cast<CGrayToBinInfo*>(step.get())->method = 7;
    filter.steps->Append(std::move(step));
    CRawImage gray;
    gray.Create(64, 10, 8, 300);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 64; ++x) gray.Row(y)[x] = x < 16 ? 20 : 230;
    CFilterGridInfo feature;
    ASSERT_EQ(filter.ExtractFeature(&gray, 1, &feature), kSuccess);
    EXPECT_EQ(feature.densities, (std::vector<int32_t>{160, 0}));
    EXPECT_EQ(gray.bitCount, 8);  // the caller's image is not touched
}

TEST(GridFilter, ClassifyScoresChildrenAgainstTheirGrids) {
    // Two children: one stores the page's own grid, the other a mirrored
    // one. The threshold gate at 900 passes only the first.
    CRawImage page = Binary(64, 64, [](int x, int y) { return x < 32 && y < 32; });
    CTemplateGroup group;
    std::vector<std::unique_ptr<CSubTemplate>> subs;
    const std::vector<int32_t> grids[2] = {{1024, 0, 0, 0}, {0, 0, 0, 1024}};
    for (const auto& g : grids) {
        auto child = std::make_unique<CTemplateGroup>();
        child->parent = &group;
        auto sub = std::make_unique<CSubTemplate>();
        sub->filterInfos = std::make_unique<CFilterInfoList>();
        auto ref = Grid(2, 2, 256, g);
        ref->refFilter = 1;
        sub->filterInfos->items.push_back(std::move(ref));
        sub->filterInfos->count = 1;
        child->attached = sub.get();
        subs.push_back(std::move(sub));
        group.children.push_back(std::move(child));
    }
    group.childCount = 2;
    CFilterGrid filter;
    filter.index = 1;
    filter.processType = kProcessThresholdGate;
    filter.threshold = 900;
    RuleOf(filter, 2, 2);
    ASSERT_EQ(filter.Classify(page, &group), kSuccess);
    EXPECT_EQ(group.Child(0)->score->score, 1000);
    EXPECT_TRUE(group.Child(0)->score->passed);
    EXPECT_EQ(group.Child(1)->score->score, 0);
    EXPECT_FALSE(group.Child(1)->score->passed);

    // A rule that cannot be measured ends with "Failed to extract feature".
    CFilterGrid broken;
    broken.index = 1;
    RuleOf(broken, 0, 0);
    EXPECT_EQ(broken.Classify(page, &group), kErrExtractFeature);
}

}  // namespace
}  // namespace libMorvaneClassifier

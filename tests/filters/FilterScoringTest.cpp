// The common classification scheme: which children a filter scores, the
// threshold gate, the weighted sum and how records merge; EffectiveRegion;
// the text filter's behaviour without text recognition.
#include <gtest/gtest.h>

#include "core/ResultCodes.h"
#include "filters/FilterBase.h"
#include "filters/FilterText.h"
#include "image/Dib.h"
#include "templates/FilterInfoBase.h"
#include "templates/SubTemplate.h"
#include "templates/TemplateGroup.h"
#include "templates/TemplateTestUtil.h"

namespace libMorvaneClassifier {
namespace {

constexpr int32_t kFakeType = 42;

// A record whose comparison answers the reference's stored value.
class FakeInfo : public CFilterInfoBase {
public:
    FakeInfo() { type = kFakeType; }
    int32_t value = 0;
    bool ReadXml(CXmlDocument&) override { return true; }
    bool WriteXml(CXmlDocument&) const override { return true; }
    int32_t Compare(CFilterInfoBase* reference) override {
        auto* ref = dynamic_cast<FakeInfo*>(reference);
        if (!ref) return 0;
        ++ref->comparisons;
        return ref->value;
    }
    int32_t comparisons = 0;
};

class FakeFilter : public CFilterBase {
public:
    explicit FakeFilter(int32_t filterIndex, bool passSize = false) : passSize_(passSize) {
        type = kFakeType;
        index = filterIndex;
    }
    bool failExtract = false;
    int32_t extractions = 0;
    FakeInfo* lastFeature = nullptr;
    int32_t Classify(const CRawImage& image, CTemplateGroup* group) override {
        return ClassifyCommon(image, group, passSize_);
    }
    int32_t ExtractFeature(const CRawImage*, int32_t, CFilterInfoBase*) override {
        ++extractions;
        return failExtract ? kErrInvalidParameter : 0;
    }
    std::unique_ptr<CFilterInfoBase> CreateFeature(const CRawImage* images, int32_t n) override {
        if (!images || n <= 0) return nullptr;
        auto f = std::make_unique<FakeInfo>();
        if (ExtractFeature(images, n, f.get()) != 0) return nullptr;
        lastFeature = f.get();
        return f;
    }

private:
    bool passSize_;
};

// A group whose children are attached to sub-templates holding one fake
// reference per (filter index, value).
struct Tree {
    CTemplateGroup group;
    std::vector<std::unique_ptr<CSubTemplate>> subs;

    // values[i][k] = the reference value child i holds for filter index k+1
    // (a negative value: no reference for that filter).
    Tree(std::initializer_list<std::vector<int32_t>> values) {
        group.childCount = static_cast<int32_t>(values.size());
        for (const auto& row : values) {
            auto child = std::make_unique<CTemplateGroup>();
            child->parent = &group;
            auto sub = std::make_unique<CSubTemplate>();
            sub->filterInfos = std::make_unique<CFilterInfoList>();
            for (size_t k = 0; k < row.size(); ++k) {
                if (row[k] < 0) continue;
                auto info = std::make_unique<FakeInfo>();
                info->refFilter = static_cast<int32_t>(k + 1);
                info->value = row[k];
                sub->filterInfos->items.push_back(std::move(info));
            }
            sub->filterInfos->count = static_cast<int32_t>(sub->filterInfos->items.size());
            child->attached = sub.get();
            subs.push_back(std::move(sub));
            group.children.push_back(std::move(child));
        }
    }
    CTemplateGroup& Child(int32_t i) { return *group.Child(i); }
    // The driver's reset before the filters of a level run.
    void ResetScores() {
        for (auto& c : group.children) c->Score().Reset();
    }
    FakeInfo* Reference(int32_t child, int32_t filterIndex) {
        return dynamic_cast<FakeInfo*>(subs[static_cast<size_t>(child)]->FindFilterInfo(filterIndex));
    }
};

CRawImage Page() {
    CRawImage img;
    img.Create(40, 30, 8, 300);
    return img;
}

TEST(FilterScoring, ThresholdGateIsStrictAndReplacesTheRecord) {
    Tree t({{750}, {751}, {0}});
    t.ResetScores();
    t.Child(2).Score().score = 5000;  // an earlier weighted sum is replaced
    FakeFilter gate(1);
    gate.processType = kProcessThresholdGate;
    gate.threshold = 750;
    CRawImage page = Page();
    ASSERT_EQ(gate.Classify(page, &t.group), kSuccess);
    const struct {
        int32_t score;
        bool passed;
    } expected[] = {{750, false}, {751, true}, {0, false}};
    for (int32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(t.Child(i).score->score, expected[i].score);
        EXPECT_EQ(t.Child(i).score->passed, expected[i].passed);
        EXPECT_EQ(t.Child(i).score->childIndex, i);
    }
    EXPECT_EQ(gate.extractions, 1);  // one feature per run
}

TEST(FilterScoring, WeightedSumsAddUpAndGateAfterwardsReplaces) {
    Tree t({{800, 300, 900}, {100, 200, 400}});
    t.ResetScores();
    CRawImage page = Page();
    FakeFilter w1(1), w2(2), gate(3);
    w1.processType = w2.processType = kProcessWeightedSum;
    w1.weight = 10;
    w2.weight = 3;
    ASSERT_EQ(w1.Classify(page, &t.group), kSuccess);
    EXPECT_EQ(t.Child(0).score->score, 8000);
    EXPECT_EQ(t.Child(0).score->childIndex, -1);  // a weighted merge leaves the index
    ASSERT_EQ(w2.Classify(page, &t.group), kSuccess);
    EXPECT_EQ(t.Child(0).score->score, 8900);
    EXPECT_EQ(t.Child(1).score->score, 1600);
    EXPECT_TRUE(t.Child(1).score->passed);

    gate.processType = kProcessThresholdGate;
    gate.threshold = 500;
    ASSERT_EQ(gate.Classify(page, &t.group), kSuccess);
    EXPECT_EQ(t.Child(0).score->score, 900);
    EXPECT_TRUE(t.Child(0).score->passed);
    EXPECT_EQ(t.Child(1).score->score, 400);
    EXPECT_FALSE(t.Child(1).score->passed);

    // A failed child is skipped by every later filter of the level.
    FakeFilter w3(1);
    w3.processType = kProcessWeightedSum;
    w3.weight = 1;
    ASSERT_EQ(w3.Classify(page, &t.group), kSuccess);
    EXPECT_EQ(t.Child(0).score->score, 1700);
    EXPECT_EQ(t.Child(1).score->score, 400);
    EXPECT_FALSE(t.Child(1).score->passed);
    EXPECT_EQ(t.Reference(1, 1)->comparisons, 1);  // w1 only, not w3
}

TEST(FilterScoring, ChildWithoutRecordGetsOneFromTheFirstMerge) {
    CRawImage page = Page();
    for (int32_t processType : {0, 1}) {
        SCOPED_TRACE(processType);
        Tree t({{600}});
        FakeFilter f(1);
        f.processType = processType;
        f.weight = 2;
        f.threshold = 100;
        ASSERT_EQ(f.Classify(page, &t.group), kSuccess);
        ASSERT_TRUE(t.Child(0).score);
        EXPECT_EQ(t.Child(0).score->score, processType == 0 ? 600 : 1200);
        EXPECT_TRUE(t.Child(0).score->passed);
        EXPECT_EQ(t.Child(0).score->childIndex, 0);
    }
}

TEST(FilterScoring, OtherProcessTypesChangeNoRecord) {
    for (int32_t processType : {2, -1, 99}) {
        SCOPED_TRACE(processType);
        Tree t({{900}, {100}});
        t.ResetScores();
        t.Child(0).Score().score = 17;
        FakeFilter f(1);
        f.processType = processType;
        CRawImage page = Page();
        ASSERT_EQ(f.Classify(page, &t.group), kSuccess);
        EXPECT_EQ(t.Reference(0, 1)->comparisons, 1);  // measured and compared
        EXPECT_EQ(t.Child(0).score->score, 17);
        EXPECT_TRUE(t.Child(0).score->passed);
        EXPECT_EQ(t.Child(0).score->childIndex, -1);
        EXPECT_EQ(t.Child(1).score->score, 0);
    }
}

TEST(FilterScoring, IneligibleChildrenAreNotTouched) {
    // Child 0 scores normally; each other child breaks one rule.
    Tree t({{500}, {500}, {500}, {500}, {500}, {-1, 500}});
    t.ResetScores();
    t.Child(1).valid = false;
    t.Child(2).score->passed = false;
    t.Child(2).score->score = 3;
    t.Child(3).action = 0;
    t.Child(4).attached = nullptr;
    // Child 5 has a reference for filter 2 only.
    FakeFilter f(1);
    f.processType = kProcessWeightedSum;
    f.weight = 1;
    CRawImage page = Page();
    ASSERT_EQ(f.Classify(page, &t.group), kSuccess);
    EXPECT_EQ(t.Child(0).score->score, 500);
    for (int32_t i = 1; i <= 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(t.Child(i).score->score, i == 2 ? 3 : 0);
        EXPECT_EQ(t.Child(i).score->passed, i != 2);
    }
    for (int32_t i = 1; i <= 4; ++i) EXPECT_EQ(t.Reference(i, 1)->comparisons, 0) << i;

    // Only action 1 makes a child eligible: with action 2 it is still not
    // compared and keeps its score (a later action-0 child competes only in
    // the choice, with the score it already has).
    t.Child(3).action = 2;
    ASSERT_EQ(f.Classify(page, &t.group), kSuccess);
    EXPECT_EQ(t.Child(3).score->score, 0);
    EXPECT_EQ(t.Reference(3, 1)->comparisons, 0);
}

TEST(FilterScoring, InvalidInputsAndExtractionFailureTouchNothing) {
    Tree t({{800}});
    t.ResetScores();
    FakeFilter f(1);
    f.processType = kProcessWeightedSum;
    f.weight = 1;
    CRawImage page = Page();
    CRawImage empty;
    EXPECT_EQ(f.Classify(empty, &t.group), kErrInvalidParameter);
    EXPECT_EQ(f.Classify(page, nullptr), kErrInvalidParameter);
    CTemplateGroup leaf;
    EXPECT_EQ(f.Classify(page, &leaf), kErrInvalidParameter);
    leaf.childCount = -1;
    EXPECT_EQ(f.Classify(page, &leaf), kErrInvalidParameter);
    EXPECT_EQ(f.extractions, 0);
    f.failExtract = true;
    EXPECT_EQ(f.Classify(page, &t.group), kErrExtractFeature);
    EXPECT_EQ(t.Child(0).score->score, 0);
    EXPECT_TRUE(t.Child(0).score->passed);
    EXPECT_EQ(t.Reference(0, 1)->comparisons, 0);
}

TEST(FilterScoring, ImageSizeReachesFeatureAndReferenceWhenAsked) {
    for (bool passSize : {false, true}) {
        SCOPED_TRACE(passSize);
        Tree t({{10}});
        t.ResetScores();
        FakeFilter f(1, passSize);
        CRawImage page = Page();
        ASSERT_EQ(f.Classify(page, &t.group), kSuccess);
        EXPECT_EQ(t.Reference(0, 1)->imageWidth, passSize ? 40 : 0);
        EXPECT_EQ(t.Reference(0, 1)->imageHeight, passSize ? 30 : 0);
    }
}

TEST(FilterScoring, WeightedArithmeticWrapsAt32Bits) {
    Tree t({{2000000000}});
    t.ResetScores();
    FakeFilter f(1);
    f.processType = kProcessWeightedSum;
    f.weight = 3;
    CRawImage page = Page();
    ASSERT_EQ(f.Classify(page, &t.group), kSuccess);
    const int32_t once = static_cast<int32_t>(static_cast<uint32_t>(2000000000u * 3u));
    EXPECT_EQ(t.Child(0).score->score, once);
    ASSERT_EQ(f.Classify(page, &t.group), kSuccess);
    EXPECT_EQ(t.Child(0).score->score, static_cast<int32_t>(static_cast<uint32_t>(once) * 2u));
}

TEST(FilterInfo, EffectiveRegion) {
    FakeInfo info;
    EXPECT_FALSE(info.EffectiveRegion().has_value());
    info.region = std::make_unique<CRegion>();
    info.region->left = 1000;
    info.region->top = 2000;
    info.region->right = 6000;
    info.region->bottom = 2000;  // flat
    info.SetImageSize(1000, 500);
    ASSERT_TRUE(info.EffectiveRegion().has_value());  // no anchors: the pixel rectangle even when flat
    EXPECT_EQ(*info.EffectiveRegion(), (Rect32{100, 100, 600, 100}));

    CAnchor anchor;
    anchor.id = 1;
    std::vector<CAnchor*> anchors{&anchor};
    info.anchors = &anchors;
    EXPECT_FALSE(info.EffectiveRegion().has_value());  // anchored: a flat region has none
    info.region->bottom = 4000;
    info.region->refAnchorList = std::make_unique<CRefAnchorList>();
    auto ref = std::make_unique<CRefAnchorInfo>();
    ref->refAnchorId = 1;
    ref->locationType = 1;
    ref->distToAnchor = 1000;
    info.region->refAnchorList->items.push_back(std::move(ref));
    info.region->refAnchorList->count = 1;
    info.SetImageSize(1000, 500);  // reaches the region, its reference anchors and the attached anchors
    EXPECT_EQ(anchor.imageWidth, 1000);
    ASSERT_TRUE(anchor.Locate(300, 0));
    EXPECT_EQ(*info.EffectiveRegion(), (Rect32{400, 100, 600, 200}));

    std::vector<CAnchor*> none;
    info.anchors = &none;  // an empty attached list counts as no anchors
    EXPECT_EQ(*info.EffectiveRegion(), (Rect32{100, 100, 600, 200}));
}

TEST(FilterInfo, BaseAssignIsDeep) {
    FakeInfo a;
    a.refFilter = 3;
    a.applicationType = 1;
    a.region = std::make_unique<CRegion>();
    a.region->right = 77;
    a.SetImageSize(10, 20);
    std::vector<CAnchor*> anchors;
    a.anchors = &anchors;
    FakeInfo b;
    b.Assign(a);
    EXPECT_EQ(b.type, kFakeType);
    EXPECT_EQ(b.refFilter, 3);
    EXPECT_EQ(b.applicationType, 1);
    EXPECT_EQ(b.imageWidth, 10);
    EXPECT_EQ(b.imageHeight, 20);
    EXPECT_EQ(b.anchors, &anchors);
    ASSERT_TRUE(b.region);
    EXPECT_NE(b.region.get(), a.region.get());
    EXPECT_EQ(b.region->right, 77);
    b.Assign(b);
    ASSERT_TRUE(b.region);
    EXPECT_EQ(b.region->right, 77);
    EXPECT_TRUE(b.LocateAnchors(&a));
}

// ---- text filter records and runs ----

TEST(FilterText, InfoRoundTripAndAnchors) {
    CXmlDocument doc;
    ASSERT_TRUE(test::Parse(doc,
                            "<FilterInfo><Region Left='10' Top='20' Right='30' Bottom='40'/><LineLocation/>"
                            "<TextMatch Method='3'/><TextLineList Size='2'>"
                            "<TextLine Text='X'><Region Right='5000' Bottom='5000'><AnchorList Size='2'>"
                            "<Anchor ID='1'/><Anchor ID='2'/></AnchorList></Region></TextLine>"
                            "<TextLine Text='Y'><Region Right='5000' Bottom='5000'><AnchorList Size='1'>"
                            "<Anchor ID='3'/></AnchorList></Region></TextLine>"
                            "</TextLineList></FilterInfo>"));
    doc.ResetPosition();
    ASSERT_TRUE(doc.FindElement(u"FilterInfo") && doc.EnterElement());
    CFilterTextInfo info;
    ASSERT_TRUE(info.ReadXml(doc));
    EXPECT_EQ(info.method, 3);
    ASSERT_TRUE(info.region);
    EXPECT_EQ(info.region->bottom, 40);
    ASSERT_TRUE(info.textLines);
    std::vector<CAnchor*> anchors;
    info.CollectAnchors(anchors);
    std::vector<int32_t> ids;
    for (const CAnchor* a : anchors) ids.push_back(a->id);
    EXPECT_EQ(ids, (std::vector<int32_t>{1, 2, 3}));
    info.SetImageSize(200, 100);
    EXPECT_EQ(info.textLines->Get(1)->imageWidth, 200);
    EXPECT_EQ(info.textLines->Get(1)->region->anchorList->Get(0)->imageHeight, 100);
    EXPECT_EQ(info.region->imageWidth, 200);

    CXmlDocument again;
    ASSERT_TRUE(test::WriteAndReparse([&](CXmlDocument& x) { return info.WriteXml(x); }, again));
    CFilterTextInfo back;
    ASSERT_TRUE(back.ReadXml(again));
    EXPECT_EQ(back.method, 3);
    ASSERT_TRUE(back.region);
    EXPECT_EQ(back.region->left, 10);
    ASSERT_TRUE(back.textLines);
    EXPECT_EQ(back.textLines->count, 2);
    EXPECT_EQ(test::N(back.textLines->Get(1)->text), "Y");
    std::vector<CAnchor*> backAnchors;
    back.CollectAnchors(backAnchors);
    EXPECT_EQ(backAnchors.size(), 3u);

    // Empty record: no elements needed; method is kept when TextMatch is absent.
    CXmlDocument emptyDoc;
    ASSERT_TRUE(test::Parse(emptyDoc, "<FilterInfo/>"));
    emptyDoc.ResetPosition();
    ASSERT_TRUE(emptyDoc.FindElement(u"FilterInfo") && emptyDoc.EnterElement());
    CFilterTextInfo empty;
    EXPECT_TRUE(empty.ReadXml(emptyDoc));
    EXPECT_EQ(empty.method, 1);
    EXPECT_FALSE(empty.region);
    EXPECT_FALSE(empty.textLines);

    // Assign copies only from a text record.
    CFilterTextInfo copy;
    copy.Assign(info);
    EXPECT_EQ(copy.method, 3);
    ASSERT_TRUE(copy.textLines);
    EXPECT_NE(copy.textLines.get(), info.textLines.get());
    FakeInfo other;
    other.refFilter = 99;
    copy.Assign(other);
    EXPECT_NE(copy.refFilter, 99);
}

TEST(FilterText, RunsWithoutScoringAnyChild) {
    CFilterText filter;
    filter.index = 1;
    filter.processType = kProcessThresholdGate;
    filter.threshold = 0;
    CRawImage page = Page();
    CRawImage empty;
    CTemplateGroup group;
    EXPECT_EQ(filter.Classify(empty, &group), kErrInvalidParameter);
    EXPECT_EQ(filter.Classify(page, nullptr), kErrInvalidParameter);
    EXPECT_EQ(filter.Classify(page, &group), kSuccess);  // no children: nothing happens

    auto sub = std::make_unique<CSubTemplate>();
    sub->filterInfos = std::make_unique<CFilterInfoList>();
    auto ref = std::make_unique<CFilterTextInfo>();
    ref->refFilter = 1;
    sub->filterInfos->items.push_back(std::move(ref));
    sub->filterInfos->count = 1;
    auto child = std::make_unique<CTemplateGroup>();
    child->attached = sub.get();
    child->Score().Reset();
    group.children.push_back(std::move(child));
    group.childCount = 1;
    for (int32_t appType : {0, 1, 2}) {
        for (int32_t mode : {0, 1, 2}) {
            filter.applicationType = appType;
            filter.featureMode = mode;
            EXPECT_EQ(filter.Classify(page, &group), kSuccess);
            EXPECT_EQ(group.Child(0)->score->score, 0);
            EXPECT_TRUE(group.Child(0)->score->passed);
            EXPECT_EQ(group.Child(0)->score->childIndex, -1);
            EXPECT_EQ(sub->storedFeatures, nullptr);
        }
    }
    EXPECT_EQ(filter.CreateFeature(&page, 1), nullptr);
    EXPECT_EQ(filter.CreateFeature(nullptr, 1), nullptr);
    EXPECT_EQ(filter.CreateFeature(&page, 0), nullptr);
}

}  // namespace
}  // namespace libMorvaneClassifier

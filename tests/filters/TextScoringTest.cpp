// Line correspondence, the five matching methods with both normalisations,
// anchors placed on recognised lines, recognised lines turned into feature
// lines, and the text filter's schemes on stored features.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "CpuStopwatch.h"
#include "core/ResultCodes.h"
#include "filters/FilterFactory.h"
#include "filters/FilterText.h"
#include "filters/TextScoring.h"
#include "image/Dib.h"
#include "templates/SubTemplate.h"
#include "templates/TemplateGroup.h"
#include "templates/TemplateTestUtil.h"
#include "xml/XmlDocument.h"

using morvane::test::CpuStopwatch;

namespace libMorvaneClassifier {
namespace {

constexpr int32_t kPage = 10000;  // page size at which ten-thousandths are pixels

RecognitionResult FirstCandidate(char16_t c) {
    RecognitionResult r;
    r.candidates[0] = c;
    r.scores[0] = 10;
    return r;
}

struct LineSpec {
    LineSpec(std::u16string t, std::u16string cs = u"", int32_t ft = 1, int32_t off = 0, int32_t n = 0,
             Rect32 b = Rect32{})
        : text(std::move(t)), charset(std::move(cs)), filterType(ft), offset(off), charNum(n), box(b) {}
    std::u16string text;
    std::u16string charset;
    int32_t filterType;
    int32_t offset;
    int32_t charNum;
    Rect32 box;  // no region when empty
};

// A list of text lines on a kPage × kPage page; recognised lines carry one
// result per character with that character as first candidate.
struct Lines {
    std::vector<std::unique_ptr<CTextLine>> owned;
    std::vector<CTextLine*> ptrs;
    Lines(std::initializer_list<LineSpec> lineSpecs, bool recognised) {
        for (const LineSpec& s : lineSpecs) {
            auto t = std::make_unique<CTextLine>();
            t->text = s.text;
            t->charset = s.charset;
            t->filterType = s.filterType;
            t->offset = s.offset;
            t->charNum = s.charNum;
            if (s.box.right > s.box.left) {
                CRegion r;
                r.left = s.box.left;
                r.top = s.box.top;
                r.right = s.box.right;
                r.bottom = s.box.bottom;
                t->SetRegion(r);
            }
            t->SetImageSize(kPage, kPage);
            if (recognised)
                for (char16_t c : s.text) t->lineResults.push_back(FirstCandidate(c));
            t->lineResultCount = static_cast<int32_t>(t->lineResults.size());
            ptrs.push_back(t.get());
            owned.push_back(std::move(t));
        }
    }
};

TEST(TextScoring, WorkedValuesOfTheMethods) {
    const std::u16string letters = u"ABC";
    const std::u16string digits = u"0123456789";
    struct Case {
        int32_t method;
        int32_t app;
        int32_t expected;
    };
    // Reference ABC and 123, recognised ABC and 12.
    const Case cases[] = {
        {2, 0, 833},               // (1 - 1/6) × 1000
        {2, 1, 816},               // (1 - 11 × 1 / (2 × 5 × 6)) × 1000
        {4, 0, 833},               // A, B, C, 1, 2 shared of 6
        {4, 1, 833}, {1, 0, 833},  // 5 matched of 6
        {1, 1, 916},               // (6 + 5) × 5 × 1000 / (2 × 5 × 6)
        {5, 0, 833},               // 5 of 6 expected characters in their sets
        {5, 1, 916},               // (6 + 5) × 5 × 1000 / (2 × 6 × 5)
        {6, 0, 500},               // strict patterns: ABC 1000; 12 against 123 is a third short: 0
        {0, 0, 0},   {7, 0, 0},
    };
    for (const Case& c : cases) {
        Lines ref({{u"ABC", letters, 1, 0, 3}, {u"123", digits, 1, 0, 3}}, false);
        Lines rec({{u"ABC"}, {u"12"}}, true);
        EXPECT_EQ(MatchTextLines(c.method, c.app, ref.ptrs, rec.ptrs, false), c.expected)
            << "method " << c.method << " app " << c.app;
    }
}

TEST(TextScoring, PatternMethodAndLineCounts) {
    Lines ref({{u"\\D\\D\\D\\D\\D"}}, false);
    Lines rec({{u"12345"}}, true);
    EXPECT_EQ(MatchTextLines(3, 0, ref.ptrs, rec.ptrs, false), 1000);
    // A line without recognised characters adds 0.
    Lines ref2({{u"\\D{5}"}, {u"\\U{2}"}}, false);
    Lines rec2({{u"12345"}, {u"AB"}}, true);
    EXPECT_EQ(MatchTextLines(3, 0, ref2.ptrs, rec2.ptrs, false), 1000);
    rec2.ptrs[1]->lineResults.clear();
    EXPECT_EQ(MatchTextLines(3, 0, ref2.ptrs, rec2.ptrs, false), 500);

    // Methods 2, 3 and 5 need at least as many recognised lines as expected.
    Lines one({{u"12345", u"0123456789"}}, true);
    for (int32_t method : {2, 3, 5}) EXPECT_EQ(MatchTextLines(method, 0, ref2.ptrs, one.ptrs, false), 0);
    // Nothing on either side.
    Lines none({}, true);
    for (int32_t method : {1, 2, 3, 4, 5}) {
        EXPECT_EQ(MatchTextLines(method, 0, ref2.ptrs, none.ptrs, false), 0);
        EXPECT_EQ(MatchTextLines(method, 0, none.ptrs, rec2.ptrs, false), 0);
    }
}

TEST(TextScoring, EmptyReferenceTextsAndCountsScoreZero) {
    Lines ref({{u"", u"A", 1, 0, 0}}, false);
    Lines rec({{u"A"}}, true);
    for (int32_t method : {1, 2, 3, 4, 5})
        for (int32_t app : {0, 1}) EXPECT_EQ(MatchTextLines(method, app, ref.ptrs, rec.ptrs, true), 0);
    // An empty recognised text with the both-sides normalisation.
    Lines refA({{u"A", u"A", 1, 0, 1}}, false);
    Lines recEmpty({{u""}}, true);
    for (int32_t method : {1, 2, 5}) EXPECT_EQ(MatchTextLines(method, 1, refA.ptrs, recEmpty.ptrs, true), 0);
    // Characters outside the set count against method 2: negative scores are possible.
    Lines refB({{u"A", u"A"}}, false);
    Lines recB({{u"BBB"}}, true);
    EXPECT_EQ(MatchTextLines(2, 0, refB.ptrs, recB.ptrs, false), 0);  // X empty: D = 1
    Lines refC({{u"A", u"AB"}}, false);
    EXPECT_EQ(MatchTextLines(2, 0, refC.ptrs, recB.ptrs, false), -2000);  // D = 3
}

TEST(TextCorrespondence, ByFilterType) {
    auto corr = [](std::initializer_list<LineSpec> r, std::initializer_list<LineSpec> f) {
        Lines ref(r, false);
        Lines rec(f, true);
        return CorrespondLines(ref.ptrs, rec.ptrs);
    };
    using V = std::vector<int32_t>;
    // Equal counts: one to one whatever the types.
    EXPECT_EQ(corr({{u"A", u"", 2, 0}, {u"B", u"", 9, 0}}, {{u"x"}, {u"y"}}), (V{0, 1}));
    // Offsets 0 and 2 of type 1 against three lines: the first and the third.
    EXPECT_EQ(corr({{u"A", u"", 1, 0}, {u"B", u"", 1, 2}}, {{u"x"}, {u"y"}, {u"z"}}), (V{0, 2}));
    // Type 2 counts from the last line; out-of-range offsets give none.
    EXPECT_EQ(corr({{u"A", u"", 2, 0}, {u"B", u"", 2, 5}}, {{u"x"}, {u"y"}, {u"z"}}), (V{2, -1}));
    EXPECT_EQ(corr({{u"A", u"", 1, -1}, {u"B", u"", 8, 0}}, {{u"x"}, {u"y"}, {u"z"}}), (V{-1, -1}));
    // Type 0: the identity over the recognised lines.
    EXPECT_EQ(corr({{u"A", u"", 1, 1}, {u"B", u"", 0, 0}}, {{u"x"}, {u"y"}, {u"z"}}), (V{0, 1, 2}));

    // Type 7: the nearest region size; zero-size regions get no partner.
    const Rect32 title{1000, 100, 9000, 900};    // 8000 × 800
    const Rect32 field{1000, 2000, 4000, 2300};  // 3000 × 300
    const Rect32 small{1000, 3000, 2000, 3100};  // 1000 × 100
    EXPECT_EQ(corr({{u"A", u"", 7, 0, 0, Rect32{0, 0, 2900, 310}}},
                   {{u"x", u"", 1, 0, 0, title}, {u"y", u"", 1, 0, 0, field}, {u"z", u"", 1, 0, 0, small}}),
              (V{1}));
    EXPECT_EQ(
        corr({{u"A", u"", 7, 0, 0, Rect32{}}}, {{u"x", u"", 1, 0, 0, title}, {u"y", u"", 1, 0, 0, field}}),
        (V{-1}));
    // Types 3 to 6 pick by rank of height or width: `offset` 0 is the tallest
    // (3), the lowest (4), the widest (5) or the narrowest (6).
    const std::initializer_list<LineSpec> three = {
        {u"x", u"", 1, 0, 0, field}, {u"y", u"", 1, 0, 0, title}, {u"z", u"", 1, 0, 0, small}};
    EXPECT_EQ(corr({{u"A", u"", 3, 0, 0, small}}, three), (V{1}));
    EXPECT_EQ(corr({{u"A", u"", 3, 1, 0, small}}, three), (V{0}));
    EXPECT_EQ(corr({{u"A", u"", 4, 0, 0, title}}, three), (V{2}));
    EXPECT_EQ(corr({{u"A", u"", 5, 0, 0, small}}, three), (V{1}));
    EXPECT_EQ(corr({{u"A", u"", 6, 0, 0, title}}, three), (V{2}));
    // An offset outside the ranking keeps the size-nearest line.
    EXPECT_EQ(corr({{u"A", u"", 3, 7, 0, small}}, three), (V{2}));
}

TEST(TextScoring, AnchorsPlacedOnRecognisedLines) {
    auto withAnchor = [](CTextLine& line, int32_t threshold, int32_t refType) {
        line.region->anchorList = std::make_unique<CAnchorList>();
        auto a = std::make_unique<CAnchor>();
        a->type = refType == 2 || refType == 4 ? 2 : 1;
        a->threshold = threshold;
        a->refType = refType;
        line.region->anchorList->items.push_back(std::move(a));
        line.region->anchorList->count = 1;
        line.SetImageSize(kPage, kPage);
        return line.region->anchorList->Get(0);
    };
    const Rect32 place{1000, 1000, 5000, 1500};
    const Rect32 found{2000, 4000, 7000, 4600};
    for (int32_t method : {1, 2, 3, 5}) {
        Lines ref({{u"ABCD", u"ABCD", 1, 0, 4, place}, {u"WXYZ", u"WXYZ", 1, 0, 4, place}}, false);
        Lines rec({{u"ABCD", u"", 1, 0, 0, found}, {u"WXQQ", u"", 1, 0, 0, found}}, true);
        CAnchor* good = withAnchor(*ref.ptrs[0], 750, 1);  // value 1000: placed
        CAnchor* weak = withAnchor(*ref.ptrs[1], 750, 4);  // value 500: not placed
        MatchTextLines(method, 0, ref.ptrs, rec.ptrs, true);
        EXPECT_TRUE(good->valid) << method;
        EXPECT_EQ(good->position, found.left) << method;
        EXPECT_FALSE(weak->valid) << method;
        // Scoring alone places nothing.
        Lines ref2({{u"ABCD", u"ABCD", 1, 0, 4, place}}, false);
        Lines rec2({{u"ABCD", u"", 1, 0, 0, found}}, true);
        CAnchor* quiet = withAnchor(*ref2.ptrs[0], 0, 1);
        MatchTextLines(method, 0, ref2.ptrs, rec2.ptrs, false);
        EXPECT_FALSE(quiet->valid);
    }
}

TEST(TextRecognisedLines, MergedCharactersBecomeFeatureLines) {
    TextCharLimits lim;
    lim.minWidthPx = 1;
    lim.maxWidthPx = 30;
    lim.minHeightPx = 1;
    lim.maxHeightPx = 40;
    lim.maxSpacePx = 20;
    lim.minWHRatio = 10;
    lim.maxWHRatio = 300;
    const std::vector<TextEngineRecord> engines(1);
    // The recogniser reads the character from the box's left edge, surely
    // (confidence 81) for single pieces and unsurely (45) for wider boxes.
    auto recognize = [](const Rect32& box, size_t, RecognitionResult& r) {
        if (box.left >= 100) return false;  // a line that cannot be read
        const bool single = box.right - box.left <= 10;
        r.candidates[0] = static_cast<char16_t>(u'A' + box.left / 20);
        r.candidates[1] = u'?';
        r.scores[0] = single ? 10 : 50;
        r.scores[1] = single ? 90 : 50;
        return true;
    };
    std::vector<LocatedTextLine> located = {
        {Rect32{0, 0, 60, 20}, {Rect32{0, 0, 10, 20}, Rect32{20, 0, 30, 20}, Rect32{40, 0, 50, 20}}},
        {Rect32{100, 30, 160, 50}, {Rect32{100, 30, 110, 50}}},
        {Rect32{0, 60, 40, 80}, {Rect32{0, 60, 10, 80}, Rect32{60, 60, 70, 80}}},
        {Rect32{0, 90, 10, 110}, {}},  // zero pieces
    };
    CTextLineList lines;
    ASSERT_EQ(
        RecogniseLocatedLines(located, Rect32{200, 100, 400, 300}, 1000, 500, lim, engines, recognize, lines),
        0);
    // The line no engine can read gives no character and is skipped.
    ASSERT_EQ(lines.count, 2);
    const CTextLine* first = lines.Get(0);
    EXPECT_EQ(test::N(first->text), "ABC");
    EXPECT_EQ(first->lineResultCount, 3);
    EXPECT_EQ(first->index, 0);
    EXPECT_EQ(first->offset, 0);
    // Line box moved by the region's corner, in ten-thousandths of 1000 × 500.
    EXPECT_EQ(first->region->left, 2000);
    EXPECT_EQ(first->region->top, 2000);
    EXPECT_EQ(first->region->right, 2600);
    EXPECT_EQ(first->region->bottom, 2400);
    EXPECT_EQ(first->RegionRect(), (Rect32{200, 100, 260, 120}));
    EXPECT_EQ(lines.Get(1)->index, 1);
    EXPECT_EQ(lines.Get(1)->offset, 1);
    EXPECT_EQ(test::N(lines.Get(1)->text), "AD");

    CTextLineList none;
    EXPECT_EQ(RecogniseLocatedLines({}, Rect32{}, 1000, 500, lim, engines, recognize, none), kErrMergeChars);
    EXPECT_EQ(none.count, 0);
    EXPECT_EQ(
        RecogniseLocatedLines({{Rect32{0, 0, 5, 5}, {}}}, Rect32{}, 1000, 500, lim, engines, recognize, none),
        kErrMergeChars);
}

TEST(TextScoring, HugeReferencesAndListsStayBounded) {
    const CpuStopwatch clock;
    Lines ref({{std::u16string(100000, u'A'), u"A", 1, 0, 100000}}, false);
    Lines rec({{std::u16string(50, u'A')}}, true);
    for (int32_t method : {1, 2, 3, 4, 5})
        for (int32_t app : {0, 1}) {
            const int32_t s = MatchTextLines(method, app, ref.ptrs, rec.ptrs, true);
            EXPECT_LE(s, 1000) << method;
        }
    EXPECT_LT(clock.Seconds(), 10.0);

    // A list declaring 10^9 lines is not read; the record still reads.
    CXmlDocument doc;
    ASSERT_TRUE(test::Parse(doc,
                            "<FilterInfo><TextMatch Method='5'/><TextLineList Size='1000000000'>"
                            "<TextLine Text='A'/></TextLineList></FilterInfo>"));
    doc.ResetPosition();
    ASSERT_TRUE(doc.FindElement(u"FilterInfo") && doc.EnterElement());
    CFilterTextInfo info;
    EXPECT_TRUE(info.ReadXml(doc));
    EXPECT_EQ(info.method, 5);
    EXPECT_FALSE(info.textLines);
    CFilterTextInfo feature;
    EXPECT_EQ(feature.Compare(&info), 0);
}

TEST(FilterTextMeasure, FinishedFeatureCarriesLinesAndFilterSettings) {
    CFilterText filter;
    filter.index = 12;
    filter.applicationType = 1;
    auto rule = std::make_unique<CFilterTextInfo>();
    rule->method = 3;
    filter.rule = std::move(rule);
    TextCharLimits lim;
    lim.maxWidthPx = 30;
    lim.maxHeightPx = 40;
    lim.maxSpacePx = 20;
    const std::vector<TextEngineRecord> engines(1);
    auto recognize = [](const Rect32& box, size_t, RecognitionResult& r) {
        r.candidates[0] = static_cast<char16_t>(u'0' + box.left / 20);
        r.candidates[1] = u'?';
        r.scores[0] = 10;
        r.scores[1] = 90;
        return true;
    };
    const std::vector<LocatedTextLine> located = {
        {Rect32{0, 0, 50, 20}, {Rect32{0, 0, 10, 20}, Rect32{40, 0, 50, 20}}}};
    CFilterTextInfo feature;
    ASSERT_EQ(
        filter.FinishFeature(located, Rect32{100, 50, 300, 150}, 1000, 800, lim, engines, recognize, feature),
        0);
    EXPECT_EQ(feature.refFilter, 12);
    EXPECT_EQ(feature.method, 3);
    EXPECT_EQ(feature.applicationType, 1);
    EXPECT_EQ(feature.imageWidth, 1000);
    ASSERT_TRUE(feature.textLines);
    ASSERT_EQ(feature.textLines->count, 1);
    EXPECT_EQ(test::N(feature.textLines->Get(0)->text), "02");
    EXPECT_EQ(feature.textLines->Get(0)->RegionRect(), (Rect32{100, 50, 150, 70}));

    // Nothing recognisable: -14 and the feature is left as it was.
    CFilterTextInfo untouched;
    EXPECT_EQ(filter.FinishFeature({}, Rect32{}, 1000, 800, lim, engines, recognize, untouched),
              kErrMergeChars);
    EXPECT_FALSE(untouched.textLines);
    EXPECT_EQ(untouched.refFilter, -1);
}

TEST(TextScoring, MachineReadableZonePatternsTellPassportFromVisa) {
    Lines passport({{u"P<\\U{3}[\\U<]{39}"}, {u"[\\U\\D<]{9}\\D\\U{3}\\D{7}[MF<]\\D{7}[\\U\\D<]{14}\\D\\D"}},
                   false);
    Lines visa({{u"V<\\U{3}[\\U<]{39}"}, {u"[\\U\\D<]{9}\\D\\U{3}\\D{7}[MF<]\\D{7}[\\U\\D<]{16}"}}, false);
    Lines passportPage({{u"P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<"},
                        {u"L898902C36UTO7408122F1204159ZE184226B<<<<<10"}},
                       true);
    Lines visaPage({{u"V<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<"},
                    {u"L8988901C4XXX4009078F96121096ZE184226B<<<<<<"}},
                   true);
    EXPECT_EQ(MatchTextLines(3, 0, passport.ptrs, passportPage.ptrs, false), 1000);
    EXPECT_EQ(MatchTextLines(3, 0, visa.ptrs, visaPage.ptrs, false), 1000);
    // The first character decides line 1 (43 of 44); the visa's free
    // optional field accepts the passport's check digits, so line 2 agrees.
    EXPECT_EQ(MatchTextLines(3, 0, visa.ptrs, passportPage.ptrs, false), (977 + 1000) / 2);
    EXPECT_LT(MatchTextLines(3, 0, passport.ptrs, visaPage.ptrs, false), 1000);
}

// ---- the filter on stored features ----

std::unique_ptr<CFilterTextInfo> TextInfo(int32_t refFilter, std::initializer_list<LineSpec> lineSpecs,
                                          bool recognised) {
    auto info = std::make_unique<CFilterTextInfo>();
    info->refFilter = refFilter;
    info->textLines = std::make_unique<CTextLineList>();
    Lines l(lineSpecs, recognised);
    for (auto& t : l.owned) info->textLines->items.push_back(std::move(t));
    info->textLines->count = static_cast<int32_t>(info->textLines->items.size());
    return info;
}

CSubTemplate& AddChild(CTemplateGroup& group, std::vector<std::unique_ptr<CSubTemplate>>& subs,
                       std::unique_ptr<CFilterTextInfo> reference) {
    auto sub = std::make_unique<CSubTemplate>();
    sub->filterInfos = std::make_unique<CFilterInfoList>();
    sub->filterInfos->items.push_back(std::move(reference));
    sub->filterInfos->count = 1;
    auto child = std::make_unique<CTemplateGroup>();
    child->attached = sub.get();
    child->Score().Reset();
    group.children.push_back(std::move(child));
    ++group.childCount;
    subs.push_back(std::move(sub));
    return *subs.back();
}

TEST(FilterTextScheme, StoredFeatureOfAnEarlierLevelScoresEachChild) {
    CRawImage page;
    ASSERT_EQ(page.Create(100, 100, 8, 300), 1);
    CTemplateGroup group;
    std::vector<std::unique_ptr<CSubTemplate>> subs;
    CSubTemplate own;
    group.attached = &own;
    // The feature the filter with index 7 stored at the previous level.
    auto stored = TextInfo(7, {{u"IDENTITY CARD"}, {u"SURNAME"}}, true);
    stored->method = 1;
    stored->applicationType = 1;
    own.StoreFeature(*stored, FilterKinds());

    AddChild(group, subs, TextInfo(3, {{u"IDENTITY CARD"}, {u"SURNAME"}}, false));
    AddChild(group, subs, TextInfo(3, {{u"DRIVING LICENCE"}, {u"SURNAME"}}, false));

    CFilterText filter;
    filter.index = 3;
    filter.processType = kProcessWeightedSum;
    filter.weight = 1;
    filter.featureMode = 1;
    for (int32_t app : {0, 1}) {
        filter.applicationType = app;
        for (int32_t i = 0; i < 2; ++i) group.Child(i)->Score().Reset();
        filter.inheritedFilter = 7;
        ASSERT_EQ(filter.Classify(page, &group), kSuccess);
        EXPECT_EQ(group.Child(0)->score->score, 1000) << app;
        EXPECT_LT(group.Child(1)->score->score, 1000) << app;
        EXPECT_GT(group.Child(1)->score->score, 0) << app;
        // Each compared child keeps a copy of the feature.
        ASSERT_TRUE(subs[0]->FindStoredFeature(7));
        EXPECT_TRUE(subs[1]->FindStoredFeature(7));

        // Without a stored feature under the inherited index no child is scored.
        for (int32_t i = 0; i < 2; ++i) group.Child(i)->Score().Reset();
        filter.inheritedFilter = 5;
        ASSERT_EQ(filter.Classify(page, &group), kSuccess);
        EXPECT_EQ(group.Child(0)->score->score, 0);
        EXPECT_EQ(group.Child(1)->score->score, 0);
    }
}

TEST(FilterTextInfoRecord, CompareAndLocateAnchors) {
    auto ref = TextInfo(1, {{u"PASSPORT", u"", 1, 0, 0, Rect32{1000, 500, 9000, 1000}}}, false);
    ref->textLines->Get(0)->region->anchorList = std::make_unique<CAnchorList>();
    ref->textLines->Get(0)->region->anchorList->items.push_back(std::make_unique<CAnchor>());
    ref->textLines->Get(0)->region->anchorList->count = 1;
    auto feature = TextInfo(1, {{u"PASSP0RT", u"", 1, 0, 0, Rect32{1200, 600, 8800, 1100}}}, true);
    feature->method = 1;
    ref->SetImageSize(kPage, kPage);
    feature->SetImageSize(kPage, kPage);
    EXPECT_EQ(feature->Compare(ref.get()), 875);  // 7 of 8
    CAnchor* anchor = ref->textLines->Get(0)->region->anchorList->Get(0);
    EXPECT_TRUE(anchor->valid);  // 875 reaches the default threshold 750
    EXPECT_EQ(anchor->position, 8800);
    anchor->valid = false;
    EXPECT_TRUE(ref->LocateAnchors(feature.get()));
    EXPECT_TRUE(anchor->valid);
    EXPECT_EQ(feature->Compare(nullptr), 0);
    CFilterTextInfo blank;
    EXPECT_FALSE(ref->LocateAnchors(&blank));
    feature->method = 9;
    EXPECT_EQ(feature->Compare(ref.get()), 0);
}

// The per-line values the decision trace shows: one per compared reference
// line, the value its anchors are placed with, and the same total whether or
// not they are asked for.
TEST(TextScoring, PerLineValuesOfTheMethods) {
    const std::u16string letters = u"ABC";
    const std::u16string digits = u"0123456789";
    struct Case {
        int32_t method;
        std::vector<TextLineScore> expected;
    };
    // Reference ABC and 123, recognised ABC and 12; for alignment a third
    // reference line at offset 5, which has no partner.
    const Case cases[] = {
        {1, {{0, 0, 1000}, {1, 1, 666}, {2, -1, 0}}},
        {2, {{0, 0, 1000}, {1, 1, 666}}},
        {5, {{0, 0, 1000}, {1, 1, 666}}},
        {4, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        Lines ref(
            c.method == 1
                ? Lines({{u"ABC", letters, 1, 0, 3}, {u"123", digits, 1, 1, 3}, {u"XYZ", letters, 1, 5, 3}},
                        false)
                : Lines({{u"ABC", letters, 1, 0, 3}, {u"123", digits, 1, 1, 3}}, false));
        Lines rec({{u"ABC"}, {u"12"}}, true);
        const int32_t plain = MatchTextLines(c.method, 0, ref.ptrs, rec.ptrs, false);
        std::vector<TextLineScore> lines;
        EXPECT_EQ(MatchTextLines(c.method, 0, ref.ptrs, rec.ptrs, false, &lines), plain);
        ASSERT_EQ(lines.size(), c.expected.size());
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].reference, c.expected[i].reference) << i;
            EXPECT_EQ(lines[i].feature, c.expected[i].feature) << i;
            EXPECT_EQ(lines[i].value, c.expected[i].value) << i;
        }
    }
    Lines ref({{u"\\D{5}"}, {u"\\U{3}"}}, false);
    Lines rec({{u"12345"}, {u"AB"}}, true);
    std::vector<TextLineScore> lines;
    const int32_t total = MatchTextLines(3, 0, ref.ptrs, rec.ptrs, false, &lines);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].value, 1000);
    EXPECT_LT(lines[1].value, 1000);
    EXPECT_EQ(total, (lines[0].value + lines[1].value) / 2);
}

}  // namespace
}  // namespace libMorvaneClassifier

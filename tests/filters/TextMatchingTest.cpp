// Character merge, recognition confidence and the string measures of the
// text filter, with the worked values and hostile inputs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CpuStopwatch.h"
#include "filters/TextMatching.h"

using morvane::test::CpuStopwatch;

namespace libMorvaneClassifier {
namespace {

// A recognition result with the given candidates (best first) and scores.
RecognitionResult Rec(const std::u16string& cands, std::vector<uint16_t> scores = {}) {
    RecognitionResult r;
    for (size_t i = 0; i < cands.size() && i < 10; ++i) {
        r.candidates[i] = cands[i];
        r.scores[i] = i < scores.size() ? scores[i] : 0;
    }
    return r;
}

std::vector<RecognitionResult> FirstChoice(const std::u16string& text) {
    std::vector<RecognitionResult> v;
    for (char16_t c : text) v.push_back(Rec(std::u16string(1, c), {10}));
    return v;
}

TEST(TextPatternScore, WorkedValuesAndLanguage) {
    struct Case {
        const char16_t* pattern;
        std::vector<RecognitionResult> chars;
        int32_t applicationType;
        int32_t expected;
    };
    const std::vector<Case> cases = {
        // three digits, a hyphen, two digits against six matching characters
        {u"\\D{3}-\\D{2}", FirstChoice(u"123-45"), 0, 1000},
        // only the first five: E = 500 at offset 0
        {u"\\D{3}-\\D{2}", FirstChoice(u"123-4"), 0, 833},
        // both sides: (600 + 500) × 500 × 1000 / (2 × 600 × 500)
        {u"\\D{3}-\\D{2}", FirstChoice(u"123-4"), 1, 916},
        // literal set A, B against candidates C, B: weight 80
        {u"[AB]", {Rec(u"CB")}, 0, 800},
        {u".", {Rec(u"a")}, 0, 1000},
        {u"\\U\\L", {Rec(u"xA"), Rec(u"b")}, 0, 900},
        // the any-slot tries digit before upper-case: the digit at rank 2 gives 60
        {u".", {Rec(u"-+7A")}, 0, 600},
        {u"\\S\\T", FirstChoice(u"\u4e2d\u6587"), 0, 1000},
        // escaped specials are literals; an unknown escape drops the backslash
        {u"\\.\\[\\q", FirstChoice(u".[q"), 0, 1000},
        {u"\\.", FirstChoice(u"x"), 0, 0},
        // sets take escapes and classes
        {u"[\\]\\D]",
         {
             Rec(u"]"),
         },
         0,
         1000},
        {u"[\\]\\D]{2}", {Rec(u"]"), Rec(u"x5")}, 0, 900},
        // the shorter side slides along the longer one
        {u"AB", FirstChoice(u"xxABxx"), 0, 1000},
        {u"xxABxx", FirstChoice(u"AB"), 0, 333},
        // other characters inside a repeat count are ignored
        {u"A{ 2x}", FirstChoice(u"AA"), 0, 1000},
        // {} gives no count: the element stands once; {0} removes it
        {u"A{}B", FirstChoice(u"AB"), 0, 1000},
        {u"A{0}B", FirstChoice(u"B"), 0, 1000},
        // a lone backslash at the end stands for nothing
        {u"AB\\", FirstChoice(u"AB"), 0, 1000},
        // no characters, empty pattern, unclosed set
        {u"A", {}, 0, 0},
        {u"", FirstChoice(u"A"), 0, 0},
        {u"[AB", FirstChoice(u"A"), 0, 0},
        {u"A{0}", FirstChoice(u"A"), 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PatternScore(c.pattern, c.chars.data(), c.chars.size(), c.applicationType), c.expected)
            << std::string(c.pattern, c.pattern + std::char_traits<char16_t>::length(c.pattern));
    }
}

TEST(TextPatternScore, HostilePatternsStayBounded) {
    const auto chars = FirstChoice(u"12345");
    const CpuStopwatch clock;
    EXPECT_EQ(PatternScore(u"\\D{1000000000}", chars.data(), chars.size(), 0), 0);
    EXPECT_EQ(PatternScore(u"\\D{99999999999999999999999}", chars.data(), chars.size(), 1), 0);
    std::vector<PatternElement> els;
    EXPECT_FALSE(ParsePattern(u"\\D{1000000000}", els));
    EXPECT_TRUE(els.empty());
    // A reference text of 10^5 characters is beyond the bounds.
    EXPECT_EQ(PatternScore(std::u16string(100000, u'1'), chars.data(), chars.size(), 0), 0);
    // A set of 8000 characters repeated up to the element bound, against as
    // many characters that all miss it: every offset is tried, cheaply.
    std::u16string bigSet = u"[";
    for (char16_t c = 0x4E00; c < 0x4E00 + 8000; ++c) bigSet.push_back(c);
    bigSet += u"]{1024}";
    const auto misses = FirstChoice(std::u16string(512, u'x'));
    EXPECT_EQ(PatternScore(bigSet, misses.data(), misses.size(), 0), 0);
    // At the element bound a perfect offset ends the slide at once.
    const auto many = FirstChoice(std::u16string(kMaxPatternElements, u'7'));
    EXPECT_EQ(PatternScore(u"\\D{1024}", many.data(), many.size(), 0), 1000);
    EXPECT_EQ(PatternScore(u"\\D{1025}", many.data(), many.size(), 0), 0);
    EXPECT_EQ(PatternScore(u"\\D", many.data(), many.size(), 0), 1000);
    EXPECT_EQ(PatternScore(u"\\D", many.data(), many.size(), 1), 500);
    // Unclosed "{" is read as literal characters.
    ASSERT_TRUE(ParsePattern(u"A{3", els));
    EXPECT_EQ(els.size(), 3u);
    EXPECT_LT(clock.Seconds(), 5.0);
}

TEST(TextStringMeasures, WorkedValues) {
    struct Case {
        const char16_t* a;
        const char16_t* b;
        int32_t edit, lcs, shared;
    };
    const Case cases[] = {
        {u"12", u"123", 1, 2, 2},  {u"ABCD", u"ACD", 1, 3, 3}, {u"AAB", u"AB", 1, 2, 2},
        {u"AB", u"AAB", 1, 2, 2},  {u"", u"ABC", 3, 0, 0},     {u"kitten", u"sitting", 3, 4, 3},
        {u"XYZ", u"ABC", 3, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EditDistance(c.a, c.b), c.edit);
        EXPECT_EQ(EditDistance(c.b, c.a), c.edit);
        EXPECT_EQ(LcsLength(c.a, c.b), c.lcs);
        EXPECT_EQ(SharedCharCount(c.a, c.b), c.shared);
    }
}

TEST(TextStringMeasures, LongTextsAreMeasuredOnABoundedPrefix) {
    const std::u16string a(100000, u'A');
    const std::u16string b = std::u16string(100000, u'A') + u"B";
    const CpuStopwatch clock;
    EXPECT_EQ(EditDistance(a, b), 0);
    EXPECT_EQ(LcsLength(a, b), static_cast<int32_t>(kMaxMeasuredChars));
    EXPECT_EQ(SharedCharCount(a, b), 1);
    const LineAlignment al = AlignLines({a}, {b});
    EXPECT_EQ(al.pairs, 1);
    EXPECT_EQ(al.weight[0], static_cast<int32_t>(kMaxMeasuredChars));
    // Many long lines on both sides go past the alignment bound: no pairs.
    const std::vector<std::u16string> lines(64, std::u16string(2000, u'A'));
    EXPECT_EQ(AlignLines(lines, lines).pairs, 0);
    EXPECT_LT(clock.Seconds(), 10.0);
}

TEST(TextAlignLines, PairsAndFewestSteps) {
    LineAlignment a = AlignLines({u"ABC", u"123"}, {u"ABC", u"12"});
    EXPECT_EQ(a.total, 5);
    EXPECT_EQ(a.pairs, 2);
    EXPECT_EQ(a.partner, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(a.weight, (std::vector<int32_t>{3, 2}));

    // An unmatched template line and a stray recognised line sharing no
    // character with it are skipped: pairing them adds 0, which is not more
    // than skipping either.
    a = AlignLines({u"NAME", u"PASSPORT", u"2024"}, {u"-----", u"PASSP0RT", u"2024"});
    EXPECT_EQ(a.total, 11);
    EXPECT_EQ(a.pairs, 2);
    EXPECT_EQ(a.partner, (std::vector<int32_t>{-1, 1, 2}));
    EXPECT_EQ(a.weight, (std::vector<int32_t>{0, 7, 4}));
    // A recognised line sharing N and E with it is paired, with weight 2.
    a = AlignLines({u"NAME", u"PASSPORT", u"2024"}, {u"NOISE", u"PASSP0RT", u"2024"});
    EXPECT_EQ(a.total, 13);
    EXPECT_EQ(a.pairs, 3);
    EXPECT_EQ(a.partner, (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(a.weight, (std::vector<int32_t>{2, 7, 4}));

    // Crossing pairs are impossible: order is kept.
    a = AlignLines({u"AAAA", u"BB"}, {u"BB", u"AAAA"});
    EXPECT_EQ(a.total, 4);
    EXPECT_EQ(a.pairs, 1);
    EXPECT_EQ(a.partner, (std::vector<int32_t>{1, -1}));

    a = AlignLines({}, {u"A"});
    EXPECT_EQ(a.total, 0);
    EXPECT_TRUE(a.partner.empty());
    a = AlignLines({u"A"}, {});
    EXPECT_EQ(a.partner, (std::vector<int32_t>{-1}));
}

TEST(TextConfidence, WithoutRatioRecords) {
    struct Case {
        std::u16string filterPlus;
        RecognitionResult r;
        int32_t expected;
    };
    const std::vector<Case> cases = {
        {u"", Rec(u"ABC", {10, 30, 60}), 81},                 // (100 - 10) × 90 / 100
        {u"BC", Rec(u"ABC", {10, 30, 60}), 60},               // S = 90, first allowed B (30)
        {u"Z", Rec(u"ABC", {10, 30, 60}), 0},                 // nothing allowed
        {u"", Rec(u"A", {50}), 0},                            // one candidate: S - f = 0
        {u"", Rec(u"", {}), 0},                               // empty result
        {u"", Rec(u"ABCDEFG", {1, 1, 1, 1, 1, 90, 90}), 72},  // only five candidates count
    };
    for (Case c : cases) {
        TextEngineRecord e;
        e.filterPlus = c.filterPlus;
        EXPECT_EQ(Confidence(c.r, e, Rect32{0, 0, 10, 20}), c.expected);
    }
}

TEST(TextConfidence, WithRatioRecords) {
    TextEngineRecord digits;
    digits.charRatios.push_back({2, 50, u""});
    const Rect32 box{0, 0, 10, 20};  // ratio 50

    RecognitionResult r = Rec(u"5S", {10, 90});
    EXPECT_EQ(Confidence(r, digits, box), 91);  // t 100, u 90
    EXPECT_EQ(r.candidates[0], u'5');

    // The second candidate passes and moves to first place.
    r = Rec(u"S5", {10, 90});
    EXPECT_EQ(Confidence(r, digits, box), 19);  // t 100, u 10
    EXPECT_EQ(r.candidates[0], u'5');
    EXPECT_EQ(r.scores[0], 90);

    // A box twice as wide as the record's ratio: t = |50 - 50| = 0.
    r = Rec(u"5S", {10, 90});
    EXPECT_EQ(Confidence(r, digits, Rect32{0, 0, 20, 20}), 81);

    // Type 0 accepts anything without a test: u from the last score.
    TextEngineRecord any;
    any.charRatios.push_back({0, 50, u""});
    r = Rec(u"5S", {10, 90});
    EXPECT_EQ(Confidence(r, any, box), 19);

    // A one-character set names the character.
    TextEngineRecord dash;
    dash.charRatios.push_back({10, 50, u"-"});
    r = Rec(u"_~", {10, 90});
    EXPECT_EQ(Confidence(r, dash, box), 19);
    EXPECT_EQ(r.candidates[0], u'-');

    // No accepted candidate, a zero ratio, zero scores: 0.
    r = Rec(u"AB", {10, 90});
    EXPECT_EQ(Confidence(r, digits, box), 0);
    TextEngineRecord zero;
    zero.charRatios.push_back({2, 0, u""});
    r = Rec(u"5S", {10, 90});
    EXPECT_EQ(Confidence(r, zero, box), 0);
    r = Rec(u"5S", {0, 0});
    EXPECT_EQ(Confidence(r, digits, box), 0);

    // Flat boxes up to 10 pixels high take the record's ratio.
    TextEngineRecord flat;
    flat.charRatios.push_back({10, 300, u"-"});
    r = Rec(u"-=", {10, 90});
    EXPECT_EQ(Confidence(r, flat, Rect32{0, 0, 80, 8}), 19);  // ratio 1000 would give 22
}

TEST(TextConfidence, ChoosingAmongRatioRecords) {
    TextEngineRecord e;
    e.charRatios.push_back({2, 50, u""});   // digits, narrow
    e.charRatios.push_back({3, 100, u""});  // upper-case, square

    // Square box: the nearest record (upper-case) is more than 25 closer than
    // the digit record accepting candidate 0, so it is chosen and its
    // accepted second candidate moves up.
    RecognitionResult r = Rec(u"5S", {10, 90});
    Confidence(r, e, Rect32{0, 0, 10, 10});
    EXPECT_EQ(r.candidates[0], u'S');

    // Ratio 80: the accepting digit record is 30 away, the nearest 20: the
    // accepting record wins and the digit stays first.
    r = Rec(u"5S", {10, 90});
    EXPECT_EQ(Confidence(r, e, Rect32{0, 0, 8, 10}), 85);  // t = |50 - 30| × 100 / 50 = 40, u = 90
}

// Limits for characters about 20 pixels high and up to 30 wide.
TextCharLimits MergeLimits() {
    TextCharLimits l;
    l.minWidthPx = 1;
    l.maxWidthPx = 30;
    l.minHeightPx = 1;
    l.maxHeightPx = 40;
    l.minSpacePx = 0;
    l.maxSpacePx = 20;
    l.minWHRatio = 10;
    l.maxWHRatio = 300;
    return l;
}

// A recogniser that logs every box it is asked for: boxes at least 20 wide
// read as "H" with confidence 81, narrower ones as "I" with confidence 45.
struct LoggingRecognizer {
    std::vector<Rect32> calls;
    TextRecognizeFn Fn() {
        return [this](const Rect32& box, size_t, RecognitionResult& r) {
            calls.push_back(box);
            r = box.right - box.left >= 20 ? Rec(u"HX", {10, 90}) : Rec(u"Il", {50, 50});
            return true;
        };
    }
    bool Asked(const Rect32& box) const {
        for (const Rect32& c : calls)
            if (c == box) return true;
        return false;
    }
};

std::vector<Rect32> Pieces(std::initializer_list<std::pair<int, int>> columns, int height = 20) {
    std::vector<Rect32> v;
    for (auto [l, r] : columns) v.push_back(Rect32{l, 0, r, height});
    return v;
}

TEST(TextDynamicMerge, TwoPieceGapDecidesFurtherGrowth) {
    const std::vector<TextEngineRecord> engines(1);
    {
        // Gap 4 is within max(MinSpacePx, 5): the candidate grows to three pieces.
        LoggingRecognizer rec;
        auto boxes = Pieces({{0, 10}, {14, 24}, {28, 38}});
        std::vector<RecognitionResult> results;
        DynamicMerge(MergeLimits(), engines, rec.Fn(), boxes, results);
        EXPECT_TRUE(rec.Asked(Rect32{0, 0, 24, 20}));
        EXPECT_TRUE(rec.Asked(Rect32{0, 0, 38, 20}));
    }
    {
        // Gap 6 stops growth after the two-piece candidate.
        LoggingRecognizer rec;
        auto boxes = Pieces({{0, 10}, {16, 26}, {32, 42}});
        std::vector<RecognitionResult> results;
        DynamicMerge(MergeLimits(), engines, rec.Fn(), boxes, results);
        EXPECT_TRUE(rec.Asked(Rect32{0, 0, 26, 20}));
        EXPECT_FALSE(rec.Asked(Rect32{0, 0, 42, 20}));
    }
}

TEST(TextDynamicMerge, BestPathJoinsPiecesOfOneCharacter) {
    const std::vector<TextEngineRecord> engines(1);
    LoggingRecognizer rec;
    // Two halves of one character (2 × 81 beats 45 + 45), then a lone narrow one.
    auto boxes = Pieces({{0, 10}, {12, 22}, {40, 48}});
    std::vector<RecognitionResult> results;
    ASSERT_EQ(DynamicMerge(MergeLimits(), engines, rec.Fn(), boxes, results), 2);
    EXPECT_EQ(boxes[0], (Rect32{0, 0, 22, 20}));
    EXPECT_EQ(boxes[1], (Rect32{40, 0, 48, 20}));
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].candidates[0], u'H');
    EXPECT_EQ(results[1].candidates[0], u'I');
}

TEST(TextDynamicMerge, SinglePieceAnyShapeAndDegenerateInput) {
    const std::vector<TextEngineRecord> engines(1);
    LoggingRecognizer rec;
    // Ratio 2000, far beyond MaxWHRatio, and wider than MaxWidthPx.
    auto boxes = Pieces({{0, 100}}, 5);
    std::vector<RecognitionResult> results;
    EXPECT_EQ(DynamicMerge(MergeLimits(), engines, rec.Fn(), boxes, results), 1);
    EXPECT_EQ(rec.calls.size(), 1u);
    // Too high for a character: not recognised, still one merged box.
    rec.calls.clear();
    boxes = Pieces({{0, 10}}, 60);
    EXPECT_EQ(DynamicMerge(MergeLimits(), engines, rec.Fn(), boxes, results), 1);
    EXPECT_TRUE(rec.calls.empty());
    EXPECT_EQ(LeadingCandidates(results[0]), 0);

    boxes.clear();
    EXPECT_EQ(DynamicMerge(MergeLimits(), engines, rec.Fn(), boxes, results), 0);
    EXPECT_TRUE(results.empty());
    boxes = Pieces({{0, 10}});
    EXPECT_EQ(DynamicMerge(MergeLimits(), engines, nullptr, boxes, results), 0);
}

TEST(TextDynamicMerge, HigherConfidenceEngineWinsAndFailuresAreSkipped) {
    std::vector<TextEngineRecord> engines(3);
    engines[2].filterPlus = u"Q";
    auto recognize = [](const Rect32&, size_t engine, RecognitionResult& r) {
        if (engine == 0) return false;  // fails on every box
        r = engine == 1 ? Rec(u"AB", {50, 50}) : Rec(u"QR", {10, 90});
        return true;
    };
    auto boxes = Pieces({{0, 10}});
    std::vector<RecognitionResult> results;
    ASSERT_EQ(DynamicMerge(MergeLimits(), engines, recognize, boxes, results), 1);
    // Engine 2 keeps only Q (score 10): S - f = 0, confidence 0, below engine 1's 45.
    EXPECT_EQ(results[0].candidates[0], u'A');
}

TEST(TextDynamicMerge, GrowthStopsAtMaxWidth) {
    const std::vector<TextEngineRecord> engines(1);
    LoggingRecognizer rec;
    std::vector<Rect32> boxes;
    for (int i = 0; i < 2000; ++i) boxes.push_back(Rect32{i * 12, 0, i * 12 + 10, 20});
    std::vector<RecognitionResult> results;
    EXPECT_GT(DynamicMerge(MergeLimits(), engines, rec.Fn(), boxes, results), 0);
    // Each last piece is tried alone, with one and with two more pieces
    // (the third union, 34 wide, is the first wider than 30).
    EXPECT_LE(rec.calls.size(), 2000u * 3);
    for (const Rect32& c : rec.calls) EXPECT_LE(c.right - c.left, 34);

    // Every recognition fails: all totals are 0 and the tie goes to the
    // longest first cell; nothing carries a candidate.
    boxes = Pieces({{0, 10}, {30, 40}});
    auto failing = [](const Rect32&, size_t, RecognitionResult&) { return false; };
    ASSERT_EQ(DynamicMerge(MergeLimits(), engines, failing, boxes, results), 1);
    EXPECT_EQ(boxes[0], (Rect32{0, 0, 40, 20}));
    EXPECT_EQ(LeadingCandidates(results[0]), 0);
}

// Method 6: a line of the wrong length or alphabet scores far below a zone
// line, where method 3 lets junk come close.
TEST(StrictPatternScore, LengthAndAlphabetCount) {
    const std::u16string pattern =
        u"[ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789<]{9}\\D[ABCDEFGHIJKLMNOPQRSTUVWXYZ<]{3}\\D{7}[MFX<]\\D{7}"
        u"[ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789<]{14}[0123456789<]\\D";
    const std::u16string zone = u"L898902C36UTO7408122F1204159ZE184226B<<<<<10";
    struct Case {
        const char* what;
        std::u16string text;
        int32_t atMost;
        int32_t atLeast;
    };
    const Case cases[] = {
        {"the zone line", zone, 1000, 1000},
        {"a border read as a character", u"I" + zone, 909, 800},
        {"a line of 30", zone.substr(0, 30), 0, 0},
        {"junk of the same length", u"Director General-MINISTRY of health, 1234567", 150, 0},
    };
    for (const Case& c : cases) {
        const std::vector<RecognitionResult> chars = FirstChoice(c.text);
        const int32_t s = StrictPatternScore(pattern, chars.data(), chars.size());
        EXPECT_LE(s, c.atMost) << c.what;
        EXPECT_GE(s, c.atLeast) << c.what;
    }
    // Method 3 scores the same junk well above what method 6 gives it.
    const std::vector<RecognitionResult> junk = FirstChoice(u"Director General-MINISTRY of health, 1234567");
    EXPECT_GT(PatternScore(pattern, junk.data(), junk.size(), 1),
              StrictPatternScore(pattern, junk.data(), junk.size()) + 150);
    EXPECT_EQ(StrictPatternScore(u"[AB", junk.data(), junk.size()), 0);  // malformed
}

}  // namespace
}  // namespace libMorvaneClassifier

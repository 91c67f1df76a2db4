// The matching share of a text-filter classification on a passport data
// page: the character merge of the two 44-character lines of the
// machine-readable zone (every third character split in two pieces, the
// recogniser answering from a table so that only the lattice is timed), and
// the scoring of the recognised lines against a passport and a visa
// reference by pattern, alignment and edit distance.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "filters/TextMatching.h"
#include "filters/TextScoring.h"

using namespace libMorvaneClassifier;

namespace {

const std::u16string kLine1 = u"P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<";
const std::u16string kLine2 = u"L898902C36UTO7408122F1204159ZE184226B<<<<<10";

// Pieces of one line at 300 dpi: 30-pixel pitch, 20 wide, 36 high; every
// third character is cut into two halves.
std::vector<Rect32> LinePieces(size_t n) {
    std::vector<Rect32> v;
    for (size_t i = 0; i < n; ++i) {
        const int32_t x = static_cast<int32_t>(i * 30);
        if (i % 3 == 2) {
            v.push_back(Rect32{x, 0, x + 9, 36});
            v.push_back(Rect32{x + 11, 0, x + 20, 36});
        } else {
            v.push_back(Rect32{x, 0, x + 20, 36});
        }
    }
    return v;
}

TextCharLimits MrzLimits() {
    TextCharLimits l;
    l.minWidthPx = 4;
    l.maxWidthPx = 28;
    l.minHeightPx = 20;
    l.maxHeightPx = 48;
    l.minSpacePx = 2;
    l.maxSpacePx = 14;
    l.minWHRatio = 10;
    l.maxWHRatio = 120;
    return l;
}

TextRecognizeFn TableRecognizer(const std::u16string& line) {
    return [&line](const Rect32& box, size_t, RecognitionResult& r) {
        const size_t i = static_cast<size_t>(box.left / 30);
        const bool whole = box.right - box.left >= 16;
        r.candidates[0] = i < line.size() ? line[i] : u'<';
        r.candidates[1] = u'<';
        r.scores[0] = whole ? 10 : 60;
        r.scores[1] = whole ? 90 : 40;
        return true;
    };
}

void BM_MergeMrzLines(benchmark::State& state) {
    const std::vector<TextEngineRecord> engines(1);
    const TextCharLimits lim = MrzLimits();
    for (auto _ : state) {
        for (const std::u16string* line : {&kLine1, &kLine2}) {
            std::vector<Rect32> boxes = LinePieces(line->size());
            std::vector<RecognitionResult> results;
            benchmark::DoNotOptimize(DynamicMerge(lim, engines, TableRecognizer(*line), boxes, results));
        }
    }
}
BENCHMARK(BM_MergeMrzLines)->Unit(benchmark::kMicrosecond);

struct Lines {
    std::vector<std::unique_ptr<CTextLine>> owned;
    std::vector<CTextLine*> ptrs;
    void Add(const std::u16string& text, const std::u16string& charset, bool recognised) {
        auto t = std::make_unique<CTextLine>();
        t->text = text;
        t->charset = charset;
        t->charNum = static_cast<int32_t>(text.size());
        if (recognised)
            for (char16_t c : text) {
                RecognitionResult r;
                r.candidates[0] = c;
                r.candidates[1] = u'<';
                r.scores[0] = 10;
                r.scores[1] = 90;
                t->lineResults.push_back(r);
            }
        ptrs.push_back(t.get());
        owned.push_back(std::move(t));
    }
};

void BM_ScoreMrzAgainstTwoReferences(benchmark::State& state) {
    const std::u16string mrzSet = u"<0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    Lines feature;
    feature.Add(kLine1, u"", true);
    feature.Add(kLine2, u"", true);
    Lines passport;
    passport.Add(u"P<\\U{3}[\\U<]{39}", mrzSet, false);
    passport.Add(u"[\\U\\D<]{9}\\D\\U{3}\\D{7}[MF<]\\D{7}[\\U\\D<]{14}\\D\\D", mrzSet, false);
    Lines visa;
    visa.Add(u"V<\\U{3}[\\U<]{39}", mrzSet, false);
    visa.Add(u"[\\U\\D<]{9}\\D\\U{3}\\D{7}[MF<]\\D{7}[\\U\\D<]{16}", mrzSet, false);
    Lines passportText;
    passportText.Add(kLine1, mrzSet, false);
    passportText.Add(kLine2, mrzSet, false);
    for (auto _ : state) {
        benchmark::DoNotOptimize(MatchTextLines(kTextMatchPattern, 0, passport.ptrs, feature.ptrs, true));
        benchmark::DoNotOptimize(MatchTextLines(kTextMatchPattern, 0, visa.ptrs, feature.ptrs, true));
        benchmark::DoNotOptimize(MatchTextLines(kTextMatchAlign, 0, passportText.ptrs, feature.ptrs, true));
        benchmark::DoNotOptimize(
            MatchTextLines(kTextMatchEditDistance, 1, passportText.ptrs, feature.ptrs, true));
    }
}
BENCHMARK(BM_ScoreMrzAgainstTwoReferences)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

#include "api/RecognisedText.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "core/JsonText.h"
#include "filters/FilterArray.h"
#include "filters/FilterBase.h"
#include "filters/FilterText.h"
#include "templates/FilterConfig.h"
#include "templates/SubTemplate.h"
#include "templates/TemplateGroup.h"

namespace libMorvaneClassifier {

namespace {

// The filter indexes whose measurements a group's filters keep: each
// configured filter, and the filter whose stored measurement a config
// reuses (feature mode 1), since the reused copy keeps that index.
std::vector<int32_t> KeptFilterIndexes(const CTemplateGroup& group) {
    std::vector<int32_t> out;
    auto add = [&](int32_t i) {
        if (std::find(out.begin(), out.end(), i) == out.end()) out.push_back(i);
    };
    for (int32_t i = 0; i < group.FilterConfigCount(); ++i) {
        const CFilterConfig* c = group.FilterConfig(i);
        if (!c) continue;
        add(c->refFilter);
        if (c->featureMode == 1) add(c->inheritedFilter);
    }
    return out;
}

int64_t Scale(int64_t v, int64_t to, int64_t from) { return from > 0 ? v * to / from : v; }

// Moves a box of the page turned clockwise by turn degrees (size tw x th)
// back onto the page as handed in.
void TurnBack(int64_t& l, int64_t& t, int64_t& r, int64_t& b, int32_t turn, int64_t tw, int64_t th) {
    const int64_t L = l, T = t, R = r, B = b;
    switch (turn) {
        case 90:  // given (x, y) went to (th' - 1 - y, x), th' = given height = tw
            l = T;
            r = B;
            t = tw - R;
            b = tw - L;
            break;
        case 180:
            l = tw - R;
            r = tw - L;
            t = th - B;
            b = th - T;
            break;
        case 270:  // given (x, y) went to (y, given width - 1 - x), given width = th
            l = th - B;
            r = th - T;
            t = L;
            b = R;
            break;
        default:
            break;
    }
}

std::string LineKey(int32_t filter, const CTextLine& line) {
    const Rect32 r = line.RegionRect();
    std::string key = std::to_string(filter) + ':' + std::to_string(r.left) + ',' + std::to_string(r.top) +
                      ',' + std::to_string(r.right) + ',' + std::to_string(r.bottom) + ':';
    key += Utf16ToUtf8(line.text);
    return key;
}

int32_t MedianOf(std::vector<int32_t> values) {
    if (values.empty()) return 0;
    const size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid), values.end());
    return values[mid];
}

}  // namespace

std::u16string WithWordSpaces(const std::u16string& text, const std::vector<CharExtent>& extents) {
    const size_t n = extents.size();
    if (n != text.size() || n < 3) return text;
    std::vector<int32_t> gaps, pitches, heights;
    gaps.reserve(n - 1);
    pitches.reserve(n - 1);
    heights.reserve(n);
    // Centres doubled, so that they stay integers.
    auto centre2 = [&](size_t i) { return int64_t(extents[i].left) + int64_t(extents[i].right); };
    for (size_t i = 0; i < n; ++i) {
        heights.push_back(extents[i].height);
        if (i + 1 < n) {
            gaps.push_back(static_cast<int32_t>(
                std::clamp<int64_t>(int64_t(extents[i + 1].left) - extents[i].right, INT32_MIN, INT32_MAX)));
            pitches.push_back(static_cast<int32_t>(
                std::min<int64_t>(INT32_MAX, std::max<int64_t>(0, centre2(i + 1) - centre2(i)))));
        }
    }
    const int64_t gap = std::max(MedianOf(gaps), 1);
    const int64_t pitch2 = MedianOf(pitches);
    const int64_t height = MedianOf(heights);
    // A fixed-pitch line keeps its centres on the pitch while its gaps vary
    // with the glyphs' widths; a proportional line keeps its gaps while its
    // centres vary. Whichever varies less tells which the line is.
    const int64_t tolerance2 = std::max<int64_t>(2, pitch2 / 10);
    size_t gapsOff = 0, centresOff = 0;
    for (size_t i = 0; i + 1 < n; ++i) {
        if (std::llabs(2 * int64_t(gaps[i]) - 2 * gap) > tolerance2) ++gapsOff;
        if (std::llabs(int64_t(pitches[i]) - pitch2) > tolerance2) ++centresOff;
    }
    const bool fixedPitch = centresOff < gapsOff;
    std::u16string out;
    out.reserve(text.size() + text.size() / 2);
    for (size_t i = 0; i < n; ++i) {
        out.push_back(text[i]);
        if (i + 1 == n || text[i] == u' ' || text[i + 1] == u' ') continue;
        const int64_t g = int64_t(extents[i + 1].left) - extents[i].right;
        bool space = g > 3 * gap && 10 * g > 3 * height;
        // On a fixed-pitch line a word gap is an empty cell.
        if (fixedPitch) space = space && 10 * (centre2(i + 1) - centre2(i)) > 15 * pitch2;
        if (space) out.push_back(u' ');
    }
    return out;
}

std::vector<RecognisedLine> GatherRecognisedLines(const WalkRecord& walk, const DecisionTrace& trace,
                                                  const CFilterArray* filters) {
    std::vector<RecognisedLine> out;
    std::vector<std::string> seen;
    const int32_t turn = trace.turn;
    const bool quarter = turn == 90 || turn == 270;
    // The size of the page the walk ran on (turned when the search turned it).
    const int64_t tw = quarter ? walk.pageHeight : walk.pageWidth;
    const int64_t th = quarter ? walk.pageWidth : walk.pageHeight;
    const size_t levels = std::min(walk.groups.size(), trace.levels.size());
    for (size_t L = 0; L < levels; ++L) {
        const TraceLevel& tl = trace.levels[L];
        const CTemplateGroup* group = walk.groups[L];
        if (!group || (tl.by != ChoiceBy::kScore && tl.by != ChoiceBy::kDefault)) continue;
        const CTemplateGroup* chosen = group->Child(tl.chosen);
        if (!chosen) continue;
        std::vector<const CSubTemplate*> holders{chosen->attached};
        if (tl.by == ChoiceBy::kDefault)
            for (int32_t i = 0; i < group->childCount; ++i)
                if (const CTemplateGroup* c = group->Child(i); c && c != chosen)
                    holders.push_back(c->attached);
        for (int32_t ref : KeptFilterIndexes(*group)) {
            const CFilterTextInfo* feature = nullptr;
            const CSubTemplate* holder = nullptr;
            for (const CSubTemplate* h : holders) {
                if (!h) continue;
                const CFilterInfoBase* f = h->FindStoredFeature(ref);
                if (!f || f->type != kFilterTypeText) continue;
                feature = dynamic_cast<const CFilterTextInfo*>(f);
                holder = h;
                if (feature) break;
            }
            if (!feature || !feature->textLines) continue;
            const CFilterBase* filter = filters ? filters->Find(ref) : nullptr;
            feature->textLines->ForEach([&](CTextLine& line) {
                const std::string key = LineKey(ref, line);
                if (std::find(seen.begin(), seen.end(), key) != seen.end()) return;
                seen.push_back(key);
                RecognisedLine r;
                r.text = line.text;
                const Rect32 box = line.RegionRect();
                int64_t l = Scale(box.left, tw, line.imageWidth), t = Scale(box.top, th, line.imageHeight);
                int64_t rr = Scale(box.right, tw, line.imageWidth),
                        b = Scale(box.bottom, th, line.imageHeight);
                TurnBack(l, t, rr, b, turn, tw, th);
                r.x = static_cast<int32_t>(l);
                r.y = static_cast<int32_t>(t);
                r.w = static_cast<int32_t>(std::max<int64_t>(0, rr - l));
                r.h = static_cast<int32_t>(std::max<int64_t>(0, b - t));
                r.filter = ref;
                if (filter) r.filterName = filter->name;
                r.level = static_cast<int32_t>(L);
                r.group = group->name;
                r.templateId = holder->id;
                int64_t sum = 0;
                int32_t n = 0;
                std::vector<CharExtent> extents;
                for (const RecognitionResult& c : line.lineResults) {
                    if (c.candidates[0] == 0 || c.candidates[0] == 0xFFFF) continue;
                    // Gaps are judged on the page the filter read.
                    extents.push_back(CharExtent{
                        c.left, c.right,
                        static_cast<int32_t>(std::clamp<int64_t>(int64_t(c.bottom) - c.top, 0, INT32_MAX))});
                    int64_t cl = Scale(c.left, tw, line.imageWidth), ct = Scale(c.top, th, line.imageHeight);
                    int64_t cr = Scale(c.right, tw, line.imageWidth),
                            cb = Scale(c.bottom, th, line.imageHeight);
                    TurnBack(cl, ct, cr, cb, turn, tw, th);
                    r.charBoxes.push_back(
                        RecognisedLine::CharBox{static_cast<int32_t>(cl), static_cast<int32_t>(ct),
                                                static_cast<int32_t>(std::max<int64_t>(0, cr - cl)),
                                                static_cast<int32_t>(std::max<int64_t>(0, cb - ct))});
                    sum += c.scores[0];
                    ++n;
                    std::vector<MrzOption> options;
                    for (int k = 0; k < 10 && c.candidates[k] != 0 && c.candidates[k] != 0xFFFF; ++k)
                        options.push_back(MrzOption{c.candidates[k], c.scores[k]});
                    r.candidates.push_back(std::move(options));
                }
                r.spacedText = WithWordSpaces(r.text, extents);
                r.characters = n;
                r.distance = n > 0 ? static_cast<int32_t>(sum / n) : -1;
                out.push_back(std::move(r));
            });
        }
    }
    return out;
}

std::string RecognisedLinesJson(const std::vector<RecognisedLine>& lines, const WalkRecord& walk,
                                int32_t turn) {
    std::string out = "{\"page\":{\"width\":" + std::to_string(walk.pageWidth) +
                      ",\"height\":" + std::to_string(walk.pageHeight) +
                      "},\"turn\":" + std::to_string(turn) + ",\"lines\":[";
    for (size_t i = 0; i < lines.size(); ++i) {
        const RecognisedLine& l = lines[i];
        if (i) out.push_back(',');
        out += "{\"text\":";
        AppendJsonString(out, l.spacedText);
        out += ",\"x\":" + std::to_string(l.x) + ",\"y\":" + std::to_string(l.y) +
               ",\"w\":" + std::to_string(l.w) + ",\"h\":" + std::to_string(l.h) +
               ",\"filter\":" + std::to_string(l.filter) + ",\"filterName\":";
        AppendJsonString(out, l.filterName);
        out += ",\"level\":" + std::to_string(l.level) + ",\"group\":";
        AppendJsonString(out, l.group);
        out += ",\"template\":";
        AppendJsonString(out, l.templateId);
        out += ",\"characters\":" + std::to_string(l.characters) +
               ",\"distance\":" + std::to_string(l.distance) + "}";
    }
    out += "]}";
    return out;
}

}  // namespace libMorvaneClassifier

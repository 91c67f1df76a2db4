#include "template_merge.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "filters/TextMatching.h"
#include "filters/TextScoring.h"

namespace libMorvaneClassifier {
namespace authoring {

int32_t RequiredSamples(int32_t samples) { return samples <= 0 ? 0 : samples - samples / 4; }

// ---- frame lines ----

namespace {

// One detected line in ten-thousandths: its position across its direction
// and its two ends along it (from <= to).
struct Seg {
    int32_t angle = 0;
    int32_t across = 0;
    int32_t from = 0;
    int32_t to = 0;
    int32_t style = 0;
};

bool ToSeg(const CFrameLineInfo& f, Seg& s) {
    if (!f.line || (f.angle != 0 && f.angle != 90)) return false;
    const CLine& l = *f.line;
    s.angle = f.angle;
    s.style = f.style;
    if (f.angle == 0) {
        s.across = static_cast<int32_t>((static_cast<int64_t>(l.startPtY) + l.endPtY) / 2);
        s.from = std::min(l.startPtX, l.endPtX);
        s.to = std::max(l.startPtX, l.endPtX);
    } else {
        s.across = static_cast<int32_t>((static_cast<int64_t>(l.startPtX) + l.endPtX) / 2);
        s.from = std::min(l.startPtY, l.endPtY);
        s.to = std::max(l.startPtY, l.endPtY);
    }
    return true;
}

struct Cluster {
    int32_t angle = 0;
    int32_t style = 0;
    std::vector<Seg> members;
    std::vector<size_t> samples;  // the sample of each member
    int64_t sumAcross = 0, sumFrom = 0, sumTo = 0;
    int32_t Mean(int64_t sum) const {
        return static_cast<int32_t>(sum / static_cast<int64_t>(members.size()));
    }
    bool Has(size_t sample) const {
        return std::find(samples.begin(), samples.end(), sample) != samples.end();
    }
    void Add(const Seg& s, size_t sample) {
        members.push_back(s);
        samples.push_back(sample);
        sumAcross += s.across;
        sumFrom += s.from;
        sumTo += s.to;
    }
};

}  // namespace

FrameLineMerge MergeFrameLines(const std::vector<const CFilterFrameLineInfo*>& samples) {
    FrameLineMerge out;
    std::vector<Cluster> clusters;
    // Each line joins the nearest group of its direction that has no line of
    // its sample yet and lies within the tolerances of the group's average.
    for (size_t s = 0; s < samples.size(); ++s) {
        const CFilterFrameLineInfo* f = samples[s];
        if (!f || !f->frameLines) continue;
        for (int32_t i = 0; i < f->frameLines->count; ++i) {
            const CFrameLineInfo* info = f->frameLines->Get(i);
            Seg seg;
            if (!info || !ToSeg(*info, seg)) continue;
            Cluster* best = nullptr;
            int32_t bestDistance = std::numeric_limits<int32_t>::max();
            for (Cluster& c : clusters) {
                if (c.angle != seg.angle || c.Has(s)) continue;
                const int32_t across = std::abs(c.Mean(c.sumAcross) - seg.across);
                if (across > kFrameLineAcrossTolerance) continue;
                if (std::abs(c.Mean(c.sumFrom) - seg.from) > kFrameLineAlongTolerance ||
                    std::abs(c.Mean(c.sumTo) - seg.to) > kFrameLineAlongTolerance)
                    continue;
                if (across < bestDistance) {
                    bestDistance = across;
                    best = &c;
                }
            }
            if (!best) {
                clusters.emplace_back();
                best = &clusters.back();
                best->angle = seg.angle;
                best->style = seg.style;
            }
            best->Add(seg, s);
        }
    }
    const size_t required = static_cast<size_t>(RequiredSamples(static_cast<int32_t>(samples.size())));
    std::vector<const Cluster*> kept;
    for (const Cluster& c : clusters) {
        if (c.members.size() >= required && required > 0)
            kept.push_back(&c);
        else
            ++out.dropped;
    }
    if (kept.empty()) return out;
    // Horizontal lines top to bottom, then vertical lines left to right.
    std::stable_sort(kept.begin(), kept.end(), [](const Cluster* a, const Cluster* b) {
        if (a->angle != b->angle) return a->angle < b->angle;
        return a->Mean(a->sumAcross) < b->Mean(b->sumAcross);
    });
    auto reference = std::make_unique<CFilterFrameLineInfo>();
    reference->method = samples.front() ? samples.front()->method : 1;
    reference->frameLines = std::make_unique<CFrameLineList>();
    for (const Cluster* c : kept) {
        const int32_t across = c->Mean(c->sumAcross), from = c->Mean(c->sumFrom), to = c->Mean(c->sumTo);
        for (const Seg& m : c->members)
            out.spread = std::max(
                {out.spread, std::abs(m.across - across), std::abs(m.from - from), std::abs(m.to - to)});
        CFrameLineInfo info;
        info.index = reference->frameLines->count;
        info.angle = c->angle;
        info.style = c->style;
        info.line = std::make_unique<CLine>();
        if (c->angle == 0) {
            info.line->startPtX = from;
            info.line->endPtX = to;
            info.line->startPtY = info.line->endPtY = across;
        } else {
            info.line->startPtY = from;
            info.line->endPtY = to;
            info.line->startPtX = info.line->endPtX = across;
        }
        reference->frameLines->Append(info);
    }
    out.kept = reference->frameLines->count;
    out.reference = std::move(reference);
    return out;
}

// ---- text lines ----

int32_t TextSimilarity(const std::u16string& a, const std::u16string& b) {
    if (a.empty() && b.empty()) return 0;
    const int64_t lcs = LcsLength(a, b);
    // LcsLength looks at no more than kMaxMeasuredChars of each side.
    const int64_t la = static_cast<int64_t>(std::min(a.size(), kMaxMeasuredChars));
    const int64_t lb = static_cast<int64_t>(std::min(b.size(), kMaxMeasuredChars));
    return static_cast<int32_t>(lcs * 2000 / (la + lb));
}

namespace {

std::vector<const CTextLine*> LinesOf(const CFilterTextInfo& info) {
    std::vector<const CTextLine*> v;
    if (info.textLines)
        for (int32_t i = 0; i < info.textLines->count; ++i)
            if (const CTextLine* l = info.textLines->Get(i)) v.push_back(l);
    return v;
}

bool HasRegion(const CTextLine& l) { return l.region && l.region->bottom > l.region->top; }

int32_t CentreY(const CTextLine& l) { return (l.region->top + l.region->bottom) / 2; }

// The line of candidates at the place of line (vertical centres no further
// apart than the taller line's height) whose text is most like its text.
int32_t PartnerOf(const CTextLine& line, const std::vector<const CTextLine*>& candidates) {
    if (!HasRegion(line)) return -1;
    int32_t best = -1, bestSimilarity = -1;
    for (size_t k = 0; k < candidates.size(); ++k) {
        const CTextLine& c = *candidates[k];
        if (!HasRegion(c)) continue;
        const int32_t height =
            std::max(line.region->bottom - line.region->top, c.region->bottom - c.region->top);
        if (std::abs(CentreY(line) - CentreY(c)) > height) continue;
        const int32_t s = TextSimilarity(line.text, c.text);
        if (s > bestSimilarity) {
            bestSimilarity = s;
            best = static_cast<int32_t>(k);
        }
    }
    return best;
}

// The text with the least summed edit distance to the others.
std::u16string Medoid(const std::vector<std::u16string>& texts) {
    size_t best = 0;
    int64_t bestSum = std::numeric_limits<int64_t>::max();
    for (size_t i = 0; i < texts.size(); ++i) {
        int64_t sum = 0;
        for (size_t j = 0; j < texts.size(); ++j)
            if (i != j) sum += EditDistance(texts[i], texts[j]);
        if (sum < bestSum) {
            bestSum = sum;
            best = i;
        }
    }
    return texts.empty() ? std::u16string() : texts[best];
}

bool Reserved(char16_t c) {
    return c == u'.' || c == u'[' || c == u']' || c == u'\\' || c == u'{' || c == u'}';
}

std::u16string Literal(char16_t c) {
    std::u16string s;
    if (Reserved(c)) s.push_back(u'\\');
    s.push_back(c);
    return s;
}

// The characters the edit-distance and charset methods keep of a recognised
// line: the classes the text uses (A-Z, a-z, 0-9) and its other characters.
std::u16string CharsetOf(const std::vector<std::u16string>& texts) {
    bool upper = false, lower = false, digit = false;
    std::u16string other;
    for (const std::u16string& t : texts)
        for (char16_t c : t) {
            if (IsUpperChar(c))
                upper = true;
            else if (IsLowerChar(c))
                lower = true;
            else if (IsDigitChar(c))
                digit = true;
            else if (other.find(c) == std::u16string::npos)
                other.push_back(c);
        }
    std::u16string set;
    if (upper) set += u"ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    if (lower) set += u"abcdefghijklmnopqrstuvwxyz";
    if (digit) set += u"0123456789";
    std::sort(other.begin(), other.end());
    return set + other;
}

}  // namespace

std::u16string PatternOf(const std::vector<std::u16string>& texts) {
    if (texts.empty()) return std::u16string();
    const size_t length = texts.front().size();
    // Per place: the shared character, or the classes and other characters
    // seen there.
    struct Place {
        bool same = true;
        char16_t c = 0;
        bool digit = false, upper = false, lower = false;
        std::u16string other;
    };
    std::vector<Place> places(length);
    for (size_t i = 0; i < length; ++i) {
        Place& p = places[i];
        p.c = texts.front()[i];
        for (const std::u16string& t : texts) {
            const char16_t c = i < t.size() ? t[i] : u'\0';
            p.same = p.same && c == p.c;
            if (IsDigitChar(c))
                p.digit = true;
            else if (IsUpperChar(c))
                p.upper = true;
            else if (IsLowerChar(c))
                p.lower = true;
            else if (p.other.find(c) == std::u16string::npos)
                p.other.push_back(c);
        }
    }
    // A shared letter or digit between two varying places whose classes
    // both include it is taken for chance agreement of a few samples.
    for (size_t i = 1; i + 1 < length; ++i) {
        Place& p = places[i];
        if (!p.same || places[i - 1].same || places[i + 1].same) continue;
        auto holds = [&](const Place& q) {
            return (IsDigitChar(p.c) && q.digit) || (IsUpperChar(p.c) && q.upper) ||
                   (IsLowerChar(p.c) && q.lower);
        };
        if (holds(places[i - 1]) && holds(places[i + 1])) p.same = false;
    }
    std::u16string pattern;
    auto repeat = [&](const std::u16string& element, size_t run) {
        // Literal runs stay readable ("<<<" rather than "<{3}") up to three.
        if (run > 3 || (run > 1 && element.size() > 1)) {
            pattern += element;
            pattern += u"{";
            for (char c : std::to_string(run)) pattern.push_back(static_cast<char16_t>(c));
            pattern += u"}";
        } else {
            for (size_t k = 0; k < run; ++k) pattern += element;
        }
    };
    for (size_t i = 0; i < length;) {
        size_t j = i + 1;
        if (places[i].same) {
            while (j < length && places[j].same && places[j].c == places[i].c) ++j;
            repeat(Literal(places[i].c), j - i);
            i = j;
            continue;
        }
        // A stretch of varying places: one element, the union of what was
        // seen anywhere in it (a name of varying length stays one stretch).
        bool digit = places[i].digit, upper = places[i].upper, lower = places[i].lower;
        std::u16string other = places[i].other;
        while (j < length && !places[j].same) {
            digit = digit || places[j].digit;
            upper = upper || places[j].upper;
            lower = lower || places[j].lower;
            for (char16_t c : places[j].other)
                if (other.find(c) == std::u16string::npos) other.push_back(c);
            ++j;
        }
        std::u16string element;
        if (other.size() > 2) {
            element = u".";
        } else {
            if (digit) element += u"\\D";
            if (upper) element += u"\\U";
            if (lower) element += u"\\L";
            std::sort(other.begin(), other.end());
            for (char16_t c : other) element += Literal(c);
            // One class alone needs no brackets.
            if (!(other.empty() && (digit + upper + lower) == 1)) element = u"[" + element + u"]";
        }
        repeat(element, j - i);
        i = j;
    }
    return pattern;
}

TextMerge MergeTextLines(const std::vector<const CFilterTextInfo*>& samples, const CFilterTextInfo& rule,
                         int32_t applicationType) {
    TextMerge out;
    if (samples.empty() || !samples.front()) return out;
    std::vector<std::vector<const CTextLine*>> lines;
    for (const CFilterTextInfo* s : samples)
        lines.push_back(s ? LinesOf(*s) : std::vector<const CTextLine*>());
    const size_t required = static_cast<size_t>(RequiredSamples(static_cast<int32_t>(samples.size())));
    const int32_t method = rule.method;

    auto reference = std::make_unique<CFilterTextInfo>();
    if (applicationType == 0)
        reference->Assign(rule);  // the reference is the rule while its child is measured
    reference->type = kFilterTypeText;
    reference->method = method;
    reference->textLines = std::make_unique<CTextLineList>();

    for (size_t i = 0; i < lines.front().size(); ++i) {
        const CTextLine& base = *lines.front()[i];
        // The same line in every other sample, with its position from the
        // first and from the last line of that sample.
        std::vector<std::u16string> texts{base.text};
        std::vector<const CTextLine*> found{&base};
        std::vector<int32_t> fromFirst{static_cast<int32_t>(i)};
        std::vector<int32_t> fromLast{static_cast<int32_t>(lines.front().size() - 1 - i)};
        for (size_t s = 1; s < lines.size(); ++s) {
            const int32_t k = PartnerOf(base, lines[s]);
            if (k < 0) continue;
            texts.push_back(lines[s][static_cast<size_t>(k)]->text);
            found.push_back(lines[s][static_cast<size_t>(k)]);
            fromFirst.push_back(k);
            fromLast.push_back(static_cast<int32_t>(lines[s].size()) - 1 - k);
        }
        if (texts.size() < required || base.text.empty()) {
            ++out.dropped;
            continue;
        }
        int32_t agreement = 1000;
        for (size_t a = 0; a < texts.size(); ++a)
            for (size_t b = a + 1; b < texts.size(); ++b)
                agreement = std::min(agreement, TextSimilarity(texts[a], texts[b]));
        bool sameLength = true;
        for (const std::u16string& t : texts) sameLength = sameLength && t.size() == texts.front().size();

        // Strict zone patterns (method 6) are written in the same pattern
        // language; only their scoring differs.
        const bool patterned = method == kTextMatchPattern || method == kTextMatchStrictPattern;
        std::u16string text;
        if (patterned && sameLength) {
            text = PatternOf(texts);
            if (std::all_of(texts.begin(), texts.end(),
                            [&](const std::u16string& t) { return t == texts[0]; }))
                ++out.fixed;
            else
                ++out.patterns;
        } else if (agreement >= kFixedTextSimilarity) {
            const std::u16string agreed = Medoid(texts);
            if (patterned)
                for (char16_t c : agreed) text += Literal(c);
            else
                text = agreed;
            ++out.fixed;
        } else {
            ++out.dropped;  // a variable field
            continue;
        }

        CTextLine line;
        line.index = reference->textLines->count;
        line.text = text;
        line.charNum = static_cast<int32_t>(Medoid(texts).size());
        if (method == kTextMatchEditDistance || method == kTextMatchCharset) line.charset = CharsetOf(texts);
        // Which recognised line it is compared with when the counts differ:
        // the same place from the first line, or from the last, in every
        // sample; otherwise the line of the nearest size.
        const bool firstAgrees =
            std::all_of(fromFirst.begin(), fromFirst.end(), [&](int32_t v) { return v == fromFirst[0]; });
        const bool lastAgrees =
            std::all_of(fromLast.begin(), fromLast.end(), [&](int32_t v) { return v == fromLast[0]; });
        line.filterType = firstAgrees ? 1 : lastAgrees ? 2 : 7;
        line.offset = firstAgrees ? fromFirst[0] : lastAgrees ? fromLast[0] : -1;
        // The region: the average of the samples' line boxes.
        int64_t l = 0, t = 0, r = 0, b = 0, n = 0;
        for (const CTextLine* f : found)
            if (HasRegion(*f)) {
                l += f->region->left;
                t += f->region->top;
                r += f->region->right;
                b += f->region->bottom;
                ++n;
            }
        if (n > 0) {
            CRegion region;
            region.left = static_cast<int32_t>(l / n);
            region.top = static_cast<int32_t>(t / n);
            region.right = static_cast<int32_t>(r / n);
            region.bottom = static_cast<int32_t>(b / n);
            line.SetRegion(region);
        }
        out.texts.push_back(text);
        auto copy = std::make_unique<CTextLine>();
        copy->Assign(line);
        reference->textLines->items.resize(static_cast<size_t>(reference->textLines->count));
        reference->textLines->items.push_back(std::move(copy));
        ++reference->textLines->count;
    }
    if (reference->textLines->count == 0) return out;
    out.reference = std::move(reference);
    return out;
}

}  // namespace authoring
}  // namespace libMorvaneClassifier

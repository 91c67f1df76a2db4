#include "filters/TextMatching.h"

#include <algorithm>
#include <bitset>
#include <cstdlib>
#include <limits>
#include <memory>

namespace libMorvaneClassifier {

bool IsDigitChar(char16_t c) { return c >= 48 && c <= 57; }
bool IsUpperChar(char16_t c) { return c >= 65 && c <= 90; }
bool IsLowerChar(char16_t c) { return c >= 97 && c <= 122; }
bool IsIdeograph(char16_t c) { return c >= 19968 && c <= 40869; }
bool IsEmptyCandidate(char16_t c) { return c == 0 || c == 0xFFFF; }

int32_t LeadingCandidates(const RecognitionResult& r) {
    int32_t n = 0;
    while (n < 5 && !IsEmptyCandidate(r.candidates[n])) ++n;
    return n;
}

namespace {

int32_t RatioOf(int64_t w, int64_t h) {
    const int64_t v = w * 100 / std::max<int64_t>(h, 1);
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int64_t Width(const Rect32& r) { return int64_t(r.right) - r.left; }
int64_t Height(const Rect32& r) { return int64_t(r.bottom) - r.top; }

// Whether a ratio record's character type accepts candidate c. `tested` tells
// whether a class or charset test was passed (not type 0, not a one-character
// set that simply names the character).
bool RatioAccepts(const TextCharRatio& ratio, char16_t c, bool* tested = nullptr) {
    if (tested) *tested = true;
    if (IsEmptyCandidate(c)) return false;
    switch (ratio.charType) {
        case 0:
            if (tested) *tested = false;
            return true;
        case 1:
            return IsIdeograph(c);
        case 2:
            return IsDigitChar(c);
        case 3:
            return IsUpperChar(c);
        case 4:
            return IsLowerChar(c);
        case 10:
            if (ratio.charset.size() == 1) {
                if (tested) *tested = false;
                return true;
            }
            return ratio.charset.find(c) != std::u16string::npos;
        default:
            return false;
    }
}

void SwapCandidates(RecognitionResult& r, int i, int j) {
    std::swap(r.candidates[i], r.candidates[j]);
    std::swap(r.scores[i], r.scores[j]);
}

int32_t ConfidenceWithoutRatios(const RecognitionResult& result, const TextEngineRecord& engine) {
    const int32_t n = LeadingCandidates(result);
    int64_t sum = 0;
    int64_t first = -1;
    for (int32_t i = 0; i < n; ++i) {
        const char16_t c = result.candidates[i];
        if (!engine.filterPlus.empty() && engine.filterPlus.find(c) == std::u16string::npos) continue;
        sum += result.scores[i];
        if (first < 0) first = result.scores[i];
    }
    if (first < 0) return 0;
    return static_cast<int32_t>((sum - first) * 90 / std::max<int64_t>(sum, 1));
}

}  // namespace

int32_t Confidence(RecognitionResult& result, const TextEngineRecord& engine, const Rect32& box) {
    if (engine.charRatios.empty()) return ConfidenceWithoutRatios(result, engine);

    const int64_t r = RatioOf(Width(box), Height(box));
    const std::vector<TextCharRatio>& ratios = engine.charRatios;
    const TextCharRatio* chosen = &ratios.front();
    if (ratios.size() > 1) {
        size_t nearest = 0;
        int64_t nearestDist = std::numeric_limits<int64_t>::max();
        for (size_t k = 0; k < ratios.size(); ++k) {
            const int64_t d = std::llabs(ratios[k].whRatio - r);
            if (d <= nearestDist) {  // the later one on a tie
                nearestDist = d;
                nearest = k;
            }
        }
        int acceptingRank = -1;
        size_t accepting = 0;
        for (int rank = 0; rank < 3 && acceptingRank < 0; ++rank) {
            for (size_t k = 0; k < ratios.size(); ++k)
                if (RatioAccepts(ratios[k], result.candidates[rank])) {
                    accepting = k;  // the last accepting record
                    acceptingRank = rank;
                }
        }
        if (acceptingRank < 0) {
            chosen = &ratios[nearest];
        } else if (accepting != nearest && std::llabs(ratios[accepting].whRatio - r) > nearestDist + 25) {
            chosen = &ratios[nearest];
            if (chosen->charType == 10 && chosen->charset.size() == 1)
                result.candidates[0] = chosen->charset[0];
        } else {
            chosen = &ratios[accepting];
        }
        if (acceptingRank > 0) SwapCandidates(result, 0, acceptingRank);
    }

    const TextCharRatio& R = *chosen;
    const int32_t n = LeadingCandidates(result);
    int64_t sum = 0;
    int64_t last = 0;
    for (int32_t i = 0; i < n; ++i) {
        sum += result.scores[i];
        last = result.scores[i];
    }
    if (sum == 0 || R.whRatio == 0) return 0;
    for (int i = 0; i < 2; ++i) {
        bool tested = false;
        if (!RatioAccepts(R, result.candidates[i], &tested)) continue;
        if (R.charType == 10 && R.charset.size() == 1) result.candidates[i] = R.charset[0];
        if (i == 1) SwapCandidates(result, 0, 1);
        // After a swap the accepted candidate's score is in place 0.
        const int64_t score = result.scores[0];
        int64_t rr = r;
        const int64_t w = R.whRatio;
        if (rr >= 200 && w >= 200 && Height(box) <= 10) rr = w;
        const int64_t t = std::llabs(w - std::llabs(rr - w)) * 100 / w;
        const int64_t u = tested ? (sum - score) * 100 / sum : (sum - last) * 100 / sum;
        return static_cast<int32_t>(std::clamp<int64_t>((t + 9 * u) / 10, std::numeric_limits<int32_t>::min(),
                                                        std::numeric_limits<int32_t>::max()));
    }
    return 0;
}

// ---- Dynamic merge ----

namespace {

struct MergeCell {
    int32_t first = 0;
    int32_t last = 0;
    Rect32 box;
    RecognitionResult result;
    int32_t confidence = 0;
    int64_t best = 0;
    int32_t next = -1;  // index into the cell store; -1 = end of path
};

bool GapShapePasses(const TextCharLimits& lim, int64_t G, int64_t W, int64_t H, int64_t A, const Rect32& ps,
                    const Rect32& pe, size_t candidateNo) {
    if (G <= std::max<int64_t>(lim.minSpacePx, 10)) return true;
    const int64_t a = RatioOf(Width(ps), Height(ps));
    const int64_t b = RatioOf(Width(pe), Height(pe));
    if (A > 120 || std::min(a, b) > 30) {
        if (std::max(a, b) > 100) return false;
        if (G <= std::min<int64_t>(H * 3 / 10, 25)) return true;
        if (candidateNo < 3) return false;
        return G <= (W / 3 > 13 ? 15 : W / 3 + 2);
    }
    return G <= std::max<int64_t>(H / 3, 15);
}

}  // namespace

int32_t DynamicMerge(const TextCharLimits& lim, const std::vector<TextEngineRecord>& engines,
                     const TextRecognizeFn& recognize, std::vector<Rect32>& boxes,
                     std::vector<RecognitionResult>& results) {
    results.clear();
    const size_t N = boxes.size();
    if (N < 1 || N > kMaxMergePieces || !recognize) return 0;

    std::vector<MergeCell> cells;
    cells.reserve(N * 4);
    // Cells starting at each piece, in order of their last piece ascending
    // once the lattice is complete (filled from the right, so appended
    // descending and read back reversed).
    std::vector<std::vector<int32_t>> startingAt(N + 1);

    for (size_t e1 = N; e1-- > 0;) {
        const size_t e = e1;
        Rect32 u = boxes[e];
        int64_t G = 0;
        for (size_t s1 = e + 1; s1-- > 0;) {
            const size_t s = s1;
            const size_t candidateNo = e - s + 1;
            if (s < e) {
                const Rect32& p = boxes[s];
                const Rect32& q = boxes[s + 1];
                G += int64_t(std::max(p.left, q.left)) - std::min(p.right, q.right);
                u.left = std::min(u.left, p.left);
                u.top = std::min(u.top, p.top);
                u.right = std::max(u.right, p.right);
                u.bottom = std::max(u.bottom, p.bottom);
            }
            const int64_t W = Width(u);
            const int64_t H = Height(u);
            int64_t A = RatioOf(W, H);
            if (A > std::max<int64_t>(lim.maxWHRatio, 200) && H < int64_t(lim.minHeightPx) + 5)
                A = lim.minWHRatio;

            bool admissible;
            if (s == e) {
                admissible = H <= lim.maxHeightPx && G <= lim.maxSpacePx;
            } else {
                admissible = H <= lim.maxHeightPx && G <= lim.maxSpacePx && A >= lim.minWHRatio &&
                             A <= lim.maxWHRatio && W >= lim.minWidthPx && H >= lim.minHeightPx &&
                             GapShapePasses(lim, G, W, H, A, boxes[s], boxes[e], candidateNo);
            }

            MergeCell cell;
            cell.first = static_cast<int32_t>(s);
            cell.last = static_cast<int32_t>(e);
            cell.box = u;
            if (admissible) {
                // The first recognition is kept; a later engine record replaces
                // it only with a strictly higher confidence.
                bool recognised = false;
                for (size_t k = 0; k < engines.size(); ++k) {
                    RecognitionResult r;
                    if (!recognize(u, k, r)) continue;
                    const int32_t c = Confidence(r, engines[k], u);
                    if (!recognised || c > cell.confidence) {
                        recognised = true;
                        cell.confidence = c;
                        cell.result = r;
                    }
                }
            }
            // Best total from this cell on: its share plus the best cell
            // starting right after it (the first maximum in order of last piece).
            cell.best = int64_t(candidateNo) * cell.confidence;
            if (e + 1 < N) {
                const std::vector<int32_t>& after = startingAt[e + 1];
                int64_t bestNext = 0;
                int32_t nextIdx = -1;
                for (size_t k = after.size(); k-- > 0;) {  // ascending last piece
                    const MergeCell& c = cells[static_cast<size_t>(after[k])];
                    if (nextIdx < 0 || c.best > bestNext) {
                        bestNext = c.best;
                        nextIdx = after[k];
                    }
                }
                cell.best += bestNext;
                cell.next = nextIdx;
            }
            cells.push_back(cell);
            startingAt[s].push_back(static_cast<int32_t>(cells.size() - 1));

            // Growth stops at the first union wider than a character can be,
            // at a two-piece candidate with too wide a gap, and at the bound
            // on pieces per candidate.
            if (W > lim.maxWidthPx) break;
            if (candidateNo == 2 &&
                W - Width(boxes[s]) - Width(boxes[e]) > std::max<int64_t>(lim.minSpacePx, 5))
                break;
            if (candidateNo >= kMaxPiecesPerCandidate) break;
        }
    }

    // The path starts at the cell (0, k) with the largest best total, a later
    // k winning a tie.
    int32_t at = -1;
    int64_t top = 0;
    for (int32_t idx : startingAt[0]) {  // descending last piece
        const MergeCell& c = cells[static_cast<size_t>(idx)];
        if (at < 0 || c.best > top) {
            top = c.best;
            at = idx;
        }
    }
    std::vector<Rect32> merged;
    while (at >= 0) {
        const MergeCell& c = cells[static_cast<size_t>(at)];
        merged.push_back(c.box);
        results.push_back(c.result);
        at = c.next;
    }
    boxes = std::move(merged);
    return static_cast<int32_t>(boxes.size());
}

// ---- Pattern score ----

namespace {

constexpr uint8_t kSlotLiteral = 1 << 0;
constexpr uint8_t kSlotDigit = 1 << 1;
constexpr uint8_t kSlotUpper = 1 << 2;
constexpr uint8_t kSlotLower = 1 << 3;
constexpr uint8_t kSlotIdeographS = 1 << 4;
constexpr uint8_t kSlotIdeographT = 1 << 5;
constexpr uint8_t kSlotAny = 1 << 6;

uint8_t ClassEscape(char16_t c) {
    switch (c) {
        case u'D':
            return kSlotDigit;
        case u'U':
            return kSlotUpper;
        case u'L':
            return kSlotLower;
        case u'S':
            return kSlotIdeographS;
        case u'T':
            return kSlotIdeographT;
        default:
            return 0;
    }
}

}  // namespace

namespace {

// Parses a pattern into its distinct elements (in order of writing) and the
// sequence of element indices it stands for (repeats expanded).
bool ParsePatternParts(const std::u16string& p, std::vector<PatternElement>& bases,
                       std::vector<uint32_t>& seq) {
    bases.clear();
    seq.clear();
    const size_t n = p.size();
    if (n > kMaxPatternText) return false;
    size_t i = 0;
    while (i < n) {
        PatternElement el;
        const char16_t c = p[i];
        if (c == u'.') {
            el.slots = kSlotAny;
            ++i;
        } else if (c == u'[') {
            ++i;
            bool closed = false;
            while (i < n) {
                const char16_t d = p[i];
                if (d == u']') {
                    closed = true;
                    ++i;
                    break;
                }
                if (d == u'\\') {
                    if (i + 1 >= n) {
                        ++i;
                        break;
                    }
                    const char16_t e = p[i + 1];
                    if (uint8_t slot = ClassEscape(e)) {
                        el.slots |= slot;
                    } else {
                        el.slots |= kSlotLiteral;
                        el.literals.push_back(e);
                    }
                    i += 2;
                    continue;
                }
                el.slots |= kSlotLiteral;
                el.literals.push_back(d);
                ++i;
            }
            if (!closed) {
                bases.clear();
                seq.clear();
                return false;
            }
        } else if (c == u'\\') {
            if (i + 1 >= n) break;  // a lone backslash at the end stands for nothing
            const char16_t e = p[i + 1];
            if (uint8_t slot = ClassEscape(e)) {
                el.slots = slot;
            } else {
                // "*", "+", ".", "?", "[", "\", "]", "{", "}" and any other
                // character after a backslash are read literally.
                el.slots = kSlotLiteral;
                el.literals.assign(1, e);
            }
            i += 2;
        } else {
            el.slots = kSlotLiteral;
            el.literals.assign(1, c);
            ++i;
        }

        // An optional repeat count: "{", digits, "}" (other characters inside
        // are ignored). Without any digit the element stands once.
        uint64_t repeat = 1;
        if (i < n && p[i] == u'{') {
            size_t j = i + 1;
            uint64_t count = 0;
            bool digits = false;
            while (j < n && p[j] != u'}') {
                if (p[j] >= u'0' && p[j] <= u'9') {
                    digits = true;
                    count = std::min<uint64_t>(count * 10 + (p[j] - u'0'), kMaxPatternElements + 1);
                }
                ++j;
            }
            if (j < n) {  // closed: the count applies
                if (digits) repeat = count;
                i = j + 1;
            }
            // An unclosed "{" is left to be read as a literal.
        }
        if (seq.size() + repeat > kMaxPatternElements) {
            bases.clear();
            seq.clear();
            return false;
        }
        if (repeat == 0) continue;
        std::sort(el.literals.begin(), el.literals.end());
        el.literals.erase(std::unique(el.literals.begin(), el.literals.end()), el.literals.end());
        bases.push_back(std::move(el));
        seq.insert(seq.end(), static_cast<size_t>(repeat), static_cast<uint32_t>(bases.size() - 1));
    }
    return true;
}

}  // namespace

bool ParsePattern(const std::u16string& p, std::vector<PatternElement>& out) {
    out.clear();
    std::vector<PatternElement> bases;
    std::vector<uint32_t> seq;
    if (!ParsePatternParts(p, bases, seq)) return false;
    out.reserve(seq.size());
    for (uint32_t k : seq) out.push_back(bases[k]);
    return true;
}

int32_t ElementScore(const PatternElement& el, const RecognitionResult& ch) {
    const int32_t n = LeadingCandidates(ch);
    auto firstWeight = [&](auto&& test) -> int32_t {
        for (int32_t i = 0; i < n; ++i)
            if (test(ch.candidates[i])) return kCandidateRankWeights[i];
        return 0;
    };
    int32_t best = 0;
    if (el.slots & kSlotLiteral)
        best = std::max(best, firstWeight([&](char16_t c) {
                            return std::binary_search(el.literals.begin(), el.literals.end(), c);
                        }));
    if (el.slots & kSlotDigit) best = std::max(best, firstWeight(IsDigitChar));
    if (el.slots & kSlotUpper) best = std::max(best, firstWeight(IsUpperChar));
    if (el.slots & kSlotLower) best = std::max(best, firstWeight(IsLowerChar));
    if (el.slots & (kSlotIdeographS | kSlotIdeographT)) best = std::max(best, firstWeight(IsIdeograph));
    if (el.slots & kSlotAny) {
        int32_t w = firstWeight(IsDigitChar);
        if (w == 0) w = firstWeight(IsUpperChar);
        if (w == 0) w = firstWeight(IsLowerChar);
        if (w == 0) w = firstWeight(IsIdeograph);
        best = std::max(best, w);
    }
    return best;
}

int32_t PatternScore(const std::u16string& pattern, const RecognitionResult* chars, size_t R,
                     int32_t applicationType) {
    if (!chars || R == 0 || R > kMaxPatternElements) return 0;
    std::vector<PatternElement> bases;
    std::vector<uint32_t> seq;
    if (!ParsePatternParts(pattern, bases, seq) || seq.empty()) return 0;
    const size_t P = seq.size();
    // Weight of every distinct element against every character, computed
    // once: the slide then only adds table entries.
    std::vector<uint8_t> table(bases.size() * R);
    for (size_t b = 0; b < bases.size(); ++b)
        for (size_t r = 0; r < R; ++r)
            table[b * R + r] = static_cast<uint8_t>(ElementScore(bases[b], chars[r]));
    const size_t overlap = std::min(P, R);
    const size_t offsets = (P > R ? P - R : R - P) + 1;
    const int64_t perfect = int64_t(100) * int64_t(overlap);
    int64_t E = 0;
    for (size_t off = 0; off < offsets && E < perfect; ++off) {
        int64_t sum = 0;
        for (size_t k = 0; k < overlap; ++k) {
            const size_t pi = P >= R ? off + k : k;
            const size_t ri = P >= R ? k : off + k;
            sum += table[size_t(seq[pi]) * R + ri];
        }
        E = std::max(E, sum);
    }
    const int64_t p100 = 100 * int64_t(P);
    const int64_t r100 = 100 * int64_t(R);
    if (applicationType == 0) return static_cast<int32_t>(E * 1000 / p100);
    return static_cast<int32_t>((p100 + r100) * E * 1000 / (2 * p100 * r100));
}

int32_t StrictPatternScore(const std::u16string& pattern, const RecognitionResult* chars, size_t R) {
    if (!chars || R == 0 || R > kMaxPatternElements) return 0;
    std::vector<PatternElement> bases;
    std::vector<uint32_t> seq;
    if (!ParsePatternParts(pattern, bases, seq) || seq.empty()) return 0;
    const int64_t P = static_cast<int64_t>(seq.size());
    const int64_t n = static_cast<int64_t>(R);
    // The length first: every character too many or too few costs four
    // places, so a line a quarter too long or short scores nothing.
    const int64_t lengthFactor = std::max<int64_t>(0, 1000 - 4000 * std::llabs(P - n) / P);
    if (lengthFactor == 0) return 0;
    // Place by place, no sliding; a first candidate that no element of the
    // pattern accepts anywhere (outside the zone's alphabet) costs a full
    // place more.
    auto acceptedAnywhere = [&](const RecognitionResult& ch) {
        RecognitionResult first = ch;
        for (int k = 1; k < 10; ++k) first.candidates[k] = 0;
        for (const PatternElement& b : bases)
            if (ElementScore(b, first) > 0) return true;
        return false;
    };
    int64_t sum = 0;
    for (int64_t k = 0; k < std::min(P, n); ++k) {
        const RecognitionResult& ch = chars[static_cast<size_t>(k)];
        const int32_t w = ElementScore(bases[seq[static_cast<size_t>(k)]], ch);
        sum += w > 0 ? w : (acceptedAnywhere(ch) ? 0 : -100);
    }
    const int64_t v = std::max<int64_t>(0, sum) * 1000 / (100 * std::max(P, n));
    return static_cast<int32_t>(v * lengthFactor / 1000);
}

// ---- String measures ----

int32_t EditDistance(const std::u16string& a0, const std::u16string& b0) {
    const std::u16string_view a(a0.data(), std::min(a0.size(), kMaxMeasuredChars));
    const std::u16string_view b(b0.data(), std::min(b0.size(), kMaxMeasuredChars));
    std::vector<int32_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = static_cast<int32_t>(j);
    for (size_t i = 1; i <= a.size(); ++i) {
        int32_t diag = row[0];
        row[0] = static_cast<int32_t>(i);
        for (size_t j = 1; j <= b.size(); ++j) {
            const int32_t up = row[j];
            row[j] = std::min({up + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diag = up;
        }
    }
    return row[b.size()];
}

int32_t LcsLength(const std::u16string& a0, const std::u16string& b0) {
    const std::u16string_view a(a0.data(), std::min(a0.size(), kMaxMeasuredChars));
    const std::u16string_view b(b0.data(), std::min(b0.size(), kMaxMeasuredChars));
    std::vector<int32_t> row(b.size() + 1, 0);
    for (size_t i = 1; i <= a.size(); ++i) {
        int32_t diag = 0;
        for (size_t j = 1; j <= b.size(); ++j) {
            const int32_t up = row[j];
            row[j] = a[i - 1] == b[j - 1] ? diag + 1 : std::max(up, row[j - 1]);
            diag = up;
        }
    }
    return row[b.size()];
}

int32_t SharedCharCount(const std::u16string& t, const std::u16string& x) {
    auto inT = std::make_unique<std::bitset<65536>>();
    for (char16_t c : t) inT->set(c);
    auto seen = std::make_unique<std::bitset<65536>>();
    int32_t count = 0;
    for (char16_t c : x) {
        if (!inT->test(c) || seen->test(c)) continue;
        seen->set(c);
        ++count;
    }
    return count;
}

LineAlignment AlignLines(const std::vector<std::u16string>& T, const std::vector<std::u16string>& X) {
    LineAlignment out;
    const size_t n = T.size();
    const size_t m = X.size();
    out.partner.assign(n, -1);
    out.weight.assign(n, 0);
    if (n == 0 || m == 0) return out;
    int64_t sumT = 0, sumX = 0;
    for (const auto& t : T) sumT += static_cast<int64_t>(std::min(t.size(), kMaxMeasuredChars));
    for (const auto& x : X) sumX += static_cast<int64_t>(std::min(x.size(), kMaxMeasuredChars));
    if (int64_t(n) * int64_t(m) > kMaxAlignCells || sumT * sumX > kMaxAlignCharProduct) return out;

    const size_t cols = m + 1;
    struct Cell {
        int64_t best = 0;
        int32_t steps = 0;
        int8_t move = 0;  // 0 end, 1 diagonal, 2 down (next template line), 3 right (next recognised text)
        int32_t weight = 0;
    };
    std::vector<Cell> g((n + 1) * cols);
    auto at = [&](size_t i, size_t j) -> Cell& { return g[i * cols + j]; };
    for (size_t i = n; i-- > 0;) {
        for (size_t j = m; j-- > 0;) {
            Cell& c = at(i, j);
            const Cell& dn = at(i + 1, j);
            const Cell& rt = at(i, j + 1);
            const Cell& dg = at(i + 1, j + 1);
            const int32_t w = LcsLength(T[i], X[j]);
            const int64_t diag = w + dg.best;
            if (diag > dn.best && diag > rt.best) {
                c.best = diag;
                c.steps = dg.steps + 1;
                c.move = 1;
                c.weight = w;
            } else if (dn.best > rt.best) {
                c.best = dn.best;
                c.steps = dn.steps + 1;
                c.move = 2;
            } else {
                c.best = rt.best;
                c.steps = rt.steps + 1;
                c.move = 3;
            }
        }
    }
    size_t bi = 0, bj = 0;
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < m; ++j) {
            const Cell& c = at(i, j);
            const Cell& b = at(bi, bj);
            if (c.best > b.best || (c.best == b.best && c.steps < b.steps)) {
                bi = i;
                bj = j;
            }
        }
    out.total = at(bi, bj).best;
    size_t i = bi, j = bj;
    while (i < n && j < m) {
        const Cell& c = at(i, j);
        if (c.move == 1) {
            out.partner[i] = static_cast<int32_t>(j);
            out.weight[i] = c.weight;
            ++out.pairs;
            ++i;
            ++j;
        } else if (c.move == 2) {
            ++i;
        } else {
            ++j;
        }
    }
    return out;
}

}  // namespace libMorvaneClassifier

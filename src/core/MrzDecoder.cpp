#include "core/MrzDecoder.h"

#include <algorithm>
#include <climits>

#include "core/JsonText.h"

namespace libMorvaneClassifier {

namespace {

constexpr char16_t kFiller = u'<';
// What a confusion from the built-in table costs beside an engine candidate.
constexpr int32_t kConfusionCost = 100000;
// Bound of the combinations tried for one check.
constexpr size_t kMaxCombinations = 20000;

// Character classes of the positions: A letters or filler, N digit, X
// letter, digit or filler, S sex (M, F, X or filler), C digit or filler.
struct CheckSpec {
    int32_t line;
    int32_t start;
    int32_t length;
    int32_t checkPos;  // on the same line
    bool fillerOk;     // the check may be a filler (an empty field)
    bool date;         // YYMMDD
};
struct Segment {
    int32_t line, start, length;
};
struct LayoutSpec {
    std::vector<std::string> classes;  // one string per line
    std::vector<CheckSpec> checks;
    std::vector<Segment> composite;  // empty: none
    int32_t compositeLine = -1, compositePos = -1;
};

std::string Rep(char c, size_t n) { return std::string(n, c); }

const LayoutSpec* SpecOf(MrzLayout layout) {
    static const LayoutSpec td3{
        {Rep('A', 44), Rep('X', 9) + "N" + "AAA" + Rep('N', 7) + "S" + Rep('N', 7) + Rep('X', 14) + "CN"},
        {{1, 0, 9, 9, false, false},
         {1, 13, 6, 19, false, true},
         {1, 21, 6, 27, false, true},
         {1, 28, 14, 42, true, false}},
        {{1, 0, 10}, {1, 13, 7}, {1, 21, 22}},
        1,
        43};
    static const LayoutSpec td1{
        {"AAAAA" + Rep('X', 9) + "C" + Rep('X', 15),
         Rep('N', 7) + "S" + Rep('N', 7) + "AAA" + Rep('X', 11) + "N", Rep('A', 30)},
        {{0, 5, 9, 14, false, false}, {1, 0, 6, 6, false, true}, {1, 8, 6, 14, false, true}},
        {{0, 5, 25}, {1, 0, 7}, {1, 8, 7}, {1, 18, 11}},
        1,
        29};
    static const LayoutSpec td2{
        {Rep('A', 36), Rep('X', 9) + "N" + "AAA" + Rep('N', 7) + "S" + Rep('N', 7) + Rep('X', 7) + "N"},
        {{1, 0, 9, 9, false, false}, {1, 13, 6, 19, false, true}, {1, 21, 6, 27, false, true}},
        {{1, 0, 10}, {1, 13, 7}, {1, 21, 14}},
        1,
        35};
    static const LayoutSpec mrva{
        {Rep('A', 44), Rep('X', 9) + "N" + "AAA" + Rep('N', 7) + "S" + Rep('N', 7) + Rep('X', 16)},
        {{1, 0, 9, 9, false, false}, {1, 13, 6, 19, false, true}, {1, 21, 6, 27, false, true}},
        {},
        -1,
        -1};
    static const LayoutSpec mrvb{
        {Rep('A', 36), Rep('X', 9) + "N" + "AAA" + Rep('N', 7) + "S" + Rep('N', 7) + Rep('X', 8)},
        {{1, 0, 9, 9, false, false}, {1, 13, 6, 19, false, true}, {1, 21, 6, 27, false, true}},
        {},
        -1,
        -1};
    switch (layout) {
        case MrzLayout::kTD1:
            return &td1;
        case MrzLayout::kTD2:
            return &td2;
        case MrzLayout::kTD3:
            return &td3;
        case MrzLayout::kMRVA:
            return &mrva;
        case MrzLayout::kMRVB:
            return &mrvb;
        default:
            return nullptr;
    }
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsLetter(char16_t c) { return c >= u'A' && c <= u'Z'; }

bool Fits(char cls, char16_t c) {
    switch (cls) {
        case 'A':
            return IsLetter(c) || c == kFiller;
        case 'N':
            return IsDigit(c);
        case 'X':
            return IsLetter(c) || IsDigit(c) || c == kFiller;
        case 'S':
            return c == u'M' || c == u'F' || c == u'X' || c == kFiller;
        case 'C':
            return IsDigit(c) || c == kFiller;
        default:
            return false;
    }
}

// The shapes OCR-B characters are taken for, both ways.
const std::u16string& ConfusionsOf(char16_t c) {
    static const std::u16string none;
    static const struct {
        char16_t c;
        std::u16string alts;
    } table[] = {
        {u'O', u"0DQ"}, {u'0', u"ODQ"}, {u'Q', u"0O"}, {u'D', u"0O"}, {u'U', u"0"},   {u'I', u"1L"},
        {u'1', u"IL7"}, {u'L', u"1I"},  {u'Z', u"27"}, {u'2', u"Z"},  {u'7', u"Z1T"}, {u'T', u"7"},
        {u'S', u"5"},   {u'5', u"S"},   {u'B', u"8"},  {u'8', u"B"},  {u'G', u"6"},   {u'6', u"G"},
        {u'A', u"4"},   {u'4', u"A"},   {u'E', u"3"},  {u'3', u"E"},  {u'K', u"<"},   {u'C', u"<"},
        {u'X', u"<"},   {u'H', u"M"},   {u'N', u"M"},  {u'W', u"M"},
    };
    for (const auto& e : table)
        if (e.c == c) return e.alts;
    return none;
}

using Lines = std::vector<std::u16string>;
using LineCands = std::vector<std::vector<MrzOption>>;  // per character

// Alternatives of the character at (line, pos) that fit its class, with
// their cost beside the character read (the first is never the read one).
std::vector<MrzOption> AlternativesAt(const Lines& lines, const std::vector<LineCands>* cands, int32_t line,
                                      int32_t pos, char cls, size_t maxEngine) {
    std::vector<MrzOption> out;
    const char16_t read = lines[static_cast<size_t>(line)][static_cast<size_t>(pos)];
    auto add = [&](char16_t c, int32_t cost) {
        if (c == read || !Fits(cls, c)) return;
        for (const MrzOption& o : out)
            if (o.ch == c) return;
        out.push_back(MrzOption{c, cost});
    };
    if (cands && static_cast<size_t>(line) < cands->size()) {
        const LineCands& lc = (*cands)[static_cast<size_t>(line)];
        if (static_cast<size_t>(pos) < lc.size() && !lc[static_cast<size_t>(pos)].empty()) {
            const std::vector<MrzOption>& o = lc[static_cast<size_t>(pos)];
            const int32_t base = o.front().distance;
            for (size_t k = 1; k < o.size() && k <= maxEngine; ++k)
                add(o[k].ch, std::max<int32_t>(1, o[k].distance - base));
        }
    }
    const std::u16string& conf = ConfusionsOf(read);
    for (size_t k = 0; k < conf.size(); ++k) add(conf[k], kConfusionCost + static_cast<int32_t>(k));
    return out;
}

bool CheckHolds(const std::u16string& line, const CheckSpec& c) {
    const std::u16string field = line.substr(static_cast<size_t>(c.start), static_cast<size_t>(c.length));
    const int32_t digit = MrzCheckDigit(field);
    const char16_t printed = line[static_cast<size_t>(c.checkPos)];
    if (digit < 0) return false;
    if (printed == kFiller) return c.fillerOk && digit == 0;
    if (!IsDigit(printed) || printed - u'0' != digit) return false;
    if (c.date) {
        const int month = (field[2] - u'0') * 10 + (field[3] - u'0');
        const int day = (field[4] - u'0') * 10 + (field[5] - u'0');
        for (char16_t ch : field)
            if (!IsDigit(ch)) return false;
        if (month < 1 || month > 12 || day < 1 || day > 31) return false;
    }
    return true;
}

bool CompositeHolds(const Lines& lines, const LayoutSpec& shape) {
    if (shape.compositeLine < 0) return true;
    std::u16string all;
    for (const Segment& s : shape.composite)
        all += lines[static_cast<size_t>(s.line)].substr(static_cast<size_t>(s.start),
                                                         static_cast<size_t>(s.length));
    const int32_t digit = MrzCheckDigit(all);
    const char16_t printed =
        lines[static_cast<size_t>(shape.compositeLine)][static_cast<size_t>(shape.compositePos)];
    return digit >= 0 && IsDigit(printed) && printed - u'0' == digit;
}

struct Slot {
    int32_t line, pos;
    std::vector<MrzOption> alts;
};

// The cheapest change of at most two slots that makes `holds` true; the
// changes are applied to `lines` and recorded. False (nothing changed) when
// none does, or when two different changes of the same cost both do (the
// choice would be a guess). Two slots are tried only when no single one
// helps.
template <class Holds>
bool SearchChanges(Lines& lines, const std::vector<Slot>& slots, int maxChanges, Holds&& holds,
                   std::vector<MrzChange>& changes) {
    int64_t bestCost = INT64_MAX;
    std::vector<std::pair<size_t, size_t>> best;  // (slot, alternative)
    auto set = [&](size_t s, char16_t c) {
        lines[static_cast<size_t>(slots[s].line)][static_cast<size_t>(slots[s].pos)] = c;
    };
    auto get = [&](size_t s) {
        return lines[static_cast<size_t>(slots[s].line)][static_cast<size_t>(slots[s].pos)];
    };
    size_t tried = 0;
    bool tie = false;  // another change of the same cost holds too: the choice would be a guess
    for (size_t i = 0; i < slots.size(); ++i) {
        const char16_t keep = get(i);
        for (size_t a = 0; a < slots[i].alts.size(); ++a) {
            set(i, slots[i].alts[a].ch);
            ++tried;
            if (slots[i].alts[a].distance <= bestCost && holds()) {
                tie = slots[i].alts[a].distance == bestCost;
                bestCost = slots[i].alts[a].distance;
                best = {{i, a}};
            }
        }
        set(i, keep);
    }
    if (best.empty() && maxChanges >= 2) {
        for (size_t i = 0; i < slots.size() && tried < kMaxCombinations; ++i) {
            const char16_t keepI = get(i);
            for (size_t a = 0; a < slots[i].alts.size(); ++a) {
                set(i, slots[i].alts[a].ch);
                for (size_t j = i + 1; j < slots.size() && tried < kMaxCombinations; ++j) {
                    const char16_t keepJ = get(j);
                    for (size_t b = 0; b < slots[j].alts.size(); ++b) {
                        const int64_t cost =
                            static_cast<int64_t>(slots[i].alts[a].distance) + slots[j].alts[b].distance;
                        set(j, slots[j].alts[b].ch);
                        ++tried;
                        if (cost <= bestCost && holds()) {
                            tie = cost == bestCost;
                            bestCost = cost;
                            best = {{i, a}, {j, b}};
                        }
                    }
                    set(j, keepJ);
                }
            }
            set(i, keepI);
        }
    }
    if (best.empty() || tie) return false;
    for (const auto& [s, a] : best) {
        MrzChange ch;
        ch.line = slots[s].line;
        ch.position = slots[s].pos;
        ch.from = get(s);
        ch.to = slots[s].alts[a].ch;
        ch.reason = "check";
        set(s, ch.to);
        changes.push_back(ch);
    }
    return true;
}

std::u16string Join(const Lines& lines) {
    std::u16string t;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) t.push_back(u'\n');
        t += lines[i];
    }
    return t;
}

// Steps 2 and 3 on lines of the right shape. Returns the number of checks
// that hold afterwards.
int32_t DecodeShaped(Lines& lines, const std::vector<LineCands>* cands, const LayoutSpec& shape,
                     std::vector<MrzChange>& changes) {
    // Engine candidates are trusted only while they match the lines.
    if (cands) {
        bool match = cands->size() == lines.size();
        for (size_t l = 0; match && l < lines.size(); ++l) match = (*cands)[l].size() == lines[l].size();
        if (!match) cands = nullptr;
    }
    // Class.
    for (size_t l = 0; l < lines.size(); ++l)
        for (size_t p = 0; p < lines[l].size(); ++p) {
            const char cls = shape.classes[l][p];
            if (Fits(cls, lines[l][p])) continue;
            const std::vector<MrzOption> alts =
                AlternativesAt(lines, cands, static_cast<int32_t>(l), static_cast<int32_t>(p), cls, 9);
            if (alts.empty()) continue;
            const MrzOption* best = &alts.front();
            for (const MrzOption& o : alts)
                if (o.distance < best->distance) best = &o;
            changes.push_back(
                MrzChange{static_cast<int32_t>(l), static_cast<int32_t>(p), lines[l][p], best->ch, "class"});
            lines[l][p] = best->ch;
        }
    // Checks, field by field: engine candidates allow two changes, the
    // built-in confusions only one (they carry no sign of doubt).
    const int maxChanges = cands ? 2 : 1;
    int32_t holding = 0;
    std::vector<int32_t> fixedLine;  // positions of fields that hold, by line*1000+pos
    for (const CheckSpec& c : shape.checks) {
        const std::u16string& line = lines[static_cast<size_t>(c.line)];
        bool ok = CheckHolds(line, c);
        if (!ok) {
            std::vector<Slot> slots;
            for (int32_t p = c.start; p < c.start + c.length; ++p)
                slots.push_back(Slot{
                    c.line, p,
                    AlternativesAt(lines, cands, c.line, p,
                                   shape.classes[static_cast<size_t>(c.line)][static_cast<size_t>(p)], 3)});
            slots.push_back(Slot{
                c.line, c.checkPos,
                AlternativesAt(lines, cands, c.line, c.checkPos,
                               shape.classes[static_cast<size_t>(c.line)][static_cast<size_t>(c.checkPos)],
                               3)});
            ok = SearchChanges(
                lines, slots, maxChanges, [&] { return CheckHolds(lines[static_cast<size_t>(c.line)], c); },
                changes);
        }
        if (ok) {
            ++holding;
            for (int32_t p = c.start; p <= c.checkPos; ++p) fixedLine.push_back(c.line * 1000 + p);
        }
    }
    if (shape.compositeLine >= 0) {
        bool ok = CompositeHolds(lines, shape);
        if (!ok) {
            // Only positions no held field check covers, and the composite digit.
            std::vector<Slot> slots;
            for (const Segment& s : shape.composite)
                for (int32_t p = s.start; p < s.start + s.length; ++p) {
                    if (std::find(fixedLine.begin(), fixedLine.end(), s.line * 1000 + p) != fixedLine.end())
                        continue;
                    slots.push_back(Slot{
                        s.line, p,
                        AlternativesAt(lines, cands, s.line, p,
                                       shape.classes[static_cast<size_t>(s.line)][static_cast<size_t>(p)],
                                       3)});
                }
            slots.push_back(
                Slot{shape.compositeLine, shape.compositePos,
                     AlternativesAt(lines, cands, shape.compositeLine, shape.compositePos, 'N', 3)});
            auto holds = [&] {
                for (const CheckSpec& c : shape.checks)
                    if (std::find(fixedLine.begin(), fixedLine.end(), c.line * 1000 + c.start) !=
                            fixedLine.end() &&
                        !CheckHolds(lines[static_cast<size_t>(c.line)], c))
                        return false;
                return CompositeHolds(lines, shape);
            };
            ok = SearchChanges(lines, slots, maxChanges, holds, changes);
        }
        if (ok) ++holding;
    }
    return holding;
}

size_t ExpectedLength(MrzLayout layout) {
    switch (layout) {
        case MrzLayout::kTD1:
            return 30;
        case MrzLayout::kTD2:
        case MrzLayout::kMRVB:
            return 36;
        case MrzLayout::kTD3:
        case MrzLayout::kMRVA:
            return 44;
        default:
            return 0;
    }
}

}  // namespace

MrzDecoded DecodeMrz(const std::u16string& text, const MrzCandidates* candidates) {
    MrzDecoded d;
    d.raw = ParseMrz(text);
    d.decoded = d.raw;
    const LayoutSpec* shape = SpecOf(d.raw.layout);
    const size_t want = ExpectedLength(d.raw.layout);
    if (!shape || d.raw.lines.size() != shape->classes.size()) return d;
    // The candidates are given per line of the text; each line the zone
    // kept takes those of the first text line that reads the same and has
    // one candidate list per character.
    std::vector<LineCands> matched;
    const std::vector<LineCands>* cands = nullptr;
    if (candidates) {
        std::vector<std::u16string> inputs;
        std::u16string cur;
        for (size_t i = 0; i <= text.size(); ++i) {
            const char16_t c = i < text.size() ? text[i] : u'\n';
            if (c == u'\n') {
                if (!cur.empty()) inputs.push_back(cur);
                cur.clear();
            } else if (c != u' ' && c != u'\t' && c != u'\r') {
                cur.push_back(c);
            }
        }
        bool all = true;
        for (const std::u16string& line : d.raw.lines) {
            size_t k = 0;
            while (k < inputs.size() &&
                   !(inputs[k] == line && k < candidates->size() && (*candidates)[k].size() == line.size()))
                ++k;
            if (k == inputs.size()) {
                all = false;
                break;
            }
            matched.push_back((*candidates)[k]);
        }
        if (all) cands = &matched;
    }

    // Step 1: the cuts of each line to the layout's length.
    std::vector<std::vector<std::pair<size_t, size_t>>> cuts(d.raw.lines.size());  // (from start, from end)
    for (size_t l = 0; l < d.raw.lines.size(); ++l) {
        const size_t n = d.raw.lines[l].size();
        if (n < want || n > want + 2) return d;
        for (size_t a = 0; a <= n - want; ++a) cuts[l].push_back({a, n - want - a});
    }
    // A cut is judged by the checks that hold, then by its document code
    // (the first line opens with P, V, I, A or C), then by not cutting
    // fillers (a border is never read as one), then by fewer changes.
    int64_t bestScore = INT64_MIN;
    Lines bestLines;
    std::vector<MrzChange> bestList;
    std::vector<size_t> choice(cuts.size(), 0);
    while (true) {
        Lines lines;
        std::vector<LineCands> cut;
        std::vector<MrzChange> list;
        for (size_t l = 0; l < cuts.size(); ++l) {
            const auto [a, b] = cuts[l][choice[l]];
            const std::u16string& raw = d.raw.lines[l];
            lines.push_back(raw.substr(a, raw.size() - a - b));
            if (cands && (*cands)[l].size() == raw.size())
                cut.emplace_back((*cands)[l].begin() + static_cast<std::ptrdiff_t>(a),
                                 (*cands)[l].end() - static_cast<std::ptrdiff_t>(b));
            else
                cut.emplace_back();
            for (size_t k = 0; k < a; ++k)
                list.push_back(MrzChange{static_cast<int32_t>(l), 0, raw[k], 0, "trim"});
            for (size_t k = 0; k < b; ++k)
                list.push_back(MrzChange{static_cast<int32_t>(l), static_cast<int32_t>(want),
                                         raw[raw.size() - b + k], 0, "trim"});
        }
        const int32_t holding = DecodeShaped(lines, cands ? &cut : nullptr, *shape, list);
        int64_t score = static_cast<int64_t>(holding) * 1000000 - static_cast<int64_t>(list.size());
        if (!lines[0].empty() && std::u16string(u"PVIAC").find(lines[0][0]) != std::u16string::npos)
            score += 100000;
        for (const MrzChange& c : list)
            if (c.to == 0 && c.from == kFiller) score -= 1000;
        if (score > bestScore) {
            bestScore = score;
            bestLines = lines;
            bestList = list;
        }
        size_t l = 0;
        while (l < choice.size() && ++choice[l] == cuts[l].size()) choice[l++] = 0;
        if (l == choice.size()) break;
    }
    d.changes = bestList;
    d.decoded = ParseMrz(Join(bestLines));
    return d;
}

std::string MrzDecodedJson(const MrzDecoded& d) {
    std::string raw = MrzZoneJson(d.raw);
    std::string dec = MrzZoneJson(d.decoded);
    // The decoded object gains its changes.
    if (!dec.empty() && dec.back() == '}') dec.pop_back();
    dec += ",\"changes\":[";
    for (size_t i = 0; i < d.changes.size(); ++i) {
        const MrzChange& c = d.changes[i];
        if (i) dec.push_back(',');
        dec += "{\"line\":" + std::to_string(c.line) + ",\"position\":" + std::to_string(c.position) +
               ",\"from\":";
        AppendJsonString(dec, c.from ? std::u16string(1, c.from) : std::u16string());
        dec += ",\"to\":";
        AppendJsonString(dec, c.to ? std::u16string(1, c.to) : std::u16string());
        dec += ",\"reason\":\"";
        dec += c.reason;
        dec += "\"}";
    }
    dec += "]}";
    if (!raw.empty() && raw.back() == '}') raw.pop_back();
    raw += ",\"rawValid\":";
    raw += d.raw.valid ? "true" : "false";
    raw += ",\"decoded\":" + dec + "}";
    return raw;
}

}  // namespace libMorvaneClassifier

// Decoding a machine-readable zone with its own structure: the layout's
// character class at each position (digits only, letters only, the sex,
// fillers) and its check digits choose among the alternatives of uncertain
// characters. The raw reading is kept beside the decoded one, and every
// position the decoder changed is listed with the reason: nothing is changed
// silently.
//
// Alternatives of a character come from the recognition engine (its ranked
// candidates with their distances) when given, else from the shapes that
// OCR-B characters are mistaken for (O and 0, B and 8, Z and 2 or 7, S and 5,
// I and 1, G and 6, ...).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/MachineReadableZone.h"

namespace libMorvaneClassifier {

// One alternative for one character: the character and the engine's
// distance (lower is closer; 0 when unknown).
struct MrzOption {
    char16_t ch = 0;
    int32_t distance = 0;
};
// Per line, per character, the engine's candidates best first (the first
// is the character read). May be empty: the built-in confusions are used.
using MrzCandidates = std::vector<std::vector<std::vector<MrzOption>>>;

struct MrzChange {
    int32_t line = 0;
    int32_t position = 0;  // 0-based within the line as decoded
    char16_t from = 0;     // 0 for a character removed
    char16_t to = 0;
    const char* reason = "";  // "class", "check" or "trim"
};

struct MrzDecoded {
    MrzZone raw;
    MrzZone decoded;
    std::vector<MrzChange> changes;
};

// Decodes the zone of `text` (lines separated by line feeds, as ParseMrz
// takes it). `candidates`, when not null, holds one entry per non-empty line
// of `text` in order; the lines the zone keeps use theirs when they have one
// candidate list per character (else no line does).
//
// 1. A line one or two characters longer than its layout expects (a card or
//    page border read as a character) is cut at its ends, the cut that
//    leaves the most valid check digits winning; each removed character is
//    a "trim" change.
// 2. A character outside its position's class is replaced by its best
//    alternative inside it ("class").
// 3. A field whose check digit fails gets the cheapest combination of at
//    most two replaced characters among the alternatives of its positions
//    and of the check digit that makes it hold ("check"); the composite
//    check then likewise over the fields it covers. Where no combination
//    holds, the field is left as read.
MrzDecoded DecodeMrz(const std::u16string& text, const MrzCandidates* candidates = nullptr);

// The decoded zone as JSON: the raw zone's object (as MrzZoneJson) with a
// "decoded" member holding the decoded zone's object plus "changes":
// [{"line","position","from","to","reason"}...] (positions 0-based, line 0
// the first; "from" is "" for a removed character) and "rawValid".
std::string MrzDecodedJson(const MrzDecoded& d);

}  // namespace libMorvaneClassifier

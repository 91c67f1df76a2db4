// Reading the machine-readable zone of a travel document from recognised
// text: the five layouts of ICAO Doc 9303 (TD1 3 x 30, TD2 2 x 36, TD3 2 x 44
// and the visas MRV-A 2 x 44 and MRV-B 2 x 36), their fields and every check
// digit. Works on text only; the zone's lines come from wherever they were
// recognised.
//
// Nothing is corrected: a check digit that does not match marks its field
// invalid, a character outside the zone's alphabet (A-Z, 0-9, '<') is
// reported and makes the fields it falls in fail their checks, and a zone of
// the wrong shape (line count or length) is reported with the layout that was
// tried and no fields.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace libMorvaneClassifier {

enum class MrzLayout : int32_t { kNone = 0, kTD1, kTD2, kTD3, kMRVA, kMRVB };

// A field protected by a check digit.
struct MrzCheckedField {
    std::u16string value;  // as printed, trailing fillers removed
    char16_t check = 0;    // the printed check character
    bool valid = false;    // the check character is the digit the field computes to
};

struct MrzZone {
    MrzLayout layout = MrzLayout::kNone;  // the layout tried (kNone: no line at all)
    std::vector<std::u16string> lines;    // the zone's lines as read (spaces removed)
    std::vector<std::string> errors;      // why the zone is not valid, in words
    bool fieldsRead = false;              // the shape was right and the fields were read
    std::u16string documentCode;
    std::u16string issuingState;
    std::u16string primaryName;    // before "<<", fillers as spaces
    std::u16string secondaryName;  // after "<<", fillers as spaces
    MrzCheckedField documentNumber;
    std::u16string nationality;
    MrzCheckedField birthDate;     // YYMMDD as printed
    std::u16string sex;            // "M", "F", "X" or "<" as printed
    MrzCheckedField expiryDate;    // YYMMDD as printed
    std::u16string optionalData;   // TD1 line 1, TD2, TD3 (personal number), MRV
    std::u16string optionalData2;  // TD1 line 2
    bool optionalChecked = false;  // TD3: the personal number has a check digit
    MrzCheckedField optionalCheck;
    bool hasComposite = false;  // TD1, TD2, TD3
    MrzCheckedField composite;  // value: the characters the digit covers
    bool valid = false;         // right shape, alphabet, and every check digit
};

// The check digit of text (weights 7, 3, 1 repeating; digits count their
// value, A-Z 10 to 35, '<' 0), or -1 when text holds any other character.
int32_t MrzCheckDigit(const std::u16string& text);

// Reads a zone from text: lines separated by line feeds (carriage returns,
// spaces and tabs are dropped, empty lines skipped). With more than three
// lines only those holding a filler '<' are kept and of them the last three
// when all three are 30 characters long (TD1), else the last two. The layout
// is picked by the line count and the length of the longest line (nearest of
// 30, 36, 44; a first line starting with 'V' picks the visa layout of that
// length); a zone whose line count or lengths do not fit it is reported as
// that layout, invalid, with the reason and without fields.
MrzZone ParseMrz(const std::u16string& text);

// "TD1", "TD2", "TD3", "MRV-A", "MRV-B" or "none".
const char* MrzLayoutName(MrzLayout layout);

// The zone as one JSON object (UTF-8): "layout", "valid", "errors", "lines"
// and, when the fields were read, each field; checked fields are objects
// {"value", "check", "valid"}.
std::string MrzZoneJson(const MrzZone& zone);

}  // namespace libMorvaneClassifier

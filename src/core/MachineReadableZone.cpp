#include "core/MachineReadableZone.h"

#include <algorithm>

#include "core/JsonText.h"
#include "core/TextConv.h"

namespace libMorvaneClassifier {

namespace {

constexpr char16_t kFiller = u'<';
constexpr size_t kNamedStrays = 5;

bool IsZoneChar(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == kFiller; }

// Characters [from, from + n) of line; shorter when the line is.
std::u16string Part(const std::u16string& line, size_t from, size_t n) {
    return from < line.size() ? line.substr(from, n) : std::u16string();
}

std::u16string TrimFillers(std::u16string s) {
    while (!s.empty() && s.back() == kFiller) s.pop_back();
    return s;
}

std::u16string FillersToSpaces(const std::u16string& s) {
    std::u16string out = TrimFillers(s);
    for (char16_t& c : out)
        if (c == kFiller) c = u' ';
    return out;
}

// A field and its check character; '<' counts as 0 only where fillerIsZero
// says the layout permits it (an empty field's digit may be a filler).
MrzCheckedField Checked(const std::u16string& field, char16_t check, bool fillerIsZero = false) {
    MrzCheckedField f;
    f.value = TrimFillers(field);
    f.check = check;
    const int32_t digit = MrzCheckDigit(field);
    int32_t printed = -1;
    if (check >= u'0' && check <= u'9')
        printed = check - u'0';
    else if (check == kFiller && fillerIsZero)
        printed = 0;
    f.valid = digit >= 0 && printed == digit;
    return f;
}

void SplitName(MrzZone& z, const std::u16string& field) {
    const size_t sep = field.find(u"<<");
    if (sep == std::u16string::npos) {
        z.primaryName = FillersToSpaces(field);
        return;
    }
    z.primaryName = FillersToSpaces(field.substr(0, sep));
    std::u16string rest = field.substr(sep + 2);
    z.secondaryName = FillersToSpaces(rest);
    // Leading fillers of the secondary part (a name cut after "<<<") are
    // not part of it.
    size_t lead = 0;
    while (lead < z.secondaryName.size() && z.secondaryName[lead] == u' ') ++lead;
    z.secondaryName.erase(0, lead);
}

std::string Narrow(const std::u16string& s) { return Utf16ToUtf8(s); }

void ReadTD1(MrzZone& z) {
    const std::u16string& a = z.lines[0];
    const std::u16string& b = z.lines[1];
    z.documentCode = TrimFillers(Part(a, 0, 2));
    z.issuingState = TrimFillers(Part(a, 2, 3));
    std::u16string number = Part(a, 5, 9);
    char16_t numberCheck = a[14];
    std::u16string optional = Part(a, 15, 15);
    // A number longer than nine characters: the check position holds a
    // filler and the rest of the number, then its check digit, open the
    // optional data.
    if (numberCheck == kFiller) {
        const size_t end = optional.find(kFiller);
        const std::u16string tail = optional.substr(0, end);
        if (tail.size() >= 2) {
            number += tail.substr(0, tail.size() - 1);
            numberCheck = tail.back();
            optional = end == std::u16string::npos ? std::u16string() : optional.substr(end);
        }
    }
    z.documentNumber = Checked(number, numberCheck);
    z.optionalData = FillersToSpaces(optional);
    while (!z.optionalData.empty() && z.optionalData.front() == u' ') z.optionalData.erase(0, 1);
    z.birthDate = Checked(Part(b, 0, 6), b[6]);
    z.sex = Part(b, 7, 1);
    z.expiryDate = Checked(Part(b, 8, 6), b[14]);
    z.nationality = TrimFillers(Part(b, 15, 3));
    z.optionalData2 = FillersToSpaces(Part(b, 18, 11));
    z.hasComposite = true;
    z.composite = Checked(Part(a, 5, 25) + Part(b, 0, 7) + Part(b, 8, 7) + Part(b, 18, 11), b[29]);
    SplitName(z, z.lines[2]);
}

// TD2, TD3 and both visas share the first line and the first 28 characters
// of the second.
void ReadTwoLines(MrzZone& z) {
    const std::u16string& a = z.lines[0];
    const std::u16string& b = z.lines[1];
    z.documentCode = TrimFillers(Part(a, 0, 2));
    z.issuingState = TrimFillers(Part(a, 2, 3));
    SplitName(z, Part(a, 5, a.size() - 5));
    z.documentNumber = Checked(Part(b, 0, 9), b[9]);
    z.nationality = TrimFillers(Part(b, 10, 3));
    z.birthDate = Checked(Part(b, 13, 6), b[19]);
    z.sex = Part(b, 20, 1);
    z.expiryDate = Checked(Part(b, 21, 6), b[27]);
    switch (z.layout) {
        case MrzLayout::kTD2:
            z.optionalData = FillersToSpaces(Part(b, 28, 7));
            z.hasComposite = true;
            z.composite = Checked(Part(b, 0, 10) + Part(b, 13, 7) + Part(b, 21, 14), b[35]);
            break;
        case MrzLayout::kTD3:
            z.optionalData = FillersToSpaces(Part(b, 28, 14));
            z.optionalChecked = true;
            // An empty personal number may carry a filler as its digit.
            z.optionalCheck = Checked(Part(b, 28, 14), b[42], z.optionalData.empty());
            z.optionalCheck.value = z.optionalData;
            z.hasComposite = true;
            z.composite = Checked(Part(b, 0, 10) + Part(b, 13, 7) + Part(b, 21, 22), b[43]);
            break;
        case MrzLayout::kMRVA:
            z.optionalData = FillersToSpaces(Part(b, 28, 16));
            break;
        case MrzLayout::kMRVB:
            z.optionalData = FillersToSpaces(Part(b, 28, 8));
            break;
        default:
            break;
    }
}

size_t LinesOf(MrzLayout l) { return l == MrzLayout::kTD1 ? 3 : 2; }

size_t LengthOf(MrzLayout l) {
    switch (l) {
        case MrzLayout::kTD1:
            return 30;
        case MrzLayout::kTD2:
        case MrzLayout::kMRVB:
            return 36;
        default:
            return 44;
    }
}

MrzLayout PickLayout(const std::vector<std::u16string>& lines) {
    size_t longest = 0;
    for (const auto& l : lines) longest = std::max(longest, l.size());
    if (lines.size() >= 3) return MrzLayout::kTD1;
    const bool visa = !lines.empty() && !lines[0].empty() && lines[0][0] == u'V';
    // Nearest of 30, 36 and 44; the midpoints are 33 and 40.
    if (longest < 33) return MrzLayout::kTD1;
    if (longest < 40) return visa ? MrzLayout::kMRVB : MrzLayout::kTD2;
    return visa ? MrzLayout::kMRVA : MrzLayout::kTD3;
}

void AppendChecked(std::string& out, const char* key, const MrzCheckedField& f, bool withValue = true) {
    out += ",\"";
    out += key;
    out += "\":{";
    if (withValue) {
        out += "\"value\":";
        AppendJsonString(out, f.value);
        out += ",";
    }
    out += "\"check\":";
    AppendJsonString(out, std::u16string(1, f.check ? f.check : u' '));
    out += ",\"valid\":";
    out += f.valid ? "true" : "false";
    out += "}";
}

void AppendPlain(std::string& out, const char* key, const std::u16string& v) {
    out += ",\"";
    out += key;
    out += "\":";
    AppendJsonString(out, v);
}

}  // namespace

int32_t MrzCheckDigit(const std::u16string& text) {
    static const int32_t kWeights[3] = {7, 3, 1};
    int32_t sum = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        int32_t v;
        if (c >= u'0' && c <= u'9')
            v = c - u'0';
        else if (c >= u'A' && c <= u'Z')
            v = c - u'A' + 10;
        else if (c == kFiller)
            v = 0;
        else
            return -1;
        sum = (sum + v * kWeights[i % 3]) % 10;
    }
    return sum;
}

const char* MrzLayoutName(MrzLayout layout) {
    switch (layout) {
        case MrzLayout::kTD1:
            return "TD1";
        case MrzLayout::kTD2:
            return "TD2";
        case MrzLayout::kTD3:
            return "TD3";
        case MrzLayout::kMRVA:
            return "MRV-A";
        case MrzLayout::kMRVB:
            return "MRV-B";
        default:
            return "none";
    }
}

MrzZone ParseMrz(const std::u16string& text) {
    MrzZone z;
    std::vector<std::u16string> lines(1);
    for (char16_t c : text) {
        if (c == u'\n')
            lines.emplace_back();
        else if (c != u'\r' && c != u' ' && c != u'\t')
            lines.back().push_back(c);
    }
    std::vector<std::u16string> kept;
    for (auto& l : lines)
        if (!l.empty()) kept.push_back(std::move(l));
    if (kept.size() > 3) {
        std::vector<std::u16string> zoneLike;
        for (auto& l : kept)
            if (l.find(kFiller) != std::u16string::npos) zoneLike.push_back(std::move(l));
        kept = std::move(zoneLike);
        if (kept.size() > 3) {
            const size_t n = kept.size();
            const bool td1 = kept[n - 1].size() == 30 && kept[n - 2].size() == 30 && kept[n - 3].size() == 30;
            kept.erase(kept.begin(), kept.end() - (td1 ? 3 : 2));
        }
    }
    z.lines = std::move(kept);
    if (z.lines.empty()) {
        z.errors.push_back("no line to read");
        return z;
    }
    z.layout = PickLayout(z.lines);
    const size_t wantLines = LinesOf(z.layout);
    const size_t wantLength = LengthOf(z.layout);
    if (z.lines.size() != wantLines)
        z.errors.push_back(std::string(MrzLayoutName(z.layout)) + " has " + std::to_string(wantLines) +
                           " lines; the zone has " + std::to_string(z.lines.size()));
    for (size_t i = 0; i < z.lines.size(); ++i)
        if (z.lines[i].size() != wantLength)
            z.errors.push_back("line " + std::to_string(i + 1) + " has " + std::to_string(z.lines[i].size()) +
                               " characters; " + MrzLayoutName(z.layout) + " lines have " +
                               std::to_string(wantLength));
    if (!z.errors.empty()) return z;

    // Every stray character is counted; the first few are named.
    size_t stray = 0;
    for (size_t i = 0; i < z.lines.size(); ++i)
        for (size_t k = 0; k < z.lines[i].size(); ++k) {
            if (IsZoneChar(z.lines[i][k])) continue;
            if (++stray <= kNamedStrays)
                z.errors.push_back("line " + std::to_string(i + 1) + " position " + std::to_string(k + 1) +
                                   ": '" + Narrow(z.lines[i].substr(k, 1)) + "' is not a zone character");
        }
    if (stray > kNamedStrays)
        z.errors.push_back(std::to_string(stray - kNamedStrays) + " more characters are not zone characters");

    if (z.layout == MrzLayout::kTD1)
        ReadTD1(z);
    else
        ReadTwoLines(z);
    z.fieldsRead = true;

    auto check = [&](const char* name, const MrzCheckedField& f) {
        if (!f.valid) z.errors.push_back(std::string("check digit of ") + name + " does not match");
    };
    check("documentNumber", z.documentNumber);
    check("birthDate", z.birthDate);
    check("expiryDate", z.expiryDate);
    if (z.optionalChecked) check("optionalData", z.optionalCheck);
    if (z.hasComposite) check("composite", z.composite);
    z.valid = z.errors.empty();
    return z;
}

std::string MrzZoneJson(const MrzZone& z) {
    std::string out = "{\"layout\":";
    if (z.layout == MrzLayout::kNone)
        out += "null";
    else
        AppendJsonString(out, std::string(MrzLayoutName(z.layout)));
    out += ",\"valid\":";
    out += z.valid ? "true" : "false";
    out += ",\"errors\":[";
    for (size_t i = 0; i < z.errors.size(); ++i) {
        if (i) out.push_back(',');
        AppendJsonString(out, z.errors[i]);
    }
    out += "],\"lines\":[";
    for (size_t i = 0; i < z.lines.size(); ++i) {
        if (i) out.push_back(',');
        AppendJsonString(out, z.lines[i]);
    }
    out += "]";
    if (z.fieldsRead) {
        AppendPlain(out, "documentCode", z.documentCode);
        AppendPlain(out, "issuingState", z.issuingState);
        AppendPlain(out, "primaryName", z.primaryName);
        AppendPlain(out, "secondaryName", z.secondaryName);
        AppendChecked(out, "documentNumber", z.documentNumber);
        AppendPlain(out, "nationality", z.nationality);
        AppendChecked(out, "birthDate", z.birthDate);
        AppendPlain(out, "sex", z.sex);
        AppendChecked(out, "expiryDate", z.expiryDate);
        if (z.optionalChecked)
            AppendChecked(out, "optionalData", z.optionalCheck);
        else
            AppendPlain(out, "optionalData", z.optionalData);
        if (z.layout == MrzLayout::kTD1) AppendPlain(out, "optionalData2", z.optionalData2);
        if (z.hasComposite) AppendChecked(out, "composite", z.composite, false);
    }
    out += "}";
    return out;
}

}  // namespace libMorvaneClassifier

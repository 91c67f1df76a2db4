// The machine-readable zone reader on the published ICAO 9303 example zones
// of every layout, and on mutated copies: a wrong check digit in each
// checked field, wrong line lengths, a missing line, lowercase and stray
// characters, spaces the recogniser put between characters.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/MachineReadableZone.h"
#include "core/TextConv.h"

namespace libMorvaneClassifier {
namespace {

const char kTD1[] =
    "I<UTOD231458907<<<<<<<<<<<<<<<\n7408122F1204159UTO<<<<<<<<<<<6\nERIKSSON<<ANNA<MARIA<<<<<<<<<<";
const char kTD2[] = "I<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<\nD231458907UTO7408122F1204159<<<<<<<6";
const char kTD3[] =
    "P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<\nL898902C36UTO7408122F1204159ZE184226B<<<<<10";
const char kMRVA[] =
    "V<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<\nL8988901C4XXX4009078F96121096ZE184226B<<<<<<";
const char kMRVB[] = "V<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<\nL8988901C4XXX4009078F9612109<<<<<<<<";

MrzZone Parse(const std::string& text) { return ParseMrz(Utf8ToUtf16(text)); }
std::string S(const std::u16string& s) { return Utf16ToUtf8(s); }

// Replaces the character at (line, column) of a zone's text, both from 0.
std::string Mutate(const std::string& zone, size_t line, size_t column, char c) {
    std::string out = zone;
    size_t at = 0;
    for (size_t i = 0; i < line; ++i) at = out.find('\n', at) + 1;
    out[at + column] = c;
    return out;
}

struct Example {
    const char* text;
    MrzLayout layout;
    const char* code;
    const char* number;
    const char* nationality;
    const char* birth;
    const char* sex;
    const char* expiry;
    const char* optional;
    bool composite;
};

const Example kExamples[] = {
    {kTD1, MrzLayout::kTD1, "I", "D23145890", "UTO", "740812", "F", "120415", "", true},
    {kTD2, MrzLayout::kTD2, "I", "D23145890", "UTO", "740812", "F", "120415", "", true},
    {kTD3, MrzLayout::kTD3, "P", "L898902C3", "UTO", "740812", "F", "120415", "ZE184226B", true},
    {kMRVA, MrzLayout::kMRVA, "V", "L8988901C", "XXX", "400907", "F", "961210", "6ZE184226B", false},
    {kMRVB, MrzLayout::kMRVB, "V", "L8988901C", "XXX", "400907", "F", "961210", "", false},
};

TEST(MachineReadableZone, CheckDigitsFollowTheSevenThreeOneWeights) {
    EXPECT_EQ(MrzCheckDigit(u"L898902C3"), 6);
    EXPECT_EQ(MrzCheckDigit(u"740812"), 2);
    EXPECT_EQ(MrzCheckDigit(u"<<<<<<<<<<<<<<"), 0);
    EXPECT_EQ(MrzCheckDigit(u"A"), 0);    // 10 x 7
    EXPECT_EQ(MrzCheckDigit(u"Z<1"), 6);  // 35 x 7 + 0 + 1
    EXPECT_EQ(MrzCheckDigit(u"ab"), -1);
    EXPECT_EQ(MrzCheckDigit(u"12 3"), -1);
}

TEST(MachineReadableZone, PublishedExamplesOfEveryLayoutReadValid) {
    for (const Example& s : kExamples) {
        SCOPED_TRACE(s.text);
        const MrzZone z = Parse(s.text);
        EXPECT_EQ(z.layout, s.layout);
        EXPECT_TRUE(z.valid);
        EXPECT_TRUE(z.errors.empty()) << (z.errors.empty() ? "" : z.errors.front());
        ASSERT_TRUE(z.fieldsRead);
        EXPECT_EQ(S(z.documentCode), s.code);
        EXPECT_EQ(S(z.issuingState), "UTO");
        EXPECT_EQ(S(z.primaryName), "ERIKSSON");
        EXPECT_EQ(S(z.secondaryName), "ANNA MARIA");
        EXPECT_EQ(S(z.documentNumber.value), s.number);
        EXPECT_TRUE(z.documentNumber.valid);
        EXPECT_EQ(S(z.nationality), s.nationality);
        EXPECT_EQ(S(z.birthDate.value), s.birth);
        EXPECT_TRUE(z.birthDate.valid);
        EXPECT_EQ(S(z.sex), s.sex);
        EXPECT_EQ(S(z.expiryDate.value), s.expiry);
        EXPECT_TRUE(z.expiryDate.valid);
        EXPECT_EQ(S(z.optionalData), s.optional);
        EXPECT_EQ(z.hasComposite, s.composite);
        if (s.composite) {
            EXPECT_TRUE(z.composite.valid);
        }
    }
}

// Each check digit changed in turn: its own field (and the composite, which
// covers the digit) fail, the rest stay valid, nothing is corrected.
TEST(MachineReadableZone, AWrongCheckDigitMarksItsFieldInvalid) {
    struct Case {
        const char* zone;
        size_t line, column;
        bool number, birth, expiry, optional, composite;
    };
    const Case cases[] = {
        {kTD3, 1, 9, false, true, true, true, false},  {kTD3, 1, 19, true, false, true, true, false},
        {kTD3, 1, 27, true, true, false, true, false}, {kTD3, 1, 42, true, true, true, false, false},
        {kTD3, 1, 43, true, true, true, true, false},  {kTD1, 0, 14, false, true, true, true, false},
        {kTD1, 1, 6, true, false, true, true, false},  {kTD1, 1, 14, true, true, false, true, false},
        {kTD1, 1, 29, true, true, true, true, false},  {kTD2, 1, 9, false, true, true, true, false},
        {kTD2, 1, 35, true, true, true, true, false},  {kMRVA, 1, 27, true, true, false, true, true},
        {kMRVB, 1, 9, false, true, true, true, true},
    };
    for (const Case& c : cases) {
        const std::string original = c.zone;
        size_t at = 0;
        for (size_t i = 0; i < c.line; ++i) at = original.find('\n', at) + 1;
        const char printed = original[at + c.column];
        const char wrong = printed == '3' ? '4' : '3';
        const std::string text = Mutate(original, c.line, c.column, wrong);
        SCOPED_TRACE(text);
        const MrzZone z = Parse(text);
        EXPECT_FALSE(z.valid);
        EXPECT_FALSE(z.errors.empty());
        ASSERT_TRUE(z.fieldsRead);
        EXPECT_EQ(z.documentNumber.valid, c.number);
        EXPECT_EQ(z.birthDate.valid, c.birth);
        EXPECT_EQ(z.expiryDate.valid, c.expiry);
        if (z.optionalChecked) {
            EXPECT_EQ(z.optionalCheck.valid, c.optional);
        }
        if (z.hasComposite) {
            EXPECT_EQ(z.composite.valid, c.composite);
        }
        // The printed digit is reported as printed.
        if (c.line == 1 && c.column == 9) {
            EXPECT_EQ(z.documentNumber.check, char16_t(wrong));
        }
    }
}

// A changed data character (not a check digit) fails the field's check: the
// zone is never taken as valid with a misread digit.
TEST(MachineReadableZone, AMisreadFieldCharacterFailsItsCheck) {
    const MrzZone z = Parse(Mutate(kTD3, 1, 14, '5'));  // birth date 750812
    EXPECT_FALSE(z.valid);
    EXPECT_FALSE(z.birthDate.valid);
    EXPECT_FALSE(z.composite.valid);
    EXPECT_EQ(S(z.birthDate.value), "750812");
    EXPECT_TRUE(z.documentNumber.valid);
}

TEST(MachineReadableZone, WrongShapesNameTheLayoutTriedWithoutFields) {
    const std::string td3 = kTD3;
    const std::string td1 = kTD1;
    struct Case {
        std::string text;
        MrzLayout layout;
        const char* error;  // part of the first error
    };
    const Case cases[] = {
        {td3.substr(0, td3.size() - 1), MrzLayout::kTD3, "line 2 has 43 characters"},
        {td3 + "<", MrzLayout::kTD3, "line 2 has 45 characters"},
        {td3.substr(0, td3.find('\n')), MrzLayout::kTD3, "TD3 has 2 lines; the zone has 1"},
        {td1.substr(0, td1.rfind('\n')), MrzLayout::kTD1, "TD1 has 3 lines; the zone has 2"},
        {std::string(kMRVB).substr(0, 70), MrzLayout::kMRVB, "line 2 has 33 characters"},
        {"", MrzLayout::kNone, "no line"},
        {"\n \n\t\n", MrzLayout::kNone, "no line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const MrzZone z = Parse(c.text);
        EXPECT_EQ(z.layout, c.layout);
        EXPECT_FALSE(z.valid);
        EXPECT_FALSE(z.fieldsRead);
        ASSERT_FALSE(z.errors.empty());
        EXPECT_NE(z.errors.front().find(c.error), std::string::npos) << z.errors.front();
        const std::string json = MrzZoneJson(z);
        EXPECT_NE(json.find("\"valid\":false"), std::string::npos);
        EXPECT_EQ(json.find("documentNumber"), std::string::npos);
    }
}

TEST(MachineReadableZone, LowercaseAndStrayCharactersAreReportedNotFixed) {
    std::string lower = kTD3;
    for (size_t i = 5; i < 13; ++i) lower[i] = static_cast<char>(lower[i] - 'A' + 'a');  // "eriksson"
    MrzZone z = Parse(lower);
    EXPECT_FALSE(z.valid);
    ASSERT_TRUE(z.fieldsRead);
    EXPECT_EQ(S(z.primaryName), "eriksson");
    EXPECT_NE(z.errors.front().find("line 1 position 6: 'e'"), std::string::npos) << z.errors.front();
    EXPECT_TRUE(z.documentNumber.valid);  // the name carries no check digit

    z = Parse(Mutate(kTD3, 1, 2, 'x'));  // inside the document number
    EXPECT_FALSE(z.valid);
    EXPECT_FALSE(z.documentNumber.valid);
    EXPECT_FALSE(z.composite.valid);

    // A line of stray characters: counted, only the first few named.
    std::string garbage = kTD3;
    for (size_t i = 0; i < 44; ++i) garbage[i] = '#';
    z = Parse(garbage);
    EXPECT_FALSE(z.valid);
    EXPECT_LE(z.errors.size(), 7u);
    EXPECT_NE(z.errors[5].find("39 more characters"), std::string::npos) << z.errors[5];

    // Characters outside ASCII count as one character each.
    z = ParseMrz(
        u"P<UTO\u00C9RIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<\n"
        u"L898902C36UTO7408122F1204159ZE184226B<<<<<10");
    EXPECT_EQ(z.layout, MrzLayout::kTD3);
    EXPECT_TRUE(z.fieldsRead);
    EXPECT_FALSE(z.valid);
}

TEST(MachineReadableZone, SpacesAndOtherLinesAroundTheZoneAreDropped) {
    // Spaces between characters, carriage returns and blank lines.
    std::string spaced;
    for (char c : std::string(kTD3)) {
        spaced.push_back(c);
        if (c == '\n')
            spaced += "\r\n  \n";
        else if (c == '<')
            spaced.push_back(' ');
    }
    MrzZone z = Parse(spaced + "\r\n");
    EXPECT_EQ(z.layout, MrzLayout::kTD3);
    EXPECT_TRUE(z.valid);

    // More than three lines: lines without fillers are left out.
    z = Parse(std::string("PASSPORT\nUTOPIA\nDATA PAGE\n") + kTD3);
    EXPECT_TRUE(z.valid);
    EXPECT_EQ(z.layout, MrzLayout::kTD3);
    z = Parse(std::string("A<B\nC<D\n") + kTD1);
    EXPECT_TRUE(z.valid);
    EXPECT_EQ(z.layout, MrzLayout::kTD1);
}

TEST(MachineReadableZone, NamesSplitAtTheDoubleFiller) {
    const MrzZone z = Parse(
        "P<UTOVAN<DER<BERG<<JAN<<<<<<<<<<<<<<<<<<<<<<\n"
        "L898902C36UTO7408122F1204159ZE184226B<<<<<10");
    EXPECT_EQ(S(z.primaryName), "VAN DER BERG");
    EXPECT_EQ(S(z.secondaryName), "JAN");
    const MrzZone one = Parse(
        "P<UTOMADONNA<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<\n"
        "L898902C36UTO7408122F1204159ZE184226B<<<<<10");
    EXPECT_EQ(S(one.primaryName), "MADONNA");
    EXPECT_EQ(S(one.secondaryName), "");
}

// A TD1 number of more than nine characters continues in the optional data,
// followed by its check digit; an empty TD3 personal number may carry a
// filler as its check digit.
TEST(MachineReadableZone, LongNumbersAndEmptyPersonalNumbers) {
    // Number D23145890123: nine characters, '<', then "123" and its digit.
    const std::u16string number = u"D23145890123";
    const char16_t digit = static_cast<char16_t>(u'0' + MrzCheckDigit(number));
    std::u16string line1 = u"I<UTOD23145890<123";
    line1.push_back(digit);
    line1.resize(30, u'<');
    std::u16string line2 = u"7408122F1204159UTO<<<<<<<<<<<";
    const std::u16string composite =
        line1.substr(5, 25) + line2.substr(0, 7) + line2.substr(8, 7) + line2.substr(18, 11);
    line2.push_back(static_cast<char16_t>(u'0' + MrzCheckDigit(composite)));
    MrzZone z = ParseMrz(line1 + u"\n" + line2 + u"\nERIKSSON<<ANNA<MARIA<<<<<<<<<<");
    EXPECT_TRUE(z.valid) << (z.errors.empty() ? "" : z.errors.front());
    EXPECT_EQ(S(z.documentNumber.value), "D23145890123");
    EXPECT_EQ(S(z.optionalData), "");

    std::string td3 = kTD3;
    const size_t l2 = td3.find('\n') + 1;
    td3.replace(l2 + 28, 16, "<<<<<<<<<<<<<<<<");  // no personal number, '<' as its digit
    // The composite over the changed characters.
    const std::u16string b = Utf8ToUtf16(td3.substr(l2));
    td3[l2 + 43] =
        static_cast<char>('0' + MrzCheckDigit(b.substr(0, 10) + b.substr(13, 7) + b.substr(21, 22)));
    z = Parse(td3);
    EXPECT_TRUE(z.valid) << (z.errors.empty() ? "" : z.errors.front());
    EXPECT_TRUE(z.optionalCheck.valid);
    // A filler as the digit of a personal number that is not empty fails.
    td3 = kTD3;
    td3[l2 + 42] = '<';
    EXPECT_FALSE(Parse(td3).optionalCheck.valid);
}

TEST(MachineReadableZone, JsonCarriesEveryFieldAndItsCheck) {
    const std::string json = MrzZoneJson(Parse(kTD3));
    for (const char* part :
         {"\"layout\":\"TD3\"", "\"valid\":true", "\"errors\":[]", "\"documentCode\":\"P\"",
          "\"primaryName\":\"ERIKSSON\"", "\"secondaryName\":\"ANNA MARIA\"",
          "\"documentNumber\":{\"value\":\"L898902C3\",\"check\":\"6\",\"valid\":true}",
          "\"birthDate\":{\"value\":\"740812\",\"check\":\"2\",\"valid\":true}", "\"sex\":\"F\"",
          "\"optionalData\":{\"value\":\"ZE184226B\",\"check\":\"1\",\"valid\":true}",
          "\"composite\":{\"check\":\"0\",\"valid\":true}"})
        EXPECT_NE(json.find(part), std::string::npos) << part << " in " << json;
    const std::string bad = MrzZoneJson(Parse(Mutate(kTD3, 1, 19, '3')));
    EXPECT_NE(bad.find("\"birthDate\":{\"value\":\"740812\",\"check\":\"3\",\"valid\":false}"),
              std::string::npos)
        << bad;
}

}  // namespace
}  // namespace libMorvaneClassifier

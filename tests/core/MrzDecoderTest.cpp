#include "core/MrzDecoder.h"

#include <gtest/gtest.h>

#include <string>

#include "core/TextConv.h"

namespace libMorvaneClassifier {
namespace {

std::u16string U(const std::string& s) { return Utf8ToUtf16(s); }

const std::string kTD3a = "P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<";
const std::string kTD3b = "L898902C36UTO7408122F1204159ZE184226B<<<<<10";

struct DecodeCase {
    const char* what;
    std::string text;  // lines separated by '\n'
    bool decodedValid;
    std::string line0;  // expected decoded lines
    std::string line1;
    size_t changes;
};

class MrzDecodeTable : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(MrzDecodeTable, DecodesAndListsEveryChange) {
    const DecodeCase& c = GetParam();
    const MrzDecoded d = DecodeMrz(U(c.text));
    EXPECT_FALSE(d.raw.valid) << c.what;  // every case starts from a misread zone
    EXPECT_EQ(d.decoded.valid, c.decodedValid) << c.what;
    ASSERT_GE(d.decoded.lines.size(), 2u) << c.what;
    EXPECT_EQ(Utf16ToUtf8(d.decoded.lines[0]), c.line0) << c.what;
    EXPECT_EQ(Utf16ToUtf8(d.decoded.lines[1]), c.line1) << c.what;
    EXPECT_EQ(d.changes.size(), c.changes) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MrzDecodeTable,
    ::testing::Values(
        // O read for 0 in the dates: the digit-only class mends both.
        DecodeCase{"dates", kTD3a + "\nL898902C36UTO74O8122F12O4159ZE184226B<<<<<10", true, kTD3a, kTD3b, 2},
        // A card edge read as 'I' at both ends of the first line and at the
        // end of the second: cut, with the filler-free cut preferred.
        DecodeCase{"borders", "I" + kTD3a + "I\n" + kTD3b + "I", true, kTD3a, kTD3b, 3},
        // O read for 0 in the document number, where letters are allowed:
        // only the check digit tells, and only one look-alike makes it hold.
        DecodeCase{"check", kTD3a + "\nL8989O2C36UTO7408122F1204159ZE184226B<<<<<10", true, kTD3a, kTD3b, 1},
        // B read for 8 there: several look-alikes of the personal number
        // make its check hold, so none is chosen.
        DecodeCase{"tie", kTD3a + "\nL898902C36UTO7408122F1204159ZE1B4226B<<<<<10", false, kTD3a,
                   "L898902C36UTO7408122F1204159ZE1B4226B<<<<<10", 0},
        // Two different look-alike changes would make the check hold: the
        // field is left as read and the zone stays invalid.
        DecodeCase{"ambiguous",
                   "I<UTOD23145B907<<<<<<<<<<<<<<<\n7408122F1204159UTO<<<<<<<<<<<6\n"
                   "ERIKSSON<<ANNA<MARIA<<<<<<<<<<",
                   false, "I<UTOD23145B907<<<<<<<<<<<<<<<", "7408122F1204159UTO<<<<<<<<<<<6", 0}));

TEST(MrzDecoder, ValidZoneIsLeftAlone) {
    const MrzDecoded d = DecodeMrz(U(kTD3a + "\n" + kTD3b));
    EXPECT_TRUE(d.raw.valid);
    EXPECT_TRUE(d.decoded.valid);
    EXPECT_TRUE(d.changes.empty());
}

TEST(MrzDecoder, EngineCandidatesDecideWhereLookAlikesCannot) {
    // The ambiguous card of the table, with the engine's second choice for
    // the 'B' being '8' at a small distance: that change wins.
    const std::string l0 = "I<UTOD23145B907<<<<<<<<<<<<<<<", l1 = "7408122F1204159UTO<<<<<<<<<<<6",
                      l2 = "ERIKSSON<<ANNA<MARIA<<<<<<<<<<";
    MrzCandidates cands(3);
    const std::string* lines[3] = {&l0, &l1, &l2};
    for (size_t l = 0; l < 3; ++l)
        for (char ch : *lines[l]) cands[l].push_back({MrzOption{static_cast<char16_t>(ch), 10}});
    cands[0][11].push_back(MrzOption{u'8', 12});
    const MrzDecoded d = DecodeMrz(U(l0 + "\n" + l1 + "\n" + l2), &cands);
    EXPECT_TRUE(d.decoded.valid);
    EXPECT_EQ(Utf16ToUtf8(d.decoded.lines[0]), "I<UTOD231458907<<<<<<<<<<<<<<<");
    ASSERT_EQ(d.changes.size(), 1u);
    EXPECT_EQ(d.changes[0].line, 0);
    EXPECT_EQ(d.changes[0].position, 11);
    EXPECT_EQ(d.changes[0].from, u'B');
    EXPECT_EQ(d.changes[0].to, u'8');
    EXPECT_STREQ(d.changes[0].reason, "check");
}

TEST(MrzDecoder, JsonKeepsTheRawReadingAndNamesTheChanges) {
    const std::string json =
        MrzDecodedJson(DecodeMrz(U(kTD3a + "\nL898902C36UTO74O8122F1204159ZE184226B<<<<<10")));
    EXPECT_EQ(json.rfind("{\"layout\":\"TD3\",\"valid\":false", 0), 0u) << json;
    EXPECT_NE(json.find("\"rawValid\":false"), std::string::npos);
    EXPECT_NE(json.find("\"decoded\":{\"layout\":\"TD3\",\"valid\":true"), std::string::npos) << json;
    EXPECT_NE(
        json.find(
            "\"changes\":[{\"line\":1,\"position\":15,\"from\":\"O\",\"to\":\"0\",\"reason\":\"class\"}]"),
        std::string::npos)
        << json;
}

TEST(MrzDecoder, WrongShapeIsNotDecoded) {
    const MrzDecoded d = DecodeMrz(U(kTD3a.substr(0, 40) + "\n" + kTD3b));
    EXPECT_FALSE(d.decoded.valid);
    EXPECT_TRUE(d.changes.empty());
    EXPECT_EQ(d.decoded.lines, d.raw.lines);
}

}  // namespace
}  // namespace libMorvaneClassifier
